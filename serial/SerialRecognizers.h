// Frame recognisers of the four line profiles.
//
// Purpose: decide, from the bytes received so far (the receive window) and
// the last request sent, whether one complete reply frame is there; if so
// copy it out, consume it together with every older byte, and say so.
// Where a rule searches, the newest complete frame wins.
//
// Thread rules: a recogniser runs only on its port's reader thread, one call
// at a time; the ReceiveState it works on belongs to that thread except the
// frame output, which the reader guards while the host copies it.
//
// Errors: none; a recogniser answers true (frame delivered) or false.
#pragma once

#include <cstdint>

namespace serialkvl {

inline constexpr int32_t kTransmitBufferSize = 255;
inline constexpr int32_t kReceiveBufferSize = 2048;
// The longest frame any rule can deliver (KVLv2: length byte 255 + 5).
inline constexpr int32_t kFrameBufferSize = 260;

struct ReceiveState {
  // Receive buffer; the window is FRx[FWindowStart .. FWindowStart+FWindowCount-1].
  uint8_t FRx[kReceiveBufferSize] = {};
  int32_t FWindowStart = 0;
  int32_t FWindowCount = 0;
  // The last request written to the line, byte 0 first.
  uint8_t FRequest[kTransmitBufferSize] = {};
  int32_t FRequestLength = 0;
  // Where a delivered frame goes.
  uint8_t FFrame[kFrameBufferSize] = {};
  int32_t FFrameLength = 0;
};

using FrameRecognizer = bool (*)(ReceiveState& state);

bool RecognizeKVLv1(ReceiveState& state);
bool RecognizeKVLv2(ReceiveState& state);
bool RecognizeLOG2A0(ReceiveState& state);
bool RecognizeZT2(ReceiveState& state);

}  // namespace serialkvl
