// TFont: the logical font of a canvas, and its rendering through Pango.
//
// Height follows the Windows convention: a negative value is the character
// (em) height in pixels, a positive one the cell height (ascent + descent);
// Size is in points at 96 pixels per inch (Size 8 <=> Height -11).
// Orientation is the escapement in tenths of a degree, counter-clockwise.
// Family names are mapped before fontconfig sees them, so that the classic
// Windows faces land on metric-compatible free ones: "Arial", "MS Sans Serif",
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
// TTextBlock uses one Pango context per thread, so measurement may happen
// on any thread. Errors: Assign from another class raises EConvertError.
#pragma once

#include <pango/pangocairo.h>

#include <string>
#include <string_view>

#include "Classes.h"
#include "Colors.h"
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
  PangoLayout* Layout() const noexcept { return FLayout; }

private:
  PangoLayout* FLayout = nullptr;
  TPoint FExtent;
  TRect FInk;
};

// The Pango context used for drawing text on this thread (fixed options above).
PangoContext* DrawingPangoContext();
