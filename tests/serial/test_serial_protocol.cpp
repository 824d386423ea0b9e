// The frame checksum and the serial read-out protocol against an in-memory line on a virtual
// clock, with the simulator's instrument model answering.
#include "instrument_model.h"
#include "link/frame_checksum.h"
#include "link/serial_readout.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <deque>

using namespace vyz;
using vyzsim::InstrumentModel;
using vyzsim::InstrumentOptions;

namespace {

struct VirtualClock {
    int64_t now = 0;
};

// The line: what the program writes goes to the instrument model; its replies arrive on the
// virtual clock as the model plans them.
class MemoryLine final : public SerialLine {
public:
    MemoryLine(VirtualClock& clock, InstrumentModel& model) : clock_(clock), model_(model) {}
    bool Enabled() override { return true; }
    int Write(const uint8_t* data, int count) override {
        // A hung-up port, as the component reports it: nothing written, the line lost.
        if (loseAfterFrames >= 0 && int(frames.size()) >= loseAfterFrames) return 0;
        if (failWrites_ > 0) {
            --failWrites_;
            return 0;
        }
        frames.emplace_back(data, data + count);
        std::vector<vyzsim::Chunk> plan;
        if (model_.Receive(data, static_cast<size_t>(count), plan)) {
            scheduled_.clear();
            if (strayAtUs >= 0) scheduled_.push_back({clock_.now + strayAtUs, {0x55}});
            for (auto& c : plan)
                scheduled_.push_back({clock_.now + c.atUs, std::move(c.bytes)});
        }
        for (const std::string& line : model_.TakeLog())
            log << QString::fromStdString(line);
        return count;
    }
    int Read(uint8_t* data, int count) override {
        Deliver();
        const int n = std::min<int>(count, static_cast<int>(received_.size()));
        for (int i = 0; i < n; ++i) {
            data[i] = received_.front();
            received_.pop_front();
        }
        return n;
    }
    int InQueCount() override {
        Deliver();
        return static_cast<int>(received_.size());
    }
    int OutQueCount() override { return 0; }
    void PurgeIn() override {
        Deliver();
        received_.clear();
    }
    bool Lost() override { return loseAfterFrames >= 0 && int(frames.size()) >= loseAfterFrames; }
    void failNextWrites(int n) { failWrites_ = n; }
    // The port goes away after this many requests were written; negative: never.
    int loseAfterFrames = -1;
    // A byte that arrives this long after every request, within the settling time (an echo or
    // noise on the line); negative: none.
    int64_t strayAtUs = -1;

    std::vector<std::vector<uint8_t>> frames;
    QStringList log;

private:
    void Deliver() {
        while (!scheduled_.empty() && scheduled_.front().first <= clock_.now) {
            const auto& bytes = scheduled_.front().second;
            received_.insert(received_.end(), bytes.begin(), bytes.end());
            scheduled_.pop_front();
        }
    }
    VirtualClock& clock_;
    InstrumentModel& model_;
    std::deque<std::pair<int64_t, std::vector<uint8_t>>> scheduled_;
    std::deque<uint8_t> received_;
    int failWrites_ = 0;
};

class TestHost final : public ReadoutHost {
public:
    explicit TestHost(VirtualClock& clock) : clock_(clock) {}
    int64_t NowUs() override { return clock_.now; }
    // Each rest lasts up to 200 us, plus `lateUs` when the system wakes the program late.
    void Idle(int64_t maxUs) override { clock_.now += std::min<int64_t>(maxUs, 200) + lateUs; }
    bool StopRequested() override { return stopAtUs >= 0 && clock_.now >= stopAtUs; }
    void Identified(const uint8_t* id) override { identity = std::string(id, id + 6); }
    void CountKnown(int a, int t) override {
        announced = a;
        toRead = t;
    }
    void RecordProgress(int stored) override { progress.push_back(stored); }
    void RecordStored(int stored) override { storedReports.push_back(stored); }
    void WriteFailed() override { ++writeFailures; }

