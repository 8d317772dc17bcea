// The bitmap button: its geometry (state-to-image table, image rectangle,
// glyph cells, automatic size), its properties, the hit mask and the
// transparent colour, and the mouse tracking driven through the headless
// window system: press, leave, return, release, with the events each
// sequence fires and the image it shows.
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "GaugeBitmapButton.h"
#include "GaugeSysUtils.h"

namespace {

// ---- geometry ----------------------------------------------------------------------------

TEST(ButtonImageIndexTest, StatesPickTheirImageOrFallBackToNormal) {
  struct Case {
    bool Hover, Down, Enabled;
    int32_t Expected[4];  // for 1, 2, 3 and 4 glyphs
  };
  const Case cases[] = {
      {false, false, true, {0, 0, 0, 0}},
      {true, false, true, {0, 1, 1, 1}},
      {false, true, true, {0, 0, 2, 2}},   // pressed, hovered or not
      {true, true, true, {0, 0, 2, 2}},
      {false, false, false, {0, 0, 0, 3}},  // disabled, whatever else is set
      {true, true, false, {0, 0, 0, 3}},
  };
  for (const Case& c : cases)
    for (int32_t n = 1; n <= 4; ++n)
      EXPECT_EQ(ButtonImageIndex(c.Hover, c.Down, c.Enabled, n), c.Expected[n - 1])
          << c.Hover << c.Down << c.Enabled << " with " << n << " glyphs";
}

TEST(ButtonImageRectTest, CentredTruncatingTowardZeroAndShiftedWhileDown) {
  struct Case {
    int32_t W, H, ImageW, ImageH;
    bool Down;
    int32_t HIndent, VIndent;
    TRect Expected;
  };
  const Case cases[] = {
      {50, 50, 20, 10, false, 2, 2, Bounds(15, 20, 20, 10)},
      {50, 50, 20, 10, true, 2, 2, Bounds(17, 22, 20, 10)},
      {50, 50, 20, 10, true, 0, 7, Bounds(15, 27, 20, 10)},
      {51, 51, 20, 10, false, 2, 2, Bounds(15, 20, 20, 10)},  // the spare pixel right and below
      {40, 40, 53, 46, false, 2, 2, Bounds(-6, -3, 53, 46)},  // -13 div 2 = -6
      {50, 50, 0, 0, false, 2, 2, Bounds(25, 25, 0, 0)},      // an empty glyph
  };
  for (const Case& c : cases)
    EXPECT_EQ(ButtonImageRect(c.W, c.H, c.ImageW, c.ImageH, c.Down, c.HIndent, c.VIndent), c.Expected)
        << c.W << "x" << c.H << " down " << c.Down;
  EXPECT_THROW(ButtonImageRect(50, 50, 20, 10, true, INT_MAX, 2), EIntOverflow);
}

TEST(ButtonGlyphRectTest, EachImageIsOneCellOfTheStrip) {
  EXPECT_EQ(ButtonGlyphRect(0, 50, 50), Bounds(0, 0, 50, 50));
  EXPECT_EQ(ButtonGlyphRect(3, 50, 50), Bounds(150, 0, 50, 50));
  EXPECT_EQ(ButtonGlyphRect(2, 0, 0), Bounds(0, 0, 0, 0));
  EXPECT_THROW(ButtonGlyphRect(3, INT_MAX / 2, 1), EIntOverflow);
}

TEST(ButtonAutoSizeTest, ImagePlusIndentsPlusOne) {
  int width = 0, height = 0;
  ButtonAutoSize(50, 50, 2, 2, width, height);
  EXPECT_EQ(width, 53);
  EXPECT_EQ(height, 53);
  ButtonAutoSize(0, 0, 0, 5, width, height);
  EXPECT_EQ(width, 1);
  EXPECT_EQ(height, 6);
  EXPECT_THROW(ButtonAutoSize(INT_MAX, 1, 0, 0, width, height), EIntOverflow);
}

// ---- the widget --------------------------------------------------------------------------

// A strip of `count` images, each w x h in its own colour, with a block of
// `hole` colour in each image's top-left 5 x 5 corner.
constexpr TColor kImageColor[4] = {clRed, clLime, clNavy, clPurple};
std::unique_ptr<TBitmap> Strip(int count, int w, int h, TColor hole) {
  auto strip = std::make_unique<TBitmap>(count * w, h);
  for (int i = 0; i < count; ++i)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) strip->SetPixels(i * w + x, y, x < 5 && y < 5 ? hole : kImageColor[i]);
  return strip;
}

