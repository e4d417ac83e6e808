#include "model/record_array.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace fenwix {
namespace {

struct Row {
  int64_t index;
  double values[7];
};

// Grows across the size where a block leaves malloc for a mapping of its own and is then moved
// by remapping: every row must survive each step, and copies must own their rows.
TEST(RecordArray, RowsSurviveGrowthPastTheMappedSize) {
  RecordArray<Row> rows;
  constexpr int64_t COUNT = 400000;  // 25.6 MB of rows
  for (int64_t i = 0; i < COUNT; ++i) rows.push_back(Row{i, {0.5 * static_cast<double>(i)}});
  ASSERT_EQ(rows.size(), static_cast<size_t>(COUNT));
  for (int64_t i = 0; i < COUNT; i += 997) {
    ASSERT_EQ(rows[static_cast<size_t>(i)].index, i);
    ASSERT_EQ(rows[static_cast<size_t>(i)].values[0], 0.5 * static_cast<double>(i));
  }
  RecordArray<Row> copy = rows;
  rows[5].index = -1;
  EXPECT_EQ(copy[5].index, 5);
  RecordArray<Row> moved = std::move(copy);
  EXPECT_EQ(moved.size(), static_cast<size_t>(COUNT));
  EXPECT_EQ(moved.back().index, COUNT - 1);
  moved.clear();
  moved.push_back(Row{7, {}});
  EXPECT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved[0].index, 7);
}

}  // namespace
}  // namespace fenwix
