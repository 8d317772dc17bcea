// The skin window: its creation handler's steps and failures, the frame pass
// on data-ready messages, and the close and exit handlers, on the headless
// backend with a channel of the test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "SkinWindowFixture.h"

namespace {

// A sensor-bound probe: registers its analog sensor, records each frame
// value; with FailOnce its next frame step raises "Boom" instead.
class TProbe : public TGraphicControl, public TSkinComponent {
  VELQ_CLASS(TProbe)
public:
  using TGraphicControl::TGraphicControl;
  TAnalogSensors AnalogSensor() const { return FSensor; }
  void SetAnalogSensor(TAnalogSensors v) { FSensor = v; }
  bool FailOnce() const { return FFailOnce; }
  void SetFailOnce(bool v) { FFailOnce = v; }
  void RegisterSensors(TSensorList& sensors) override { sensors.RegisterSensor(FSensor); }
  void FrameStep() override {
    if (FFailOnce) {
      FFailOnce = false;
      throw Exception("Boom");
    }
    if (BeforeRead) BeforeRead();
    if (auto reading = ReadSensor(FSensor)) Seen.push_back(reading->Value);
  }
  std::vector<float> Seen;
  std::function<void()> BeforeRead;  // what the host does just before this probe reads

private:
  TAnalogSensors FSensor = ia0;
  bool FFailOnce = false;
};

const TClassInfo& TProbe::StaticClass() {
  static const TClassInfo info = TClassBuilder<TProbe>("TProbe", &TGraphicControl::StaticClass())
                                     .Enum("AnalogSensor", AnalogSensorNames(), &TProbe::AnalogSensor,
                                           &TProbe::SetAnalogSensor)
                                     .Boolean("FailOnce", &TProbe::FailOnce, &TProbe::SetFailOnce)
                                     .Creatable()
                                     .Build();
  return info;
}

class SkinForm : public SkinWindowTest {
protected:
  void SetUp() override {
    SkinWindowTest::SetUp();
    RegisterClass(TProbe::StaticClass());
  }
  // `times` data-ready messages with arbitrary parameters, handled.
  void Deliver(int times) {
    for (int i = 0; i < times; ++i) App->PostMessage(Form, {Form->DataReadyMessage, 7, 9, 0});
    App->ProcessMessages();
  }
  TProbe* Probe(int i) { return dynamic_cast<TProbe*>(Form->Components(i)); }
};

TEST_F(SkinForm, WithoutTheBlockCreationReportsErrorAndMessagesAreIgnored) {
  Load(" object P: TProbe\n  AnalogSensor = ia2\n end\n");
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Error."});
  EXPECT_NE(Form->DataReadyMessage, 0u);
  Deliver(3);
  EXPECT_TRUE(Probe(0)->Seen.empty());
}

TEST_F(SkinForm, FramePassReadsEachSensorsSlotInListOrder) {
  // ia5 and ia2 and in3 would take slots 2, 1, 3; the probes use ia5 and ia2.
  TDataChannelHost host(2);
  host.WriteSlot(1, 1.5f);   // ia2
  host.WriteSlot(2, -7.25f); // ia5
  Load(" object A: TProbe\n  AnalogSensor = ia5\n end\n object B: TProbe\n  AnalogSensor = ia2\n end\n"
       " object C: TProbe\n  AnalogSensor = ia5\n end\n object D: TProbe\n end\n");
  EXPECT_TRUE(Boxes().empty());
  ASSERT_NE(SensorList(), nullptr);
  EXPECT_EQ(SensorList()->Count(), 2);
  Deliver(2);
  EXPECT_EQ(Probe(0)->Seen, (std::vector<float>{-7.25f, -7.25f}));
  EXPECT_EQ(Probe(1)->Seen, (std::vector<float>{1.5f, 1.5f}));
  EXPECT_EQ(Probe(2)->Seen, (std::vector<float>{-7.25f, -7.25f}));
  EXPECT_TRUE(Probe(3)->Seen.empty());
  // Only the registered message runs a pass.
  App->PostMessage(Form, {RegisterWindowMessage("SOMETHING_ELSE"), 0, 0, 0});
  App->ProcessMessages();
  EXPECT_EQ(Probe(0)->Seen.size(), 2u);

  // After the close handler nothing touches the block.
  TCloseAction action = caFree;
  Form->FormClose(Form, action);
  EXPECT_EQ(action, caHide);
  EXPECT_TRUE(App->Terminated());
  EXPECT_FALSE(DataBlockMapped());
  Deliver(1);
  EXPECT_EQ(Probe(0)->Seen.size(), 2u);
}

TEST_F(SkinForm, NotificationsFromTheHostBecomeFramePasses) {
  TDataChannelHost host(1);
  Load(" object A: TProbe\n  AnalogSensor = ia1\n end\n");
  for (int i = 1; i <= 5; ++i) {
    host.WriteSlot(1, float(i));
    host.Notify();
  }
  // Each datagram becomes one posted message; wait for all five.
  for (int spin = 0; spin < 500 && Probe(0)->Seen.size() < 5; ++spin) {
    usleep(2000);
    App->ProcessMessages();
  }
  EXPECT_EQ(Probe(0)->Seen.size(), 5u);
}

TEST_F(SkinForm, AFailingPictureStopsCreationBeforeLaterComponents) {
  TDataChannelHost host(2);
  Load(" object A: TProbe\n  AnalogSensor = ia1\n end\n"
       " object Back: TSkinBackground\n  BackgroundFile = 'missing/back.png'\n end\n"
       " object B: TProbe\n  AnalogSensor = ia2\n end\n");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], "Impossible d'ouvrir le fichier \"Skin/missing/back.png\". No such file or directory.");
  // A registered, B not; the list was not sorted and the block not opened.
  EXPECT_EQ(SensorList()->Count(), 1);
  EXPECT_FALSE(DataBlockMapped());
  Deliver(1);
  EXPECT_TRUE(Probe(0)->Seen.empty());
}

