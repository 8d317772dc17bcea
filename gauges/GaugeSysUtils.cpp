#include "GaugeSysUtils.h"

#include <cmath>

// ---- checked arithmetic ------------------------------------------------------------------

int32_t CheckedAdd(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_add_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}

int32_t CheckedSub(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}

int32_t CheckedMul(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}

int32_t CheckedNeg(int32_t a) { return CheckedSub(0, a); }

int32_t CheckedDiv(int32_t a, int32_t b) {
  if (b == 0) throw EDivByZero();
  if (a == std::numeric_limits<int32_t>::min() && b == -1) throw EIntOverflow();
  return a / b;
}

int32_t CheckedMod(int32_t a, int32_t b) {
  if (b == 0) throw EDivByZero();
  if (b == -1) return 0;  // INT32_MIN % -1 traps on x86
  return a % b;
}

namespace {
int32_t ToInt32OrRangeError(long double integral) {
  if (std::isnan(integral) || integral < static_cast<long double>(std::numeric_limits<int32_t>::min()) ||
      integral > static_cast<long double>(std::numeric_limits<int32_t>::max()))
    throw ERangeError();
  return static_cast<int32_t>(integral);
}
}  // namespace

int32_t CheckedTrunc(long double value) { return ToInt32OrRangeError(std::truncl(value)); }

// nearbyint honours the current rounding mode, which is to nearest with
// ties to even unless someone changed it; the widgets never do.
int32_t CheckedRound(long double value) { return ToInt32OrRangeError(std::nearbyintl(value)); }

// ---- percentages -------------------------------------------------------------------------

int32_t PercentOf(int32_t percent, int32_t total) {
  // The order of the operations is part of the result: percent x 0.01 is
  // rounded to extended first, and 0.01 itself rounds to slightly below a
  // hundredth, so 60 % of 80 truncates to 47. Bars depend on this.
  constexpr long double kHundredth = 0.01L;
  const long double fraction = static_cast<long double>(percent) * kHundredth;
  return CheckedTrunc(static_cast<long double>(total) * fraction);
}

int32_t ToPercent(int32_t value, int32_t range) {
  if (range == 0) return 0;
  return CheckedTrunc(static_cast<long double>(value) * 100.0L / static_cast<long double>(range));
}

// ---- colours -----------------------------------------------------------------------------

uint8_t ClampColorChannel(double value) {
  if (std::isnan(value)) throw ERangeError();
  const double rounded = std::nearbyint(value);
  if (rounded <= 0.0) return 0;
  if (rounded >= 255.0) return 255;
  return static_cast<uint8_t>(rounded);
}

TColor RGBFromChannels(double red, double green, double blue) {
  return RGB(ClampColorChannel(red), ClampColorChannel(green), ClampColorChannel(blue));
}

TColor ResolveColor(TColor color) noexcept { return ColorToRGB(color); }

// ---- gradients ---------------------------------------------------------------------------

std::vector<TGradientStripe> GradientStripes(const TRect& rect, TColor from, TColor to, int32_t direction,
                                             int32_t step) {
  std::vector<TGradientStripe> stripes;
  if ((direction != 0 && direction != 1) || step < 1) return stripes;
  const TColor rgbFrom = ResolveColor(from), rgbTo = ResolveColor(to);
  const int32_t dr = int32_t(GetRValue(rgbTo)) - GetRValue(rgbFrom);
  const int32_t dg = int32_t(GetGValue(rgbTo)) - GetGValue(rgbFrom);
  const int32_t db = int32_t(GetBValue(rgbTo)) - GetBValue(rgbFrom);
  const bool leftToRight = direction == 1;
  const int32_t width = CheckedSub(rect.Right, rect.Left), height = CheckedSub(rect.Bottom, rect.Top);
  const int32_t d = IntMax(1, leftToRight ? width : height);
  // The stripe's fixed side spans the rectangle, at least one pixel.
  TRect stripe = leftToRight ? Rect(rect.Left, rect.Top, CheckedAdd(rect.Left, step), CheckedAdd(rect.Top, IntMax(1, height)))
                             : Rect(rect.Left, rect.Top, CheckedAdd(rect.Left, IntMax(1, width)), CheckedAdd(rect.Top, step));
  // Channels are reals that accumulate their per-stripe increment, so the
  // rounding of each stripe's colour follows from the running sum.
  double red = GetRValue(rgbFrom), green = GetGValue(rgbFrom), blue = GetBValue(rgbFrom);
  const double incRed = static_cast<double>(static_cast<long double>(dr) / d * step);
  const double incGreen = static_cast<double>(static_cast<long double>(dg) / d * step);
  const double incBlue = static_cast<double>(static_cast<long double>(db) / d * step);
  stripes.reserve(static_cast<size_t>(d / step) + 1);
  // 64-bit offsets: the walk may pass INT32_MAX on its last step.
  for (int64_t offset = 0; offset <= d; offset += step) {
    if (offset > 0) {
      if (leftToRight) stripe = Rect(CheckedAdd(stripe.Left, step), stripe.Top, CheckedAdd(stripe.Right, step), stripe.Bottom);
      else stripe = Rect(stripe.Left, CheckedAdd(stripe.Top, step), stripe.Right, CheckedAdd(stripe.Bottom, step));
      red += incRed;
      green += incGreen;
      blue += incBlue;
    }
    stripes.push_back({stripe, RGBFromChannels(red, green, blue)});
  }
  return stripes;
}

