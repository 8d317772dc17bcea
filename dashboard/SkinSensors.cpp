#include "SkinSensors.h"

#include <algorithm>
#include <utility>
#include <string>

namespace {

TEnumInfo NumberedNames(std::string typeName, const char* prefix, int count) {
  TEnumInfo info{std::move(typeName), {}};
  info.Names.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) info.Names.push_back(prefix + std::to_string(i));
  return info;
}

// Owned by SkinImpl's handlers: created by the skin window's creation
// handler, freed by its close handler, used only on the user-interface thread.
std::unique_ptr<TSensorList> GSensorList;

}  // namespace

const TEnumInfo& AnalogSensorNames() {
  static const TEnumInfo names = NumberedNames("TAnalogSensors", "ia", kAnalogSensorCount);
  return names;
}

const TEnumInfo& DigitalSensorNames() {
  static const TEnumInfo names = NumberedNames("TDigitalSensors", "in", kDigitalSensorCount);
  return names;
}

const TEnumInfo& SensorMonitorNames() {
  static const TEnumInfo names{"TSensorMonitor", {"_realtime", "_min", "_max"}};
  return names;
}

const TEnumInfo& LabelTypeNames() {
  static const TEnumInfo names{"TLabelType", {"_text", "_sensor"}};
  return names;
}

const std::string& SensorIdentifier(TAnalogSensors sensor) noexcept {
  const auto& names = AnalogSensorNames().Names;
  // An out-of-range value can only come from a cast; name it as "none".
  return names[sensor < names.size() ? sensor : 0];
}

const std::string& SensorIdentifier(TDigitalSensors sensor) noexcept {
  const auto& names = DigitalSensorNames().Names;
  return names[sensor < names.size() ? sensor : 0];
}

TSensor::TSensor(std::string name, int32_t number, uint8_t kind)
    : FSensorName(std::move(name)), FSensorNumber(number), FSensorKind(kind) {}

void TSensor::UpdateExtremes(float x) noexcept {
  FCurrent = x;
  // Written as "not >=" rather than "<" on purpose: the two differ only for
  // NaN, and the recorded behaviour lets a NaN through to the minimum.
  if (!(x >= FMinimum)) FMinimum = x;
  if (x > FMaximum) FMaximum = x;
}

int CompareSensors(const TSensor& a, const TSensor& b) noexcept {
  if (a.SensorKind() != b.SensorKind()) return a.SensorKind() < b.SensorKind() ? -1 : 1;
  if (a.SensorNumber() != b.SensorNumber()) return a.SensorNumber() < b.SensorNumber() ? -1 : 1;
  return 0;
}

void TSensorList::RegisterSensor(TAnalogSensors sensor) {
  if (sensor == ia0 || sensor >= kAnalogSensorCount) return;
  const std::string& name = SensorIdentifier(sensor);
  if (!IsSensorRegistered(name)) FItems.emplace_back(name, static_cast<int32_t>(sensor), kAnalogSensorKind);
}

void TSensorList::RegisterSensor(TDigitalSensors sensor) {
  if (sensor == in0 || sensor >= kDigitalSensorCount) return;
  const std::string& name = SensorIdentifier(sensor);
  if (!IsSensorRegistered(name)) FItems.emplace_back(name, static_cast<int32_t>(sensor), kDigitalSensorKind);
}

bool TSensorList::IsSensorRegistered(std::string_view name) const noexcept {
  return FindSensorPosition(name) != 0;
}

int32_t TSensorList::FindSensorPosition(std::string_view name) const noexcept {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].SensorName() == name) return static_cast<int32_t>(i + 1);
  return 0;
}

TSensor& TSensorList::SensorAtPosition(int32_t position) {
  return const_cast<TSensor&>(std::as_const(*this).SensorAtPosition(position));
}

const TSensor& TSensorList::SensorAtPosition(int32_t position) const {
  if (position < 1 || position > Count())
    throw ESensorListError("Cannot retrieve record at position " + std::to_string(position));
  return FItems[static_cast<size_t>(position - 1)];
}

void TSensorList::Sort() {
  std::sort(FItems.begin(), FItems.end(),
            [](const TSensor& a, const TSensor& b) { return CompareSensors(a, b) < 0; });
}

TSensorList& CreateSensorList() {
  GSensorList = std::make_unique<TSensorList>();
  return *GSensorList;
}

void ReleaseSensorList() noexcept { GSensorList.reset(); }

TSensorList* SensorList() noexcept { return GSensorList.get(); }

TSensorBinding SkinClassSensorBinding(std::string_view className) noexcept {
  struct TEntry {
    std::string_view ClassName;
    TSensorBinding Binding;
  };
  static constexpr TEntry kBindings[] = {
      {"TSkinAngularGauge", TSensorBinding::sbAnalog}, {"TSkinProgressBar", TSensorBinding::sbAnalog},
      {"TSkinLevelBar", TSensorBinding::sbAnalog},     {"TSkinCounter", TSensorBinding::sbAnalog},
      {"TSkinNum", TSensorBinding::sbPair},            {"TSkinLed", TSensorBinding::sbPair},
      {"TSkinMatrix", TSensorBinding::sbPair},         {"TSkinLabel", TSensorBinding::sbPairWhenSensorLabel},
  };
  for (const TEntry& entry : kBindings)
    if (SameText(entry.ClassName, className)) return entry.Binding;
  return TSensorBinding::sbNone;
}

void RegisterBoundSensors(TSensorList& sensors, TSensorBinding binding, TAnalogSensors analog,
                          TDigitalSensors digital, TLabelType labelType) {
  switch (binding) {
    case TSensorBinding::sbNone: return;
    case TSensorBinding::sbAnalog: sensors.RegisterSensor(analog); return;
    case TSensorBinding::sbPairWhenSensorLabel:
      if (labelType != TLabelType::_sensor) return;
      [[fallthrough]];
    case TSensorBinding::sbPair:
      sensors.RegisterSensor(analog);
      sensors.RegisterSensor(digital);
      return;
  }
}
