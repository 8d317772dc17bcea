// TGaugeCustomLed / TGaugeLed: an indicator lamp with an optional caption
// beside it.
//
// The lamp is one cell of a horizontal strip of lamp pictures (the working
// strip). The built-in strips ("LI_RND", "LI_RECT", "LI_BIG") hold an off
// and an on lamp in dark red (128,0,0) and red (255,0,0) on black, recoloured
// to the palette's Low and High; with `ltCustom` the working strip is an
// unchanged copy of `Glyphs`, which may hold two or three cells. `States`
// says how many cells the strip is cut into and `Active` which one shows.
// The built-in strips have two cells, so with `ls3` (the default) each
// third of them is taken as a cell: a new lamp shows the left third of the
// off lamp.
//
// Lamp and caption are placed like the picture and text of a push button
// (CalcImageTextLayout): `Layout` puts the lamp left, right, above or below
// the caption, `Margin` -1 centres the pair and `Spacing` -1 shares the free
// room. The lamp is copied with one colour left transparent (black for the
// built-in strips, `Color` for `ltCustom`); the caption is drawn on one line,
// vertically centred in its rectangle, over a transparent background.
//
// The cell arithmetic lives in pure functions (LedCellSize, LedCellSource,
// LedCellCopy) that tests call directly. A cell that lies wholly or partly
// outside the strip (`la3` kept after `States` went down to `ls2`, or a
// strip narrower than its cells) is cut to the part inside the strip, so
// nothing outside the strip is ever read.
//
// Thread rules: user-interface thread only (the pure functions may run
// anywhere).
// Errors: none of its own; an empty `Glyphs` with `ltCustom` gives an empty
// working strip and no lamp is drawn. Layout arithmetic that overflows 32
// bits raises EIntOverflow (GaugeSysUtils) from the paint.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "GaugeClasses.h"
#include "GaugeControls.h"

// ---- enumerations (the stored value is the ordinal) ---------------------------------------

enum class TGaugeLedType : uint8_t { ltRounded, ltRectangle, ltLargeRect, ltCustom };
// The cell shown: first, second, third.
enum class TGaugeLedActive : uint8_t { la1, la2, la3 };
// How many cells the strip is cut into: two or three.
enum class TGaugeLedState : uint8_t { ls2, ls3 };

const TEnumInfo& GaugeLedTypeNames();
const TEnumInfo& GaugeLedActiveNames();
const TEnumInfo& GaugeLedStateNames();

// The key colours of the built-in strips: the off lamp (recoloured to the
// palette's Low) and the on lamp (to High).
inline constexpr TColor kLedOffKey = clMaroon;  // (128,0,0)
inline constexpr TColor kLedOnKey = clRed;      // (255,0,0)

// ---- cell arithmetic ---------------------------------------------------------------------

// The name of the built-in strip of a lamp type ("LI_RND", "LI_RECT",
// "LI_BIG"), or an empty string for ltCustom.
std::string LedStripResource(TGaugeLedType type);

// 2 for ls2, 3 for ls3.
int32_t LedCellCount(TGaugeLedState states) noexcept;

// (strip width div cell count, strip height).
TPoint LedCellSize(int32_t stripWidth, int32_t stripHeight, TGaugeLedState states);

// Where the shown cell lies in the strip: Bounds(cell width x Active, 0,
// cell width, cell height). It may reach beyond the strip.
TRect LedCellSource(TPoint cellSize, TGaugeLedActive active);

// One copy of the shown cell: from Source in the strip to Dest in the image,
// both of the same size (no stretching).
struct TLedCellCopy {
  TRect Source;
  TRect Dest;
  bool operator==(const TLedCellCopy&) const = default;
};

// The shown cell cut to the part that lies inside a strip of stripWidth x
// stripHeight, and where that part lands when the whole cell is drawn with
// its top-left at lampPos. Both rectangles are empty (0, 0, 0, 0) when
// nothing of the cell lies inside the strip.
TLedCellCopy LedCellCopy(int32_t stripWidth, int32_t stripHeight, TGaugeLedState states, TGaugeLedActive active,
                         TPoint lampPos);

