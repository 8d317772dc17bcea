// TFont: the logical font of a canvas, and TTextBlock, text laid out in
// it by the platform's text engine (Pango on Linux, GDI on Windows: see
// backend/pango and backend/gdi). The platform's own metrics are used, so
// text pixels differ between platforms; everything else about text
// (extents, masks, caching) is shared.
//
// Height follows the Windows convention: a negative value is the character
// (em) height in pixels, a positive one the cell height (ascent + descent);
// Size is in points at 96 pixels per inch (Size 8 <=> Height -11).
// Orientation is the escapement in tenths of a degree, counter-clockwise.
// On Linux family names are mapped before fontconfig sees them, so that the
// classic Windows faces land on metric-compatible free ones: "Arial", "MS Sans Serif",
// "Microsoft Sans Serif", "Tahoma", "Verdana", "Helvetica" -> Liberation Sans;
// "Times New Roman", "Times" -> Liberation Serif; "Courier New", "Courier" ->
// Liberation Mono. Other names go to fontconfig unchanged.
//
// Text is rendered without anti-aliasing (as GDI draws with font smoothing
// off), with full hinting and integer glyph advances, at 96 dpi, and
// independently of the desktop's font settings, so extents and pixels are
// deterministic for a given font file.
//
// Thread rules: TFont is a value holder for the user-interface thread.
// TTextBlock uses the text engine's per-thread state, so measurement may
// happen on any thread. Errors: Assign from another class raises EConvertError.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Classes.h"
#include "Colors.h"
#include "Surface.h"
#include "Types.h"

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

constexpr int ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, OEM_CHARSET = 255;

class TFont : public TPersistent {
  VELQ_CLASS(TFont)
public:
  int Charset() const noexcept { return FCharset; }
  void SetCharset(int value);
  TColor Color() const noexcept { return FColor; }
  void SetColor(TColor value);
  int Height() const noexcept { return FHeight; }
  void SetHeight(int value);
  const std::string& Name() const noexcept { return FName; }
  void SetName(const std::string& value);
  TFontPitch Pitch() const noexcept { return FPitch; }
  void SetPitch(TFontPitch value);
  // Points: -round(Height * 72 / 96); setting it sets Height.
  int Size() const noexcept;
  void SetSize(int value);
  TFontStyles Style() const noexcept { return FStyle; }
  void SetStyle(TFontStyles value);
  // Escapement in tenths of a degree, counter-clockwise.
  int Orientation() const noexcept { return FOrientation; }
  void SetOrientation(int tenthsOfDegree);

  void Assign(const TPersistent& source) override;

  TNotifyEvent OnChange;

private:
  void Changed();
  int FCharset = DEFAULT_CHARSET;
  TColor FColor = clWindowText;
  int FHeight = -11;
  std::string FName = "MS Sans Serif";
  TFontPitch FPitch = fpDefault;
  TFontStyles FStyle;
  int FOrientation = 0;
};

// The family asked of fontconfig for a Windows face name.
std::string ResolveFontFamily(std::string_view name);

// One line or block of text laid out in a font, unrotated. Lines break only
// at the line breaks in the text.
class TTextBlock {
public:
  // `underlineBegin`..`underlineEnd` (byte offsets) are underlined in
  // addition to the font's own style (an accelerator mark).
  TTextBlock(const TFont& font, std::string_view text, int underlineBegin = -1, int underlineEnd = -1);
  ~TTextBlock();
  TTextBlock(const TTextBlock&) = delete;
  TTextBlock& operator=(const TTextBlock&) = delete;

  // Width and height of the text cell in pixels (the logical extents).
  TPoint Extent() const noexcept { return FExtent; }
  // The rectangle the glyphs actually cover, relative to the cell's top-left.
  TRect InkRect() const noexcept { return FInk; }
  // From the cell's top to the first line's baseline, in pixels (the font's
  // ascent): text aligned on its baseline is placed with it.
  int Baseline() const noexcept { return FBaseline; }

  // An 8-bit mask (sfA8) of `box` (device pixels) holding the glyphs, or
  // with `cell` the text cell itself (the opaque background), drawn
  // without anti-aliasing with the cell's top-left at (dx, dy) and turned
  // counter-clockwise by `orientation` tenths of a degree about that point.
  TSurfacePtr Rasterise(const TRect& box, int dx, int dy, int orientation, bool cell) const;

  // The family of the face the text engine actually chose for the text's
  // first character (after any substitution), e.g. "Liberation Sans" for
  // "Arial" on Linux.
  std::string FaceFamily() const;

  // The block's masks as the canvas last rasterised them (the box around
  // the cell at that orientation), kept so that drawing the same block
  // again (an embossed caption's three passes, an unchanged caption in the
  // next frame) only paints.
  struct TMasks {
    int Orientation = -1;  // tenths of a degree; -1: none yet
    TRect Box;             // relative to the drawing position
    TSurfacePtr Glyphs;
    TSurfacePtr Cell;  // the opaque background, made on demand
  };
  TMasks& Masks() const noexcept { return FMasks; }
  void ClearMasks() const noexcept { FMasks = TMasks{}; }

  // The text engine's own layout, defined by the platform's backend.
  struct TPlatformText;

private:
  std::unique_ptr<TPlatformText> FPlatform;
  TPoint FExtent;
  TRect FInk;
  int FBaseline = 0;
  mutable TMasks FMasks;
};

// The text block of `text` in `font` (its name, height and style; colour and
// orientation play no part in the layout), from this thread's few most
// recently used ones when it is among them. A caption is measured and then
// drawn (an embossed one twice more) in the same frame, and most captions
// stay the same from frame to frame: each is laid out once.
std::shared_ptr<const TTextBlock> SharedTextBlock(const TFont& font, std::string_view text);
