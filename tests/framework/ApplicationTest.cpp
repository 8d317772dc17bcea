// The message loop, timers, Synchronize, exception reporting, the paint
// cycle and mouse dispatch, on the headless window system.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <string>
#include <thread>

#include "ExtCtrls.h"
#include "Forms.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

class Loop : public ::testing::Test {
protected:
  void SetUp() override {
    System.SetEchoMessageBoxes(false);
    App = std::make_unique<TApplication>(System);
    App->SetTitle("SkinVELQ");
  }
  void TearDown() override { App.reset(); }
  THeadlessWindowSystem System;
  std::unique_ptr<TApplication> App;
};

TEST_F(Loop, TimersFireOnTheClockAndCoalesceWhenLate) {
  int ticks = 0;
  const auto id = App->SetTimer(100, [&] { ++ticks; });
  App->ProcessMessages();
  EXPECT_EQ(ticks, 0);
  System.AdvanceClock(99);
  App->ProcessMessages();
  EXPECT_EQ(ticks, 0);
  System.AdvanceClock(1);
  App->ProcessMessages();
  EXPECT_EQ(ticks, 1);
  // A loop that was busy for 3.5 periods sees one tick, not a burst.
  System.AdvanceClock(350);
  App->ProcessMessages();
  App->ProcessMessages();
  EXPECT_EQ(ticks, 2);
  App->KillTimer(id);
  System.AdvanceClock(1000);
  App->ProcessMessages();
  EXPECT_EQ(ticks, 2);
}

TEST_F(Loop, OneShotTimerComponent) {
  TForm* form = new TForm(App.get());
  auto* timer = new TTimer(form);
  int fired = 0;
  timer->SetInterval(2000);
  timer->OnTimer = nullptr;
  timer->SetOnTimer([&](TObject*) {
    timer->SetEnabled(false);
    ++fired;
  });
  // HandleMessage waits up to the next timer: on the manual clock the wait
  // moves time forward by exactly that much.
  App->HandleMessage();
  EXPECT_EQ(System.NowMs(), 2000);
  EXPECT_EQ(fired, 1);
  System.AdvanceClock(10000);
  App->ProcessMessages();
  EXPECT_EQ(fired, 1);
}

TEST_F(Loop, ExceptionBoxTextAddsAPeriodAfterHigherCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"Error", "Error."}, {"Done.", "Done."},       {"", ""},   {"Why!", "Why!"},
      {"(a)", "(a)"},      {"caf\xC3\xA9", "caf\xC3\xA9."}, {"x1", "x1."}, {"a,", "a,"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TApplication::ExceptionBoxText(in), out) << in;
  App->Post([] { throw Exception("Unable to map view of buffer"); });
  App->Post([] { throw Exception("Impossible d'ouvrir le fichier \"x\". No such file or directory"); });
  App->ProcessMessages();
  ASSERT_EQ(System.MessageBoxes().size(), 2u);
  EXPECT_EQ(System.MessageBoxes()[0].Caption, "SkinVELQ");
  EXPECT_EQ(System.MessageBoxes()[0].Text, "Unable to map view of buffer.");
  EXPECT_TRUE(System.MessageBoxes()[0].Error);
  EXPECT_EQ(System.MessageBoxes()[1].Text, "Impossible d'ouvrir le fichier \"x\". No such file or directory.");
}

TEST_F(Loop, SynchronizeRunsOnTheLoopAndNeverDeadlocksAtShutdown) {
  std::atomic<int> ran{0};
  std::thread::id where;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) App->Synchronize([&] {
        ++ran;
        where = std::this_thread::get_id();
      });
    finished = true;
  });
  // The user-interface thread waits for the worker while serving it.
  App->RunSynchronizedUntil([&] { return finished.load(); });
  worker.join();
  EXPECT_EQ(ran, 50);
  EXPECT_EQ(where, std::this_thread::get_id());

  // Once the loop has ended, a worker's hand-over returns without running.
  App->Terminate();
  App->Run();
  bool result = true;
  std::thread late([&] { result = App->Synchronize([&] { ++ran; }); });
  late.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(ran, 50);
}

