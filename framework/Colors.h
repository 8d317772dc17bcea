// TColor: a signed 32-bit colour. Non-negative values are RGB packed as
// 0x00BBGGRR; values with the top byte 0xFF name a system colour by their
// low byte (clBtnFace = 0xFF00000F); clNone and clDefault are markers.
// The cl* identifiers are what skins write for colour properties.
// Thread rules: pure functions over constant tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using TColor = int32_t;

constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) noexcept {
  return static_cast<TColor>(uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16));
}
constexpr uint8_t GetRValue(TColor c) noexcept { return static_cast<uint8_t>(uint32_t(c) & 0xFF); }
constexpr uint8_t GetGValue(TColor c) noexcept { return static_cast<uint8_t>((uint32_t(c) >> 8) & 0xFF); }
constexpr uint8_t GetBValue(TColor c) noexcept { return static_cast<uint8_t>((uint32_t(c) >> 16) & 0xFF); }

constexpr TColor SystemColor(int index) noexcept { return static_cast<TColor>(0xFF000000u | uint32_t(index)); }

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clLtGray = 0xC0C0C0,
                 clDkGray = 0x808080, clWhite = 0xFFFFFF, clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6,
                 clCream = 0xF0FBFF, clMedGray = 0xA4A0A0, clNone = 0x1FFFFFFF, clDefault = 0x20000000;

constexpr TColor clScrollBar = SystemColor(0), clBackground = SystemColor(1), clActiveCaption = SystemColor(2),
                 clInactiveCaption = SystemColor(3), clMenu = SystemColor(4), clWindow = SystemColor(5),
                 clWindowFrame = SystemColor(6), clMenuText = SystemColor(7), clWindowText = SystemColor(8),
                 clCaptionText = SystemColor(9), clActiveBorder = SystemColor(10), clInactiveBorder = SystemColor(11),
                 clAppWorkSpace = SystemColor(12), clHighlight = SystemColor(13), clHighlightText = SystemColor(14),
                 clBtnFace = SystemColor(15), clBtnShadow = SystemColor(16), clGrayText = SystemColor(17),
                 clBtnText = SystemColor(18), clInactiveCaptionText = SystemColor(19), clBtnHighlight = SystemColor(20),
                 cl3DDkShadow = SystemColor(21), cl3DLight = SystemColor(22), clInfoText = SystemColor(23),
                 clInfoBk = SystemColor(24), clHotLight = SystemColor(26), clGradientActiveCaption = SystemColor(27),
                 clGradientInactiveCaption = SystemColor(28), clMenuHighlight = SystemColor(29),
                 clMenuBar = SystemColor(30);

// A cl* identifier to its colour (ASCII case ignored); nullopt when unknown.
std::optional<TColor> IdentToColor(std::string_view ident) noexcept;
// The canonical identifier of a colour, or nullopt when it has none
// (then the colour is written as an integer).
std::optional<std::string> ColorToIdent(TColor color);

// The RGB value (0x00BBGGRR) of a colour: non-negative values come back
// unchanged, system colour references (top byte 0xFF) are looked up by their
// low byte in one fixed table, the "Windows Standard" classic scheme of the
// Windows 2000 era (clBtnFace = RGB(212, 208, 200), clBtnShadow = gray 128,
// clBtnHighlight = white, clHighlight = RGB(10, 36, 106), clWindow = white,
// clWindowText = black, ...). The table does not follow any desktop theme,
// so that drawings are the same on every machine. An index beyond the table
// gives black. Other negative values are returned unchanged.
TColor ColorToRGB(TColor color) noexcept;