// ---- TGaugeCustomLed ---------------------------------------------------------------------

class TGaugeCustomLed : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeCustomLed)
public:
  // 25 x 25, opaque, Color black (not the parent's), white font, the rounded
  // strip in dark red / red, Active la1, States ls3, Spacing 5, Margin -1,
  // lamp left of the caption.
  explicit TGaugeCustomLed(TComponent* owner);
  ~TGaugeCustomLed() override;

  // With States ls2 a write of la3 is stored as la2. A new value repaints,
  // then calls Change.
  TGaugeLedActive Active() const noexcept { return FActive; }
  void SetActive(TGaugeLedActive value);
  // The lamp colours; assigning copies Low and High into the lamp's own
  // palette. A change refills the working strip and repaints.
  TGaugePalette* Palette() const noexcept { return FPalette.get(); }
  void SetPalette(const TGaugePalette* value) { FPalette->Assign(*value); }
  // Selects the strip; refills the working strip and repaints.
  TGaugeLedType LedType() const noexcept { return FLedType; }
  void SetLedType(TGaugeLedType value);
  TGaugeImageTextLayout Layout() const noexcept { return FLayout; }
  void SetLayout(TGaugeImageTextLayout value);
  // Distance from the control's edge to the lamp; -1 centres.
  int32_t Margin() const noexcept { return FMargin; }
  void SetMargin(int32_t value);
  // Distance between lamp and caption; -1 shares the free room.
  int32_t Spacing() const noexcept { return FSpacing; }
  void SetSpacing(int32_t value);
  // The custom strip (ltCustom). Changing it in place (a skin's
  // Glyphs.Data, a file loaded into it) refills the working strip and
  // repaints; SetGlyphs copies the picture into it.
  TBitmap* Glyphs() const noexcept { return FGlyphs.get(); }
  void SetGlyphs(const TBitmap& value) { FGlyphs->Assign(value); }
  // How many cells the strip is cut into. A new value repaints, then calls
  // Change; it does not re-limit Active.
  TGaugeLedState States() const noexcept { return FStates; }
  void SetStates(TGaugeLedState value);

  // Fired by Change after Active or States changed.
  TNotifyEvent OnChange;
  void SetOnChange(TNotifyEvent handler) { OnChange = std::move(handler); }

  // The strip actually drawn.
  const TBitmap& WorkingStrip() const noexcept { return *FStrip; }
  // Lamp and caption rectangles of the last layout (client coordinates).
  const TRect& LampRect() const noexcept { return FLampRect; }
  const TRect& CaptionRect() const noexcept { return FCaptionRect; }
  // Lays lamp and caption out for the current size, caption and font (the
  // second step of every paint); public so that tests can ask for it.
  void CalcLayout();

  // Refills the working strip from the lamp type, the palette and Glyphs.
  virtual void LoadBitmaps();

protected:
  // Fires OnChange.
  virtual void Change();
  void Paint() override;
  void TextChanged() override;

private:
  void ReloadAndRepaint();

  TGaugeLedType FLedType = TGaugeLedType::ltRounded;
  std::unique_ptr<TGaugePalette> FPalette;
  TGaugeLedActive FActive = TGaugeLedActive::la1;
  int32_t FSpacing = 5;
  int32_t FMargin = -1;
  TGaugeImageTextLayout FLayout = TGaugeImageTextLayout::ImageLeft;
  std::unique_ptr<TBitmap> FGlyphs;
  TRect FLampRect{};
  TRect FCaptionRect{};
  std::unique_ptr<TBitmap> FStrip;
  TGaugeLedState FStates = TGaugeLedState::ls3;
};

// ---- TGaugeLed ---------------------------------------------------------------------------

// The lamp with its properties published for skins.
class TGaugeLed : public TGaugeCustomLed {
  VELQ_CLASS(TGaugeLed)
public:
  using TGaugeCustomLed::TGaugeCustomLed;
};
