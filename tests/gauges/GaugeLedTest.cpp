// The indicator lamp: its cell arithmetic (cell sizes, the ls3 thirds of the
// two-cell built-in strips, cells beyond the strip), the Active / States
// rules with OnChange, the working strip, and what it draws on the headless
// renderer (lamp and caption placement, palette, transparency).
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "GaugeLed.h"
#include "GaugeResources.h"
#include "GaugeSysUtils.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

using A = TGaugeLedActive;
using S = TGaugeLedState;
using T = TGaugeLedType;

// ---- cell arithmetic ---------------------------------------------------------------------

TEST(LedCells, StripNamesAndCellCounts) {
  EXPECT_EQ(LedStripResource(T::ltRounded), "LI_RND");
  EXPECT_EQ(LedStripResource(T::ltRectangle), "LI_RECT");
  EXPECT_EQ(LedStripResource(T::ltLargeRect), "LI_BIG");
  EXPECT_EQ(LedStripResource(T::ltCustom), "");
  EXPECT_EQ(LedCellCount(S::ls2), 2);
  EXPECT_EQ(LedCellCount(S::ls3), 3);
}

TEST(LedCells, TheShownCellCutToTheStrip) {
  struct Case {
    const char* What;
    int32_t StripWidth, StripHeight;
    S States;
    A Active;
    TLedCellCopy Expected;  // lamp drawn at (10, 8)
  };
  const Case cases[] = {
      {"rounded, ls3: the first third", 18, 9, S::ls3, A::la1, {Rect(0, 0, 6, 9), Rect(10, 8, 16, 17)}},
      {"rounded, ls3, la3: the last third", 18, 9, S::ls3, A::la3, {Rect(12, 0, 18, 9), Rect(10, 8, 16, 17)}},
      {"rounded, ls2, la2: the on lamp", 18, 9, S::ls2, A::la2, {Rect(9, 0, 18, 9), Rect(10, 8, 19, 17)}},
      {"large bar, ls2", 34, 7, S::ls2, A::la2, {Rect(17, 0, 34, 7), Rect(10, 8, 27, 15)}},
      {"flat bar, ls3, la2", 20, 5, S::ls3, A::la2, {Rect(6, 0, 12, 5), Rect(10, 8, 16, 13)}},
      // la3 kept after States went down to ls2: the cell lies beyond the strip.
      {"la3 with ls2: nothing", 18, 9, S::ls2, A::la3, {}},
      // An odd strip: the third half-cell reaches one column into the strip;
      // only that column is copied, to the cell's left edge, unstretched.
      {"la3 with ls2 on 19 columns", 19, 9, S::ls2, A::la3, {Rect(18, 0, 19, 9), Rect(10, 8, 11, 17)}},
      {"a strip narrower than its cells", 2, 9, S::ls3, A::la1, {}},
      {"an empty strip", 0, 0, S::ls3, A::la1, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LedCellCopy(c.StripWidth, c.StripHeight, c.States, c.Active, {10, 8}), c.Expected) << c.What;
  EXPECT_EQ(LedCellSize(18, 9, S::ls3), (TPoint{6, 9}));
  EXPECT_EQ(LedCellSource({9, 9}, A::la3), Rect(18, 0, 27, 9));
}

// ---- the widget's model ------------------------------------------------------------------

TEST(Led, ConstructorDefaultsAndTheBuiltInStrips) {
  TGaugeLed led(nullptr);
  EXPECT_EQ(led.BoundsRect(), Bounds(0, 0, 25, 25));
  EXPECT_EQ(led.Active(), A::la1);
  EXPECT_EQ(led.States(), S::ls3);
  EXPECT_EQ(led.LedType(), T::ltRounded);
  EXPECT_EQ(led.Layout(), TGaugeImageTextLayout::ImageLeft);
  EXPECT_EQ(led.Margin(), -1);
  EXPECT_EQ(led.Spacing(), 5);
  EXPECT_FALSE(led.Transparent());
  EXPECT_EQ(led.Color(), clBlack);
  EXPECT_FALSE(led.ParentColor());
  EXPECT_EQ(led.Font()->Color(), clWhite);
  EXPECT_EQ(led.Palette()->Low(), TColor(0x000080));   // (128,0,0)
  EXPECT_EQ(led.Palette()->High(), TColor(0x0000FF));  // (255,0,0)
  EXPECT_TRUE(led.Glyphs()->Empty());
  EXPECT_TRUE(led.ControlStyle().Contains(csOpaque));
  struct Case {
    T Type;
    int Width, Height;
  };
  for (const Case& c : {Case{T::ltRounded, 18, 9}, Case{T::ltRectangle, 20, 5}, Case{T::ltLargeRect, 34, 7}}) {
    led.SetLedType(c.Type);
    EXPECT_EQ(led.WorkingStrip().Width(), c.Width) << int(c.Type);
    EXPECT_EQ(led.WorkingStrip().Height(), c.Height) << int(c.Type);
  }
  led.SetLedType(T::ltCustom);
  EXPECT_TRUE(led.WorkingStrip().Empty());  // no Glyphs: no lamp
}

TEST(Led, PublishesItsPropertiesInOrder) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TGaugeLed::StaticClass().Props) own.push_back(p.Name);
  const std::vector<std::string> expected{
      "Active",      "Palette",        "LedType",    "Layout",     "Margin",     "Spacing",     "Transparent",
      "Glyphs",      "OnChange",       "Align",      "Anchors",    "BiDiMode",   "Constraints", "Caption",
      "Color",       "DragCursor",     "DragKind",   "DragMode",   "Font",       "ParentBiDiMode",
      "ParentColor", "ParentFont",     "ParentShowHint", "PopupMenu", "ShowHint", "Visible",     "States",
      "OnClick",     "OnContextPopup", "OnDragDrop", "OnDragOver", "OnEndDock",  "OnEndDrag",   "OnMouseDown",
      "OnMouseMove", "OnMouseUp",      "OnStartDock", "OnStartDrag"};
  EXPECT_EQ(own, expected);
  EXPECT_TRUE(TGaugeCustomLed::StaticClass().Props.empty());
  EXPECT_EQ(TGaugeLed::StaticClass().FindProp("OnDblClick"), nullptr);
  EXPECT_EQ(TGaugeLed::StaticClass().FindProp("States")->Enum->Names, (std::vector<std::string>{"ls2", "ls3"}));
  EXPECT_EQ(TGaugeLed::StaticClass().FindProp("Active")->Enum->Names,
            (std::vector<std::string>{"la1", "la2", "la3"}));
  EXPECT_EQ(TGaugeLed::StaticClass().FindProp("LedType")->Enum->Names,
            (std::vector<std::string>{"ltRounded", "ltRectangle", "ltLargeRect", "ltCustom"}));
}

