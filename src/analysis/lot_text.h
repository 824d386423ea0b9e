// The lot figures as texts in one language, for the panel and the report summary alike: a few
// blocks, each a heading, an optional table and notes.
#pragma once

#include "analysis/lot_statistics.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace vyz::analysis {

struct TextBlock {
    QString heading;
    QStringList columns;       // empty: the block has no table
    QVector<QStringList> rows; // as many cells as columns
    QStringList notes;
};

// `scope` is the first line ("All records of the table: 12").
QVector<TextBlock> DescribeLot(const LotStatistics& s, const QString& scope, int lang);

// The tool tip of a judged record: a symbol and the limits it fails or could not be checked
// against; empty for Verdict::None.
QString VerdictText(const ArchiveRecord& record, const RecordVerdict& verdict, const Limits& limits,
                    int lang);

// Numbers with the program's decimal comma: 2 places for density, 1 for the rest.
QString Number(double value, int places);

} // namespace vyz::analysis
