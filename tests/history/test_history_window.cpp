// The history in the real main window (offscreen): a damaged history file at start, opened files
// stored through the one commit, a search result and a read-out loaded into the table with the
// report exported from it and read back by pdftotext, a read-out deleted after the question, a
// full database that still lets the read-out reach the table, and the server's state shown.
#include "data/archive_record.h"
#include "data/record_text.h"
#include "data/text_pair.h"
#include "history/history_service.h"
#include "history/history_window.h"
#include "history_fixture.h"
#include "link/usb_shared.h"
#include "output/measurement_file.h"
#include "output/report_binding.h"
#include "platform/paths.h"
#include "report/report_export.h"
#include "shell/main_window.h"
#include "shell/string_grid.h"
#include "support/modal_script.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace vyz;
using namespace vyz::history;
using namespace testsupport;

namespace {

QString writeVyz(const QString& path, int count, int first, bool coordinates) {
    std::vector<ArchiveRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(test::HistoryRecord(first + i));
    const std::vector<uint8_t> bytes = SerializeArchive(records.data(), count, coordinates);
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}

// The data rows of the main table, as texts.
QList<QStringList> tableRows() {
    QList<QStringList> rows;
    GridModel* m = Form1->StringGrid1()->Model();
    for (int r = 2; r < m->RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->ColCount(); ++c)
            cells << m->Cell(c, r);
        rows << cells;
    }
    return rows;
}

QStringList rowTexts(const ArchiveRecord& record, bool coordinates) {
    RowTexts texts;
    RecordRowTexts(record, LangIndex.load(), coordinates, texts);
    QStringList cells;
    for (int c = 0; c < texts.count; ++c)
        cells << QString::fromUtf8(texts.cell[size_t(c)]);
    return cells;
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void openedFilesStoredOnce();
    void searchResultLoadedAndReported();
    void readoutLoadedAsRead();
    void deleteAsksFirst();
    void fullDatabaseStillFillsTable();
    void serverStateShown();
    void readoutStoredWithIdentity();

private:
    HistoryWindow* window();
    QTemporaryDir programDir_;
    TForm1* form_ = nullptr;
    QList<QStringList> firstOpened_;
};

void TestHistoryWindow::initTestCase() {
    QVERIFY(programDir_.isValid());
    InitProgramPaths(programDir_.path().toStdString());
    LangIndex = 1;
    // A history file damaged before the start: moved aside, the operator told, a new one made.
    const QString path = DefaultDatabasePath();
    QFile damaged(path);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a database at all");
    damaged.close();
    form_ = new TForm1;
    form_->show();
    ModalScript script({press(QMessageBox::Ok)});
    form_->StartHistory();
    QCOMPARE(script.seen.size(), 1);
    QVERIFY2(script.seen[0].text.contains(QStringLiteral("is not a history database")),
             qPrintable(script.seen[0].text));
    QCOMPARE(script.seen[0].status, script.seen[0].text);
    QVERIFY(Service() && Service()->IsOpen());
    const QStringList aside =
        QDir(programDir_.path()).entryList({QStringLiteral("History.sqlite.damaged-*")});
    QCOMPARE(aside.size(), 1);
    QFile kept(programDir_.filePath(aside[0]));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("not a database at all"));
}

void TestHistoryWindow::cleanupTestCase() {
    delete form_;
}

HistoryWindow* TestHistoryWindow::window() {
    form_->AHistoryExecute();
    auto* w = form_->findChild<HistoryWindow*>(QStringLiteral("frmHistory"));
    return w;
}

void TestHistoryWindow::openedFilesStoredOnce() {
    const QString path = writeVyz(programDir_.filePath(QStringLiteral("road 7.vyz")), 300, 0, true);
    form_->OpenMeasurementFile(path);
    firstOpened_ = tableRows();
    QCOMPARE(firstOpened_.size(), 300);
    HistoryDb& db = Service()->Local();
    std::vector<ReadoutInfo> list = db.Readouts();
    QCOMPARE(list.size(), size_t(1));
    QCOMPARE(list[0].source, path);
    QCOMPARE(list[0].kind, QStringLiteral("file"));
    QCOMPARE(list[0].count, 300);
    QVERIFY(list[0].coordinates);
    // The same file again: listed again, no record added.
    form_->OpenMeasurementFile(path);
    QCOMPARE(db.Readouts().size(), size_t(2));
    QCOMPARE(db.RecordTotal(), 300);
    // A plain file of other records.
    form_->OpenMeasurementFile(
        writeVyz(programDir_.filePath(QStringLiteral("plain.vyz")), 100, 1000, false));
    QCOMPARE(db.Readouts().size(), size_t(3));
    QCOMPARE(db.RecordTotal(), 400);
}