TEST_F(Loop, PostedMessagesReachLiveFormsOnly) {
  struct TCounting : TForm {
    using TForm::TForm;
    int Seen = 0;
    void DefaultHandler(TMessage& m) override {
      if (m.Msg == RegisterWindowMessage("UWM_TEST")) ++Seen;
    }
  };
  auto* form = new TCounting(App.get());
  const uint32_t id = RegisterWindowMessage("UWM_TEST");
  EXPECT_EQ(id, RegisterWindowMessage("UWM_TEST"));
  EXPECT_GE(id, kFirstRegisteredMessage);
  App->PostMessage(form, {id, 1, 2, 0});
  App->PostMessage(form, {id, 0, 0, 0});
  App->ProcessMessages();
  EXPECT_EQ(form->Seen, 2);
  App->PostMessage(form, {id, 0, 0, 0});
  delete form;
  App->ProcessMessages();  // must not touch the deleted form (ASan)
}

TEST_F(Loop, PostedWorkAndMessagesRunInTheOrderTheyWerePosted) {
  std::vector<std::string> order;
  struct TRecording : TForm {
    TRecording(TComponent* owner, std::vector<std::string>& log) : TForm(owner), Log(log) {}
    std::vector<std::string>& Log;
    void DefaultHandler(TMessage& m) override { Log.push_back("message " + std::to_string(m.WParam)); }
  };
  auto* form = new TRecording(App.get(), order);
  const uint32_t id = RegisterWindowMessage("UWM_ORDER");
  App->Post([&] { order.push_back("work 1"); });
  App->PostMessage(form, {id, 1, 0, 0});
  App->Post([&] {
    order.push_back("work 2");
    App->PostMessage(form, {id, 3, 0, 0});  // posted while the batch runs: the next pass
  });
  App->PostMessage(form, {id, 2, 0, 0});
  App->ProcessMessages();
  EXPECT_EQ(order, (std::vector<std::string>{"work 1", "message 1", "work 2", "message 2"}));
  App->ProcessMessages();
  EXPECT_EQ(order.back(), "message 3");
}

// A control that fills itself with one colour and logs its paints.
class TSwatch : public TGraphicControl {
public:
  TSwatch(TComponent* owner, std::vector<std::string>& log, TColor color, bool opaque)
      : TGraphicControl(owner), FLog(log), FFill(color) {
    if (opaque) ControlStyle().Include(csOpaque);
  }
  TRect LastClip;
  void SetFill(TColor color) { FFill = color; }

protected:
  void Paint() override {
    FLog.push_back(Name());
    LastClip = Canvas()->ClipRect();
    Canvas()->Brush().SetColor(FFill);
    Canvas()->FillRect(ClientRect());
  }

private:
  std::vector<std::string>& FLog;
  TColor FFill;
};

class Painting : public Loop {
protected:
  void SetUp() override {
    Loop::SetUp();
    Form = new TForm(App.get());
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(10, 20, 100, 60);
    Form->SetColor(clBlue);
    Opaque = AddSwatch("Opaque", clRed, true, Bounds(10, 10, 30, 30));
    Clear = AddSwatch("Clear", clLime, false, Bounds(30, 20, 30, 30));
    Form->Show();
    Log.clear();
    Window = System.Windows().back();
  }
  TSwatch* AddSwatch(const char* name, TColor color, bool opaque, const TRect& r) {
    auto* s = new TSwatch(Form, Log, color, opaque);
    s->SetName(name);
    s->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    s->SetParent(Form);
    return s;
  }
  TForm* Form = nullptr;
  TSwatch* Opaque = nullptr;
  TSwatch* Clear = nullptr;
  THeadlessWindow* Window = nullptr;
  std::vector<std::string> Log;
};

TEST_F(Painting, ShowPaintsBackgroundThenControlsInCreationOrder) {
  EXPECT_EQ(Window->ClassName(), "TForm");
  EXPECT_EQ(Window->Bounds(), Bounds(10, 20, 100, 60));
  EXPECT_TRUE(Window->Visible() && Window->Borderless());
  EXPECT_EQ(Window->ScreenPixel(0, 0), clBlue);
  EXPECT_EQ(Window->ScreenPixel(15, 15), clRed);
  EXPECT_EQ(Window->ScreenPixel(35, 25), clLime);  // the later control lies on top
  EXPECT_EQ(Window->ScreenPixel(59, 49), clLime);
  EXPECT_EQ(Window->ScreenPixel(60, 50), clBlue);  // right and bottom edges are exclusive
}

