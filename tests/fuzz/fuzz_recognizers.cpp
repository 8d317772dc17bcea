// Fuzzes the four frame recognisers against a model of their rules written
// here independently: the receive window as a plain byte vector, oldest
// byte first, searched with bounds-checked access. After every call the
// recogniser's answer, the frame it delivered and the window it left must
// equal the model's; any difference aborts, like a crash.
//
// Input: byte 0 picks the profile; bytes 1-2 and 3-4 give the window's
// start and length in the receive buffer; byte 5 the request length; the
// next 16 bytes the start of the request; the rest fills the window
// (repeated when short). Bytes outside the window hold header patterns, so
// a search that strays outside the window finds frames the model does not.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "SerialRecognizers.h"

using namespace serialkvl;

namespace {

enum Profile { kKVLv1, kKVLv2, kLOG2A0, kZT2 };

struct ModelState {
  std::vector<uint8_t> Window;  // the receive window, oldest first
  int32_t WindowStart = 0;      // its place in the receive buffer
  std::vector<uint8_t> Request;  // the whole 255-byte transmit buffer
  int32_t RequestLength = 0;
  std::vector<uint8_t> Frame;
};

// Delivers Window[i .. i+length) and drops it with everything older.
bool ModelDeliver(ModelState& m, size_t i, size_t length) {
  m.Frame.assign(m.Window.begin() + static_cast<std::ptrdiff_t>(i),
                 m.Window.begin() + static_cast<std::ptrdiff_t>(i + length));
  m.Window.erase(m.Window.begin(), m.Window.begin() + static_cast<std::ptrdiff_t>(i + length));
  m.WindowStart += static_cast<int32_t>(i + length);
  return true;
}

// A frame of fixed length that starts with `header`; the newest one wins.
bool ModelFixed(ModelState& m, const std::vector<uint8_t>& header, size_t length) {
  const auto& w = m.Window;
  for (size_t i = w.size() >= header.size() ? w.size() - header.size() + 1 : 0; i-- > 0;) {
    if (!std::equal(header.begin(), header.end(), w.begin() + static_cast<std::ptrdiff_t>(i))) continue;
    if (w.size() - i >= length) return ModelDeliver(m, i, length);
  }
  return false;
}

bool ModelKVLv2(ModelState& m) {
  const auto& w = m.Window;
  for (size_t i = w.size() >= 3 ? w.size() - 2 : 0; i-- > 0;) {
    if (w.at(i) != 0x80 || w.at(i + 1) != 0xF0 || w.at(i + 2) != 0x10) continue;
    const size_t available = w.size() - i;
    if (available < 6) continue;
    const size_t length = static_cast<size_t>(w.at(i + 3)) + 5;
    if (available < length) continue;
    unsigned sum = 0;
    for (size_t k = 0; k + 1 < length; ++k) sum += w.at(i + k);
    if (w.at(i + length - 1) != (sum & 0xFF)) {
      // Dropped, with everything older; nothing delivered.
      m.Window.erase(m.Window.begin(), m.Window.begin() + static_cast<std::ptrdiff_t>(i + length));
      m.WindowStart += static_cast<int32_t>(i + length);
      return false;
    }
    const uint8_t service = m.Request.at(4);
    const uint8_t reply = w.at(i + 4);
    if ((service == 0xBF && reply != 0xFF) || (service == 0xA8 && reply != 0xE8) ||
        (service == 0xB8 && reply != 0xF8) || (service == 0xA0 && reply != 0xE0) ||
        (service == 0xB0 && reply != 0xF0))
      return false;
    const int32_t data = static_cast<int32_t>(length) - 6;
    if (service == 0xA8 && data * 3 != m.RequestLength - 7) return false;
    if (service == 0xB8 && data * 4 != m.RequestLength - 6) return false;
    return ModelDeliver(m, i, length);
  }
  return false;
}

bool ModelKVLv1(ModelState& m) {
  const auto& w = m.Window;
  const auto& r = m.Request;
  if (w.size() < 3) return false;
  if (r.at(0) == 0x00) {
    if (r.at(1) != 0x80 || r.at(2) != 0x00 || r.at(3) != 0x00) return false;
    return ModelDeliver(m, 0, 3);
  }
  if (r.at(0) == 0x78) {
    const size_t length = static_cast<size_t>(r.at(3)) + 3;
    for (size_t i = w.size() - 1; i-- > 0;)
      if (w.at(i) == r.at(1) && w.at(i + 1) == r.at(2) && w.size() - i >= length) return ModelDeliver(m, i, length);
    return false;
  }
  if (r.at(0) == 0xAA) {
    for (size_t i = w.size() - 1; i-- > 0;)
      if (w.at(i) == r.at(1) && w.at(i + 1) == r.at(2) && w.size() - i >= 3 && w.at(i + 2) == r.at(3))
        return ModelDeliver(m, i, 3);
    return false;
  }
  return false;
}

bool ModelRecognize(Profile profile, ModelState& m) {
  switch (profile) {
    case kKVLv1: return ModelKVLv1(m);
    case kKVLv2: return ModelKVLv2(m);
    case kLOG2A0: return ModelFixed(m, {0x5A, 0xA5}, 12);
    case kZT2: return ModelFixed(m, {0x00, 0x01, 0x02}, 13);
  }
  return false;
}

FrameRecognizer RecognizerOf(Profile profile) {
  switch (profile) {
    case kKVLv1: return RecognizeKVLv1;
    case kKVLv2: return RecognizeKVLv2;
    case kLOG2A0: return RecognizeLOG2A0;
    case kZT2: return RecognizeZT2;
  }
  return nullptr;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kFixed = 6 + 16;
  if (size < kFixed) return 0;
  const auto profile = static_cast<Profile>(data[0] % 4);
  const int32_t start = ((data[1] << 8) | data[2]) % kReceiveBufferSize;
  const int32_t count = ((data[3] << 8) | data[4]) % (kReceiveBufferSize - start + 1);

  static ReceiveState s;  // 2.5 KiB: kept off the stack, refilled every run
  s = ReceiveState{};
  static constexpr uint8_t kPatterns[] = {0x80, 0xF0, 0x10, 0x5A, 0xA5, 0x00, 0x01, 0x02};
  for (int32_t i = 0; i < kReceiveBufferSize; ++i) s.FRx[i] = kPatterns[i % std::size(kPatterns)];
  const uint8_t* content = data + kFixed;
  const size_t contentSize = size - kFixed;
  for (int32_t i = 0; i < count; ++i) s.FRx[start + i] = contentSize ? content[i % contentSize] : 0;
  s.FWindowStart = start;
  s.FWindowCount = count;
  s.FRequestLength = data[5];
  std::memcpy(s.FRequest, data + 6, 16);

  ModelState m;
  m.Window.assign(s.FRx + start, s.FRx + start + count);
  m.WindowStart = start;
  m.Request.assign(s.FRequest, s.FRequest + kTransmitBufferSize);
  m.RequestLength = s.FRequestLength;

  // A reader calls the recogniser again after each delivered frame until
  // the window holds no more; a few rounds cover that.
  const FrameRecognizer recognize = RecognizerOf(profile);
  for (int round = 0; round < 8; ++round) {
    const int32_t startBefore = s.FWindowStart;
    const bool delivered = recognize(s);
    const bool expected = ModelRecognize(profile, m);
    Check(delivered == expected);
    Check(s.FWindowStart == m.WindowStart);
    Check(s.FWindowCount == static_cast<int32_t>(m.Window.size()));
    Check(s.FWindowStart >= 0 && s.FWindowStart + s.FWindowCount <= kReceiveBufferSize);
    if (delivered) {
      Check(s.FFrameLength == static_cast<int32_t>(m.Frame.size()));
      Check(std::equal(m.Frame.begin(), m.Frame.end(), s.FFrame));
    }
    // Nothing consumed and nothing delivered: the next call sees the same.
    if (!delivered && s.FWindowStart == startBefore) break;
  }
  return 0;
}
