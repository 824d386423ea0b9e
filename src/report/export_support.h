// Helpers shared by the exporters.
#pragma once

#include "report/report_export.h"
#include "report/report_grid.h"

#include <QByteArray>
#include <QString>

namespace vyz::report::detail {

// A temporary file beside the target, renamed over the target by Commit(); removed otherwise.
class TempTarget {
public:
    explicit TempTarget(const QString& target);
    ~TempTarget();
    TempTarget(const TempTarget&) = delete;
    TempTarget& operator=(const TempTarget&) = delete;

    bool ok() const { return !temp_.isEmpty(); }
    const QString& error() const { return error_; }
    const QString& path() const { return temp_; }
    bool Commit(QString* error);

private:
    QString target_;
    QString temp_;
    QString error_;
    bool committed_ = false;
};

// Writes `bytes` to `path` through a TempTarget.
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
