#include "link/serial_readout.h"

#include "link/frame_checksum.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace vyz {

bool ReadBusy = false;

int64_t RealTimeHost::NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void RealTimeHost::Idle(int64_t maxUs) {
    Pump();
    // Short rests keep the reply latency well under a byte time on the line without spinning.
    constexpr int64_t kRestUs = 200;
    if (maxUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(std::min(maxUs, kRestUs)));
}

std::array<uint8_t, RecordRequestSize> RecordRequest(uint16_t index) {
    const auto command = CommandFrame(CmdRecords);
    std::array<uint8_t, RecordRequestSize> r{command[0], command[1]};
    PutLe16(r.data() + 2, index);
    PutLe16(r.data() + 4, FrameChecksum(r.data(), 4));
    return r;
}

std::string IdentificationText(const uint8_t* id) {
    const auto c = [id](int i) { return static_cast<char>(id[i]); };
    return std::string{c(0), c(1), '.', c(2), c(3), '.', '2', '0', c(4), c(5)};
}

namespace {

// Reply waits: a little over 150 ms for the identification (8 bytes) and the count (4 bytes);
// a record reply is given up after 150 ms without a new byte.
constexpr int64_t kIdentityWaitUs = 150694;
constexpr int64_t kCountWaitUs = 150260;
constexpr int64_t kCountReadUs = 1000000; // the port's read time-out, after the first look
constexpr int64_t kRecordSilenceUs = 150000;
constexpr int64_t kSettleUs = 5000; // after the request has left, before the reply
constexpr int64_t kDrainPauseUs = 6000;
constexpr int64_t kTransmitBoundUs = 1000000;

class Exchange {
public:
    Exchange(SerialLine& line, ReadoutHost& host) : line_(line), host_(host) {}

    // Waits `us` keeping the window responsive; false when the operator stopped the read-out.
    bool WaitUs(int64_t us) {
        const int64_t start = host_.NowUs();
        for (;;) {
            if (host_.StopRequested()) return false;
            const int64_t left = us - (host_.NowUs() - start);
            if (left <= 0) return true;
            host_.Idle(left);
        }
    }

    // Discards whatever is waiting, until the line is quiet.
    bool DrainInput() {
        while (line_.InQueCount() > 0) {
            line_.PurgeIn();
            if (!WaitUs(kDrainPauseUs)) return false;
        }
        return !host_.StopRequested();
    }

    bool SendCommand(const uint8_t* bytes, int length) {
        if (!DrainInput()) return false;
        if (line_.Write(bytes, length) != length) {
            // A port that has gone ends the exchange; asking again could only fail again.
            if (line_.Lost()) return lost_ = true, false;
            host_.WriteFailed();
        }
        // The request leaves at line speed (a fraction of a millisecond); bounded all the same.
        const int64_t start = host_.NowUs();
        while (line_.OutQueCount() > 0 && host_.NowUs() - start < kTransmitBoundUs) {
        }
        // Nothing the instrument sends within the settling time belongs to the reply, and is
        // thrown away. What is thrown away is what was seen waiting before that time ran out:
        // when the program is scheduled late, a reply that has begun since is kept.
        const int64_t settleStart = host_.NowUs();
        int early = 0;
        for (;;) {
            if (host_.StopRequested()) return false;
            const int64_t left = kSettleUs - (host_.NowUs() - settleStart);
            if (left <= 0) break;
            early = line_.InQueCount();
            host_.Idle(left);
        }
        DiscardInput(early);
        return true;
    }

    // Discards the first `count` waiting bytes (all of them by a purge when nothing came since).
    void DiscardInput(int count) {
        if (count <= 0) return;
        if (line_.InQueCount() <= count) {
            line_.PurgeIn();
            return;
        }
        uint8_t scrap[64];
        while (count > 0) {
            const int n = line_.Read(scrap, std::min(count, int(sizeof scrap)));
            if (n <= 0) break;
            count -= n;
        }
    }

