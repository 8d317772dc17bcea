#include "SystemOs.h"
#include "GaugeClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "GaugeSysUtils.h"

const TEnumInfo& GaugeClockTypeNames() {
  static const TEnumInfo names{"TGaugeClockType", {"ctRealTime", "ctElapsed", "ctCustom"}};
  return names;
}

// ---- time arithmetic ---------------------------------------------------------------------

namespace {

// Days from 1970-01-01 to a civil date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// 1899-12-30, day 0 of a date-time, counted from 1970-01-01.
constexpr int64_t kDateTimeEpochDays = -25569;

class TSystemClockSource final : public TGaugeClockSource {
public:
  TDateTime Now() const override {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const time_t seconds = static_cast<time_t>(ms / 1000);
    std::tm local{};
    LocalTime(seconds, local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec) +
           static_cast<double>(ms % 1000) / 86400000.0;
  }
};

}  // namespace

const TGaugeClockSource& SystemClockSource() {
  static const TSystemClockSource source;
  return source;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                       kDateTimeEpochDays;
  return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

TTimeOfDay DecodeTimeOfDay(TDateTime value) noexcept {
  if (!std::isfinite(value)) return {};
  const double fraction = std::fabs(value - std::trunc(value));
  constexpr int64_t kMsPerDay = 86400000;
  // A fraction a hair below a whole day rounds to midnight.
  const int64_t ms = std::llround(fraction * static_cast<double>(kMsPerDay)) % kMsPerDay;
  const int64_t seconds = ms / 1000;
  return {static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60)};
}

int TwelveHour(int hour24) noexcept {
  const int hour = hour24 % 12;
  return hour == 0 ? 12 : hour;
}

std::string ClockText(int hours, int minutes, int seconds, bool showSeconds) {
  auto two = [](std::string& text, int value) {
    value = std::clamp(value, 0, 99);
    text.push_back(static_cast<char>('0' + value / 10));
    text.push_back(static_cast<char>('0' + value % 10));
  };
  std::string text;
  text.reserve(8);
  two(text, hours);
  text.push_back(':');
  two(text, minutes);
  if (showSeconds) {
    text.push_back(':');
    two(text, seconds);
  }
  return text;
}

int32_t ClockRowWidth(int32_t cellWidth, int32_t colonWidth, int32_t amPmWidth, int32_t spacing, bool showSeconds,
                      bool showAmPm) {
  const int32_t digits = showSeconds ? 6 : 4;
  const int32_t colons = showSeconds ? 2 : 1;
  const int32_t gaps = digits + colons - 1;
  int32_t width =
      CheckedAdd(CheckedAdd(CheckedMul(digits, cellWidth), CheckedMul(colons, colonWidth)), CheckedMul(gaps, spacing));
  if (showAmPm) width = CheckedAdd(width, CheckedAdd(amPmWidth / 2, spacing));
  return width;
}

// ---- TGaugeClock -------------------------------------------------------------------------