TEST(Led, ActiveAndStatesRulesWithOnChange) {
  struct Step {
    const char* What;
    std::function<void(TGaugeLed&)> Write;
    A Active;
    S States;
    int Changes;  // OnChange calls so far
  };
  const Step steps[] = {
      {"la1 again: nothing", [](TGaugeLed& l) { l.SetActive(A::la1); }, A::la1, S::ls3, 0},
      {"la3 under ls3", [](TGaugeLed& l) { l.SetActive(A::la3); }, A::la3, S::ls3, 1},
      {"ls2 keeps la3", [](TGaugeLed& l) { l.SetStates(S::ls2); }, A::la3, S::ls2, 2},
      {"la1", [](TGaugeLed& l) { l.SetActive(A::la1); }, A::la1, S::ls2, 3},
      {"la3 under ls2 is stored as la2", [](TGaugeLed& l) { l.SetActive(A::la3); }, A::la2, S::ls2, 4},
      {"la3 again: still la2, no change", [](TGaugeLed& l) { l.SetActive(A::la3); }, A::la2, S::ls2, 4},
      {"ls3 keeps la2", [](TGaugeLed& l) { l.SetStates(S::ls3); }, A::la2, S::ls3, 5},
      {"ls3 again: nothing", [](TGaugeLed& l) { l.SetStates(S::ls3); }, A::la2, S::ls3, 5},
      {"margin, spacing, layout: no OnChange",
       [](TGaugeLed& l) {
         l.SetMargin(3);
         l.SetSpacing(-1);
         l.SetLayout(TGaugeImageTextLayout::ImageBottom);
       },
       A::la2, S::ls3, 5},
  };
  TGaugeLed led(nullptr);
  int changes = 0;
  led.SetOnChange([&](TObject* sender) {
    EXPECT_EQ(sender, &led);
    ++changes;
  });
  for (const Step& s : steps) {
    s.Write(led);
    EXPECT_EQ(led.Active(), s.Active) << s.What;
    EXPECT_EQ(led.States(), s.States) << s.What;
    EXPECT_EQ(changes, s.Changes) << s.What;
  }
}

