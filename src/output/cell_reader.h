// What the report binding reads: a table of cell texts by row and visual column, laid out as the
// main window's measurement table (row 0 titles, row 1 units, one record per row from row 2).
// The window's table is one; the converter's table of decoded records is another.
#pragma once

#include <QString>

namespace vyz {

class CellReader {
public:
    virtual ~CellReader() = default;
    virtual int RowCount() const = 0;
    virtual int ColCount() const = 0;
    // The text at visual column `visualCol` of row `row`; empty outside the table.
    virtual QString CellAt(int visualCol, int row) const = 0;
};

} // namespace vyz
