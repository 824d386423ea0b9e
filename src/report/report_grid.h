// The prepared report seen as a table: every printed band is a row, and the columns are cut at
// every left and right edge of the objects, so a heading, its data cells and a full-width title
// each land in their own cell (the title spanning all columns). The document exporters write
// this table.
#pragma once

#include "report/prepared_report.h"

namespace vyz::report {

struct GridCell {
    int column = 0;
    int span = 1; // columns covered
    const PreparedObject* object = nullptr;
};

struct GridRow {
    int page = 0;
    BandKind kind = BandKind::MasterData;
    double heightMm = 0;
    QVector<GridCell> cells; // left to right
};

struct ReportGrid {
    QVector<double> columnWidthsMm;
    QVector<GridRow> rows;
    int pageCount = 0;
    PageSettings page; // of the first page

    double ColumnLeftMm(int column) const;
};

// Builds the table of `report`; the report must outlive the result (cells point into it).
ReportGrid BuildGrid(const PreparedReport& report);

} // namespace vyz::report
