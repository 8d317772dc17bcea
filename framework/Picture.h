// Pictures: TIcon (.ico), TMetafile (.emf/.wmf) and TPicture, the holder of
// one graphic of any kind that loads files by extension.
//
// TIcon loads every entry kind of an .ico file (a device-independent bitmap
// with its AND mask, or a PNG image) and keeps the best entry: the largest,
// then the deepest. 32-bit entries use their alpha channel, the others the
// mask. Saving gives back the file as loaded.
// TMetafile holds an enhanced (EMF) or Windows (WMF, placeable or not)
// metafile: its bytes, its size from the header (see MetafilePlayer.h) and a
// player. Drawing renders the picture once per destination size into a
// cached image and blends that; parts the metafile leaves undrawn show what
// is beneath (a metafile is transparent).
// TPicture.LoadFromFile picks the kind by the file's extension, compared
// without regard to case: bmp, ico, emf, wmf, png. Its Data property is the
// inline form of skins: a short string (length byte + class name TBitmap,
// TIcon, TMetafile or TPNGObject), then that graphic's data; an unknown class
// name leaves the picture empty.
//
// Thread rules: as TGraphic.
// Errors: "Extension de fichier image inconnue (.%s)" (EInvalidGraphic) for
// another extension, "Impossible d'ouvrir le fichier "%s". %s" (EFOpenError)
// for a file that cannot be read, the graphic's own message for bad content
// ("Image bitmap incorrecte", "Image icône incorrecte", "Image PNG
// incorrecte", "Métafichier incorrect"). A failed load leaves the picture as
// it was.
#pragma once

#include <memory>
#include <string_view>

#include "Bitmap.h"
#include "GraphicsBase.h"
#include "MetafilePlayer.h"
#include "Png.h"

class TIcon : public TAlphaGraphic {
  VELQ_CLASS(TIcon)
public:
  void Assign(const TPersistent& source) override;
  void LoadFromBytes(std::span<const uint8_t> bytes) override;
  std::vector<uint8_t> SaveToBytes() const override { return FBytes; }

private:
  std::vector<uint8_t> FBytes;
};

class TMetafile : public TGraphic {
  VELQ_CLASS(TMetafile)
public:
  TMetafile();
  ~TMetafile() override;
  int Width() const override { return FPlayer ? FPlayer->Width() : 0; }
  int Height() const override { return FPlayer ? FPlayer->Height() : 0; }
  bool Empty() const override { return !FPlayer; }
  TMetafileKind Kind() const noexcept { return FPlayer ? FPlayer->Kind() : mkNone; }
  bool Enhanced() const noexcept { return Kind() == mkEnhanced; }
  void Draw(TCanvas& canvas, const TRect& dest) const override;
  void Assign(const TPersistent& source) override;
  // Raises EInvalidGraphic("Métafichier incorrect") for anything but a
  // whole metafile (empty, truncated, garbage); the metafile is then left
  // unchanged.
  void LoadFromBytes(std::span<const uint8_t> bytes) override;
  std::vector<uint8_t> SaveToBytes() const override { return FBytes; }
  // How many times the picture has been rendered: once per new destination
  // size, never for a repeated paint at the same size.
  int Renderings() const noexcept { return FRenderings; }

private:
  void DropCache() const;
  std::vector<uint8_t> FBytes;
  // Immutable once loaded, so copies of a metafile share it.
  std::shared_ptr<const TMetafilePlayer> FPlayer;
  // The picture rendered at the last destination size.
  mutable TSurfacePtr FCache;
  mutable int FCacheWidth = 0;
  mutable int FCacheHeight = 0;
  mutable int FRenderings = 0;
};

// A new, empty graphic of a streamed class name (TBitmap, TIcon, TMetafile,
// TPNGObject; ASCII case ignored), or nullptr.
std::unique_ptr<TGraphic> NewGraphic(std::string_view className);

class TPicture : public TPersistent {
  VELQ_CLASS(TPicture)
public:
  TPicture() = default;
  ~TPicture() override;

  // The graphic, or nullptr when the picture is empty.
  TGraphic* Graphic() const noexcept { return FGraphic.get(); }
  // A copy of `graphic` becomes the picture's graphic (nullptr empties it).
  void SetGraphic(const TGraphic* graphic);
  // The graphic as a bitmap; a picture holding another kind (or nothing)
  // gets a new empty bitmap first.
  TBitmap& Bitmap();
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }

  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;
  void Assign(const TPersistent& source) override;

  std::vector<uint8_t> Data() const;
  void SetData(std::span<const uint8_t> data);

  TNotifyEvent OnChange;

private:
  void Install(std::unique_ptr<TGraphic> graphic);
  void Changed();
  std::unique_ptr<TGraphic> FGraphic;
};
