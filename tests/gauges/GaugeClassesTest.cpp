// The widgets' owned sub-objects: the change-notification bracket, the
// bevel's initial values, width and drawing, and the palette's recolouring.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "../framework/DrawingTestUtil.h"
#include "GaugeClasses.h"
#include "GaugeSysUtils.h"

namespace {

int CountChanges(TGaugePersistent& object, int& counter) {
  object.SetOnChange([&counter, &object](TObject* sender) {
    EXPECT_EQ(sender, &object);
    ++counter;
  });
  return counter;
}

TEST(GaugePersistent, ChangesAreHeldInsideAnUpdateBracket) {
  TGaugePalette palette;
  int changes = 0;
  CountChanges(palette, changes);
  palette.SetLow(clGreen);  // the value it has: nothing
  EXPECT_EQ(changes, 0);
  palette.SetLow(clRed);
  EXPECT_EQ(changes, 1);
  palette.BeginUpdate();
  palette.BeginUpdate();
  palette.SetLow(clBlue);
  palette.SetHigh(clBlue);
  palette.EndUpdate();
  EXPECT_EQ(changes, 1);
  palette.EndUpdate();
  EXPECT_EQ(changes, 2);
  // An unbalanced EndUpdate does not go negative and still notifies.
  palette.EndUpdate();
  EXPECT_EQ(palette.UpdateCount(), 0);
  EXPECT_EQ(changes, 3);
}

TEST(GaugeBevel, InitialValuesAndPropertyOrder) {
  TGaugeBevel bevel;
  EXPECT_EQ(bevel.BorderWidth(), 0);
  EXPECT_EQ(bevel.BorderColor(), clBtnFace);
  EXPECT_EQ(bevel.InnerShadow(), clBtnShadow);
  EXPECT_EQ(bevel.InnerHighlight(), clBtnHighlight);
  EXPECT_EQ(bevel.InnerWidth(), 1);
  EXPECT_EQ(bevel.InnerStyle(), TGaugeBevelStyle::bsLowered);
  EXPECT_EQ(bevel.InnerOutline(), TGaugeBevelOutlineStyle::osNone);
  EXPECT_EQ(bevel.InnerSpace(), 1);
  EXPECT_EQ(bevel.InnerColor(), clBtnFace);
  EXPECT_EQ(bevel.OuterShadow(), clBtnShadow);
  EXPECT_EQ(bevel.OuterHighlight(), clBtnHighlight);
  EXPECT_EQ(bevel.OuterWidth(), 1);
  EXPECT_EQ(bevel.OuterStyle(), TGaugeBevelStyle::bsRaised);
  EXPECT_EQ(bevel.OuterOutline(), TGaugeBevelOutlineStyle::osOuter);
  EXPECT_EQ(bevel.OuterSpace(), 0);
  EXPECT_EQ(bevel.OuterColor(), clBtnFace);
  EXPECT_TRUE(bevel.Visible());

  std::vector<std::string> names;
  for (const TPropInfo* p : TGaugeBevel::StaticClass().AllProps()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"BorderWidth", "BorderColor", "InnerShadow", "InnerHighlight",
                                             "InnerWidth", "InnerStyle", "InnerOutline", "InnerSpace", "InnerColor",
                                             "OuterShadow", "OuterHighlight", "OuterWidth", "OuterStyle",
                                             "OuterOutline", "OuterSpace", "OuterColor", "Visible"}));
  // Skins write the value names; the table maps them to the ordinals.
  const TPropInfo* style = TGaugeBevel::StaticClass().FindProp("OuterStyle");
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->Enum->IndexOf("bsNone"), 0);
  style->Setter(bevel, TPropValue{int64_t{style->Enum->IndexOf("bsLowered")}});
  EXPECT_EQ(bevel.OuterStyle(), TGaugeBevelStyle::bsLowered);
  EXPECT_EQ(TGaugeBevel::StaticClass().FindProp("InnerOutline")->Enum->IndexOf("osNone"), 2);
}

