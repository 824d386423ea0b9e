// The texts the two copy commands put on the clipboard, built from the table's cells as they
// stand (read by visual column, so a dragged column is copied where the operator put it).
#pragma once

#include <QString>
#include <functional>

namespace vyz {

// The text of the cell at visual column `col` of table row `row`.
using CellText = std::function<QString(int col, int row)>;

// Every row from 0 to rows-1 (the title rows included), every column from 0 to cols-1; each cell
// followed by a tab, the last cell of a row by a line feed instead.
QString WholeTableText(int rows, int cols, const CellText& cell);

// Rows top..bottom, columns 1 to cols-1 (the record number is not copied), cells joined by tabs;
// every row, the last one included, ends with CR LF. Empty when top > bottom.
QString SelectedRowsText(int top, int bottom, int cols, const CellText& cell);

} // namespace vyz
