// The USB worker thread against the simulated instrument: every exchange, its texts, indicator
// colours and stored records, the faults, and the ends that release the waiting sides.
#include "data/text_pair.h"
#include "link/libusb_transport.h"
#include "link/usb_shared.h"
#include "usb_test_support.h"

#include <QElapsedTimer>
#include <memory>
#include <thread>

using namespace vyz;
using usbtest::RecordingHost;

namespace {

const QString Grey = "link:8421504";
const QString Red = "link:255";
const QString Green = "link:65280";

// A worker with its own events and recording host; stopped and joined at the end of the test.
struct Rig {
    RecordingHost host;
    UsbEvents events;
    std::unique_ptr<USBThread> worker;

    explicit Rig(bool archiveRequested, bool screenRequested = false) {
        events = {std::make_shared<AutoResetEvent>(archiveRequested),
                  std::make_shared<AutoResetEvent>(false),
                  std::make_shared<AutoResetEvent>(screenRequested),
                  std::make_shared<AutoResetEvent>(false)};
        host.events = events;
        DataReadResult = usbResultPending;
        ScreenReadResult = usbResultPending;
        worker = std::make_unique<USBThread>(host, LibUSB, usbtest::FastPauses());
        worker->Start();
    }
    ~Rig() {
        worker->Terminate();
        worker->WaitFor(10000);
    }
    QStringList statuses() {
        QStringList s;
        for (const QString& c : host.CallsStarting("status:"))
            s << c.mid(7);
        return s;
    }
};

bool waitUntil(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

class TestUsbWorker : public QObject {
    Q_OBJECT
    usbtest::SimScenario sim;
    QString plain3, coords2;
    std::vector<uint8_t> screen_ = std::vector<uint8_t>(ColourImageBytes);

private slots:
    void initTestCase() {
        LangIndex = 1;
        plain3 = sim.ArchivePath("plain3.vyz");
        coords2 = sim.ArchivePath("coords2.vyz");
        usbtest::WriteArchiveFile(plain3, 3, false);
        usbtest::WriteArchiveFile(coords2, 2, true);
    }
    void init() {
        QVERIFY(!LibUSB.isLibraryLoaded());
        ArchiveReadWanted = true;
    }
    void cleanup() { QVERIFY(!LibUSB.isLibraryLoaded()); } // the stopped worker unloaded it

    // The automatic read at start (DataRdEvent starts signalled) through every archive outcome.
    void archiveRead_data() {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("records"); // RecordCount afterwards; -1: untouched
        QTest::addColumn<QStringList>("lastStatuses");
        const QString id = "VYZ-1 N001";
        QTest::newRow("plain N=3 S=24")
            << "plain3" << QStringList{} << int(usbResultDone) << 3
            << QStringList{"Results Read...", id + "; Records loaded: 3"};
        QTest::newRow("coordinates S=32")
            << "coords2" << QStringList{} << int(usbResultDone) << 2
            << QStringList{"Results Read...", id + "; Records loaded: 2"};
        QTest::newRow("records of 22 bytes")
            << "plain3" << QStringList{"records_s=22"} << int(usbResultDone) << 3
            << QStringList{id + "; Records loaded: 3"};
        QTest::newRow("empty archive")
            << "plain3" << QStringList{"archive_state=0"} << int(usbResultEmpty) << 0
            << QStringList{"Results Read...", id + "; Archive empty"};
        QTest::newRow("N=0") << "plain3" << QStringList{"archive_state=5", "records_n=0"}
                             << int(usbResultDone) << 0 << QStringList{id + "; Records loaded: 0"};
        QTest::newRow("archive-state length 3")
            << "plain3" << QStringList{"state_len=3"} << int(usbResultFailed) << -1
            << QStringList{"Parameters Read...",
                           "Invalid data format possible version of the instrument does not meet "
                           "the program",
                           "LibUsb: Error 4"};
        // Transfers: 1 write 01 FE, 2-3 identity, 4 write 02 FD, 5-6 state, 7 write 03 FC, 8 N/S.
        QTest::newRow("time-out at the record count")
            << "plain3" << QStringList{"fail_transfer=8"} << int(usbResultFailed) << -1
            << QStringList{"Results Read...", "LibUsb: Time-out"};
        QTest::newRow("N above the capacity")
            << "plain3" << QStringList{"records_n=2678"} << int(usbResultFailed) << -1
            << QStringList{"The instrument reported an impossible archive size (records, bytes): "
                           "2678, 24",
                           "LibUsb: Error 8"};
        QTest::newRow("negative N")
            << "plain3" << QStringList{"records_n=-1"} << int(usbResultFailed) << -1
            << QStringList{"The instrument reported an impossible archive "
                           "size (records, bytes): -1, 24",
                           "LibUsb: Error 8"};
        QTest::newRow("S above 512")
            << "plain3" << QStringList{"records_s=513"} << int(usbResultFailed) << -1
            << QStringList{"The instrument reported an impossible archive "
                           "size (records, bytes): 3, 513",
                           "LibUsb: Error 8"};
        QTest::newRow("S below 22")
            << "plain3" << QStringList{"records_s=21"} << int(usbResultFailed) << -1
            << QStringList{"The instrument reported an impossible archive "
                           "size (records, bytes): 3, 21",
                           "LibUsb: Error 8"};
        QTest::newRow("negative identity length")
            << "plain3" << QStringList{"identity_len=-1"} << int(usbResultFailed) << -1
            << QStringList{"The instrument reported an impossible name length: -1",
                           "LibUsb: Error 4"};
        // Transfers 9 and 10 carry records 0 and 1; then the device leaves the bus. The records
        // that came before the failure never reach the archive.
        QTest::newRow("record 1 comes short")
            << "plain3" << QStringList{"short_transfer=10"} << int(usbResultFailed) << -1
            << QStringList{"Results Read...", "LibUsb: Error 12"};
        QTest::newRow("device gone after two records")
            << "plain3" << QStringList{"gone_after=10"} << int(usbResultFailed) << -1
            << QStringList{"Results Read...", "LibUsb: No such device"};
    }
    void archiveRead() {
        QFETCH(QString, archive);
        QFETCH(QStringList, scenario);
        QFETCH(int, result);
        QFETCH(int, records);
        QFETCH(QStringList, lastStatuses);
        const bool coordinates = archive == "coords2";
        sim.Set(scenario << "archive=" + (coordinates ? coords2 : plain3));
        RecordCount = 77;
        std::memset(MeasurementArchive, 0x5A, sizeof MeasurementArchive);
        Rig rig(true);
        QVERIFY(rig.events.dataReaded->wait(10000));
        QCOMPARE(DataReadResult.load(), result);
        QCOMPARE(RecordCount.load(), records < 0 ? 77 : records);
        QCOMPARE(rig.statuses().mid(rig.statuses().size() - lastStatuses.size()), lastStatuses);
        // One commit at the end of a read, none after a failure.
        const QStringList calls = rig.host.Calls();
        const QStringList commits = rig.host.CallsStarting("commit:");
        if (result == usbResultFailed)
            QVERIFY(commits.isEmpty());
        else if (result == usbResultEmpty)
            QCOMPARE(commits, QStringList{"commit:0:keep"});
        else
            QCOMPARE(
                commits,
                QStringList{
                    QString("commit:%1:%2").arg(records).arg(coordinates ? "coords" : "plain")});
        const QStringList trace = sim.Trace();
        QCOMPARE(trace.last(), QString("close")); // the device is closed at every end
        if (result == usbResultFailed) {
            QVERIFY(calls.contains(Red));
            QVERIFY(trace.contains("resetep 82") && trace.contains("resetep 01"));
            QVERIFY(calls.contains("progress-hide"));
            // Grey again at the next idle pass.
            QVERIFY(waitUntil([&] { return rig.host.Calls().last() == Grey; }, 2000));
        } else {
            QVERIFY(!calls.contains(Red));
            QVERIFY(!trace.contains("resetep 82"));
        }
        // Record placement: bytes 0..21 always, then the coordinates or the tail word alone.
        const bool shortRecords = scenario.contains("records_s=22");
        for (int i = 0; i < (records < 0 ? 0 : records); ++i) {
            ArchiveRecord expected = usbtest::SampleRecord(i);
            if (!coordinates) expected.Latitude = expected.Longitude = 0;
            if (shortRecords) expected.TailWord = 0;
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(&MeasurementArchive[i]), 32),
                     QByteArray(reinterpret_cast<const char*>(&expected), 32));
        }
        if (records == 3 && !shortRecords) {
            QCOMPARE(rig.host.CallsStarting("progress:"),
                     QStringList({"progress:0", "progress:333", "progress:666"}));
            QCOMPARE(trace.filter(QRegularExpression("^read 24 ")).size(), 3);
        }
    }

