// The sensor-bound counter: its added properties and their one-way setters,
// the creation step (the strip file, then the sensor), the frame step over a
// real shared block (truncation toward zero, the tracked extremes, two
// counters on one sensor, a counter bound to nothing), and a counter read
// from a skin into a live skin window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "DataChannel.h"
#include "SkinImplCounter.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(SkinCounter, AddsItsPropertiesAfterTheCountersWithTheirDefaults) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TSkinCounter::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"AnalogSensor", "BitmapFile", "SensorMinValue", "SensorMaxValue"}));
  EXPECT_EQ(TSkinCounter::StaticClass().Parent, &TGaugeCounter::StaticClass());
  EXPECT_TRUE(TSkinCounter::StaticClass().Create);
  TSkinCounter counter(nullptr);
  EXPECT_EQ(counter.AnalogSensor(), ia0);
  EXPECT_EQ(counter.BitmapFile(), "");
  EXPECT_EQ(counter.SensorMinValue(), 0);
  EXPECT_EQ(counter.SensorMaxValue(), 0);
  // The sensor is set by its identifier, as a skin does.
  TSkinCounter::StaticClass().FindProp("AnalogSensor")->Setter(counter, int64_t{AnalogSensorNames().IndexOf("ia12")});
  EXPECT_EQ(counter.AnalogSensor(), ia12);
}

TEST(SkinCounter, ExtremesMoveOnlyOutward) {
  struct Case {
    bool Min;  // SensorMinValue, else SensorMaxValue
    int32_t Written, Expected;
  };
  const Case cases[] = {
      {true, 50, 0},    // a skin's 50 is not below the initial 0
      {true, -3, -3},   {true, -2, -3}, {true, kMin, kMin},
      {false, -50, 0},  // nor is -50 above it
      {false, 7, 7},    {false, 6, 7},  {false, kMax, kMax},
  };
  TSkinCounter counter(nullptr);
  for (const Case& c : cases) {
    if (c.Min) counter.SetSensorMinValue(c.Written);
    else counter.SetSensorMaxValue(c.Written);
    EXPECT_EQ(c.Min ? counter.SensorMinValue() : counter.SensorMaxValue(), c.Expected)
        << (c.Min ? "min " : "max ") << c.Written;
  }
  // Through the property table too, as the skin reader writes it.
  TSkinCounter fresh(nullptr);
  TSkinCounter::StaticClass().FindProp("SensorMinValue")->Setter(fresh, int64_t{50});
  EXPECT_EQ(fresh.SensorMinValue(), 0);
}

TEST(SkinCounter, TrackValueRaisesTheMaximumOrElseLowersTheMinimum) {
  struct Step {
    int32_t Value, ExpectedMin, ExpectedMax;
  };
  const Step steps[] = {{0, 0, 0}, {5, 0, 5}, {3, 0, 5}, {-4, -4, 5}, {9, -4, 9}, {-4, -4, 9}, {kMin, kMin, 9}};
  TSkinCounter counter(nullptr);
  for (const Step& s : steps) {
    counter.TrackValue(s.Value);
    EXPECT_EQ(counter.SensorMinValue(), s.ExpectedMin) << s.Value;
    EXPECT_EQ(counter.SensorMaxValue(), s.ExpectedMax) << s.Value;
  }
}

TEST(SkinCounter, RegistersItsAnalogSensorUnlessIa0) {
  TSensorList sensors;
  TSkinCounter none(nullptr);
  none.RegisterSensors(sensors);
  EXPECT_EQ(sensors.Count(), 0);
  TSkinCounter bound(nullptr);
  bound.SetAnalogSensor(ia4);
  bound.RegisterSensors(sensors);
  TSkinCounter same(nullptr);
  same.SetAnalogSensor(ia4);
  same.RegisterSensors(sensors);
  EXPECT_EQ(sensors.Count(), 1);  // one sensor, one slot
  EXPECT_TRUE(sensors.IsSensorRegistered("ia4"));
}

