// The serial read-out driven by arbitrary instrument replies, on a clock that jumps over every
// wait. Each request takes one control byte from the input: a failed or lost write, a reply of raw
// bytes from the input, or a reply of the expected size whose checksum the harness completes (so
// the read-out gets past the checksums into the records); a reply may also come within the
// settling time, which the read-out throws away. When the input is used up the operator stops.
// The result must keep its promises: the count within the capacity, no record placed beyond what
// was stored, every stored record one the instrument sent, each request naming the index the last
// stored record gave, and the read-out ending.
#include "data/instrument_bytes.h"
#include "link/frame_checksum.h"
#include "link/serial_readout.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace {

using namespace vyz;

void check(bool condition) {
    if (!condition) std::abort();
}

// After the operator's stop the read-out has this many more calls on its surroundings to end.
constexpr long kCallsAfterStop = 10000;
// No input plays more rests than this: a read-out still waiting then has hung.
constexpr long kMaxRests = 2000000;

class FuzzLine final : public SerialLine {
public:
    FuzzLine(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Enabled() override { return true; }
    int Write(const uint8_t* bytes, int count) override {
        check(count == 2 || count == RecordRequestSize);
        const bool record = count == RecordRequestSize;
        if (record) {
            // Every record request names the index the last stored record gave.
            const auto expected = RecordRequest(nextIndex);
            check(std::equal(bytes, bytes + count, expected.begin()));
        } else {
            check(IsCommandFrame(bytes) &&
                  (bytes[0] == CmdIdentity || bytes[0] == CmdArchiveState));
        }
        const uint8_t control = next();
        if (control == 0xFF) return lost = true, 0;
        if (control == 0xFE) return ++shortWrites, count - 1;
        std::vector<uint8_t> reply;
        if (control & 0x80) {
            // A reply of the size this request expects, its checksum made right.
            const size_t size = bytes[0] == CmdIdentity       ? IdentityReplySize
                                : bytes[0] == CmdArchiveState ? CountReplySize
                                                              : RecordReplySize;
            reply.resize(size);
            for (size_t i = 0; i + 2 < size; ++i)
                reply[i] = next();
            const uint16_t start = record ? FrameChecksumStart : FrameChecksum(bytes, 2);
            PutLe16(&reply[size - 2], FrameChecksum(reply.data(), size - 2, start));
        } else {
            reply.resize(control & 0x3F);
            for (uint8_t& b : reply)
                b = next();
        }
        const bool early = control & 0x40;
        pending_ = reply;
        if (record) lastRecordReply = early ? std::vector<uint8_t>{} : reply;
        if (early) Deliver();
        return count;
    }
    int Read(uint8_t* bytes, int count) override {
        const int n = std::min(count, int(waiting_.size()));
        for (int i = 0; i < n; ++i) {
            bytes[i] = waiting_.front();
            waiting_.pop_front();
        }
        return n;
    }
    int InQueCount() override { return int(waiting_.size()); }
    int OutQueCount() override { return 0; }
    void PurgeIn() override { waiting_.clear(); }
    bool Lost() override { return lost; }

    // A reply that does not come early arrives once the settling time has passed.
    void Deliver() {
        waiting_.insert(waiting_.end(), pending_.begin(), pending_.end());
        pending_.clear();
    }
    bool Exhausted() const { return pos_ >= size_; }

    bool lost = false;
    int shortWrites = 0;
    // The reply to the last record request, unless it came early; and the index the next record
    // request must name.
    std::vector<uint8_t> lastRecordReply;
    uint16_t nextIndex = NoMoreRecords;

private:
    uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 1; // byte 0 chose the capacity
    std::vector<uint8_t> pending_;
    std::deque<uint8_t> waiting_;
};

class FuzzHost final : public ReadoutHost {
public:
    FuzzHost(FuzzLine& line, const SerialPayload* staging) : line_(line), staging_(staging) {}
    int64_t NowUs() override { return Call(), now_; }
    void Idle(int64_t maxUs) override {
        Call();
        check(++rests_ < kMaxRests);
        now_ += std::max<int64_t>(maxUs, 1);
        line_.Deliver();
    }
    bool StopRequested() override {
        Call();
        if (line_.Exhausted()) stopped = true;
        return stopped;
    }
    void Identified(const uint8_t*) override {
        check(!identified && announced < 0);
        identified = true;
    }
    void CountKnown(int a, int t) override {
        check(identified && announced < 0);
        announced = a;
        toRead = t;
    }
    void RecordProgress(int stored) override { check(announced > 0 && stored == reportedStored); }
    // The record just stored is the leading bytes of the reply to the last record request.
    void RecordStored(int stored) override {
        check(stored == ++reportedStored);
        const std::vector<uint8_t>& reply = line_.lastRecordReply;
        check(reply.size() >= size_t(RecordReplySize));
        check(std::equal(reply.begin(), reply.begin() + SerialPayloadSize,
                         staging_[stored - 1].begin()));
        line_.nextIndex = Le16(reply.data() + SerialPayloadSize);
    }
    void WriteFailed() override { ++writeFailures; }

    bool stopped = false;
    bool identified = false;
    int announced = -1, toRead = -1, reportedStored = 0, writeFailures = 0;

private:
    void Call() {
        if (stopped) check(++callsAfterStop_ < kCallsAfterStop);
    }
    FuzzLine& line_;
    const SerialPayload* staging_;
    int64_t now_ = 0;
    long rests_ = 0;
    long callsAfterStop_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // Mostly a small staging area, so the capacity limit is met often; 0xFF: a whole archive.
    const int capacity = data[0] == 0xFF ? ArchiveCapacity : 1 + data[0] % 16;
    constexpr uint8_t kUntouched = 0xA5;
    std::vector<SerialPayload> staging(static_cast<size_t>(capacity));
    for (SerialPayload& p : staging)
        p.fill(kUntouched);

    FuzzLine line(data, size);
    FuzzHost host(line, staging.data());
    const ReadoutResult result = RunSerialReadout(line, host, staging.data(), capacity);

    check(result.stored >= 0 && result.stored <= capacity);
    check(result.stored == host.reportedStored);
    switch (result.outcome) {
    case ReadoutOutcome::NoRecords:
        check(result.announced == 0 && result.stored == 0 && host.announced < 0);
        break;
    case ReadoutOutcome::PortLost:
        break;
    case ReadoutOutcome::Stopped:
        check(host.stopped);
        break;
    case ReadoutOutcome::Done:
        // Every record asked for, or the instrument named no next one.
        check(result.stored > 0);
        check(result.stored == host.toRead || line.nextIndex == NoMoreRecords);
        break;
    }
    if (host.announced >= 0) {
        check(host.announced == result.announced && host.announced > 0);
        check(host.toRead == std::min(host.announced, capacity));
        check(result.stored <= host.toRead);
    }
    check(line.lost == (result.outcome == ReadoutOutcome::PortLost));
    check(host.writeFailures <= line.shortWrites);

    // Nothing placed beyond what was stored.
    for (int i = result.stored; i < capacity; ++i)
        for (uint8_t b : staging[size_t(i)])
            check(b == kUntouched);

    return 0;
}