    void identityText_data() {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("secondRead");
        QTest::newRow("zero byte becomes a space") << QStringList{"identity=AB\\0C"} << "AB C"
                                                   << "read 4 -> 4";
        const QString longText(100, 'x');
        QTest::newRow("length 100 reads 63")
            << QStringList{"identity=" + longText} << QString(63, 'x') << "read 63 -> 63";
        QTest::newRow("length word larger than the text")
            << QStringList{"identity=VYZ", "identity_len=10"} << "VYZ"
            << "read 10 -> 3";
        QTest::newRow("Cyrillic name") << QStringList{"identity_hex=C2DBC72D31"} << "ВЫЗ-1"
                                       << "read 5 -> 5";
    }
    void identityText() {
        QFETCH(QStringList, scenario);
        QFETCH(QString, shown);
        QFETCH(QString, secondRead);
        sim.Set(scenario << "archive=" + plain3);
        Rig rig(true);
        QVERIFY(rig.events.dataReaded->wait(10000));
        QCOMPARE(rig.statuses().value(0), shown);
        QCOMPARE(rig.statuses().last(), shown + "; Records loaded: 3");
        QCOMPARE(sim.Trace().filter(QRegularExpression("^read")).value(1), secondRead);
    }

    void displayImage_data() {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("reads"); // the reads after the size word
        QTest::addColumn<int>("readCount");
        QTest::newRow("colour 153600")
            << QStringList{} << int(usbResultDone) << 153600 << "read 640 -> 640" << 240;
        QTest::newRow("monochrome 9600")
            << QStringList{"screen=mono"} << int(usbResultDone) << 9600 << "read 9600 -> 9600" << 1;
        QTest::newRow("size 1000")
            << QStringList{"screen_size=1000"} << int(usbResultFailed) << 1000 << "" << 0;
        QTest::newRow("time-out in row 10")
            << QStringList{"fail_transfer=13"} << int(usbResultFailed) << 153600
            << "read 640 -> 640" << 10;
        QTest::newRow("row 10 comes short")
            << QStringList{"short_transfer=13"} << int(usbResultFailed) << 153600
            << "read 640 -> 640" << 10;
        QTest::newRow("monochrome image comes short")
            << QStringList{"screen=mono", "short_transfer=3"} << int(usbResultFailed) << 9600
            << "read 9600 -> 4800" << 1;
    }
    void displayImage() {
        QFETCH(QStringList, scenario);
        QFETCH(int, result);
        QFETCH(int, size);
        QFETCH(QString, reads);
        QFETCH(int, readCount);
        sim.Set(scenario);
        std::fill(screen_.begin(), screen_.end(), 0);
        ScreenBuffer = screen_.data();
        Rig rig(false, true);
        QVERIFY(rig.events.scrReaded->wait(10000));
        QCOMPARE(ScreenReadResult.load(), result);
        QCOMPARE(ScreenDataSize.load(), size);
        const QStringList trace = sim.Trace();
        QCOMPARE(trace.filter(QRegularExpression("^write")), QStringList{"write 2 04FB -> 2"});
        QCOMPARE(trace.filter(QRegularExpression("^read")).value(0), QString("read 4 -> 4"));
        if (!reads.isEmpty()) QCOMPARE(trace.filter(reads).size(), readCount);
        QCOMPARE(rig.statuses().value(0), QString("Screenshot reading..."));
        if (result == usbResultDone) {
            QCOMPARE(rig.statuses().last(), QString("Screenshot readed"));
            for (int i = 0; i < size; i += 997)
                QCOMPARE(int(screen_[i]), (i * 7 + 3) & 0xFF);
            if (size < ColourImageBytes) QCOMPARE(int(screen_[size]), 0); // nothing beyond
        } else {
            QVERIFY(rig.host.Calls().contains(Red));
            QVERIFY(trace.contains("resetep 82"));
            if (size == 1000)
                QCOMPARE(rig.statuses().mid(1),
                         QStringList(
                             {"Communication error when reading a screenshot", "LibUsb: Error 4"}));
        }
        QVERIFY(!rig.events.dataReaded->wait(0)); // no archive answer for an image request
        ScreenBuffer = nullptr;
    }