    int64_t stopAtUs = -1;
    int64_t lateUs = 0;
    std::string identity;
    int announced = -1, toRead = -1, writeFailures = 0;
    std::vector<int> progress, storedReports;

private:
    VirtualClock& clock_;
};

vyzsim::Payload MakeRecord(int i) {
    vyzsim::Payload p{};
    for (int b = 0; b < 24; ++b)
        p[b] = static_cast<uint8_t>(i * 7 + b * 13 + 1);
    return p;
}

InstrumentOptions WithRecords(int n) {
    InstrumentOptions o;
    for (int i = 0; i < n; ++i)
        o.records.push_back(MakeRecord(i));
    return o;
}

struct Run {
    ReadoutResult result;
    QStringList log;
    std::vector<SerialPayload> staged;
    int writeFailures = 0;
    std::string identity;
    int announced = -1, toRead = -1;
    std::vector<int> storedReports;
};

// Every run ends: a read-out still going after a minute of virtual time is stopped.
Run RunAgainst(InstrumentOptions options, int capacity = ArchiveCapacity,
               int64_t stopAtUs = 60000000, int failWrites = 0, int64_t strayAtUs = -1,
               int64_t lateUs = 0) {
    VirtualClock clock;
    InstrumentModel model(std::move(options));
    MemoryLine line(clock, model);
    line.failNextWrites(failWrites);
    line.strayAtUs = strayAtUs;
    TestHost host(clock);
    host.stopAtUs = stopAtUs;
    host.lateUs = lateUs;
    std::vector<SerialPayload> staging(static_cast<size_t>(capacity));
    Run run;
    run.result = RunSerialReadout(line, host, staging.data(), capacity);
    run.log = line.log;
    run.staged.assign(staging.begin(), staging.begin() + run.result.stored);
    run.writeFailures = host.writeFailures;
    run.identity = host.identity;
    run.announced = host.announced;
    run.toRead = host.toRead;
    run.storedReports = host.storedReports;
    return run;
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

} // namespace

Q_DECLARE_METATYPE(InstrumentOptions)

class TestSerialProtocol : public QObject {
    Q_OBJECT
private slots:
    void checksumVectors_data();
    void checksumVectors();
    void firstRecordRequest();
    void wholeReadoutSendsTheFramesInOrder();
    void faults_data();
    void faults();
    void silentInstrumentRepeatsIdentificationUntilStopped();
    void byteWithinTheSettlingTimeIsThrownAway();
    void replyBegunWhileTheProgramWokeLateIsKept();
    void stopDuringRecordsKeepsWhatWasStaged();
    void failedWriteIsReportedAndTheRequestRepeated();
    void lostPortEndsTheExchange_data();
    void lostPortEndsTheExchange();
    void capacityLimitsTheRequests();
    void placementKeepsCoordinates();
    void identificationText();
    void simulatorReadsBothFileLayouts();
};

void TestSerialProtocol::checksumVectors_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << QByteArray() << 0x5AA5;
    QTest::newRow("abc") << QByteArray("abc") << 0xDF95;
    QTest::newRow("first record request") << Bytes({0x03, 0xFC, 0xFF, 0xFF}) << 0x4980;
}

void TestSerialProtocol::checksumVectors() {
    QFETCH(QByteArray, data);
    QFETCH(int, expected);
    QCOMPARE(int(FrameChecksum(reinterpret_cast<const uint8_t*>(data.constData()),
                               static_cast<size_t>(data.size()))),
             expected);
    // Fed byte by byte, the register gives the same.
    uint16_t reg = FrameChecksumStart;
    for (char c : data)
        reg = UpdateFrameChecksum(reg, static_cast<uint8_t>(c));
    QCOMPARE(int(reg), expected);
}

void TestSerialProtocol::firstRecordRequest() {
    const auto r = RecordRequest(0xFFFF);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(r.data()), 6),
             Bytes({0x03, 0xFC, 0xFF, 0xFF, 0x80, 0x49}));
}

