// The four frame rules, as a table of receive windows and requests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SerialRecognizers.h"

using namespace serialkvl;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Filler(size_t n, uint8_t first) {
  Bytes out;
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(first + i));
  return out;
}

// A KVLv2 reply 80 F0 10 len svc data... with its checksum (or a wrong one).
Bytes KVLv2Reply(uint8_t service, const Bytes& data, bool goodChecksum = true) {
  Bytes frame{0x80, 0xF0, 0x10, static_cast<uint8_t>(data.size() + 1), service};
  frame.insert(frame.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : frame) sum = static_cast<uint8_t>(sum + b);
  frame.push_back(goodChecksum ? sum : static_cast<uint8_t>(sum + 1));
  return frame;
}

struct RecognizerCase {
  std::string FName;
  FrameRecognizer FRecognizer;
  Bytes FRequest;
  Bytes FWindow;
  bool FDelivered;
  Bytes FFrame;          // expected frame when delivered
  int32_t FRemaining;    // window count afterwards (start moves to end - remaining)
};

void PrintTo(const RecognizerCase& c, std::ostream* os) { *os << c.FName; }

const Bytes kLogA = Concat({{0x5A, 0xA5}, Filler(10, 0x01)});
const Bytes kLogB = Concat({{0x5A, 0xA5}, Filler(10, 0x41)});
const Bytes kZt = Concat({{0x00, 0x01, 0x02}, Filler(10, 0x21)});
const Bytes kKvl2Request{0x80, 0x10, 0xF0, 0x01, 0xBF, 0x00};
const Bytes kKvl2Good = KVLv2Reply(0xFF, {0x12, 0x34});

Bytes RequestOfLength(uint8_t service, size_t length) {
  Bytes request{0x80, 0x10, 0xF0, 0x00, service};
  request.resize(length, 0x00);
  return request;
}

