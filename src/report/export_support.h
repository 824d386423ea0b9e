// Helpers shared by the exporters.
#pragma once

#include "platform/staged_file.h"
#include "report/report_export.h"
#include "report/report_grid.h"

#include <QByteArray>
#include <QString>

namespace vyz::report::detail {

// The staging file of an export that a library writes by name (the workbook and zip writers, the
// printer printing into a PDF file); Commit replaces the target with it through the staged writer.
// Without Commit the target stays as it was and the staging file goes.
class StagedTarget {
public:
    explicit StagedTarget(const QString& target);

    bool ok() const { return !path_.isEmpty(); }
    const QString& error() const { return error_; }
    const QString& path() const { return path_; } // the staging file's name
    bool Commit(QString* error);

private:
    StagedFile file_;
    QString path_;
    QString error_;
};

// Writes `bytes` as the whole file `path` through the staged writer.
ExportResult WriteWholeFile(const QString& path, const QByteArray& bytes);

ExportResult Failed(const QString& error);
ExportResult Cancelled();

// Calls the progress at the start of each page; false when the operator cancelled.
class PageSteps {
public:
    PageSteps(Progress* progress, int pages);
    bool AtRow(const GridRow& row);

private:
    Progress* progress_;
    int page_ = -1;
};

QString XmlEscape(const QString& text);
// Millimetres as an XML length ("16mm", "2.5mm").
QString Mm(double mm);

} // namespace vyz::report::detail