void TestHistoryWindow::searchResultLoadedAndReported() {
    HistoryWindow* w = window();
    QVERIFY(w && w->isVisible());
    auto* readouts = w->findChild<QTableWidget*>(QStringLiteral("Readouts"));
    QCOMPARE(readouts->rowCount(), 3);
    // Records of 5 to 20 February 2024 made of "Asphalt 4".
    w->findChild<QCheckBox*>(QStringLiteral("chkFrom"))->setChecked(true);
    w->findChild<QDateEdit*>(QStringLiteral("dateFrom"))->setDate(QDate(2024, 2, 5));
    w->findChild<QCheckBox*>(QStringLiteral("chkTo"))->setChecked(true);
    w->findChild<QDateEdit*>(QStringLiteral("dateTo"))->setDate(QDate(2024, 2, 20));
    auto* material = w->findChild<QComboBox*>(QStringLiteral("cmbMaterial"));
    material->setCurrentIndex(material->findData(4));
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnSearch")), Qt::LeftButton);

    std::vector<ArchiveRecord> expected; // newest first, as the search lists them
    for (int i = 0; i < 300; ++i) {
        const ArchiveRecord r = test::HistoryRecord(i);
        if (r.Month == 2 && r.Day >= 5 && r.Day <= 20 && r.MaterialIndex == 4)
            expected.push_back(r);
    }
    for (int i = 1000; i < 1100; ++i) {
        ArchiveRecord r = StoredBytes(test::HistoryRecord(i), false);
        if (r.Month == 2 && r.Day >= 5 && r.Day <= 20 && r.MaterialIndex == 4)
            expected.push_back(r);
    }
    std::sort(expected.begin(), expected.end(), [](const ArchiveRecord& a, const ArchiveRecord& b) {
        return MeasuredAt(a) != MeasuredAt(b) ? MeasuredAt(a) > MeasuredAt(b)
                                              : a.RecordNo > b.RecordNo;
    });
    QVERIFY(expected.size() >= 2);
    auto* found = w->findChild<QTableWidget*>(QStringLiteral("Found"));
    QCOMPARE(found->rowCount(), int(expected.size()));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("lblFound"))->text(),
             QStringLiteral("Records found: %1").arg(expected.size()));

    // No selection loads the whole result; the table lists it newest first.
    found->clearSelection();
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnLoadRecords")), Qt::LeftButton);
    const QList<QStringList> rows = tableRows();
    QCOMPARE(rows.size(), int(expected.size()));
    const bool coordinates = GPSModeFlag.load();
    QVERIFY(coordinates); // some came from a coordinates file
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i], rowTexts(expected[size_t(i)], true));
    QCOMPARE(form_->findChild<QPushButton*>(QStringLiteral("sbStatus"))->text(),
             QStringLiteral("Records loaded from the history: %1").arg(expected.size()));
    // Loading from the history stores nothing new.
    QCOMPARE(Service()->Local().Readouts().size(), size_t(3));

    // The report of the loaded records, exported to PDF and read back.
    ReportBinding binding(*form_->StringGrid1());
    report::Report& rep = binding.CurrentReport();
    rep.PrepareReport();
    const QString pdf = programDir_.filePath(QStringLiteral("history.pdf"));
    QVERIFY(report::ExportReport(report::ExportFormat::Pdf, rep.Prepared(), pdf).ok());
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                          QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n');
    int next = 0;
    for (const QString& line : lines) {
        if (next == rows.size()) break;
        const QString simple = line.simplified();
        const QStringList& row = rows[next];
        // Number, density, material and depth of the row, in this order on one line.
        int from = 0;
        bool all = true;
        for (const QString& cell : {row[0], row[2], row[4], row[6]}) {
            const int at = simple.indexOf(cell.simplified(), from);
            if (at < 0) {
                all = false;
                break;
            }
            from = at + int(cell.simplified().size());
        }
        if (all) ++next;
    }
    QCOMPARE(next, rows.size());

    // A selection of two rows loads just those two.
    found->clearSelection();
    found->selectRow(1);
    found->setSelectionMode(QAbstractItemView::MultiSelection);
    found->selectRow(0);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnLoadRecords")), Qt::LeftButton);
    const QList<QStringList> two = tableRows();
    QCOMPARE(two.size(), 2);
    QCOMPARE(two[0], rowTexts(expected[0], true));
    QCOMPARE(two[1], rowTexts(expected[1], true));
    found->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void TestHistoryWindow::readoutLoadedAsRead() {
    HistoryWindow* w = window();
    auto* readouts = w->findChild<QTableWidget*>(QStringLiteral("Readouts"));
    // Newest first: row 2 is the first opening of "road 7.vyz".
    QVERIFY(readouts->item(2, 1)->text().endsWith(QStringLiteral("road 7.vyz")));
    readouts->selectRow(2);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnLoadReadout")), Qt::LeftButton);
    QCOMPARE(tableRows(), firstOpened_);
    QVERIFY(GPSModeFlag.load());
}

