// PDF through Qt's PDF writer and the same painter as the preview and the printer: the text stays
// text (searchable, selectable) and the fonts are embedded.
#include "report/export_support.h"
#include "report/report_painter.h"

#include <QBuffer>
#include <QPdfWriter>

namespace vyz::report {

ExportResult ExportPdf(const PreparedReport& report, const QString& path, Progress* progress) {
    // Qt's PDF writer ignores failed writes to the device it writes to (a full disk gave a cut
    // file and success), so it writes into memory and the staged writer puts that on disk.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
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
    return detail::WriteWholeFile(path, bytes);
}

} // namespace vyz::report