TEST_F(Painting, OpaqueRepaintPaintsTheControlThenWhatLiesAboveIt) {
  // Above the opaque control in the paint order: the clear one (already
  // there), an opaque one over its top-left corner, an invisible one over
  // it and one elsewhere.
  TSwatch* top = AddSwatch("Top", clWhite, true, Bounds(5, 5, 10, 10));
  TSwatch* hidden = AddSwatch("Hidden", clYellow, true, Bounds(12, 12, 5, 5));
  hidden->SetVisible(false);
  AddSwatch("Apart", clYellow, true, Bounds(70, 0, 20, 15));
  App->ProcessMessages();
  Log.clear();
  const int presents = Window->PresentCount();

  Opaque->SetFill(clNavy);
  Opaque->Repaint();
  // The controls above that meet it, in paint order, each clipped to its
  // area (in their own coordinates); nothing else.
  EXPECT_EQ(Log, (std::vector<std::string>{"Opaque", "Clear", "Top"}));
  EXPECT_EQ(Clear->LastClip, Rect(0, 0, 10, 20));
  EXPECT_EQ(top->LastClip, Rect(5, 5, 10, 10));
  App->ProcessMessages();  // one present for the batch
  EXPECT_EQ(Window->PresentCount(), presents + 1);
  struct Probe {
    int X, Y;
    TColor Color;
  };
  const Probe probes[] = {
      {20, 30, clNavy},  // the repainted control
      {35, 25, clLime},  // the clear control above it
      {12, 12, clWhite}, // the opaque one above it (the invisible one stays invisible)
      {7, 7, clWhite},   // the part of it outside the repainted area
      {45, 45, clLime},
  };
  for (const Probe& p : probes) EXPECT_EQ(Window->ScreenPixel(p.X, p.Y), p.Color) << p.X << "," << p.Y;

  // A control with nothing above it repaints alone.
  Log.clear();
  top->Repaint();
  EXPECT_EQ(Log, std::vector<std::string>{"Top"});
  // The clear control's repaint paints what lies beneath first, then every
  // control that meets its area, in creation order, clipped to that area.
  Log.clear();
  Clear->Repaint();
  EXPECT_EQ(Log, (std::vector<std::string>{"Opaque", "Clear"}));
  EXPECT_EQ(Opaque->LastClip, Rect(20, 10, 30, 30));  // in the control's own coordinates
  EXPECT_EQ(Clear->LastClip, Rect(0, 0, 30, 30));
}

TEST_F(Painting, APresentCarriesOnlyTheRectanglesThatChanged) {
  TSwatch* apart = AddSwatch("Apart", clYellow, true, Bounds(70, 0, 20, 15));
  App->ProcessMessages();
  const int presents = Window->PresentCount();

  Opaque->SetFill(clNavy);
  Opaque->Repaint();
  apart->SetFill(clWhite);
  apart->Repaint();
  App->ProcessMessages();
  EXPECT_EQ(Window->PresentCount(), presents + 1);
  std::vector<TRect> presented = Window->LastPresented();
  std::sort(presented.begin(), presented.end(), [](const TRect& a, const TRect& b) { return a.Left < b.Left; });
  EXPECT_EQ(presented, (std::vector<TRect>{Bounds(10, 10, 30, 30), Bounds(70, 0, 20, 15)}));
  EXPECT_EQ(Window->ScreenPixel(20, 20), clNavy);
  EXPECT_EQ(Window->ScreenPixel(75, 5), clWhite);
  EXPECT_EQ(Window->ScreenPixel(50, 5), clBlue);  // between them, unchanged

  // Nothing changed: nothing presented.
  App->ProcessMessages();
  EXPECT_EQ(Window->PresentCount(), presents + 1);
}

TEST_F(Painting, InvalidationsCollectUntilTheLoopPaints) {
  Opaque->Invalidate();
  Opaque->Invalidate();
  EXPECT_TRUE(Log.empty());
  App->ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"Opaque", "Clear"}));
  Log.clear();
  Opaque->SetVisible(false);
  App->ProcessMessages();
  EXPECT_EQ(Window->ScreenPixel(15, 15), clBlue);
  EXPECT_EQ(Log, std::vector<std::string>{"Clear"});
}