TEST_F(SkinForm, ASkinWithoutOldCreateOrderFalseNeverCreates) {
  TDataChannelHost host(1);
  ReadRootComponent(ObjectTextToBinary("object Dash: TSkinForm\n OnCreate = FormCreate\nend\n"), *Form);
  EXPECT_TRUE(Form->OldCreateOrder());
  Form->AfterConstruction();
  EXPECT_EQ(Form->DataReadyMessage, 0u);
  EXPECT_EQ(SensorList(), nullptr);
}

TEST_F(SkinForm, ExitButtonReleasesTheBlockAndEnds) {
  TDataChannelHost host(1);
  Load("");
  EXPECT_TRUE(DataBlockMapped());
  Form->SkinExitButtonClick(Form);
  EXPECT_FALSE(DataBlockMapped());
  EXPECT_TRUE(App->Terminated());
}

TEST_F(SkinForm, ARepeatedCreationHandlerKeepsOneWorkingListener) {
  // A skin that binds OnShow to the creation handler runs it twice.
  TDataChannelHost host(1);
  Load(" OnShow = FormCreate\n object A: TProbe\n  AnalogSensor = ia1\n end\n");
  Form->Show();
  EXPECT_TRUE(Boxes().empty());
  ASSERT_NE(Form->DataReadyListener, nullptr);
  EXPECT_TRUE(Form->DataReadyListener->Listening());
  {
    // Exactly one: the name is held, so no other listener can take it.
    TDataReadyListener other([] {});
    EXPECT_FALSE(other.Listening());
  }
  for (int i = 1; i <= 3; ++i) {
    host.WriteSlot(1, float(i));
    host.Notify();
    for (int spin = 0; spin < 500 && Probe(0)->Seen.size() < size_t(i); ++spin) {
      usleep(2000);
      App->ProcessMessages();
    }
  }
  EXPECT_EQ(Probe(0)->Seen, (std::vector<float>{1, 2, 3}));
}

TEST_F(SkinForm, AFrameStepThatRaisesEndsThatPassAndTheNextMessageRunsAFullPass) {
  TDataChannelHost host(1);
  host.WriteSlot(1, 4.5f);
  Load(" object A: TProbe\n  AnalogSensor = ia1\n end\n object F: TProbe\n  AnalogSensor = ia1\n  FailOnce = True\n end\n"
       " object B: TProbe\n  AnalogSensor = ia1\n end\n");
  ASSERT_TRUE(Boxes().empty());
  Deliver(1);
  // One box; the components after the failing one were not reached.
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Boom."});
  EXPECT_EQ(Probe(0)->Seen, std::vector<float>{4.5f});
  EXPECT_TRUE(Probe(1)->Seen.empty());
  EXPECT_TRUE(Probe(2)->Seen.empty());
  Deliver(1);
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Probe(0)->Seen.size(), 2u);
  EXPECT_EQ(Probe(1)->Seen, std::vector<float>{4.5f});
  EXPECT_EQ(Probe(2)->Seen, std::vector<float>{4.5f});
}

TEST_F(SkinForm, ABlockThatCannotBeMappedGivesItsBoxAndNoFrames) {
  // The block exists but is empty: it opens, and cannot be mapped.
  const std::string name = "/" + MapFileName();
  const int fd = ::shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  ::close(fd);
  Load(" object A: TProbe\n  AnalogSensor = ia1\n end\n");
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Unable to map view of buffer."});
  EXPECT_FALSE(DataBlockMapped());
  Deliver(2);
  EXPECT_TRUE(Probe(0)->Seen.empty());
  ::shm_unlink(name.c_str());
}

