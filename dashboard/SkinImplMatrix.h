// TSkinMatrix: the LED matrix text display bound to a sensor of the host.
//
// The analog sensor when it is not ia0, else the digital one; bound to
// neither, the matrix keeps the text of the skin. Each frame sets Text to
// the decimal text of the sensor's value truncated toward zero as a 64-bit
// integer ("-" before negative numbers, no leading zeros: 5000000000.0
// shows 5000000000, not its low 32 bits), then records the value in the
// sensor's extremes. MonitorOption is stored for skins but shows nothing.
//
// Thread rules: user-interface thread only (creation handler, frame pass).
// Errors: none of its own.
#pragma once

#include <string>

#include "GaugeMatrix.h"
#include "SkinImpl.h"
#include "SkinSensors.h"

// The text a matrix shows for a sensor value: trunc(value) in decimal.
// Values beyond the 64-bit range saturate and NaN gives "0", so every
// value has a text.
std::string MatrixSensorText(float value);

class TSkinMatrix : public TGaugeMatrix, public TSkinComponent, public TSkinSensorPair {
  VELQ_CLASS(TSkinMatrix)
public:
  explicit TSkinMatrix(TComponent* owner);

  TSensorMonitor MonitorOption() const noexcept { return FMonitorOption; }
  void SetMonitorOption(TSensorMonitor value);

  // Registers AnalogSensor unless ia0, then DigitalSensor unless in0.
  void RegisterSensors(TSensorList& sensors) override;
  // Text := MatrixSensorText(v), then the sensor's UpdateExtremes(v).
  void FrameStep() override;
  // "text": the characters shown, in UTF-8 (a character with no
  // Windows-1252 code as U+FFFD).
  void WriteState(TSkinStateWriter& out) const override;

private:
  TSensorMonitor FMonitorOption = TSensorMonitor::_realtime;
};
