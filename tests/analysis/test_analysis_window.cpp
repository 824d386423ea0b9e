// The lot analysis in the real main window (offscreen): the panel and the chart follow a fill, a
// selection and a language switch; limits mark the table's rows; the chart is saved and read back
// by real readers; the report with the lot summary is exported to PDF and read by pdftotext.
#include "analysis/analysis_settings.h"
#include "analysis/density_chart.h"
#include "analysis/limits_dialog.h"
#include "analysis/lot_analysis.h"
#include "analysis/lot_text.h"
#include "data/archive_record.h"
#include "data/text_pair.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "report/report_export.h"
#include "report/report_preview.h"
#include "shell/main_window.h"
#include "support/modal_script.h"
#include "support/records.h"

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QDockWidget>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolTip>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

using namespace vyz;
using namespace vyz::analysis;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

ArchiveRecord record(int number, float density, float refDensity, float temperature,
                     uint8_t material = 1) {
    return testsupport::MakeRecord({.number = number,
                                    .second = 30,
                                    .minute = 15,
                                    .hour = 10,
                                    .day = 12,
                                    .month = 1,
                                    .year = 20,
                                    .material = material,
                                    .depth = 50,
                                    .density = density,
                                    .refDensity = refDensity,
                                    .temperature = temperature});
}

void store(const std::vector<ArchiveRecord>& records) {
    for (size_t i = 0; i < records.size(); ++i)
        MeasurementArchive[i] = records[i];
    RecordCount = int(records.size());
}

// The lot used throughout: records 1..5 in the archive, so the table shows 5, 4, 3, 2, 1.
// Reference 2500: porosity 8, 6, 4, 2, 0 % for records 1..5; record 6 is deleted.
std::vector<ArchiveRecord> lot() {
    std::vector<ArchiveRecord> r = {record(1, 2300, 2500, 150),    record(2, 2350, 2500, 140),
                                    record(3, 2400, 2500, 130),    record(4, 2450, 2500, 160),
                                    record(5, 2500, 2500, 170, 2), record(6, 1000, 2500, 20)};
    r.back().Second = DeletedMark;
    return r;
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("<timeout>");
    }
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// The panel's text with its table cells and lines run together, one blank between.
QString panelText(TForm1& window) {
    return window.Analysis()->Panel()->toPlainText().simplified();
}

QString ini(const char* key) {
    return QString::fromStdString(
        GetPrivateProfileString("Analysis", key, std::string("<missing>"), 64, IniFileName()));
}

} // namespace

class TestAnalysisWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuAfterInstrumentAndPanelStored();
    void panelFollowsFillSelectionAndLanguage();
    void limitsMarkRows();
    void limitsDialog_data();
    void limitsDialog();
    void storedLimitsThatCannotBeUsed();
    void badLots_data();
    void badLots();
    void chartFollowsFill();
    void chartHoverClickAndZoom();
    void chartSavedAsPngAndSvg();
    void reportWithAndWithoutSummary();
    void pictureSurvivesPreparedReportFile();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestAnalysisWindow::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    InitProgramPaths(dir_->path().toStdString());
    LangIndex = 0;
    RecordCount = 0;
    GPSModeFlag = false;
}

void TestAnalysisWindow::cleanup() {
    dir_.reset();
}

void TestAnalysisWindow::menuAfterInstrumentAndPanelStored() {
    {
        TForm1 window;
        QStringList titles;
        for (QAction* a : window.menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({u("&Файл"), u("&Команды"), u("Анализ"), u("Параметры"),
                                      u("&Помощь")}));
        window.ALangEngExecute();
        QCOMPARE(window.menuBar()->actions()[2]->text(), QStringLiteral("Analysis"));
        // Hidden by default; starting writes nothing.
        QVERIFY(window.Analysis()->Dock()->isHidden());
        QCOMPARE(ini("PanelVisible"), QStringLiteral("<missing>"));
        window.Analysis()->PanelAction()->trigger();
        QVERIFY(!window.Analysis()->Dock()->isHidden());
        QCOMPARE(ini("PanelVisible"), QStringLiteral("Y"));
    }
    {
        TForm1 window;
        QVERIFY(!window.Analysis()->Dock()->isHidden());
        QVERIFY(window.Analysis()->PanelAction()->isChecked());
        window.Analysis()->PanelAction()->trigger();
        QCOMPARE(ini("PanelVisible"), QStringLiteral("N"));
    }
}

