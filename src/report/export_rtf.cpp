// RTF: the page size and margins of the report, one table row per printed row with the columns'
// widths, framed cells framed; the title and the page footers are rows of their own, and every
// page after the first starts with a page break.
#include "report/export_support.h"

#include <QHash>
#include <cmath>

namespace vyz::report {
namespace {

int twips(double mm) {
    return int(std::lround(mm * 1440.0 / 25.4));
}

QString rtfText(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar ch : text) {
        const ushort u = ch.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += QLatin1Char('\\');
            out += ch;
        } else if (u == '\n') {
            out += QStringLiteral("\\line ");
        } else if (u < 0x80) {
            out += ch;
        } else {
            out += QStringLiteral("\\u%1?").arg(int(short(u)));
        }
    }
    return out;
}

} // namespace

ExportResult ExportRtf(const PreparedReport& report, const QString& path, Progress* progress) {
    const ReportGrid grid = BuildGrid(report);
    QHash<QString, int> fonts;
    QString fontTable;
    auto fontIndex = [&](const QString& family) {
        auto it = fonts.find(family);
        if (it != fonts.end()) return *it;
        const int index = int(fonts.size());
        fonts.insert(family, index);
        fontTable += QStringLiteral("{\\f%1\\froman\\fcharset204 %2;}").arg(index).arg(family);
        return index;
    };

    QString body;
    detail::PageSteps steps(progress, grid.pageCount);
    int page = -1;
    for (const GridRow& row : grid.rows) {
        if (!steps.AtRow(row)) return detail::Cancelled();
        if (row.page != page) {
            if (page >= 0) body += QStringLiteral("\\pard\\plain\\page\\par\n");
            page = row.page;
        }
        QString defs =
            QStringLiteral("\\trowd\\trgaph28\\trleft0\\trrh%1").arg(twips(row.heightMm));
        QString cells;
        int column = 0;
        auto addCell = [&](int toColumn, const PreparedObject* o) {
            if (o && o->style.frame)
                defs += QStringLiteral("\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
                                       "\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10");
            if (o && (o->style.align & Qt::AlignVCenter)) defs += QStringLiteral("\\clvertalc");
            defs += QStringLiteral("\\cellx%1").arg(twips(grid.ColumnLeftMm(toColumn)));
            if (!o) {
                cells += QStringLiteral("\\pard\\intbl\\cell");
                return;
            }
            const QString align = (o->style.align & Qt::AlignHCenter) ? QStringLiteral("\\qc")
                                  : (o->style.align & Qt::AlignRight) ? QStringLiteral("\\qr")
                                                                      : QStringLiteral("\\ql");
            cells += QStringLiteral("\\pard\\intbl%1{\\f%2\\fs%3%4 %5}\\cell")
                         .arg(align)
                         .arg(fontIndex(o->style.family))
                         .arg(std::lround(o->style.pointSize * 2))
                         .arg(o->style.bold ? QStringLiteral("\\b") : QString())
                         .arg(rtfText(o->text));
        };
        for (const GridCell& cell : row.cells) {
            if (cell.column > column) addCell(cell.column, nullptr);
            addCell(cell.column + cell.span, cell.object);
            column = cell.column + cell.span;
        }
        body += defs + QLatin1Char('\n') + cells + QStringLiteral("\\row\n");
    }

    const PageSettings& p = grid.page;
    QString out = QStringLiteral("{\\rtf1\\ansi\\ansicpg1251\\uc1\\deff0\n{\\fonttbl") + fontTable +
                  QStringLiteral("}\n") +
                  QStringLiteral("\\paperw%1\\paperh%2\\margl%3\\margr%4\\margt%5\\margb%6%7\n")
                      .arg(twips(p.paperMm.width()))
                      .arg(twips(p.paperMm.height()))
                      .arg(twips(p.marginsMm.left()))
                      .arg(twips(p.marginsMm.right()))
                      .arg(twips(p.marginsMm.top()))
                      .arg(twips(p.marginsMm.bottom()))
                      .arg(p.orientation == QPageLayout::Landscape ? QStringLiteral("\\landscape")
                                                                   : QString()) +
                  body + QStringLiteral("}\n");
    return detail::WriteWholeFile(path, out.toLatin1());
}

} // namespace vyz::report
