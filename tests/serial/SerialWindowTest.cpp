// Receive-window growth at the end of the buffer.
#include <gtest/gtest.h>

#include <memory>

#include "SerialReader.h"

using namespace serialkvl;

namespace {

struct WindowCase {
  int32_t FStart, FCount, FNew;
  int32_t FRoom;  // room the read step offers before the bytes arrive
  int32_t FExpectedStart, FExpectedCount;
};

void PrintTo(const WindowCase& c, std::ostream* os) {
  *os << "start " << c.FStart << " count " << c.FCount << " new " << c.FNew;
}

class WindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(WindowTest, AppendKeepsWindowInsideBuffer) {
  const WindowCase& c = GetParam();
  auto state = std::make_unique<ReceiveState>();
  for (int32_t i = 0; i < c.FCount + c.FNew; ++i) {
    state->FRx[c.FStart + i] = static_cast<uint8_t>(i);
  }
  state->FWindowStart = c.FStart;
  state->FWindowCount = c.FCount;
  EXPECT_EQ(ReadRoom(*state), c.FRoom);

  AppendToWindow(*state, c.FNew);
  EXPECT_EQ(state->FWindowStart, c.FExpectedStart);
  EXPECT_EQ(state->FWindowCount, c.FExpectedCount);
  EXPECT_LE(state->FWindowStart + state->FWindowCount, 2046);
  // Bytes kept are the same bytes, oldest first, wherever they now lie.
  for (int32_t i = 0; i < state->FWindowCount; ++i) {
    ASSERT_EQ(state->FRx[state->FWindowStart + i], static_cast<uint8_t>(i)) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Boundary, WindowTest,
    ::testing::Values(WindowCase{0, 0, 10, 255, 0, 10},
                      WindowCase{2000, 0, 46, 47, 2000, 46},     // ends at 2046: still fits
                      WindowCase{1900, 100, 47, 47, 0, 0},      // reaches 2047 with 147 bytes: dropped
                      WindowCase{1960, 40, 47, 47, 0, 87},      // reaches 2047 with 87 bytes: moved
                      WindowCase{1000, 1046, 1, 1, 0, 0},       // full window, one more byte
                      WindowCase{2040, 6, 1, 1, 0, 7}));

}  // namespace