TEST_F(SkinForm, TwoBackgroundsLoadInFileOrder) {
  // Both are loaded; a missing one ends the handler there, so which one is
  // reported and which one is still loaded show the order.
  struct Case {
    bool First, Second;
    std::vector<std::string> Boxes;
    int FirstWidth, SecondWidth;
  };
  const std::string missing = "Impossible d'ouvrir le fichier \"Skin/two/%s.bmp\". No such file or directory.";
  const Case cases[] = {
      {true, true, {}, 2, 4},
      {false, true, {Format(missing.c_str(), "first")}, 0, 0},
      {true, false, {Format(missing.c_str(), "second")}, 2, 0},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    TDataChannelHost host(0);
    std::filesystem::create_directories("Skin/two");
    if (c.First) WriteFileBytes("Skin/two/first.bmp", TBitmap(2, 3).SaveToBytes());
    if (c.Second) WriteFileBytes("Skin/two/second.bmp", TBitmap(4, 5).SaveToBytes());
    const size_t before = Boxes().size();  // the window system outlives the cases
    Load(" object Back1: TSkinBackground\n  BackgroundFile = 'two/first.bmp'\n end\n"
         " object Back2: TSkinBackground\n  BackgroundFile = 'two/second.bmp'\n end\n");
    const std::vector<std::string> boxes = Boxes();
    EXPECT_EQ(std::vector<std::string>(boxes.begin() + long(before), boxes.end()), c.Boxes) << c.First << c.Second;
    EXPECT_EQ(Find<TSkinBackground>("Back1")->Picture()->Width(), c.FirstWidth) << c.First << c.Second;
    EXPECT_EQ(Find<TSkinBackground>("Back2")->Picture()->Width(), c.SecondWidth) << c.First << c.Second;
  }
}

TEST_F(SkinForm, ABlockTruncatedUnderALiveDashboardLosesOnlyTheMissingSlots) {
  TDataChannelHost host(2);
  host.WriteSlot(1, 1.5f);
  host.WriteSlot(2, 2.5f);
  Load(" object A: TProbe\n  AnalogSensor = ia1\n end\n object B: TProbe\n  AnalogSensor = ia2\n end\n");
  Deliver(1);
  ASSERT_EQ(Probe(0)->Seen.size(), 1u);
  ASSERT_EQ(Probe(1)->Seen.size(), 1u);
  const int fd = ::shm_open(("/" + MapFileName()).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  // The host shrinks the block between frames: the next frames skip the
  // slots it lost. Truncated to nothing, even the first page is gone (a
  // read of it would have ended the process).
  struct Case {
    off_t Size;
    bool A, B;
  };
  const Case cases[] = {{8, true, false}, {0, false, false}, {12, true, true}};
  for (const Case& c : cases) {
    ASSERT_EQ(::ftruncate(fd, c.Size), 0);
    const size_t a = Probe(0)->Seen.size(), b = Probe(1)->Seen.size();
    Deliver(2);
    EXPECT_EQ(Probe(0)->Seen.size(), a + (c.A ? 2 : 0)) << c.Size;
    EXPECT_EQ(Probe(1)->Seen.size(), b + (c.B ? 2 : 0)) << c.Size;
  }
  // The host truncates the block during a frame pass, just before A reads:
  // that pass skips A and B, the dashboard lives on, and once the block is
  // back the frames read it again.
  Probe(0)->BeforeRead = [fd] { ASSERT_EQ(::ftruncate(fd, 0), 0); };
  const size_t a = Probe(0)->Seen.size(), b = Probe(1)->Seen.size();
  Deliver(1);
  EXPECT_EQ(Probe(0)->Seen.size(), a);
  EXPECT_EQ(Probe(1)->Seen.size(), b);
  Probe(0)->BeforeRead = nullptr;
  ASSERT_EQ(::ftruncate(fd, 12), 0);
  host.WriteSlot(2, 9.0f);
  Deliver(1);
  EXPECT_EQ(Probe(1)->Seen.back(), 9.0f);
  EXPECT_EQ(Probe(0)->Seen.size(), a + 1);
  EXPECT_TRUE(Boxes().empty());
  ::close(fd);
}

TEST(SensorInteger, TruncatesTowardZeroAndKeepsTheLow32Bits) {
  const std::pair<float, int32_t> cases[] = {
      {7.99f, 7}, {-7.99f, -7}, {2.9f, 2}, {-2.9f, -2}, {0.0f, 0}, {4294967296.0f, 0},
      {4294967808.0f, 512}, {-2147483648.0f, INT32_MIN}, {1e30f, -1}, {-1e30f, 0}, {NAN, 0},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(SensorInteger(in), out) << in;
}

}  // namespace
