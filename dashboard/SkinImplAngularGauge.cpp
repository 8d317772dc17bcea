#include "SkinImplAngularGauge.h"

#include <optional>

#include "DataChannel.h"

const TClassInfo& TSkinAngularGauge::StaticClass() {
  using G = TSkinAngularGauge;
  // SensorMinValue and SensorMaxValue are 32-bit floats in skins; the
  // property system carries every real as a 64-bit one, and the setters
  // narrow them back.
  static const TClassInfo info =
      TClassBuilder<G>("TSkinAngularGauge", &TGaugeAngularMeter::StaticClass())
          .Enum("AnalogSensor", AnalogSensorNames(), &G::AnalogSensor, &G::SetAnalogSensor)
          .Enum("DigitalSensor", DigitalSensorNames(), &G::DigitalSensor, &G::SetDigitalSensor)
          .Real("SensorMinValue", &G::SensorMinValue, &G::SetSensorMinValue)
          .Real("SensorMaxValue", &G::SensorMaxValue, &G::SetSensorMaxValue)
          .Creatable()
          .Build();
  return info;
}

TSkinAngularGauge::TSkinAngularGauge(TComponent* owner)
    : TGaugeAngularMeter(owner),
      FSensorMinValue(static_cast<float>(MaxValue())),
      FSensorMaxValue(static_cast<float>(MinValue())) {}

void TSkinAngularGauge::SetAnalogSensor(TAnalogSensors value) {
  if (value != FAnalogSensor) FAnalogSensor = value;
}

void TSkinAngularGauge::SetDigitalSensor(TDigitalSensors value) {
  if (value != FDigitalSensor) FDigitalSensor = value;
}

void TSkinAngularGauge::SetSensorMinValue(float value) {
  if (value < FSensorMinValue) FSensorMinValue = value;
}

void TSkinAngularGauge::SetSensorMaxValue(float value) {
  if (value > FSensorMaxValue) FSensorMaxValue = value;
}

void TSkinAngularGauge::RegisterSensors(TSensorList& sensors) {
  RegisterBoundSensors(sensors, SkinClassSensorBinding(ClassName()), FAnalogSensor, in0, TLabelType::_text);
}

void TSkinAngularGauge::FrameStep() {
  const auto reading = ReadSensor(FAnalogSensor);
  if (!reading) return;
  // The needle takes the value unscaled and untruncated.
  SetPosition(static_cast<double>(reading->Value));
  reading->Record.UpdateExtremes(reading->Value);
}
