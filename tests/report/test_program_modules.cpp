// The program writes the office formats through a module it loads with the first such export, and
// draws the density chart through one it loads with the first chart: this test, like the
// program, has those exporters and that drawing only in the built modules.
#include "analysis/density_chart.h"
#include "analysis/lot_model.h"
#include "output/report_binding.h"
#include "platform/paths.h"
#include "report/office_formats.h"
#include "report/report_export.h"
#include "support/records.h"
#include "table_fixture.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vyz;
using namespace vyz::report;

class TestProgramModules : public QObject {
    Q_OBJECT
private slots:
    void withoutModuleTheExportFailsWithTheReason();
    void exportsThroughTheModule_data();
    void exportsThroughTheModule();
    void withoutModuleTheChartSaysWhy();
    void chartThroughTheModule();
};

namespace {

// The text of one member of a zip container.
QString Member(const QString& zip, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0) return {};
    return QString::fromUtf8(unzip.readAllStandardOutput());
}

// A lot of three records, the middle one outside the porosity limit.
struct Lot {
    ArchiveRecord records[3];
    int32_t order[3] = {0, 1, 2};
    analysis::LotModel model;
    Lot() {
        for (int i = 0; i < 3; ++i)
            records[i] = testsupport::MakeRecord({.number = i + 1,
                                                  .day = 3,
                                                  .month = 5,
                                                  .year = 20,
                                                  .density = 2300.0f - 100.0f * float(i == 1),
                                                  .refDensity = 2400.0f});
        analysis::Limits limits;
        limits.porosityHigh = 6;
        model.SetLimits(limits);
        model.SetTable(records, order, 3);
    }
};

bool ChartModuleInstalled() {
    return QFile::exists(QStringLiteral(VYZ_INSTALLED_LIBRARY_DIR "/") + analysis::ChartModuleName);
}

} // namespace

void TestProgramModules::withoutModuleTheExportFailsWithTheReason() {
    QVERIFY(!&LinkedOffice);
    const QString installed = QStringLiteral(VYZ_INSTALLED_LIBRARY_DIR "/") + OfficeModuleName;
    if (QFile::exists(installed)) QSKIP("the module is installed on this machine");
    QTemporaryDir empty;
    InitProgramPaths(empty.path().toStdString());
    QString error;
    QVERIFY(!Office(&error));
    QVERIFY2(error.contains(QLatin1String(OfficeModuleName)), qPrintable(error));

    StringGrid grid;
    test::FillGrid(grid, {test::MakeCells(1, 0, false)}, false, 0);
    ReportBinding binding(grid);
    binding.frxReport1.PrepareReport();
    const QString target = empty.filePath(QStringLiteral("r.ods"));
    const ExportResult r = ExportReport(ExportFormat::Ods, binding.frxReport1.Prepared(), target);
    QCOMPARE(r.status, ExportResult::Failed);
    QVERIFY2(r.error.contains(QLatin1String(OfficeModuleName)), qPrintable(r.error));
    QVERIFY(!QFile::exists(target));
}

void TestProgramModules::exportsThroughTheModule_data() {
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("member"); // where the cells' texts are
    QTest::newRow("xlsx") << ExportFormat::Xlsx << QStringLiteral("xl/sharedStrings.xml");
    QTest::newRow("ods") << ExportFormat::Ods << QStringLiteral("content.xml");
    QTest::newRow("odt") << ExportFormat::Odt << QStringLiteral("content.xml");
}

