// The widget base classes on the headless window system: the repaint
// protocol of the off-screen image (opaque repaints, background capture of
// transparent widgets, repainting over the snapshot), the repaint request
// while loading, automatic size and bounds, notifications, and the cursor
// registered at start-up.
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <string>
#include <vector>

#include "../framework/DrawingTestUtil.h"
#include "Forms.h"
#include "GaugeControls.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

// A widget that paints a 4 x 4 square of its Level colour at (2, 2) over
// its cleared image, and logs each paint.
class TProbe : public TGaugeGraphicImageControl {
public:
  TProbe(TComponent* owner, std::vector<std::string>& log) : TGaugeGraphicImageControl(owner), FLog(log) {}

  TColor Level() const { return FLevel; }
  void SetLevel(TColor value) {
    if (value == FLevel) return;
    FLevel = value;
    UpdateControlCanvas();
  }
  // Snaps widths to this value when set, as widgets with a fixed cell size do.
  int SnapWidth = 0;
  int SetBoundsCalls = 0;
  void SetBounds(int left, int top, int width, int height) override {
    ++SetBoundsCalls;
    TGaugeGraphicImageControl::SetBounds(left, top, SnapWidth ? SnapWidth : width, height);
  }
  using TGaugeGraphicImageControl::DoMouseEnter;

protected:
  void Paint() override {
    FLog.push_back(Name());
    ClearBitmapCanvas();
    BitmapCanvas().Brush().SetColor(FLevel);
    BitmapCanvas().FillRect(Rect(2, 2, 6, 6));
    TGaugeGraphicImageControl::Paint();
  }

private:
  std::vector<std::string>& FLog;
  TColor FLevel = clBlack;
};

class Repaint : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(100, 60, clBlue);
    // What lies beneath the widgets: a stripe across the top of the form.
    Form->OnPaint = [this](TObject*) {
      ++FormPaints;
      Form->Canvas()->Brush().SetColor(Beneath);
      Form->Canvas()->FillRect(Rect(0, 0, 100, 15));
    };
  }

  TProbe* NewProbe(bool opaque, bool transparent) {
    auto* probe = new TProbe(Form, Log);
    probe->SetName("W");
    probe->SetColor(clWhite);
    if (opaque) probe->ControlStyle().Include(csOpaque);
    probe->SetTransparent(transparent);  // no parent yet: nothing is painted
    probe->SetBounds(10, 10, 30, 20);
    return probe;
  }
  void ShowForm() {
    Form->Show();
    App->ProcessMessages();
    Window = System.Windows().back();
  }
  // Screen pixels after the pending paints reach the window.
  TColor Screen(int x, int y) {
    App->ProcessMessages();
    return Window->ScreenPixel(x, y);
  }

  std::vector<std::string> Log;
  TColor Beneath = clYellow;
  int FormPaints = 0;
};

TEST_F(Repaint, OpaqueWidgetRepaintsAloneOverItsOwnColour) {
  TProbe* w = NewProbe(true, false);
  w->SetParent(Form);
  ShowForm();
  EXPECT_EQ(Screen(25, 12), clWhite);  // not transparent: the image is filled with Color
  Log.clear();
  const int paints = FormPaints;
  w->SetLevel(clRed);
  EXPECT_EQ(Log, std::vector<std::string>{"W"});
  EXPECT_EQ(FormPaints, paints);
  EXPECT_EQ(Screen(13, 13), clRed);
  EXPECT_EQ(Screen(25, 25), clWhite);
  EXPECT_EQ(Screen(5, 5), clYellow);
}

