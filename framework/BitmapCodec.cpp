#include "BitmapCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

// Bounds-checked little-endian reads: every access goes through here, so a
// lying header can only lead to the error, never to a read past the buffer.
class TReader {
public:
  TReader(std::span<const uint8_t> bytes, const std::string& errorText) : FBytes(bytes), FError(errorText) {}
  [[noreturn]] void Fail() const { throw EInvalidGraphic(FError); }
  void Need(uint64_t pos, uint64_t count) const {
    if (pos > FBytes.size() || count > FBytes.size() - pos) Fail();
  }
  uint8_t U8(uint64_t pos) const { Need(pos, 1); return FBytes[pos]; }
  uint16_t U16(uint64_t pos) const { Need(pos, 2); return uint16_t(FBytes[pos] | (FBytes[pos + 1] << 8)); }
  uint32_t U32(uint64_t pos) const {
    Need(pos, 4);
    return uint32_t(FBytes[pos]) | (uint32_t(FBytes[pos + 1]) << 8) | (uint32_t(FBytes[pos + 2]) << 16) |
           (uint32_t(FBytes[pos + 3]) << 24);
  }
  int32_t I32(uint64_t pos) const { return int32_t(U32(pos)); }
  const uint8_t* At(uint64_t pos, uint64_t count) const { Need(pos, count); return FBytes.data() + pos; }
  size_t Size() const { return FBytes.size(); }

private:
  std::span<const uint8_t> FBytes;
  const std::string& FError;
};

// One channel of a bit-field pixel scaled to 0..255.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;
  explicit TChannel(uint32_t mask = 0) : Mask(mask) {
    if (mask) {
      Shift = std::countr_zero(mask);
      Max = mask >> Shift;
    }
  }
  uint32_t Get(uint32_t v) const { return Max ? (((v & Mask) >> Shift) * 255 + Max / 2) / Max : 0; }
};

struct THeader {
  int Width = 0, Height = 0;  // Height > 0 here; TopDown tells the row order
  bool TopDown = false;
  int Bpp = 0;
  uint32_t Compression = kRgb;
  TChannel R, G, B, A;
  std::vector<uint32_t> Palette;  // device pixels
};

