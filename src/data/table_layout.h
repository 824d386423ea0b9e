// The measurement table's column-width rule: the number column and the date column get fixed
// widths (what their widest possible text needs in the table's font; 45 and 120 on the original
// platform's 8-point font), the rest share what remains (at least 50 each), differing by at most
// one pixel.
#pragma once

#include <string>
#include <vector>

namespace vyz {

// Widths of columns 0..columns-1 for a table whose client width is `clientWidth`.
std::vector<int> DistributeColumnWidths(int columns, int clientWidth, int numberWidth = 45,
                                        int dateWidth = 120);

// Every shape the date column's text can take, in both languages: each month name, the deleted
// suffix, two-digit fields; the widest of them in a font is what the column needs. Digits are all
// '0': a font's widest digit stands in for them when measured.
std::vector<std::string> DateColumnSamples();

// The number column's longest data text (the largest record number).
inline constexpr const char* NumberColumnSample = "00000";

} // namespace vyz
