// The clock: time arithmetic, the three clock types, 12-hour display with
// AM/PM, activation rules, the blink phase driven by its own timer (the
// message kind, on the headless backend's manual clock), the row width, and
// what reaches the screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GaugeClock.h"
#include "HeadlessFormFixture.h"

namespace {

TEST(ClockArithmetic, DatesTimesAndTexts) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1, 12, 0, 0), 2.5);
  EXPECT_EQ(EncodeDateTime(2026, 12, 10, 0, 0, 0), 46366.0);
  EXPECT_EQ(DecodeTimeOfDay(EncodeDateTime(2026, 12, 10, 13, 5, 9)), (TTimeOfDay{13, 5, 9}));
  EXPECT_EQ(DecodeTimeOfDay(25.0 / 24 + 3.0 / 1440), (TTimeOfDay{1, 3, 0}));  // days dropped
  EXPECT_EQ(DecodeTimeOfDay(1.0 - 1e-10), (TTimeOfDay{0, 0, 0}));             // rounds to midnight
  struct Case {
    int Hour24, Hour12;
  };
  for (const Case c : {Case{0, 12}, Case{1, 1}, Case{11, 11}, Case{12, 12}, Case{13, 1}, Case{23, 11}})
    EXPECT_EQ(TwelveHour(c.Hour24), c.Hour12) << c.Hour24;
  EXPECT_EQ(ClockText(13, 5, 9, false), "13:05");
  EXPECT_EQ(ClockText(1, 5, 9, true), "01:05:09");
  // 4 digits + 1 colon + 4 gaps; 6 + 2 + 7; plus half the AM/PM glyph and a gap.
  EXPECT_EQ(ClockRowWidth(13, 6, 20, 2, false, false), 4 * 13 + 6 + 4 * 2);
  EXPECT_EQ(ClockRowWidth(13, 6, 20, 2, true, false), 6 * 13 + 2 * 6 + 7 * 2);
  EXPECT_EQ(ClockRowWidth(13, 6, 20, 2, false, true), 4 * 13 + 6 + 4 * 2 + 10 + 2);
}

class GaugeClockTest : public HeadlessFormTest {
protected:
  void SetUp() override { MakeForm(300, 60, clWhite); }
  // A clock on the manual clock: its timer is the message kind.
  TGaugeClock* MakeClock() {
    auto* clock = new TGaugeClock(Form);
    clock->SetThreaded(false);
    clock->SetClockSource(&Time);
    return clock;
  }
  // One second of the loop's clock: the active clock's tick.
  void Tick() {
    System.AdvanceClock(1000);
    App->ProcessMessages();
  }
  TFixedClockSource Time;
};

TEST_F(GaugeClockTest, TwelveHourDisplayWithTheAmPmHalf) {
  struct Case {
    int Hour, Minute;
    const char* Text;
    const char* AmPm;
  };
  const Case cases[] = {{0, 30, "12:30", "AM"}, {12, 30, "12:30", "PM"}, {13, 5, "01:05", "PM"}, {11, 59, "11:59", "AM"}};
  TGaugeClock* clock = MakeClock();
  clock->SetHours24(false);
  clock->SetShowTimeZone(true);
  for (const Case& c : cases) {
    Time.Set(EncodeDateTime(2026, 12, 10, c.Hour, c.Minute, 0));
    clock->UpdateClock(clock);
    EXPECT_EQ(clock->ShownText(), c.Text) << c.Hour;
    EXPECT_STREQ(clock->AmPmShown(), c.AmPm) << c.Hour;
  }
  // Only a real-time clock shows the indicator.
  clock->SetClockType(ctElapsed);
  EXPECT_STREQ(clock->AmPmShown(), "");
}