const TClassInfo& TGaugeClock::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeClock>("TGaugeClock", &TGaugeCustomNum::StaticClass())
          .Boolean("Threaded", &TGaugeClock::Threaded, &TGaugeClock::SetThreaded)
          .Integer("Hours", &TGaugeClock::Hours, &TGaugeClock::SetHours)
          .Integer("Minutes", &TGaugeClock::Minutes, &TGaugeClock::SetMinutes)
          .Integer("Seconds", &TGaugeClock::Seconds, &TGaugeClock::SetSeconds)
          .Enum("ClockType", GaugeClockTypeNames(), &TGaugeClock::ClockType, &TGaugeClock::SetClockType)
          .Boolean("Active", &TGaugeClock::Active, &TGaugeClock::SetActive)
          .Boolean("ShowSeconds", &TGaugeClock::ShowSeconds, &TGaugeClock::SetShowSeconds)
          .Boolean("Blink", &TGaugeClock::Blink, &TGaugeClock::SetBlink)
          .Boolean("Hours24", &TGaugeClock::Hours24, &TGaugeClock::SetHours24)
          .Boolean("ShowTimeZone", &TGaugeClock::ShowTimeZone, &TGaugeClock::SetShowTimeZone)
          .Boolean("Transparent", &TGaugeClock::Transparent, &TGaugeClock::SetTransparent)
          .Event("OnHoursChanged", "TGaugeTimeChangeEvent", &TGaugeClock::SetOnHoursChanged)
          .Event("OnMinutesChanged", "TGaugeTimeChangeEvent", &TGaugeClock::SetOnMinutesChanged)
          .Event("OnSecondsChanged", "TGaugeTimeChangeEvent", &TGaugeClock::SetOnSecondsChanged)
          .Object("Palette", &TGaugeClock::Palette)
          .Integer("Spacing", &TGaugeClock::Spacing, &TGaugeClock::SetSpacing)
          .Enum("Style", GaugeNumStyleNames(), &TGaugeClock::Style, &TGaugeClock::SetStyle)
          // Hint is published by TControl itself, at its place there.
          .Import(TControl::StandardProperties(),
                  {"AutoSize", "Align", "Anchors", "Constraints", "Color", "DragCursor", "DragKind", "DragMode",
                   "ParentColor", "ParentShowHint", "PopupMenu", "ShowHint", "Visible", "OnClick",
                   "OnContextPopup", "OnDblClick", "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag",
                   "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeClock::TGaugeClock(TComponent* owner)
    : TGaugeCustomNum(owner), FClockSource(&SystemClockSource()) {
  SetBounds(Left(), Top(), 140, 26);
  // The base constructor prepared the digits only (a constructor reaches
  // no override); the colon and AM/PM glyphs come now.
  LoadBitmaps();
  FTimer = new TGaugeTimer(this);
  FTimer->SetEnabled(false);
  FTimer->SetOnTimer([this](TObject* sender) { UpdateClock(sender); });
}

TGaugeClock::~TGaugeClock() {
  // The timer goes first: no tick may reach a clock whose glyphs are gone.
  delete FTimer;
  FTimer = nullptr;
}

void TGaugeClock::SetHours(int32_t value) {
  value = std::clamp(value, 0, 23);
  if (value == FHours) return;
  FHours = static_cast<uint8_t>(value);
  UpdateControlCanvas();
  HoursChanged();
}

void TGaugeClock::SetMinutes(int32_t value) {
  value = std::clamp(value, 0, 59);
  if (value == FMinutes) return;
  FMinutes = static_cast<uint8_t>(value);
  UpdateControlCanvas();
  MinutesChanged();
}

void TGaugeClock::SetSeconds(int32_t value) {
  value = std::clamp(value, 0, 59);
  if (value == FSeconds) return;
  FSeconds = static_cast<uint8_t>(value);
  UpdateControlCanvas();
  SecondsChanged();
}

void TGaugeClock::SetClockType(TGaugeClockType value) {
  if (value == FClockType) return;
  FClockType = value;
  if (value == ctCustom) {
    if (FActive) SetActive(false);
  } else {
    FHours = FMinutes = FSeconds = 0;
  }
  UpdateControlCanvas();
}

void TGaugeClock::SetActive(bool value) {
  if (value && FClockType == ctCustom) value = false;
  if (value == FActive) return;
  FActive = value;
  FBlinkPhase = true;
  UpdateControlCanvas();
  if (Designing()) return;
  if (value) FStartTime = FClockSource->Now();
  FTimer->SetEnabled(value);
}

void TGaugeClock::SetShowSeconds(bool value) {
  if (value == FShowSeconds) return;
  FShowSeconds = value;
  AdjustControlSize();
}

void TGaugeClock::SetBlink(bool value) {
  if (value == FBlink) return;
  FBlink = value;
  UpdateControlCanvas();
}

void TGaugeClock::SetShowTimeZone(bool value) {
  if (value == FShowTimeZone) return;
  FShowTimeZone = value;
  AdjustControlSize();
}

void TGaugeClock::SetClockSource(const TGaugeClockSource* source) noexcept {
  FClockSource = source ? source : &SystemClockSource();
}

bool TGaugeClock::ColonShown() const noexcept {
  return !(FActive && FClockType != ctCustom && FBlink && !FBlinkPhase);
}

const char* TGaugeClock::AmPmShown() const noexcept {
  if (!AmPmVisible()) return "";
  return FLastHour < 12 ? "AM" : "PM";
}

std::string TGaugeClock::ShownText() const {
  std::string text = ClockText(FHours, FMinutes, FSeconds, FShowSeconds);
  if (!ColonShown()) std::replace(text.begin(), text.end(), ':', ' ');
  return text;
}

void TGaugeClock::TakeTime() {
  TDateTime now = 0;
  if (FClockType == ctRealTime) now = FClockSource->Now();
  else if (FClockType == ctElapsed) now = FClockSource->Now() - FStartTime;
  const TTimeOfDay time = DecodeTimeOfDay(now);
  FLastHour = static_cast<int16_t>(time.Hour);
  // Stored directly: a tick neither repaints nor fires through the setters.
  FHours = static_cast<uint8_t>(FHours24 ? time.Hour : TwelveHour(time.Hour));
  FMinutes = static_cast<uint8_t>(time.Minute);
  FSeconds = static_cast<uint8_t>(time.Second);
}

void TGaugeClock::RereadTime() {
  TakeTime();
  UpdateControlCanvas();
}

void TGaugeClock::UpdateClock(TObject*) {
  const uint8_t hours = FHours;
  const uint8_t minutes = FMinutes;
  const uint8_t seconds = FSeconds;
  TakeTime();
  FBlinkPhase = !FBlinkPhase;
  if ((FShowSeconds && FSeconds != seconds) || FBlink || FMinutes != minutes) UpdateControlCanvas();
  if (FHours != hours) HoursChanged();
  if (FMinutes != minutes) MinutesChanged();
  if (FSeconds != seconds) SecondsChanged();
}

void TGaugeClock::HoursChanged() {
  if (OnHoursChanged) OnHoursChanged(this, FHours);
}

void TGaugeClock::MinutesChanged() {
  if (OnMinutesChanged) OnMinutesChanged(this, FMinutes);
}

void TGaugeClock::SecondsChanged() {
  if (OnSecondsChanged) OnSecondsChanged(this, FSeconds);
}

void TGaugeClock::LoadBitmaps() {
  TGaugeCustomNum::LoadBitmaps();
  if (!FColonBitmap) FColonBitmap = std::make_unique<TBitmap>();
  if (!FAmPmBitmap) FAmPmBitmap = std::make_unique<TBitmap>();
  const TNumStyleGlyphs glyphs = NumStyleGlyphs(Style());
  LoadGlyph(*FColonBitmap, glyphs.Colon);
  LoadGlyph(*FAmPmBitmap, glyphs.AmPm);
}

int32_t TGaugeClock::GetDigitsWidth() {
  return ClockRowWidth(CellWidth(), FColonBitmap ? FColonBitmap->Width() : 0,
                       FAmPmBitmap ? FAmPmBitmap->Width() : 0, Spacing(), FShowSeconds, AmPmVisible());
}

void TGaugeClock::Loaded() {
  TGaugeCustomNum::Loaded();
  if (FClockType == ctRealTime && !Designing()) UpdateClock(this);
}

void TGaugeClock::Paint() {
  ClearBitmapCanvas();
  TCanvas& image = BitmapCanvas();
  int32_t x = CheckedDiv(CheckedSub(Width(), GetDigitsWidth()), 2);
  const int32_t y = CheckedDiv(CheckedSub(Height(), CellHeight()), 2);
  const int32_t colonWidth = FColonBitmap->Width();
  const bool colonShown = ColonShown();
  for (char ch : ClockText(FHours, FMinutes, FSeconds, FShowSeconds)) {
    if (ch == ':') {
      if (colonShown)
        image.CopyPixelsTransparent(Bounds(x, y, colonWidth, FColonBitmap->Height()), FColonBitmap->View(),
                                    BitmapRect(*FColonBitmap), clBlack);
      x = CheckedAdd(x, CheckedAdd(colonWidth, Spacing()));
    } else {
      DrawDigit(ch - '0', x, y);
      x = CheckedAdd(x, CheckedAdd(CellWidth(), Spacing()));
    }
  }
  if (AmPmVisible()) {
    // Right half: AM lit; left half: PM lit.
    const int32_t half = FAmPmBitmap->Width() / 2;
    const TRect source = FLastHour < 12 ? Bounds(half, 0, half, FAmPmBitmap->Height())
                                        : Bounds(0, 0, half, FAmPmBitmap->Height());
    image.CopyPixelsTransparent(Bounds(x, y, half, FAmPmBitmap->Height()), FAmPmBitmap->View(), source, clBlack);
  }
  DrawDesignFrame(image);
  // Presented like every other widget, so that a transparent clock takes a
  // fresh snapshot of what lies beneath at the next paint the window system
  // starts. Keeping its first snapshot for good would freeze whatever was
  // under it then - in a skin, the window before its background picture
  // was loaded, a black box.
  PresentImage();
}