TEST(GaugeBitmapButtonClass, DefaultsAndPublishedOrder) {
  TGaugeBitmapButton button(nullptr);
  EXPECT_EQ(button.BoundsRect(), Bounds(0, 0, 50, 50));
  EXPECT_TRUE(button.Glyph()->Empty());
  EXPECT_EQ(button.NumGlyphs(), 1);
  EXPECT_EQ(button.VIndent(), 2);
  EXPECT_EQ(button.HIndent(), 2);
  EXPECT_EQ(button.TransparentMode(), TGaugeTransparentMode::tmColor);
  EXPECT_FALSE(button.Transparent());
  EXPECT_EQ(button.Color(), clBtnFace);
  EXPECT_FALSE(button.ParentColor());
  EXPECT_TRUE(button.ControlStyle().Contains(csOpaque));
  EXPECT_TRUE(button.ControlStyle().Contains(csReplicatable));
  EXPECT_FALSE(button.ControlStyle().Contains(csSetCaption));
  EXPECT_FALSE(button.ControlStyle().Contains(csDoubleClicks));
  EXPECT_EQ(button.ImageWidth(), 0);
  EXPECT_EQ(button.GetTransparentColor(), clBtnFace);

  std::vector<std::string> own;
  for (const TPropInfo& p : TGaugeBitmapButton::StaticClass().Props) own.push_back(p.Name);
  const std::vector<std::string> expected{
      "Glyph",       "NumGlyphs",   "VIndent",    "HIndent",     "TransparentMode", "Transparent",
      "Anchors",     "AutoSize",    "Constraints", "Color",      "DragCursor",      "DragKind",
      "DragMode",    "Enabled",     "ParentColor", "ParentShowHint", "PopupMenu",     "ShowHint",
      "Visible",     "OnClick",     "OnContextPopup", "OnDragDrop", "OnDragOver",     "OnEndDock",
      "OnEndDrag",   "OnMouseDown", "OnMouseMove", "OnMouseUp",   "OnStartDock",     "OnStartDrag"};
  EXPECT_EQ(own, expected);
  // Align and OnDblClick are not published; Hint comes from the control.
  EXPECT_EQ(TGaugeBitmapButton::StaticClass().FindProp("Align"), nullptr);
  EXPECT_EQ(TGaugeBitmapButton::StaticClass().FindProp("OnDblClick"), nullptr);
  EXPECT_NE(TGaugeBitmapButton::StaticClass().FindProp("Hint"), nullptr);
}

TEST(GaugeBitmapButtonClass, FourImagesOf50AutoSizeTo53) {
  TGaugeBitmapButton button(nullptr);
  button.SetNumGlyphs(4);
  button.SetGlyph(*Strip(4, 50, 50, clYellow));
  EXPECT_EQ(button.ImageWidth(), 50);
  EXPECT_EQ(button.ImageHeight(), 50);
  button.SetAutoSize(true);
  EXPECT_EQ(button.Width(), 53);
  EXPECT_EQ(button.Height(), 53);
  // Each indent and the image count re-apply the size.
  button.SetVIndent(5);
  EXPECT_EQ(button.Height(), 56);
  button.SetHIndent(0);
  EXPECT_EQ(button.Width(), 51);
  button.SetNumGlyphs(2);  // 200 div 2
  EXPECT_EQ(button.Width(), 101);
  // A glyph changed in place re-sizes too.
  button.Glyph()->SetSize(90, 30);
  EXPECT_EQ(button.ImageWidth(), 45);
  EXPECT_EQ(button.BoundsRect(), Bounds(0, 0, 46, 36));
}