TEST_F(GaugeClockTest, ElapsedTimeCountsFromActivationAndWrapsAfterADay) {
  TGaugeClock* clock = MakeClock();
  Time.Set(EncodeDateTime(2026, 12, 10, 8, 0, 0));
  clock->SetClockType(ctElapsed);
  clock->SetActive(true);
  Time.AdvanceSeconds(25 * 3600 + 3 * 60);
  Tick();
  EXPECT_EQ(clock->ShownText(), "01:03");
  EXPECT_EQ(clock->Hours(), 1);
  EXPECT_EQ(clock->Minutes(), 3);
}

TEST_F(GaugeClockTest, ActivationRulesAndTheCustomType) {
  TGaugeClock* clock = MakeClock();
  EXPECT_FALSE(clock->Active());
  EXPECT_EQ(clock->ShownText(), "00:00");
  clock->SetClockType(ctCustom);
  clock->SetActive(true);
  EXPECT_FALSE(clock->Active());
  EXPECT_FALSE(clock->Timer().Enabled());
  clock->SetHours(30);  // clamped
  clock->SetMinutes(7);
  EXPECT_EQ(clock->ShownText(), "23:07");

  // An active clock switched to ctCustom stops and keeps what it shows.
  clock->SetClockType(ctRealTime);
  EXPECT_EQ(clock->ShownText(), "00:00");  // the real-time and elapsed types start from zero
  Time.Set(EncodeDateTime(2026, 12, 10, 9, 41, 0));
  clock->SetActive(true);
  EXPECT_TRUE(clock->Timer().Enabled());
  Tick();
  EXPECT_EQ(clock->ShownText(), "09:41");
  clock->SetClockType(ctCustom);
  EXPECT_FALSE(clock->Active());
  EXPECT_FALSE(clock->Timer().Enabled());
  EXPECT_EQ(clock->ShownText(), "09:41");
  Time.AdvanceSeconds(600);
  Tick();
  EXPECT_EQ(clock->ShownText(), "09:41");
}

TEST_F(GaugeClockTest, BlinkAlternatesStartingWithTheColonShown) {
  TGaugeClock* clock = MakeClock();
  clock->SetBlink(true);
  EXPECT_TRUE(clock->ColonShown());  // inactive: always shown
  Time.Set(EncodeDateTime(2026, 12, 10, 10, 0, 0));
  clock->SetActive(true);
  std::vector<bool> shown{clock->ColonShown()};
  for (int i = 0; i < 4; ++i) {
    Tick();
    shown.push_back(clock->ColonShown());
  }
  EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false, true}));
  EXPECT_EQ(clock->ShownText().substr(0, 5), "10:00");
  Tick();
  EXPECT_EQ(clock->ShownText(), "10 00");
}

TEST_F(GaugeClockTest, TicksFireChangeEventsWithoutTheSettersAndRepaintOnlyOnChange) {
  TGaugeClock* clock = MakeClock();
  std::vector<std::string> events;
  clock->SetOnHoursChanged([&](TObject*, int32_t v) { events.push_back("h" + std::to_string(v)); });
  clock->SetOnMinutesChanged([&](TObject*, int32_t v) { events.push_back("m" + std::to_string(v)); });
  clock->SetOnSecondsChanged([&](TObject*, int32_t v) { events.push_back("s" + std::to_string(v)); });
  Time.Set(EncodeDateTime(2026, 12, 10, 13, 5, 9));
  clock->UpdateClock(clock);
  EXPECT_EQ(events, (std::vector<std::string>{"h13", "m5", "s9"}));
  events.clear();
  Time.AdvanceSeconds(1);
  clock->UpdateClock(clock);
  EXPECT_EQ(events, (std::vector<std::string>{"s10"}));
  // Hours24 is a plain value: the 12-hour form appears at the next tick.
  events.clear();
  clock->SetHours24(false);
  EXPECT_EQ(clock->Hours(), 13);
  clock->UpdateClock(clock);
  EXPECT_EQ(events, (std::vector<std::string>{"h1"}));
}