TEST_F(Repaint, TransparentWidgetCapturesOnFormPaintsAndRepaintsOverItsSnapshot) {
  TProbe* w = NewProbe(false, true);
  w->SetParent(Form);
  ShowForm();
  // The form's paint captured the stripe and the blue beneath the widget.
  EXPECT_FALSE(w->BackgroundSnapshot().Empty());
  EXPECT_EQ(w->BackgroundSnapshot().Pixels(15, 2), clYellow);
  EXPECT_EQ(w->BackgroundSnapshot().Pixels(15, 10), clBlue);
  EXPECT_EQ(Screen(25, 12), clYellow);
  EXPECT_EQ(Screen(25, 25), clBlue);
  EXPECT_EQ(Screen(13, 13), clBlack);
  EXPECT_TRUE(w->CaptureNeeded());
  EXPECT_FALSE(w->ControlStyle().Contains(csOpaque));

  // A property change repaints the widget alone, over the stored snapshot:
  // the form is not asked to paint, so its new stripe colour is not seen.
  Beneath = clFuchsia;
  Log.clear();
  const int paints = FormPaints;
  w->SetLevel(clRed);
  EXPECT_EQ(Log, std::vector<std::string>{"W"});
  EXPECT_EQ(FormPaints, paints);
  EXPECT_EQ(Screen(25, 12), clYellow);
  EXPECT_EQ(Screen(13, 13), clRed);
  // Presenting made it ready for a fresh capture again.
  EXPECT_TRUE(w->CaptureNeeded());
  EXPECT_FALSE(w->ControlStyle().Contains(csOpaque));

  // A paint the window system starts captures afresh.
  Form->InvalidateRect(Rect(0, 0, 100, 60));
  EXPECT_EQ(Screen(25, 12), clFuchsia);
  EXPECT_EQ(FormPaints, paints + 1);
  EXPECT_EQ(Screen(13, 13), clRed);
}

TEST_F(Repaint, CaptureTakesOnlyTheRegionBeingPainted) {
  TProbe* w = NewProbe(false, true);
  w->SetParent(Form);
  ShowForm();
  // A partial paint of the form renews only the part of the snapshot that
  // was painted; the rest keeps what the earlier capture saw.
  Beneath = clFuchsia;
  Form->InvalidateRect(Rect(0, 0, 20, 60));
  App->ProcessMessages();
  EXPECT_EQ(w->BackgroundSnapshot().Pixels(5, 2), clFuchsia);
  EXPECT_EQ(w->BackgroundSnapshot().Pixels(15, 2), clYellow);
}

TEST_F(Repaint, TransparentWidgetNeverPaintedRepaintsThroughTheParent) {
  ShowForm();
  TProbe* w = NewProbe(false, true);
  w->SetParent(Form);
  EXPECT_TRUE(w->BackgroundSnapshot().Empty());
  Log.clear();
  const int paints = FormPaints;
  w->SetLevel(clRed);
  // Without a snapshot the form paints beneath first, now.
  EXPECT_EQ(FormPaints, paints + 1);
  EXPECT_EQ(Log, std::vector<std::string>{"W"});
  EXPECT_FALSE(w->BackgroundSnapshot().Empty());
  EXPECT_EQ(Screen(25, 12), clYellow);
  EXPECT_EQ(Screen(13, 13), clRed);
}

TEST_F(Repaint, TransparentSwitchesTheOpaqueStyle) {
  TProbe* w = NewProbe(false, false);
  w->SetParent(Form);
  ShowForm();
  Log.clear();
  w->SetTransparent(true);
  EXPECT_FALSE(w->ControlStyle().Contains(csOpaque));
  EXPECT_EQ(Log, std::vector<std::string>{"W"});  // repainted at once
  EXPECT_EQ(Screen(25, 12), clYellow);
  w->SetTransparent(false);
  EXPECT_TRUE(w->ControlStyle().Contains(csOpaque));
  EXPECT_EQ(Screen(25, 12), clWhite);
  // In design state the change only invalidates.
  w->SetDesigning(true);
  Log.clear();
  w->SetTransparent(true);
  EXPECT_TRUE(Log.empty());
  App->ProcessMessages();
  EXPECT_EQ(Log, std::vector<std::string>{"W"});
}

TEST_F(Repaint, RequestsAreIgnoredWhileLoadingAndWithoutADeviceContext) {
  TProbe* w = NewProbe(true, false);
  w->SetParent(Form);
  ShowForm();
  Log.clear();
  w->BeginLoading();
  w->SetLevel(clRed);
  EXPECT_TRUE(Log.empty());
  const int calls = w->SetBoundsCalls;
  w->UpdateControlBounds();
  EXPECT_EQ(w->SetBoundsCalls, calls);  // returns at once while loading
  w->Loaded();
  w->PaintMessage(nullptr);
  EXPECT_TRUE(Log.empty());
  w->UpdateControlCanvas();
  EXPECT_EQ(Log, std::vector<std::string>{"W"});
}

