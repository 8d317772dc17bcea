// The label: its placement arithmetic (text origin for every alignment,
// layout and quadrant of the angle, the automatic size), its properties and
// the order of the automatic size and the change notifications, and what it
// draws on the headless renderer (the raised default, rotated origins, the
// three decorations, the picture fill, transparency). Pixel checks look at
// where each colour lies relative to the plain text, never at glyph shapes.
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <climits>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "Forms.h"
#include "GaugeLabel.h"
#include "GaugeSysUtils.h"

namespace {

using enum TAlignment;
using enum TTextLayout;

// ---- placement arithmetic ----------------------------------------------------------------

TEST(LabelCalcTextPos, OriginForEachAlignmentLayoutAndQuadrant) {
  struct Case {
    TAlignment Alignment;
    TTextLayout Layout;
    int32_t Angle;
    TPoint Text;      // tw, th
    int32_t W, H;     // client size
    TPoint Expected;
  };
  const Case cases[] = {
      // Unrotated: left 2, right W - tw - 2, centre trunc(W/2 - tw/2).
      {taCenter, tlCenter, 0, {35, 16}, 100, 25, {32, 4}},
      {taLeftJustify, tlTop, 0, {35, 16}, 100, 25, {2, 2}},
      {taRightJustify, tlBottom, 0, {35, 16}, 100, 25, {63, 7}},
      {taCenter, tlCenter, 0, {35, 17}, 100, 24, {32, 3}},  // 12 - 8.5 = 3.5 truncates
      // 90: the text runs upward from its origin, which sits tw below the top.
      {taLeftJustify, tlTop, 90, {35, 16}, 100, 60, {2, 37}},
      {taRightJustify, tlBottom, 90, {35, 16}, 100, 60, {82, 58}},
      {taCenter, tlCenter, 90, {35, 16}, 100, 60, {42, 47}},  // trunc(50 - 8), trunc(30 + 17.5)
      // 180: upside down, the origin at the far corner of the text box.
      {taLeftJustify, tlTop, 180, {35, 16}, 100, 60, {37, 18}},
      {taRightJustify, tlBottom, 180, {35, 16}, 100, 60, {98, 58}},
      {taCenter, tlCenter, 180, {35, 16}, 100, 60, {67, 38}},
      // 270: running downward, the text box lies left of its origin.
      {taLeftJustify, tlTop, 270, {35, 16}, 100, 60, {18, 2}},
      {taRightJustify, tlBottom, 270, {35, 16}, 100, 60, {98, 23}},
      // A caption wider than the control starts at the left-justified origin.
      {taRightJustify, tlTop, 0, {150, 16}, 100, 25, {2, 2}},
      {taCenter, tlTop, 0, {150, 16}, 100, 25, {2, 2}},
      {taRightJustify, tlTop, 180, {150, 16}, 100, 25, {152, 18}},
      // The vertical origin is not limited.
      {taLeftJustify, tlBottom, 0, {35, 40}, 100, 25, {2, -17}},
      {taLeftJustify, tlCenter, 0, {35, 40}, 100, 25, {2, -7}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CalcTextPos(c.Alignment, c.Layout, c.Angle, c.Text, c.W, c.H), c.Expected)
        << int(c.Alignment) << "/" << int(c.Layout) << " at " << c.Angle;
}

TEST(LabelCalcTextPos, FortyFiveDegreesFollowsTheFormula) {
  // At 45 both sine and cosine are about 0.7071: the text box's height lies
  // left of nothing (A < 90), its width rises above the origin.
  const double c = std::cos(std::numbers::pi / 4), s = std::sin(std::numbers::pi / 4);
  EXPECT_EQ(CalcTextPos(taLeftJustify, tlTop, 45, {40, 20}, 100, 100), (TPoint{2, 2 + int(s * 40)}));
  EXPECT_EQ(CalcTextPos(taCenter, tlCenter, 45, {40, 20}, 100, 100),
            (TPoint{int(50 - c * 40 / 2 - s * 20 / 2), int(50 - c * 20 / 2 + s * 40 / 2)}));
  EXPECT_EQ(CalcTextPos(taLeftJustify, tlTop, 225, {40, 20}, 100, 100),
            (TPoint{2 + int(c * 40) + int(s * 20), 2 + int(c * 20)}));
}

TEST(LabelCalcTextPos, PositionsBeyond32BitsAreRefused) {
  EXPECT_THROW(CalcTextPos(taRightJustify, tlTop, 0, {10, 10}, INT_MIN + 5, 25), EIntOverflow);
  EXPECT_THROW(CalcTextPos(taLeftJustify, tlTop, 90, {INT_MAX, 10}, 100, 25), EIntOverflow);
}

TEST(LabelAutoSizeTest, AlignDecidesWhichSideFollowsTheRotatedText) {
  struct Case {
    TAlign Align;
    int32_t Angle;
    int ExpectedWidth, ExpectedHeight;
  };
  // Text 40 x 20 in a 100 x 25 control.
  const Case cases[] = {
      {alNone, 0, 44, 24},    {alNone, 90, 24, 44},  {alNone, 180, 44, 24}, {alNone, 270, 24, 44},
      {alLeft, 0, 44, 25},    {alRight, 90, 24, 25}, {alTop, 0, 100, 24},   {alBottom, 90, 100, 44},
      {alClient, 0, 100, 25}, {alCustom, 90, 100, 25},
  };
  for (const Case& c : cases) {
    int width = 100, height = 25;
    LabelAutoSize(c.Align, c.Angle, {40, 20}, width, height);
    EXPECT_EQ(width, c.ExpectedWidth) << int(c.Align) << " at " << c.Angle;
    EXPECT_EQ(height, c.ExpectedHeight) << int(c.Align) << " at " << c.Angle;
  }
  // 45 degrees: both sides are trunc(0.7071 x (tw + th)) + 4, up to the
  // rounding of the two products.
  int width = 0, height = 0;
  LabelAutoSize(alNone, 45, {40, 20}, width, height);
  EXPECT_EQ(width, int(0.70710678 * 60) + 4);
  EXPECT_EQ(height, width);
}

// ---- the widget --------------------------------------------------------------------------

TEST(GaugeLabelClass, DefaultsAndPublishedOrder) {
  TGaugeLabel label(nullptr);
  EXPECT_EQ(label.BoundsRect(), Bounds(0, 0, 100, 25));
  EXPECT_EQ(label.Alignment(), taCenter);
  EXPECT_EQ(label.Layout(), tlCenter);
  EXPECT_EQ(label.Style(), TGaugeLabelStyle::lsRaised);
  EXPECT_EQ(label.ColorHighlight(), clWhite);
  EXPECT_EQ(label.ColorShadow(), clGray);
  EXPECT_EQ(label.ShadowDepth(), 2);
  EXPECT_TRUE(label.Bitmap()->Empty());
  EXPECT_EQ(label.Angle(), 0);
  EXPECT_EQ(label.AngleRadians(), 0.0);
  EXPECT_FALSE(label.Transparent());
  EXPECT_EQ(label.Color(), clBtnFace);
  EXPECT_EQ(label.Font()->Name(), "Arial");
  EXPECT_EQ(label.Font()->Size(), 14);

  std::vector<std::string> own;
  for (const TPropInfo& p : TGaugeLabel::StaticClass().Props) own.push_back(p.Name);
  const std::vector<std::string> expected{
      "Alignment",     "ColorHighlight", "ColorShadow", "Style",       "Layout",         "ShadowDepth",
      "Bitmap",        "Angle",          "Transparent", "Align",       "Anchors",        "AutoSize",
      "BiDiMode",      "Constraints",    "Color",       "Caption",     "Font",           "DragCursor",
      "DragMode",      "DragKind",       "ParentColor", "ParentFont",  "ParentShowHint", "ParentBiDiMode",
      "PopupMenu",     "ShowHint",       "Visible",     "OnClick",     "OnContextPopup", "OnDblClick",
      "OnDragDrop",    "OnDragOver",     "OnEndDock",   "OnEndDrag",   "OnMouseDown",    "OnMouseMove",
      "OnMouseUp",     "OnStartDock",    "OnStartDrag"};
  EXPECT_EQ(own, expected);
  // Skins name the enumerations' values.
  const TPropInfo* style = TGaugeLabel::StaticClass().FindProp("Style");
  EXPECT_EQ(style->Enum->TypeName, "TGaugeLabelStyle");
  EXPECT_EQ(style->Enum->Names, (std::vector<std::string>{"lsNone", "lsRaised", "lsLowered", "lsShadow"}));
  EXPECT_EQ(TGaugeLabel::StaticClass().FindProp("Alignment")->Enum->TypeName, "TAlignment");
  EXPECT_EQ(TGaugeLabel::StaticClass().FindProp("Layout")->Enum->Names,
            (std::vector<std::string>{"tlTop", "tlCenter", "tlBottom"}));
}

TEST(GaugeLabelClass, AngleIsClampedAndKeepsItsRadians) {
  TGaugeLabel label(nullptr);
  const std::pair<int32_t, int32_t> cases[] = {{90, 90}, {359, 359}, {360, 359}, {1000, 359}, {-1, 0}, {45, 45}};
  for (const auto& [written, expected] : cases) {
    label.SetAngle(written);
    EXPECT_EQ(label.Angle(), expected) << written;
    EXPECT_DOUBLE_EQ(label.AngleRadians(), expected * std::numbers::pi / 180) << written;
  }
}

// A label on a form, painted on the headless renderer.
class LabelWidget : public HeadlessFormTest {
protected:
  void SetUp() override { MakeForm(240, 160, clBlue); }

  TGaugeLabel* Add(const std::string& caption, int width = 120, int height = 120) {
    auto* label = new TGaugeLabel(Form);
    label->SetBounds(10, 10, width, height);
    label->SetCaption(caption);
    label->SetParent(Form);
    return label;
  }
  // The label's last frame.
  const TBitmap& Frame(TGaugeLabel& label) {
    Form->Show();
    App->ProcessMessages();
    return label.ImageBitmap();
  }

  // The bounding box of the pixels of one colour (right and bottom inclusive).
  struct TBox {
    int Left = INT_MAX, Top = INT_MAX, Right = INT_MIN, Bottom = INT_MIN, Count = 0;
  };
  static TBox BoxOf(const TBitmap& image, TColor color) {
    TBox box;
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x)
        if (image.Pixels(x, y) == color) {
          box.Left = std::min(box.Left, x);
          box.Right = std::max(box.Right, x);
          box.Top = std::min(box.Top, y);
          box.Bottom = std::max(box.Bottom, y);
          ++box.Count;
        }
    return box;
  }
  static std::vector<TPoint> PixelsOf(const TBitmap& image, TColor color) {
    std::vector<TPoint> out;
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x)
        if (image.Pixels(x, y) == color) out.push_back({x, y});
    return out;
  }
  // Plain black text on white, as a reference for the decorated ones.
  static void Plain(TGaugeLabel& label) {
    label.SetStyle(TGaugeLabelStyle::lsNone);
    label.SetColor(clWhite);
    label.Font()->SetColor(clBlack);
  }
};

