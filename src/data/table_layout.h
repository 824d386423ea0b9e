// The measurement table's column-width rule: number column 45, date column 120, the rest share
// what remains (at least 50 each), differing by at most one pixel.
#pragma once

#include <vector>

namespace vyz {

// Widths of columns 0..columns-1 for a table whose client width is `clientWidth`.
std::vector<int> DistributeColumnWidths(int columns, int clientWidth);

} // namespace vyz
