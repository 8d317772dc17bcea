#include "Colors.h"

#include "SysUtils.h"

namespace {
struct ColorName {
  TColor Color;
  const char* Name;
};

// Canonical names first: ColorToIdent returns the first entry of a colour,
// so clGray and clSilver win over the aliases clDkGray and clLtGray.
constexpr ColorName kColorNames[] = {
    {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
    {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
    {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
    {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"}, {clSkyBlue, "clSkyBlue"}, {clCream, "clCream"}, {clMedGray, "clMedGray"},
    {clActiveBorder, "clActiveBorder"}, {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"}, {clBackground, "clBackground"}, {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"}, {clBtnShadow, "clBtnShadow"}, {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"}, {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"}, {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"}, {clHighlightText, "clHighlightText"}, {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"}, {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"}, {clInfoBk, "clInfoBk"}, {clInfoText, "clInfoText"},
    {clMenu, "clMenu"}, {clMenuBar, "clMenuBar"}, {clMenuHighlight, "clMenuHighlight"},
    {clMenuText, "clMenuText"}, {clScrollBar, "clScrollBar"}, {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"}, {clWindow, "clWindow"}, {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"}, {clNone, "clNone"}, {clDefault, "clDefault"},
    {clLtGray, "clLtGray"}, {clDkGray, "clDkGray"},
};
}  // namespace

std::optional<TColor> IdentToColor(std::string_view ident) noexcept {
  for (const auto& entry : kColorNames)
    if (SameText(entry.Name, ident)) return entry.Color;
  return std::nullopt;
}

std::optional<std::string> ColorToIdent(TColor color) {
  for (const auto& entry : kColorNames)
    if (entry.Color == color) return std::string(entry.Name);
  return std::nullopt;
}
