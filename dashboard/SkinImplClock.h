// TSkinClock: the clock as a skin shows it. It is bound to no sensor and
// takes no part in the frame pass; it runs on its own timer.
//
// Thread rules: user-interface thread only.
// Errors: none of its own.
#pragma once

#include "GaugeClock.h"
#include "SkinImpl.h"

class TSkinClock : public TGaugeClock, public TSkinComponent {
  VELQ_CLASS(TSkinClock)
public:
  explicit TSkinClock(TComponent* owner);
  // "text": the characters drawn ("13:05", "01:05:09", a blank for a
  // colon hidden by the blink); "ampm": "AM" or "PM" when the indicator
  // is shown.
  void WriteState(TSkinStateWriter& out) const override;
};