void TestAnalysisWindow::panelFollowsFillSelectionAndLanguage() {
    TForm1 window;
    window.ALangRusExecute();
    window.show();
    window.Analysis()->PanelAction()->trigger();
    QVERIFY(panelText(window).contains(u("Таблица пуста")));

    window.ClearTable();
    store(lot());
    window.FillDataTable(1);
    QString text = panelText(window);
    QVERIFY2(text.contains(u("Все записи таблицы: 6")), qPrintable(text));
    // Density 2300..2500: mean 2400, s = sqrt(62500/4) = 79.06 (the deleted record left out).
    QVERIFY2(text.contains(u("Плотность, кг/м^3 5 2400,00 79,057 2300,00 2500,00")),
             qPrintable(text));
    QVERIFY(text.contains(u("Пористость, % 5 4,0 3,16")));
    QVERIFY(text.contains(u("Уплотнение, % 5 96,0")));
    QVERIFY(text.contains(u("Температура, °C 5 150,0 15,81 130,0 170,0")));
    QVERIFY(text.contains(u("Удаленные записи не учтены: 1")));
    QVERIFY(text.contains(u("Асфальт 2 1 2500,00 0,0 100,0")));

    // Data rows 1..3 show records 5, 4, 3 (newest first, row 0 is the deleted record 6):
    // density 2500, 2450, 2400.
    QItemSelectionModel* selection = window.StringGrid1()->selectionModel();
    GridModel* grid = window.StringGrid1()->Model();
    selection->select(QItemSelection(grid->index(1, 0), grid->index(3, 0)),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    text = panelText(window);
    QVERIFY2(text.contains(u("Выделенные строки, записи № 5 - № 3: 3")), qPrintable(text));
    QVERIFY(text.contains(u("Плотность, кг/м^3 3 2450,00 50,000 2400,00 2500,00")));
    // One selected row is the table's cursor: the figures are the whole table's again.
    selection->select(grid->index(2, 0),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(panelText(window).contains(u("Все записи таблицы: 6")));

    window.ALangEngExecute();
    text = panelText(window);
    QVERIFY(text.contains(QStringLiteral("All records of the table: 6")));
    QVERIFY(text.contains(QStringLiteral("Density, kg/m^3 5 2400,00")));
    QVERIFY(text.contains(QStringLiteral("Deleted records left out: 1")));
    QCOMPARE(window.Analysis()->Dock()->windowTitle(), QStringLiteral("Lot analysis"));

    // Clearing the table empties the figures; a new fill replaces them.
    window.ClearTable();
    QVERIFY(panelText(window).contains(QStringLiteral("The table is empty")));
    store({record(7, 2000, 2500, 100)});
    window.FillDataTable(1);
    text = panelText(window);
    QVERIFY(text.contains(QStringLiteral("All records of the table: 1")));
    QVERIFY(text.contains(QStringLiteral("Density, kg/m^3 1 2000,00 - 2000,00 2000,00")));
    QVERIFY(text.contains(QStringLiteral("The std. dev. needs at least two values.")));
}

void TestAnalysisWindow::limitsMarkRows() {
    TForm1 window;
    window.ALangRusExecute();
    window.ClearTable();
    std::vector<ArchiveRecord> records = lot();
    records.push_back(record(7, 2400, 0, 150)); // no reference density
    store(records);
    window.FillDataTable(1);
    GridModel* grid = window.StringGrid1()->Model();
    // No limits: no marks, the tool tip is the cell's text.
    QCOMPARE(grid->data(grid->index(0, 1), Qt::BackgroundRole), QVariant());
    QCOMPARE(grid->data(grid->index(0, 1), Qt::ToolTipRole).toString(), grid->Cell(2, 2));

    Limits limits;
    limits.porosityLow = 1;
    limits.porosityHigh = 7;
    limits.temperatureLow = 135;
    window.Analysis()->ApplyLimits(limits);
    QCOMPARE(ini("PorosityLow"), QStringLiteral("1"));
    QCOMPARE(ini("PorosityHigh"), QStringLiteral("7"));
    QCOMPARE(ini("CompactionLow"), QString());
    QCOMPARE(ini("TemperatureLow"), QStringLiteral("135"));

    // Rows (newest first): 7 no reference, 6 deleted, 5 porosity 0 (fails), 4 passes,
    // 3 temperature 130 (fails), 2 passes, 1 porosity 8 (fails).
    struct Expected {
        const char* tip; // the start of the row's note
        bool marked;
    };
    const Expected expected[] = {
        {"? Не проверена: нет опорной плотности", true},        {"", false},
        {"✘ Вне допуска: пористость 0,0 % < 1 %", true},        {"✔ В допуске", true},
        {"✘ Вне допуска: температура 130,0 °C < 135 °C", true}, {"✔ В допуске", true},
        {"✘ Вне допуска: пористость 8,0 % > 7 %", true}};
    QSet<QRgb> colours;
    for (int row = 0; row < 7; ++row) {
        const QModelIndex i = grid->index(row, 2);
        const QVariant background = grid->data(i, Qt::BackgroundRole);
        QCOMPARE(background.isValid(), expected[row].marked);
        const QString tip = grid->data(i, Qt::ToolTipRole).toString();
        if (expected[row].marked) {
            colours << background.value<QColor>().rgb();
            QVERIFY2(
                tip.startsWith(grid->Cell(3, row + 2) + QLatin1Char('\n') + u(expected[row].tip)),
                qPrintable(tip));
        } else {
            QCOMPARE(tip, grid->Cell(3, row + 2));
        }
        // The cell texts themselves stay as the table's rule made them.
        QCOMPARE(grid->data(i, Qt::DisplayRole).toString(), grid->Cell(3, row + 2));
    }
    QCOMPARE(colours.size(), 3); // within, outside, not checked
    QString text = panelText(window);
    QVERIFY2(text.contains(u("В допуске: 2 из 5 (40,0 %)")), qPrintable(text));
    QVERIFY(text.contains(u("Не проверены (нет нужного значения): 1")));
    // Porosity 8, 6, 4, 2, 0 within 1..7: mean 4, s = 3.162, Q = 0.9487 each side; n = 5.
    const double q = 3 / std::sqrt(10.0);
    const double pwl = 2 * PercentOnGoodSide(q, 5) - 100;
    QVERIFY2(text.contains(u("Пористость, % 5 0,95 0,95 ") + Number(pwl, 1)), qPrintable(text));

    // The notes follow the language.
    window.ALangEngExecute();
    QVERIFY(grid->data(grid->index(3, 2), Qt::ToolTipRole)
                .toString()
                .endsWith(QStringLiteral("✔ Within limits")));
    // Limits removed: the marks go.
    window.Analysis()->ApplyLimits({});
    QCOMPARE(grid->data(grid->index(0, 1), Qt::BackgroundRole), QVariant());
    // A refill keeps no marks of the rows before it when the count changes.
    window.Analysis()->ApplyLimits(limits);
    window.ClearTable();
    QCOMPARE(grid->data(grid->index(0, 1), Qt::BackgroundRole), QVariant());
}

void TestAnalysisWindow::limitsDialog_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("stored");
    QTest::newRow("all empty") << QStringList{"", "", "", ""} << QString() << QString("----");
    QTest::newRow("comma and point")
        << QStringList{" 2,5 ", "7.5", "", "120"} << QString() << QString("2.5 7.5 - 120");
    QTest::newRow("not a number") << QStringList{"2", "abc", "", ""} << u("«abc»: это не число.")
                                  << QString();
    QTest::newRow("infinite") << QStringList{"", "", "inf", ""} << u("«inf»: это не число.")
                              << QString();
    QTest::newRow("inverted") << QStringList{"8", "7", "", ""}
                              << u("Нижний допуск пористости выше верхнего: ни одна запись не "
                                   "пройдет.")
                              << QString();
    QTest::newRow("equal limits are fine")
        << QStringList{"5", "5", "", ""} << QString() << QString("5 5 - -");
}

void TestAnalysisWindow::limitsDialog() {
    QFETCH(QStringList, fields);
    QFETCH(QString, problem);
    QFETCH(QString, stored);
    LimitsDialog dialog(Limits{});
    const char* names[] = {"PorosityLow", "PorosityHigh", "CompactionLow", "TemperatureLow"};
    for (int i = 0; i < 4; ++i)
        dialog.findChild<QLineEdit*>(QString::fromLatin1(names[i]))->setText(fields[i]);
    QCOMPARE(dialog.Check(), problem);
    if (!problem.isEmpty()) return;
    const Limits l = dialog.Result();
    auto text = [](const std::optional<double>& v) {
        return v ? QString::number(*v) : QStringLiteral("-");
    };
    const QString got = text(l.porosityLow) + ' ' + text(l.porosityHigh) + ' ' +
                        text(l.compactionLow) + ' ' + text(l.temperatureLow);
    QCOMPARE(got, stored == "----" ? QString("- - - -") : stored);
    // Written and read back through the settings file.
    WriteLimits(l);
    QVERIFY(ReadLimits() == l);
    // The dialog opens with what is stored.
    LimitsDialog again(ReadLimits());
    QCOMPARE(again.findChild<QLineEdit*>("PorosityLow")->text(), fields[0].trimmed());
}

// A settings file edited by hand: values that are not numbers are no limits; inverted porosity
// limits are not used, and the panel says why.
void TestAnalysisWindow::storedLimitsThatCannotBeUsed() {
    QFile f(QString::fromStdString(IniFileName()));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Analysis]\nPorosityLow=9\nPorosityHigh=3\nCompactionLow=x\nTemperatureLow=nan\n");
    f.close();
    TForm1 window;
    window.ALangEngExecute();
    window.ClearTable();
    store(lot());
    window.FillDataTable(1);
    const Limits l = window.Analysis()->Model().CurrentLimits();
    QVERIFY(!l.compactionLow && !l.temperatureLow);
    const QString text = panelText(window);
    QVERIFY2(text.contains(QStringLiteral(
                 "The porosity limits are not used: the lower one is above the upper one.")),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("not computed: the lower limit is above the upper one")));
    GridModel* grid = window.StringGrid1()->Model();
    QCOMPARE(grid->data(grid->index(0, 1), Qt::BackgroundRole), QVariant());
}