TEST_F(LabelWidget, TheRaisedDefaultIsCentredBetweenItsGreyAndWhiteCopies) {
  TGaugeLabel* label = Add("Hg", 100, 25);
  label->Font()->SetColor(clBlack);
  label->SetColor(clYellow);
  const TBitmap& raised = Frame(*label);
  const TBox text = BoxOf(raised, clBlack), shadow = BoxOf(raised, clGray), light = BoxOf(raised, clWhite);
  ASSERT_GT(text.Count, 0);
  ASSERT_GT(shadow.Count, 0);
  ASSERT_GT(light.Count, 0);
  // The grey copy one pixel down-right, the white one one pixel up-left.
  EXPECT_EQ(shadow.Right, text.Right + 1);
  EXPECT_EQ(shadow.Bottom, text.Bottom + 1);
  EXPECT_EQ(light.Left, text.Left - 1);
  EXPECT_EQ(light.Top, text.Top - 1);
  EXPECT_EQ(raised.Pixels(99, 0), clYellow);  // the face

  // Centred: the same text left- and top-justified lies at (2, 2), so the
  // centred one is moved by the centred origin minus (2, 2).
  const TPoint size = label->TextSize();
  const TPoint centre{int(50 - size.X / 2.0), int(12.5 - size.Y / 2.0)};
  label->SetAlignment(taLeftJustify);
  label->SetLayout(tlTop);
  const TBox corner = BoxOf(Frame(*label), clBlack);
  EXPECT_EQ(text.Left - corner.Left, centre.X - 2);
  EXPECT_EQ(text.Top - corner.Top, centre.Y - 2) << "th " << size.Y;
}

