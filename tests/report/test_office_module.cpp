// The program writes the office formats through a module it loads with the first such export:
// this test, like the program, has those exporters only in the built module.
#include "output/report_binding.h"
#include "platform/paths.h"
#include "report/office_formats.h"
#include "report/report_export.h"
#include "table_fixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vyz;
using namespace vyz::report;

class TestOfficeModule : public QObject {
    Q_OBJECT
private slots:
    void withoutModuleTheExportFailsWithTheReason();
    void exportsThroughTheModule_data();
    void exportsThroughTheModule();
};

namespace {

// The text of one member of a zip container.
QString Member(const QString& zip, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0) return {};
    return QString::fromUtf8(unzip.readAllStandardOutput());
}

} // namespace

void TestOfficeModule::withoutModuleTheExportFailsWithTheReason() {
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

void TestOfficeModule::exportsThroughTheModule_data() {
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("member"); // where the cells' texts are
    QTest::newRow("xlsx") << ExportFormat::Xlsx << QStringLiteral("xl/sharedStrings.xml");
    QTest::newRow("ods") << ExportFormat::Ods << QStringLiteral("content.xml");
    QTest::newRow("odt") << ExportFormat::Odt << QStringLiteral("content.xml");
}

void TestOfficeModule::exportsThroughTheModule() {
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

QTEST_MAIN(TestOfficeModule)
#include "test_office_module.moc"