void TestAnalysisWindow::badLots_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("one record") << 0
                                << QStringList{"Porosity, % 1 ",
                                               "not computed: needs at least 3 values"};
    QTest::newRow("all equal") << 1
                               << QStringList{"Density, kg/m^3 4 2400,00 0,000",
                                              "not computed: all values are equal (s = 0)"};
    QTest::newRow("damaged values")
        << 2
        << QStringList{
               "Records with damaged values (not a number), left out where those are used: 3",
               "Density, kg/m^3 3 ",
               "Without reference density, left out of porosity and compaction: 1"};
}

void TestAnalysisWindow::badLots() {
    QFETCH(int, kind);
    QFETCH(QStringList, expected);
    constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float Inf = std::numeric_limits<float>::infinity();
    std::vector<ArchiveRecord> records;
    if (kind == 0) records = {record(1, 2300, 2500, 150)};
    if (kind == 1)
        for (int i = 0; i < 4; ++i)
            records.push_back(record(i, 2400, 2500, 150));
    if (kind == 2)
        records = {record(1, NaN, 2500, 150), record(2, 2300, Inf, 150),
                   record(3, 2350, 2500, -Inf), record(4, 2400, 2500, 150)};
    TForm1 window;
    window.ALangEngExecute();
    Limits limits;
    limits.porosityLow = 1;
    limits.porosityHigh = 7;
    window.Analysis()->ApplyLimits(limits);
    window.ClearTable();
    store(records);
    window.FillDataTable(1);
    const QString text = panelText(window);
    for (const QString& e : expected)
        QVERIFY2(text.contains(e), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("NAN")) && !text.contains(QStringLiteral("INF")));
    // The chart draws only finite values.
    for (const QPointF& p : window.Analysis()->Chart()->Plot()->Points(PlotLine::Density))
        QVERIFY(std::isfinite(p.y()));
}

