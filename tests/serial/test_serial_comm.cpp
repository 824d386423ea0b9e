// The serial port component against a real pseudo-terminal; the modem-line logic against a
// stand-in of the lowest platform layer (a pseudo-terminal has no modem lines).
#include "link/comm.h"
#include "link/serial_line_check.h"
#include "serial_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <termios.h>

using namespace vyz;

namespace {

// Reads everything the master end holds, waiting up to `ms` for `want` bytes.
QByteArray ReadMaster(int master, int want, int ms = 1000) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    while (got.size() < want && t.elapsed() < ms) {
        char buf[64];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
        else
            QTest::qWait(5);
    }
    return got;
}

void WriteMaster(int master, const QByteArray& bytes) {
    QCOMPARE(::write(master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
}

// The real platform, except for the modem lines, which follow a cable: CTS from RTS and DSR
// from DTR where the cable joins them, or stuck on or off.
class CablePlatform final : public CommPlatform {
public:
    enum Line { Off, On, FromRts, FromDtr };
    CablePlatform(Line cts, Line dsr) : cts_(cts), dsr_(dsr) {}
    int failControl = 0; // error code for line changes

    bool rts = false, dtr = false;

    int ModemStatus(int, uint32_t& bits) override {
        bits = 0;
        if (Level(cts_)) bits |= MS_CTS_ON;
        if (Level(dsr_)) bits |= MS_DSR_ON;
        return 0;
    }
    int SetModemControl(int, ModemControl line, bool on) override {
        if (failControl) return failControl;
        (line == ModemControl::Rts ? rts : dtr) = on;
        return 0;
    }

    int Open(const std::string& d, int& e) override { return real_->Open(d, e); }
    void Close(int h) override { real_->Close(h); }
    bool IsTerminal(int h) override { return real_->IsTerminal(h); }
    int ApplyTimeouts(int h) override { return real_->ApplyTimeouts(h); }
    int ApplyLine(int h, const CommLineSettings& l) override { return real_->ApplyLine(h, l); }
    int Write(int h, const uint8_t* d, int c, int t) override { return real_->Write(h, d, c, t); }
    int Read(int h, uint8_t* d, int c, int t) override { return real_->Read(h, d, c, t); }
    int InQueue(int h) override { return real_->InQueue(h); }
    int OutQueue(int h) override { return real_->OutQueue(h); }
    void Purge(int h, bool i, bool o) override { real_->Purge(h, i, o); }
    int SetBreak(int h, bool on) override { return real_->SetBreak(h, on); }
    int SetTransmitStopped(int h, bool s) override { return real_->SetTransmitStopped(h, s); }
    int ReadLineCounters(int h, LineCounters& c) override { return real_->ReadLineCounters(h, c); }
    int OpenWatch(int h) override { return real_->OpenWatch(h); }
    void CloseWatch(int w) override { real_->CloseWatch(w); }
    int CreateWaker() override { return real_->CreateWaker(); }
    void Wake(int w) override { real_->Wake(w); }
    void CloseWaker(int w) override { real_->CloseWaker(w); }
    int WaitEvent(int w, bool in, int k, int t) override { return real_->WaitEvent(w, in, k, t); }

private:
    bool Level(Line l) const { return l == On || (l == FromRts && rts) || (l == FromDtr && dtr); }
    Line cts_, dsr_;
    std::shared_ptr<CommPlatform> real_ = PosixCommPlatform();
};

} // namespace

class TestSerialComm : public QObject {
    Q_OBJECT
private slots:
    void openMissingDeviceIsNotAnError();
    void openTwiceRaises();
    void exclusiveUse();
    void lineSettingsReachThePort();
    void refusedSettingsRaiseAndLeaveThePortClosed();
    void deviceNameIsKeptWhileOpen();
    void writeAndReadWithTimeout();
    void queueCountsAndPurge();
    void closedPort();
    void ptyModemLinesReadOff();
    void rxCharEventReachesHandler();
    void lineCheck_data();
    void lineCheck();
    void lineChangeFailureRaises();
};

void TestSerialComm::openMissingDeviceIsNotAnError() {
    TComm comm;
    comm.SetDeviceName("/nonexistent/ttyUSB9");
    comm.Open();
    QVERIFY(!comm.Enabled());
}

void TestSerialComm::openTwiceRaises() {
    PtyPair pty;
    QVERIFY(pty.ok());
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.Open();
    QVERIFY(comm.Enabled());
    try {
        comm.Open();
        QFAIL("no error");
    } catch (const ECommError& e) {
        QCOMPARE(QString(e.what()), QString("Port already assigned (open) (Error: -1)"));
        QCOMPARE(e.code(), -1);
    }
    QVERIFY(comm.Enabled());
}

void TestSerialComm::exclusiveUse() {
    PtyPair pty;
    TComm first, second;
    first.SetDeviceName(pty.slavePath().toStdString());
    second.SetDeviceName(pty.slavePath().toStdString());
    first.Open();
    QVERIFY(first.Enabled());
    second.Open();
    QVERIFY(!second.Enabled()); // held by the first
    first.Close();
    second.Open();
    QVERIFY(second.Enabled());
}

void TestSerialComm::lineSettingsReachThePort() {
    PtyPair pty;
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.SetBaudRate(br115200);
    comm.SetStopBits(sb20);
    comm.SetFlowControl(fcNone);
    comm.Open();
    QVERIFY(comm.Enabled());
    termios t{};
    QCOMPARE(::tcgetattr(pty.slave(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B115200));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(t.c_cflag & CSTOPB);
    QVERIFY(!(t.c_cflag & PARENB));
    QVERIFY(!(t.c_cflag & CRTSCTS));
    QVERIFY(!(t.c_iflag & (IXON | IXOFF)));
    QVERIFY(!(t.c_lflag & (ICANON | ECHO | ISIG)));
    QVERIFY(!(t.c_oflag & OPOST));

    // (A pseudo-terminal refuses parity, so the stop bits and the rate stand for the rest.)
    comm.SetBaudRate(br9600); // while open: at once
    comm.SetStopBits(sb10);
    QCOMPARE(::tcgetattr(pty.slave(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
    QVERIFY(!(t.c_cflag & CSTOPB));

    comm.Close();
    comm.SetBaudRate(br57600); // while closed: at the next open
    comm.SetStopBits(sb20);
    QCOMPARE(::tcgetattr(pty.slave(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
    comm.Open();
    QCOMPARE(::tcgetattr(pty.slave(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B57600));
    QVERIFY(t.c_cflag & CSTOPB);
}

void TestSerialComm::refusedSettingsRaiseAndLeaveThePortClosed() {
    PtyPair pty;
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.SetDataBits(da4); // no 4-bit characters on this platform
    try {
        comm.Open();
        QFAIL("no error");
    } catch (const ECommError& e) {
        QCOMPARE(QString(e.what()),
                 QString("Error updating DataControlBlock (Error: %1)").arg(EINVAL));
    }
    QVERIFY(!comm.Enabled());
    comm.SetDataBits(da8);
    comm.Open(); // nothing was left holding the port
    QVERIFY(comm.Enabled());
}

void TestSerialComm::deviceNameIsKeptWhileOpen() {
    PtyPair pty;
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.Open();
    comm.SetDeviceName("/dev/other");
    QCOMPARE(QString::fromStdString(comm.DeviceName()), pty.slavePath());
    comm.Close();
    comm.SetDeviceName("/dev/other");
    QCOMPARE(comm.DeviceName(), std::string("/dev/other"));
}

void TestSerialComm::writeAndReadWithTimeout() {
    PtyPair pty;
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.SetReadTimeout(300);
    comm.Open();
    const uint8_t request[6] = {0x03, 0xFC, 0xFF, 0xFF, 0x80, 0x49};
    QCOMPARE(comm.Write(request, 6), 6);
    QCOMPARE(ReadMaster(pty.master(), 6), QByteArray(reinterpret_cast<const char*>(request), 6));

    uint8_t buf[8] = {};
    QCOMPARE(comm.Read(buf, 0), 0);
    WriteMaster(pty.master(), "abc");
    QElapsedTimer t;
    t.start();
    QCOMPARE(comm.Read(buf, 8), 3); // what came within the time-out
    QVERIFY2(t.elapsed() >= 280, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buf), 3), QByteArray("abc"));

    WriteMaster(pty.master(), "12345678");
    t.restart();
    QCOMPARE(comm.Read(buf, 8), 8); // all there: no waiting for the time-out
    QVERIFY(t.elapsed() < 250);
}

void TestSerialComm::queueCountsAndPurge() {
    PtyPair pty;
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.Open();
    QCOMPARE(comm.InQueCount(), 0);
    WriteMaster(pty.master(), "hello");
    QTRY_COMPARE(comm.InQueCount(), 5);
    QVERIFY(comm.OutQueCount() >= 0);
    comm.PurgeIn();
    QCOMPARE(comm.InQueCount(), 0);
    uint8_t buf[4];
    comm.SetReadTimeout(50);
    QCOMPARE(comm.Read(buf, 4), 0); // nothing left after the purge
}

void TestSerialComm::closedPort() {
    TComm comm;
    uint8_t buf[4] = {};
    QCOMPARE(comm.Write(buf, 4), -1);
    QCOMPARE(comm.Read(buf, 4), -1);
    QCOMPARE(comm.InQueCount(), -1);
    QCOMPARE(comm.OutQueCount(), -1);
    QVERIFY(!comm.GetModemState(1));
    comm.PurgeIn();
    try {
        comm.SetRTSState(true);
        QFAIL("no error");
    } catch (const ECommError& e) {
        QCOMPARE(QString(e.what()), QString("Port not open (Error: -1)"));
    }
}

void TestSerialComm::ptyModemLinesReadOff() {
    PtyPair pty;
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.Open();
    comm.SetRTSState(true); // a pseudo-terminal takes line changes without effect
    comm.SetDTRState(true);
    for (int line = 1; line <= 4; ++line)
        QVERIFY(!comm.GetModemState(line));
}

void TestSerialComm::rxCharEventReachesHandler() {
    PtyPair pty;
    TComm comm;
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.SetMonitorEvents(SetOf(evRxChar) | SetOf(evTxEmpty));
    QList<uint32_t> counts;
    int txEmpty = 0;
    comm.OnRxChar = [&](TThreadComm* sender, uint32_t count) {
        QCOMPARE(sender, static_cast<TThreadComm*>(&comm));
        counts << count;
    };
    comm.OnTxEmpty = [&](TThreadComm*) { ++txEmpty; };
    comm.Open();
    WriteMaster(pty.master(), "xyz");
    QTRY_VERIFY(!counts.isEmpty());
    QCOMPARE(counts.first(), 3u);
    const uint8_t b = 0x55;
    comm.Write(&b, 1);
    QTRY_VERIFY(txEmpty >= 1);
    comm.Close();
    counts.clear();
    WriteMaster(pty.master(), "more");
    QTest::qWait(100);
    QVERIFY(counts.isEmpty()); // no handler runs after Close
}

void TestSerialComm::lineCheck_data() {
    QTest::addColumn<int>("cts");
    QTest::addColumn<int>("dsr");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("pauses"); // 100 ms pauses: two more when CTS followed RTS on
    using P = CablePlatform;
    QTest::newRow("nothing connected") << int(P::Off) << int(P::Off) << false << 2;
    QTest::newRow("RTS joined to CTS") << int(P::FromRts) << int(P::Off) << true << 4;
    QTest::newRow("RTS-CTS and DTR-DSR") << int(P::FromRts) << int(P::FromDtr) << true << 4;
    QTest::newRow("CTS stuck on") << int(P::On) << int(P::Off) << false << 4;
    QTest::newRow("DSR stuck on") << int(P::FromRts) << int(P::On) << false << 2;
    QTest::newRow("CTS from DTR") << int(P::FromDtr) << int(P::Off) << false << 2;
}

void TestSerialComm::lineCheck() {
    QFETCH(int, cts);
    QFETCH(int, dsr);
    QFETCH(bool, present);
    QFETCH(int, pauses);
    PtyPair pty;
    auto platform =
        std::make_shared<CablePlatform>(CablePlatform::Line(cts), CablePlatform::Line(dsr));
    TComm comm(platform);
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.Open();
    QVERIFY(comm.Enabled());
    QList<int> sleeps;
    QCOMPARE(CheckInstrumentLines(comm, [&](int ms) { sleeps << ms; }), present);
    QVERIFY(!platform->rts); // every outcome leaves RTS off and DTR on
    QVERIFY(platform->dtr);
    QCOMPARE(sleeps, QList<int>(pauses, 100));
}

void TestSerialComm::lineChangeFailureRaises() {
    PtyPair pty;
    auto platform = std::make_shared<CablePlatform>(CablePlatform::Off, CablePlatform::Off);
    platform->failControl = EIO;
    TComm comm(platform);
    comm.SetDeviceName(pty.slavePath().toStdString());
    comm.Open();
    try {
        CheckInstrumentLines(comm, [](int) {});
        QFAIL("no error");
    } catch (const ECommError& e) {
        QCOMPARE(QString(e.what()), QString("EscapeCommFunction failure (Error: %1)").arg(EIO));
    }
}

QTEST_GUILESS_MAIN(TestSerialComm)
#include "test_serial_comm.moc"