    // Both requests in the same idle pass: the image first, then the archive, both answered.
    void bothRequestsPending() {
        sim.Set({"archive=" + plain3});
        std::vector<uint8_t> buffer(ColourImageBytes);
        ScreenBuffer = buffer.data();
        Rig rig(true, true);
        QVERIFY(rig.events.scrReaded->wait(10000));
        QVERIFY(rig.events.dataReaded->wait(10000));
        QCOMPARE(ScreenReadResult.load(), int(usbResultDone));
        QCOMPARE(DataReadResult.load(), int(usbResultDone));
        QCOMPARE(sim.Trace().filter(QRegularExpression("^write")),
                 QStringList({"write 2 04FB -> 2", "write 2 01FE -> 2", "write 2 02FD -> 2",
                              "write 2 03FC -> 2"}));
        ScreenBuffer = nullptr;
    }

    // Start-up with the instrument absent: searching, one "not connected" message, then the
    // read once it is attached.
    void instrumentAttachedLater() {
        LastSearchTick = 0;
        sim.Set({"archive=" + plain3, "attach_after_searches=8"});
        Rig rig(true);
        QVERIFY(rig.events.dataReaded->wait(10000));
        QCOMPARE(DataReadResult.load(), int(usbResultDone));
        QCOMPARE(rig.host.CallsStarting("plain:").size(), 1);
        QVERIFY(rig.host.CallsStarting("plain:")[0].contains("not connected"));
        QVERIFY(sim.Trace().filter("find none").size() >= 7);
    }

