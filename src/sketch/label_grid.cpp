#include "sketch/label_grid.h"

#include <algorithm>
#include <cmath>

namespace fenwix {

namespace {

// Cells along one side at most: a huge picture gets coarser cells rather than a huge grid.
constexpr double MAX_CELLS_PER_SIDE = 4096.0;

}  // namespace

LabelGrid::LabelGrid(double width, double height, double cell)
    : cell_(std::max({cell, width / MAX_CELLS_PER_SIDE, height / MAX_CELLS_PER_SIDE, 1e-9})),
      columns_(std::max(1, static_cast<int32_t>(std::ceil(width / cell_)))),
      rows_(std::max(1, static_cast<int32_t>(std::ceil(height / cell_)))),
      taken_(static_cast<size_t>(columns_) * static_cast<size_t>(rows_), 0) {}

LabelGrid::CellRange LabelGrid::Cells(double x0, double y0, double x1, double y1) const {
  const double width = columns_ * cell_;
  const double height = rows_ * cell_;
  const CellRange none{0, 0, -1, -1, false};
  // Also false for NaN.
  if (!(x0 <= x1 && y0 <= y1 && x1 >= 0 && y1 >= 0 && x0 < width && y0 < height)) return none;
  const auto cell = [&](double v, double limit) {
    return static_cast<int32_t>(std::floor(std::clamp(v, 0.0, limit) / cell_));
  };
  const bool inside = x0 >= 0 && y0 >= 0 && x1 <= width && y1 <= height;
  return CellRange{cell(x0, width - cell_ / 2), cell(y0, height - cell_ / 2),
                   cell(x1, width - cell_ / 2), cell(y1, height - cell_ / 2), inside};
}

bool LabelGrid::Claim(double x0, double y0, double x1, double y1) {
  const CellRange r = Cells(x0, y0, x1, y1);
  if (!r.inside) return false;
  for (int32_t row = r.r0; row <= r.r1; ++row) {
    for (int32_t c = r.c0; c <= r.c1; ++c) {
      if (taken_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(c)])
        return false;
    }
  }
  Block(x0, y0, x1, y1);
  return true;
}

void LabelGrid::Block(double x0, double y0, double x1, double y1) {
  const CellRange r = Cells(x0, y0, x1, y1);
  for (int32_t row = r.r0; row <= r.r1; ++row) {
    for (int32_t c = r.c0; c <= r.c1; ++c) {
      taken_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(c)] = 1;
    }
  }
}

}  // namespace fenwix
