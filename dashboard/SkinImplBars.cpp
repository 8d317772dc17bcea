#include "SkinImplBars.h"

#include <optional>

#include "DataChannel.h"

namespace {

// The frame step of both bars: the integer the bar receives, then the
// sensor's record of the raw value.
void BarFrameStep(TGaugeCustomBar& bar, TAnalogSensors sensor) {
  const auto reading = ReadSensor(sensor);
  if (!reading) return;
  bar.SetPosition(SensorInteger(reading->Value));
  reading->Record.UpdateExtremes(reading->Value);
}

}  // namespace

// ---- TSkinProgressBar ----------------------------------------------------------------------

const TClassInfo& TSkinProgressBar::StaticClass() {
  using P = TSkinProgressBar;
  static const TClassInfo info = TClassBuilder<P>("TSkinProgressBar", &TGaugeProgressBar::StaticClass())
                                     .Enum("AnalogSensor", AnalogSensorNames(), &P::AnalogSensor, &P::SetAnalogSensor)
                                     .Enum("DigitalSensor", DigitalSensorNames(), &P::DigitalSensor, &P::SetDigitalSensor)
                                     .Creatable()
                                     .Build();
  return info;
}

TSkinProgressBar::TSkinProgressBar(TComponent* owner) : TGaugeProgressBar(owner) {}

void TSkinProgressBar::SetAnalogSensor(TAnalogSensors value) {
  if (value != FAnalogSensor) FAnalogSensor = value;
}

void TSkinProgressBar::SetDigitalSensor(TDigitalSensors value) {
  if (value != FDigitalSensor) FDigitalSensor = value;
}

void TSkinProgressBar::RegisterSensors(TSensorList& sensors) { sensors.RegisterSensor(FAnalogSensor); }

void TSkinProgressBar::FrameStep() { BarFrameStep(*this, FAnalogSensor); }

// ---- TSkinLevelBar -------------------------------------------------------------------------

const TClassInfo& TSkinLevelBar::StaticClass() {
  using L = TSkinLevelBar;
  static const TClassInfo info = TClassBuilder<L>("TSkinLevelBar", &TGaugeLevelBar::StaticClass())
                                     .Enum("AnalogSensor", AnalogSensorNames(), &L::AnalogSensor, &L::SetAnalogSensor)
                                     .Enum("DigitalSensor", DigitalSensorNames(), &L::DigitalSensor, &L::SetDigitalSensor)
                                     .Creatable()
                                     .Build();
  return info;
}

TSkinLevelBar::TSkinLevelBar(TComponent* owner) : TGaugeLevelBar(owner) {}

void TSkinLevelBar::SetAnalogSensor(TAnalogSensors value) {
  if (value != FAnalogSensor) FAnalogSensor = value;
}

void TSkinLevelBar::SetDigitalSensor(TDigitalSensors value) {
  if (value != FDigitalSensor) FDigitalSensor = value;
}

void TSkinLevelBar::RegisterSensors(TSensorList& sensors) { sensors.RegisterSensor(FAnalogSensor); }

void TSkinLevelBar::FrameStep() { BarFrameStep(*this, FAnalogSensor); }