void TestAnalysisWindow::chartFollowsFill() {
    TForm1 window;
    window.ALangRusExecute();
    Limits limits;
    limits.porosityHigh = 7;
    window.Analysis()->ApplyLimits(limits);
    window.ClearTable();
    store(lot());
    window.FillDataTable(1);
    DensityChart* chart = window.Analysis()->Chart();
    QVERIFY(chart->Plot());
    // Read through Plot(), which first redraws a chart the model changed while it was hidden.
    // Table order (newest first), the deleted record (x = 1) left out; x is the table row.
    const QList<QPointF> density = chart->Plot()->Points(PlotLine::Density);
    QCOMPARE(density, (QList<QPointF>{{2, 2500}, {3, 2450}, {4, 2400}, {5, 2350}, {6, 2300}}));
    const QList<QPointF> porosity = chart->Plot()->Points(PlotLine::Porosity);
    QCOMPARE(porosity.size(), 5);
    QVERIFY(std::fabs(porosity.at(4).y() - 8) < 1e-5);
    QCOMPARE(chart->Plot()->Points(PlotLine::Failing), QList<QPointF>({{6, 2300}}));
    // The upper porosity limit is a line across the rows; the lower one is not set.
    QCOMPARE(chart->Plot()->Points(PlotLine::PorosityHigh), QList<QPointF>({{1, 7}, {6, 7}}));
    QVERIFY(chart->Plot()->Points(PlotLine::PorosityLow).isEmpty());
    QCOMPARE(chart->Plot()->Title(), u("Плотность и пористость по записям таблицы"));
    // The nearest drawn point; row 0 is the deleted record, not drawn.
    QCOMPARE(chart->RowAt(1.0), 1);
    QCOMPARE(chart->RowAt(2.9), 2);
    QCOMPARE(chart->RowAt(3.4), 2);
    QCOMPARE(chart->RowAt(99), 5);
    QCOMPARE(chart->PointText(5),
             u("Запись № 1, 10:15:30 (12 янв 2020)\nПлотность 2300,00 кг/м^3\nПористость 8,0 %\n"
               "✘ Вне допуска: пористость 8,0 % > 7 %"));

    window.ALangEngExecute();
    QCOMPARE(chart->Plot()->Title(), QStringLiteral("Density and porosity by table row"));
    QCOMPARE(chart->Plot()->Name(PlotLine::Density), QStringLiteral("Density, kg/m^3"));

    // A new fill redraws; clearing the table empties the chart.
    window.ClearTable();
    QCOMPARE(chart->Plot()->Points(PlotLine::Density).size(), 0);
    store({record(1, 2000, 2500, 150), record(2, 2100, 2500, 150)});
    window.FillDataTable(1);
    QCOMPARE(chart->Plot()->Points(PlotLine::Density), QList<QPointF>({{1, 2100}, {2, 2000}}));
}

