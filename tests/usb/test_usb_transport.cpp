// The USB transport with the real libusb-0.1.so.4 over the emulated usbfs of the simulated
// instrument.
#include "data/text_pair.h"
#include "link/libusb_transport.h"
#include "platform/paths.h"
#include "platform/usb_log.h"
#include "usb_test_support.h"

#include <QProcess>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

using namespace vyz;

class TestUsbTransport : public QObject {
    Q_OBJECT
    usbtest::SimScenario sim;
    QTemporaryDir programDir;
    QStringList messages;
    std::mutex messagesMutex;

    QStringList logLines() {
        QFile f(programDir.filePath("LogUSB.log"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList lines;
        for (const QString& l : QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts))
            if (l.size() > 9 && l[2] == ':' && l[5] == ':') lines << l.mid(9); // "hh:mm:ss "
        return lines;
    }
    QStringList newLogLines(int from) { return logLines().mid(from); }
    QStringList takeMessages() {
        std::lock_guard lock(messagesMutex);
        QStringList m = messages;
        messages.clear();
        return m;
    }

private slots:
    void initTestCase() {
        QFile ini(programDir.filePath("Vyz.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Debug]\r\nLogUSB=Y\r\n");
        ini.close();
        InitProgramPaths(programDir.path().toStdString());
        ResetLogUSBForTest();
        StartLogUSB();
        LangIndex = 1;
        sim.Set({});
        LibUSB.SetPlainMessageSink([this](const std::string& m) {
            std::lock_guard lock(messagesMutex);
            messages << QString::fromStdString(m);
        });
    }

    void init() {
        LibUSB.CloseLibUsb();
        LastSearchTick = 0;
        takeMessages();
    }

    void errorTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << 1 << "";
        QTest::newRow("time-out en") << -ETIMEDOUT << 1 << "LibUsb: Time-out";
        QTest::newRow("time-out ru") << -ETIMEDOUT << 0 << "LibUsb: Тайм-аут";
        QTest::newRow("Windows time-out number") << -116 << 1 << "LibUsb: Error -116";
        QTest::newRow("unknown") << -15 << 1 << "LibUsb: Error -15";
        QTest::newRow("positive") << 5 << 0 << "LibUsb: Error 5";
        QTest::newRow("is a directory ru") << -EISDIR << 0 << "LibUsb: Is a directory";
        QTest::newRow("is a directory en") << -EISDIR << 1 << "LibUsb: Is a directory";
        QTest::newRow("busy") << -EBUSY << 1 << "LibUsb: strerror reports \"Resource device\"";
        QTest::newRow("name too long") << -ENAMETOOLONG << 1 << "LibUsb: Filename too long";
        QTest::newRow("not empty ru") << -ENOTEMPTY << 0 << "LibUsb: Папка не пуста";
        QTest::newRow("no entry") << -ENOENT << 1
                                  << "LibUsb: No entry, ENOFILE, no such file or directory";
        QTest::newRow("broken pipe") << -EPIPE << 0 << "LibUsb: Обрыв в канале";
        QTest::newRow("no device") << -ENODEV << 1 << "LibUsb: No such device";
    }
    void errorTexts() {
        QFETCH(int, code);
        QFETCH(int, lang);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(TLibUsb::ErrorText(code, lang)), text);
    }

    void bindLogsAndBindsOnce() {
        const int before = logLines().size();
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QVERIFY(LibUSB.isLibraryLoaded());
        QCOMPARE(newLogLines(before),
                 QStringList({"=============================", "=    Initialize LibUsb      =",
                              "=============================", "LoadLibrary(\"libusb-0.1.so.4\");",
                              "LibUsb loaded!", "Library initialize...", "Library initialized!"}));
        const int again = logLines().size();
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QCOMPARE(newLogLines(again).size(), 3); // the header only, no second load
        LibUSB.CloseLibUsb();
        QVERIFY(!LibUSB.isLibraryLoaded());
        QCOMPARE(
            logLines().mid(logLines().size() - 3),
            QStringList({"LibUsb close...", "LibUsb closed!", "============================="}));
    }

