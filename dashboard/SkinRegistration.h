// The classes a skin may name, registered for streaming in their fixed order:
// TSkinForm, TSkinBackground, TSkinAngularGauge, TSkinExitButton,
// TSkinCounter, TSkinLed, TSkinProgressBar, TSkinLevelBar, TSkinNum,
// TSkinClock, TSkinMatrix, TSkinLabel.
// Thread rules: call on the user-interface thread (the registry is
// process-wide). Registering again is harmless.
#pragma once

void RegisterSkinClasses();
