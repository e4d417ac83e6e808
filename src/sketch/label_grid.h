#pragma once
// Keeps labels from overlapping: a coarse occupancy grid over the picture, in which a label
// claims the cells its box touches and is refused when any of them is taken. Conservative (a
// label may be refused next to one it would not quite touch) and constant work per label, so
// tens of thousands of stations cost a few milliseconds.

#include <cstdint>
#include <vector>

namespace fenwix {

class LabelGrid {
 public:
  // A picture of width × height units, cut into square cells of the given size.
  LabelGrid(double width, double height, double cell);

  // Claims the box [x0, x1] × [y0, y1] when it lies inside the picture and touches no claimed
  // cell; true when claimed.
  bool Claim(double x0, double y0, double x1, double y1);
  // Marks the box as taken whatever lies there (a symbol that labels must not cover).
  void Block(double x0, double y0, double x1, double y1);

 private:
  struct CellRange {
    int32_t c0, r0, c1, r1;
    bool inside;
  };
  CellRange Cells(double x0, double y0, double x1, double y1) const;

  double cell_;
  int32_t columns_;
  int32_t rows_;
  std::vector<uint8_t> taken_;
};

}  // namespace fenwix
