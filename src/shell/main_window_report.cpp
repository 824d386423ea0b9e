// The Print command: the table becomes a paged report in the engine's modal preview, from which
// the operator prints, sets up the page and exports; the lot summary may end it.
#include "analysis/lot_analysis.h"
#include "data/archive_record.h"
#include "output/report_binding.h"
#include "shell/main_window.h"

namespace vyz {

void TForm1::APrintExecute() {
    if (RecordCount.load() == 0) return;
    ReportBinding binding(*StringGrid1());
    report::Report& report = binding.CurrentReport();
    // Chosen in the Analysis menu; without it the report is the table alone.
    if (analysis_->SummaryInReport())
        report.OnPrepared = [this](report::PreparedReport& p) { analysis_->AppendSummary(p); };
    report.PrepareReport();
    report.ShowPreparedReport(this);
}

} // namespace vyz
