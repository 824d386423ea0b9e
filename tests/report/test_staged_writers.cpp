// Every writer of a user's file (the report exports, the prepared report, the chart pictures, the
// display picture) goes through the staged writer: over a read-only file or into a read-only
// folder it fails with the system's reason and leaves the old file as it was and nothing beside
// it; an existing file keeps its permission bits; a symbolic link is written through. Real files
// on disk; a read-only folder is a read-only tmpfs under root, which passes every permission check.
#include "analysis/density_chart.h"
#include "analysis/lot_model.h"
#include "output/report_binding.h"
#include "output/tmpfs_mount.h"
#include "platform/staged_write.h"
#include "report/report_export.h"
#include "support/test_files.h"
#include "table_fixture.h"
#include "viewer/screenshot_window.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace vyz;
using namespace testsupport;

namespace {

using Writer = std::function<bool(const QString& path, QString* error)>;

// The file an export finds: "old", with the permission bits `mode`.
bool writeOld(const QString& path, mode_t mode = 0644) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("old") == 3 && f.flush() &&
           ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class TestStagedWriters : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readOnlyFileStaysAsItWas_data() { writers(); }
    void readOnlyFileStaysAsItWas();
    void readOnlyFolderStaysAsItWas_data() { writers(); }
    void readOnlyFolderStaysAsItWas();
    void modeIsKept_data() { writers(); }
    void modeIsKept();
    void symbolicLinkIsWrittenThrough_data() { writers(); }
    void symbolicLinkIsWrittenThrough();

private:
    void writers();
    Writer writer() const;

    StringGrid grid_;
    std::unique_ptr<ReportBinding> binding_;
    std::unique_ptr<analysis::LotModel> lot_;
    std::unique_ptr<analysis::DensityChart> chart_;
};

void TestStagedWriters::initTestCase() {
    LangIndex = 1;
    test::FillGrid(grid_, test::MakeRows(40, 1, false), false, 1);
    binding_ = std::make_unique<ReportBinding>(grid_);
    binding_->frxReport1.PrepareReport();
    QVERIFY(!binding_->frxReport1.Prepared().IsEmpty());
    lot_ = std::make_unique<analysis::LotModel>();
    chart_ = std::make_unique<analysis::DensityChart>(*lot_);
}

// The writers by name; the file name's suffix is the writer's own.
void TestStagedWriters::writers() {
    QTest::addColumn<QString>("name");
    for (const report::ExportFormatEntry& e : report::ExportFormats)
        QTest::newRow(e.suffix) << QString::fromLatin1(e.suffix);
    for (const char* name : {"fpr", "png", "svg", "bmp"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

Writer TestStagedWriters::writer() const {
    QFETCH(QString, name);
    for (const report::ExportFormatEntry& e : report::ExportFormats)
        if (name == QLatin1String(e.suffix))
            return [this, f = e.format](const QString& path, QString* error) {
                const report::ExportResult r =
                    report::ExportReport(f, binding_->frxReport1.Prepared(), path);
                *error = r.error;
                return r.ok();
            };
    if (name == "fpr")
        return [this](const QString& path, QString* error) {
            return binding_->frxReport1.Prepared().SaveToFile(path, error);
        };
    if (name == "png")
        return [this](const QString& path, QString* error) { return chart_->SavePng(path, error); };
    if (name == "svg")
        return [this](const QString& path, QString* error) { return chart_->SaveSvg(path, error); };
    return [](const QString& path, QString* error) {
        return WritePictureFile(Picture{}, path, error);
    };
}

void TestStagedWriters::readOnlyFileStaysAsItWas() {
    const Writer write = writer();
    QTemporaryDir dir;
    const QString path = dir.filePath("old.out");
    QVERIFY(writeOld(path, 0444));
    QString error;
    QVERIFY(!write(path, &error));
    QCOMPARE(error, SystemErrorText(EACCES));
    QCOMPARE(ReadAll(path), QByteArray("old"));
    QCOMPARE(modeOf(path), mode_t(0444));
    QCOMPARE(entries(dir.path()), QStringList({"old.out"}));
}

void TestStagedWriters::readOnlyFolderStaysAsItWas() {
    const Writer write = writer();
    // Root writes into any folder of a writable file system, so under root the folder is a
    // read-only mount.
    TmpfsMount disk(1024 * 1024);
    QTemporaryDir dir;
    const bool root = ::geteuid() == 0;
    if (root && !disk.Mounted()) QSKIP("mounting a tmpfs needs the right to mount");
    const QString folder = root ? disk.Path() : dir.path();
    const QString path = folder + "/old.out";
    QVERIFY(writeOld(path));
    if (root)
        QVERIFY(disk.MakeReadOnly());
    else
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    QString error;
    const bool written = write(path, &error);
    if (!root) ::chmod(QFile::encodeName(folder).constData(), 0755);
    QVERIFY(!written);
    QCOMPARE(error, SystemErrorText(root ? EROFS : EACCES));
    QCOMPARE(ReadAll(path), QByteArray("old"));
    QCOMPARE(entries(folder), QStringList({"old.out"}));
}

void TestStagedWriters::modeIsKept() {
    const Writer write = writer();
    QTemporaryDir dir;
    const QString path = dir.filePath("old.out");
    QVERIFY(writeOld(path, 0640));
    QString error;
    QVERIFY2(write(path, &error), qPrintable(error));
    QVERIFY(ReadAll(path) != QByteArray("old"));
    QVERIFY(ReadAll(path).size() > 3);
    QCOMPARE(modeOf(path), mode_t(0640));
    QCOMPARE(entries(dir.path()), QStringList({"old.out"}));
}

void TestStagedWriters::symbolicLinkIsWrittenThrough() {
    const Writer write = writer();
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("real") && QDir(dir.path()).mkpath("link"));
    const QString real = dir.filePath("real/old.out");
    const QString link = dir.filePath("link/old.out");
    QVERIFY(writeOld(real));
    QCOMPARE(::symlink("../real/old.out", QFile::encodeName(link).constData()), 0);
    QString error;
    QVERIFY2(write(link, &error), qPrintable(error));
    QCOMPARE(QFileInfo(link).symLinkTarget(), real);
    QVERIFY(ReadAll(real).size() > 3);
    QCOMPARE(entries(dir.filePath("real")), QStringList({"old.out"}));
    QCOMPARE(entries(dir.filePath("link")), QStringList({"old.out"}));
}

QTEST_MAIN(TestStagedWriters)
#include "test_staged_writers.moc"
