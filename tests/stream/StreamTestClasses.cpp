#include "StreamTestClasses.h"

#include "Colors.h"

std::vector<std::string>& SetterLog() {
  static std::vector<std::string> log;
  return log;
}

static const TEnumInfo kSensorNames{"TAnalogSensors", {"ia0", "ia1", "ia2", "ia3"}};
static const TEnumInfo kStyleNames{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline"}};

const TClassInfo& TTestData::StaticClass() {
  static const TClassInfo info = TClassBuilder<TTestData>("TTestData", &TPersistent::StaticClass())
                                     .Binary("Data", &TTestData::Data, &TTestData::SetData)
                                     .Integer("Depth", &TTestData::Depth, &TTestData::SetDepth)
                                     .Build();
  return info;
}

void TTestData::SetData(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 1 && bytes[0] == 0xEE) throw EInvalidGraphic("Image bitmap incorrecte");
  FData.assign(bytes.begin(), bytes.end());
}

void TTestData::SetDepth(int v) {
  FDepth = v;
  SetterLog().push_back("Data.Depth=" + std::to_string(v));
}

const TClassInfo& TTestForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TTestForm>("TTestForm", &TComponent::StaticClass())
                                     .Integer("Width", &TTestForm::Width, &TTestForm::SetWidth)
                                     .Event("OnCreate", "TNotifyEvent", &TTestForm::SetOnCreate)
                                     .Method("FormCreate", &TTestForm::FormCreate)
                                     .Method("FormClose", &TTestForm::FormClose)
                                     .Build();
  return info;
}

void TTestForm::FormCreate(TObject*) { ++FCreated; }
void TTestForm::FormClose(TObject*, int& action) { action = 2; }
void TTestForm::SetWidth(int v) {
  FWidth = v;
  SetterLog().push_back(Name() + ".Width=" + std::to_string(v));
}
void TTestForm::Loaded() {
  TComponent::Loaded();
  ++FLoadedCalls;
  SetterLog().push_back(Name() + ".Loaded");
}

const TClassInfo& TTestGauge::StaticClass() {
  static const TClassInfo info = TClassBuilder<TTestGauge>("TTestGauge", &TComponent::StaticClass())
                                     .Integer("Left", &TTestGauge::Left, &TTestGauge::SetLeft)
                                     .Int64("Big", &TTestGauge::Big, &TTestGauge::SetBig)
                                     .Extended("MaxValue", &TTestGauge::MaxValue, &TTestGauge::SetMaxValue)
                                     .Real("Ratio", &TTestGauge::Ratio, &TTestGauge::SetRatio)
                                     .String("Caption", &TTestGauge::Caption, &TTestGauge::SetCaption)
                                     .Enum("AnalogSensor", kSensorNames, &TTestGauge::Sensor, &TTestGauge::SetSensor)
                                     .Set("Style", kStyleNames, "TFontStyles", &TTestGauge::Style, &TTestGauge::SetStyle)
                                     .Boolean("Visible", &TTestGauge::Visible, &TTestGauge::SetVisible)
                                     .Color("Color", &TTestGauge::Color, &TTestGauge::SetColor)
                                     .Object("Glyph", &TTestGauge::Glyph)
                                     .Event("OnClick", "TNotifyEvent", &TTestGauge::SetOnClick)
                                     .Event("OnClose", "TCloseEvent", &TTestGauge::SetOnClose)
                                     .Integer("Version", &TTestGauge::Version, nullptr)
                                     .Creatable()
                                     .Build();
  return info;
}

void TTestGauge::SetLeft(int v) {
  FLeft = v;
  SetterLog().push_back(Name() + ".Left=" + std::to_string(v));
}

void TTestGauge::SetMaxValue(long double v) {
  // Like a widget's range check: refuses a maximum below the minimum, except
  // while loading.
  if (v < 0 && !ComponentState().Contains(csLoading)) throw Exception("Value out of range.");
  FMaxValue = v;
  SetterLog().push_back(Name() + ".MaxValue");
}

void TTestGauge::Loaded() {
  TComponent::Loaded();
  ++FLoadedCalls;
  SetterLog().push_back(Name() + ".Loaded");
}

void RegisterTestClasses() { RegisterClass(TTestGauge::StaticClass()); }
