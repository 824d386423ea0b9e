#include "report/export_support.h"

#include "platform/staged_write.h"

#include <QFile>

namespace vyz::report {

const ExportFormatEntry& ExportFormatOf(ExportFormat format) {
    for (const ExportFormatEntry& entry : ExportFormats)
        if (entry.format == format) return entry;
    return ExportFormats[0]; // every value of the enumeration has its entry
}

QString ExportSuffix(ExportFormat format) {
    return QString::fromLatin1(ExportFormatOf(format).suffix);
}

ExportResult ExportReport(ExportFormat format, const PreparedReport& report, const QString& path,
                          Progress* progress) {
    if (report.IsEmpty()) return detail::Failed(QStringLiteral("the report has no pages"));
    return ExportFormatOf(format).exporter(report, path, progress);
}

namespace detail {

StagedTarget::StagedTarget(const QString& target) : file_(QFile::encodeName(target).toStdString()) {
    if (file_.Create())
        path_ = QFile::decodeName(file_.StagingPath().c_str());
    else
        error_ = SystemErrorText(file_.Error());
}

bool StagedTarget::Commit(QString* error) {
    if (file_.AdoptWritten() && file_.Commit()) return true;
    if (error) *error = SystemErrorText(file_.Error());
    return false;
}

ExportResult WriteWholeFile(const QString& path, const QByteArray& bytes) {
    QString error;
    if (!WriteStaged(path, bytes, &error)) return Failed(error);
    return {};
}

ExportResult Failed(const QString& error) {
    return {ExportResult::Failed, error};
}
ExportResult Cancelled() {
    return {ExportResult::Cancelled, {}};
}

PageSteps::PageSteps(Progress* progress, int pages) : progress_(progress) {
    if (progress_) progress_->Begin(pages);
}

bool PageSteps::AtRow(const GridRow& row) {
    if (row.page == page_) return true;
    page_ = row.page;
    return !progress_ || progress_->Step(row.page);
}

QString XmlEscape(const QString& text) {
    return text.toHtmlEscaped();
}

QString Mm(double mm) {
    return QString::number(mm, 'f', 2) + QStringLiteral("mm");
}

} // namespace detail
} // namespace vyz::report