TEST_F(Painting, MouseClicksCaptureAndHover) {
  int clicks = 0;
  std::vector<TPoint> moves;
  Opaque->OnClick = [&](TObject* sender) {
    EXPECT_EQ(sender, Opaque);
    ++clicks;
  };
  Opaque->OnMouseMove = [&](TObject*, TShiftState, int x, int y) { moves.push_back({x, y}); };
  // A control that counts the pointer entering and leaving it.
  struct Hover : TSwatch {
    using TSwatch::TSwatch;
    int Enters = 0, Leaves = 0;
    void MouseEnter() override { ++Enters; }
    void MouseLeave() override { ++Leaves; }
  };
  auto* hover = new Hover(Form, Log, clWhite, true);
  hover->SetBounds(70, 0, 20, 15);
  hover->SetParent(Form);
  auto press = [&](TWindowEvent::TKind kind, int x, int y) {
    System.Inject(Window, {kind, x, y, 1});
    App->ProcessMessages();
  };
  press(TWindowEvent::MouseDown, 15, 15);
  press(TWindowEvent::MouseUp, 16, 16);
  EXPECT_EQ(clicks, 1);
  // Pressed inside, released outside: no click; the control keeps the
  // mouse while the button is down.
  press(TWindowEvent::MouseDown, 15, 15);
  press(TWindowEvent::MouseMove, 90, 55);
  press(TWindowEvent::MouseUp, 90, 55);
  EXPECT_EQ(clicks, 1);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back(), (TPoint{80, 45}));
  // Where the later control overlaps, it gets the click.
  press(TWindowEvent::MouseDown, 35, 25);
  press(TWindowEvent::MouseUp, 35, 25);
  EXPECT_EQ(clicks, 1);
  // Hover: entering, moving inside, leaving to the form, then the window.
  press(TWindowEvent::MouseMove, 75, 5);
  press(TWindowEvent::MouseMove, 80, 10);
  EXPECT_EQ(hover->Enters, 1);
  EXPECT_EQ(hover->Leaves, 0);
  press(TWindowEvent::MouseMove, 75, 30);
  EXPECT_EQ(hover->Leaves, 1);
  press(TWindowEvent::MouseMove, 75, 5);
  System.Inject(Window, {TWindowEvent::MouseLeave, 0, 0, 1});
  App->ProcessMessages();
  EXPECT_EQ(hover->Enters, 2);
  EXPECT_EQ(hover->Leaves, 2);
}

TEST_F(Painting, ClosingTheMainFormEndsTheLoop) {
  std::vector<std::string> order;
  Form->OnCloseQuery = [&](TObject*, bool& canClose) {
    order.push_back("query");
    canClose = true;
  };
  Form->OnClose = [&](TObject*, TCloseAction& action) {
    order.push_back("close");
    EXPECT_EQ(action, caHide);
  };
  System.Inject(Window, {TWindowEvent::CloseRequest, 0, 0, 1});
  App->ProcessMessages();
  EXPECT_EQ(order, (std::vector<std::string>{"query", "close"}));
  EXPECT_TRUE(App->Terminated());
}

TEST_F(Painting, ColourKeyAndOpacityReachTheWindow) {
  Form->SetTransparentColorValue(clFuchsia);
  Form->SetTransparentColor(true);
  Form->SetAlphaBlendValue(128);
  Form->SetAlphaBlend(true);
  EXPECT_TRUE(Window->ColorKeyEnabled());
  EXPECT_EQ(Window->ColorKey(), static_cast<uint32_t>(clFuchsia));
  EXPECT_EQ(Window->Opacity(), 128);
}

}  // namespace

namespace {
TEST_F(Loop, AFormMadeVisibleWhileLoadingShowsOnceLoadedAtItsPosition) {
  auto* form = new TForm(App.get());
  int shows = 0;
  form->OnShow = [&](TObject*) { ++shows; };
  form->BeginLoading();
  form->SetBorderStyle(bsNone);
  form->SetPosition(poScreenCenter);
  form->SetBounds(0, 0, 200, 100);
  form->SetVisible(true);
  EXPECT_TRUE(System.Windows().empty());  // nothing is shown while loading
  form->EndReading();
  form->Loaded();
  ASSERT_EQ(System.Windows().size(), 1u);
  EXPECT_TRUE(System.Windows()[0]->Visible());
  EXPECT_EQ(System.Windows()[0]->Bounds(), Bounds(412, 334, 200, 100));  // centred on 1024 x 768
  EXPECT_EQ(shows, 1);
  form->Show();  // already shown: no second OnShow
  EXPECT_EQ(shows, 1);
}
}  // namespace
