// Pictures: TIcon (.ico), TMetafile (.emf/.wmf) and TPicture, the holder of
// one graphic of any kind that loads files by extension.
//
// TIcon loads every entry kind of an .ico file (a device-independent bitmap
// with its AND mask, or a PNG image) and keeps the best entry: the largest,
// then the deepest. 32-bit entries use their alpha channel, the others the
// mask. Saving gives back the file as loaded.
// TMetafile recognises enhanced (EMF) and Windows (WMF, placeable or not)
// metafiles, keeps their bytes and reads their size from the header;
// it is not rendered yet: drawing one draws nothing, and any bytes load.
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
// incorrecte"). A failed load leaves the picture as it was.
#pragma once

#include <memory>
#include <string_view>

#include "Bitmap.h"
#include "GraphicsBase.h"
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

enum TMetafileKind { mkNone, mkEnhanced, mkWindows, mkUnknown };

class TMetafile : public TGraphic {
  VELQ_CLASS(TMetafile)
public:
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Empty() const override { return FBytes.empty(); }
  TMetafileKind Kind() const noexcept { return FKind; }
  bool Enhanced() const noexcept { return FKind == mkEnhanced; }
  void Draw(TCanvas& canvas, const TRect& dest) const override;
  void Assign(const TPersistent& source) override;
  void LoadFromBytes(std::span<const uint8_t> bytes) override;
  std::vector<uint8_t> SaveToBytes() const override { return FBytes; }

private:
  std::vector<uint8_t> FBytes;
  TMetafileKind FKind = mkNone;
  int FWidth = 0;
  int FHeight = 0;
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
