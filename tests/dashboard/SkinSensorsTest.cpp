// The sensor identifiers, records and the sensor list whose order is the
// slot order of the data channel.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <variant>
#include <vector>

#include "SkinSensors.h"

namespace {

using AnySensor = std::variant<TAnalogSensors, TDigitalSensors>;

void RegisterAll(TSensorList& list, const std::vector<AnySensor>& sensors) {
  for (const AnySensor& s : sensors) std::visit([&](auto id) { list.RegisterSensor(id); }, s);
}

std::vector<std::string> Names(const TSensorList& list) {
  std::vector<std::string> names;
  for (int32_t p = 1; p <= list.Count(); ++p) names.push_back(list.SensorAtPosition(p).SensorName());
  return names;
}

std::string ErrorOf(const TSensorList& list, int32_t position) {
  try {
    list.SensorAtPosition(position);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(SensorNames, TablesListEveryIdentifierInOrdinalOrder) {
  const TEnumInfo& analog = AnalogSensorNames();
  EXPECT_EQ(analog.TypeName, "TAnalogSensors");
  ASSERT_EQ(analog.Names.size(), 48u);
  EXPECT_EQ(analog.Names[0], "ia0");
  EXPECT_EQ(analog.Names[47], "ia47");
  EXPECT_EQ(analog.IndexOf("ia12"), ia12);

  const TEnumInfo& digital = DigitalSensorNames();
  EXPECT_EQ(digital.TypeName, "TDigitalSensors");
  ASSERT_EQ(digital.Names.size(), 33u);
  EXPECT_EQ(digital.Names[0], "in0");
  EXPECT_EQ(digital.Names[32], "in32");
  EXPECT_EQ(digital.IndexOf("in7"), in7);

  EXPECT_EQ(SensorMonitorNames().TypeName, "TSensorMonitor");
  EXPECT_EQ(SensorMonitorNames().Names, (std::vector<std::string>{"_realtime", "_min", "_max"}));
  EXPECT_EQ(SensorMonitorNames().IndexOf("_max"), static_cast<int>(TSensorMonitor::_max));
  EXPECT_EQ(LabelTypeNames().TypeName, "TLabelType");
  EXPECT_EQ(LabelTypeNames().Names, (std::vector<std::string>{"_text", "_sensor"}));
  EXPECT_EQ(LabelTypeNames().IndexOf("_sensor"), static_cast<int>(TLabelType::_sensor));

  EXPECT_EQ(SensorIdentifier(ia3), "ia3");
  EXPECT_EQ(SensorIdentifier(in32), "in32");
  // The same object every time: the frame pass keeps no copy.
  EXPECT_EQ(&SensorIdentifier(ia3), &SensorIdentifier(ia3));
}

TEST(SensorList, RegistrationMakesOneRecordPerDistinctSensor) {
  TSensorList list;
  // Two gauges and a label on ia4, a LED on in2 and ia4, and components
  // with no sensor (ia0 / in0), which never take a slot.
  RegisterAll(list, {ia4, ia4, in0, ia0, in2, ia4, in2});
  ASSERT_EQ(list.Count(), 2);
  EXPECT_TRUE(list.IsSensorRegistered("ia4"));
  EXPECT_TRUE(list.IsSensorRegistered("in2"));
  EXPECT_FALSE(list.IsSensorRegistered("ia0"));
  EXPECT_FALSE(list.IsSensorRegistered("in0"));
  EXPECT_FALSE(list.IsSensorRegistered("IA4"));  // exact, case-sensitive
  EXPECT_FALSE(list.IsSensorRegistered("ia"));

  const TSensor& analog = list.SensorAtPosition(1);
  EXPECT_EQ(analog.SensorName(), "ia4");
  EXPECT_EQ(analog.SensorNumber(), 4);
  EXPECT_EQ(analog.SensorKind(), kAnalogSensorKind);
  EXPECT_EQ(analog.Current(), 0.0f);
  EXPECT_EQ(analog.Minimum(), 10000.0f);
  EXPECT_EQ(analog.Maximum(), -10000.0f);
  const TSensor& digital = list.SensorAtPosition(2);
  EXPECT_EQ(digital.SensorName(), "in2");
  EXPECT_EQ(digital.SensorNumber(), 2);
  EXPECT_EQ(digital.SensorKind(), kDigitalSensorKind);
}

TEST(SensorList, SortPutsAnalogBeforeDigitalThenByNumber) {
  struct Case {
    std::vector<AnySensor> registered;
    std::vector<std::string> sorted;
  };
  const Case cases[] = {
      {{in7, ia9, ia2}, {"ia2", "ia9", "in7"}},
      {{in3, ia3}, {"ia3", "in3"}},
      {{in7}, {"in7"}},
      {{ia5, ia2, in3}, {"ia2", "ia5", "in3"}},
      // Numeric, not textual, order: ia10 after ia9, in32 after in4.
      {{in32, ia10, in4, ia47, ia9, ia1, in1}, {"ia1", "ia9", "ia10", "ia47", "in1", "in4", "in32"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    TSensorList list;
    RegisterAll(list, c.registered);
    list.Sort();
    EXPECT_EQ(Names(list), c.sorted);
  }
}

TEST(SensorList, PositionsFollowTheSortedOrder) {
  TSensorList list;
  RegisterAll(list, {in3, ia5, ia3});
  list.Sort();
  EXPECT_EQ(list.FindSensorPosition("ia3"), 1);
  EXPECT_EQ(list.FindSensorPosition("ia5"), 2);
  EXPECT_EQ(list.FindSensorPosition("in3"), 3);
  // Not in the list: 0, the slot that carries no sensor.
  EXPECT_EQ(list.FindSensorPosition("ia4"), 0);
  EXPECT_EQ(list.FindSensorPosition("In3"), 0);
  EXPECT_EQ(list.FindSensorPosition(""), 0);
  // Lookups by a view into a longer text compare only the viewed part.
  const std::string text = "ia5,in3";
  EXPECT_EQ(list.FindSensorPosition(std::string_view(text).substr(0, 3)), 2);
  for (int32_t p = 1; p <= list.Count(); ++p)
    EXPECT_EQ(list.FindSensorPosition(list.SensorAtPosition(p).SensorName()), p);
}

TEST(SensorList, PositionOutsideTheListRaisesWithThePosition) {
  TSensorList list;
  RegisterAll(list, {ia1, ia2});
  struct Case {
    int32_t position;
    const char* message;
  };
  const Case cases[] = {
      {0, "Cannot retrieve record at position 0"},
      {3, "Cannot retrieve record at position 3"},
      {-1, "Cannot retrieve record at position -1"},
      {std::numeric_limits<int32_t>::max(), "Cannot retrieve record at position 2147483647"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(list, c.position), c.message) << c.position;
  EXPECT_EQ(ErrorOf(TSensorList(), 1), "Cannot retrieve record at position 1");
  EXPECT_THROW(list.SensorAtPosition(5), ESensorListError);
}

TEST(SensorList, CompareSensorsOrdersKindFirstThenNumber) {
  const TSensor ia2Rec("ia2", 2, kAnalogSensorKind);
  const TSensor ia30Rec("ia30", 30, kAnalogSensorKind);
  const TSensor in1Rec("in1", 1, kDigitalSensorKind);
  const TSensor in2Rec("in2", 2, kDigitalSensorKind);
  struct Case {
    const TSensor& a;
    const TSensor& b;
    int sign;
  };
  const Case cases[] = {
      {ia2Rec, ia30Rec, -1}, {ia30Rec, ia2Rec, 1}, {ia30Rec, in1Rec, -1}, {in1Rec, ia30Rec, 1},
      {ia2Rec, in2Rec, -1},  {in2Rec, in1Rec, 1},  {in1Rec, in1Rec, 0},
  };
  for (const Case& c : cases) {
    const int result = CompareSensors(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a.SensorName() << " vs " << c.b.SensorName();
  }
}

TEST(Sensor, UpdateExtremesKeepsCurrentLowestAndHighest) {
  struct Case {
    std::vector<float> values;
    float current, minimum, maximum;
  };
  const Case cases[] = {
      {{}, 0.0f, 10000.0f, -10000.0f},
      {{5, 3, 8}, 8.0f, 3.0f, 8.0f},
      // Above the starting minimum: the minimum stays 10000 until a lower value.
      {{12000}, 12000.0f, 10000.0f, 12000.0f},
      {{12000, 9999.5f}, 9999.5f, 9999.5f, 12000.0f},
      // Below the starting maximum: the maximum stays -10000.
      {{-20000}, -20000.0f, -20000.0f, -10000.0f},
      // Equal to an extreme changes nothing but Current.
      {{10000, -10000}, -10000.0f, -10000.0f, 10000.0f},
      {{7, 7, 7}, 7.0f, 7.0f, 7.0f},
      {{1, -1, 0}, 0.0f, -1.0f, 1.0f},
  };
  for (const Case& c : cases) {
    TSensor sensor("ia1", 1, kAnalogSensorKind);
    for (float v : c.values) sensor.UpdateExtremes(v);
    EXPECT_EQ(sensor.Current(), c.current);
    EXPECT_EQ(sensor.Minimum(), c.minimum);
    EXPECT_EQ(sensor.Maximum(), c.maximum);
  }
}

TEST(Sensor, NaNPassesIntoTheMinimumOnlyUntilTheNextNumber) {
  TSensor sensor("ia1", 1, kAnalogSensorKind);
  sensor.UpdateExtremes(5);
  sensor.UpdateExtremes(std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(std::isnan(sensor.Current()));
  EXPECT_TRUE(std::isnan(sensor.Minimum()));
  EXPECT_EQ(sensor.Maximum(), 5.0f);
  sensor.UpdateExtremes(6);
  EXPECT_EQ(sensor.Minimum(), 6.0f);
  EXPECT_EQ(sensor.Maximum(), 6.0f);
}

TEST(SensorList, ProcessListLivesFromCreateToRelease) {
  ReleaseSensorList();
  EXPECT_EQ(SensorList(), nullptr);
  TSensorList& list = CreateSensorList();
  EXPECT_EQ(SensorList(), &list);
  list.RegisterSensor(ia1);
  // A new creation handler run starts from an empty list.
  EXPECT_EQ(CreateSensorList().Count(), 0);
  ReleaseSensorList();
  EXPECT_EQ(SensorList(), nullptr);
  ReleaseSensorList();
  EXPECT_EQ(SensorList(), nullptr);
}

}  // namespace