TEST(GaugeBitmapButtonClass, NegativeIndentsAreIgnoredAndTheCountIsClamped) {
  TGaugeBitmapButton button(nullptr);
  button.SetVIndent(-1);
  button.SetHIndent(-1);
  EXPECT_EQ(button.VIndent(), 2);
  EXPECT_EQ(button.HIndent(), 2);
  button.SetVIndent(0);
  EXPECT_EQ(button.VIndent(), 0);
  const std::pair<int32_t, int32_t> counts[] = {{0, 1}, {-4, 1}, {3, 3}, {4, 4}, {9, 4}};
  for (const auto& [written, expected] : counts) {
    button.SetNumGlyphs(written);
    EXPECT_EQ(button.NumGlyphs(), expected) << written;
  }
}

TEST(GaugeBitmapButtonClass, TransparentColorInBothModes) {
  TGaugeBitmapButton button(nullptr);
  button.SetColor(clYellow);
  button.SetTransparentMode(TGaugeTransparentMode::tmPixel);
  EXPECT_EQ(button.GetTransparentColor(), clYellow);  // empty glyph
  button.SetGlyph(*Strip(1, 20, 10, clFuchsia));
  EXPECT_EQ(button.GetTransparentColor(), clFuchsia);  // the top-left pixel
  button.SetTransparentMode(TGaugeTransparentMode::tmColor);
  EXPECT_EQ(button.GetTransparentColor(), clYellow);
}

TEST(GaugeBitmapButtonClass, TheMaskFollowsGlyphAssignmentsNotLaterColours) {
  TGaugeBitmapButton button(nullptr);
  button.SetColor(clYellow);
  button.SetTransparent(true);
  // As a skin does: the glyph's data set in place, then loading ends.
  button.Glyph()->Assign(*Strip(1, 20, 10, clYellow));
  EXPECT_TRUE(button.Mask().Empty());
  button.Loaded();
  // The image lies at (15, 20); its yellow corner is a hole.
  EXPECT_EQ(button.Mask().Pixels(1, 1), clWhite);
  EXPECT_EQ(button.Mask().Pixels(10, 5), clBlack);
  EXPECT_FALSE(button.HitTest(16, 21));
  EXPECT_TRUE(button.HitTest(25, 25));

  button.SetColor(clAqua);  // not rebuilt
  EXPECT_FALSE(button.HitTest(16, 21));
  button.SetGlyph(*button.Glyph());  // rebuilt with aqua: yellow is now solid
  EXPECT_TRUE(button.HitTest(16, 21));
  EXPECT_EQ(button.Mask().Pixels(1, 1), clBlack);
}

TEST(GaugeBitmapButtonClass, HitTestIsTheImageRectangleUnlessTransparent) {
  TGaugeBitmapButton button(nullptr);
  button.SetColor(clYellow);
  button.SetGlyph(*Strip(1, 20, 10, clYellow));
  struct Case {
    int X, Y;
    bool Opaque, Transparent;
  };
  const Case cases[] = {
      {15, 20, true, false},   // the hole's corner
      {19, 24, true, false},   // still the hole
      {20, 24, true, true},    // just right of it
      {34, 29, true, true},    // bottom-right pixel
      {35, 29, false, false},  // right edge excluded
      {34, 30, false, false},  // bottom edge excluded
      {14, 25, false, false},
      {2, 2, false, false},
  };
  for (const Case& c : cases) {
    button.SetTransparent(false);
    EXPECT_EQ(button.HitTest(c.X, c.Y), c.Opaque) << c.X << "," << c.Y;
    button.SetTransparent(true);
    EXPECT_EQ(button.HitTest(c.X, c.Y), c.Transparent) << c.X << "," << c.Y;
  }
}

