// Plain text, UTF-8: the pages' rows one per line, each column starting at a fixed character
// position (as wide as its longest text), no frames, no empty lines, empty columns dropped.
#include "report/export_support.h"

namespace vyz::report {
namespace {

QString flat(const QString& text) {
    QString t = text;
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t.trimmed();
}

} // namespace

ExportResult ExportText(const PreparedReport& report, const QString& path, Progress* progress) {
    const ReportGrid grid = BuildGrid(report);
    const int columns = int(grid.columnWidthsMm.size());
    QVector<int> width(columns, 0);
    for (const GridRow& row : grid.rows)
        for (const GridCell& cell : row.cells)
            if (cell.span == 1)
                width[cell.column] =
                    std::max(width[cell.column], int(flat(cell.object->text).size()));
    // A column that no single cell fills is dropped; a cell spanning only such columns keeps
    // its place at the next kept column.
    QVector<int> start(columns + 1, 0);
    for (int c = 0, pos = 0; c < columns; ++c) {
        start[c] = pos;
        if (width[c] > 0) pos += width[c] + 1;
        start[c + 1] = pos;
    }

    detail::PageSteps steps(progress, grid.pageCount);
    QString out;
    for (const GridRow& row : grid.rows) {
        if (!steps.AtRow(row)) return detail::Cancelled();
        QString line;
        for (const GridCell& cell : row.cells) {
            const QString text = flat(cell.object->text);
            if (text.isEmpty()) continue;
            if (line.size() < start[cell.column])
                line += QString(start[cell.column] - line.size(), QLatin1Char(' '));
            else if (!line.isEmpty())
                line += QLatin1Char(' ');
            line += text;
        }
        if (line.isEmpty()) continue;
        out += line;
        out += QLatin1Char('\n');
    }
    return detail::WriteWholeFile(path, out.toUtf8());
}

} // namespace vyz::report
