// The main window's side of the USB link with the real window (offscreen), the real worker and
// the simulated instrument: the read command's hand-off, the read that waits for an instrument
// (shown, stopped, bounded, withdrawn), USB from the port menu, the archive commit against open
// Save and Open dialogs, the exit steps.
#include "data/text_pair.h"
#include "link/libusb_transport.h"
#include "link/serial_ports.h"
#include "link/usb_shared.h"
#include "output/measurement_file.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "shell/main_window.h"
#include "shell/status_window.h"
#include "support/modal_script.h"
#include "usb_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <cstdio>
#include <cstring>

using namespace vyz;
using namespace testsupport;

namespace {

const QString Waiting30 = "Connect the instrument to a USB port of the computer and switch it on "
                          "(waiting up to 30 s, Esc stops)";

// The bytes a plain file of the first `count` sample records, read over USB in the plain layout,
// holds: bytes 0..23 of each archive record, whose coordinates that layout leaves zero.
QByteArray PlainFile(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        ArchiveRecord r = usbtest::SampleRecord(i);
        r.Latitude = r.Longitude = 0;
        out += QByteArray(reinterpret_cast<const char*>(&r), 24);
    }
    return out;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestUsbWindow : public QObject {
    Q_OBJECT
    usbtest::SimScenario sim;
    QTemporaryDir programDir;
    QTemporaryDir noPorts; // a device folder without serial ports
    QString plain3;
    TForm1* form = nullptr;

    QString statusText() { return form->findChild<QPushButton*>("sbStatus")->text(); }
    bool stopOffered() { return form->findChild<QToolButton*>("btnStopRead")->isVisible(); }
    int writes() { return int(sim.Trace().filter(QRegularExpression("^write")).size()); }
    // Two records of the sample as the table's content before a test reads.
    void showTwoRecords() {
        std::vector<ArchiveRecord> two = {usbtest::SampleRecord(50), usbtest::SampleRecord(51)};
        form->CommitArchive(two.data(), 2, false);
    }
    // The table shows exactly the archive: its count and its newest record first.
    void tableShowsArchive() {
        GridModel* model = form->StringGrid1()->Model();
        const int count = RecordCount.load();
        QCOMPARE(model->RowCount(), count + 2);
        QCOMPARE(model->Cell(0, 1), QString("(%1)").arg(count));
        if (count > 0)
            QCOMPARE(model->Cell(0, 2), QString::number(MeasurementArchive[count - 1].RecordNo));
    }

private slots:
    void initTestCase() {
        LangIndex = 1;
        InitProgramPaths(programDir.path().toStdString());
        SetSerialDeviceRoot(noPorts.path().toStdString());
        plain3 = sim.ArchivePath("plain3.vyz");
        usbtest::WriteArchiveFile(plain3, 3, false);
        sim.Set({"archive=" + plain3});
        form = new TForm1;
        form->show();
        form->SetFrmStatus(new TfrmStatus(form));
        form->SetLinkColour(Qt::white);
    }
    void cleanup() { QVERIFY(!form->UsbReadRunning()); }

    // Choosing USB from the port menu starts the worker but reads nothing, although the request
    // event was created signalled (as at every start) and an instrument is attached.
    void selectUsbBindsStartsTheWorkerAndReadsNothing() {
        QVERIFY(!UsbWorkerRunning);
        showTwoRecords();
        form->hDataRdEvent = std::make_shared<AutoResetEvent>(true);
        form->hDataReadedEvent = std::make_shared<AutoResetEvent>(false);
        form->hScreenRdEvent = std::make_shared<AutoResetEvent>(false);
        form->hScrReadedEvent = std::make_shared<AutoResetEvent>(false);
        form->SelectUsb();
        QCOMPARE(statusText(), QString("USB-port is open"));
        QVERIFY(LibUSB.isLibraryLoaded());
        QVERIFY(UsbWorkerRunning);
        QTRY_COMPARE_WITH_TIMEOUT(UsbState.load(), uint8_t(usIdle), 5000);
        QTest::qWait(1500); // several idle passes
        QCOMPARE(writes(), 0);
        QCOMPARE(RecordCount.load(), 2);
        QVERIFY(!form->UsbReadRunning());
        QVERIFY(form->ARead->isEnabled());
        tableShowsArchive();
    }

    void readHandOffEndsAtEveryEnd_data() {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("records") << QStringList{} << int(usbResultDone)
                                 << "VYZ-1 N001; Records loaded: 3" << QColor(128, 128, 128);
        QTest::newRow("empty") << QStringList{"archive_state=0"} << int(usbResultEmpty)
                               << "VYZ-1 N001; Archive empty" << QColor(128, 128, 128);
        QTest::newRow("failure") << QStringList{"state_len=3"} << int(usbResultFailed)
                                 << "LibUsb: Error 4" << QColor(255, 0, 0);
    }
    void readHandOffEndsAtEveryEnd() {
        QFETCH(QStringList, scenario);
        QFETCH(int, result);
        QFETCH(QString, status);
        QFETCH(QColor, colour);
        sim.Set(scenario << "archive=" + plain3);
        QElapsedTimer t;
        t.start();
        form->UsbReadHandOff();
        QVERIFY(t.elapsed() < 5000);
        QCOMPARE(DataReadResult.load(), result);
        QCOMPARE(statusText(), status);
        QTRY_COMPARE(form->LinkColour(), colour); // set right after the answer
        QVERIFY(!form->ProgressBar1()->isVisible());
        QVERIFY(!form->ArchiveBusy()); // the archive commands are available again
        QVERIFY(form->ASave->isEnabled());
        if (result == usbResultDone) QCOMPARE(RecordCount.load(), 3);
        if (result == usbResultEmpty) QCOMPARE(RecordCount.load(), 0); // the table shows none
        QVERIFY(!stopOffered());
        QVERIFY(form->ARead->isEnabled());
        tableShowsArchive();
    }

    // A read without an instrument says what it waits for, holds the archive commands back, and
    // ends by Stop (button, Esc) or by itself after the bound; the table stays as it was and an
    // instrument plugged in afterwards is not read.
    void readWaitingForTheInstrumentEnds_data() {
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("status");
        QTest::newRow("stop button") << "button"
                                     << "Data read stopped, the table is unchanged";
        QTest::newRow("Esc") << "esc"
                             << "Data read stopped, the table is unchanged";
        QTest::newRow("bound") << "bound"
                               << "No instrument on the USB port: the read stopped after 2 s, the "
                                  "table is unchanged";
    }
    void readWaitingForTheInstrumentEnds() {
        QFETCH(QString, end);
        QFETCH(QString, status);
        IniWrite("Config", "UsbWaitSeconds", end == "bound" ? "2" : "");
        showTwoRecords();
        sim.Set({"devices="});
        ModalScript script({press(QMessageBox::Ok)}); // the bound's message box
        QElapsedTimer t;
        t.start();
        form->BeginUsbRead();
        const QString waiting =
            end == "bound" ? QString(Waiting30).replace("30 s", "2 s") : Waiting30;
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), waiting, 5000);
        QVERIFY(form->UsbReadRunning());
        QVERIFY(stopOffered());
        for (QAction* a : {form->ARead, form->ASave, form->AOpen, form->APrint, form->ACopyAll})
            QVERIFY(!a->isEnabled());
        QVERIFY(form->AUSB->isEnabled()); // another port may be chosen
        if (end == "button") form->findChild<QToolButton*>("btnStopRead")->click();
        if (end == "esc") QTest::keyClick(form->StringGrid1(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!form->UsbReadRunning(), 5000);
        QCOMPARE(statusText(), status);
        if (end == "bound") {
            QVERIFY(t.elapsed() >= 2000);
            QCOMPARE(script.seen.size(), 1);
            QCOMPARE(script.seen[0].text, status);
        } else {
            QVERIFY(t.elapsed() < 2000);
            QVERIFY(script.seen.isEmpty());
        }
        QVERIFY(!stopOffered());
        QVERIFY(form->ARead->isEnabled() && form->ASave->isEnabled());
        sim.Set({"archive=" + plain3});
        QTest::qWait(1000);
        QCOMPARE(writes(), 0);
        QCOMPARE(RecordCount.load(), 2);
        tableShowsArchive();
        IniWrite("Config", "UsbWaitSeconds", "");
    }