// A button at (10, 10) on a blue form: 50 x 50, yellow, with a strip of
// four 20 x 10 images (yellow corners), so the image lies at (25, 30) on
// the form, (27, 32) while pressed.
class ButtonWidget : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(120, 90, clBlue);
    Button = new TGaugeBitmapButton(Form);
    Button->SetBounds(10, 10, 50, 50);
    Button->SetColor(clYellow);
    Button->SetNumGlyphs(4);
    Button->SetGlyph(*Strip(4, 20, 10, clYellow));
    Button->SetParent(Form);
    Button->OnMouseDown = [this](TObject*, TMouseButton b, TShiftState, int x, int y) {
      Events.push_back("down " + std::to_string(int(b)) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    Button->OnMouseUp = [this](TObject*, TMouseButton b, TShiftState, int, int) {
      Events.push_back("up " + std::to_string(int(b)));
    };
    Button->OnClick = [this](TObject*) { Events.push_back("click"); };
    Show();
  }
  void Mouse(TWindowEvent::TKind kind, int x, int y, int button = 1) {
    System.Inject(Window, {kind, x, y, button});
    App->ProcessMessages();
  }
  // The colour shown at the image's centre, and whether the image sits in
  // its pressed place (its pressed bottom-right pixel painted).
  TColor Shown() { return Pixel(35, 35); }
  bool ShownPressed() { return Pixel(46, 41) != clYellow; }

  TGaugeBitmapButton* Button = nullptr;
  std::vector<std::string> Events;
};

TEST_F(ButtonWidget, HoverShowsImageOneAndPressImageTwoShifted) {
  EXPECT_EQ(Shown(), clRed);
  EXPECT_EQ(Pixel(26, 31), clYellow);  // the corner takes the button's colour
  Mouse(TWindowEvent::MouseMove, 35, 35);
  EXPECT_TRUE(Button->Hover());
  EXPECT_EQ(Shown(), clLime);
  EXPECT_FALSE(ShownPressed());
  Mouse(TWindowEvent::MouseDown, 35, 35);
  EXPECT_TRUE(Button->Down());
  EXPECT_TRUE(Button->Tracking());
  EXPECT_EQ(Shown(), clNavy);
  EXPECT_TRUE(ShownPressed());
  Mouse(TWindowEvent::MouseUp, 35, 35);
  EXPECT_EQ(Events, (std::vector<std::string>{"down 0 25,25", "up 0", "click"}));
  EXPECT_EQ(Shown(), clLime);
  EXPECT_FALSE(ShownPressed());
  Mouse(TWindowEvent::MouseLeave, 0, 0);
  EXPECT_FALSE(Button->Hover());
  EXPECT_EQ(Shown(), clRed);
}

TEST_F(ButtonWidget, PressLeaveReleaseFiresNeitherUpNorClick) {
  Mouse(TWindowEvent::MouseMove, 35, 35);
  Mouse(TWindowEvent::MouseDown, 35, 35);
  Mouse(TWindowEvent::MouseMove, 100, 80);  // off the button: it springs up
  EXPECT_FALSE(Button->Down());
  EXPECT_TRUE(Button->Tracking());
  EXPECT_FALSE(ShownPressed());
  Mouse(TWindowEvent::MouseUp, 100, 80);
  EXPECT_FALSE(Button->Tracking());
  EXPECT_EQ(Events, (std::vector<std::string>{"down 0 25,25"}));
}

TEST_F(ButtonWidget, PressLeaveReturnReleaseClicks) {
  Mouse(TWindowEvent::MouseMove, 35, 35);
  Mouse(TWindowEvent::MouseDown, 35, 35);
  Mouse(TWindowEvent::MouseMove, 12, 12);  // on the button, off its image
  EXPECT_FALSE(Button->Down());
  Mouse(TWindowEvent::MouseMove, 40, 36);  // back on the image: down again
  EXPECT_TRUE(Button->Down());
  EXPECT_TRUE(ShownPressed());
  Mouse(TWindowEvent::MouseUp, 40, 36);
  EXPECT_EQ(Events, (std::vector<std::string>{"down 0 25,25", "up 0", "click"}));
  EXPECT_FALSE(Button->Down());
}

