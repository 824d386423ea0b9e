// PDF through Qt's PDF writer and the same painter as the preview and the printer: the text stays
// text (searchable, selectable) and the fonts are embedded.
#include "report/export_support.h"
#include "report/report_painter.h"

#include <QPdfWriter>

namespace vyz::report {

ExportResult ExportPdf(const PreparedReport& report, const QString& path, Progress* progress) {
    detail::TempTarget target(path);
    if (!target.ok()) return detail::Failed(target.error());
    {
        QPdfWriter writer(target.path());
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("VYZ report engine"));
        writer.setTitle(QString());
        switch (PaintReport(report, writer, 0, int(report.pages.size()) - 1, progress)) {
        case PaintResult::Done:
            break;
        case PaintResult::Cancelled:
            return detail::Cancelled();
        case PaintResult::DeviceFailed:
            return detail::Failed(QStringLiteral("the PDF file could not be written"));
        }
    }
    QString error;
    if (!target.Commit(&error)) return detail::Failed(error);
    return {};
}

} // namespace vyz::report
