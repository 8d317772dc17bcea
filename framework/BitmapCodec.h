// Windows bitmap (BMP/DIB) decoding and encoding over plain buffers.
//
// Decoding accepts every common variant: core (12-byte) and info headers up to
// the 124-byte one, 1/4/8 bits per pixel with a palette, 16/24/32 bits, RLE8
// and RLE4, bit fields, bottom-up and top-down rows. It never reads outside
// the given buffer: a truncated or inconsistent file raises EInvalidGraphic
// with the caller's message ("Image bitmap incorrecte" for .bmp files).
// Encoding writes 1-, 4- or 24-bit uncompressed bottom-up files with a 40-byte
// header; the 1- and 4-bit palettes are the fixed black/white and standard
// 16-colour palettes, each pixel taking its nearest entry.
//
// Thread rules: pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "GraphicsBase.h"

struct TDecodedImage {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
  // Top-down rows of device pixels 0xAARRGGBB. Alpha is 0xFF unless the
  // source carries an alpha channel (then straight, not premultiplied).
  std::vector<uint32_t> Pixels;
  bool HasAlpha = false;
  // The AND mask of an icon entry (1 = transparent), top-down, one byte per pixel.
  std::vector<uint8_t> Mask;
};

// A whole .bmp file (starting with "BM").
TDecodedImage DecodeBmp(std::span<const uint8_t> file, const std::string& errorText);

// A device-independent bitmap without file header as stored in an icon entry:
// the header's height counts both the colour image and the AND mask below it.
TDecodedImage DecodeIconDib(std::span<const uint8_t> dib, const std::string& errorText);

// A .bmp file of `view` with 1, 4 or 24 bits per pixel.
std::vector<uint8_t> EncodeBmp(const TPixelView& view, int bitsPerPixel);