TEST_F(LabelWidget, RotatedTextTurnsAboutItsOrigin) {
  // The unrotated text's ink relative to its origin, then the ink at each
  // angle where turning it about CalcTextPos puts it (within a pixel of
  // hinting difference between the rotated and the upright glyphs).
  TGaugeLabel* label = Add("Hg");
  Plain(*label);
  label->SetAlignment(taLeftJustify);
  label->SetLayout(tlTop);
  const TBox upright = BoxOf(Frame(*label), clBlack);
  ASSERT_GT(upright.Count, 0);
  const int u0 = upright.Left - 2, u1 = upright.Right - 2, v0 = upright.Top - 2, v1 = upright.Bottom - 2;
  const TPoint size = label->TextSize();

  for (int32_t angle : {90, 180, 270}) {
    label->SetAngle(angle);
    const TBox ink = BoxOf(Frame(*label), clBlack);
    const TPoint o = CalcTextPos(taLeftJustify, tlTop, angle, size, 120, 120);
    TBox expected;
    if (angle == 90) {
      EXPECT_EQ(o, (TPoint{2, 2 + size.X}));  // runs upward from the text area's bottom-left to y = 2
      expected = {o.X + v0, o.Y - u1 - 1, o.X + v1, o.Y - u0 - 1};
    } else if (angle == 180) {
      EXPECT_EQ(o, (TPoint{2 + size.X, 2 + size.Y}));  // upside down in the top-left corner
      expected = {o.X - u1 - 1, o.Y - v1 - 1, o.X - u0 - 1, o.Y - v0 - 1};
    } else {
      EXPECT_EQ(o, (TPoint{2 + size.Y, 2}));
      expected = {o.X - v1 - 1, o.Y + u0, o.X - v0 - 1, o.Y + u1};
    }
    EXPECT_NEAR(ink.Left, expected.Left, 1) << angle;
    EXPECT_NEAR(ink.Top, expected.Top, 1) << angle;
    EXPECT_NEAR(ink.Right, expected.Right, 1) << angle;
    EXPECT_NEAR(ink.Bottom, expected.Bottom, 1) << angle;
    // Everything stays inside the text area the origin was chosen for.
    EXPECT_GE(ink.Left, 2);
    EXPECT_GE(ink.Top, 2);
  }
}

