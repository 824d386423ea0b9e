// The Print command: the table becomes a paged report in the engine's modal preview, from which
// the operator prints, sets up the page and exports.
#include "data/archive_record.h"
#include "output/report_binding.h"
#include "shell/main_window.h"

namespace vyz {

void TForm1::APrintExecute() {
    if (RecordCount.load() == 0) return;
    ReportBinding binding(*StringGrid1());
    report::Report& report = binding.CurrentReport();
    report.PrepareReport();
    report.ShowPreparedReport(this);
}

} // namespace vyz