void TestAnalysisWindow::chartHoverClickAndZoom() {
    TForm1 window;
    window.resize(900, 700);
    window.show();
    window.Analysis()->PanelAction()->trigger();
    window.ClearTable();
    store(lot());
    window.FillDataTable(1);
    // The chart tab, chosen as the operator chooses it, makes the chart.
    auto* tabs = window.Analysis()->Dock()->findChild<QTabWidget*>();
    QVERIFY(tabs);
    tabs->setCurrentIndex(1);
    auto* chart = tabs->currentWidget()->findChild<QChartView*>();
    QVERIFY(chart);
    QCOMPARE(chart, window.Analysis()->Chart()->Widget());
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(chart->width() > 200);
    // A click on the point of table row 4 (record 3, x = 4).
    const QPointF scenePoint =
        chart->chart()->mapToPosition(QPointF(4, 2400), chart->chart()->series().first());
    const QPoint at = chart->mapFromScene(chart->chart()->mapToScene(scenePoint));
    // Hovering the line names the record under the mouse.
    QTest::mouseMove(chart->viewport(), at + QPoint(0, 10));
    QTest::mouseMove(chart->viewport(), at);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(
        QToolTip::text().startsWith(u("Запись № 3, 10:15:30 (12 янв 2020)\nПлотность 2400,00")),
        qPrintable(QToolTip::text()));
    QTest::mouseClick(chart->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(window.StringGrid1()->SelectedRows(), std::make_pair(5, 5));
    QCOMPARE(window.StringGrid1()->Model()->Cell(0, 5), QStringLiteral("3"));
    // The wheel zooms in, Home shows the whole chart again.
    const double before = chart->chart()->axes(Qt::Horizontal)[0]->property("max").toDouble();
    QWheelEvent wheel(QPointF(at), chart->mapToGlobal(QPointF(at)), {}, QPoint(0, 240),
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart->viewport(), &wheel);
    const double zoomed = chart->chart()->axes(Qt::Horizontal)[0]->property("max").toDouble();
    QVERIFY2(zoomed < before, qPrintable(QString::number(zoomed)));
    QTest::keyClick(chart, Qt::Key_Home);
    QCOMPARE(chart->chart()->axes(Qt::Horizontal)[0]->property("max").toDouble(), before);
}

void TestAnalysisWindow::chartSavedAsPngAndSvg() {
    TForm1 window;
    window.ALangEngExecute();
    window.ClearTable();
    store(lot());
    window.FillDataTable(1);
    DensityChart* chart = window.Analysis()->Chart();
    const QString png = dir_->filePath("chart.png"), svg = dir_->filePath("chart.svg");
    QString error;
    QVERIFY2(chart->SavePng(png, &error), qPrintable(error));
    QVERIFY2(chart->SaveSvg(svg, &error), qPrintable(error));

    // ImageMagick reads the PNG: the size of a chart drawn off screen, and the density line's
    // blue among its colours.
    QCOMPARE(run("identify", {"-format", "%m %w %h", png}), QStringLiteral("PNG 1200 700"));
    const QString histogram = run("convert", {png, "-format", "%c", "histogram:info:-"});
    QVERIFY2(histogram.contains(QStringLiteral("#0072B2")), qPrintable(histogram.left(2000)));

    // Python's XML parser reads the SVG: its size, its title and the chart's texts.
    const QString script = QStringLiteral(
        "import sys, xml.etree.ElementTree as ET\n"
        "root = ET.parse(sys.argv[1]).getroot()\n"
        "ns = '{http://www.w3.org/2000/svg}'\n"
        "texts = ''.join(t.text or '' for t in root.iter(ns + 'text'))\n"
        "print(root.get('width'), root.get('height'), root.find(ns + 'title').text)\n"
        "print('Density, kg/m^3' in texts, 'Table row' in texts)\n"
        "print(sum(1 for _ in root.iter(ns + 'polyline')) + sum(1 for _ in root.iter(ns + 'path')) "
        "> 0)\n");
    const QString parsed = run("python3", {"-c", script, svg});
    QVERIFY2(parsed.startsWith(QStringLiteral("1200px 700px Density and porosity by table row\n"
                                              "True True\nTrue")) ||
                 parsed.startsWith(QStringLiteral("423.333mm 246.944mm Density and porosity")),
             qPrintable(parsed));

    // A file that cannot be written is reported, and nothing is left behind.
    QVERIFY(!chart->SavePng(dir_->filePath("missing/chart.png"), &error));
    QVERIFY(!error.isEmpty());
}

void TestAnalysisWindow::reportWithAndWithoutSummary() {
    TForm1 window;
    window.ALangRusExecute();
    Limits limits;
    limits.porosityLow = 1;
    limits.porosityHigh = 7;
    window.Analysis()->ApplyLimits(limits);
    window.ClearTable();
    store(lot());
    window.FillDataTable(1);

    // The print command's preview, exported to PDF from there as the operator does.
    auto print = [&](const QString& pdf) {
        int pages = -1;
        testsupport::ModalScript script({[&](QWidget* w) {
                                             auto* preview =
                                                 qobject_cast<report::PreviewWindow*>(w);
                                             QVERIFY(preview);
                                             pages = preview->PageCount();
                                             preview->ExportTo(report::ExportFormat::Pdf);
                                             preview->reject();
                                         },
                                         testsupport::choose(pdf)});
        window.APrintExecute();
        return script.left() == 0 && script.unexpected == 0 ? pages : -2;
    };
    auto pdfText = [](const QString& pdf) {
        return run("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"}).split(QLatin1Char('\f'));
    };
    // Off by default: the report is the table alone.
    QVERIFY(!window.Analysis()->SummaryAction()->isChecked());
    const QString plainPdf = dir_->filePath("plain.pdf");
    QCOMPARE(print(plainPdf), 1);
    const QStringList plainPages = pdfText(plainPdf);
    QVERIFY(plainPages[0].contains(u("Измеренные значения плотности")));

    window.Analysis()->SummaryAction()->trigger();
    QCOMPARE(ini("ReportSummary"), QStringLiteral("Y"));
    const QString pdf = dir_->filePath("summary.pdf");
    QCOMPARE(print(pdf), 2);
    const QStringList pages = pdfText(pdf);
    QVERIFY(pages.size() >= 2);
    // The table's page is as it was.
    QCOMPARE(pages[0], plainPages[0]);
    const QString summary = pages[1].simplified();
    const double q = 3 / std::sqrt(10.0);
    for (const QString& e :
         {u("Сводка по партии"), u("Все записи таблицы: 6"),
          u("Плотность, кг/м^3 5 2400,00 79,057 2300,00 2500,00"),
          u("Температура, °C 5 150,0 15,81 130,0 170,0"), u("Удаленные записи не учтены: 1"),
          u("Пористость не меньше, %: 1"), u("Пористость не больше, %: 7"),
          u("В допуске: 3 из 5 (60,0 %)"),
          u("Пористость, % 5 0,95 0,95 ") + Number(2 * PercentOnGoodSide(q, 5) - 100, 1)})
        QVERIFY2(summary.contains(e), qPrintable(e + QStringLiteral("\n---\n") + summary));
    QVERIFY(QRegularExpression(QStringLiteral("-\\s*2\\s*-")).match(pages[1]).hasMatch());
    // The chart is on the summary page: the PDF holds an image.
    const QString images = run("pdfimages", {"-list", pdf});
    QVERIFY2(images.split(QLatin1Char('\n')).filter(QRegularExpression("^\\s+2\\s")).size() == 1,
             qPrintable(images));
    // Switched off again, the report is the table alone.
    window.Analysis()->SummaryAction()->trigger();
    QCOMPARE(print(dir_->filePath("again.pdf")), 1);
}

