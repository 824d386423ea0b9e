// Fills the measurement table the way the program does: row 0 titles, row 1 units, one record per
// row from row 2, column 1 as " 9:05:07 ( 3 мар 2020)".
#pragma once

#include "data/text_pair.h"
#include "shell/string_grid.h"

#include <QString>
#include <QStringList>

namespace vyz::test {

struct Row {
    QStringList cells; // columns 0..6 (or 0..8 in the coordinates layout)
};

// A record's cells as the table shows them; `i` varies numbers, dates and materials.
inline QStringList MakeCells(int i, int lang, bool gps) {
    static const char* monthsRu[] = {"янв", "фев", "мар", "апр", "мая", "июн",
                                     "июл", "авг", "сен", "окт", "ноя", "дек"};
    static const char* monthsEn[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int day = 1 + i % 28, month = i % 12, hour = i % 24;
    const QString time = QString::asprintf("%2d:%02d:%02d", hour, (i * 7) % 60, (i * 13) % 60);
    const QString date =
        lang == 0 ? QString::asprintf("%2d ", day) + QString::fromUtf8(monthsRu[month]) +
                        QStringLiteral(" 2020")
                  : QString::fromLatin1(monthsEn[month]) + QString::asprintf(" %2d, 2020", day);
    QStringList cells;
    cells << QString::number(1000 + i) << time + QStringLiteral(" (") + date + QLatin1Char(')')
          << QString::number(2000 + i) + QStringLiteral(",") + QString::asprintf("%02d", i % 100)
          << QString::number(i % 10) + QStringLiteral(",") + QString::number(i % 7)
          << (i % 5 == 0
                  ? QString()
                  : QString::fromUtf8(lang == 0 ? "Асфальт %1" : "Asphalt %1").arg(i % 8 + 1))
          << QString::number(i % 40) + QStringLiteral(",5") << QString::number(30 + i % 50);
    if (gps)
        cells << QString::fromUtf8("55°45'12,3\" ") + QString::fromUtf8(lang == 0 ? "СШ" : "N")
              << QString::fromUtf8("37°36'36,6\" ") + QString::fromUtf8(lang == 0 ? "ЗД" : "W");
    return cells;
}

// Writes titles, units and `rows` into the grid (its column count set to 7 or 9).
inline void FillGrid(StringGrid& grid, const QList<QStringList>& rows, bool gps, int lang) {
    GridModel* m = grid.Model();
    m->SetColCount(gps ? 9 : 7);
    m->SetRowCount(int(rows.size()) + 2);
    static const char* titlesRu[] = {"№ зап.",       "Дата, время", "Плотность",
                                     "Пористость",   "Материал",    "Температура",
                                     "Толщина слоя", "Широта",      "Долгота"};
    static const char* titlesEn[] = {"Rec. №",    "Date, time", "Density",
                                     "Porosity",  "Material",   "Temperature",
                                     "Mat depth", "Latitude",   "Longitude"};
    for (int c = 0; c < m->ColCount(); ++c) {
        m->SetCell(c, 0, QString::fromUtf8(lang == 0 ? titlesRu[c] : titlesEn[c]));
        m->SetCell(c, 1, QString());
    }
    m->SetCell(0, 1, QStringLiteral("(%1)").arg(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size() && c < m->ColCount(); ++c)
            m->SetCell(c, r + 2, rows[r][c]);
}

inline QList<QStringList> MakeRows(int count, int lang, bool gps) {
    QList<QStringList> rows;
    for (int i = 0; i < count; ++i)
        rows.append(MakeCells(count - i, lang, gps)); // newest first
    return rows;
}

// The report's columns of a table row: the date and the time split into two.
inline QStringList ReportCells(const QStringList& cells) {
    const QString dt = cells[1];
    const int open = dt.indexOf(QLatin1Char('('));
    QStringList out;
    out << cells[0] << dt.mid(open + 1, dt.size() - open - 2) << dt.left(open);
    for (int c = 2; c < cells.size(); ++c)
        out << cells[c];
    return out;
}

} // namespace vyz::test
