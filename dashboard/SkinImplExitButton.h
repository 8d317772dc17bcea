// TSkinExitButton: the skin's exit button, a bitmap button whose glyph
// strip comes from a picture file that the skin names.
//
// The creation handler loads "Skin/" + GlyphsFile (a Windows bitmap) into
// the button's Glyph, which also rebuilds the hit mask from it, so a
// Transparent exit button takes presses on the glyph's opaque pixels. The
// button binds no sensor and has no frame step. A skin binds its OnClick to
// the window's published SkinExitButtonClick, which releases the shared
// block and ends the program without going through FormClose.
//
// Thread rules: user-interface thread only (creation handler, mouse).
// Errors: CreationStep raises the file's loading error: EFOpenError
// ("Impossible d'ouvrir le fichier "%s". %s"), also for an empty
// GlyphsFile, which names the directory "Skin/" itself, or EInvalidGraphic
// ("Image bitmap incorrecte"); the glyph is then left as it was and the
// creation handler stops there.
#pragma once

#include <string>

#include "GaugeBitmapButton.h"
#include "SkinImpl.h"

class TSkinExitButton : public TGaugeBitmapButton, public TSkinComponent {
  VELQ_CLASS(TSkinExitButton)
public:
  explicit TSkinExitButton(TComponent* owner);

  // The glyph strip's file, "Skin/" + this value; read by the creation step
  // only. Assigned when different, no other effect.
  const std::string& GlyphsFile() const noexcept { return FGlyphsFile; }
  void SetGlyphsFile(const std::string& value);

  // Loads the glyph strip; registers nothing.
  void CreationStep(TSensorList& sensors) override;

private:
  std::string FGlyphsFile;
};
