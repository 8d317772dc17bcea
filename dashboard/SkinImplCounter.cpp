#include "SkinImplCounter.h"

#include "DataChannel.h"

const TClassInfo& TSkinCounter::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSkinCounter>("TSkinCounter", &TGaugeCounter::StaticClass())
          .Enum("AnalogSensor", AnalogSensorNames(), &TSkinCounter::AnalogSensor, &TSkinCounter::SetAnalogSensor)
          .String("BitmapFile", &TSkinCounter::BitmapFile, &TSkinCounter::SetBitmapFile)
          .Integer("SensorMinValue", &TSkinCounter::SensorMinValue, &TSkinCounter::SetSensorMinValue)
          .Integer("SensorMaxValue", &TSkinCounter::SensorMaxValue, &TSkinCounter::SetSensorMaxValue)
          .Creatable()
          .Build();
  return info;
}

TSkinCounter::TSkinCounter(TComponent* owner) : TGaugeCounter(owner) {}

void TSkinCounter::SetAnalogSensor(TAnalogSensors value) {
  if (value != FAnalogSensor) FAnalogSensor = value;
}

void TSkinCounter::SetBitmapFile(const std::string& value) {
  if (value != FBitmapFile) FBitmapFile = value;
}

void TSkinCounter::SetSensorMinValue(int32_t value) {
  if (value < FSensorMinValue) FSensorMinValue = value;
}

void TSkinCounter::SetSensorMaxValue(int32_t value) {
  if (value > FSensorMaxValue) FSensorMaxValue = value;
}

void TSkinCounter::TrackValue(int32_t value) {
  if (value > FSensorMaxValue) SetSensorMaxValue(value);
  else if (value < FSensorMinValue) SetSensorMinValue(value);
}

void TSkinCounter::CreationStep(TSensorList& sensors) {
  // A failed load leaves the strip as it was and stops the creation
  // handler before this counter's sensor is registered.
  Bitmap()->LoadFromFile(SkinFilePath(FBitmapFile));
  RegisterSensors(sensors);
}

void TSkinCounter::RegisterSensors(TSensorList& sensors) {
  RegisterBoundSensors(sensors, SkinClassSensorBinding(ClassName()), FAnalogSensor, in0, TLabelType::_text);
}

void TSkinCounter::FrameStep() {
  const auto reading = ReadSensor(FAnalogSensor);
  if (!reading) return;
  const int32_t whole = SensorInteger(reading->Value);
  SetValue(whole);
  TrackValue(whole);
  reading->Record.UpdateExtremes(reading->Value);
}
