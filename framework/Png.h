// TPngImage: a Portable Network Graphics picture, decoded and encoded with
// libpng (through its memory API; zlib underneath). Every PNG colour type
// and bit depth loads into 8-bit RGBA; drawing alpha-blends it. Its class
// name in skins' picture data is "TPNGObject".
//
// Thread rules: as TGraphic.
// Errors: LoadFromBytes raises EInvalidGraphic("Image PNG incorrecte") for a
// file without the PNG signature or that libpng rejects (truncated, bad
// checksum, ...); the image is then left unchanged.
#pragma once

#include "GraphicsBase.h"

class TPngImage : public TAlphaGraphic {
  VELQ_CLASS(TPngImage)
public:
  TPngImage() = default;
  void Assign(const TPersistent& source) override;
  void LoadFromBytes(std::span<const uint8_t> bytes) override;
  std::vector<uint8_t> SaveToBytes() const override;
};

// An RGB PNG file (no alpha channel) of the opaque pixels of `view`, for
// screenshots and renders; raises EInvalidGraphic("Image PNG incorrecte")
// when libpng cannot encode it.
std::vector<uint8_t> EncodeOpaquePng(const TPixelView& view);

// Decodes a PNG file into top-down straight-alpha pixels 0xAARRGGBB; raises
// EInvalidGraphic(errorText). Icons use it for their PNG entries.
std::vector<uint32_t> DecodePng(std::span<const uint8_t> bytes, const std::string& errorText, int& width, int& height);
