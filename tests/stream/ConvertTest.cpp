// ConvertFormOrText: file names, directions and failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "SkinStream.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  auto bytes = ReadFileBytes(p.string());
  return std::string(bytes.begin(), bytes.end());
}

TEST(ChangeFileExt, ReplacesOrAppends) {
  EXPECT_EQ(ChangeFileExt("Skin/a/skin.bin", ".cfg"), "Skin/a/skin.cfg");
  EXPECT_EQ(ChangeFileExt("Skin/a.b/skin", ".cfg"), "Skin/a.b/skin.cfg");
  EXPECT_EQ(ChangeFileExt("x.tar.gz", ".bin"), "x.tar.bin");
}

TEST(ConvertFormOrText, BothDirectionsAndFailures) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("convert_test-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string text = "object Dash: TSkinForm\r\n  Left = 3\r\nend\r\n";
  WriteFileBytes((dir / "skin.cfg").string(), std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));

  // The given name's own extension does not matter.
  EXPECT_TRUE(ConvertFormOrText((dir / "skin.whatever").string(), 0));
  const std::string bin = Slurp(dir / "skin.bin");
  EXPECT_EQ(bin.substr(0, 13), std::string("\xFF\x0A\x00TSKINFORM\x00", 13));
  fs::remove(dir / "skin.cfg");
  EXPECT_TRUE(ConvertFormOrText((dir / "skin").string(), 1));
  EXPECT_EQ(Slurp(dir / "skin.cfg"), text);

  EXPECT_FALSE(ConvertFormOrText((dir / "skin").string(), 2));
  EXPECT_FALSE(ConvertFormOrText((dir / "missing").string(), 0));
  EXPECT_FALSE(fs::exists(dir / "missing.bin"));  // the source is opened first
  // A destination that cannot be created.
  fs::create_directories(dir / "ro.bin");
  WriteFileBytes((dir / "ro.cfg").string(), std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  EXPECT_FALSE(ConvertFormOrText((dir / "ro").string(), 0));
  // A binary that cannot be read gives false; a syntax error is raised.
  WriteFileBytes((dir / "bad.bin").string(), std::vector<uint8_t>{0xFF, 10, 0, 0, 0, 0, 0, 0, 0, 0, 'X'});
  EXPECT_FALSE(ConvertFormOrText((dir / "bad").string(), 1));
  const std::string broken = "object Dash: TSkinForm\r\n  Left 3\r\nend\r\n";
  WriteFileBytes((dir / "broken.cfg").string(), std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(broken.data()), broken.size()));
  try {
    ConvertFormOrText((dir / "broken").string(), 0);
    FAIL();
  } catch (const EParserError& e) {
    EXPECT_EQ(e.Message(), "'=' attendu à la ligne 2");
  }
  fs::remove_all(dir);
}

}  // namespace
