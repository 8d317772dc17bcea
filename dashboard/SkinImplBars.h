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

class TSkinProgressBar : public TGaugeProgressBar, public TSkinComponent {
  VELQ_CLASS(TSkinProgressBar)
public:
  explicit TSkinProgressBar(TComponent* owner);

  // The bound sensor; ia0 binds nothing. A plain store (bindings are made
  // once, by the creation handler).
  TAnalogSensors AnalogSensor() const noexcept { return FAnalogSensor; }
  void SetAnalogSensor(TAnalogSensors value);
  // Stored only; never registered, never read.
  TDigitalSensors DigitalSensor() const noexcept { return FDigitalSensor; }
  void SetDigitalSensor(TDigitalSensors value);

  // Registers AnalogSensor unless it is ia0.
  void RegisterSensors(TSensorList& sensors) override;
  // Position := trunc(v), then the sensor's UpdateExtremes(v), v being the
  // sensor's slot in this frame.
  void FrameStep() override;

private:
  TAnalogSensors FAnalogSensor = ia0;
  TDigitalSensors FDigitalSensor = in0;
};

class TSkinLevelBar : public TGaugeLevelBar, public TSkinComponent {
  VELQ_CLASS(TSkinLevelBar)
public:
  explicit TSkinLevelBar(TComponent* owner);

  // As TSkinProgressBar.
  TAnalogSensors AnalogSensor() const noexcept { return FAnalogSensor; }
  void SetAnalogSensor(TAnalogSensors value);
  TDigitalSensors DigitalSensor() const noexcept { return FDigitalSensor; }
  void SetDigitalSensor(TDigitalSensors value);

  void RegisterSensors(TSensorList& sensors) override;
  void FrameStep() override;

private:
  TAnalogSensors FAnalogSensor = ia0;
  TDigitalSensors FDigitalSensor = in0;
};
