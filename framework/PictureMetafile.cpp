// Metafiles: the player (MetafilePlayer) does the reading and drawing; this
// class keeps the file image and one rendering at the size last drawn.
#include <cstdlib>

#include "Canvas.h"
#include "Picture.h"

const TClassInfo& TMetafile::StaticClass() {
  static const TClassInfo info = TClassBuilder<TMetafile>("TMetafile", &TGraphic::StaticClass()).Build();
  return info;
}

// What a metafile does not draw is left as it was.
TMetafile::TMetafile() { FTransparent = true; }

TMetafile::~TMetafile() { DropCache(); }

void TMetafile::DropCache() const {
  FCache.reset();
  FCacheWidth = FCacheHeight = 0;
}

void TMetafile::LoadFromBytes(std::span<const uint8_t> bytes) {
  // Built first, so a bad file leaves the metafile as it was.
  auto player = std::make_shared<const TMetafilePlayer>(bytes);
  FBytes.assign(bytes.begin(), bytes.end());
  FPlayer = std::move(player);
  DropCache();
  Changed();
}

void TMetafile::Draw(TCanvas& canvas, const TRect& dest) const {
  if (!FPlayer) return;
  const int width = std::abs(dest.Right - dest.Left), height = std::abs(dest.Bottom - dest.Top);
  if (width == 0 || height == 0) return;
  // Playing a metafile costs far more than a blend: render once per size.
  if (!FCache || width != FCacheWidth || height != FCacheHeight) {
    DropCache();
    FCache = FPlayer->Render(width, height);
    FCacheWidth = width;
    FCacheHeight = height;
    ++FRenderings;
  }
  const TPixelView view = FCache->View();
  canvas.BlendPixels(dest, view, view.Bounds());
}

void TMetafile::Assign(const TPersistent& source) {
  if (&source == this) return;
  if (const auto* metafile = dynamic_cast<const TMetafile*>(&source)) {
    FBytes = metafile->FBytes;
    FPlayer = metafile->FPlayer;
    DropCache();
    Changed();
    return;
  }
  TGraphic::Assign(source);
}