TEST_F(ButtonWidget, PressesThatMissDoNotTrack) {
  struct Case {
    int X, Y;
    bool Transparent;
  };
  const Case cases[] = {
      {12, 12, false},  // inside the control, outside the image
      {26, 31, true},   // on the image's yellow corner, a hole in the mask
  };
  for (const Case& c : cases) {
    Events.clear();
    Button->SetTransparent(c.Transparent);
    Mouse(TWindowEvent::MouseDown, c.X, c.Y);
    EXPECT_FALSE(Button->Tracking()) << c.X << "," << c.Y;
    EXPECT_FALSE(Button->Down());
    Mouse(TWindowEvent::MouseMove, 35, 35);  // moving onto the image does not press it
    EXPECT_FALSE(Button->Down());
    Mouse(TWindowEvent::MouseUp, 35, 35);
    // OnMouseDown fires for every press; nothing completes.
    EXPECT_EQ(Events, (std::vector<std::string>{"down 0 " + std::to_string(c.X - 10) + "," + std::to_string(c.Y - 10)}));
  }
  // Without Transparent the corner is part of the image.
  Button->SetTransparent(false);
  Mouse(TWindowEvent::MouseDown, 26, 31);
  EXPECT_TRUE(Button->Tracking());
  Mouse(TWindowEvent::MouseUp, 26, 31);
}

TEST_F(ButtonWidget, OtherButtonsKeepTheOrdinaryEvents) {
  Mouse(TWindowEvent::MouseDown, 35, 35, 3);
  EXPECT_FALSE(Button->Tracking());
  Mouse(TWindowEvent::MouseUp, 35, 35, 3);
  EXPECT_EQ(Events, (std::vector<std::string>{"down 1 25,25", "up 1"}));
}

TEST_F(ButtonWidget, DisabledShowsImageThreeOrTheNormalOne) {
  Button->SetEnabled(false);
  EXPECT_EQ(Shown(), clPurple);
  Button->SetNumGlyphs(3);
  Button->SetGlyph(*Strip(3, 20, 10, clYellow));
  EXPECT_EQ(Shown(), clRed);
  Button->SetEnabled(true);
  // Two glyphs: pressed shows the normal image, hovered image one.
  Button->SetNumGlyphs(2);
  Button->SetGlyph(*Strip(2, 20, 10, clYellow));
  Mouse(TWindowEvent::MouseMove, 35, 35);
  EXPECT_EQ(Shown(), clLime);
  Mouse(TWindowEvent::MouseDown, 35, 35);
  EXPECT_TRUE(ShownPressed());
  EXPECT_EQ(Pixel(37, 37), clRed);
  Mouse(TWindowEvent::MouseUp, 35, 35);
}

TEST_F(ButtonWidget, TmPixelLeavesTheCornerColourOutWhileTheMaskKeepsColor) {
  Button->SetNumGlyphs(1);
  Button->SetGlyph(*Strip(1, 20, 10, clFuchsia));  // mask built with yellow: all solid
  Button->SetTransparent(true);
  EXPECT_EQ(Pixel(26, 31), clFuchsia);  // tmColor: fuchsia is painted
  Button->SetTransparentMode(TGaugeTransparentMode::tmPixel);
  EXPECT_EQ(Pixel(26, 31), clBlue);     // left out: the form shows through
  EXPECT_EQ(Pixel(35, 35), clRed);
  Mouse(TWindowEvent::MouseDown, 26, 31);
  EXPECT_TRUE(Button->Tracking()) << "the mask still takes the corner as solid";
  Mouse(TWindowEvent::MouseUp, 26, 31);
  EXPECT_EQ(Events.back(), "click");
}

}  // namespace