TEST_F(LabelWidget, AutoSizeAt45DegreesIsSquare) {
  TGaugeLabel* label = Add("Hg", 100, 25);
  label->SetAngle(45);
  label->SetAutoSize(true);
  const TPoint size = label->TextSize();
  ASSERT_GT(size.X, 0);
  const int expected = int(std::cos(std::numbers::pi / 4) * size.X + std::sin(std::numbers::pi / 4) * size.Y) + 4;
  EXPECT_EQ(label->Width(), expected);
  EXPECT_EQ(label->Height(), expected);
  EXPECT_NEAR(label->Width(), 0.7071 * (size.X + size.Y) + 4, 1.0);
}

TEST_F(LabelWidget, ARightJustifiedCaptionWiderThanTheControlStartsAtTheLeft) {
  TGaugeLabel* label = Add("Wide caption here", 40, 25);
  Plain(*label);
  label->SetAlignment(taLeftJustify);
  const TBox left = BoxOf(Frame(*label), clBlack);
  ASSERT_GT(left.Count, 0);
  for (TAlignment alignment : {taRightJustify, taCenter}) {
    label->SetAlignment(alignment);
    EXPECT_EQ(BoxOf(Frame(*label), clBlack).Left, left.Left) << int(alignment);
  }
}

TEST_F(LabelWidget, TheDecorationsOffsetTheirCopies) {
  TGaugeLabel* label = Add("Hg");
  label->SetColor(clYellow);
  label->Font()->SetColor(clBlack);
  label->SetColorHighlight(clLime);
  label->SetColorShadow(clRed);
  label->SetAlignment(taLeftJustify);
  label->SetLayout(tlTop);

  struct Case {
    TGaugeLabelStyle Style;
    int32_t Depth;
    int RedRight, LimeRight;  // right edge of each copy minus the text's; INT_MIN: none visible
  };
  const Case cases[] = {
      {TGaugeLabelStyle::lsLowered, 2, -1, 1},   // lime (highlight) down-right, red up-left
      {TGaugeLabelStyle::lsShadow, 3, 3, INT_MIN},
      {TGaugeLabelStyle::lsShadow, -2, -2, INT_MIN},
      // Depth 0: the shadow lies exactly under the text.
      {TGaugeLabelStyle::lsShadow, 0, INT_MIN, INT_MIN},
  };
  for (const Case& c : cases) {
    label->SetStyle(c.Style);
    label->SetShadowDepth(c.Depth);
    const TBitmap& frame = Frame(*label);
    const TBox text = BoxOf(frame, clBlack), red = BoxOf(frame, clRed), lime = BoxOf(frame, clLime);
    ASSERT_GT(text.Count, 0);
    if (c.RedRight == INT_MIN) EXPECT_EQ(red.Count, 0) << c.Depth;
    else EXPECT_EQ(red.Right - text.Right, c.RedRight) << int(c.Style) << " " << c.Depth;
    if (c.LimeRight == INT_MIN) EXPECT_EQ(lime.Count, 0);
    else EXPECT_EQ(lime.Right - text.Right, c.LimeRight);
  }
  // The shadow offset is the same down as right.
  label->SetShadowDepth(3);
  const TBitmap& frame = Frame(*label);
  EXPECT_EQ(BoxOf(frame, clRed).Bottom - BoxOf(frame, clBlack).Bottom, 3);
}

