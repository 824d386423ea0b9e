#include "output/report_binding.h"

#include "data/archive_record.h"
#include "data/lang_texts.h"
#include "data/text_pair.h"

#include <QHash>

namespace vyz {

using report::Band;
using report::BandKind;
using report::ReportLayout;
using report::TextObject;
using report::TextStyle;

namespace {

// Report headings: rows of the main window's text table.
const TextPair& TitleText = LangTexts[30];
const TextPair& DateText = LangTexts[32];
const TextPair& TimeText = LangTexts[33];
const TextPair& MaterialText = LangTexts[36];
const TextPair& TemperatureText = LangTexts[37];
const TextPair& DensityText = LangTexts[38];
const TextPair& PorosityText = LangTexts[39];
const TextPair& DepthText = LangTexts[44];
const TextPair& LatitudeText = LangTexts[46];
const TextPair& LongitudeText = LangTexts[47];
const TextPair& MmText = LangTexts[49];

struct Column {
    const char* heading;
    const char* data;
    double left, width;
};

TextStyle style(double points, bool bold, bool frame) {
    TextStyle s;
    s.family = QStringLiteral("Times New Roman");
    s.pointSize = points;
    s.bold = bold;
    s.frame = frame;
    s.align = Qt::AlignCenter;
    s.wordWrap = true;
    return s;
}

// 21 pixels and 13 pixels at 96 dpi.
constexpr double TitlePoints = 15.75;
constexpr double BodyPoints = 9.75;

template <size_t N>
ReportLayout makeLayout(const char* name, bool landscape, const Column (&columns)[N]) {
    ReportLayout layout;
    layout.name = QString::fromLatin1(name);
    layout.page.orientation = landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    layout.page.paperMm = landscape ? QSizeF(297, 210) : QSizeF(210, 297);
    layout.page.marginsMm = QMarginsF(20, 10, 5, 10);
    layout.startScript = QStringLiteral("LoadLanguage('Russian.frc')");
    const double width = layout.page.PrintableWidthMm();

    Band title{BandKind::ReportTitle, 10, true, true, {}};
    title.objects.append(TextObject{0, 0, width, 7, QString::fromUtf8("[Заголовок]"),
                                    style(TitlePoints, true, false)});
    Band header{BandKind::PageHeader, 5, true, true, {}};
    Band data{BandKind::MasterData, 5, true, true, {}};
    for (const Column& c : columns) {
        header.objects.append(TextObject{c.left, 0, c.width, 5, QString::fromUtf8(c.heading),
                                         style(BodyPoints, true, true)});
        data.objects.append(TextObject{c.left, 0, c.width, 5, QString::fromUtf8(c.data),
                                       style(BodyPoints, false, true)});
    }
    Band footer{BandKind::PageFooter, 6, false, false, {}};
    footer.objects.append(
        TextObject{0, 1, width, 5, QStringLiteral("- [Page#] -"), style(BodyPoints, false, false)});
    layout.bands = {title, header, data, footer};
    return layout;
}

// The table column each data variable reads (by position).
const QHash<QString, int>& dataColumns() {
    static const QHash<QString, int> columns = {
        {QString::fromUtf8("№№"), 0},          {QString::fromUtf8("Плотность"), 2},
        {QString::fromUtf8("Пористость"), 3},  {QString::fromUtf8("Материал"), 4},
        {QString::fromUtf8("Температура"), 5}, {QString::fromUtf8("Толщина"), 6},
        {QString::fromUtf8("Широта"), 7},      {QString::fromUtf8("Долгота"), 8},
    };
    return columns;
}

QString headingOf(const QString& name) {
    auto u = [](const char* s) { return QString::fromUtf8(s); };
    if (name == u("Заголовок")) return u(TitleText());
    if (name == u("Дата0")) return u(DateText());
    if (name == u("Время0")) return u(TimeText());
    if (name == u("Плотность0")) return u(DensityText());
    if (name == u("Пористость0")) return u(PorosityText()) + QStringLiteral(", %");
    if (name == u("Материал0")) return u(MaterialText());
    if (name == u("Температура0")) return u(TemperatureText()) + u(", °C");
    if (name == u("Толщина0")) return u(DepthText()) + QStringLiteral(", ") + u(MmText());
    if (name == u("Широта0")) return u(LatitudeText()) + QStringLiteral(" (GLONASS/GPS)");
    if (name == u("Долгота0")) return u(LongitudeText()) + QStringLiteral(" (GLONASS/GPS)");
    return {};
}

} // namespace

ReportLayout PlainReportLayout() {
    static constexpr Column columns[] = {
        {"№", "[№№]", 0, 16},
        {"[Дата0]", "[Дата]", 16, 29},
        {"[Время0]", "[Время]", 45, 20},
        {"[Плотность0]", "[Плотность]", 65, 25},
        {"[Пористость0]", "[Пористость]", 90, 17},
        {"[Материал0]", "[Материал]", 107, 31},
        {"[Температура0]", "[Температура]", 138, 23},
        {"[Толщина0]", "[Толщина]", 161, 24},
    };
    return makeLayout("frxReport1", false, columns);
}

ReportLayout GpsReportLayout() {
    static constexpr Column columns[] = {
        {"№", "[№№]", 0, 14},
        {"[Дата0]", "[Дата]", 14, 26},
        {"[Время0]", "[Время]", 40, 23},
        {"[Плотность0]", "[Плотность]", 63, 25},
        {"[Пористость0]", "[Пористость]", 88, 25},
        {"[Материал0]", "[Материал]", 113, 44},
        {"[Температура0]", "[Температура]", 157, 23},
        {"[Толщина0]", "[Толщина]", 180, 24},
        {"[Широта0]", "[Широта]", 204, 34},
        {"[Долгота0]", "[Долгота]", 238, 34},
    };
    return makeLayout("frxReportGPS", true, columns);
}

QString ReportTimeOf(const QString& cell) {
    const int open = cell.indexOf(QLatin1Char('('));
    return open < 0 ? QString() : cell.left(open);
}

QString ReportDateOf(const QString& cell) {
    const int open = cell.indexOf(QLatin1Char('('));
    if (open < 0) return cell;
    const int close = cell.indexOf(QLatin1Char(')'), open + 1);
    if (close < 0) return cell.mid(open + 1);
    return cell.mid(open + 1, close - open - 1) + cell.mid(close + 1);
}

ReportBinding::ReportBinding(const CellReader& table) : grid_(table) {
    frxReport1.layout = PlainReportLayout();
    frxReportGPS.layout = GpsReportLayout();
    frxUserDataSet1.OnFirst = [this] { frxUserDataSet1First(); };
    frxUserDataSet1.OnCheckEOF = [this](bool& eof) { frxUserDataSet1CheckEOF(eof); };
    for (report::Report* r : {&frxReport1, &frxReportGPS}) {
        r->dataSet = &frxUserDataSet1;
        r->OnGetValue = [this](const QString& name, QString& value) {
            frxReport1GetValue(name, value);
        };
    }
}

void ReportBinding::frxReport1GetValue(const QString& name, QString& value) {
    const int row = frxUserDataSet1.RecNo + 2;
    if (const auto it = dataColumns().constFind(name); it != dataColumns().constEnd()) {
        value = grid_.CellAt(*it, row);
    } else if (name == QString::fromUtf8("Дата")) {
        value = ReportDateOf(grid_.CellAt(1, row));
    } else if (name == QString::fromUtf8("Время")) {
        value = ReportTimeOf(grid_.CellAt(1, row));
    } else if (QString heading = headingOf(name); !heading.isEmpty()) {
        value = heading;
    }
}

void ReportBinding::frxUserDataSet1First() {
    frxUserDataSet1.RangeEndCount = std::max(0, grid_.RowCount() - 2);
}

void ReportBinding::frxUserDataSet1CheckEOF(bool& eof) {
    if (frxUserDataSet1.RecNo >= grid_.RowCount() - 2) eof = true;
}

} // namespace vyz
