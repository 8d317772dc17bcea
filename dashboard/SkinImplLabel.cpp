#include "SkinImplLabel.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

// ---- number format -----------------------------------------------------------------------

namespace {
// Digits after the point of the scientific form that make it the exact
// decimal expansion of any double (the longest, of the smallest subnormal,
// has 767 significant digits after the first).
constexpr int kExactDigits = 767;

// A finite, non-negative double as its exact decimal expansion: significant
// digits d0 d1 d2 ... (value = d0.d1d2... x 10^exponent).
struct TExactDecimal {
  std::array<char, kExactDigits + 32> Text{};  // "d.ddd...e+XX"
  int Length = 0;                               // of the digits and the point, up to the 'e'
  int Exponent = 0;
  // Significant digit k (0 beyond the expansion).
  int Digit(int k) const noexcept {
    if (k < 0) return 0;
    const int at = k == 0 ? 0 : k + 1;  // skips the point
    return at < Length ? Text[static_cast<size_t>(at)] - '0' : 0;
  }
};

TExactDecimal ExactDecimal(double magnitude) {
  TExactDecimal d;
  const auto result = std::to_chars(d.Text.data(), d.Text.data() + d.Text.size(), magnitude,
                                    std::chars_format::scientific, kExactDigits);
  const char* e = std::find(d.Text.data(), result.ptr, 'e');
  d.Length = static_cast<int>(e - d.Text.data());
  std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), result.ptr, d.Exponent);
  return d;
}

void AppendZeros(std::string& text, int count) {
  if (count > 0) text.append(static_cast<size_t>(count), '0');
}
}  // namespace

std::string LabelNumberText(double value, int32_t precision, std::string_view separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  const int decimals = std::clamp<int32_t>(precision, 0, kLabelMaxPrecision);

  // Round to at most 4 significant digits and at most `decimals` decimals:
  // keep the digits down to 10^-decimals (at most four of them), and round
  // the magnitude up when the first dropped digit is 5 or more - on the
  // exact expansion that is "half away from zero".
  const TExactDecimal exact = ExactDecimal(std::fabs(value));
  const bool zero = value == 0.0;
  const int keep = zero ? 0 : std::min(4, exact.Exponent + decimals + 1);
  int64_t mantissa = 0;  // the kept digits, rounded
  for (int k = 0; k < keep; ++k) mantissa = mantissa * 10 + exact.Digit(k);
  if (!zero && keep >= 0 && exact.Digit(keep) >= 5) ++mantissa;
  // The rounded magnitude is mantissa x 10^scale; scale >= -decimals.
  const int scale = zero ? 0 : exact.Exponent - keep + 1;

  std::string text;
  text.reserve(32);
  if (mantissa == 0) {
    text.push_back('0');
    if (decimals > 0) {
      text.append(separator);
      AppendZeros(text, decimals);
    }
    return text;
  }
  if (value < 0) text.push_back('-');

  char digitBuffer[8];
  const auto written = std::to_chars(digitBuffer, digitBuffer + sizeof digitBuffer, mantissa);
  std::string_view digits(digitBuffer, static_cast<size_t>(written.ptr - digitBuffer));
  const int length = static_cast<int>(digits.size());
  const int integerDigits = length + scale;  // digits before the separator, when positive

  if (integerDigits > 4) {
    while (digits.size() > 1 && digits.back() == '0') digits.remove_suffix(1);
    text.push_back(digits[0]);
    if (digits.size() > 1) {
      text.append(separator);
      text.append(digits.substr(1));
    }
    text.push_back('E');
    const int exponent = integerDigits - 1;
    if (exponent < 0) text.push_back('-');
    char exponentBuffer[8];
    const auto end = std::to_chars(exponentBuffer, exponentBuffer + sizeof exponentBuffer, std::abs(exponent));
    const int exponentDigits = static_cast<int>(end.ptr - exponentBuffer);
    if (decimals >= 1 && decimals <= 4) AppendZeros(text, decimals - exponentDigits);
    text.append(exponentBuffer, end.ptr);
    return text;
  }

  if (integerDigits <= 0) {
    text.push_back('0');
  } else {
    text.append(digits.substr(0, static_cast<size_t>(std::min(integerDigits, length))));
    AppendZeros(text, integerDigits - length);
  }
  if (decimals > 0) {
    text.append(separator);
    int written = 0;
    if (integerDigits < 0) {
      AppendZeros(text, -integerDigits);
      written = -integerDigits;
    }
    if (integerDigits < length) {
      const std::string_view fraction = digits.substr(static_cast<size_t>(std::max(integerDigits, 0)));
      text.append(fraction);
      written += static_cast<int>(fraction.size());
    }
    AppendZeros(text, decimals - written);
  }
  return text;
}

std::optional<std::string> LocaleDecimalSeparator(const char* localeName) {
  // A locale object of our own: newlocale resolves "" from LC_ALL,
  // LC_NUMERIC and LANG, and nothing here touches the process's locale.
  const locale_t locale = newlocale(LC_NUMERIC_MASK, localeName, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return std::nullopt;
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  std::string separator = radix && *radix ? radix : ".";
  freelocale(locale);
  return separator;
}

const std::string& UserDecimalSeparator() {
  static const std::string separator = LocaleDecimalSeparator("").value_or(".");
  return separator;
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

void TSkinLabel::SetAnalogSensor(TAnalogSensors value) {
  if (value != FAnalogSensor) FAnalogSensor = value;
}

void TSkinLabel::SetDigitalSensor(TDigitalSensors value) {
  if (value != FDigitalSensor) FDigitalSensor = value;
}

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
  if (FAnalogSensor != ia0) return &SensorIdentifier(FAnalogSensor);
  if (FDigitalSensor != in0) return &SensorIdentifier(FDigitalSensor);
  return nullptr;
}

void TSkinLabel::RegisterSensors(TSensorList& sensors) {
  if (FLabelType != TLabelType::_sensor) return;
  sensors.RegisterSensor(FAnalogSensor);  // ia0 and in0 are never entered
  sensors.RegisterSensor(FDigitalSensor);
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
