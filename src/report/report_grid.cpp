#include "report/report_grid.h"

#include <algorithm>
#include <cmath>

namespace vyz::report {
namespace {

// Edges closer than this are one edge.
constexpr double EdgeTolerance = 0.05;

int edgeIndex(const QVector<double>& edges, double x) {
    const auto it = std::lower_bound(edges.begin(), edges.end(), x - EdgeTolerance);
    return int(it - edges.begin());
}

} // namespace

double ReportGrid::ColumnLeftMm(int column) const {
    double x = 0;
    for (int c = 0; c < column && c < columnWidthsMm.size(); ++c)
        x += columnWidthsMm[c];
    return x;
}

ReportGrid BuildGrid(const PreparedReport& report) {
    ReportGrid grid;
    grid.pageCount = int(report.pages.size());
    if (report.pages.isEmpty()) return grid;
    grid.page = report.pages.first().page;

    QVector<double> raw;
    for (const PreparedPage& page : report.pages)
        for (const PreparedBand& band : page.bands)
            for (const PreparedObject& o : band.objects) {
                raw.append(o.rectMm.left() - page.page.marginsMm.left());
                raw.append(o.rectMm.right() - page.page.marginsMm.left());
            }
    std::sort(raw.begin(), raw.end());
    QVector<double> edges;
    for (double x : raw)
        if (edges.isEmpty() || x - edges.last() > EdgeTolerance) edges.append(x);
    for (int i = 1; i < edges.size(); ++i)
        grid.columnWidthsMm.append(edges[i] - edges[i - 1]);

    for (int p = 0; p < report.pages.size(); ++p) {
        const PreparedPage& page = report.pages[p];
        for (const PreparedBand& band : page.bands) {
            GridRow row{p, band.kind, band.heightMm, {}};
            for (const PreparedObject& o : band.objects) {
                const int first = edgeIndex(edges, o.rectMm.left() - page.page.marginsMm.left());
                const int last = edgeIndex(edges, o.rectMm.right() - page.page.marginsMm.left());
                row.cells.append(GridCell{first, std::max(1, last - first), &o});
            }
            std::sort(row.cells.begin(), row.cells.end(),
                      [](const GridCell& a, const GridCell& b) { return a.column < b.column; });
            grid.rows.append(std::move(row));
        }
    }
    return grid;
}

} // namespace vyz::report