TEST_F(LabelWidget, APictureWithLsNoneFillsOnlyTheLetters) {
  TGaugeLabel* label = Add("Hg", 120, 40);
  Plain(*label);
  const std::vector<TPoint> letters = PixelsOf(Frame(*label), clBlack);
  ASSERT_FALSE(letters.empty());

  // Two columns: red over the left half of the control, lime over the right.
  TBitmap picture(2, 1);
  picture.SetPixels(0, 0, clRed);
  picture.SetPixels(1, 0, clLime);
  label->SetBitmap(picture);
  const TBitmap& filled = Frame(*label);
  EXPECT_TRUE(PixelsOf(filled, clBlack).empty());
  std::vector<TPoint> painted;
  for (int y = 0; y < filled.Height(); ++y)
    for (int x = 0; x < filled.Width(); ++x) {
      const TColor pixel = filled.Pixels(x, y);
      if (pixel == clWhite) continue;
      painted.push_back({x, y});
      EXPECT_EQ(pixel, x < 60 ? clRed : clLime) << x << "," << y;
    }
  EXPECT_EQ(painted, letters);

  // Raised: the picture covers the letters, the edges stay around them.
  label->SetStyle(TGaugeLabelStyle::lsRaised);
  const TBitmap& raised = Frame(*label);
  EXPECT_TRUE(PixelsOf(raised, clBlack).empty());
  EXPECT_GT(BoxOf(raised, clGray).Count, 0);
  for (const TPoint& p : letters) EXPECT_TRUE(raised.Pixels(p.X, p.Y) == clRed || raised.Pixels(p.X, p.Y) == clLime);

  // An empty picture takes the fill away again.
  label->SetBitmap(TBitmap());
  EXPECT_GT(BoxOf(Frame(*label), clBlack).Count, 0);
}

