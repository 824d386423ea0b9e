// The report layout model: a page with its margins and a list of bands, each holding text objects
// placed in millimetres. The two layouts of the program are built from these types in
// output/report_binding.cpp; the engine prepares pages from them (report_engine.h).
#pragma once

#include <QColor>
#include <QMarginsF>
#include <QPageLayout>
#include <QSizeF>
#include <QString>
#include <QVector>

namespace vyz::report {

// How a text object looks. Sizes are typographic points (a 13-pixel font at 96 dpi is 9.75 pt).
struct TextStyle {
    QString family = QStringLiteral("Times New Roman");
    double pointSize = 9.75;
    bool bold = false;
    QColor color = Qt::black;
    Qt::Alignment align = Qt::AlignCenter;
    bool frame = false; // a thin line on all four sides
    bool wordWrap = true;

    bool operator==(const TextStyle&) const = default;
};

// A text object: its rectangle relative to the band's top-left corner, and a text in which every
// bracketed name ("[Заголовок]") is replaced by the value the report's callback gives for it.
struct TextObject {
    double leftMm = 0, topMm = 0, widthMm = 0, heightMm = 0;
    QString text;
    TextStyle style;
};

enum class BandKind : quint8 {
    ReportTitle, // first page only, at the top
    PageHeader,  // top of every page (after the title on the first page)
    MasterData,  // once per data set record
    PageFooter,  // foot of every page (except the first when printOnFirstPage is false)
};

struct Band {
    BandKind kind = BandKind::MasterData;
    double heightMm = 5;
    bool printOnFirstPage = true; // page footers only
    bool stretch = true;          // grows to the tallest wrapped text; all objects take that height
    QVector<TextObject> objects;
};

struct PageSettings {
    QSizeF paperMm{210, 297}; // width x height as the page is printed (already turned)
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF marginsMm{20, 10, 5, 10}; // left, top, right, bottom

    double PrintableWidthMm() const {
        return paperMm.width() - marginsMm.left() - marginsMm.right();
    }
    double PrintableHeightMm() const {
        return paperMm.height() - marginsMm.top() - marginsMm.bottom();
    }
    bool operator==(const PageSettings&) const = default;
};

struct ReportLayout {
    QString name;
    PageSettings page;
    QVector<Band> bands;
    // The stored start script, kept with the layout; it names the engine's Russian language
    // file. The interface language itself follows the language commands (LoadLanguageFile).
    QString startScript;
};

} // namespace vyz::report