void TestSerialProtocol::wholeReadoutSendsTheFramesInOrder() {
    VirtualClock clock;
    InstrumentModel model(WithRecords(3));
    MemoryLine line(clock, model);
    TestHost host(clock);
    host.stopAtUs = 60000000;
    SerialPayload staging[8];
    const ReadoutResult result = RunSerialReadout(line, host, staging, 8);
    QCOMPARE(int(result.outcome), int(ReadoutOutcome::Done));
    QCOMPARE(result.announced, 3);
    QCOMPARE(result.stored, 3);
    QCOMPARE(host.identity, std::string("150320"));
    QCOMPARE(host.toRead, 3);
    QCOMPARE(host.progress, (std::vector<int>{0, 1, 2}));
    QCOMPARE(host.storedReports, (std::vector<int>{1, 2, 3}));
    std::vector<std::vector<uint8_t>> expected = {{0x01, 0xFE}, {0x02, 0xFD}};
    for (uint16_t index : {0xFFFF, 1, 2}) {
        const auto r = RecordRequest(index);
        expected.emplace_back(r.begin(), r.end());
    }
    QCOMPARE(line.frames, expected);
    for (int i = 0; i < 3; ++i)
        QVERIFY(std::memcmp(staging[i].data(), MakeRecord(i).data(), 24) == 0);
}

void TestSerialProtocol::faults_data() {
    QTest::addColumn<InstrumentOptions>("options");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QList<int>>("storedRecords"); // which instrument records were stored
    QTest::addColumn<QStringList>("log");
    const auto done = int(ReadoutOutcome::Done);
    const QStringList all3 = {"ident", "count", "record 65535", "record 1", "record 2"};

    InstrumentOptions o = WithRecords(3);
    o.corrupt = "ident";
    QTest::newRow("corrupted identification")
        << o << done << QList<int>{0, 1, 2} << (QStringList{"ident"} + all3);
    o = WithRecords(3);
    o.corrupt = "count";
    QTest::newRow("corrupted count")
        << o << done << QList<int>{0, 1, 2}
        << QStringList{"ident", "count", "count", "record 65535", "record 1", "record 2"};
    o = WithRecords(3);
    o.corrupt = "record:1";
    QTest::newRow("corrupted record")
        << o << done << QList<int>{0, 1, 2}
        << QStringList{"ident", "count", "record 65535", "record 1", "record 1", "record 2"};
    o = WithRecords(3);
    o.piecePauseUs = 120000;
    o.pieceSize = 3;
    QTest::newRow("slow pieces within 150 ms") << o << done << QList<int>{0, 1, 2} << all3;
    // After its first look the program waits the port's read time-out for the count, whether
    // or not a byte has come, instead of asking again over a reply that is on its way.
    o = WithRecords(3);
    o.countDelayUs = 600000;
    QTest::newRow("count after 0,6 s") << o << done << QList<int>{0, 1, 2} << all3;
    o.countDelayUs = 1100000;
    QTest::newRow("count after 1,1 s") << o << done << QList<int>{0, 1, 2} << all3;
    o = WithRecords(3);
    o.announce = 0;
    QTest::newRow("count 0") << o << int(ReadoutOutcome::NoRecords) << QList<int>{}
                             << QStringList{"ident", "count"};
    o = WithRecords(4);
    o.endAfter = 1;
    QTest::newRow("early end index") << o << done << QList<int>{0, 1}
                                     << QStringList{"ident", "count", "record 65535", "record 1"};
    o = WithRecords(13);
    o.announce = 3;
    o.nextIndexes = {5, 9, 12};
    QTest::newRow("announced 3, later indexes")
        << o << done << QList<int>{0, 5, 9}
        << QStringList{"ident", "count", "record 65535", "record 5", "record 9"};
}

