// TGaugeClock: hours and minutes (optionally seconds and an AM/PM
// indicator) in the number display's digit cells, with a colon glyph.
//
// Three kinds (ClockType): ctRealTime shows the local time of day,
// ctElapsed the time since the clock was last activated (whole days
// dropped, so it wraps after 24 hours), ctCustom whatever Hours, Minutes
// and Seconds were last written (it can never be active). An active clock
// ticks once a second on its own TGaugeTimer; each tick (UpdateClock)
// stores the time without events or repaint of its own, toggles the blink
// phase, repaints only when what it shows changed (or when blinking), and
// then fires the change events. After loading, a real-time clock takes the
// time once, so it shows the time even while inactive.
//
// The clock reads time from a TGaugeClockSource, the machine's local time
// by default; tests and tools give it a source they set and step.
//
// Thread rules: user-interface thread only; the timer hands its ticks to
// that thread. A clock source is read on that thread too.
// Errors: sizes use checked arithmetic (EIntOverflow); out-of-range
// Hours / Minutes / Seconds are clamped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "GaugeNum.h"
#include "GaugeTimer.h"

enum TGaugeClockType : uint8_t { ctRealTime, ctElapsed, ctCustom };
const TEnumInfo& GaugeClockTypeNames();

// A date-time: days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// Where a clock reads the current local date-time.
class TGaugeClockSource {
public:
  virtual ~TGaugeClockSource() = default;
  virtual TDateTime Now() const = 0;
};

// The machine's local time (immutable, shared by every clock).
const TGaugeClockSource& SystemClockSource();

// A source that moves only when told.
class TFixedClockSource : public TGaugeClockSource {
public:
  explicit TFixedClockSource(TDateTime now = 0) : FNow(now) {}
  TDateTime Now() const override { return FNow; }
  void Set(TDateTime now) noexcept { FNow = now; }
  void AdvanceSeconds(double seconds) noexcept { FNow += seconds / 86400.0; }

private:
  TDateTime FNow;
};

// The date-time of a calendar date and time of day (proleptic Gregorian).
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
// The time of day of a date-time, to the nearest millisecond; days and the
// sign are dropped (as a stopwatch past 24 hours wraps).
struct TTimeOfDay {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  bool operator==(const TTimeOfDay&) const = default;
};
TTimeOfDay DecodeTimeOfDay(TDateTime value) noexcept;
// 12-hour form of a 24-hour hour: 0 and 12 show as 12.
int TwelveHour(int hour24) noexcept;
// "%.2d:%.2d", with ":%.2d" appended for seconds.
std::string ClockText(int hours, int minutes, int seconds, bool showSeconds);
// The row: digits (4 or 6) and colons (1 or 2), a spacing between
// neighbours, and the AM/PM half plus one spacing when shown.
int32_t ClockRowWidth(int32_t cellWidth, int32_t colonWidth, int32_t amPmWidth, int32_t spacing, bool showSeconds,
                      bool showAmPm);

// Handler of the time change events: the clock and the new value.
using TGaugeTimeChangeEvent = std::function<void(TObject* sender, int32_t value)>;

class TGaugeClock : public TGaugeCustomNum {
  VELQ_CLASS(TGaugeClock)
public:
  // 140 x 26, inactive, real-time, 24-hour, shows 00:00; its timer created
  // disabled with a 1000 ms interval.
  explicit TGaugeClock(TComponent* owner);
  ~TGaugeClock() override;

  // The timer's kind: True ttThread, False ttSystem.
  bool Threaded() const noexcept { return FTimer->TimerType() == ttThread; }
  void SetThreaded(bool value) { FTimer->SetTimerType(value ? ttThread : ttSystem); }
  int32_t Hours() const noexcept { return FHours; }
  void SetHours(int32_t value);
  int32_t Minutes() const noexcept { return FMinutes; }
  void SetMinutes(int32_t value);
  int32_t Seconds() const noexcept { return FSeconds; }
  void SetSeconds(int32_t value);
  TGaugeClockType ClockType() const noexcept { return FClockType; }
  void SetClockType(TGaugeClockType value);
  bool Active() const noexcept { return FActive; }
  // True is refused (stays False) while ClockType is ctCustom.
  void SetActive(bool value);
  bool ShowSeconds() const noexcept { return FShowSeconds; }
  void SetShowSeconds(bool value);
  bool Blink() const noexcept { return FBlink; }
  void SetBlink(bool value);
  // Takes effect at the next tick.
  bool Hours24() const noexcept { return FHours24; }
  void SetHours24(bool value) { FHours24 = value; }
  bool ShowTimeZone() const noexcept { return FShowTimeZone; }
  void SetShowTimeZone(bool value);

  TGaugeTimeChangeEvent OnHoursChanged;
  TGaugeTimeChangeEvent OnMinutesChanged;
  TGaugeTimeChangeEvent OnSecondsChanged;
  void SetOnHoursChanged(TGaugeTimeChangeEvent handler) { OnHoursChanged = std::move(handler); }
  void SetOnMinutesChanged(TGaugeTimeChangeEvent handler) { OnMinutesChanged = std::move(handler); }
  void SetOnSecondsChanged(TGaugeTimeChangeEvent handler) { OnSecondsChanged = std::move(handler); }

  // True while the colon is shown by a blinking, active clock.
  bool BlinkPhase() const noexcept { return FBlinkPhase; }
  // The 24-hour hour of the last tick (feeds AM/PM).
  int32_t LastHour() const noexcept { return FLastHour; }
  // Whether the colon is drawn now.
  bool ColonShown() const noexcept;
  // Whether the AM/PM half is drawn, and which: "AM", "PM" or "".
  const char* AmPmShown() const noexcept;
  // The characters drawn now: digits, ':' for a drawn colon, ' ' for one
  // hidden by the blink.
  std::string ShownText() const;
  TGaugeTimer& Timer() const noexcept { return *FTimer; }

  // The time source; null gives back the machine's local time. Not owned:
  // it must outlive the clock or be replaced first.
  void SetClockSource(const TGaugeClockSource* source) noexcept;
  // Takes the time from the source as a tick does, without toggling the
  // blink phase or firing events, and repaints (for tools that swap the
  // source after loading).
  void RereadTime();

  // The timer's tick.
  void UpdateClock(TObject* sender);

  void LoadBitmaps() override;
  int32_t GetDigitsWidth() override;
  void Loaded() override;

protected:
  virtual void HoursChanged();
  virtual void MinutesChanged();
  virtual void SecondsChanged();
  void Paint() override;

private:
  // Steps 2 to 4 of a tick: read, decode and store the time.
  void TakeTime();
  bool AmPmVisible() const noexcept { return FShowTimeZone && FClockType == ctRealTime; }

  uint8_t FHours = 0;
  uint8_t FMinutes = 0;
  uint8_t FSeconds = 0;
  TGaugeClockType FClockType = ctRealTime;
  bool FActive = false;
  bool FShowSeconds = false;
  bool FBlink = false;
  bool FBlinkPhase = true;
  bool FHours24 = true;
  bool FShowTimeZone = false;
  int16_t FLastHour = 0;
  TGaugeTimer* FTimer = nullptr;  // owned as a component
  TDateTime FStartTime = 0;
  const TGaugeClockSource* FClockSource;
  std::unique_ptr<TBitmap> FColonBitmap;
  std::unique_ptr<TBitmap> FAmPmBitmap;
};
