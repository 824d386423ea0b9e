// Times the read-out of a full archive (2677 records) from the simulator playing the instrument
// at the real line timing (115200 bit/s, 8 data bits, 2 stop bits: 11 bits a byte) with no
// turnaround beyond the 5 ms quiet window. The protocol's floor per record is the 5 ms settling
// time plus 34 bytes on the line (6 request + 28 reply): 8.25 ms, 22.1 s for 2677 records.
//
//   bench_serial_readout [--records N] [--turnaround-us N]
#include "link/comm.h"
#include "link/serial_readout.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <vector>

using namespace vyz;

namespace {

class BenchHost final : public RealTimeHost {
public:
    void Pump() override { QCoreApplication::processEvents(); }
    bool StopRequested() override { return false; }
    void Identified(const uint8_t*) override {}
    void CountKnown(int, int) override {}
    void RecordProgress(int) override {}
    void RecordStored(int) override {}
    void WriteFailed() override { ++writeFailures; }
    int writeFailures = 0;
};

// Measures how late each purge falls after its request was written.
class TimedLine final : public SerialLine {
public:
    explicit TimedLine(SerialLine& inner) : inner_(inner) {}
    bool Enabled() override { return inner_.Enabled(); }
    int Write(const uint8_t* d, int c) override {
        written_ = std::chrono::steady_clock::now();
        settling_ = true;
        return inner_.Write(d, c);
    }
    int Read(uint8_t* d, int c) override { return inner_.Read(d, c); }
    int InQueCount() override { return inner_.InQueCount(); }
    int OutQueCount() override { return inner_.OutQueCount(); }
    void PurgeIn() override {
        if (!settling_) return inner_.PurgeIn();
        settling_ = false;
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - written_)
                .count();
        if (us > 5600) ++late;
        if (us > worst) worst = us;
        inner_.PurgeIn();
    }
    int late = 0;
    double worst = 0;

private:
    SerialLine& inner_;
    std::chrono::steady_clock::time_point written_;
    bool settling_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int records = ArchiveCapacity;
    QString turnaround = "0";
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--records")
            records = args[i + 1].toInt();
        else if (args[i] == "--turnaround-us")
            turnaround = args[i + 1];
    }

    QTemporaryDir dir;
    const QString file = dir.filePath("archive.vyz");
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        for (int i = 0; i < records; ++i) {
            char record[24];
            for (int b = 0; b < 24; ++b)
                record[b] = static_cast<char>(i + b);
            f.write(record, 24);
        }
    }
    QProcess sim;
    sim.start(VYZ_SERIAL_SIM, {"--file", file, "--real-timing", "--turnaround-us", turnaround});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) return 1;
    const QString pty = QString::fromLocal8Bit(sim.readLine()).trimmed().mid(4);

    TComm comm;
    comm.SetDeviceName(pty.toStdString());
    comm.SetReadBufSize(40960);
    comm.SetWriteBufSize(32);
    comm.SetMonitorEvents(SetOf(evRxChar) | SetOf(evTxEmpty));
    comm.SetBaudRate(br115200);
    comm.SetStopBits(sb20);
    comm.SetFlowControl(fcNone);
    comm.Open();
    if (!comm.Enabled()) return 1;

    static SerialPayload staging[ArchiveCapacity];
    CommLine commLine(comm);
    TimedLine line(commLine);
    BenchHost host;
    const auto start = std::chrono::steady_clock::now();
    const ReadoutResult result = RunSerialReadout(line, host, staging, ArchiveCapacity);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sim.kill();
    sim.waitForFinished();
    const int requests = QString::fromLocal8Bit(sim.readAllStandardOutput()).count("record ");

    const double floorMs = 5.0 + 34 * 11 * 1000.0 / 115200;
    const double perRecord = seconds * 1000 / result.stored;
    std::printf("records read       %d of %d announced\n", result.stored, result.announced);
    std::printf("total              %.2f s (identification and count included)\n", seconds);
    std::printf("per record         %.3f ms\n", perRecord);
    std::printf("protocol floor     %.3f ms per record, %.2f s for %d records\n", floorMs,
                floorMs * result.stored / 1000, result.stored);
    std::printf("over the floor     %.1f %%\n", (perRecord / floorMs - 1) * 100);
    std::printf("record requests    %d (%d repeated)\n", requests, requests - result.stored);
    std::printf("write failures     %d\n", host.writeFailures);
    std::printf("late purges        %d over 5.6 ms after the request, worst %.2f ms\n", line.late,
                line.worst / 1000);
    return result.stored == std::min(records, ArchiveCapacity) ? 0 : 1;
}
