#include "SkinImplExitButton.h"

const TClassInfo& TSkinExitButton::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSkinExitButton>("TSkinExitButton", &TGaugeBitmapButton::StaticClass())
          .String("GlyphsFile", &TSkinExitButton::GlyphsFile, &TSkinExitButton::SetGlyphsFile)
          .Creatable()
          .Build();
  return info;
}

TSkinExitButton::TSkinExitButton(TComponent* owner) : TGaugeBitmapButton(owner) {}

void TSkinExitButton::SetGlyphsFile(const std::string& value) {
  if (value != FGlyphsFile) FGlyphsFile = value;
}

void TSkinExitButton::CreationStep(TSensorList&) {
  // Read aside, then assigned: the assignment is what rebuilds the hit mask
  // (loading into the glyph in place would leave the mask of the empty glyph
  // that loading's end built, and a Transparent button could never be
  // pressed), and a file that fails leaves the glyph as it was.
  TBitmap strip;
  strip.LoadFromFile(SkinFilePath(FGlyphsFile));
  SetGlyph(strip);
}