void TestSerialProtocol::faults() {
    QFETCH(InstrumentOptions, options);
    QFETCH(int, outcome);
    QFETCH(QList<int>, storedRecords);
    QFETCH(QStringList, log);
    const Run run = RunAgainst(options);
    QCOMPARE(int(run.result.outcome), outcome);
    QCOMPARE(run.log, log);
    QCOMPARE(run.result.stored, storedRecords.size());
    for (int i = 0; i < storedRecords.size(); ++i)
        QVERIFY2(std::memcmp(run.staged[i].data(), MakeRecord(storedRecords[i]).data(), 24) == 0,
                 qPrintable(QString("staged record %1").arg(i)));
}

void TestSerialProtocol::silentInstrumentRepeatsIdentificationUntilStopped() {
    InstrumentOptions o = WithRecords(3);
    o.silent = true;
    const Run run = RunAgainst(o, ArchiveCapacity, 1000000);
    QCOMPARE(int(run.result.outcome), int(ReadoutOutcome::Stopped));
    // One attempt about every 156 ms: 5 ms settling and the 151 ms wait.
    QCOMPARE(run.log, QStringList(7, "ident"));
    QVERIFY(run.identity.empty());
}

void TestSerialProtocol::byteWithinTheSettlingTimeIsThrownAway() {
    const Run run = RunAgainst(WithRecords(3), ArchiveCapacity, 10000000, 0, 1000);
    QCOMPARE(int(run.result.outcome), int(ReadoutOutcome::Done));
    QCOMPARE(run.log, (QStringList{"ident", "count", "record 65535", "record 1", "record 2"}));
    for (int i = 0; i < 3; ++i)
        QVERIFY(std::memcmp(run.staged[i].data(), MakeRecord(i).data(), 24) == 0);
}

// The reply starts right after the settling time, and the program wakes 2 ms late from each
// rest: what was waiting before the settling time ran out (nothing) is thrown away, the reply
// that has begun since is read without repeating the request.
void TestSerialProtocol::replyBegunWhileTheProgramWokeLateIsKept() {
    InstrumentOptions o = WithRecords(3);
    o.turnaroundUs = 0;
    o.realTiming = true;
    const Run run = RunAgainst(o, ArchiveCapacity, 10000000, 0, -1, 2000);
    QCOMPARE(int(run.result.outcome), int(ReadoutOutcome::Done));
    QCOMPARE(run.log, (QStringList{"ident", "count", "record 65535", "record 1", "record 2"}));
    for (int i = 0; i < 3; ++i)
        QVERIFY(std::memcmp(run.staged[i].data(), MakeRecord(i).data(), 24) == 0);
}

void TestSerialProtocol::stopDuringRecordsKeepsWhatWasStaged() {
    InstrumentOptions o = WithRecords(5);
    o.silentAfter = 4; // identification, count, two records
    const Run run = RunAgainst(o, ArchiveCapacity, 2000000);
    QCOMPARE(int(run.result.outcome), int(ReadoutOutcome::Stopped));
    QCOMPARE(run.result.stored, 2);
    QCOMPARE(run.log.mid(0, 5),
             (QStringList{"ident", "count", "record 65535", "record 1", "record 2"}));
    QVERIFY(run.log.count("record 2") > 5); // asked again after every 150 ms of silence
}

void TestSerialProtocol::failedWriteIsReportedAndTheRequestRepeated() {
    const Run run = RunAgainst(WithRecords(2), ArchiveCapacity, 60000000, 1);
    QCOMPARE(run.writeFailures, 1);
    QCOMPARE(int(run.result.outcome), int(ReadoutOutcome::Done));
    QCOMPARE(run.result.stored, 2);
    QCOMPARE(run.log, (QStringList{"ident", "count", "record 65535", "record 1"}));
}

// A port that goes away ends the exchange at the first request it refuses, in any step, without
// a write-failure report and without asking again.
void TestSerialProtocol::lostPortEndsTheExchange_data() {
    QTest::addColumn<int>("framesBeforeLoss");
    QTest::addColumn<int>("stored");
    QTest::newRow("at the identification") << 0 << 0;
    QTest::newRow("at the count") << 1 << 0;
    QTest::newRow("among the records") << 4 << 2;
}

