#include "SkinImplLabel.h"

#include <algorithm>
#include <charconv>
#include <cmath>

// ---- number format -----------------------------------------------------------------------

std::string LabelNumberText(double value, int32_t precision, std::string_view separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  const int decimals = std::clamp<int32_t>(precision, 0, kLabelMaxPrecision);

  // At most 4 significant digits and at most `decimals` decimals.
  const TDecimalRounding rounded = RoundDecimal(std::fabs(value), decimals, 4);
  const std::string_view digits = rounded.Digits;
  const int integerDigits = static_cast<int>(digits.size()) + rounded.Scale;
  if (digits.empty() || integerDigits <= 4) return FixedText(rounded, value < 0, decimals, separator);

  // Exponent form: the first digit, the other significant digits after the
  // separator, "E" and the exponent padded to `decimals` digits (1 to 4).
  std::string text;
  text.reserve(32);
  if (value < 0) text.push_back('-');
  std::string_view significant = digits;
  while (significant.size() > 1 && significant.back() == '0') significant.remove_suffix(1);
  text.push_back(significant[0]);
  if (significant.size() > 1) {
    text.append(separator);
    text.append(significant.substr(1));
  }
  text.push_back('E');
  const int exponent = integerDigits - 1;
  char exponentBuffer[8];
  const auto end = std::to_chars(exponentBuffer, exponentBuffer + sizeof exponentBuffer, exponent);
  const int exponentDigits = static_cast<int>(end.ptr - exponentBuffer);
  if (decimals >= 1 && decimals <= 4) text.append(static_cast<size_t>(std::max(decimals - exponentDigits, 0)), '0');
  text.append(exponentBuffer, end.ptr);
  return text;
}

// ---- TSkinLabel --------------------------------------------------------------------------

const TClassInfo& TSkinLabel::StaticClass() {
  using L = TSkinLabel;
  static const TClassInfo info =
      TClassBuilder<L>("TSkinLabel", &TGaugeLabel::StaticClass())
          .Enum("AnalogSensor", AnalogSensorNames(), &L::AnalogSensor, &L::SetAnalogSensor)
          .Enum("DigitalSensor", DigitalSensorNames(), &L::DigitalSensor, &L::SetDigitalSensor)
          .Enum("SensorMonitor", SensorMonitorNames(), &L::SensorMonitor, &L::SetSensorMonitor)
          .Enum("LabelType", LabelTypeNames(), &L::LabelType, &L::SetLabelType)
          .Integer("SensorPrecision", &L::SensorPrecision, &L::SetSensorPrecision)
          .Creatable()
          .Build();
  return info;
}

TSkinLabel::TSkinLabel(TComponent* owner) : TGaugeLabel(owner) {}


void TSkinLabel::SetSensorMonitor(TSensorMonitor value) {
  if (value != FSensorMonitor) FSensorMonitor = value;
}

void TSkinLabel::SetLabelType(TLabelType value) {
  if (value != FLabelType) FLabelType = value;
}

void TSkinLabel::SetSensorPrecision(int32_t value) {
  if (value != FSensorPrecision) FSensorPrecision = value;
}

const std::string* TSkinLabel::ShownSensor() const noexcept {
  if (FLabelType != TLabelType::_sensor) return nullptr;
  return TSkinSensorPair::ShownSensor();
}

void TSkinLabel::RegisterSensors(TSensorList& sensors) {
  RegisterSensorPair(sensors, ClassName(), FLabelType);
}

void TSkinLabel::FrameStep() {
  const std::string* sensor = ShownSensor();
  if (!sensor) return;
  const auto reading = ReadSensor(*sensor);
  if (!reading) return;
  reading->Record.UpdateExtremes(reading->Value);
  float shown = reading->Value;
  if (FSensorMonitor == TSensorMonitor::_min) shown = reading->Record.Minimum();
  else if (FSensorMonitor == TSensorMonitor::_max) shown = reading->Record.Maximum();
  SetCaption(LabelNumberText(shown, FSensorPrecision, UserDecimalSeparator()));
}

void TSkinLabel::WriteState(TSkinStateWriter& out) const { out.Text("caption", Caption()); }