    void findsTheFirstInstrument_data() {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("opened"); // device file name, empty: none
        QTest::newRow("Atmel id") << "03eb:0130"
                                  << "002";
        QTest::newRow("ST id") << "0483:0130"
                               << "002";
        QTest::newRow("wrong product") << "03eb:0131"
                                       << "";
        QTest::newRow("other vendor") << "1234:0130"
                                      << "";
        QTest::newRow("first of two") << "03eb:0131,0483:0130,03eb:0130"
                                      << "003";
        QTest::newRow("none") << ""
                              << "";
    }
    void findsTheFirstInstrument() {
        QFETCH(QString, devices);
        QFETCH(QString, opened);
        sim.Set({"devices=" + devices});
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QCOMPARE(LibUSB.FindDevice(), opened.isEmpty() ? 1 : 0);
        QCOMPARE(LibUSB.isDeviceOpened(), !opened.isEmpty());
        const QStringList opens = sim.Trace().filter(QRegularExpression("^open"));
        QCOMPARE(opens, opened.isEmpty() ? QStringList() : QStringList{"open " + opened});
        if (!opened.isEmpty()) {
            QVERIFY(sim.Trace().contains("configuration 1"));
            QVERIFY(sim.Trace().contains("claim 0"));
        }
    }

    void openInstrumentIsNotOpenedAgain() {
        sim.Set({});
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QCOMPARE(LibUSB.FindDevice(), 0);
        QCOMPARE(LibUSB.FindDevice(), 0);
        QCOMPARE(sim.Trace().filter(QRegularExpression("^open")).size(), 1);
        LibUSB.CloseDevice();
        QVERIFY(!LibUSB.isDeviceOpened());
        QCOMPARE(LibUSB.FindDevice(), 0); // closed: opened again
        QCOMPARE(sim.Trace().filter(QRegularExpression("^open")).size(), 2);
    }

