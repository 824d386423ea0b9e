// The lot summary at the end of the printed report: the figures, the limits, the percent within
// limits and the chart on pages of their own, after the table's pages and numbered on from them.
#pragma once

#include "analysis/lot_text.h"
#include "report/prepared_report.h"

#include <QImage>

namespace vyz::analysis {

// Appends the summary of `blocks` (and `chart` unless it is null) to `report`, in the page
// settings of the report's last page (A4 portrait when the report is empty).
void AppendLotSummary(report::PreparedReport& report, const QString& title,
                      const QVector<TextBlock>& blocks, const QImage& chart);

} // namespace vyz::analysis
