// What the lot analysis works on: a copy of the records the table shows, in its row order, taken
// when the table has been filled; the selected rows; the limits; the figures and the verdicts.
#pragma once

#include "analysis/lot_statistics.h"

#include <QObject>
#include <QString>
#include <vector>

namespace vyz::analysis {

class LotModel : public QObject {
    Q_OBJECT
public:
    explicit LotModel(QObject* parent = nullptr);

    // Table row i (0 = the first data row) shows archive[order[i]]; indices outside the archive
    // are left out. rows 0 empties the lot.
    void SetTable(const ArchiveRecord* archive, const int32_t* order, int rows);
    // Data rows first..last (inclusive) are selected; a selection of fewer than two rows (the
    // table's cursor) means the whole table.
    void SetSelection(int first, int last);
    void SetLimits(const Limits& limits);

    const std::vector<ArchiveRecord>& Rows() const { return rows_; }
    const std::vector<RecordVerdict>& Verdicts() const { return verdicts_; }
    const Limits& CurrentLimits() const { return limits_; }
    bool HasSelection() const { return first_ >= 0; }
    int First() const { return first_; }
    int Last() const { return last_; }
    // Figures of the selection, or of the whole table without one.
    const LotStatistics& Figures() const { return figures_; }
    LotStatistics WholeTable() const;
    // "All records of the table: n" / "Selected rows, records № a to № b: n".
    QString ScopeText(int lang) const;

signals:
    void tableChanged(); // records or limits: verdicts and the chart change
    void figuresChanged();

private:
    void recompute();
    std::vector<ArchiveRecord> rows_;
    std::vector<RecordVerdict> verdicts_;
    Limits limits_;
    int first_ = -1, last_ = -1;
    LotStatistics figures_;
};

} // namespace vyz::analysis
