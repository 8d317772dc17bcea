// The system colour table, pen and brush tables, and the raster operation
// truth tables.
#include <gtest/gtest.h>

#include "Graphics.h"

namespace {

TEST(SystemColorTest, ReferencesResolveThroughTheFixedTable) {
  const std::pair<TColor, TColor> cases[] = {
      {clBtnFace, RGB(212, 208, 200)}, {clBtnShadow, RGB(128, 128, 128)}, {clBtnHighlight, RGB(255, 255, 255)},
      {clHighlight, RGB(10, 36, 106)}, {clWindow, clWhite},               {clWindowText, clBlack},
      {clInfoBk, RGB(255, 255, 225)},  {clMenuBar, RGB(212, 208, 200)},   {SystemColor(31), clBlack},
      {SystemColor(255), clBlack},     {clRed, clRed},                    {clNone, clNone},
      {int32_t(0x80000005), int32_t(0x80000005)},  // not a system reference: unchanged
  };
  for (auto [color, rgb] : cases) EXPECT_EQ(ColorToRGB(color), rgb) << std::hex << color;
  EXPECT_EQ(ColorToPixel(clBtnFace), 0xFFD4D0C8u);
  EXPECT_EQ(PixelToColor(0xFFD4D0C8u), RGB(212, 208, 200));
}

TEST(PenBrushTest, PublishedTablesAndNotifications) {
  auto names = [](const TClassInfo& info) {
    std::vector<std::string> out;
    for (const TPropInfo* p : info.AllProps()) out.push_back(p->Name);
    return out;
  };
  EXPECT_EQ(names(TPen::StaticClass()), (std::vector<std::string>{"Color", "Mode", "Style", "Width"}));
  EXPECT_EQ(names(TBrush::StaticClass()), (std::vector<std::string>{"Color", "Style"}));
  EXPECT_EQ(TPen::StaticClass().FindProp("Style")->Enum->Names[psInsideFrame], "psInsideFrame");
  EXPECT_EQ(TBrush::StaticClass().FindProp("Style")->Enum->Names[bsDiagCross], "bsDiagCross");

  TPen pen;
  int changes = 0;
  pen.OnChange = [&](TObject*) { ++changes; };
  pen.SetWidth(0);  // stays 1: no change
  pen.SetWidth(3);
  pen.SetColor(clRed);
  pen.SetColor(clRed);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(pen.Width(), 3);
  TPen copy;
  copy.Assign(pen);
  EXPECT_EQ(copy.Color(), clRed);
}

TEST(RasterOperationTest, PenModesAndCopyModesFollowTheirTruthTables) {
  const uint32_t p = 0xF0, d = 0xCC, s = 0xAA;
  const std::pair<TPenMode, uint32_t> modes[] = {
      {pmBlack, 0},           {pmWhite, 0xFF},        {pmNop, d},           {pmNot, ~d & 0xFF},
      {pmCopy, p},            {pmNotCopy, ~p & 0xFF}, {pmMerge, p | d},     {pmMask, p & d},
      {pmXor, p ^ d},         {pmNotXor, ~(p ^ d) & 0xFF}, {pmMaskPenNot, p & ~d & 0xFF}, {pmMergeNotPen, (~p | d) & 0xFF},
  };
  for (auto [mode, expected] : modes) EXPECT_EQ(ApplyPenMode(mode, p, d) & 0xFF, expected) << mode;
  const std::pair<TCopyMode, uint32_t> rops[] = {
      {cmSrcCopy, s},     {cmSrcAnd, s & d},  {cmSrcInvert, s ^ d},        {cmSrcPaint, s | d},
      {cmPatCopy, p},     {cmBlackness, 0},   {cmWhiteness, 0xFF},         {cmNotSrcCopy, ~s & 0xFF},
      {cmDstInvert, ~d & 0xFF}, {cmMaskPattern, (s & p) | (~s & d & 0xFF)},
  };
  for (auto [rop, expected] : rops) EXPECT_EQ(ApplyRop3(rop, p, s, d) & 0xFF, expected) << std::hex << rop;
}

}  // namespace
