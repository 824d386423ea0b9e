// The measurement table built from decoded records, without a window: the data rows the main
// window's fill shows (newest record first, the cell texts of RecordRowTexts in one language).
// Rows 0 and 1 (titles and units) are empty: the report reads data rows only.
#pragma once

#include "data/archive_record.h"
#include "output/cell_reader.h"

#include <QVector>
#include <span>

namespace vyz {

class RecordTable : public CellReader {
public:
    // `records` in archive order (oldest first), as a file or a read-out holds them.
    RecordTable(std::span<const ArchiveRecord> records, bool coordinates, int lang);

    int RowCount() const override { return rows_ + 2; }
    int ColCount() const override { return cols_; }
    QString CellAt(int visualCol, int row) const override;

private:
    int rows_ = 0;
    int cols_ = 0;
    QVector<QString> cells_; // data rows, row-major
};

} // namespace vyz
