// TSkinCounter: the digit counter bound to one analog sensor of the host.
//
// A skin names the sensor (AnalogSensor, ia0 = none) and the digit strip
// (BitmapFile, relative to "Skin/"). The skin window's creation handler
// loads the strip into the counter's Bitmap and registers the sensor; each
// frame then hands the counter the sensor's value truncated toward zero
// (its low 32 bits; the counter clamps negatives to 0) and records it in
// SensorMinValue / SensorMaxValue and in the sensor's own extremes. Nothing
// displays the counter's extremes; skins may set them, but only in the
// direction they move (see the setters).
//
// Thread rules: user-interface thread only (creation handler, frame pass).
// Errors: CreationStep raises the file's loading error: EFOpenError
// ("Impossible d'ouvrir le fichier "%s". %s"), also for an empty BitmapFile,
// which names the directory "Skin/" itself, or EInvalidGraphic ("Image
// bitmap incorrecte"); the creation handler stops there. FrameStep raises
// nothing of its own.
#pragma once

#include <cstdint>
#include <string>

#include "GaugeCounter.h"
#include "SkinImpl.h"
#include "SkinSensors.h"

class TSkinCounter : public TGaugeCounter, public TSkinComponent {
  VELQ_CLASS(TSkinCounter)
public:
  explicit TSkinCounter(TComponent* owner);

  // The bound sensor; ia0 binds nothing. Assigned when different, no other
  // effect (bindings are made once, by the creation handler).
  TAnalogSensors AnalogSensor() const noexcept { return FAnalogSensor; }
  void SetAnalogSensor(TAnalogSensors value);
  // The strip's file, "Skin/" + this value; read by the creation step only.
  const std::string& BitmapFile() const noexcept { return FBitmapFile; }
  void SetBitmapFile(const std::string& value);
  // Lowest value seen: a write only takes effect when it is below the
  // current value (so a skin's SensorMinValue = 50 leaves the initial 0).
  int32_t SensorMinValue() const noexcept { return FSensorMinValue; }
  void SetSensorMinValue(int32_t value);
  // Highest value seen: a write only takes effect when it is above the
  // current value.
  int32_t SensorMaxValue() const noexcept { return FSensorMaxValue; }
  void SetSensorMaxValue(int32_t value);

  // Records a frame's value: a value above SensorMaxValue raises it;
  // otherwise a value below SensorMinValue lowers it.
  void TrackValue(int32_t value);

  // Loads "Skin/" + BitmapFile into Bitmap, then registers the sensor.
  void CreationStep(TSensorList& sensors) override;
  // Registers AnalogSensor unless it is ia0.
  void RegisterSensors(TSensorList& sensors) override;
  // Value := trunc(v); TrackValue(trunc(v)); the sensor's UpdateExtremes(v),
  // v being the sensor's slot in this frame. A counter bound to nothing, or
  // whose slot is absent (no list, no block, block too short), is left as
  // it is.
  void FrameStep() override;
  // "value": what Value holds.
  void WriteState(TSkinStateWriter& out) const override { out.Integer("value", Value()); }

private:
  TAnalogSensors FAnalogSensor = ia0;
  std::string FBitmapFile;
  int32_t FSensorMinValue = 0;
  int32_t FSensorMaxValue = 0;
};