TEST(Led, GlyphsChangedInPlaceRefillTheCustomStrip) {
  TGaugeLed led(nullptr);
  led.SetLedType(T::ltCustom);
  TBitmap strip(12, 4);
  led.SetGlyphs(strip);
  EXPECT_EQ(led.WorkingStrip().Width(), 12);
  led.Glyphs()->SetSize(30, 10);  // as a skin's Glyphs.Data or a loaded file does
  EXPECT_EQ(led.WorkingStrip().Width(), 30);
  EXPECT_EQ(led.WorkingStrip().Height(), 10);
  // A built-in type ignores Glyphs.
  led.SetLedType(T::ltRectangle);
  led.Glyphs()->SetSize(3, 3);
  EXPECT_EQ(led.WorkingStrip().Width(), 20);
}

// ---- pixels ------------------------------------------------------------------------------

// The built-in strip with its key colours replaced, pixel by pixel.
std::unique_ptr<TBitmap> Recoloured(const char* name, TColor low, TColor high) {
  auto strip = std::make_unique<TBitmap>();
  strip->LoadFromBytes(FindGlyphResource(name));
  for (int y = 0; y < strip->Height(); ++y)
    for (int x = 0; x < strip->Width(); ++x) {
      const TColor c = strip->Pixels(x, y);
      if (c == clMaroon) strip->SetPixels(x, y, low);
      else if (c == clRed) strip->SetPixels(x, y, high);
    }
  return strip;
}

// A three-cell custom strip of 5 x 4 cells: cell k in its own colour, with
// one pixel of the key colour (the lamp's Color) in each cell.
constexpr TColor kKey = TColor(0x204060);
TColor CellColor(int k) { return TColor(0x101010 * (k + 1) + 0x000080); }
std::unique_ptr<TBitmap> ThreeCellStrip() {
  auto strip = std::make_unique<TBitmap>(15, 4);
  for (int k = 0; k < 3; ++k)
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) strip->SetPixels(k * 5 + x, y, x == 2 && y == 1 ? kKey : CellColor(k));
  return strip;
}

constexpr TColor kForm = clGreen;
constexpr TPoint kAt{10, 10};  // the lamp's place on the form

class LedPixels : public HeadlessFormTest {
protected:
  void SetUp() override { MakeForm(160, 80, kForm); }

  // The size of a caption in the lamp's font, as the layout measures it.
  TPoint CaptionSize(TGaugeLed& led, const std::string& caption) {
    TBitmap scratch(1, 1);
    scratch.Canvas().Font().Assign(*led.Font());
    TRect r = Rect(0, 0, led.Width(), 0);
    scratch.Canvas().DrawText(caption, r, DT_CALCRECT);
    return {r.Right, r.Bottom};
  }
};