TEST_F(Repaint, AutomaticSizeAndBoundsRepaintOnlyWhenUnchanged) {
  TProbe* w = NewProbe(true, false);
  w->SetParent(Form);
  ShowForm();
  struct Case {
    const char* What;
    bool AutoSize;
    TAlign Align;
    int Snap;
    bool AdjustSize;  // AdjustControlSize, else UpdateControlBounds
    int Width;        // afterwards
    bool PaintedAtOnce;
  };
  const Case cases[] = {
      {"auto size, same size", true, alNone, 0, true, 30, true},
      {"auto size, snapped size", true, alNone, 40, true, 40, false},
      {"no auto size", false, alNone, 50, true, 30, true},
      {"client aligned", true, alClient, 50, true, 100, true},
      {"bounds, same", false, alNone, 0, false, 30, true},
      {"bounds, snapped", false, alNone, 40, false, 40, false},
  };
  for (const Case& c : cases) {
    w->SnapWidth = 0;
    w->SetAlign(alNone);
    w->SetAutoSize(false);
    w->SetBounds(10, 10, 30, 20);
    w->SetAutoSize(c.AutoSize);
    w->SetAlign(c.Align);
    App->ProcessMessages();
    w->SnapWidth = c.Snap;
    Log.clear();
    if (c.AdjustSize) w->AdjustControlSize();
    else w->UpdateControlBounds();
    EXPECT_EQ(w->Width(), c.Width) << c.What;
    EXPECT_EQ(!Log.empty(), c.PaintedAtOnce) << c.What;
    App->ProcessMessages();
    EXPECT_FALSE(Log.empty()) << c.What;  // a new size repaints through the form
  }
}

TEST(GaugeGraphicControl, VersionNotificationsAndDesignFrame) {
  std::vector<std::string> log;
  TProbe probe(nullptr, log);
  EXPECT_EQ(probe.Version(), "1.3");
  probe.SetVersion("2.0");
  EXPECT_EQ(probe.Version(), "1.3");
  TGaugeComponent component(nullptr);
  EXPECT_EQ(component.Version(), "1.3");
  // Version follows the properties every control has.
  const auto props = TProbe::StaticClass().AllProps();
  ASSERT_GE(props.size(), 2u);
  EXPECT_EQ(props[props.size() - 2]->Name, "HelpContext");
  EXPECT_EQ(props.back()->Name, "Version");
  EXPECT_EQ(TGaugeComponent::StaticClass().AllProps().back()->Name, "Version");

  std::vector<std::string> events;
  probe.OnMouseEnter = [&](TObject* s) { events.push_back(s == &probe ? "enter" : "?"); };
  probe.OnMouseLeave = [&](TObject*) { events.push_back("leave"); };
  probe.OnFontChanged = [&](TObject*) { events.push_back("font"); };
  probe.OnTextChanged = [&](TObject*) { events.push_back("text"); };
  probe.MouseEnter();
  probe.MouseLeave();
  probe.Font()->SetSize(20);
  probe.SetText("caption");
  probe.SetText("caption");
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "leave", "font", "text"}));

  TBitmap bitmap(6, 4);
  probe.SetBounds(0, 0, 6, 4);
  probe.DrawDesignFrame(bitmap.Canvas());
  EXPECT_EQ(drawtest::InkBounds(bitmap), TRect{});  // only in design state
  probe.SetDesigning(true);
  probe.DrawDesignFrame(bitmap.Canvas());
  EXPECT_EQ(drawtest::InkBounds(bitmap), Rect(0, 0, 6, 4));
  EXPECT_EQ(bitmap.Pixels(3, 2), clWhite);  // the brush is clear
}

TEST(GaugeCursors, HandPointIsRegisteredAsCursor99) {
  EXPECT_EQ(GaugeCursor(crGaugeHandPoint).Image, nullptr);
  RegisterGaugeCursors();
  RegisterGaugeCursors();
  const TGaugeCursorImage cursor = GaugeCursor(99);
  ASSERT_NE(cursor.Image, nullptr);
  EXPECT_EQ(cursor.Image->Width(), 32);
  EXPECT_EQ(cursor.Image->Height(), 32);
  EXPECT_EQ(cursor.HotSpot, (TPoint{5, 0}));
  // The tip of the finger is drawn, the corner far from it is transparent.
  EXPECT_NE(cursor.Image->StraightPixel(5, 0) >> 24, 0u);
  EXPECT_EQ(cursor.Image->StraightPixel(31, 0) >> 24, 0u);
  EXPECT_EQ(GaugeCursor(98).Image, nullptr);
}

}  // namespace