TEST_F(GaugeClockTest, LoadingARealTimeClockTakesTheTimeOnce) {
  TGaugeClock* clock = MakeClock();
  Time.Set(EncodeDateTime(2026, 12, 10, 7, 45, 0));
  clock->Loaded();
  EXPECT_EQ(clock->ShownText(), "07:45");
  EXPECT_FALSE(clock->Active());

  TGaugeClock* elapsed = MakeClock();
  elapsed->SetClockType(ctElapsed);
  elapsed->Loaded();
  EXPECT_EQ(elapsed->ShownText(), "00:00");
}

TEST_F(GaugeClockTest, SizeFollowsSecondsAndTheTimeZone) {
  TGaugeClock* clock = MakeClock();
  EXPECT_EQ(clock->Width(), 140);
  EXPECT_EQ(clock->Height(), 26);
  EXPECT_EQ(clock->GetDigitsWidth(), 4 * 13 + 6 + 4 * 2);
  clock->SetAutoSize(true);
  EXPECT_EQ(clock->Width(), 66);
  EXPECT_EQ(clock->Height(), 24);
  clock->SetShowSeconds(true);
  EXPECT_EQ(clock->Width(), 6 * 13 + 2 * 6 + 7 * 2);
  clock->SetShowTimeZone(true);
  EXPECT_EQ(clock->Width(), 6 * 13 + 2 * 6 + 7 * 2 + 10 + 2);
  clock->SetStyle(ns5x7);
  EXPECT_EQ(clock->Width(), 6 * 4 + 2 * 3 + 7 * 2 + 6 + 2);
  EXPECT_EQ(clock->Height(), 7);
}

TEST_F(GaugeClockTest, TheColonAndTheAmPmHalfReachTheImage) {
  TGaugeClock* clock = MakeClock();
  clock->SetShowTimeZone(true);
  clock->SetBounds(0, 0, 100, 26);
  Time.Set(EncodeDateTime(2026, 12, 10, 8, 0, 0));
  clock->UpdateClock(clock);
  clock->SetParent(Form);
  Show();
  // Row: 4 x 13 + 6 + 4 x 2 + (20 div 2) + 2 = 78 wide, starting at 11.
  const TBitmap& frame = clock->ImageBitmap();
  auto litIn = [&](int left, int width) {
    for (int y = 0; y < 26; ++y)
      for (int x = left; x < left + width; ++x)
        if (frame.Pixels(x, y) == clLime) return true;
    return false;
  };
  const int colon = 11 + 2 * 15;
  EXPECT_TRUE(litIn(colon, 6));
  const int amPm = 11 + 4 * 15 + 8;
  EXPECT_TRUE(litIn(amPm, 10));
  EXPECT_FALSE(litIn(amPm + 10, 100 - amPm - 10));  // nothing right of the row

  // A blinking active clock in its hidden phase leaves the colon's place dark.
  clock->SetBlink(true);
  clock->SetActive(true);
  Tick();
  ASSERT_FALSE(clock->ColonShown());
  App->ProcessMessages();
  EXPECT_FALSE(litIn(colon, 6));
}

}  // namespace

namespace {

class GaugeClockTransparency : public HeadlessFormTest {};

TEST_F(GaugeClockTransparency, ATransparentClockShowsWhatLiesBeneath) {
  MakeForm(200, 60, clWhite);
  auto* clock = new TGaugeClock(Form);
  clock->SetTransparent(true);
  clock->SetParent(Form);
  clock->Loaded();
  Show();
  EXPECT_EQ(Pixel(1, 1), clWhite);
  clock->SetHours(3);
  EXPECT_EQ(Pixel(1, 1), clWhite);
  // What lies beneath changes: the clock shows the new background, not the
  // snapshot of its first paint.
  Form->SetColor(clYellow);
  EXPECT_EQ(Pixel(1, 1), clYellow);
  clock->SetHours(4);
  EXPECT_EQ(Pixel(1, 1), clYellow);
}

}  // namespace
