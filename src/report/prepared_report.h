// A prepared report: the finished pages with every object at its place and its final text, ready
// for the preview, the printer and the exporters. It can be saved to a file of our own and loaded
// back (the preview's Save and Open commands).
#pragma once

#include "report/report_layout.h"

#include <QImage>
#include <QRectF>
#include <QStringList>

namespace vyz::report {

struct PreparedObject {
    QRectF rectMm;              // on the page, from the paper's top-left corner
    QString text;               // the full text (what the exporters write)
    QStringList lines;          // the text broken into the lines the page shows
    QList<double> lineWidthsMm; // the width of each line (texts are measured once)
    TextStyle style;
    QImage picture; // when not null, drawn to fill rectMm (the lot summary's chart)
};

// One printed band: a row of objects (a heading row, a data row, the title, the footer).
struct PreparedBand {
    BandKind kind = BandKind::MasterData;
    double topMm = 0, heightMm = 0;
    QVector<PreparedObject> objects;
};

struct PreparedPage {
    PageSettings page;
    QVector<PreparedBand> bands;
};

struct PreparedReport {
    QVector<PreparedPage> pages;

    bool IsEmpty() const { return pages.isEmpty(); }
    void Clear() { pages.clear(); }

    // Writes the report to `path` (replaced atomically); false with a reason in `error`.
    bool SaveToFile(const QString& path, QString* error) const;
    // Reads a file written by SaveToFile; on failure the report is left unchanged.
    bool LoadFromFile(const QString& path, QString* error);
};

// The file suffix of prepared reports.
inline constexpr char PreparedReportSuffix[] = "vyzrep";

} // namespace vyz::report
