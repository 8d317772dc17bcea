// The slot layout read at the object-stream layer (what libvelqhost uses)
// against the dashboard's own: the skin read into live skin objects, then
// SkinSensorLayout. They must agree on every skin the repository holds,
// hostile fuzz inputs included, and on every class with every binding.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SkinImpl.h"
#include "SkinLayout.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

namespace fs = std::filesystem;

// The dashboard's layout of a stream, or nothing when the dashboard cannot
// read the skin at all (then there is nothing to agree with).
std::optional<std::vector<std::string>> DashboardLayout(std::span<const uint8_t> stream,
                                                       std::string* error = nullptr) {
  THeadlessWindowSystem system;
  system.SetEchoMessageBoxes(false);
  TApplication application(system);
  RegisterSkinClasses();
  auto* form = new TSkinForm(&application);  // owned by the application
  try {
    ReadRootComponent(stream, *form);
  } catch (const Exception& e) {
    if (error) *error = e.Message();
    return std::nullopt;
  }
  return SkinSensorLayout(*form);
}

std::vector<uint8_t> StreamOf(const fs::path& file) {
  const std::vector<uint8_t> bytes = ReadFileBytes(file.string());
  if (file.extension() == ".cfg")
    return ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  const size_t start = SkipResourceHeader(bytes);
  return {bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()};
}

TEST(SkinLayout, AgreesWithTheDashboardOnEverySkinOfTheRepository) {
  const fs::path tests = fs::path(VELQ_TEST_SOURCE_DIR).parent_path();
  std::vector<fs::path> files = {tests.parent_path() / "skins/demo/skin.cfg",
                                 tests.parent_path() / "skins/showcase/skin.cfg", tests / "stream/corpus/allkinds.cfg",
                                 tests / "stream/corpus/minimal.cfg"};
  for (const char* corpus : {"fuzz/corpus/skin_objects", "fuzz/corpus/skin_reader"})
    for (const auto& entry : fs::directory_iterator(tests / corpus)) files.push_back(entry.path());
  int compared = 0, bound = 0;
  for (const fs::path& file : files) {
    std::vector<uint8_t> stream;
    try {
      stream = StreamOf(file);
    } catch (const Exception&) {
      continue;  // not even a stream: both readers refuse it (checked below)
    }
    const auto dashboard = DashboardLayout(stream);
    if (!dashboard) continue;
    std::vector<std::string> ours;
    ASSERT_NO_THROW(ours = StreamSensorLayout(stream)) << file << ": the dashboard reads it, so must the host";
    EXPECT_EQ(ours, *dashboard) << file;
    ++compared;
    if (!ours.empty()) ++bound;
  }
  // The corpora must keep exercising this: most of their skins load, and
  // many bind sensors.
  EXPECT_GE(compared, 300);
  EXPECT_GE(bound, 100);
}

// Every skin class: those with sensor properties bound to an analog and
// (where they have one) a digital sensor of their own, the label both as
// text and as sensor; property names and values in other cases, and a
// binding given twice (the last one counts).
TEST(SkinLayout, EveryClassBindsAsTheDashboardBindsIt) {
  struct Class {
    const char* name;
    bool analog, digital;
  };
  const Class classes[] = {{"TSkinAngularGauge", true, true}, {"TSkinCounter", true, false},
                           {"TSkinLed", true, true},          {"TSkinProgressBar", true, true},
                           {"TSkinLevelBar", true, true},     {"TSkinNum", true, true},
                           {"TSkinMatrix", true, true},       {"TSkinLabel", true, true},
                           {"TSkinBackground", false, false}, {"TSkinExitButton", false, false},
                           {"TSkinClock", false, false}};
  std::string text = "object F: TSkinForm\n";
  int n = 1;
  for (const Class& c : classes) {
    text += "  object A" + std::to_string(n) + ": " + c.name + "\n";
    if (c.analog) text += "    AnalogSensor = ia" + std::to_string(n) + "\n";
    if (c.digital) text += "    digitalsensor = IN" + std::to_string(n) + "\n";
    text += "  end\n";
    ++n;
  }
  text += "  object S: TSkinLabel\n    LabelType = _sensor\n    AnalogSensor = ia40\n    AnalogSensor = ia41\n"
          "    DigitalSensor = in30\n  end\n";
  text += "  object T: TSkinLabel\n    LabelType = _sensor\n    LabelType = _text\n    AnalogSensor = ia42\n  end\n";
  text += "end\n";
  const std::vector<uint8_t> stream = ObjectTextToBinary(text);
  std::string error;
  const auto dashboard = DashboardLayout(stream, &error);
  ASSERT_TRUE(dashboard) << error;
  EXPECT_EQ(StreamSensorLayout(stream), *dashboard);
  // Spelled out, so that a change to both sides at once is seen too: the
  // bars' digital sensor is stored only, a label shows a sensor only as
  // _sensor.
  EXPECT_EQ(*dashboard, (std::vector<std::string>{"ia1", "ia2", "ia3", "ia4", "ia5", "ia6", "ia7", "ia41", "in3",
                                                  "in6", "in7", "in30"}));
}

TEST(SkinLayout, FaultsAreNamedInEnglishWithTheirFileAndLine) {
  const fs::path dir = fs::temp_directory_path() / ("skinlayout-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  struct Case {
    const char* file;
    std::string contents;
    ESkinLayoutError::TKind kind;
    std::string message;
  };
  const std::string bin = (dir / "x.bin").string(), cfg = (dir / "x.cfg").string();
  const Case cases[] = {
      {"absent.bin", "", ESkinLayoutError::lkFileMissing, "cannot open skin file " + (dir / "absent.bin").string()},
      {"x.bin", "not a skin", ESkinLayoutError::lkBadSkin, bin + ": not a binary skin file, or a damaged one"},
      {"x.bin", std::string("\xFF\x0A\x00TSKINFORM\x00\x30\x10\x10\x00\x00\x00TPF0", 23), ESkinLayoutError::lkBadSkin,
       bin + ": the skin file ends too early (truncated?)"},
          {"x.cfg", "object F: TSkinForm\n  Left = 1\n  object L: TSkinLed\n    Top = @\n  end\nend\n",
       ESkinLayoutError::lkBadSkin, cfg + ": syntax error in the skin's text at line 4"},
      {"x.cfg", "object F: TSkinForm\n  object G: TSkinLevelBar\n    AnalogSensor = ia48\n  end\nend\n",
       ESkinLayoutError::lkBadSkin, cfg + ": object G (TSkinLevelBar): AnalogSensor = ia48 is not a sensor"},
      {"x.cfg", "object F: TSkinForm\n  object G: TSkinNum\n    DigitalSensor = 3\n  end\nend\n",
       ESkinLayoutError::lkBadSkin, cfg + ": object G (TSkinNum): DigitalSensor is not given as a name"},
      {"x.cfg", std::string("\xFF\xFEo\0b\0", 6), ESkinLayoutError::lkBadSkin,
       cfg + ": the skin's text is in UTF-16: save it as UTF-8"},
  };
  for (const Case& c : cases) {
    const fs::path path = dir / c.file;
    if (c.kind != ESkinLayoutError::lkFileMissing) std::ofstream(path, std::ios::binary) << c.contents;
    try {
      ReadSkinSensorLayout(path.string());
      ADD_FAILURE() << c.message << ": read without an error";
    } catch (const ESkinLayoutError& e) {
      EXPECT_EQ(e.Kind(), c.kind) << c.message;
      EXPECT_EQ(e.Message().substr(0, c.message.size()), c.message);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
