// A short list of client rectangles that need work: the regions a form must
// repaint, and the ones it must present. Overlapping rectangles merge into
// one; past kMaxRects the list collapses into its union, so that the cost of
// a paint or a present stays bounded. Clear keeps the storage, so a form at
// a steady frame rate allocates nothing here.
//
// Thread rules: one thread at a time (the user-interface thread).
// Errors: none, but allocation.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "Types.h"

class TRectList {
public:
  static constexpr size_t kMaxRects = 16;

  // Adds r (an empty one is ignored), merged with every rectangle it
  // overlaps, directly or through the merge.
  void Add(const TRect& r);
  void Clear() noexcept { FRects.clear(); }
  bool Empty() const noexcept { return FRects.empty(); }
  std::span<const TRect> Rects() const noexcept { return FRects; }
  // The union of the list; empty when it is.
  TRect Bounds() const noexcept;
  void Swap(TRectList& other) noexcept { FRects.swap(other.FRects); }

private:
  std::vector<TRect> FRects;
};
