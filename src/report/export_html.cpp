// HTML, UTF-8: one fixed-width table per page, columns as wide as on paper, framed cells framed,
// a page break between pages, not centred, no background.
#include "report/export_support.h"

namespace vyz::report {
namespace {

QString cellStyle(const PreparedObject& o) {
    QString s = QStringLiteral("font-family:'%1';font-size:%2pt;")
                    .arg(o.style.family)
                    .arg(o.style.pointSize);
    if (o.style.bold) s += QStringLiteral("font-weight:bold;");
    s += (o.style.align & Qt::AlignHCenter) ? QStringLiteral("text-align:center;")
         : (o.style.align & Qt::AlignRight) ? QStringLiteral("text-align:right;")
                                            : QStringLiteral("text-align:left;");
    s += (o.style.align & Qt::AlignVCenter) ? QStringLiteral("vertical-align:middle;")
                                            : QStringLiteral("vertical-align:top;");
    if (o.style.frame) s += QStringLiteral("border:1px solid #000;");
    return s;
}

} // namespace

ExportResult ExportHtml(const PreparedReport& report, const QString& path, Progress* progress) {
    const ReportGrid grid = BuildGrid(report);
    double total = 0;
    for (double w : grid.columnWidthsMm)
        total += w;
    QString colgroup = QStringLiteral("<colgroup>");
    for (double w : grid.columnWidthsMm)
        colgroup += QStringLiteral("<col style=\"width:%1\">").arg(detail::Mm(w));
    colgroup += QStringLiteral("</colgroup>\n");

    QString out = QStringLiteral(
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title></title>\n"
        "<style>\ntable{border-collapse:collapse;table-layout:fixed;margin-bottom:4mm}\n"
        "td{padding:0 0.5mm;overflow:hidden;white-space:pre-wrap}\n"
        ".page{page-break-after:always}\n</style>\n</head>\n<body>\n");
    detail::PageSteps steps(progress, grid.pageCount);
    int page = -1;
    for (const GridRow& row : grid.rows) {
        if (!steps.AtRow(row)) return detail::Cancelled();
        if (row.page != page) {
            if (page >= 0) out += QStringLiteral("</table>\n</div>\n");
            page = row.page;
            out += QStringLiteral("<div class=\"page\">\n<table style=\"width:%1\">\n")
                       .arg(detail::Mm(total));
            out += colgroup;
        }
        out += QStringLiteral("<tr style=\"height:%1\">").arg(detail::Mm(row.heightMm));
        int column = 0;
        for (const GridCell& cell : row.cells) {
            if (cell.column > column)
                out += QStringLiteral("<td colspan=\"%1\"></td>").arg(cell.column - column);
            out += QStringLiteral("<td");
            if (cell.span > 1) out += QStringLiteral(" colspan=\"%1\"").arg(cell.span);
            out += QStringLiteral(" style=\"%1\">%2</td>")
                       .arg(cellStyle(*cell.object), detail::XmlEscape(cell.object->text));
            column = cell.column + cell.span;
        }
        out += QStringLiteral("</tr>\n");
    }
    if (page >= 0) out += QStringLiteral("</table>\n</div>\n");
    out += QStringLiteral("</body>\n</html>\n");
    return detail::WriteWholeFile(path, out.toUtf8());
}

} // namespace vyz::report
