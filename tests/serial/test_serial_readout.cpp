// The read command against the instrument simulator on a pseudo-terminal, linked into a device
// folder as ttyUSB0: a normal read-out, the faults that matter, the stop command, the busy
// guard, the port error and the archive's capacity.
#include "data/archive_record.h"
#include "data/text_pair.h"
#include "link/serial_ports.h"
#include "link/serial_readout.h"
#include "link/usb_shared.h"
#include "platform/paths.h"
#include "serial_test_support.h"
#include "shell/main_window.h"

#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include <cstring>
#include <memory>

using namespace vyz;

namespace {

using Payload = std::array<uint8_t, 24>;

Payload MakeRecord(int i) {
    Payload p{};
    for (int b = 0; b < 24; ++b)
        p[b] = static_cast<uint8_t>(i * 5 + b * 11 + 3);
    return p;
}

QString StatusText(TForm1& form) {
    return form.findChild<QPushButton*>("sbStatus")->text();
}

// Archive slots as they were before a read-out: recognisable bytes everywhere.
void PrefillArchive(int count) {
    for (int i = 0; i < 8; ++i)
        std::memset(&MeasurementArchive[i], 0xE0 + i, 32);
    RecordCount = count;
}

bool ArchiveUntouched(int count) {
    if (RecordCount != count) return false;
    for (int i = 0; i < 8; ++i) {
        const auto* b = reinterpret_cast<const uint8_t*>(&MeasurementArchive[i]);
        for (int k = 0; k < 32; ++k)
            if (b[k] != 0xE0 + i) return false;
    }
    return true;
}

// Slot i holds instrument record r: bytes 0..21, the TailWord from the line's bytes 22..23,
// and the coordinates bytes as they were.
// Record r as the archive holds it after the table's fill, which repairs a month above 12.
Payload StoredRecord(int r) {
    Payload p = MakeRecord(r);
    if (p[6] > 12) p[6] = 1;
    return p;
}

bool SlotHolds(int i, int r) {
    const Payload p = StoredRecord(r);
    const auto* b = reinterpret_cast<const uint8_t*>(&MeasurementArchive[i]);
    if (std::memcmp(b, p.data(), 22) != 0) return false;
    if (MeasurementArchive[i].TailWord != (p[22] | (p[23] << 8))) return false;
    for (int k = 22; k < 30; ++k)
        if (b[k] != 0xE0 + i) return false;
    return true;
}

} // namespace

class TestSerialReadout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readsRecordsIntoTheArchive();
    void faults_data();
    void faults();
    void silentInstrumentStoppedWithEsc();
    void silenceMidwayStoppedWithTheButton();
    void secondReadCommandDuringReadoutIsIgnored();
    void portErrorThenWorkingPort();
    void moreRecordsThanTheArchiveHolds();
    void unpluggedAdapterEndsTheReadout();

private:
    // Starts the simulator with `records` records and connects ttyUSB0 to it.
    void connectSim(int records, const QStringList& args);

    std::unique_ptr<QTemporaryDir> programDir_;
    std::unique_ptr<DeviceFolder> dev_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<TForm1> form_;
};

void TestSerialReadout::init() {
    programDir_ = std::make_unique<QTemporaryDir>();
    InitProgramPaths(programDir_->path().toStdString());
    dev_ = std::make_unique<DeviceFolder>();
    SetSerialDeviceRoot(dev_->path().toStdString());
    LangIndex = 0;
    ReadBusy = false;
    form_ = std::make_unique<TForm1>();
    PrefillArchive(2);
}

void TestSerialReadout::cleanup() {
    form_.reset();
    sim_.reset();
    QCOMPARE(ReadBusy, false);
}

void TestSerialReadout::connectSim(int records, const QStringList& args) {
    const QString file = programDir_->filePath("archive.vyz");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    for (int i = 0; i < records; ++i)
        f.write(reinterpret_cast<const char*>(MakeRecord(i).data()), 24);
    f.close();
    sim_ = std::make_unique<SimProcess>();
    // Unless a test says otherwise, the instrument leaves 20 ms after the program's 5 ms window,
    // so that a busy machine does not make the program miss a reply and ask again.
    QStringList simArgs = QStringList{"--file", file} + args;
    if (!args.contains("--turnaround-us"))
        simArgs << "--turnaround-us"
                << "20000";
    QVERIFY(sim_->start(simArgs));
    QVERIFY(dev_->link("ttyUSB0", sim_->slavePath()));
    BoxAnswerer answerer({QMessageBox::Ignore}); // no modem lines on a pseudo-terminal
    form_->SelectPort(33);
    QVERIFY(form_->Comm1.Enabled());
}