    void notConnectedShownOncePerBurst() {
        sim.Set({"devices="});
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        for (int i = 0; i < 50; ++i) { // 2.5 s of searches every 50 ms
            QCOMPARE(LibUSB.FindDevice(), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        QCOMPARE(takeMessages(),
                 QStringList{"The device is not connected to the USB bus or off. Turn on the "
                             "device, connect it to the USB bus, and restart the program"});
        std::this_thread::sleep_for(std::chrono::milliseconds(2100));
        QCOMPARE(LibUSB.FindDevice(), 1);
        QCOMPARE(takeMessages().size(), 1); // after a quiet time it is shown again
        QVERIFY(logLines().contains("Device NOT found!"));
    }

    // usb_open refused (no rights on the device node): no handle, a message that says how to
    // grant access, and transfers fail cleanly instead of using a null handle.
    void refusedOpenTellsHowToGrantAccess() {
        sim.Set({"open_fails=1"});
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QCOMPARE(LibUSB.FindDevice(), 1);
        QVERIFY(!LibUSB.isDeviceOpened());
        const QStringList m = takeMessages();
        QCOMPARE(m.size(), 1);
        QVERIFY(m[0].contains("60-vyz1.rules"));
        QVERIFY(m[0].contains("udevadm"));
        const uint8_t command[2] = {0x01, 0xFE};
        QCOMPARE(LibUSB.WriteData(command, 2), -ENODEV);
        QCOMPARE(sim.Trace().filter(QRegularExpression("^write")).size(), 0);
        LangIndex = 0;
        LastSearchTick = 0;
        QCOMPARE(LibUSB.FindDevice(), 1);
        QVERIFY(takeMessages().value(0).contains("Нет доступа к прибору"));
        LangIndex = 1;
    }

    // The real library opens a node it may not write read-only, and one it may not open at all as
    // a handle without a file; usbfs then refuses the configuration with EPERM, the C library with
    // EBADF. Either way the search fails with the access message and keeps no handle.
    void accessRefusalsOfTheRealLibrary_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("deviceSide"); // what the emulated kernel saw, in order
        QTest::newRow("read-only node: EPERM") << "node_access=ro"
                                               << QStringList{"open 002 refused",
                                                              "open 002 read-only",
                                                              "configuration 1",
                                                              "configuration 1 -> -1",
                                                              "claim 0",
                                                              "claim 0 -> -1",
                                                              "close"};
        QTest::newRow("node not openable: EBADF")
            << "open_fails=1" << QStringList{"open 002 refused", "open 002 refused"};
    }
    void accessRefusalsOfTheRealLibrary() {
        QFETCH(QString, scenario);
        QFETCH(QStringList, deviceSide);
        sim.Set({scenario});
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        const int before = logLines().size();
        QCOMPARE(LibUSB.FindDevice(), 1);
        QVERIFY(!LibUSB.isDeviceOpened());
        QCOMPARE(sim.Trace().mid(1), deviceSide); // after the search's "find" line
        QCOMPARE(newLogLines(before).filter(QRegularExpression("^Device (found|NOT)")),
                 QStringList{"Device NOT opened!"});
        const QStringList m = takeMessages();
        QCOMPARE(m.size(), 1);
        QVERIFY(m[0].startsWith("No access to the device on the USB bus."));
        QVERIFY(m[0].contains("60-vyz1.rules"));
        uint8_t buffer[4];
        QCOMPARE(LibUSB.ReadData(buffer, 4), -ENODEV); // no handle is used after the refusal
        QCOMPARE(sim.Trace().filter(QRegularExpression("^read")).size(), 0);
        sim.Set({}); // the udev rule applied: the next search opens the instrument
        QCOMPARE(LibUSB.FindDevice(), 0);
        QVERIFY(sim.Trace().contains("open 002"));
        QVERIFY(takeMessages().isEmpty());
    }

    // A node the user may not even read is not listed by the library's search at all.
    void unreadableNodeIsNotListed() {
        sim.Set({"node_access=none"});
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QCOMPARE(LibUSB.FindDevice(), 1);
        QCOMPARE(sim.Trace(), QStringList{"find 03eb:0130"}); // no open of the program's
        QVERIFY(takeMessages().value(0).startsWith("The device is not connected"));
    }

    void refusedConfigurationStillOpens() {
        sim.Set({"config_error=-16"});
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QCOMPARE(LibUSB.FindDevice(), 0);
        QCOMPARE(takeMessages(), QStringList{"LibUsb: strerror reports \"Resource device\""});
    }

    void transferLogLines() {
        sim.Set({"identity=VYZ-1 N000013"}); // 13 characters: the length word 0D 00 00 00
        QCOMPARE(LibUSB.InitLibUsb(), 0);
        QCOMPARE(LibUSB.FindDevice(), 0);
        const int before = logLines().size();
        const uint8_t command[2] = {0x01, 0xFE};
        QCOMPARE(LibUSB.WriteData(command, 2), 2);
        uint8_t buffer[100] = {};
        QCOMPARE(LibUSB.ReadData(buffer, 4), 4);
        QCOMPARE(LibUSB.ReadData(buffer, 100), 13); // short read: returned as it is
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 13), QByteArray("VYZ-1 N000013"));
        QCOMPARE(LibUSB.ReadData(buffer, 4), -ETIMEDOUT); // nothing more to read
        const uint8_t one = 0x07;
        QCOMPARE(LibUSB.WriteData(&one, 1), 1);
        QCOMPARE(LibUSB.ResetEndPoints(), 0);
        LibUSB.CloseDevice();
        QCOMPARE(newLogLines(before),
                 QStringList({"LibUsb WriteData(), 2 byte(s), OK (01 FE)",
                              "LibUsb ReadData(), 4 byte(s), OK (0D 00 00 00)",
                              "LibUsb ReadData(), 100 byte(s), ERROR LibUsb: Error 13",
                              "LibUsb ReadData(), 4 byte(s), ERROR LibUsb: Time-out",
                              "LibUsb WriteData(), 1 byte(s), OK (07)", "LibUsb EndPoint Reset",
                              "Device closed! (DeviceHandle=NULL)", "--------------"}));
        QVERIFY(sim.Trace().contains("resetep 82"));
        QVERIFY(sim.Trace().contains("resetep 01"));
    }

    void incompleteLibraryIsNotBound() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_LIBRARY_PATH", VYZ_BINARY_DIR "/sim/usb/incomplete");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--bind-only"});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("2 0"));
    }

    void closedTransportRefusesEverything() {
        uint8_t buffer[4];
        QVERIFY(!LibUSB.isLibraryLoaded());
        QCOMPARE(LibUSB.FindDevice(), 1);
        QCOMPARE(LibUSB.ReadData(buffer, 4), -ENODEV);
        QCOMPARE(LibUSB.ResetEndPoints(), 0);
        LibUSB.CloseDevice();
        QVERIFY(LibUSB.TryCloseAll(std::chrono::milliseconds(10)));
    }
};

// With --bind-only the program binds the library found on its loader path and prints the result
// and whether the library stayed loaded (the test runs itself so with another loader path).
int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--bind-only") == 0) {
        const int result = LibUSB.InitLibUsb();
        std::printf("%d %d\n", result, LibUSB.isLibraryLoaded() ? 1 : 0);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestUsbTransport test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_usb_transport.moc"
