#include "SkinImplBars.h"

const TClassInfo& TSkinProgressBar::StaticClass() {
  using P = TSkinProgressBar;
  static const TClassInfo info = TClassBuilder<P>("TSkinProgressBar", &TGaugeProgressBar::StaticClass())
                                     .Enum("AnalogSensor", AnalogSensorNames(), &P::AnalogSensor, &P::SetAnalogSensor)
                                     .Enum("DigitalSensor", DigitalSensorNames(), &P::DigitalSensor, &P::SetDigitalSensor)
                                     .Creatable()
                                     .Build();
  return info;
}

const TClassInfo& TSkinLevelBar::StaticClass() {
  using L = TSkinLevelBar;
  static const TClassInfo info = TClassBuilder<L>("TSkinLevelBar", &TGaugeLevelBar::StaticClass())
                                     .Enum("AnalogSensor", AnalogSensorNames(), &L::AnalogSensor, &L::SetAnalogSensor)
                                     .Enum("DigitalSensor", DigitalSensorNames(), &L::DigitalSensor, &L::SetDigitalSensor)
                                     .Creatable()
                                     .Build();
  return info;
}