void GradientFill(TCanvas& canvas, const TRect& rect, TColor from, TColor to, int32_t direction, int32_t step) {
  const std::vector<TGradientStripe> stripes = GradientStripes(rect, from, to, direction, step);
  canvas.Brush().SetStyle(bsSolid);
  for (const TGradientStripe& s : stripes) {
    canvas.Brush().SetColor(s.Color);
    canvas.FillRect(s.Rect);
  }
}

// ---- frames ------------------------------------------------------------------------------

void DrawFrame3D(TCanvas& canvas, TRect& rect, TColor topLeft, TColor bottomRight, int32_t width) {
  canvas.Pen().SetWidth(1);
  // Lines leave out their last point, so the corners are drawn from the
  // inclusive right and bottom edges.
  rect.Right = CheckedSub(rect.Right, 1);
  rect.Bottom = CheckedSub(rect.Bottom, 1);
  for (int32_t i = 0; i < width; ++i) {
    canvas.Pen().SetColor(topLeft);
    const TPoint upper[] = {{rect.Left, rect.Bottom}, {rect.Left, rect.Top}, {rect.Right, rect.Top}};
    canvas.Polyline(upper);
    canvas.Pen().SetColor(bottomRight);
    const TPoint lower[] = {{rect.Right, rect.Top}, {rect.Right, rect.Bottom}, {CheckedSub(rect.Left, 1), rect.Bottom}};
    canvas.Polyline(lower);
    rect = Rect(CheckedAdd(rect.Left, 1), CheckedAdd(rect.Top, 1), CheckedSub(rect.Right, 1), CheckedSub(rect.Bottom, 1));
  }
  rect.Right = CheckedAdd(rect.Right, 1);
  rect.Bottom = CheckedAdd(rect.Bottom, 1);
}

// ---- text --------------------------------------------------------------------------------

void SetFontAngle(TCanvas& canvas, int32_t angle) { canvas.Font().SetOrientation(CheckedMul(angle, 10)); }

TPoint GetTextSize(TCanvas& canvas, const std::string& text) { return canvas.TextExtent(text); }

namespace {
// Puts the font colour back however the drawing ends.
class TFontColorKeeper {
public:
  explicit TFontColorKeeper(TCanvas& canvas) : FCanvas(canvas), FColor(canvas.Font().Color()) {}
  ~TFontColorKeeper() { FCanvas.Font().SetColor(FColor); }
  TFontColorKeeper(const TFontColorKeeper&) = delete;
  TFontColorKeeper& operator=(const TFontColorKeeper&) = delete;
  TColor Color() const noexcept { return FColor; }

private:
  TCanvas& FCanvas;
  TColor FColor;
};
}  // namespace

void DrawEmbossedText(TCanvas& canvas, int32_t x, int32_t y, const std::string& text, TColor highlight,
                      TColor shadow) {
  TFontColorKeeper keeper(canvas);
  canvas.Brush().SetStyle(bsClear);
  canvas.Font().SetColor(shadow);
  canvas.TextOut(CheckedAdd(x, 1), CheckedAdd(y, 1), text);
  canvas.Font().SetColor(highlight);
  canvas.TextOut(CheckedSub(x, 1), CheckedSub(y, 1), text);
  canvas.Font().SetColor(keeper.Color());
  canvas.TextOut(x, y, text);
}

