#include "SerialRecognizers.h"

#include <cstring>

namespace serialkvl {

namespace {

int32_t WindowEnd(const ReceiveState& s) { return s.FWindowStart + s.FWindowCount; }

// Bytes from p to the end of the window.
int32_t Available(const ReceiveState& s, int32_t p) { return WindowEnd(s) - p; }

// Drops the frame at p and everything older; later bytes stay for the next
// receive.
void ConsumeThrough(ReceiveState& s, int32_t p, int32_t length) {
  s.FWindowCount = WindowEnd(s) - (p + length);
  s.FWindowStart = p + length;
}

bool Deliver(ReceiveState& s, int32_t p, int32_t length) {
  std::memcpy(s.FFrame, s.FRx + p, static_cast<size_t>(length));
  s.FFrameLength = length;
  ConsumeThrough(s, p, length);
  return true;
}

// Searches from the newest position that could still hold a whole header
// down to the window start, so the newest complete frame wins.
bool FindFixedFrame(ReceiveState& s, const uint8_t* header, int32_t headerLength,
                    int32_t frameLength) {
  for (int32_t p = WindowEnd(s) - headerLength; p >= s.FWindowStart; --p) {
    if (std::memcmp(s.FRx + p, header, static_cast<size_t>(headerLength)) == 0 &&
        Available(s, p) >= frameLength) {
      return Deliver(s, p, frameLength);
    }
  }
  return false;
}

// Reply service byte expected for each request service byte; other requests
// are not compared.
bool ExpectedService(uint8_t request, uint8_t& reply) {
  switch (request) {
    case 0xBF: reply = 0xFF; return true;
    case 0xA8: reply = 0xE8; return true;
    case 0xB8: reply = 0xF8; return true;
    case 0xA0: reply = 0xE0; return true;
    case 0xB0: reply = 0xF0; return true;
    default: return false;
  }
}

}  // namespace

bool RecognizeLOG2A0(ReceiveState& state) {
  static constexpr uint8_t kHeader[] = {0x5A, 0xA5};
  return FindFixedFrame(state, kHeader, 2, 12);
}

bool RecognizeZT2(ReceiveState& state) {
  static constexpr uint8_t kHeader[] = {0x00, 0x01, 0x02};
  return FindFixedFrame(state, kHeader, 3, 13);
}

bool RecognizeKVLv2(ReceiveState& s) {
  for (int32_t p = WindowEnd(s) - 3; p >= s.FWindowStart; --p) {
    if (s.FRx[p] != 0x80 || s.FRx[p + 1] != 0xF0 || s.FRx[p + 2] != 0x10) continue;
    if (Available(s, p) < 6) continue;
    const int32_t length = s.FRx[p + 3] + 5;
    if (Available(s, p) < length) continue;

    uint8_t sum = 0;
    for (int32_t i = p; i < p + length - 1; ++i) sum = static_cast<uint8_t>(sum + s.FRx[i]);
    if (s.FRx[p + length - 1] != sum) {
      // A corrupted frame is dropped so it cannot shadow the next good one;
      // the receive goes on waiting.
      ConsumeThrough(s, p, length);
      return false;
    }

    // The request fields read below lie beyond a short request's length; the
    // buffer is always 255 bytes, so the read stays inside it.
    const uint8_t service = s.FRequest[4];
    uint8_t expected;
    if (ExpectedService(service, expected) && s.FRx[p + 4] != expected) {
      // A reply to some other question: leave it and keep waiting.
      return false;
    }
    if (service == 0xA8 && (length - 6) * 3 != s.FRequestLength - 7) return false;
    if (service == 0xB8 && (length - 6) * 4 != s.FRequestLength - 6) return false;
    return Deliver(s, p, length);
  }
  return false;
}

bool RecognizeKVLv1(ReceiveState& s) {
  if (s.FWindowCount < 3) return false;
  const uint8_t* request = s.FRequest;
  switch (request[0]) {
    case 0x00:
      if (request[1] != 0x80 || request[2] != 0x00 || request[3] != 0x00) return false;
      return Deliver(s, s.FWindowStart, 3);
    case 0x78: {
      const int32_t length = request[3] + 3;
      for (int32_t p = WindowEnd(s) - 2; p >= s.FWindowStart; --p) {
        if (s.FRx[p] == request[1] && s.FRx[p + 1] == request[2] && Available(s, p) >= length) {
          return Deliver(s, p, length);
        }
      }
      return false;
    }
    case 0xAA:
      for (int32_t p = WindowEnd(s) - 2; p >= s.FWindowStart; --p) {
        if (s.FRx[p] == request[1] && s.FRx[p + 1] == request[2] && Available(s, p) >= 3 &&
            s.FRx[p + 2] == request[3]) {
          return Deliver(s, p, 3);
        }
      }
      return false;
    default:
      // No reply format is known for any other request.
      return false;
  }
}

}  // namespace serialkvl
