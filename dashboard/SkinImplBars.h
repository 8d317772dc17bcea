// TSkinProgressBar and TSkinLevelBar: the two bar widgets bound to one analog
// sensor of the host.
//
// A skin names the sensor (AnalogSensor, ia0 = none). The skin window's
// creation handler registers it; each frame then sets the bar's Position to
// the sensor's value truncated toward zero (7.99 gives 7, -7.99 gives -7;
// of values beyond 32 bits the low 32 bits are taken), unscaled - the bar
// clamps it into MinValue..MaxValue - and records the value in the sensor's
// own extremes. DigitalSensor is part of the skin vocabulary and stored, but
// never registered or read.
//
// Thread rules: user-interface thread only (creation handler, frame pass).
// Errors: none of their own. A frame whose slot is absent (no sensor list,
// sensor not registered, no block, block too short) leaves the bar as it is.
#pragma once

#include "../gauges/GaugeLevelBar.h"
#include "../gauges/GaugeProgressBar.h"
#include "SkinImpl.h"
#include "SkinSensors.h"

// The binding both bars share: the sensor properties, registration and the
// frame step (Position := trunc(v), then the sensor's UpdateExtremes(v)).
template <class TBar>
class TSkinBar : public TBar, public TSkinComponent {
public:
  using TBar::TBar;

  // The bound sensor; ia0 binds nothing.
  TAnalogSensors AnalogSensor() const noexcept { return FAnalogSensor; }
  void SetAnalogSensor(TAnalogSensors value) { FAnalogSensor = value; }
  // Stored only; never registered, never read.
  TDigitalSensors DigitalSensor() const noexcept { return FDigitalSensor; }
  void SetDigitalSensor(TDigitalSensors value) { FDigitalSensor = value; }

  void RegisterSensors(TSensorList& sensors) override {
    RegisterBoundSensors(sensors, SkinClassSensorBinding(this->ClassName()), FAnalogSensor, FDigitalSensor,
                         TLabelType::_text);
  }
  void FrameStep() override {
    const auto reading = ReadSensor(FAnalogSensor);
    if (!reading) return;
    this->SetPosition(SensorInteger(reading->Value));
    reading->Record.UpdateExtremes(reading->Value);
  }
  // "position": what Position holds.
  void WriteState(TSkinStateWriter& out) const override { out.Integer("position", this->Position()); }

private:
  TAnalogSensors FAnalogSensor = ia0;
  TDigitalSensors FDigitalSensor = in0;
};

class TSkinProgressBar : public TSkinBar<TGaugeProgressBar> {
  VELQ_CLASS(TSkinProgressBar)
public:
  using TSkinBar::TSkinBar;
};

class TSkinLevelBar : public TSkinBar<TGaugeLevelBar> {
  VELQ_CLASS(TSkinLevelBar)
public:
  using TSkinBar::TSkinBar;
};
