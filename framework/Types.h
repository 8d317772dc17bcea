// Points and rectangles in signed 32-bit pixels. Right and Bottom are
// exclusive: a rectangle covers Left <= x < Right, Top <= y < Bottom.
// Thread rules: value types.
#pragma once

#include <algorithm>
#include <cstdint>

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  constexpr bool operator==(const TPoint&) const = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  constexpr int32_t Width() const noexcept { return Right - Left; }
  constexpr int32_t Height() const noexcept { return Bottom - Top; }
  constexpr TPoint TopLeft() const noexcept { return {Left, Top}; }
  constexpr TPoint BottomRight() const noexcept { return {Right, Bottom}; }
  constexpr bool operator==(const TRect&) const = default;
};

constexpr TPoint Point(int32_t x, int32_t y) noexcept { return {x, y}; }
constexpr TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) noexcept {
  return {left, top, right, bottom};
}
constexpr TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) noexcept {
  return {left, top, left + width, top + height};
}

// True when the rectangle covers no pixel.
constexpr bool IsRectEmpty(const TRect& r) noexcept { return r.Right <= r.Left || r.Bottom <= r.Top; }
constexpr bool PtInRect(const TRect& r, TPoint p) noexcept {
  return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}
// The common part; an empty rectangle (all zero) when they do not meet.
constexpr TRect IntersectRect(const TRect& a, const TRect& b) noexcept {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  return IsRectEmpty(r) ? TRect{} : r;
}
// The smallest rectangle holding both; an empty one counts for nothing.
constexpr TRect UnionRect(const TRect& a, const TRect& b) noexcept {
  if (IsRectEmpty(a)) return b;
  if (IsRectEmpty(b)) return a;
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}
constexpr TRect OffsetRect(const TRect& r, int32_t dx, int32_t dy) noexcept {
  return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}
constexpr TRect InflateRect(const TRect& r, int32_t dx, int32_t dy) noexcept {
  return {r.Left - dx, r.Top - dy, r.Right + dx, r.Bottom + dy};
}
