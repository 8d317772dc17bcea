// The owned sub-objects of the gauge widgets and the shared enumerations
// they publish.
//
// TGaugePersistent carries the change notification: a setter calls
// Changed, which fires OnChange (the owning widget's reaction) unless an
// update bracket (BeginUpdate ... EndUpdate) is open; EndUpdate notifies
// once when the bracket closes. TGaugeBevel describes the nested 3D frames
// around a widget's face and draws them; TGaugePalette holds the "off" and
// "on" colours and recolours the built-in glyphs with them.
//
// Skins set these objects through dotted paths (Bevel.InnerWidth,
// Palette.Low), so each class has a property table; the enumerations are
// C++ `enum class`es (their value names clash with the framework's
// bsNone/bsSolid...) whose tables map the skin names to the ordinals.
//
// Thread rules: user-interface thread (owned by widgets).
// Errors: Assign from an object of another class raises the framework's
// assignment error (EConvertError "Impossible d'assigner ..."); drawing
// raises the checked-arithmetic errors of GaugeSysUtils on overflow.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "Graphics.h"

// ---- shared enumerations (the stored value is the ordinal) -------------------------------

enum class TGaugeOrientation : uint8_t { voVertical, voHorizontal };
enum class TGaugeProgressStyle : uint8_t { psBottomLeft, psTopRight };
enum class TGaugeAlignment : uint8_t { vaLeftJustify, vaRightJustify, vaCenter };
enum class TGaugeTransparentMode : uint8_t { tmPixel, tmColor };
enum class TGaugeImageTextLayout : uint8_t { ImageLeft, ImageRight, ImageTop, ImageBottom };
enum class TGaugeBevelStyle : uint8_t { bsNone, bsLowered, bsRaised };
enum class TGaugeBevelOutlineStyle : uint8_t { osOuter, osInner, osNone };

// Value names for property tables, in ordinal order.
const TEnumInfo& GaugeOrientationNames();
const TEnumInfo& GaugeProgressStyleNames();
const TEnumInfo& GaugeAlignmentNames();
const TEnumInfo& GaugeTransparentModeNames();
const TEnumInfo& GaugeImageTextLayoutNames();
const TEnumInfo& GaugeBevelStyleNames();
const TEnumInfo& GaugeBevelOutlineStyleNames();

// Integer ranges of the skin vocabulary. They document what skins are meant
// to write; reading a skin does not check them.
using TGaugePercentInt = uint8_t;   // 0..100
using TGaugeWordInt = int32_t;      // 0..2147483647
using TGaugeDegrees = uint16_t;     // 0..360
using TGaugeTextAngle = uint16_t;   // 0..359
using TGaugeHoursInt = uint8_t;     // 0..23
using TGaugeMinutesInt = uint8_t;   // 0..59
using TGaugeSecondsInt = uint8_t;   // 0..59
using TGaugeBevelWidth = int32_t;   // 1..2147483647
using TGaugeBorderWidth = int32_t;  // 0..2147483647
using TGaugeBevelSpace = int32_t;   // 0..2147483647

// ---- TGaugePersistent --------------------------------------------------------------------

class TGaugePersistent : public TPersistent {
  VELQ_CLASS(TGaugePersistent)
public:
  // The owner's reaction to a change (not published).
  TNotifyEvent OnChange;
  void SetOnChange(TNotifyEvent handler) { OnChange = std::move(handler); }

  // Fires OnChange when set and no update bracket is open.
  void Changed();
  void BeginUpdate() noexcept { ++FUpdateCount; }
  // Closes one bracket (never below 0), then Changed: the owner always
  // hears once at the end.
  void EndUpdate();
  int32_t UpdateCount() const noexcept { return FUpdateCount; }

private:
  int32_t FUpdateCount = 0;
};

// ---- TGaugeBevel -------------------------------------------------------------------------

// From the outside in: a solid border, the outer bevel (with an optional
// black outline outside or inside it), a solid band, the inner bevel (with
// its outline), another solid band. The inside is not filled.
class TGaugeBevel : public TGaugePersistent {
  VELQ_CLASS(TGaugeBevel)
public:
  TGaugeBevel() = default;