constexpr uint32_t Opaque(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

// Parses the header at `pos` and the palette after it; returns the position
// just after the palette. `iconHeight` halves the height (colour image + mask).
uint64_t ReadHeader(const TReader& in, uint64_t pos, bool icon, THeader& h) {
  const uint32_t size = in.U32(pos);
  int64_t width, height;
  unsigned planes, paletteEntrySize;
  uint64_t after = pos + size;
  if (size == 12) {
    width = in.U16(pos + 4);
    height = in.U16(pos + 6);
    planes = in.U16(pos + 8);
    h.Bpp = in.U16(pos + 10);
    paletteEntrySize = 3;
  } else if (size == 16 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124) {
    width = in.I32(pos + 4);
    height = in.I32(pos + 8);
    planes = in.U16(pos + 12);
    h.Bpp = in.U16(pos + 14);
    paletteEntrySize = 4;
    if (size >= 40) h.Compression = in.U32(pos + 16);
    if (size == 64 && h.Compression >= kBitFields) in.Fail();  // the 64-byte header's codes 3 and 4 are other codecs
  } else {
    in.Fail();
  }
  in.Need(pos, size);
  if (planes != 1 || width <= 0 || height == 0 || height == INT32_MIN) in.Fail();
  h.TopDown = height < 0;
  height = h.TopDown ? -height : height;
  if (icon) {
    if (h.TopDown) in.Fail();
    height /= 2;
    if (height == 0) in.Fail();
  }
  if (uint64_t(width) * uint64_t(height) > kMaxPicturePixels) in.Fail();
  h.Width = int(width);
  h.Height = int(height);

  switch (h.Bpp) {
    case 1: case 4: case 8: case 24:
      if (h.Compression != kRgb && !(h.Compression == kRle8 && h.Bpp == 8) && !(h.Compression == kRle4 && h.Bpp == 4))
        in.Fail();
      break;
    case 16: case 32:
      if (h.Compression != kRgb && h.Compression != kBitFields && h.Compression != kAlphaBitFields) in.Fail();
      break;
    default:
      in.Fail();
  }
  if ((h.Compression == kRle8 || h.Compression == kRle4) && (h.TopDown || icon)) in.Fail();

  if (h.Compression == kBitFields || h.Compression == kAlphaBitFields) {
    // Masks live in the larger headers, or follow the 40-byte one.
    uint64_t masks = pos + 40;
    const bool withAlpha = h.Compression == kAlphaBitFields || size >= 56;
    h.R = TChannel(in.U32(masks));
    h.G = TChannel(in.U32(masks + 4));
    h.B = TChannel(in.U32(masks + 8));
    if (withAlpha) h.A = TChannel(in.U32(masks + 12));
    if (size == 40) after = masks + (h.Compression == kAlphaBitFields ? 16 : 12);
  } else if (h.Bpp == 16) {
    h.R = TChannel(0x7C00);
    h.G = TChannel(0x03E0);
    h.B = TChannel(0x001F);
  } else if (h.Bpp == 32) {
    h.R = TChannel(0x00FF0000);
    h.G = TChannel(0x0000FF00);
    h.B = TChannel(0x000000FF);
    // Icons keep their alpha channel in the fourth byte; plain bitmaps ignore it.
    if (icon) h.A = TChannel(0xFF000000);
  }

  uint64_t colors = 0;
  if (size >= 40) colors = in.U32(pos + 32);
  if (h.Bpp <= 8) {
    const uint64_t maxColors = uint64_t{1} << h.Bpp;
    if (colors == 0 || colors > maxColors) colors = maxColors;
  } else if (colors > 256) {
    in.Fail();  // an optional palette of a true-colour image is never this big
  }
  const uint8_t* p = in.At(after, colors * paletteEntrySize);
  if (h.Bpp <= 8) {
    h.Palette.resize(size_t{1} << h.Bpp, Opaque(0, 0, 0));
    for (uint64_t i = 0; i < colors; ++i, p += paletteEntrySize) h.Palette[i] = Opaque(p[2], p[1], p[0]);
  }
  return after + colors * paletteEntrySize;
}

uint64_t RowBytes(int width, int bpp) { return ((uint64_t(width) * bpp + 31) / 32) * 4; }

// Uncompressed rows; returns the position after the last row.
uint64_t ReadRows(const TReader& in, uint64_t pos, const THeader& h, TDecodedImage& img) {
  const uint64_t rowBytes = RowBytes(h.Width, h.Bpp);
  const uint8_t* data = in.At(pos, rowBytes * uint64_t(h.Height));
  bool anyAlpha = false;
  for (int row = 0; row < h.Height; ++row) {
    const uint8_t* s = data + rowBytes * uint64_t(row);
    const int y = h.TopDown ? row : h.Height - 1 - row;
    uint32_t* d = img.Pixels.data() + size_t(y) * size_t(h.Width);
    for (int x = 0; x < h.Width; ++x) {
      switch (h.Bpp) {
        case 1: d[x] = h.Palette[(s[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: d[x] = h.Palette[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF]; break;
        case 8: d[x] = h.Palette[s[x]]; break;
        case 24: d[x] = Opaque(s[3 * x + 2], s[3 * x + 1], s[3 * x]); break;
        case 16:
        case 32: {
          const uint32_t v = h.Bpp == 16 ? uint32_t(s[2 * x] | (s[2 * x + 1] << 8))
                                         : uint32_t(s[4 * x]) | (uint32_t(s[4 * x + 1]) << 8) |
                                               (uint32_t(s[4 * x + 2]) << 16) | (uint32_t(s[4 * x + 3]) << 24);
          uint32_t a = 0xFF;
          if (h.A.Mask) {
            a = h.A.Get(v);
            anyAlpha = anyAlpha || a != 0xFF;
          }
          d[x] = (a << 24) | (h.R.Get(v) << 16) | (h.G.Get(v) << 8) | h.B.Get(v);
          break;
        }
      }
    }
  }
  img.HasAlpha = anyAlpha;
  return pos + rowBytes * uint64_t(h.Height);
}

// Run-length encoded rows (always bottom-up). Pixels that the runs skip keep
// palette entry 0. Data that ends between two commands ends the image; data
// that ends inside a command is a truncated file.
void ReadRle(const TReader& in, uint64_t pos, const THeader& h, TDecodedImage& img) {
  const bool four = h.Compression == kRle4;
  int64_t x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](unsigned index) {
    if (x < h.Width && y < h.Height)
      img.Pixels[size_t(h.Height - 1 - y) * size_t(h.Width) + size_t(x)] = h.Palette[index & (four ? 0xF : 0xFF)];
    ++x;
  };
  while (pos < in.Size()) {
    const uint8_t count = in.U8(pos);
    const uint8_t value = in.U8(pos + 1);
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(four ? ((i & 1) ? value & 0xF : value >> 4) : value);
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      x += in.U8(pos);
      y += in.U8(pos + 1);
      pos += 2;
    } else {
      const uint64_t bytes = four ? (value + 1) / 2 : value;
      const uint8_t* s = in.At(pos, bytes);
      for (int i = 0; i < value; ++i) put(four ? ((i & 1) ? s[i / 2] & 0xF : s[i / 2] >> 4) : s[i]);
      pos += (bytes + 1) & ~uint64_t{1};  // absolute runs are padded to 16 bits
    }
    if (y >= h.Height) return;
  }
}

TDecodedImage Decode(const TReader& in, uint64_t headerPos, std::optional<uint64_t> pixelPos, bool icon) {
  THeader h;
  const uint64_t afterPalette = ReadHeader(in, headerPos, icon, h);
  TDecodedImage img;
  img.Width = h.Width;
  img.Height = h.Height;
  img.BitsPerPixel = h.Bpp;
  const uint64_t pos = pixelPos.value_or(afterPalette);
  if (h.Compression == kRle8 || h.Compression == kRle4) {
    // Runs may skip pixels; those keep palette entry 0.
    img.Pixels.assign(size_t(h.Width) * size_t(h.Height), h.Palette[0]);
    ReadRle(in, pos, h, img);
    return img;
  }
  // A file too short for the rows (and an icon's mask) its header declares
  // fails before the pixels are allocated: a few bytes claiming a huge
  // picture must not cost its memory.
  const uint64_t rowsSize = RowBytes(h.Width, h.Bpp) * uint64_t(h.Height);
  in.At(pos, rowsSize + (icon ? RowBytes(h.Width, 1) * uint64_t(h.Height) : 0));
  img.Pixels.assign(size_t(h.Width) * size_t(h.Height), Opaque(0, 0, 0));
  const uint64_t maskPos = ReadRows(in, pos, h, img);
  if (icon) {
    const uint64_t maskRow = RowBytes(h.Width, 1);
    const uint8_t* m = in.At(maskPos, maskRow * uint64_t(h.Height));
    img.Mask.resize(img.Pixels.size());
    for (int row = 0; row < h.Height; ++row) {
      const int y = h.Height - 1 - row;
      for (int x = 0; x < h.Width; ++x)
        img.Mask[size_t(y) * size_t(h.Width) + size_t(x)] = (m[maskRow * uint64_t(row) + uint64_t(x >> 3)] >> (7 - (x & 7))) & 1;
    }
  }
  return img;
}

// The standard 16-colour palette in its usual order.
constexpr uint32_t kVga16[16] = {
    Opaque(0, 0, 0),       Opaque(128, 0, 0),   Opaque(0, 128, 0),   Opaque(128, 128, 0),
    Opaque(0, 0, 128),     Opaque(128, 0, 128), Opaque(0, 128, 128), Opaque(128, 128, 128),
    Opaque(192, 192, 192), Opaque(255, 0, 0),   Opaque(0, 255, 0),   Opaque(255, 255, 0),
    Opaque(0, 0, 255),     Opaque(255, 0, 255), Opaque(0, 255, 255), Opaque(255, 255, 255),
};
constexpr uint32_t kMono[2] = {Opaque(0, 0, 0), Opaque(255, 255, 255)};

unsigned Nearest(std::span<const uint32_t> palette, uint32_t px) {
  unsigned best = 0;
  int bestDistance = INT32_MAX;
  for (unsigned i = 0; i < palette.size(); ++i) {
    const int dr = int((palette[i] >> 16) & 0xFF) - int((px >> 16) & 0xFF);
    const int dg = int((palette[i] >> 8) & 0xFF) - int((px >> 8) & 0xFF);
    const int db = int(palette[i] & 0xFF) - int(px & 0xFF);
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

void Put16(std::vector<uint8_t>& out, size_t pos, uint16_t v) {
  out[pos] = uint8_t(v);
  out[pos + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t pos, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[pos + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

TDecodedImage DecodeBmp(std::span<const uint8_t> file, const std::string& errorText) {
  TReader in(file, errorText);
  if (file.size() < 14 || file[0] != 'B' || file[1] != 'M') in.Fail();
  const uint32_t offBits = in.U32(10);
  if (offBits < 14 + 12 || offBits > file.size()) in.Fail();
  return Decode(in, 14, offBits, false);
}

TDecodedImage DecodeIconDib(std::span<const uint8_t> dib, const std::string& errorText) {
  TReader in(dib, errorText);
  return Decode(in, 0, std::nullopt, true);
}

std::vector<uint8_t> EncodeBmp(const TPixelView& view, int bitsPerPixel) {
  std::span<const uint32_t> palette;
  if (bitsPerPixel == 1) palette = kMono;
  else if (bitsPerPixel == 4) palette = kVga16;
  else bitsPerPixel = 24;
  const int width = view.Empty() ? 0 : view.Width, height = view.Empty() ? 0 : view.Height;
  const size_t rowBytes = RowBytes(width, bitsPerPixel);
  const size_t offBits = 14 + 40 + palette.size() * 4;
  const size_t total = offBits + rowBytes * size_t(height);
  std::vector<uint8_t> out(total, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, uint32_t(total));
  Put32(out, 10, uint32_t(offBits));
  Put32(out, 14, 40);
  Put32(out, 18, uint32_t(width));
  Put32(out, 22, uint32_t(height));
  Put16(out, 26, 1);
  Put16(out, 28, uint16_t(bitsPerPixel));
  Put32(out, 34, uint32_t(rowBytes * size_t(height)));
  Put32(out, 46, uint32_t(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) {
    out[54 + 4 * i] = uint8_t(palette[i]);
    out[54 + 4 * i + 1] = uint8_t(palette[i] >> 8);
    out[54 + 4 * i + 2] = uint8_t(palette[i] >> 16);
  }
  for (int y = 0; y < height; ++y) {
    const uint32_t* s = view.Row(y);
    uint8_t* d = out.data() + offBits + rowBytes * size_t(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      if (bitsPerPixel == 24) {
        d[3 * x] = uint8_t(s[x]);
        d[3 * x + 1] = uint8_t(s[x] >> 8);
        d[3 * x + 2] = uint8_t(s[x] >> 16);
      } else if (bitsPerPixel == 4) {
        d[x >> 1] |= uint8_t(Nearest(palette, s[x]) << ((x & 1) ? 0 : 4));
      } else {
        d[x >> 3] |= uint8_t(Nearest(palette, s[x]) << (7 - (x & 7)));
      }
    }
  }
  return out;
}
