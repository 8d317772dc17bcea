// TSkinLed: the indicator lamp bound to a sensor of the host, lit by
// thresholds.
//
// A skin names an analog and/or a digital sensor (AnalogSensor, ia0 = none;
// DigitalSensor, in0 = none), a custom lamp strip (GlyphsFile, relative to
// "Skin/") and two thresholds. The skin window's creation handler loads the
// strip into Glyphs, then registers the analog sensor and the digital one
// (both take a slot when both are set). Each frame reads the analog sensor
// when one is set, else the digital one, and sets Active from the value
// (LedActiveFor); the sensor's extremes are left alone.
//
// Thresholds: with ls2 a value below TriggerValue1 gives la1, any other
// la2. With ls3 a value below TriggerValue1 gives la1, from TriggerValue1 up
// to below TriggerValue2 la2, from TriggerValue2 up la3. The skin reader
// keeps the pair ordered for ls3: a TriggerValue2 below TriggerValue1 that
// arrives while States is ls3 swaps roles with it (States ls3, then
// TriggerValue1 50, then TriggerValue2 30 gives 30 and 50). A lamp set to
// ls3 only after its thresholds were read may keep them reversed; then a
// value from TriggerValue2 up to below TriggerValue1 gives la3.
//
// Thread rules: user-interface thread only (creation handler, frame pass).
// Errors: CreationStep raises the strip file's loading error: EFOpenError
// ("Impossible d'ouvrir le fichier "%s". %s"), also for an empty GlyphsFile,
// which names the directory "Skin/" itself, or EInvalidGraphic ("Image
// bitmap incorrecte"); the creation handler stops there, before this lamp's
// sensors are registered. FrameStep raises nothing of its own.
#pragma once

#include <string>

#include "GaugeLed.h"
#include "SkinImpl.h"
#include "SkinSensors.h"

// The cell a value lights: the threshold tests in their order, each
// assigning when it holds. A value for which none holds (NaN) keeps
// `current`.
TGaugeLedActive LedActiveFor(float value, float trigger1, float trigger2, TGaugeLedState states,
                             TGaugeLedActive current) noexcept;

// The name of a cell as tools report it ("la1", "la2", "la3").
const std::string& LedActiveName(TGaugeLedActive active);

class TSkinLed : public TGaugeLed, public TSkinComponent, public TSkinSensorPair {
  VELQ_CLASS(TSkinLed)
public:
  explicit TSkinLed(TComponent* owner);

  // The strip's file, "Skin/" + this value; read by the creation step only.
  const std::string& GlyphsFile() const noexcept { return FGlyphsFile; }
  void SetGlyphsFile(const std::string& value);
  float TriggerValue1() const noexcept { return FTriggerValue1; }
  void SetTriggerValue1(float value);
  // Assigned when at least TriggerValue1 or when States is not ls3;
  // otherwise the two swap roles (see the header comment).
  float TriggerValue2() const noexcept { return FTriggerValue2; }
  void SetTriggerValue2(float value);

  // Loads "Skin/" + GlyphsFile into Glyphs, then registers the sensors.
  void CreationStep(TSensorList& sensors) override;
  // AnalogSensor unless ia0, then DigitalSensor unless in0.
  void RegisterSensors(TSensorList& sensors) override;
  // Active := LedActiveFor(v); a lamp bound to nothing, or whose slot is
  // absent, is left as it is.
  void FrameStep() override;
  // active: "la1", "la2" or "la3".
  void WriteState(TSkinStateWriter& out) const override;

private:
  std::string FGlyphsFile;
  float FTriggerValue1 = 0.0f;
  float FTriggerValue2 = 0.0f;
};