TEST_F(LedPixels, LampAndCaptionPlacement) {
  struct Case {
    const char* What;
    int Width, Height;
    std::string Caption;
    std::function<void(TGaugeLed&)> Setup;
    // Expected lamp and caption rectangles from the caption's measured size.
    std::function<TRect(TPoint)> Lamp, CaptionRect;
    const TBitmap* Strip;  // the strip the lamp is cut from
    TColor Transparent;    // its transparent colour
  };
  const auto rounded = Recoloured("LI_RND", clMaroon, clRed);
  const auto repainted = Recoloured("LI_RND", clNavy, clYellow);
  const auto custom = ThreeCellStrip();
  const TRect none{};
  const Case cases[] = {
      {"default 25 x 25: 6 x 9 lamp at (10, 8), the first third", 25, 25, "", [](TGaugeLed&) {},
       [](TPoint) { return Bounds(10, 8, 6, 9); }, [&](TPoint) { return none; },
       rounded.get(), clBlack},
      {"ls2, la2: the red 9 x 9 lamp at (8, 8)", 25, 25, "",
       [](TGaugeLed& l) {
         l.SetStates(S::ls2);
         l.SetActive(A::la2);
       },
       [](TPoint) { return Bounds(8, 8, 9, 9); }, [&](TPoint) { return none; }, rounded.get(), clBlack},
      {"palette recolours the on lamp", 25, 25, "",
       [](TGaugeLed& l) {
         l.SetStates(S::ls2);
         l.SetActive(A::la2);
         TGaugePalette p;
         p.SetLow(clNavy);
         p.SetHigh(clYellow);
         l.SetPalette(&p);
       },
       [](TPoint) { return Bounds(8, 8, 9, 9); }, [&](TPoint) { return none; }, repainted.get(), clBlack},
      {"ImageLeft, Margin -1, Spacing 5: the pair centred", 90, 25, "Oil", [](TGaugeLed&) {},
       [](TPoint t) { return Bounds((90 - (6 + 5 + t.X) + 1) / 2, 8, 6, 9); },
       [](TPoint t) {
         const int lamp = (90 - (6 + 5 + t.X) + 1) / 2;
         return Bounds(lamp + 6 + 5, (25 - t.Y + 1) / 2, t.X, t.Y);
       },
       rounded.get(), clBlack},
      {"Margin -1, Spacing -1: the free width in three parts", 90, 25, "Oil",
       [](TGaugeLed& l) { l.SetSpacing(-1); },
       [](TPoint t) { return Bounds((90 - 6 - t.X) / 3, 8, 6, 9); },
       [](TPoint t) {
         const int third = (90 - 6 - t.X) / 3;
         return Bounds(third + 6 + third, (25 - t.Y + 1) / 2, t.X, t.Y);
       },
       rounded.get(), clBlack},
      {"ImageRight, Margin 4, Spacing -1: caption centred in the rest", 90, 25, "Oil",
       [](TGaugeLed& l) {
         l.SetLayout(TGaugeImageTextLayout::ImageRight);
         l.SetMargin(4);
         l.SetSpacing(-1);
       },
       [](TPoint) { return Bounds(90 - 4 - 6, 8, 6, 9); },
       [](TPoint t) {
         const int spacing = (90 - (4 + 6) - t.X) / 2;
         return Bounds(90 - 4 - 6 - spacing - t.X, (25 - t.Y + 1) / 2, t.X, t.Y);
       },
       rounded.get(), clBlack},
      {"ImageTop, Margin -1, Spacing 2", 40, 60, "Oil",
       [](TGaugeLed& l) {
         l.SetLayout(TGaugeImageTextLayout::ImageTop);
         l.SetSpacing(2);
       },
       [](TPoint t) { return Bounds((40 - 6 + 1) / 2, (60 - (9 + 2 + t.Y) + 1) / 2, 6, 9); },
       [](TPoint t) {
         const int lamp = (60 - (9 + 2 + t.Y) + 1) / 2;
         return Bounds((40 - t.X + 1) / 2, lamp + 9 + 2, t.X, t.Y);
       },
       rounded.get(), clBlack},
      // Transparent, so that the key pixels show the form, not the face.
      {"custom three-cell strip, la3: the right third, Color transparent", 25, 25, "",
       [&](TGaugeLed& l) {
         l.SetTransparent(true);
         l.SetColor(kKey);
         l.SetLedType(T::ltCustom);
         l.SetGlyphs(*custom);
         l.SetActive(A::la3);
       },
       [](TPoint) { return Bounds(10, 11, 5, 4); }, [&](TPoint) { return none; }, custom.get(), kKey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    auto* led = new TGaugeLed(Form);
    led->SetBounds(kAt.X, kAt.Y, c.Width, c.Height);
    led->SetColor(clBlue);
    c.Setup(*led);
    led->SetCaption(c.Caption);
    led->SetParent(Form);
    Show();
    const TPoint text = c.Caption.empty() ? TPoint{0, 0} : CaptionSize(*led, c.Caption);
    const TRect lamp = c.Lamp(text);
    EXPECT_EQ(led->LampRect(), lamp);
    if (!c.Caption.empty()) {
      EXPECT_EQ(led->CaptionRect(), c.CaptionRect(text));
    }
    const TRect caption = c.Caption.empty() ? TRect{} : led->CaptionRect();

    // The shown cell's source: the lamp's column offset in the strip.
    const int cellWidth = RectWidth(lamp);
    const int sourceLeft = cellWidth * int(led->Active());
    const TColor face = led->Transparent() ? kForm : led->Color();
    int captionInk = 0;
    for (int y = 0; y < c.Height; ++y)
      for (int x = 0; x < c.Width; ++x) {
        const TColor seen = Window->ScreenPixel(kAt.X + x, kAt.Y + y);
        if (PtInRect(lamp, {x, y})) {
          const TColor src = c.Strip->Pixels(sourceLeft + x - lamp.Left, y - lamp.Top);
          ASSERT_EQ(seen, src == c.Transparent ? face : src) << "lamp pixel " << x << "," << y;
        } else if (PtInRect(caption, {x, y})) {
          if (seen == clWhite) {
            ++captionInk;
          } else {
            ASSERT_EQ(seen, face) << "caption background " << x << "," << y;
          }
        } else {
          ASSERT_EQ(seen, face) << "face " << x << "," << y;
        }
      }
    if (!c.Caption.empty()) {
      EXPECT_GT(captionInk, 0) << "the caption is drawn in the white font";
    }
    delete led;
  }
}

TEST_F(LedPixels, ACellBeyondTheStripDrawsNoLamp) {
  auto* led = new TGaugeLed(Form);
  led->SetBounds(kAt.X, kAt.Y, 25, 25);
  led->SetColor(clBlue);
  led->SetActive(A::la3);
  led->SetStates(S::ls2);  // la3 stays: the cell lies beyond the 18-pixel strip
  led->SetParent(Form);
  Show();
  EXPECT_EQ(led->Active(), A::la3);
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 25; ++x) ASSERT_EQ(Window->ScreenPixel(kAt.X + x, kAt.Y + y), clBlue) << x << "," << y;
  // ltCustom without Glyphs draws no lamp either.
  led->SetActive(A::la1);
  led->SetLedType(T::ltCustom);
  App->ProcessMessages();
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 25; ++x) ASSERT_EQ(Window->ScreenPixel(kAt.X + x, kAt.Y + y), clBlue) << x << "," << y;
}

TEST_F(LedPixels, TransparentLampShowsTheFormAroundIt) {
  auto* led = new TGaugeLed(Form);
  led->SetBounds(kAt.X, kAt.Y, 25, 25);
  led->SetStates(S::ls2);
  led->SetActive(A::la2);
  led->SetTransparent(true);
  led->SetParent(Form);
  Show();
  const auto strip = Recoloured("LI_RND", clMaroon, clRed);
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 25; ++x) {
      const bool inLamp = x >= 8 && x < 17 && y >= 8 && y < 17;
      const TColor src = inLamp ? strip->Pixels(9 + x - 8, y - 8) : clBlack;
      ASSERT_EQ(Window->ScreenPixel(kAt.X + x, kAt.Y + y), src == clBlack ? kForm : src) << x << "," << y;
    }
}

}  // namespace
