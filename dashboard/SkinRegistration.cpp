#include "SkinRegistration.h"

#include "SkinImpl.h"
#include "TypInfo.h"

// The one list of the twelve skin classes. A class is added here, at its
// place in the order, when its widget exists; until then the reader answers
// "Classe %s non trouvée" for it.
void RegisterSkinClasses() {
  RegisterClass(TSkinForm::StaticClass());
  RegisterClass(TSkinBackground::StaticClass());
  // Still to come, in this order: TSkinAngularGauge, TSkinExitButton,
  // TSkinCounter, TSkinLed, TSkinProgressBar, TSkinLevelBar, TSkinNum,
  // TSkinClock, TSkinMatrix, TSkinLabel.
}
