// Sensor identifiers of the skin vocabulary, the sensor records that the skin
// window keeps, and the sensor list whose sorted order is the slot order of
// the data channel (slot p of the shared block carries the sensor at 1-based
// position p).
//
// Thread rules: everything here runs on the user-interface thread. The
// process-wide list (CreateSensorList / SensorList / ReleaseSensorList) is
// not guarded; the skin window's creation handler creates it, the frame pass
// reads it, the close handler releases it, all on that one thread. The name
// tables are immutable and may be read from any thread.
// Errors: SensorAtPosition raises ESensorListError with "Cannot retrieve
// record at position " followed by the position in decimal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"
#include "TypInfo.h"

// The host's analog inputs; ia0 means "no analog sensor". Ordinals match the
// value names of AnalogSensorNames(), which skins store.
enum TAnalogSensors : uint8_t {
  ia0, ia1, ia2, ia3, ia4, ia5, ia6, ia7, ia8, ia9,
  ia10, ia11, ia12, ia13, ia14, ia15, ia16, ia17, ia18, ia19,
  ia20, ia21, ia22, ia23, ia24, ia25, ia26, ia27, ia28, ia29,
  ia30, ia31, ia32, ia33, ia34, ia35, ia36, ia37, ia38, ia39,
  ia40, ia41, ia42, ia43, ia44, ia45, ia46, ia47
};

// The host's digital inputs; in0 means "no digital sensor".
enum TDigitalSensors : uint8_t {
  in0, in1, in2, in3, in4, in5, in6, in7, in8, in9,
  in10, in11, in12, in13, in14, in15, in16, in17, in18, in19,
  in20, in21, in22, in23, in24, in25, in26, in27, in28, in29,
  in30, in31, in32
};

// Scoped because the value names begin with an underscore, which C++
// reserves at global scope; inside the enumeration's scope they are legal.
enum class TSensorMonitor : uint8_t { _realtime, _min, _max };
enum class TLabelType : uint8_t { _text, _sensor };

constexpr int kAnalogSensorCount = 48;   // ia0..ia47
constexpr int kDigitalSensorCount = 33;  // in0..in32

// Value-name tables for the property system, in ordinal order.
const TEnumInfo& AnalogSensorNames();
const TEnumInfo& DigitalSensorNames();
const TEnumInfo& SensorMonitorNames();
const TEnumInfo& LabelTypeNames();

// The identifier text of a sensor ("ia3", "in12"). The reference stays valid
// for the life of the process, so the frame pass can look sensors up by name
// without building a string.
const std::string& SensorIdentifier(TAnalogSensors sensor) noexcept;
const std::string& SensorIdentifier(TDigitalSensors sensor) noexcept;

class ESensorListError : public Exception { using Exception::Exception; };

// Sensor kinds as stored in TSensor::SensorKind (also the primary sort key).
constexpr uint8_t kAnalogSensorKind = 0;
constexpr uint8_t kDigitalSensorKind = 1;

// One distinct sensor that the skin references, with the last, lowest and
// highest value received. The extremes start out of the way (10000 and
// -10000) and are never reset while the window lives.
class TSensor {
public:
  TSensor(std::string name, int32_t number, uint8_t kind);

  const std::string& SensorName() const noexcept { return FSensorName; }
  int32_t SensorNumber() const noexcept { return FSensorNumber; }
  uint8_t SensorKind() const noexcept { return FSensorKind; }
  float Current() const noexcept { return FCurrent; }
  float Minimum() const noexcept { return FMinimum; }
  float Maximum() const noexcept { return FMaximum; }

  // Current := x; Minimum := x unless x >= Minimum; Maximum := x if
  // x > Maximum. A value equal to an extreme changes nothing. A NaN becomes
  // Current and Minimum (it is not >= anything) but never Maximum; the next
  // number replaces the NaN minimum.
  void UpdateExtremes(float x) noexcept;

private:
  std::string FSensorName;
  int32_t FSensorNumber;
  uint8_t FSensorKind;
  float FCurrent = 0.0f;
  float FMinimum = 10000.0f;
  float FMaximum = -10000.0f;
};

// Sort order of the list: analog before digital, then by ascending number.
// Negative when a comes first, positive when b does, 0 only for the same
// sensor (names are unique in the list).
int CompareSensors(const TSensor& a, const TSensor& b) noexcept;

class TSensorList {
public:
  // Appends a record for the sensor unless one with its name exists. The
  // "none" identifiers (ia0, in0) stand for no sensor and are never entered,
  // so a call with them does nothing.
  void RegisterSensor(TAnalogSensors sensor);
  void RegisterSensor(TDigitalSensors sensor);

  // Exact, case-sensitive name comparison.
  bool IsSensorRegistered(std::string_view name) const noexcept;

  // 1-based position of the first entry with that name, or 0 when there is
  // none (slot 0 carries no sensor, and SensorAtPosition(0) raises). A
  // linear scan that allocates nothing: the frame pass calls it once per
  // bound component per frame.
  int32_t FindSensorPosition(std::string_view name) const noexcept;

  // The entry at 1-based position p; raises ESensorListError("Cannot
  // retrieve record at position " + p) when p is outside 1..Count().
  TSensor& SensorAtPosition(int32_t position);
  const TSensor& SensorAtPosition(int32_t position) const;

  // Orders the entries with CompareSensors; done once, after every
  // component has registered, and the order is then the slot order.
  void Sort();

  int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }

private:
  std::vector<TSensor> FItems;
};

// How the objects of a skin class enter the slot layout: not at all; by
// their AnalogSensor; by both their AnalogSensor and DigitalSensor (a
// sensor pair); or as a pair only while their LabelType is _sensor. The
// stream-level layout reader (SkinLayout.h) goes by this table; the skin
// classes' RegisterSensors do the same, which a test holds them to for
// every class.
enum class TSensorBinding : uint8_t { sbNone, sbAnalog, sbPair, sbPairWhenSensorLabel };
// The class names compare as the class registry compares them (case
// ignored); a class that is not a skin class binds nothing.
TSensorBinding SkinClassSensorBinding(std::string_view className) noexcept;
// Enters one object's bound sensors as its class's binding says.
void RegisterBoundSensors(TSensorList& sensors, TSensorBinding binding, TAnalogSensors analog,
                          TDigitalSensors digital, TLabelType labelType);

// The process-wide list serving the one skin window.
// CreateSensorList replaces any list that exists (a fresh, empty one);
// ReleaseSensorList frees it (harmless when there is none); SensorList is
// null outside that span.
TSensorList& CreateSensorList();
void ReleaseSensorList() noexcept;
TSensorList* SensorList() noexcept;
