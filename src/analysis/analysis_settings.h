// The analysis settings in the program's settings file, section "Analysis": the acceptance limits
// (an empty or missing key: no limit), whether the panel is shown and whether the report ends
// with the lot summary.
#pragma once

#include "analysis/lot_statistics.h"

#include <QString>

namespace vyz::analysis {

Limits ReadLimits();
void WriteLimits(const Limits& limits);
bool ReadPanelVisible();
void WritePanelVisible(bool visible);
bool ReadReportSummary();
void WriteReportSummary(bool on);

// A limit as the operator types it: a decimal comma or point, blanks around it allowed; empty
// text is no limit. Anything else (also a value that is not finite) is nullopt with *ok false.
std::optional<double> ParseLimit(const QString& text, bool* ok);
// A limit as the panel and the dialog show it (decimal comma, no trailing zeros).
QString LimitText(double value);

} // namespace vyz::analysis
