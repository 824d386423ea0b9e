// PDF through Qt's PDF writer and the same painter as the preview and the printer: the text stays
// text (searchable, selectable) and the fonts are embedded.
#include "report/export_support.h"
#include "report/report_painter.h"

#include <QFile>
#include <QPdfWriter>

namespace vyz::report {

ExportResult ExportPdf(const PreparedReport& report, const QString& path, Progress* progress) {
    detail::TempTarget target(path);
    if (!target.ok()) return detail::Failed(target.error());
    // Qt's PDF writer ignores failed writes to a file it opens itself (a full disk gave a cut
    // file and success), so it writes into a file whose errors are checked here.
    QFile file(target.path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return detail::Failed(file.errorString());
    {
        QPdfWriter writer(&file);
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
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return detail::Failed(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError) return detail::Failed(file.errorString());
    QString error;
    if (!target.Commit(&error)) return detail::Failed(error);
    return {};
}

} // namespace vyz::report