TEST_F(LabelWidget, TransparentLsNoneShowsWhatLiesBeneath) {
  TGaugeLabel* label = Add("Hg", 60, 30);
  label->SetStyle(TGaugeLabelStyle::lsNone);
  label->Font()->SetColor(clBlack);
  label->SetColor(clYellow);
  label->SetAlignment(taLeftJustify);
  label->SetLayout(tlTop);
  label->SetTransparent(true);
  Show();
  EXPECT_EQ(Pixel(10, 10), clBlue);  // the form's colour, not the label's
  EXPECT_EQ(Pixel(69, 39), clBlue);
  label->SetCaption("Hgg");  // repainted over the stored snapshot
  EXPECT_EQ(Pixel(69, 39), clBlue);
  // Opaque: the text cell takes the label's colour.
  label->SetTransparent(false);
  EXPECT_EQ(Pixel(10, 10), clYellow);
}

TEST_F(LabelWidget, NewFontOrCaptionSizesFirstThenNotifies) {
  TGaugeLabel* label = Add("Hg", 100, 25);
  label->SetAutoSize(true);
  Form->Show();
  App->ProcessMessages();
  std::vector<std::string> events;
  label->OnTextChanged = [&](TObject*) { events.push_back("text " + std::to_string(label->Width())); };
  label->OnFontChanged = [&](TObject*) { events.push_back("font " + std::to_string(label->Height())); };
  const int width = label->Width();
  label->SetCaption("HgHgHg");
  const int wider = label->Width();
  EXPECT_GT(wider, width);
  const int height = label->Height();
  label->Font()->SetSize(28);
  EXPECT_GT(label->Height(), height);
  EXPECT_EQ(events, (std::vector<std::string>{"text " + std::to_string(wider),
                                              "font " + std::to_string(label->Height())}));
  // An angle re-applies the size too.
  const TPoint size = label->TextSize();
  label->SetAngle(90);
  EXPECT_EQ(label->Width(), size.Y + 4);
  EXPECT_EQ(label->Height(), size.X + 4);
}

TEST_F(LabelWidget, EachSetterRepaintsOnlyForANewValue) {
  // The label is not opaque, so a repaint goes through the form: count
  // presents of its window.
  TGaugeLabel* label = Add("Hg", 100, 25);
  Show();
  const auto presents = [&] {
    App->ProcessMessages();
    return Window->PresentCount();
  };
  int before = presents();
  label->SetStyle(TGaugeLabelStyle::lsRaised);
  label->SetAlignment(taCenter);
  label->SetLayout(tlCenter);
  label->SetShadowDepth(2);
  label->SetColorHighlight(clWhite);
  label->SetColorShadow(clGray);
  label->SetAngle(0);
  EXPECT_EQ(presents(), before);
  label->SetColorShadow(clRed);
  EXPECT_EQ(presents(), before + 1);
}

}  // namespace
