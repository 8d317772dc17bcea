// TSkinNum: the number display bound to a sensor of the host.
//
// The analog sensor when it is not ia0, else the digital one; bound to
// neither, the display keeps what it shows. Each frame hands it the
// sensor's value truncated toward zero (the low 32 bits of the 64-bit
// integer; the display clamps to its range) and records the value in the
// sensor's extremes. MonitorOption is stored for skins but shows nothing.
//
// Thread rules: user-interface thread only (creation handler, frame pass).
// Errors: none of its own.
#pragma once

#include "GaugeNum.h"
#include "SkinImpl.h"
#include "SkinSensors.h"

class TSkinNum : public TGaugeNum, public TSkinComponent, public TSkinSensorPair {
  VELQ_CLASS(TSkinNum)
public:
  explicit TSkinNum(TComponent* owner);

  TSensorMonitor MonitorOption() const noexcept { return FMonitorOption; }
  void SetMonitorOption(TSensorMonitor value) { FMonitorOption = value; }

  // Registers AnalogSensor unless ia0, then DigitalSensor unless in0.
  void RegisterSensors(TSensorList& sensors) override;
  // Value := SensorInteger(v), then the sensor's UpdateExtremes(v).
  void FrameStep() override;
  // "value": what Value holds.
  void WriteState(TSkinStateWriter& out) const override;

private:
  TSensorMonitor FMonitorOption = TSensorMonitor::_realtime;
};
