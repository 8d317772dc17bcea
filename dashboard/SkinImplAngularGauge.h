// TSkinAngularGauge: the needle gauge bound to one analog sensor of the host.
//
// A skin names the sensor (AnalogSensor, ia0 = none). The skin window's
// creation handler registers it; each frame then sets the needle's Position
// to the sensor's value widened to a 64-bit float, unscaled (the meter
// clamps it into [MinValue, MaxValue]), and records the value in the
// sensor's own extremes.
//
// DigitalSensor, SensorMinValue and SensorMaxValue are part of the skin
// vocabulary and stored, but nothing reads or displays them: the digital
// sensor is never registered, and the two extremes change only when a skin
// sets them, and only in the direction they move (see the setters). They
// start inverted (minimum 100, maximum 0: the meter's MaxValue and MinValue
// at construction), so a skin's first write of either takes effect unless
// it lies beyond the other end.
//
// Thread rules: user-interface thread only (creation handler, frame pass).
// Errors: none of its own. A frame whose slot is absent (no sensor list, no
// block, block too short) leaves the gauge as it is.
#pragma once

#include "../gauges/GaugeAngularMeter.h"
#include "SkinImpl.h"
#include "SkinSensors.h"

class TSkinAngularGauge : public TGaugeAngularMeter, public TSkinComponent {
  VELQ_CLASS(TSkinAngularGauge)
public:
  // The meter's values, with SensorMinValue = MaxValue and SensorMaxValue =
  // MinValue.
  explicit TSkinAngularGauge(TComponent* owner);

  // The bound sensor; ia0 binds nothing. Assigned when different, no other
  // effect (bindings are made once, by the creation handler).
  TAnalogSensors AnalogSensor() const noexcept { return FAnalogSensor; }
  void SetAnalogSensor(TAnalogSensors value);
  // Stored only; never registered, never read.
  TDigitalSensors DigitalSensor() const noexcept { return FDigitalSensor; }
  void SetDigitalSensor(TDigitalSensors value);
  // A write only takes effect when it is below the current value.
  float SensorMinValue() const noexcept { return FSensorMinValue; }
  void SetSensorMinValue(float value);
  // A write only takes effect when it is above the current value.
  float SensorMaxValue() const noexcept { return FSensorMaxValue; }
  void SetSensorMaxValue(float value);

  // Registers AnalogSensor unless it is ia0 (the default creation step does
  // nothing else).
  void RegisterSensors(TSensorList& sensors) override;
  // Position := v as a 64-bit float, then the sensor's UpdateExtremes(v), v
  // being the sensor's slot in this frame.
  void FrameStep() override;
  // "position": where the needle stands.
  void WriteState(TSkinStateWriter& out) const override { out.Number("position", Position()); }

private:
  TAnalogSensors FAnalogSensor = ia0;
  TDigitalSensors FDigitalSensor = in0;
  float FSensorMinValue = 0.0f;
  float FSensorMaxValue = 0.0f;
};
