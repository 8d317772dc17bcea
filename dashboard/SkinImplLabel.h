// TSkinLabel: the label that a skin writes either as fixed text or as a
// formatted sensor reading, and the number format it uses.
//
// A `_text` label keeps the caption the skin gives it; it registers no
// sensor and the frame pass skips it. A `_sensor` label registers its
// AnalogSensor and then its DigitalSensor (each unless it is the "none"
// value) and shows the analog one when set, else the digital one; bound to
// neither, it is left alone. Each frame records the reading in the sensor's
// extremes (UpdateExtremes) and then shows, as SensorMonitor says, the
// reading itself (`_realtime`), the sensor's Minimum (`_min`) or its
// Maximum (`_max`), formatted by LabelNumberText with SensorPrecision
// decimals. Until the first frame a label keeps the caption of the skin.
//
// The number format: the value is rounded to at most 4 significant digits
// and at most `precision` decimals (precision above 18 acts as 18, below 0
// as 0), halves away from zero on the exact decimal expansion of the stored
// binary value (0.015 is stored slightly below, so it gives 0.01 with two
// decimals); decimals are filled with zeros; no thousands grouping; "-"
// before negative values. A value that needs more than 4 digits before the
// separator after rounding is written in exponent form: the first
// significant digit, the separator and the remaining significant digits if
// any, "E", "-" for a negative exponent, and the exponent padded with zeros
// to `precision` digits when that is 1 to 4 (12345 gives 1.235E4 with
// precision 0 and 1.235E04 with precision 2; 10000 with precision 1 gives
// 1E4).
// A value that rounds to zero is written without "-" ("0.00" for -0.001
// with two decimals, and for -0.0): a minus sign on a shown zero says
// nothing about the reading. Not-a-number is "NAN", infinities "INF" and
// "-INF".
//
// The decimal separator is the user's (UserDecimalSeparator, SysUtils.h,
// shared with the needle gauge's scale labels): taken once from the locale
// that the environment names, without switching the process's locale. The
// rounding is RoundDecimal's, also shared with the scale labels.
//
// Thread rules: TSkinLabel belongs to the user-interface thread (creation
// handler, frame pass). LabelNumberText may run on any thread.
// Errors: nothing of its own; the caption's repaint raises what the label
// raises.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "GaugeLabel.h"
#include "SkinImpl.h"
#include "SkinSensors.h"
#include "SysUtils.h"

// The most decimals a label shows; more act as this many.
constexpr int32_t kLabelMaxPrecision = 18;

// The label text of `value` with `precision` decimals and `separator` as
// the decimal separator (see above). Allocates only the returned text.
std::string LabelNumberText(double value, int32_t precision, std::string_view separator);

class TSkinLabel : public TGaugeLabel, public TSkinComponent, public TSkinSensorPair {
  VELQ_CLASS(TSkinLabel)
public:
  explicit TSkinLabel(TComponent* owner);

  // The skin's settings; each is assigned when different, with no other
  // effect (bindings are made once, by the creation handler).
  TSensorMonitor SensorMonitor() const noexcept { return FSensorMonitor; }
  void SetSensorMonitor(TSensorMonitor value);
  TLabelType LabelType() const noexcept { return FLabelType; }
  void SetLabelType(TLabelType value);
  int32_t SensorPrecision() const noexcept { return FSensorPrecision; }
  void SetSensorPrecision(int32_t value);

  // The identifier of the sensor the label shows ("ia2", "in5"), or null
  // for a `_text` label or one bound to nothing.
  const std::string* ShownSensor() const noexcept;

  // Only a `_sensor` label registers: AnalogSensor, then DigitalSensor
  // (both may be; "none" values are never entered).
  void RegisterSensors(TSensorList& sensors) override;
  // UpdateExtremes with this frame's reading, then the caption from the
  // reading, Minimum or Maximum. A label whose sensor has no slot (no list,
  // no block, block too short) is left as it is.
  void FrameStep() override;
  // caption: the text shown.
  void WriteState(TSkinStateWriter& out) const override;

private:
  TSensorMonitor FSensorMonitor = TSensorMonitor::_realtime;
  TLabelType FLabelType = TLabelType::_text;
  int32_t FSensorPrecision = 0;
};
