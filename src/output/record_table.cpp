#include "output/record_table.h"

#include "data/record_text.h"

namespace vyz {

RecordTable::RecordTable(std::span<const ArchiveRecord> records, bool coordinates, int lang)
    : rows_(int(records.size())), cols_(coordinates ? 9 : 7) {
    cells_.reserve(rows_ * cols_);
    RowTexts texts;
    for (int i = rows_ - 1; i >= 0; --i) {
        ArchiveRecord record = records[i];
        RepairMonth(record);
        RecordRowTexts(record, lang, coordinates, texts);
        for (int c = 0; c < cols_; ++c)
            cells_.append(QString::fromStdString(texts.cell[c]));
    }
}

QString RecordTable::CellAt(int visualCol, int row) const {
    if (row < 2 || row >= rows_ + 2 || visualCol < 0 || visualCol >= cols_) return {};
    return cells_[(row - 2) * cols_ + visualCol];
}

} // namespace vyz