void TestSerialProtocol::lostPortEndsTheExchange() {
    QFETCH(int, framesBeforeLoss);
    QFETCH(int, stored);
    VirtualClock clock;
    InstrumentModel model(WithRecords(5));
    MemoryLine line(clock, model);
    line.loseAfterFrames = framesBeforeLoss;
    TestHost host(clock);
    host.stopAtUs = 60000000;
    SerialPayload staging[8];
    const ReadoutResult result = RunSerialReadout(line, host, staging, 8);
    QCOMPARE(int(result.outcome), int(ReadoutOutcome::PortLost));
    QCOMPARE(result.stored, stored);
    QCOMPARE(host.writeFailures, 0);
    QCOMPARE(int(line.frames.size()), framesBeforeLoss);
    QVERIFY(clock.now < 1000000); // ended at once, not when the operator stopped it
}

void TestSerialProtocol::capacityLimitsTheRequests() {
    const Run run = RunAgainst(WithRecords(8), 5);
    QCOMPARE(int(run.result.outcome), int(ReadoutOutcome::Done));
    QCOMPARE(run.result.announced, 8);
    QCOMPARE(run.announced, 8);
    QCOMPARE(run.toRead, 5);
    QCOMPARE(run.result.stored, 5);
    QCOMPARE(run.log.last(), QString("record 4")); // record 5 is never asked for
    QCOMPARE(run.storedReports.back(), 5);
}

void TestSerialProtocol::placementKeepsCoordinates() {
    ArchiveRecord slot;
    std::memset(&slot, 0xEE, sizeof slot);
    SerialPayload payload;
    for (int i = 0; i < 24; ++i)
        payload[i] = static_cast<uint8_t>(i + 1);
    PlacePlainRecord(slot, payload.data());
    const auto* bytes = reinterpret_cast<const uint8_t*>(&slot);
    for (int i = 0; i < 22; ++i)
        QCOMPARE(int(bytes[i]), i + 1);
    for (int i = 22; i < 30; ++i)
        QCOMPARE(int(bytes[i]), 0xEE);
    QCOMPARE(int(slot.TailWord), 23 | (24 << 8));
}

void TestSerialProtocol::identificationText() {
    const uint8_t id[6] = {'1', '5', '0', '3', '2', '0'};
    QCOMPARE(IdentificationText(id), std::string("15.03.2020"));
}

// The simulator plays the records of a measurement file: plain files hold the line's 24 bytes,
// coordinates files hold 32-byte records of which the line carries 0..21 and the TailWord.
void TestSerialProtocol::simulatorReadsBothFileLayouts() {
    QTemporaryDir dir;
    QByteArray plain, coordinates("GLONASS/GPS\0\0\0\0\0", 16);
    for (int r = 0; r < 2; ++r) {
        const auto p = MakeRecord(r);
        plain.append(reinterpret_cast<const char*>(p.data()), 24);
        ArchiveRecord wide;
        std::memset(&wide, 0x77, sizeof wide); // coordinates bytes 22..29
        PlacePlainRecord(wide, p.data());
        coordinates.append(reinterpret_cast<const char*>(&wide), sizeof wide);
    }
    for (const QByteArray& content : {plain, coordinates}) {
        QFile f(dir.filePath("a.vyz"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        std::vector<vyzsim::Payload> records;
        std::string error;
        QVERIFY(vyzsim::LoadMeasurementFile(f.fileName().toStdString(), records, error));
        QCOMPARE(records.size(), size_t(2));
        QVERIFY(records[0] == MakeRecord(0));
        QVERIFY(records[1] == MakeRecord(1));
    }
}

QTEST_GUILESS_MAIN(TestSerialProtocol)
#include "test_serial_protocol.moc"