  TGaugeBorderWidth BorderWidth() const noexcept { return FBorderWidth; }
  void SetBorderWidth(TGaugeBorderWidth value);
  TColor BorderColor() const noexcept { return FBorderColor; }
  void SetBorderColor(TColor value);
  TColor InnerShadow() const noexcept { return FInnerShadow; }
  void SetInnerShadow(TColor value);
  TColor InnerHighlight() const noexcept { return FInnerHighlight; }
  void SetInnerHighlight(TColor value);
  TGaugeBevelWidth InnerWidth() const noexcept { return FInnerWidth; }
  void SetInnerWidth(TGaugeBevelWidth value);
  TGaugeBevelStyle InnerStyle() const noexcept { return FInnerStyle; }
  void SetInnerStyle(TGaugeBevelStyle value);
  TGaugeBevelOutlineStyle InnerOutline() const noexcept { return FInnerOutline; }
  void SetInnerOutline(TGaugeBevelOutlineStyle value);
  TGaugeBevelSpace InnerSpace() const noexcept { return FInnerSpace; }
  void SetInnerSpace(TGaugeBevelSpace value);
  TColor InnerColor() const noexcept { return FInnerColor; }
  void SetInnerColor(TColor value);
  TColor OuterShadow() const noexcept { return FOuterShadow; }
  void SetOuterShadow(TColor value);
  TColor OuterHighlight() const noexcept { return FOuterHighlight; }
  void SetOuterHighlight(TColor value);
  TGaugeBevelWidth OuterWidth() const noexcept { return FOuterWidth; }
  void SetOuterWidth(TGaugeBevelWidth value);
  TGaugeBevelStyle OuterStyle() const noexcept { return FOuterStyle; }
  void SetOuterStyle(TGaugeBevelStyle value);
  TGaugeBevelOutlineStyle OuterOutline() const noexcept { return FOuterOutline; }
  void SetOuterOutline(TGaugeBevelOutlineStyle value);
  TGaugeBevelSpace OuterSpace() const noexcept { return FOuterSpace; }
  void SetOuterSpace(TGaugeBevelSpace value);
  TColor OuterColor() const noexcept { return FOuterColor; }
  void SetOuterColor(TColor value);
  bool Visible() const noexcept { return FVisible; }
  void SetVisible(bool value);

  // How far the bevel reaches in from each side (0 when invisible).
  int32_t TotalWidth() const;
  // Shrinks rect by TotalWidth on every side.
  void GetVisibleArea(TRect& rect) const;
  // Draws the frames from the outside in; rect ends as GetVisibleArea
  // leaves it. Nothing when invisible.
  void DrawBevel(TCanvas& canvas, TRect& rect) const;

  // Copies every property of another bevel inside one update bracket.
  void Assign(const TPersistent& source) override;

private:
  template <class T> void Store(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }

  TGaugeBorderWidth FBorderWidth = 0;
  TColor FBorderColor = clBtnFace;
  TColor FInnerShadow = clBtnShadow;
  TColor FInnerHighlight = clBtnHighlight;
  TGaugeBevelWidth FInnerWidth = 1;
  TGaugeBevelStyle FInnerStyle = TGaugeBevelStyle::bsLowered;
  TGaugeBevelOutlineStyle FInnerOutline = TGaugeBevelOutlineStyle::osNone;
  TGaugeBevelSpace FInnerSpace = 1;
  TColor FInnerColor = clBtnFace;
  TColor FOuterShadow = clBtnShadow;
  TColor FOuterHighlight = clBtnHighlight;
  TGaugeBevelWidth FOuterWidth = 1;
  TGaugeBevelStyle FOuterStyle = TGaugeBevelStyle::bsRaised;
  TGaugeBevelOutlineStyle FOuterOutline = TGaugeBevelOutlineStyle::osOuter;
  TGaugeBevelSpace FOuterSpace = 0;
  TColor FOuterColor = clBtnFace;
  bool FVisible = true;
};

// ---- TGaugePalette -----------------------------------------------------------------------

class TGaugePalette : public TGaugePersistent {
  VELQ_CLASS(TGaugePalette)
public:
  TGaugePalette() = default;

  TColor Low() const noexcept { return FLow; }
  void SetLow(TColor value);
  TColor High() const noexcept { return FHigh; }
  void SetHigh(TColor value);

  // Low for index <= 0, High otherwise.
  virtual TColor GetColor(int32_t index) const;

  // Recolours the bitmap in place: pixels of lowKey become Low, then pixels
  // of highKey become High, both masks taken from an unchanged copy, so a
  // pixel recoloured by the first pass is never touched by the second.
  void ApplyToBitmap(TBitmap& bitmap, TColor lowKey, TColor highKey) const;

  void Assign(const TPersistent& source) override;

private:
  TColor FLow = clGreen;
  TColor FHigh = clLime;
};
