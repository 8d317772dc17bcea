// Port enumeration through the port map, and status texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SerialEnum.h"
#include "support/PtySimulator.h"

using namespace serialkvl;
using namespace serialtest;

namespace {

std::vector<std::string> ListedNames() {
  const PortList& list = EnumeratePorts();
  std::vector<std::string> names;
  for (int i = 0; i < list.FCount; ++i) {
    names.push_back(list.FEntries[i].FName);
    EXPECT_STREQ(list.FEntries[i].FDescription, "");
  }
  return names;
}

TEST(SerialEnumTest, ListsOnlyMappedTerminalsInOrder) {
  PtySimulator first, third, twentieth;
  PortMap map;
  map.Link("COM3", third.SlavePath());
  map.Link("COM1", first.SlavePath());
  map.Link("COM2", "/dev/null");             // a character device, but no terminal
  map.Link("COM4", map.Directory() + "/x");  // a dangling link
  map.Link("COM20", twentieth.SlavePath());  // beyond the probed range
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{"COM1", "COM3"}));
}

TEST(SerialEnumTest, EmptyMapListsNothing) {
  PortMap map;
  EXPECT_TRUE(ListedNames().empty());
}

struct TextCase {
  int32_t FCode;
  const char* FText;
};

class ErrorTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ErrorTextTest, Text) { EXPECT_STREQ(ErrorText(GetParam().FCode), GetParam().FText); }

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorTextTest,
    ::testing::Values(TextCase{100301, " Communication timeout "}, TextCase{100302, " Fail to open com port "},
                      TextCase{100000, " Erreur inconnue "}, TextCase{100303, " Erreur inconnue "},
                      TextCase{2147483647, " Erreur inconnue "}, TextCase{2, "No such file or directory"},
                      TextCase{13, "Permission denied"}, TextCase{5, "Input/output error"},
                      TextCase{-1, "Unknown error -1"}, TextCase{99999, "Unknown error 99999"}),
    // Named by their code, so a failure reads "Code_minus1" rather than raw bytes.
    [](const auto& info) {
      const int code = info.param.FCode;
      return code < 0 ? "Code_minus" + std::to_string(-static_cast<long long>(code)) : "Code_" + std::to_string(code);
    });

}  // namespace