void TestSerialReadout::readsRecordsIntoTheArchive() {
    connectSim(3, {});
    BoxAnswerer answerer;
    form_->SetStatusBarPlain("hidden"); // as a file open or a USB read leaves the progress bar
    QVERIFY(form_->ProgressBar1()->isHidden());
    form_->AReadExecute();
    QVERIFY(!form_->ProgressBar1()->isHidden()); // every read-out shows it
    QVERIFY(answerer.texts().isEmpty());
    QCOMPARE(RecordCount.load(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(SlotHolds(i, i), qPrintable(QString::number(i)));
    QCOMPARE(StatusText(*form_), QString::fromUtf8("Считано из прибора записей: 3"));
    QCOMPARE(form_->ProgressBar1()->maximum(), 3);
    QCOMPARE(form_->ProgressBar1()->value(), 3);
    QCOMPARE(QByteArray(DeviceIdText, 6), QByteArray("150320"));
    QVERIFY(!GPSModeFlag);
    QCOMPARE(sim_->log(), (QStringList{"ident", "count", "record 65535", "record 1", "record 2"}));
    QVERIFY(form_->ARead->isEnabled());
    QVERIFY(!form_->findChild<QToolButton*>("btnStopRead")->isVisible());
}

void TestSerialReadout::faults_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QList<int>>("stored"); // instrument records that end up in the archive
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("status");
    const QString read = QString::fromUtf8("Считано из прибора записей: %1");
    QTest::newRow("corrupted record byte")
        << 3 << QStringList{"--corrupt", "record:1"} << QList<int>{0, 1, 2}
        << QStringList{"ident", "count", "record 65535", "record 1", "record 1", "record 2"}
        << read.arg(3);
    QTest::newRow("slow pieces") << 3 << QStringList{"--pieces", "110:4"} << QList<int>{0, 1, 2}
                                 << QStringList{"ident", "count", "record 65535", "record 1",
                                                "record 2"}
                                 << read.arg(3);
    QTest::newRow("count 0") << 3 << QStringList{"--announce", "0"} << QList<int>{}
                             << QStringList{"ident", "count"}
                             << QString::fromUtf8("Прибор не содержит записей");
    QTest::newRow("early end index")
        << 4 << QStringList{"--end-after", "1"} << QList<int>{0, 1}
        << QStringList{"ident", "count", "record 65535", "record 1"} << read.arg(2);
    QTest::newRow("announced 3, later indexes")
        << 13 << QStringList{"--announce", "3", "--next-indexes", "5,9,12"} << QList<int>{0, 5, 9}
        << QStringList{"ident", "count", "record 65535", "record 5", "record 9"} << read.arg(3);
}

void TestSerialReadout::faults() {
    QFETCH(int, records);
    QFETCH(QStringList, args);
    QFETCH(QList<int>, stored);
    QFETCH(QStringList, log);
    QFETCH(QString, status);
    connectSim(records, args);
    BoxAnswerer answerer;
    form_->AReadExecute();
    QVERIFY(answerer.texts().isEmpty());
    QCOMPARE(sim_->log(), log);
    QCOMPARE(StatusText(*form_), status);
    if (stored.isEmpty()) {
        // No records: table and archive both show an empty archive, so no later save can write
        // the records the table no longer shows.
        QCOMPARE(RecordCount.load(), 0);
        QCOMPARE(form_->StringGrid1()->Model()->Cell(0, 1), QString("(0)"));
        QCOMPARE(form_->StringGrid1()->Model()->RowCount(), 2);
        return;
    }
    QCOMPARE(RecordCount.load(), stored.size());
    for (int i = 0; i < stored.size(); ++i)
        QVERIFY(SlotHolds(i, stored[i]));
}

void TestSerialReadout::silentInstrumentStoppedWithEsc() {
    connectSim(3, {"--silent"});
    form_->show();
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    bool stopOffered = false, readDisabled = false, portsDisabled = false;
    QTimer::singleShot(800, [&] {
        auto* button = form_->findChild<QToolButton*>("btnStopRead");
        stopOffered = button && button->isVisible() && form_->AStopRead->isVisible();
        readDisabled = !form_->ARead->isEnabled();
        portsDisabled = !form_->AUSB->isEnabled();
        QTest::keyClick(form_->StringGrid1(), Qt::Key_Escape);
    });
    form_->AReadExecute();
    QVERIFY(stopOffered);
    QVERIFY(readDisabled);
    QVERIFY(portsDisabled);
    QVERIFY(!ReadBusy);
    QVERIFY(ArchiveUntouched(2));
    const QStringList log = sim_->log();
    QVERIFY2(log.size() >= 3 && log.count("ident") == log.size(), qPrintable(log.join(",")));
    QCOMPARE(StatusText(*form_),
             QString::fromUtf8("Чтение данных остановлено, таблица не изменена"));
    QVERIFY(!form_->findChild<QToolButton*>("btnStopRead")->isVisible());
    QVERIFY(form_->ARead->isEnabled());
    QVERIFY(form_->AUSB->isEnabled());
}

void TestSerialReadout::silenceMidwayStoppedWithTheButton() {
    connectSim(5, {"--silent-after", "4"});
    QTimer::singleShot(1200, [&] { form_->findChild<QToolButton*>("btnStopRead")->click(); });
    form_->AReadExecute();
    QVERIFY(sim_->log().count("record 2") >= 2); // asked again while the instrument is silent
    QVERIFY(ArchiveUntouched(2));                // the two records read are not committed
}

void TestSerialReadout::secondReadCommandDuringReadoutIsIgnored() {
    connectSim(3, {"--pieces", "100:4"});
    int nestedReturned = 0;
    QTimer::singleShot(300, [&] {
        QVERIFY(ReadBusy);
        form_->AReadExecute(); // as Ctrl+R in the table does
        ++nestedReturned;
        QTest::keyClick(form_->StringGrid1(), Qt::Key_R, Qt::ControlModifier);
        form_->AReadExecute();
        ++nestedReturned;
    });
    form_->AReadExecute();
    QCOMPARE(nestedReturned, 2);
    QCOMPARE(sim_->log().count("ident"), 1);
    QCOMPARE(RecordCount.load(), 3);
}

void TestSerialReadout::portErrorThenWorkingPort() {
    connectSim(3, {});
    form_->ClosePort();
    BoxAnswerer answerer;
    form_->AReadExecute();
    QCOMPARE(
        answerer.texts(),
        QStringList{QString::fromUtf8(
            "Ошибка COM-порта. Порт не работает или занят другой программой.\nПроверьте "
            "настройку параметров\nили закройте программу, использующую выбранный COM-порт.")});
    QCOMPARE(answerer.icons()[0], QMessageBox::Warning);
    QVERIFY(!ReadBusy);
    QVERIFY(ArchiveUntouched(2));
    answerer.setAnswers({QMessageBox::Ignore});
    form_->SelectPort(33);
    form_->AReadExecute();
    QCOMPARE(RecordCount.load(), 3);
    QVERIFY(SlotHolds(2, 2));
}

void TestSerialReadout::moreRecordsThanTheArchiveHolds() {
    connectSim(2700, {"--turnaround-us", "1000"}); // (a repeated request changes nothing here)
    BoxAnswerer answerer;
    form_->AReadExecute();
    QCOMPARE(RecordCount.load(), ArchiveCapacity);
    QVERIFY(SlotHolds(7, 7));
    QCOMPARE(std::memcmp(&MeasurementArchive[2676], StoredRecord(2676).data(), 22), 0);
    const QStringList log = sim_->log();
    QCOMPARE(log.last(), QString("record 2676"));
    QVERIFY(!log.contains("record 2677"));
    QCOMPARE(answerer.texts().size(), 1);
    QVERIFY(answerer.texts()[0].contains("2700"));
    QVERIFY(answerer.texts()[0].contains("2677"));
    QCOMPARE(form_->ProgressBar1()->value(), ArchiveCapacity);
}

// The other side of the terminal goes away in the middle of the records: one message, the table
// and the archive as they were, the port closed; the next read says the port is not open.
void TestSerialReadout::unpluggedAdapterEndsTheReadout() {
    connectSim(5, {"--pieces", "100:4"}); // about 0,7 s a record
    QTimer::singleShot(1000, [&] { sim_->stop(); });
    BoxAnswerer answerer;
    form_->AReadExecute();
    const QString lost = QString::fromUtf8(
        "Связь с COM-портом (ttyUSB0) потеряна: адаптер отключен. Чтение прервано, таблица и архив "
        "не изменены. Подключите адаптер и выберите порт заново");
    QCOMPARE(answerer.texts(), QStringList{lost});
    QCOMPARE(answerer.icons()[0], QMessageBox::Warning);
    QCOMPARE(StatusText(*form_), lost);
    QVERIFY(ArchiveUntouched(2));
    QVERIFY(!ReadBusy);
    QVERIFY(!form_->Comm1.Enabled());
    QVERIFY(form_->ARead->isEnabled());
    QVERIFY(!form_->findChild<QToolButton*>("btnStopRead")->isVisible());

    answerer.clear();
    form_->AReadExecute();
    QCOMPARE(answerer.texts().size(), 1);
    QVERIFY(answerer.texts()[0].startsWith(QString::fromUtf8("Ошибка COM-порта")));
}

QTEST_MAIN(TestSerialReadout)
#include "test_serial_readout.moc"