TEST(GaugeBevel, TotalWidthAndVisibleArea) {
  TGaugeBevel bevel;
  // Outline 1 + outer bevel 1 + inner bevel 1 + inner space 1.
  EXPECT_EQ(bevel.TotalWidth(), 4);
  TRect r = Rect(0, 0, 20, 10);
  bevel.GetVisibleArea(r);
  EXPECT_EQ(r, Rect(4, 4, 16, 6));

  struct Case {
    const char* What;
    void (*Set)(TGaugeBevel&);
    int32_t Width;
  };
  const Case cases[] = {
      {"invisible, whatever the widths", [](TGaugeBevel& b) { b.SetBorderWidth(9); b.SetVisible(false); }, 0},
      {"border", [](TGaugeBevel& b) { b.SetBorderWidth(3); }, 7},
      {"both outlines", [](TGaugeBevel& b) { b.SetInnerOutline(TGaugeBevelOutlineStyle::osInner); }, 5},
      {"no bevel styles", [](TGaugeBevel& b) {
         b.SetInnerStyle(TGaugeBevelStyle::bsNone);
         b.SetOuterStyle(TGaugeBevelStyle::bsNone);
         b.SetInnerWidth(5);
       }, 2},
      {"spaces and widths", [](TGaugeBevel& b) {
         b.SetOuterSpace(2);
         b.SetInnerSpace(0);
         b.SetOuterWidth(3);
       }, 7},
  };
  for (const Case& c : cases) {
    TGaugeBevel b;
    c.Set(b);
    EXPECT_EQ(b.TotalWidth(), c.Width) << c.What;
    // Drawing ends exactly where GetVisibleArea says.
    TBitmap bitmap(30, 30);
    TRect drawn = Rect(0, 0, 30, 30), area = drawn;
    b.DrawBevel(bitmap.Canvas(), drawn);
    b.GetVisibleArea(area);
    EXPECT_EQ(drawn, area) << c.What;
    if (c.Width == 0) {
      EXPECT_EQ(drawtest::InkBounds(bitmap), TRect{}) << c.What;
    }
  }
  TGaugeBevel huge;
  huge.SetBorderWidth(std::numeric_limits<int32_t>::max());
  EXPECT_THROW(huge.TotalWidth(), EIntOverflow);
}

TEST(GaugeBevel, DrawsFromTheOutsideIn) {
  TGaugeBevel bevel;
  bevel.SetInnerColor(clYellow);
  TBitmap bitmap(8, 8);
  TRect r = Rect(0, 0, 8, 8);
  bevel.DrawBevel(bitmap.Canvas(), r);
  // Black outline, raised outer bevel (white top-left, grey bottom-right),
  // lowered inner bevel (the reverse), yellow inner space; inside untouched.
  EXPECT_EQ(drawtest::Art(bitmap), drawtest::Rows({"########",
                                                   "#.....a#",
                                                   "#.aaa.a#",
                                                   "#.ayy.a#",
                                                   "#.ayy.a#",
                                                   "#.....a#",
                                                   "#aaaaaa#",
                                                   "########"}));
  EXPECT_EQ(r, Rect(4, 4, 4, 4));
}

TEST(GaugeBevel, AssignNotifiesOnceAndRefusesOtherClasses) {
  TGaugeBevel source;
  source.SetBorderWidth(2);
  source.SetInnerStyle(TGaugeBevelStyle::bsRaised);
  source.SetOuterOutline(TGaugeBevelOutlineStyle::osNone);
  source.SetOuterColor(clRed);
  source.SetVisible(false);
  TGaugeBevel target;
  int changes = 0;
  CountChanges(target, changes);
  target.Assign(source);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(target.BorderWidth(), 2);
  EXPECT_EQ(target.InnerStyle(), TGaugeBevelStyle::bsRaised);
  EXPECT_EQ(target.OuterOutline(), TGaugeBevelOutlineStyle::osNone);
  EXPECT_EQ(target.OuterColor(), clRed);
  EXPECT_FALSE(target.Visible());

  TGaugePalette palette;
  try {
    target.Assign(palette);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Impossible d'assigner un TGaugePalette à un TGaugeBevel");
  }
  EXPECT_THROW(palette.Assign(source), EConvertError);
}

TEST(GaugePalette, ColoursAndAssign) {
  TGaugePalette palette;
  EXPECT_EQ(palette.Low(), clGreen);
  EXPECT_EQ(palette.High(), clLime);
  EXPECT_EQ(palette.GetColor(-5), clGreen);
  EXPECT_EQ(palette.GetColor(0), clGreen);
  EXPECT_EQ(palette.GetColor(1), clLime);
  TGaugePalette other;
  other.SetLow(clNavy);
  other.SetHigh(clAqua);
  int changes = 0;
  CountChanges(palette, changes);
  palette.Assign(other);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(palette.Low(), clNavy);
  EXPECT_EQ(palette.High(), clAqua);
}

TEST(GaugePalette, BothPassesReadTheUnchangedPicture) {
  // Low is the high key: grey becomes silver in pass 1, and pass 2 turns
  // only the pixels that were silver before the call red.
  TGaugePalette palette;
  palette.SetLow(clSilver);
  palette.SetHigh(clRed);
  TBitmap bitmap(5, 2);
  drawtest::Paint(bitmap, {"as#ga", "sa.ys"});
  palette.ApplyToBitmap(bitmap, clGray, clSilver);
  EXPECT_EQ(drawtest::Art(bitmap), drawtest::Rows({"sr#gs", "rs.yr"}));
  // The canvas keeps its copy mode for the widget's own drawing.
  EXPECT_EQ(bitmap.Canvas().CopyMode(), cmSrcCopy);
}

}  // namespace