void TestHistoryWindow::deleteAsksFirst() {
    HistoryWindow* w = window();
    auto* readouts = w->findChild<QTableWidget*>(QStringLiteral("Readouts"));
    readouts->selectRow(0); // the plain file
    {
        ModalScript script({press(QMessageBox::No)});
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnDeleteReadout")),
                          Qt::LeftButton);
        QCOMPARE(script.seen.size(), 1);
        QCOMPARE(script.seen[0].defaultButton, QMessageBox::No);
        QVERIFY(script.seen[0].text.contains(QStringLiteral("plain.vyz")));
        QCOMPARE(Service()->Local().Readouts().size(), size_t(3));
    }
    ModalScript script({press(QMessageBox::Yes)});
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnDeleteReadout")),
                      Qt::LeftButton);
    QCOMPARE(Service()->Local().Readouts().size(), size_t(2));
    QCOMPARE(readouts->rowCount(), 2);
    QCOMPARE(Service()->Local().RecordTotal(), 300);
}

void TestHistoryWindow::fullDatabaseStillFillsTable() {
    HistoryDb& db = Service()->Local();
    QSqlQuery q(db.Database());
    QVERIFY(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
    const qint64 pages = q.value(0).toLongLong();
    QVERIFY(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 1)));
    form_->OpenMeasurementFile(
        writeVyz(programDir_.filePath(QStringLiteral("full.vyz")), ArchiveCapacity, 5000, true));
    QCOMPARE(tableRows().size(), ArchiveCapacity);
    const QString status = form_->findChild<QPushButton*>(QStringLiteral("sbStatus"))->text();
    QVERIFY2(
        status.startsWith(QStringLiteral("History: the read-out was not stored in the history")),
        qPrintable(status));
    QCOMPARE(db.Readouts().size(), size_t(2));
    QCOMPARE(db.RecordTotal(), 300);
    QVERIFY(q.exec(QStringLiteral("PRAGMA max_page_count = 1073741823")));
}

void TestHistoryWindow::serverStateShown() {
    HistoryWindow* w = window();
    auto* state = w->findChild<QLabel*>(QStringLiteral("lblServerState"));
    QCOMPARE(state->text(), QStringLiteral("Server: not set"));
    // A server nobody answers on: the window stays responsive and says so, with the queue.
    ServerSettings s;
    s.enabled = true;
    s.server.host = QStringLiteral("127.0.0.1");
    s.server.port = 1;
    s.server.database = QStringLiteral("vyz");
    s.server.user = QStringLiteral("vyz");
    Service()->ApplyServerSettings(s);
    QTRY_VERIFY_WITH_TIMEOUT(state->text().startsWith(QStringLiteral("Server unreachable")), 20000);
    QVERIFY2(state->text().endsWith(QStringLiteral("Queued for the server: 2")),
             qPrintable(state->text()));
    Service()->ApplyServerSettings({});
    QTRY_COMPARE(state->text(), QStringLiteral("Server: not set"));
}

// A read-out's commit carries its source; the identity the instrument sent (cp1251) is kept.
void TestHistoryWindow::readoutStoredWithIdentity() {
    const char identity[] = "\xC2\xC8\xC7-1 \xB9"
                            "5  "; // "ВИЗ-1 №5" and blanks
    std::memset(DeviceIdText, 0, sizeof DeviceIdText);
    std::memcpy(DeviceIdText, identity, sizeof identity - 1);
    std::vector<ArchiveRecord> records;
    for (int i = 0; i < 7; ++i)
        records.push_back(test::HistoryRecord(9000 + i));
    const size_t before = Service()->Local().Readouts().size();
    form_->CommitArchive(records.data(), int(records.size()), false,
                         {ArchiveSource::Serial, QStringLiteral("ttyUSB0")});
    QCOMPARE(tableRows().size(), 7);
    const std::vector<ReadoutInfo> list = Service()->Local().Readouts();
    QCOMPARE(list.size(), before + 1);
    QCOMPARE(list[0].instrument, QString::fromUtf8("ВИЗ-1 №5"));
    QCOMPARE(list[0].kind, QStringLiteral("serial"));
    QCOMPARE(list[0].source, QStringLiteral("ttyUSB0"));
    QCOMPARE(list[0].count, 7);
    QVERIFY(!list[0].coordinates);
    // An empty read-out is not a read-out worth keeping.
    form_->CommitArchive(nullptr, 0, std::nullopt, {ArchiveSource::Usb, QStringLiteral("USB")});
    QCOMPARE(Service()->Local().Readouts().size(), before + 1);
}

QTEST_MAIN(TestHistoryWindow)
#include "test_history_window.moc"
