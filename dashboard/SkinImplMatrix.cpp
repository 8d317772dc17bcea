#include "SkinImplMatrix.h"

#include <charconv>
#include <cstdint>

std::string MatrixSensorText(float value) {
  int64_t whole = 0;
  // 2^63 is exactly representable as a float; anything at or beyond it
  // does not fit and saturates.
  if (value >= 9.2233720368547758e18f) whole = INT64_MAX;
  else if (value <= -9.2233720368547758e18f) whole = INT64_MIN;
  else if (value == value) whole = static_cast<int64_t>(value);  // truncates toward zero; NaN stays 0
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, whole);
  return std::string(buffer, result.ptr);
}

const TClassInfo& TSkinMatrix::StaticClass() {
  using M = TSkinMatrix;
  static const TClassInfo info =
      TClassBuilder<M>("TSkinMatrix", &TGaugeMatrix::StaticClass())
          .Enum("AnalogSensor", AnalogSensorNames(), &M::AnalogSensor, &M::SetAnalogSensor)
          .Enum("DigitalSensor", DigitalSensorNames(), &M::DigitalSensor, &M::SetDigitalSensor)
          .Enum("MonitorOption", SensorMonitorNames(), &M::MonitorOption, &M::SetMonitorOption)
          .Creatable()
          .Build();
  return info;
}

TSkinMatrix::TSkinMatrix(TComponent* owner) : TGaugeMatrix(owner) {}


void TSkinMatrix::SetMonitorOption(TSensorMonitor value) {
  if (value != FMonitorOption) FMonitorOption = value;
}

void TSkinMatrix::RegisterSensors(TSensorList& sensors) {
  RegisterSensorPair(sensors, ClassName());
}

void TSkinMatrix::FrameStep() {
  const auto reading = ReadShownSensor();
  if (!reading) return;
  SetText(MatrixSensorText(reading->Value));
  reading->Record.UpdateExtremes(reading->Value);
}

void TSkinMatrix::WriteState(TSkinStateWriter& out) const { out.Text("text", ShownText()); }
