// The rectangle list behind a form's repaints and presents.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "RectList.h"

namespace {

std::vector<TRect> Sorted(const TRectList& list) {
  std::vector<TRect> rects(list.Rects().begin(), list.Rects().end());
  std::sort(rects.begin(), rects.end(),
            [](const TRect& a, const TRect& b) { return std::tie(a.Top, a.Left) < std::tie(b.Top, b.Left); });
  return rects;
}

}  // namespace

TEST(RectList, ApartStaysApartOverlapMergesAndEmptyIsIgnored) {
  TRectList list;
  list.Add(TRect{});
  list.Add(Rect(5, 5, 5, 20));  // empty: no width
  EXPECT_TRUE(list.Empty());

  list.Add(Bounds(0, 0, 10, 10));
  list.Add(Bounds(100, 0, 10, 10));
  list.Add(Bounds(10, 0, 10, 10));  // touches the first: kept apart
  EXPECT_EQ(Sorted(list), (std::vector<TRect>{Bounds(0, 0, 10, 10), Bounds(10, 0, 10, 10), Bounds(100, 0, 10, 10)}));

  list.Add(Bounds(5, 5, 10, 10));  // overlaps the first two
  EXPECT_EQ(Sorted(list), (std::vector<TRect>{Bounds(0, 0, 20, 15), Bounds(100, 0, 10, 10)}));
  EXPECT_EQ(list.Bounds(), Rect(0, 0, 110, 15));

  list.Clear();
  EXPECT_TRUE(list.Empty());
  EXPECT_TRUE(IsRectEmpty(list.Bounds()));
}

TEST(RectList, AMergeThatGrowsIntoAnotherRectangleTakesItToo) {
  // The new rectangle meets only A; A+new then meets B.
  TRectList list;
  list.Add(Bounds(0, 0, 10, 10));    // A
  list.Add(Bounds(30, 0, 10, 10));   // B
  list.Add(Bounds(5, 20, 30, 10));   // C, below both, meets neither
  list.Add(Bounds(8, 0, 4, 25));     // meets A and C; A+C spans to x=35, meeting B
  EXPECT_EQ(Sorted(list), (std::vector<TRect>{Rect(0, 0, 40, 30)}));
}

TEST(RectList, BeyondItsLimitTheListCollapsesIntoItsUnion) {
  TRectList list;
  for (int i = 0; i < static_cast<int>(TRectList::kMaxRects); ++i) list.Add(Bounds(i * 20, 0, 10, 10));
  EXPECT_EQ(list.Rects().size(), TRectList::kMaxRects);
  list.Add(Bounds(0, 50, 10, 10));
  ASSERT_EQ(list.Rects().size(), 1u);
  EXPECT_EQ(list.Rects()[0], Rect(0, 0, (TRectList::kMaxRects - 1) * 20 + 10, 60));
}