void DrawShadowText(TCanvas& canvas, int32_t x, int32_t y, const std::string& text, TColor shadow, int32_t dx,
                    int32_t dy) {
  TFontColorKeeper keeper(canvas);
  canvas.Brush().SetStyle(bsClear);
  canvas.Font().SetColor(shadow);
  canvas.TextOut(CheckedAdd(x, dx), CheckedAdd(y, dy), text);
  canvas.Font().SetColor(keeper.Color());
  canvas.TextOut(x, y, text);
}

void DrawTexturedText(TCanvas& canvas, const TRect& rect, int32_t x, int32_t y, const std::string& text,
                      const TGraphic& texture, int32_t angle) {
  TFontColorKeeper keeper(canvas);
  canvas.Brush().SetStyle(bsClear);
  const int32_t w = RectWidth(rect), h = RectHeight(rect);
  const TRect area = Rect(0, 0, w, h);
  // Black letters on white: the mask that keeps the texture.
  TBitmap mask(w, h);
  mask.SetMonochrome(true);
  TCanvas& maskCanvas = mask.Canvas();
  maskCanvas.Font().Assign(canvas.Font());
  maskCanvas.Font().SetColor(clBlack);
  SetFontAngle(maskCanvas, angle);
  maskCanvas.Brush().SetColor(clWhite);
  maskCanvas.Brush().SetStyle(bsClear);
  maskCanvas.TextOut(x, y, text);
  // Invert, mask, invert: inside the letters (mask black) the pixel becomes
  // ((w ^ t) & 0) ^ t = t, outside ((w ^ t) & 1) ^ t = w.
  TBitmap work(w, h);
  TCanvas& workCanvas = work.Canvas();
  workCanvas.SetCopyMode(cmSrcCopy);
  workCanvas.CopyRect(area, canvas, area);
  workCanvas.SetCopyMode(cmSrcInvert);
  workCanvas.StretchDraw(area, texture);
  workCanvas.SetCopyMode(cmSrcAnd);
  workCanvas.Draw(0, 0, mask);
  workCanvas.SetCopyMode(cmSrcInvert);
  workCanvas.StretchDraw(area, texture);
  canvas.Draw(0, 0, work);
}

// ---- bitmaps -----------------------------------------------------------------------------

void TileBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  // 64-bit steps: the last tile may start close to INT32_MAX.
  for (int64_t x = rect.Left; x < rect.Right; x += bitmap.Width())
    for (int64_t y = rect.Top; y < rect.Bottom; y += bitmap.Height())
      canvas.Draw(static_cast<int32_t>(x), static_cast<int32_t>(y), bitmap);
}

void MaskedRecolor(TBitmap& bitmap, const TBitmap& source, TColor key, TColor color) {
  if (bitmap.Empty()) return;
  TBitmap mask;
  mask.Assign(source);
  mask.SetTransparent(false);
  mask.Mask(key);  // white where the source has the key colour
  TCanvas& canvas = bitmap.Canvas();
  const TCopyMode oldMode = canvas.CopyMode();
  const TColor oldBrushColor = canvas.Brush().Color();
  const TBrushStyle oldBrushStyle = canvas.Brush().Style();
  canvas.Brush().SetColor(color);
  canvas.SetCopyMode(cmMaskPattern);  // destination where the mask is black, brush where white
  try {
    canvas.Draw(0, 0, mask);
  } catch (...) {
    canvas.SetCopyMode(oldMode);
    throw;
  }
  canvas.SetCopyMode(oldMode);
  canvas.Brush().SetColor(oldBrushColor);
  canvas.Brush().SetStyle(oldBrushStyle);
}

void ReplaceBitmapColor(TBitmap& bitmap, TColor oldColor, TColor newColor) {
  MaskedRecolor(bitmap, bitmap, oldColor, newColor);
}

// ---- strings -----------------------------------------------------------------------------

std::string NextToken(std::string& text, char separator) {
  const size_t pos = text.find(separator);
  std::string token;
  if (pos == std::string::npos) {
    token.swap(text);
  } else {
    token = text.substr(0, pos);
    text.erase(0, pos + 1);
  }
  return token;
}

