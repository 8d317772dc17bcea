#include "SkinImplLed.h"

#include <array>

TGaugeLedActive LedActiveFor(float value, float trigger1, float trigger2, TGaugeLedState states,
                             TGaugeLedActive current) noexcept {
  TGaugeLedActive active = current;
  if (states == TGaugeLedState::ls2) {
    if (value < trigger1) active = TGaugeLedActive::la1;
    if (value >= trigger1) active = TGaugeLedActive::la2;
    return active;
  }
  // Not an if-else chain: with reversed thresholds (trigger2 < trigger1) a
  // value between them passes the first and the third test, and the third
  // wins.
  if (value < trigger1) active = TGaugeLedActive::la1;
  if (trigger1 <= value && value < trigger2) active = TGaugeLedActive::la2;
  if (value >= trigger2) active = TGaugeLedActive::la3;
  return active;
}

const std::string& LedActiveName(TGaugeLedActive active) {
  static const std::array<std::string, 3> names{"la1", "la2", "la3"};
  const auto index = static_cast<std::size_t>(active);
  // An ordinal beyond the enumeration (never stored by the lamp) reads as
  // the last cell rather than outside the table.
  return names[index < names.size() ? index : names.size() - 1];
}

const TClassInfo& TSkinLed::StaticClass() {
  using L = TSkinLed;
  static const TClassInfo info =
      TClassBuilder<L>("TSkinLed", &TGaugeLed::StaticClass())
          .Enum("AnalogSensor", AnalogSensorNames(), &L::AnalogSensor, &L::SetAnalogSensor)
          .Enum("DigitalSensor", DigitalSensorNames(), &L::DigitalSensor, &L::SetDigitalSensor)
          .String("GlyphsFile", &L::GlyphsFile, &L::SetGlyphsFile)
          .Real("TriggerValue1", &L::TriggerValue1, &L::SetTriggerValue1)
          .Real("TriggerValue2", &L::TriggerValue2, &L::SetTriggerValue2)
          .Creatable()
          .Build();
  return info;
}

TSkinLed::TSkinLed(TComponent* owner) : TGaugeLed(owner) {}


void TSkinLed::SetGlyphsFile(const std::string& value) {
  if (value != FGlyphsFile) FGlyphsFile = value;
}

void TSkinLed::SetTriggerValue1(float value) {
  if (value != FTriggerValue1) FTriggerValue1 = value;
}

void TSkinLed::SetTriggerValue2(float value) {
  if (value == FTriggerValue2) return;
  if (value >= FTriggerValue1 || States() != TGaugeLedState::ls3) {
    FTriggerValue2 = value;
    return;
  }
  // Below the first threshold of a three-state lamp: the new value becomes
  // the lower threshold and the old lower one the upper.
  FTriggerValue2 = FTriggerValue1;
  FTriggerValue1 = value;
}

void TSkinLed::CreationStep(TSensorList& sensors) {
  // A failed load stops the creation handler before the sensors.
  Glyphs()->LoadFromFile(SkinFilePath(FGlyphsFile));
  RegisterSensors(sensors);
}

void TSkinLed::RegisterSensors(TSensorList& sensors) {
  RegisterSensorPair(sensors, ClassName());
}

void TSkinLed::FrameStep() {
  const auto reading = ReadShownSensor();
  if (!reading) return;
  SetActive(LedActiveFor(reading->Value, FTriggerValue1, FTriggerValue2, States(), Active()));
}

void TSkinLed::WriteState(TSkinStateWriter& out) const { out.Text("active", LedActiveName(Active())); }