    // usb_open refused: a failed search with the access message (once), until access is granted.
    void refusedOpenIsAFailedSearch() {
        LastSearchTick = 0;
        sim.Set({"archive=" + plain3, "open_fails=1"});
        Rig rig(true);
        QVERIFY(waitUntil([&] { return sim.Trace().filter("refused").size() >= 5; }, 5000));
        QCOMPARE(DataReadResult.load(), int(usbResultPending));
        QCOMPARE(rig.host.CallsStarting("plain:").size(), 1);
        QVERIFY(rig.host.CallsStarting("plain:")[0].contains("udev"));
        QVERIFY(rig.statuses().isEmpty());
        sim.Set({"archive=" + plain3});
        QVERIFY(rig.events.dataReaded->wait(10000));
        QCOMPARE(DataReadResult.load(), int(usbResultDone));
    }

    // The viewer closes while its request waits for an instrument: the request ends cancelled.
    void viewerCancelsPendingImage() {
        sim.Set({"devices="});
        std::vector<uint8_t> buffer(ColourImageBytes);
        ScreenBuffer = buffer.data();
        Rig rig(false, true);
        QVERIFY(waitUntil([] { return UsbState.load() == usReadScreen; }, 5000));
        uint8_t expected = usReadScreen;
        QVERIFY(UsbState.compare_exchange_strong(expected, usIdle));
        QVERIFY(rig.events.scrReaded->wait(5000));
        QCOMPARE(ScreenReadResult.load(), int(usbResultCancelled));
        ScreenBuffer = nullptr;
    }

    // The exit sequence while a transfer hangs: the program waits 500 ms, cannot take the
    // transport from the worker inside its transfer (so never closes it under it), and the
    // worker ends within the 1000 ms wait once the transfer returns.
    void exitDuringHungTransfer() {
        sim.Set({"archive=" + plain3, "hang_transfer=9", "hang_ms=1200"});
        Rig rig(true);
        QVERIFY(waitUntil([&] { return rig.host.Calls().contains("progress:0"); }, 5000));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QElapsedTimer t;
        t.start();
        rig.worker->Terminate();
        QVERIFY(!ReleaseUsbTransport(LibUSB, 500, 100));
        QVERIFY(t.elapsed() >= 500);
        QVERIFY(rig.worker->WaitFor(1000));
        QVERIFY(t.elapsed() < 1700);
        QVERIFY(!LibUSB.isLibraryLoaded());
        QVERIFY(rig.events.dataReaded->wait(0));
        QCOMPARE(DataReadResult.load(), int(usbResultCancelled));
        QVERIFY(!rig.statuses().contains("LibUsb: Time-out")); // nothing shown while closing
    }