// ---- image and caption layout ------------------------------------------------------------

void ImageTextPositions(TPoint clientSize, TPoint textSize, int32_t layout, int32_t margin, int32_t spacing,
                        TPoint imageSize, TPoint& imagePos, TPoint& textPos) {
  imagePos = {};
  textPos = {};
  const bool horizontal = layout == kLayoutImageLeft || layout == kLayoutImageRight;
  const bool vertical = layout == kLayoutImageTop || layout == kLayoutImageBottom;
  // The cross axis is centred; the rounding up of an odd remainder puts the
  // extra pixel below (or right of) the item.
  if (horizontal) {
    imagePos.Y = CheckedDiv(CheckedAdd(CheckedSub(clientSize.Y, imageSize.Y), 1), 2);
    textPos.Y = CheckedDiv(CheckedAdd(CheckedSub(clientSize.Y, textSize.Y), 1), 2);
  } else if (vertical) {
    imagePos.X = CheckedDiv(CheckedAdd(CheckedSub(clientSize.X, imageSize.X), 1), 2);
    textPos.X = CheckedDiv(CheckedAdd(CheckedSub(clientSize.X, textSize.X), 1), 2);
  }
  // With only one of the two there is nothing to space apart.
  if (textSize.X == 0 || imageSize.X == 0) spacing = 0;

  // On the layout's axis from here on.
  const int32_t client = horizontal ? clientSize.X : clientSize.Y;
  const int32_t image = horizontal ? imageSize.X : imageSize.Y;
  const int32_t textLength = horizontal ? textSize.X : textSize.Y;
  if (horizontal || vertical) {
    if (margin == -1 && spacing == -1) {
      const int32_t total = CheckedAdd(image, textLength);
      margin = CheckedDiv(CheckedSub(client, total), 3);
      spacing = margin;
    } else if (margin == -1) {
      const int32_t total = CheckedAdd(CheckedAdd(image, spacing), textLength);
      margin = CheckedDiv(CheckedAdd(CheckedSub(client, total), 1), 2);
    } else if (spacing == -1) {
      const int32_t total = CheckedSub(client, CheckedAdd(margin, image));
      spacing = CheckedDiv(CheckedSub(total, textLength), 2);
    }
  }

  int32_t imageAt = 0, textAt = 0;
  switch (layout) {
    case kLayoutImageLeft:
    case kLayoutImageTop:
      imageAt = margin;
      textAt = CheckedAdd(CheckedAdd(imageAt, image), spacing);
      break;
    case kLayoutImageRight:
    case kLayoutImageBottom:
      imageAt = CheckedSub(CheckedSub(client, margin), image);
      textAt = CheckedSub(CheckedSub(imageAt, spacing), textLength);
      break;
    default:
      return;
  }
  if (horizontal) {
    imagePos.X = imageAt;
    textPos.X = textAt;
  } else {
    imagePos.Y = imageAt;
    textPos.Y = textAt;
  }
}

void CalcImageTextLayout(TCanvas& canvas, const TRect& client, const std::string& caption, int32_t layout,
                         int32_t margin, int32_t spacing, TPoint imageSize, TPoint& imagePos, TRect& textRect) {
  const TPoint clientSize{CheckedSub(client.Right, client.Left), CheckedSub(client.Bottom, client.Top)};
  TRect textBounds{};
  if (!caption.empty()) {
    textBounds = Rect(0, 0, clientSize.X, 0);
    canvas.DrawText(caption, textBounds, DT_CALCRECT);
  }
  const TPoint textSize{CheckedSub(textBounds.Right, textBounds.Left), CheckedSub(textBounds.Bottom, textBounds.Top)};
  TPoint textPos;
  ImageTextPositions(clientSize, textSize, layout, margin, spacing, imageSize, imagePos, textPos);
  imagePos = {CheckedAdd(imagePos.X, client.Left), CheckedAdd(imagePos.Y, client.Top)};
  const int32_t dx = CheckedAdd(textPos.X, client.Left), dy = CheckedAdd(textPos.Y, client.Top);
  textRect = Rect(CheckedAdd(textBounds.Left, dx), CheckedAdd(textBounds.Top, dy), CheckedAdd(textBounds.Right, dx),
                  CheckedAdd(textBounds.Bottom, dy));
}
