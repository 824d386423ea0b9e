// The main window's side of the USB link with the real window (offscreen), the real worker and
// the simulated instrument: the read command's hand-off, USB from the port menu, the exit steps.
#include "data/text_pair.h"
#include "link/libusb_transport.h"
#include "link/usb_shared.h"
#include "shell/main_window.h"
#include "usb_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <cstdio>
#include <cstring>

using namespace vyz;

class TestUsbWindow : public QObject {
    Q_OBJECT
    usbtest::SimScenario sim;
    QString plain3;
    TForm1* form = nullptr;

    QString statusText() { return form->findChild<QPushButton*>("sbStatus")->text(); }

private slots:
    void initTestCase() {
        LangIndex = 1;
        plain3 = sim.ArchivePath("plain3.vyz");
        usbtest::WriteArchiveFile(plain3, 3, false);
        sim.Set({"archive=" + plain3});
        form = new TForm1;
        form->SetLinkColour(Qt::white);
    }

    void selectUsbBindsAndStartsTheWorker() {
        QVERIFY(!UsbWorkerRunning);
        form->SelectUsb();
        QCOMPARE(statusText(), QString("USB-port is open"));
        QVERIFY(LibUSB.isLibraryLoaded());
        QVERIFY(UsbWorkerRunning);
        // The worker asks for the events until the window has created them.
        QTest::qWait(1300);
        form->hDataRdEvent = std::make_shared<AutoResetEvent>(false);
        form->hDataReadedEvent = std::make_shared<AutoResetEvent>(false);
        form->hScreenRdEvent = std::make_shared<AutoResetEvent>(false);
        form->hScrReadedEvent = std::make_shared<AutoResetEvent>(false);
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