    // Choosing a serial port while a read waits for the instrument withdraws the request.
    void choosingASerialPortWithdrawsTheRead() {
        showTwoRecords();
        sim.Set({"devices="});
        form->BeginUsbRead();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), Waiting30, 5000);
        {
            ModalScript script({press(QMessageBox::Ignore)}); // the port does not exist here
            form->SelectPort(33);
            QCOMPARE(script.seen.size(), 1);
        }
        QVERIFY(!form->UsbReadRunning());
        QVERIFY(form->frmStatus()->Memo1()->toPlainText().contains(
            "The USB read was cancelled: another port was chosen"));
        sim.Set({"archive=" + plain3});
        QTest::qWait(1000);
        QCOMPARE(writes(), 0);
        QCOMPARE(RecordCount.load(), 2);
        form->SelectPort(0); // back on USB for the tests that follow: still nothing read
        QTest::qWait(500);
        QCOMPARE(writes(), 0);
    }

    // A read that ends while the Save dialog is open: the save does not write a file that mixes
    // or swaps archives behind the operator's back. It refuses and says why; the next save writes
    // the new archive whole.
    void readWhileTheSaveDialogIsOpen() {
        showTwoRecords();
        sim.Set({"archive=" + plain3});
        const QString target = programDir.filePath("during-read.vyz");
        auto readNow = [this] {
            form->BeginUsbRead();
            QTRY_VERIFY_WITH_TIMEOUT(!form->UsbReadRunning(), 10000);
        };
        {
            ModalScript script({[&](QWidget* w) {
                                    readNow();
                                    choose(target)(w);
                                },
                                press(QMessageBox::Ok)});
            form->ASaveExecute();
            QCOMPARE(script.left(), 0);
            QCOMPARE(script.seen[1].text,
                     QString("The archive was read again from the instrument while the save dialog "
                             "was open. The file was not saved: save the new archive again"));
        }
        QVERIFY(!QFile::exists(target));
        QCOMPARE(RecordCount.load(), 3);
        tableShowsArchive();
        {
            ModalScript script({choose(target)});
            form->ASaveExecute();
        }
        QCOMPARE(ReadAll(target), PlainFile(3));
    }

    // A read that ends while the Open dialog is open: the file does not replace the new read-out
    // unseen; the table shows the read-out and agrees with the archive.
    void readWhileTheOpenDialogIsOpen() {
        showTwoRecords();
        sim.Set({"archive=" + plain3});
        const QString file = programDir.filePath("other.vyz");
        usbtest::WriteArchiveFile(file, 5, false);
        auto readNow = [this] {
            form->BeginUsbRead();
            QTRY_VERIFY_WITH_TIMEOUT(!form->UsbReadRunning(), 10000);
        };
        ModalScript script({[&](QWidget* w) {
                                readNow();
                                choose(file)(w);
                            },
                            press(QMessageBox::Ok)});
        form->AOpenExecute();
        QCOMPARE(script.left(), 0);
        QVERIFY(script.seen[1].text.startsWith("The archive was read again from the instrument "
                                               "while the open dialog was open."));
        QCOMPARE(RecordCount.load(), 3);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(MeasurementArchive), 32).left(22),
                 PlainFile(1).left(22));
        tableShowsArchive();
    }

    // No usable libusb: the read command ends with the driver error instead of waiting for ever.
    void readWithoutLibraryEnds() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_LIBRARY_PATH", VYZ_BINARY_DIR "/sim/usb/incomplete");
        child.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        child.start(QCoreApplication::applicationFilePath(), {"--read-without-library"});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("Error USB-driver"));
        QVERIFY(t.elapsed() < 15000);
    }

    void exitStepsEndWithinTheirWaits() {
        QElapsedTimer t;
        t.start();
        form->RequestUsbWorkerStop();
        form->ReleaseUsbOnExit();
        form->WaitUsbWorkerEnd();
        QVERIFY(t.elapsed() < 1500);
        QVERIFY(!LibUSB.isLibraryLoaded());
        QVERIFY(!UsbWorkerRunning);
    }
};

// With --read-without-library: the read command in a program whose libusb cannot be bound (the
// test runs itself so, with an incomplete library on the loader path); prints the status line.
static int ReadWithoutLibrary(int argc, char** argv) {
    QApplication app(argc, argv);
    LangIndex = 1;
    TForm1 window;
    window.hDataRdEvent = std::make_shared<AutoResetEvent>(false);
    window.hDataReadedEvent = std::make_shared<AutoResetEvent>(false);
    window.hScreenRdEvent = std::make_shared<AutoResetEvent>(false);
    window.hScrReadedEvent = std::make_shared<AutoResetEvent>(false);
    window.UsbReadHandOff(); // starts the worker, which cannot bind the library
    std::printf("%s\n", qPrintable(window.findChild<QPushButton*>("sbStatus")->text()));
    window.RequestUsbWorkerStop();
    window.ReleaseUsbOnExit();
    window.WaitUsbWorkerEnd();
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--read-without-library") == 0)
        return ReadWithoutLibrary(argc, argv);
    QApplication app(argc, argv);
    TestUsbWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_usb_window.moc"
