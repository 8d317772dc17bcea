#include "SkinImplNum.h"

const TClassInfo& TSkinNum::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSkinNum>("TSkinNum", &TGaugeNum::StaticClass())
          .Enum("AnalogSensor", AnalogSensorNames(), &TSkinNum::AnalogSensor, &TSkinNum::SetAnalogSensor)
          .Enum("DigitalSensor", DigitalSensorNames(), &TSkinNum::DigitalSensor, &TSkinNum::SetDigitalSensor)
          .Enum("MonitorOption", SensorMonitorNames(), &TSkinNum::MonitorOption, &TSkinNum::SetMonitorOption)
          .Creatable()
          .Build();
  return info;
}

TSkinNum::TSkinNum(TComponent* owner) : TGaugeNum(owner) {}

void TSkinNum::RegisterSensors(TSensorList& sensors) { RegisterSensorPair(sensors, ClassName()); }

void TSkinNum::FrameStep() {
  const auto reading = ReadShownSensor();
  if (!reading) return;
  SetValue(SensorInteger(reading->Value));
  reading->Record.UpdateExtremes(reading->Value);
}

void TSkinNum::WriteState(TSkinStateWriter& out) const { out.Integer("value", Value()); }