    // The exit sequence in the middle of a long read: the worker leaves the exchange at its next
    // transfer and unloads the library within the 500 ms wait.
    void exitDuringLongRead() {
        const QString big = sim.ArchivePath("big.vyz");
        usbtest::WriteArchiveFile(big, ArchiveCapacity, true);
        sim.Set({"archive=" + big});
        Rig rig(true);
        QVERIFY(waitUntil([&] { return rig.host.Calls().contains("progress:0"); }, 5000));
        QElapsedTimer t;
        t.start();
        rig.worker->Terminate();
        QVERIFY(ReleaseUsbTransport(LibUSB, 500, 100));
        QVERIFY(rig.worker->WaitFor(1000));
        QVERIFY(t.elapsed() < 1000);
        QVERIFY(rig.events.dataReaded->wait(0));
        QCOMPARE(DataReadResult.load(), int(usbResultCancelled));
    }

    // A signalled request that nobody wants (a program that did not start on USB) reads nothing.
    void unwantedRequestReadsNothing() {
        sim.Set({"archive=" + plain3});
        ArchiveReadWanted = false;
        Rig rig(true);
        QVERIFY(waitUntil([&] { return rig.host.Calls().count(Grey) >= 3; }, 5000)); // idle passes
        QVERIFY(!rig.events.dataReaded->wait(0));
        QCOMPARE(sim.Trace().filter(QRegularExpression("^(find|write)")), QStringList{});
        QVERIFY(rig.host.CallsStarting("commit:").isEmpty());
    }

    // The requesting side gives up: while the worker searches, in the middle of the records, or
    // when the window refuses the records at the end. Each ends cancelled and quietly, the
    // archive untouched, and an instrument attached later is not read.
    void withdrawnRequestEndsCancelled_data() {
        QTest::addColumn<QString>("when");
        QTest::newRow("searching") << "searching";
        QTest::newRow("mid-records") << "mid-records";
        QTest::newRow("commit refused") << "commit refused";
    }
    void withdrawnRequestEndsCancelled() {
        QFETCH(QString, when);
        const QString big = sim.ArchivePath("big.vyz");
        usbtest::WriteArchiveFile(big, ArchiveCapacity, true);
        sim.Set(when == "searching" ? QStringList{"devices="} : QStringList{"archive=" + big});
        RecordCount = 77;
        Rig rig(false);
        rig.host.acceptCommits = when != "commit refused";
        rig.events.dataRd->set();
        if (when == "searching") {
            QVERIFY(waitUntil([] { return UsbArchiveSearching.load(); }, 5000));
            ArchiveReadWanted = false;
        } else if (when == "mid-records") {
            QVERIFY(waitUntil([&] { return rig.host.Calls().contains("progress:0"); }, 5000));
            ArchiveReadWanted = false;
        }
        QVERIFY(rig.events.dataReaded->wait(10000));
        QCOMPARE(DataReadResult.load(), int(usbResultCancelled));
        QVERIFY(!UsbArchiveSearching);
        QCOMPARE(RecordCount.load(), 77);
        QVERIFY(!rig.host.Calls().contains(Red));
        QVERIFY(!rig.statuses().contains("LibUsb: Error 0"));
        if (when != "searching") QCOMPARE(sim.Trace().last(), QString("close"));
        if (when == "mid-records") // abandoned at the next transfer, long before the last record
            QVERIFY(sim.Trace().filter(QRegularExpression("^read 32 ")).size() < ArchiveCapacity);
        // Nothing is read afterwards, not even with an instrument on the bus.
        ArchiveReadWanted = false;
        sim.Set({"archive=" + plain3});
        QTest::qWait(300);
        QVERIFY(!rig.events.dataReaded->wait(0));
        QCOMPARE(RecordCount.load(), 77);
    }
};

QTEST_GUILESS_MAIN(TestUsbWorker)
#include "test_usb_worker.moc"
