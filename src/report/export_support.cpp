#include "report/export_support.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vyz::report {

QString ExportSuffix(ExportFormat format) {
    switch (format) {
    case ExportFormat::Text:
        return QStringLiteral("txt");
    case ExportFormat::Xlsx:
        return QStringLiteral("xlsx");
    case ExportFormat::Pdf:
        return QStringLiteral("pdf");
    case ExportFormat::Html:
        return QStringLiteral("html");
    case ExportFormat::Rtf:
        return QStringLiteral("rtf");
    case ExportFormat::Ods:
        return QStringLiteral("ods");
    case ExportFormat::Odt:
        return QStringLiteral("odt");
    }
    return {};
}

ExportResult ExportReport(ExportFormat format, const PreparedReport& report, const QString& path,
                          Progress* progress) {
    if (report.IsEmpty()) return detail::Failed(QStringLiteral("the report has no pages"));
    switch (format) {
    case ExportFormat::Text:
        return ExportText(report, path, progress);
    case ExportFormat::Xlsx:
        return ExportXlsx(report, path, progress);
    case ExportFormat::Pdf:
        return ExportPdf(report, path, progress);
    case ExportFormat::Html:
        return ExportHtml(report, path, progress);
    case ExportFormat::Rtf:
        return ExportRtf(report, path, progress);
    case ExportFormat::Ods:
        return ExportOds(report, path, progress);
    case ExportFormat::Odt:
        return ExportOdt(report, path, progress);
    }
    return detail::Failed(QStringLiteral("unknown format"));
}

namespace detail {

TempTarget::TempTarget(const QString& target) : target_(target) {
    const QFileInfo info(target);
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX"));
    file.setAutoRemove(false);
    if (!file.open()) {
        error_ = file.errorString();
        return;
    }
    temp_ = file.fileName();
}

TempTarget::~TempTarget() {
    if (!committed_ && !temp_.isEmpty()) QFile::remove(temp_);
}

bool TempTarget::Commit(QString* error) {
    QFile::setPermissions(temp_, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                     QFile::ReadOther);
    if (std::rename(QFile::encodeName(temp_).constData(), QFile::encodeName(target_).constData()) !=
        0) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    committed_ = true;
    return true;
}

ExportResult WriteWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Failed(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.commit()) return Failed(file.errorString());
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
