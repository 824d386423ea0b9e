// Excel workbook (.xlsx) through libxlsxwriter: one sheet, each cell of the report in a cell of
// its own (the title and the page footers merged across the columns), the columns' widths and
// the rows' heights of the pages, the report's fonts and frames, A4 in the report's orientation
// and margins, a page break where each page of the report starts. Cells hold the report's texts
// as they stand ("2345,68"), so no value is re-read through a locale.
#include "report/export_support.h"

#include <QFile>
#include <QHash>
#include <xlsxwriter.h>

namespace vyz::report {
namespace {

constexpr double InchPerMm = 1.0 / 25.4;

QString formatKey(const TextStyle& s) {
    return s.family + QLatin1Char('|') + QString::number(s.pointSize) + QLatin1Char('|') +
           QString::number(int(s.bold)) + QString::number(int(s.frame)) +
           QString::number(int(s.align)) + QString::number(int(s.wordWrap));
}

} // namespace

ExportResult ExportXlsx(const PreparedReport& report, const QString& path, Progress* progress) {
    const ReportGrid grid = BuildGrid(report);
    detail::StagedTarget target(path);
    if (!target.ok()) return detail::Failed(target.error());
    const QByteArray tempName = QFile::encodeName(target.path());
    lxw_workbook* book = workbook_new(tempName.constData());
    if (!book) return detail::Failed(QStringLiteral("cannot create the workbook"));
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);

    worksheet_set_paper(sheet, 9); // A4
    if (grid.page.orientation == QPageLayout::Landscape)
        worksheet_set_landscape(sheet);
    else
        worksheet_set_portrait(sheet);
    const QMarginsF& m = grid.page.marginsMm;
    worksheet_set_margins(sheet, m.left() * InchPerMm, m.right() * InchPerMm, m.top() * InchPerMm,
                          m.bottom() * InchPerMm);
    for (int c = 0; c < grid.columnWidthsMm.size(); ++c)
        worksheet_set_column_pixels(sheet, lxw_col_t(c), lxw_col_t(c),
                                    uint32_t(grid.columnWidthsMm[c] * 96 / 25.4 + 0.5), nullptr);

    QHash<QString, lxw_format*> formats;
    auto format = [&](const TextStyle& s) {
        const QString key = formatKey(s);
        if (auto it = formats.find(key); it != formats.end()) return *it;
        lxw_format* f = workbook_add_format(book);
        const QByteArray family = s.family.toUtf8();
        format_set_font_name(f, family.constData());
        format_set_font_size(f, s.pointSize);
        if (s.bold) format_set_bold(f);
        if (s.frame) format_set_border(f, LXW_BORDER_THIN);
        format_set_align(f, (s.align & Qt::AlignHCenter) ? LXW_ALIGN_CENTER
                            : (s.align & Qt::AlignRight) ? LXW_ALIGN_RIGHT
                                                         : LXW_ALIGN_LEFT);
        format_set_align(f, (s.align & Qt::AlignVCenter) ? LXW_ALIGN_VERTICAL_CENTER
                                                         : LXW_ALIGN_VERTICAL_TOP);
        if (s.wordWrap) format_set_text_wrap(f);
        formats.insert(key, f);
        return f;
    };

    QVector<lxw_row_t> breaks;
    detail::PageSteps steps(progress, grid.pageCount);
    lxw_error error = LXW_NO_ERROR;
    int page = -1;
    for (int r = 0; r < grid.rows.size() && error == LXW_NO_ERROR; ++r) {
        const GridRow& row = grid.rows[r];
        if (!steps.AtRow(row)) {
            workbook_close(book);
            return detail::Cancelled();
        }
        if (row.page != page) {
            if (page >= 0) breaks.append(lxw_row_t(r));
            page = row.page;
        }
        worksheet_set_row(sheet, lxw_row_t(r), row.heightMm * 72 / 25.4, nullptr);
        for (const GridCell& cell : row.cells) {
            const QByteArray text = cell.object->text.toUtf8();
            lxw_format* f = format(cell.object->style);
            if (cell.span > 1)
                error = worksheet_merge_range(sheet, lxw_row_t(r), lxw_col_t(cell.column),
                                              lxw_row_t(r), lxw_col_t(cell.column + cell.span - 1),
                                              text.constData(), f);
            else if (!text.isEmpty())
                error = worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(cell.column),
                                               text.constData(), f);
            else
                error = worksheet_write_blank(sheet, lxw_row_t(r), lxw_col_t(cell.column), f);
            if (error != LXW_NO_ERROR) break;
        }
    }
    if (error == LXW_NO_ERROR && !breaks.isEmpty()) {
        breaks.append(0); // the list ends with 0
        error = worksheet_set_h_pagebreaks(sheet, breaks.data());
    }
    const lxw_error closed = workbook_close(book);
    if (error == LXW_NO_ERROR) error = closed;
    if (error != LXW_NO_ERROR) return detail::Failed(QString::fromUtf8(lxw_strerror(error)));
    QString commitError;
    if (!target.Commit(&commitError)) return detail::Failed(commitError);
    return {};
}

} // namespace vyz::report