// A private directory holding Skin/, made the current directory for the
// test's span, because skins name their pictures relative to it.
class InSkinDirectory : public ::testing::Test {
protected:
  void SetUp() override {
    FPrevious = std::filesystem::current_path();
    FRoot = std::filesystem::temp_directory_path() / ("skincounter-" + std::to_string(::getpid()));
    std::filesystem::create_directories(FRoot / "Skin" / "demo");
    std::filesystem::current_path(FRoot);
  }
  void TearDown() override {
    std::filesystem::current_path(FPrevious);
    std::filesystem::remove_all(FRoot);
  }
  void WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes) {
    std::ofstream out(FRoot / relative, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::path FPrevious;
  std::filesystem::path FRoot;
};

TEST_F(InSkinDirectory, CreationStepLoadsTheStripThenRegisters) {
  TBitmap strip(120, 16);
  WriteFile("Skin/demo/digits.bmp", strip.SaveToBytes());
  TSkinCounter counter(nullptr);
  counter.SetBitmapFile("demo/digits.bmp");
  counter.SetAnalogSensor(ia7);
  TSensorList sensors;
  counter.CreationStep(sensors);
  EXPECT_EQ(counter.Layout(), (TCounterLayout{12, 16, 72, 16}));
  EXPECT_TRUE(sensors.IsSensorRegistered("ia7"));
}

TEST_F(InSkinDirectory, AStripThatCannotBeLoadedStopsBeforeTheSensor) {
  WriteFile("Skin/demo/broken.bmp", {'B', 'M', 1, 2, 3});
  struct Case {
    const char* File;
    std::string Message;
  };
  const Case cases[] = {
      {"demo/missing.bmp", "Impossible d'ouvrir le fichier \"Skin/demo/missing.bmp\". "},
      {"", "Impossible d'ouvrir le fichier \"Skin/\". "},  // names the directory itself
      {"demo/broken.bmp", "Image bitmap incorrecte"},
  };
  for (const Case& c : cases) {
    TSkinCounter counter(nullptr);
    counter.SetBitmapFile(c.File);
    counter.SetAnalogSensor(ia2);
    TSensorList sensors;
    try {
      counter.CreationStep(sensors);
      ADD_FAILURE() << "no error for " << c.File;
    } catch (const Exception& e) {
      // The system's reason follows the open error's fixed part.
      EXPECT_EQ(e.Message().substr(0, c.Message.size()), c.Message) << e.Message();
    }
    EXPECT_EQ(sensors.Count(), 0) << c.File;
    EXPECT_EQ(counter.Layout(), (TCounterLayout{9, 13, 54, 13})) << "the built-in strip stays";
  }
}

// The process's sensor list and shared block for one test: counters
// register, the list is sorted, a host creates a block of its own name, and
// the view is opened, as the skin window's creation handler does.
class FrameSteps : public ::testing::Test {
protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    ::setenv(kChannelSuffixVariable, ("-skincounter-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)).c_str(), 1);
  }
  void TearDown() override {
    ReleaseDataBlock();
    ReleaseSensorList();
    FHost.reset();
    ::unsetenv(kChannelSuffixVariable);
  }
  TSkinCounter& Add(TAnalogSensors sensor) {
    FCounters.push_back(std::make_unique<TSkinCounter>(nullptr));
    FCounters.back()->SetAnalogSensor(sensor);
    return *FCounters.back();
  }
  void Open() {
    TSensorList& sensors = CreateSensorList();
    for (auto& c : FCounters) c->RegisterSensors(sensors);
    sensors.Sort();
    FHost = std::make_unique<TDataChannelHost>(sensors.Count());
    OpenDataBlock();
  }
  void Frame(TAnalogSensors sensor, float value) {
    FHost->WriteSlot(SensorList()->FindSensorPosition(SensorIdentifier(sensor)), value);
    for (auto& c : FCounters) c->FrameStep();
  }
  std::vector<std::unique_ptr<TSkinCounter>> FCounters;
  std::unique_ptr<TDataChannelHost> FHost;
};

TEST_F(FrameSteps, ValueIsTheReadingTruncatedTowardZero) {
  struct Case {
    float Reading;
    int32_t Value, Min, Max;  // the counter after the frame, extremes cumulative
  };
  const Case cases[] = {
      {7.99f, 7, 0, 7},
      {-7.99f, 0, -7, 7},      // the counter clamps; the tracked minimum keeps -7
      {2.9f, 2, -7, 7},
      {123456.7f, 123456, -7, 123456},
      // 1e12f is 999999995904, whose low 32 bits are negative: the counter
      // clamps them to 0, the tracked minimum takes them as they are.
      {1e12f, 0, -727384064, 123456},
  };
  TSkinCounter& counter = Add(ia3);
  Open();
  for (const Case& c : cases) {
    Frame(ia3, c.Reading);
    EXPECT_EQ(counter.Value(), c.Value) << c.Reading;
    EXPECT_EQ(counter.SensorMinValue(), c.Min) << c.Reading;
    EXPECT_EQ(counter.SensorMaxValue(), c.Max) << c.Reading;
  }
  // The sensor's own record saw every reading, untruncated.
  const TSensor& sensor = SensorList()->SensorAtPosition(SensorList()->FindSensorPosition("ia3"));
  EXPECT_EQ(sensor.Current(), 1e12f);
  EXPECT_EQ(sensor.Minimum(), -7.99f);
  EXPECT_EQ(sensor.Maximum(), 1e12f);
}

TEST_F(FrameSteps, CountersOnOneSensorMoveTogetherAndIa0NeverMoves) {
  TSkinCounter& first = Add(ia4);
  TSkinCounter& none = Add(ia0);
  TSkinCounter& second = Add(ia4);
  TSkinCounter& other = Add(ia9);
  Open();
  EXPECT_EQ(SensorList()->Count(), 2);  // ia4 and ia9: ia0 takes no slot
  none.SetValue(5);
  Frame(ia4, 31.5f);
  Frame(ia9, 8.0f);
  EXPECT_EQ(first.Value(), 31);
  EXPECT_EQ(second.Value(), 31);
  EXPECT_EQ(other.Value(), 8);
  EXPECT_EQ(none.Value(), 5);
  EXPECT_EQ(none.SensorMaxValue(), 0);
  // The shared sensor's record took the reading from each counter.
  EXPECT_EQ(SensorList()->SensorAtPosition(1).Maximum(), 31.5f);
}

TEST_F(FrameSteps, WithoutABlockTheCounterIsLeftAlone) {
  TSkinCounter& counter = Add(ia1);
  CreateSensorList();
  counter.RegisterSensors(*SensorList());
  counter.SetValue(3);
  counter.FrameStep();  // no view mapped
  EXPECT_EQ(counter.Value(), 3);
  ReleaseSensorList();
  counter.FrameStep();  // no list at all
  EXPECT_EQ(counter.Value(), 3);
}

// A skin window read from text, in a directory of its own, with a shared
// block of the test's own.
class SkinCounterWindow : public InSkinDirectory {
protected:
  void SetUp() override {
    InSkinDirectory::SetUp();
    ::setenv(kChannelSuffixVariable, ("-skincounterwindow-" + std::to_string(::getpid())).c_str(), 1);
    System.SetEchoMessageBoxes(false);
    App = std::make_unique<TApplication>(System);
    App->SetTitle("SkinVELQ");
    RegisterSkinClasses();
    // Also registered here, so the test does not depend on the registration
    // list (registering twice keeps the first).
    RegisterClass(TSkinCounter::StaticClass());
    Form = new TSkinForm(App.get());
  }
  void TearDown() override {
    App.reset();
    ReleaseDataBlock();
    ReleaseSensorList();
    ::unsetenv(kChannelSuffixVariable);
    InSkinDirectory::TearDown();
  }
  void Load(const std::string& body) {
    const std::string text = "object Dash: TSkinForm\n OldCreateOrder = False\n OnCreate = FormCreate\n"
                             " OnClose = FormClose\n" + body + "end\n";
    ReadRootComponent(ObjectTextToBinary(text), *Form);
    Form->AfterConstruction();
  }
  TSkinCounter* Counter(const char* name) { return dynamic_cast<TSkinCounter*>(Form->FindComponent(name)); }

  THeadlessWindowSystem System;
  std::unique_ptr<TApplication> App;
  TSkinForm* Form = nullptr;
};

TEST_F(SkinCounterWindow, ASkinsCounterLoadsItsStripBindsAndCounts) {
  TBitmap strip(120, 16);
  WriteFile("Skin/demo/digits.bmp", strip.SaveToBytes());
  TDataChannelHost host(1);
  Load(" object C: TSkinCounter\n  Digits = 4\n  AnalogSensor = ia3\n  BitmapFile = 'demo/digits.bmp'\n"
       "  SensorMinValue = 50\n  SensorMaxValue = 20\n end\n");
  ASSERT_TRUE(System.MessageBoxes().empty()) << System.MessageBoxes()[0].Text;
  TSkinCounter* counter = Counter("C");
  ASSERT_NE(counter, nullptr);
  EXPECT_EQ(counter->SensorMinValue(), 0);  // 50 is not below 0
  EXPECT_EQ(counter->SensorMaxValue(), 20);
  EXPECT_EQ(counter->Layout(), (TCounterLayout{12, 16, 48, 16}));
  ASSERT_NE(SensorList(), nullptr);
  EXPECT_EQ(SensorList()->FindSensorPosition("ia3"), 1);
  host.WriteSlot(1, 42.7f);
  App->PostMessage(Form, {Form->DataReadyMessage, 0, 0, 0});
  App->ProcessMessages();
  EXPECT_EQ(counter->Value(), 42);
  EXPECT_EQ(counter->SensorMaxValue(), 42);
}

TEST_F(SkinCounterWindow, AMissingStripIsReportedAndStopsTheCreationHandler) {
  Load(" object C: TSkinCounter\n  AnalogSensor = ia3\n  BitmapFile = 'demo/none.bmp'\n end\n"
       " object D: TSkinCounter\n  AnalogSensor = ia5\n  BitmapFile = 'demo/none.bmp'\n end\n");
  ASSERT_EQ(System.MessageBoxes().size(), 1u);
  EXPECT_EQ(System.MessageBoxes()[0].Caption, "SkinVELQ");
  EXPECT_EQ(System.MessageBoxes()[0].Text,
            "Impossible d'ouvrir le fichier \"Skin/demo/none.bmp\". No such file or directory.");
  // Neither counter got as far as its sensor.
  ASSERT_NE(SensorList(), nullptr);
  EXPECT_EQ(SensorList()->Count(), 0);
}

}  // namespace
