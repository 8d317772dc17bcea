#include "SkinImplBars.h"

#include <optional>

#include "DataChannel.h"

namespace {

void RegisterBarSensor(TAnalogSensors sensor, TSensorList& sensors) {
  if (sensor != ia0) sensors.RegisterSensor(sensor);
}

// The frame step of both bars: the integer the bar receives, then the
// sensor's record of the raw value.
void BarFrameStep(TGaugeCustomBar& bar, TAnalogSensors sensor) {
  if (sensor == ia0) return;
  TSensorList* sensors = SensorList();
  if (!sensors) return;
  // The identifier is a lasting string: looking it up allocates nothing.
  const int32_t position = sensors->FindSensorPosition(SensorIdentifier(sensor));
  if (position == 0) return;  // not registered: there is no record to update
  const std::optional<float> value = ReadDataSlot(position);
  if (!value) return;
  bar.SetPosition(SensorInteger(*value));
  sensors->SensorAtPosition(position).UpdateExtremes(*value);
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

void TSkinProgressBar::RegisterSensors(TSensorList& sensors) { RegisterBarSensor(FAnalogSensor, sensors); }

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

void TSkinLevelBar::RegisterSensors(TSensorList& sensors) { RegisterBarSensor(FAnalogSensor, sensors); }

void TSkinLevelBar::FrameStep() { BarFrameStep(*this, FAnalogSensor); }
