#include "RectList.h"

void TRectList::Add(const TRect& r) {
  if (IsRectEmpty(r)) return;
  // A merge can make the grown rectangle overlap one it missed before, so
  // the scan starts over after each; the list is short.
  TRect grown = r;
  for (size_t i = 0; i < FRects.size();) {
    if (IsRectEmpty(IntersectRect(FRects[i], grown))) {
      ++i;
      continue;
    }
    grown = UnionRect(grown, FRects[i]);
    FRects[i] = FRects.back();
    FRects.pop_back();
    i = 0;
  }
  FRects.push_back(grown);
  if (FRects.size() > kMaxRects) {
    const TRect all = Bounds();
    FRects.assign(1, all);
  }
}

TRect TRectList::Bounds() const noexcept {
  TRect all;
  for (const TRect& r : FRects) all = UnionRect(all, r);
  return all;
}
