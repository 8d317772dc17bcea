// TGaugeLevelBar: a bar graph of equal ticks (thin bars with gaps between
// them), like the level meter of an audio deck.
//
// The ticks fall into three colour zones along the bar: Percent1 of them in
// zone 1 from the end the bar fills from, Percent2 in zone 2, the rest in
// zone 3. A tick shows its zone palette's High colour when lit and its Low
// colour when not; Position lights its share of the ticks. Every count goes
// through PercentOf (extended precision, truncated), so 60 % of 80 ticks is
// 47 ticks, not 48.
//
// Length snap: each paint first lays the bar out (CalcLevelBarLayout) and
// sets the control's length to exactly the ticks that fit plus the bevel on
// both ends - a new 20 x 170 bar becomes 20 x 169 (80 ticks of 1 pixel with
// 1-pixel gaps inside a 5-pixel bevel). The snapped length gives the same
// layout again, so it is stable.
//
// Value model: as TGaugeCustomBar (GaugeBar.h). Percent1 is clamped to
// 100 - Percent2 (outside loading) while a Percent2 that would push the sum
// over 100 is refused outright (also while loading). TickHeight takes only
// values above 0.
//
// Thread rules: user-interface thread only (the layout functions are pure
// and may run anywhere).
// Errors: overflow in the layout raises EIntOverflow / ERangeError
// (GaugeSysUtils); out-of-range values are ignored or clamped silently.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "GaugeBar.h"

// ---- layout ------------------------------------------------------------------------------

struct TLevelBarLayout {
  int32_t TickStep = 0;   // TickHeight + Spacing
  TRect BarArea;          // the client rectangle inside the bevel
  int32_t TickCount = 0;  // whole ticks that fit along BarArea
  int32_t Length = 0;     // the control's snapped length along the bar
};

// The layout of a bar whose client rectangle is `client` (its top-left at
// 0, 0) inside a bevel of `bevelWidth`: TickCount = (length of BarArea +
// spacing) div TickStep, Length = bevel x 2 + TickCount x TickStep -
// spacing, lengths taken along `orientation`. A TickStep of 0 or less (a
// negative Spacing is accepted) fits no ticks and keeps the client's
// length, instead of dividing by it.
TLevelBarLayout CalcLevelBarLayout(const TRect& client, int32_t bevelWidth, TGaugeOrientation orientation,
                                   int32_t tickHeight, int32_t spacing);

// How many ticks are lit and how many belong to zones 1 and 2.
struct TLevelBarCounts {
  int32_t Lit = 0;
  int32_t N1 = 0;
  int32_t N2 = 0;
  bool operator==(const TLevelBarCounts&) const = default;
};
TLevelBarCounts LevelBarCounts(int32_t position, int32_t minValue, int32_t maxValue, int32_t percent1,
                               int32_t percent2, int32_t tickCount);

// The zone (0, 1 or 2 for Palette1..3) of tick k, k counted from the end the
// bar fills from.
int32_t LevelTickZone(int32_t k, int32_t n1, int32_t n2) noexcept;

// Where tick k (counted from the end the bar fills from) lies: the full
// thickness of BarArea and tickHeight along it; psBottomLeft fills from the
// bottom (vertical) or the left (horizontal), psTopRight from the top or the
// right.
TRect LevelTickRect(const TLevelBarLayout& layout, int32_t tickHeight, TGaugeOrientation orientation,
                    TGaugeProgressStyle style, int32_t k);

// ---- TGaugeLevelBar ----------------------------------------------------------------------

class TGaugeLevelBar : public TGaugeCustomBar {
  VELQ_CLASS(TGaugeLevelBar)
public:
  // A new bar is 20 x 170, vertical, empty (Position 0 of 0..100), black,
  // opaque, green / yellow / red zones of 60 / 25 / 15 %, inside a bevel
  // with a 2-pixel black-banded inner bevel (5 pixels in all).
  explicit TGaugeLevelBar(TComponent* owner);
  ~TGaugeLevelBar() override;

  TGaugePercentInt Percent1() const noexcept { return FPercent1; }
  void SetPercent1(TGaugePercentInt value);
  TGaugePercentInt Percent2() const noexcept { return FPercent2; }
  void SetPercent2(TGaugePercentInt value);

  // The zone colours; assigning copies into the bar's own palette. A change
  // repaints.
  TGaugePalette* Palette1() const noexcept { return FPalettes[0].get(); }
  TGaugePalette* Palette2() const noexcept { return FPalettes[1].get(); }
  TGaugePalette* Palette3() const noexcept { return FPalettes[2].get(); }
  void SetPalette1(const TGaugePalette* value) { FPalettes[0]->Assign(*value); }
  void SetPalette2(const TGaugePalette* value) { FPalettes[1]->Assign(*value); }
  void SetPalette3(const TGaugePalette* value) { FPalettes[2]->Assign(*value); }

  // The frame around the ticks; assigning copies into the bar's own bevel.
  // A change outside loading keeps the tick area of the last layout and
  // resizes the control around it.
  TGaugeBevel* Bevel() const noexcept { return FBevel.get(); }
  void SetBevel(const TGaugeBevel* value) { FBevel->Assign(*value); }

  int32_t Spacing() const noexcept { return FSpacing; }
  void SetSpacing(int32_t value);
  int32_t TickHeight() const noexcept { return FTickHeight; }
  void SetTickHeight(int32_t value);
  TGaugeProgressStyle Style() const noexcept { return FStyle; }
  void SetStyle(TGaugeProgressStyle value);

  // Fired after OnChange when a change of Position lands on MinValue or on
  // MaxValue.
  TNotifyEvent OnMinValue;
  TNotifyEvent OnMaxValue;
  void SetOnMinValue(TNotifyEvent handler) { OnMinValue = std::move(handler); }
  void SetOnMaxValue(TNotifyEvent handler) { OnMaxValue = std::move(handler); }

  // Lays the bar out for the current size and snaps the control's length.
  // The first step of every paint.
  void CalcLayout();
  // The results of the last layout.
  const TRect& BarArea() const noexcept { return FLayout.BarArea; }
  int32_t TickStep() const noexcept { return FLayout.TickStep; }
  int32_t TickCount() const noexcept { return FLayout.TickCount; }

protected:
  void Paint() override;
  void Change() override;

private:
  void BevelChanged();

  TGaugePercentInt FPercent1 = 60;
  TGaugePercentInt FPercent2 = 25;
  std::array<std::unique_ptr<TGaugePalette>, 3> FPalettes;
  std::unique_ptr<TGaugeBevel> FBevel;
  int32_t FSpacing = 1;
  int32_t FTickHeight = 1;
  TGaugeProgressStyle FStyle = TGaugeProgressStyle::psBottomLeft;
  TLevelBarLayout FLayout;
  bool FLaidOut = false;
};