    // Waits until `count` bytes are waiting or `us` has passed; false when stopped.
    bool WaitForBytes(int count, int64_t us) {
        const int64_t start = host_.NowUs();
        while (line_.InQueCount() < count && host_.NowUs() - start < us) {
            if (host_.StopRequested()) return false;
            host_.Idle(us);
        }
        return !host_.StopRequested();
    }

    // A reply of `size` bytes whose checksum (continued from `sum` over the first size - 2
    // bytes) matches its last two bytes.
    bool TakeReply(uint8_t* reply, int size, uint16_t sum) {
        if (line_.InQueCount() < size) return false;
        if (line_.Read(reply, size) != size) return false;
        return FrameChecksum(reply, static_cast<size_t>(size - 2), sum) == Le16(reply + size - 2);
    }

    // How an exchange that did not finish ends: the port lost, or stopped by the operator.
    ReadoutResult& Ended(ReadoutResult& result) const {
        result.outcome = lost_ ? ReadoutOutcome::PortLost : ReadoutOutcome::Stopped;
        return result;
    }

    SerialLine& line_;
    ReadoutHost& host_;
    bool lost_ = false;
};

} // namespace

ReadoutResult RunSerialReadout(SerialLine& line, ReadoutHost& host, SerialPayload* staging,
                               int capacity) {
    Exchange x(line, host);
    ReadoutResult result;
    const auto identity = CommandFrame(CmdIdentity);
    const auto archiveState = CommandFrame(CmdArchiveState);
    uint8_t reply[RecordReplySize];

    // Identification: six bytes, checksummed together with the request.
    for (;;) {
        if (!x.SendCommand(identity.data(), 2)) return x.Ended(result);
        if (!x.WaitForBytes(IdentityReplySize, kIdentityWaitUs)) return x.Ended(result);
        if (x.TakeReply(reply, IdentityReplySize, FrameChecksum(identity.data(), 2))) break;
    }
    host.Identified(reply);

    // Record count: after the first look the reply gets the port's read time-out to arrive,
    // whether or not it has begun, so a slow instrument is not sent overlapping requests.
    for (;;) {
        if (!x.SendCommand(archiveState.data(), 2)) return x.Ended(result);
        if (!x.WaitForBytes(CountReplySize, kCountWaitUs)) return x.Ended(result);
        if (!x.WaitForBytes(CountReplySize, kCountReadUs)) return x.Ended(result);
        if (x.TakeReply(reply, CountReplySize, FrameChecksum(archiveState.data(), 2))) break;
    }
    result.announced = Le16(reply);
    if (result.announced == 0) {
        result.outcome = ReadoutOutcome::NoRecords;
        return result;
    }
    const int toRead = std::min(result.announced, capacity);
    host.CountKnown(result.announced, toRead);

    // Records, one request each; the instrument names the next index in every reply.
    uint16_t next = NoMoreRecords;
    while (result.stored < toRead) {
        host.RecordProgress(result.stored);
        const auto request = RecordRequest(next);
        if (!x.SendCommand(request.data(), RecordRequestSize)) return x.Ended(result);
        int64_t start = host.NowUs();
        int lastSeen = 0;
        bool silent = false;
        for (;;) {
            const int waiting = line.InQueCount();
            if (waiting >= RecordReplySize) break;
            if (host.StopRequested()) return x.Ended(result);
            host.Idle(kRecordSilenceUs);
            if (waiting == lastSeen && host.NowUs() - start > kRecordSilenceUs) {
                silent = true; // 150 ms without a new byte: ask again
                break;
            }
            if (waiting != lastSeen) {
                lastSeen = waiting;
                start = host.NowUs();
            }
        }
        if (silent || !x.TakeReply(reply, RecordReplySize, FrameChecksumStart)) continue;
        std::memcpy(staging[result.stored].data(), reply, SerialPayloadSize);
        ++result.stored;
        next = Le16(reply + 24);
        host.RecordStored(result.stored);
        if (next == NoMoreRecords) break;
    }
    result.outcome = ReadoutOutcome::Done;
    return result;
}

} // namespace vyz
