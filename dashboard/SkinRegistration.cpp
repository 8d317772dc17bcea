#include "SkinRegistration.h"

#include "SkinImpl.h"
#include "SkinImplAngularGauge.h"
#include "SkinImplBars.h"
#include "SkinImplClock.h"
#include "SkinImplCounter.h"
#include "SkinImplExitButton.h"
#include "SkinImplLabel.h"
#include "SkinImplLed.h"
#include "SkinImplMatrix.h"
#include "SkinImplNum.h"
#include "TypInfo.h"

// The one list of the twelve skin classes, in their fixed order. A class
// joins the list at its place when its widget exists; until then the
// reader answers "Classe %s non trouvée" for it.
void RegisterSkinClasses() {
  RegisterClass(TSkinForm::StaticClass());
  RegisterClass(TSkinBackground::StaticClass());
  RegisterClass(TSkinAngularGauge::StaticClass());
  RegisterClass(TSkinExitButton::StaticClass());
  RegisterClass(TSkinCounter::StaticClass());
  RegisterClass(TSkinLed::StaticClass());
  RegisterClass(TSkinProgressBar::StaticClass());
  RegisterClass(TSkinLevelBar::StaticClass());
  RegisterClass(TSkinNum::StaticClass());
  RegisterClass(TSkinClock::StaticClass());
  RegisterClass(TSkinMatrix::StaticClass());
  RegisterClass(TSkinLabel::StaticClass());
}