void TestAnalysisWindow::pictureSurvivesPreparedReportFile() {
    report::PreparedReport r;
    report::PreparedObject o;
    o.rectMm = QRectF(20, 20, 100, 50);
    o.picture = QImage(40, 20, QImage::Format_RGB32);
    o.picture.fill(QColor(0, 114, 178));
    r.pages.append(report::PreparedPage{
        {}, {report::PreparedBand{report::BandKind::MasterData, 20, 50, {o}}}});
    const QString path = dir_->filePath("r.vyzrep");
    QString error;
    QVERIFY2(r.SaveToFile(path, &error), qPrintable(error));
    report::PreparedReport back;
    QVERIFY2(back.LoadFromFile(path, &error), qPrintable(error));
    QCOMPARE(back.pages[0].bands[0].objects[0].picture.size(), QSize(40, 20));
    QCOMPARE(back.pages[0].bands[0].objects[0].picture.pixelColor(3, 3), QColor(0, 114, 178));

    // A file of the first format, whose objects carry no picture, still opens.
    QByteArray v1;
    {
        QDataStream out(&v1, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << quint32(0x56595a50) << quint32(1) << qint32(1) << QSizeF(210, 297) << quint8(0)
            << QMarginsF(20, 10, 5, 10) << qint32(1) << quint8(2) << 10.0 << 5.0 << qint32(1)
            << QRectF(20, 10, 16, 5) << QStringLiteral("1") << qint32(1) << QStringLiteral("1")
            << 2.0 << QStringLiteral("Times New Roman") << 9.75 << false << QColor(Qt::black)
            << quint32(Qt::AlignCenter) << true << true;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(v1);
    file.close();
    QVERIFY2(back.LoadFromFile(path, &error), qPrintable(error));
    QCOMPARE(back.pages[0].bands[0].objects[0].text, QStringLiteral("1"));
    QVERIFY(back.pages[0].bands[0].objects[0].picture.isNull());
}

QTEST_MAIN(TestAnalysisWindow)
#include "test_analysis_window.moc"