std::vector<RecognizerCase> Cases() {
  return {
      {"Log2a0SingleFrame", RecognizeLOG2A0, {}, kLogA, true, kLogA, 0},
      {"Log2a0OlderFrameWhenNewerIsIncomplete", RecognizeLOG2A0, {},
       Concat({kLogA, {0x5A, 0xA5}, Filler(4, 0x61)}), true, kLogA, 6},
      {"Log2a0NewestCompleteFrameWins", RecognizeLOG2A0, {}, Concat({kLogA, kLogB}), true, kLogB, 0},
      {"Log2a0LeadingNoiseDroppedTrailingKept", RecognizeLOG2A0, {},
       Concat({{0x11, 0x22, 0x33}, kLogA, {0x77, 0x88}}), true, kLogA, 2},
      {"Log2a0Incomplete", RecognizeLOG2A0, {}, Bytes(kLogA.begin(), kLogA.end() - 1), false, {}, 11},
      {"Zt2Frame", RecognizeZT2, {}, Concat({{0x09}, kZt}), true, kZt, 0},
      {"Zt2Incomplete", RecognizeZT2, {}, Bytes(kZt.begin(), kZt.end() - 1), false, {}, 12},

      {"Kvl2Reply", RecognizeKVLv2, kKvl2Request, kKvl2Good, true, kKvl2Good, 0},
      {"Kvl2BadChecksumDroppedReceiveGoesOn", RecognizeKVLv2, kKvl2Request,
       Concat({KVLv2Reply(0xFF, {0x12, 0x34}, false), {0x01}}), false, {}, 1},
      {"Kvl2BadNewestFrameDropsOlderToo", RecognizeKVLv2, kKvl2Request,
       Concat({kKvl2Good, KVLv2Reply(0xFF, {0x56, 0x78}, false)}), false, {}, 0},
      {"Kvl2ServiceMismatchStaysInWindow", RecognizeKVLv2, kKvl2Request, KVLv2Reply(0xE8, {0x12, 0x34}),
       false, {}, 8},
      {"Kvl2EchoNeverMatches", RecognizeKVLv2, kKvl2Request, kKvl2Request, false, {}, 6},
      {"Kvl2EchoThenReply", RecognizeKVLv2, kKvl2Request, Concat({kKvl2Request, kKvl2Good}), true,
       kKvl2Good, 0},
      {"Kvl2ShorterThanSixBytes", RecognizeKVLv2, kKvl2Request, {0x80, 0xF0, 0x10, 0x00, 0x80}, false, {}, 5},
      {"Kvl2UncheckedServiceAcceptsAnyReply", RecognizeKVLv2, RequestOfLength(0x11, 6),
       KVLv2Reply(0x99, {0x01}), true, KVLv2Reply(0x99, {0x01}), 0},
      // A8: (L - 6) * 3 == transmit length - 7; a reply of 8 bytes fits a 13-byte request.
      {"Kvl2A8LengthMatches", RecognizeKVLv2, RequestOfLength(0xA8, 13), KVLv2Reply(0xE8, {1, 2}), true,
       KVLv2Reply(0xE8, {1, 2}), 0},
      {"Kvl2A8LengthMismatch", RecognizeKVLv2, RequestOfLength(0xA8, 10), KVLv2Reply(0xE8, {1, 2}), false,
       {}, 8},
      // B8: (L - 6) * 4 == transmit length - 6.
      {"Kvl2B8LengthMatches", RecognizeKVLv2, RequestOfLength(0xB8, 14), KVLv2Reply(0xF8, {1, 2}), true,
       KVLv2Reply(0xF8, {1, 2}), 0},
      {"Kvl2B8LengthMismatch", RecognizeKVLv2, RequestOfLength(0xB8, 13), KVLv2Reply(0xF8, {1, 2}), false,
       {}, 8},

      {"Kvl1ReadReply", RecognizeKVLv1, {0x78, 0x12, 0x34, 0x00}, {0x12, 0x34, 0x56}, true,
       {0x12, 0x34, 0x56}, 0},
      {"Kvl1RepeatedReplyNewestWins", RecognizeKVLv1, {0x78, 0x12, 0x34, 0x02},
       {0x12, 0x34, 1, 2, 3, 0x12, 0x34, 4, 5, 6}, true, {0x12, 0x34, 4, 5, 6}, 0},
      {"Kvl1ReadReplyIncomplete", RecognizeKVLv1, {0x78, 0x12, 0x34, 0x02}, {0x12, 0x34, 1, 2}, false, {}, 4},
      {"Kvl1InitTakesWindowHead", RecognizeKVLv1, {0x00, 0x80, 0x00, 0x00}, {7, 8, 9, 10}, true, {7, 8, 9}, 1},
      {"Kvl1InitWrongRequestTail", RecognizeKVLv1, {0x00, 0x81, 0x00, 0x00}, {7, 8, 9, 10}, false, {}, 4},
      {"Kvl1WriteAck", RecognizeKVLv1, {0xAA, 0x12, 0x34, 0x56}, {0x00, 0x12, 0x34, 0x56}, true,
       {0x12, 0x34, 0x56}, 0},
      {"Kvl1WriteAckWrongValue", RecognizeKVLv1, {0xAA, 0x12, 0x34, 0x56}, {0x12, 0x34, 0x57}, false, {}, 3},
      {"Kvl1UnknownRequestNeverMatches", RecognizeKVLv1, {0x55, 0x12, 0x34, 0x00}, {0x12, 0x34, 0x56},
       false, {}, 3},
      {"Kvl1FewerThanThreeBytes", RecognizeKVLv1, {0x00, 0x80, 0x00, 0x00}, {7, 8}, false, {}, 2},
  };
}

class RecognizerTest : public ::testing::TestWithParam<RecognizerCase> {};

TEST_P(RecognizerTest, DeliversAndConsumes) {
  const RecognizerCase& c = GetParam();
  auto state = std::make_unique<ReceiveState>();
  // Start the window away from index 0 and put noise before it, so a rule
  // that looked outside the window would be caught.
  const int32_t start = 40;
  std::memset(state->FRx, 0x5A, start);
  std::memcpy(state->FRx + start, c.FWindow.data(), c.FWindow.size());
  state->FWindowStart = start;
  state->FWindowCount = static_cast<int32_t>(c.FWindow.size());
  if (!c.FRequest.empty()) std::memcpy(state->FRequest, c.FRequest.data(), c.FRequest.size());
  state->FRequestLength = static_cast<int32_t>(c.FRequest.size());
  const int32_t end = start + state->FWindowCount;

  EXPECT_EQ(c.FRecognizer(*state), c.FDelivered);
  if (c.FDelivered) {
    EXPECT_EQ(Bytes(state->FFrame, state->FFrame + state->FFrameLength), c.FFrame);
  }
  EXPECT_EQ(state->FWindowCount, c.FRemaining);
  EXPECT_EQ(state->FWindowStart + state->FWindowCount, end);
}

INSTANTIATE_TEST_SUITE_P(Rules, RecognizerTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.FName; });

}  // namespace