void TestProgramModules::exportsThroughTheModule() {
    QFETCH(ExportFormat, format);
    QFETCH(QString, member);
    // The built program's folder, where the module lies beside it.
    InitProgramPaths(VYZ_BINARY_DIR "/bin");
    QString error;
    QVERIFY2(Office(&error), qPrintable(error));

    QList<QStringList> rows;
    for (int i = 1; i <= 60; ++i)
        rows << test::MakeCells(i, i % 2, false);
    StringGrid grid;
    test::FillGrid(grid, rows, false, 0);
    ReportBinding binding(grid);
    binding.frxReport1.PrepareReport();
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("report.") + ExportSuffix(format));
    const ExportResult r = ExportReport(format, binding.frxReport1.Prepared(), target);
    QVERIFY2(r.ok(), qPrintable(r.error));
    const QString text = Member(target, member);
    QVERIFY2(!text.isEmpty(), qPrintable(member));
    // Every record's number, time and material, Cyrillic ones too, came through.
    for (const QStringList& cells : rows) {
        const QString time = cells[1].trimmed().section(QLatin1Char(' '), 0, 0);
        QVERIFY2(text.contains(cells[0]) && text.contains(time), qPrintable(cells[1]));
        if (!cells[4].isEmpty()) QVERIFY2(text.contains(cells[4]), qPrintable(cells[4]));
    }
}

void TestProgramModules::withoutModuleTheChartSaysWhy() {
    QVERIFY(!&analysis::LinkedChartPlot);
    if (ChartModuleInstalled()) QSKIP("the module is installed on this machine");
    QTemporaryDir empty;
    InitProgramPaths(empty.path().toStdString());
    LangIndex = 1;
    Lot lot;
    QWidget page;
    analysis::DensityChart chart(lot.model, &page);
    QVERIFY(!chart.Plot());
    // The chart's place says why, naming the module.
    auto* reason = qobject_cast<QLabel*>(chart.Widget());
    QVERIFY(reason);
    QVERIFY2(reason->text().startsWith(QStringLiteral("The chart cannot be shown: ")) &&
                 reason->text().contains(QLatin1String(analysis::ChartModuleName)),
             qPrintable(reason->text()));
    QVERIFY(chart.Picture().isNull()); // the report's summary goes without it
    QString error;
    const QString target = empty.filePath(QStringLiteral("chart.png"));
    QVERIFY(!chart.SavePng(target, &error));
    QVERIFY2(error.contains(QLatin1String(analysis::ChartModuleName)), qPrintable(error));
    QVERIFY(!chart.SaveSvg(empty.filePath(QStringLiteral("chart.svg")), &error));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(chart.RowAt(2.2), 1); // what the chart knows of the rows does not need the drawing
}

void TestProgramModules::chartThroughTheModule() {
    InitProgramPaths(VYZ_BINARY_DIR "/bin");
    LangIndex = 1;
    Lot lot;
    QWidget page;
    analysis::DensityChart chart(lot.model, &page);
    analysis::ChartPlot* plot = chart.Plot();
    QVERIFY(plot);
    QCOMPARE(chart.Widget()->objectName(), QStringLiteral("DensityChart"));
    QCOMPARE(plot->Points(analysis::PlotLine::Density),
             QList<QPointF>({{1, 2300}, {2, 2200}, {3, 2300}}));
    QCOMPARE(plot->Points(analysis::PlotLine::Failing), QList<QPointF>({{2, 2200}}));
    QCOMPARE(plot->Points(analysis::PlotLine::PorosityHigh), QList<QPointF>({{1, 6}, {3, 6}}));
    QCOMPARE(plot->Title(), QStringLiteral("Density and porosity by table row"));
    // Pictured and saved: the size asked for, the density line's blue in the picture.
    const QImage picture = chart.Picture(QSize(600, 400));
    QCOMPARE(picture.size(), QSize(600, 400));
    bool blue = false;
    for (int y = 0; y < picture.height() && !blue; ++y)
        for (int x = 0; x < picture.width() && !blue; ++x)
            blue = picture.pixelColor(x, y) == QColor(0, 114, 178);
    QVERIFY(blue);
    QTemporaryDir dir;
    QString error;
    const QString svg = dir.filePath(QStringLiteral("chart.svg"));
    QVERIFY2(chart.SaveSvg(svg, &error), qPrintable(error));
    QFile file(svg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("<title>Density and porosity by table row</title>"));
}

QTEST_MAIN(TestProgramModules)
#include "test_program_modules.moc"
