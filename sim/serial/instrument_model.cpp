#include "instrument_model.h"

#include "data/instrument_bytes.h"
#include "link/frame_checksum.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace vyzsim {

using vyz::FrameChecksum;
using vyz::Le16;

namespace {

void AppendLe16(std::vector<uint8_t>& frame, uint16_t value) {
    frame.resize(frame.size() + 2);
    vyz::PutLe16(frame.data() + frame.size() - 2, value);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02X", v);
        s += b;
    }
    return s;
}

} // namespace

InstrumentModel::InstrumentModel(InstrumentOptions options) : o_(std::move(options)) {
    if (o_.announce < 0) o_.announce = static_cast<int>(o_.records.size());
}

std::vector<std::string> InstrumentModel::TakeLog() {
    std::vector<std::string> out;
    out.swap(log_);
    return out;
}

bool InstrumentModel::Receive(const uint8_t* data, size_t count, std::vector<Chunk>& plan) {
    pending_.insert(pending_.end(), data, data + count);
    bool completed = false;
    // Frames start with a code byte and its complement; anything else is skipped.
    while (pending_.size() >= 2) {
        const uint8_t code = pending_[0];
        if (code < vyz::CmdIdentity || code > vyz::CmdRecords ||
            !vyz::IsCommandFrame(&pending_[0])) {
            log_.push_back("bad " + Hex({pending_[0]}));
            pending_.erase(pending_.begin());
            continue;
        }
        const size_t size = code == vyz::CmdRecords ? 6 : 2;
        if (pending_.size() < size) break;
        std::vector<uint8_t> request(pending_.begin(), pending_.begin() + size);
        pending_.erase(pending_.begin(), pending_.begin() + size);
        if (code == vyz::CmdRecords && FrameChecksum(request.data(), 4) != Le16(&request[4])) {
            log_.push_back("bad " + Hex(request));
            continue;
        }
        std::vector<uint8_t> reply = Answer(request);
        plan = reply.empty() ? std::vector<Chunk>{} : Plan(std::move(reply), size);
        if (code == vyz::CmdArchiveState)
            for (Chunk& c : plan)
                c.atUs += o_.countDelayUs;
        completed = true;
    }
    return completed;
}

std::vector<uint8_t> InstrumentModel::Answer(const std::vector<uint8_t>& request) {
    std::vector<uint8_t> reply;
    std::string kind;
    switch (request[0]) {
    case vyz::CmdIdentity:
        log_.push_back(kind = "ident");
        reply.assign(o_.id.begin(), o_.id.end());
        AppendLe16(reply, FrameChecksum(reply.data(), 6, FrameChecksum(request.data(), 2)));
        break;
    case vyz::CmdArchiveState: {
        log_.push_back(kind = "count");
        AppendLe16(reply, static_cast<uint16_t>(o_.announce));
        AppendLe16(reply, FrameChecksum(reply.data(), 2, FrameChecksum(request.data(), 2)));
        break;
    }
    default: {
        const int index = Le16(&request[2]);
        log_.push_back("record " + std::to_string(index));
        const int record = index == 0xFFFF ? 0 : index;
        if (record >= static_cast<int>(o_.records.size())) return {}; // no such record
        kind = "record:" + std::to_string(record);
        int next = record + 1 < static_cast<int>(o_.records.size()) ? record + 1 : 0xFFFF;
        // The listed next indexes go to the records in the order they are first asked for.
        auto given = nextGiven_.find(record);
        if (given == nextGiven_.end() && nextUsed_ < o_.nextIndexes.size())
            given = nextGiven_.emplace(record, o_.nextIndexes[nextUsed_++]).first;
        if (given != nextGiven_.end()) next = given->second;
        if (record == o_.endAfter) next = 0xFFFF;
        reply.assign(o_.records[record].begin(), o_.records[record].end());
        AppendLe16(reply, static_cast<uint16_t>(next));
        AppendLe16(reply, FrameChecksum(reply.data(), 26));
        break;
    }
    }
    if (o_.silent || (o_.silentAfter >= 0 && answered_ >= o_.silentAfter)) return {};
    ++answered_;
    if (!corrupted_ && !o_.corrupt.empty() && o_.corrupt == kind) {
        corrupted_ = true;
        reply[reply.size() / 2] ^= 0x10;
    }
    return reply;
}

std::vector<Chunk> InstrumentModel::Plan(std::vector<uint8_t> reply, size_t requestSize) {
    std::vector<Chunk> plan;
    // Slow pieces are a fault of record replies: the program waits for those while bytes keep
    // coming, but gives the identification and count replies a fixed time.
    const int64_t pause = requestSize == 6 ? o_.piecePauseUs : 0;
    // The instrument keeps quiet for 5 ms after the request has arrived: the program discards
    // whatever comes earlier.
    int64_t at = QuietWindowUs + o_.turnaroundUs;
    if (o_.realTiming) at += ByteTimeUs(static_cast<int>(requestSize));
    const size_t piece = o_.realTiming ? 1
                         : pause > 0   ? static_cast<size_t>(o_.pieceSize)
                                       : reply.size();
    for (size_t i = 0; i < reply.size(); i += piece) {
        Chunk c;
        c.bytes.assign(reply.begin() + static_cast<long>(i),
                       reply.begin() + static_cast<long>(std::min(reply.size(), i + piece)));
        if (o_.realTiming) at += ByteTimeUs(static_cast<int>(c.bytes.size()));
        c.atUs = at;
        plan.push_back(std::move(c));
        at += pause;
    }
    return plan;
}

bool LoadMeasurementFile(const std::string& path, std::vector<Payload>& records,
                         std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    const vyz::FileLayout layout = vyz::DetectLayout(data);
    records.clear();
    for (size_t at = layout.dataOffset; at + layout.recordSize <= data.size();
         at += layout.recordSize) {
        Payload p{};
        if (layout.coordinates) {
            // The line carries the record's plain form: bytes 0..21 and the TailWord.
            vyz::ArchiveRecord r;
            vyz::PlaceCoordinatesRecord(r, data.data() + at);
            p = vyz::PlainRecordOf(r);
        } else {
            std::copy_n(data.data() + at, p.size(), p.begin()); // kept as the line's bytes
        }
        records.push_back(p);
    }
    return true;
}

} // namespace vyzsim
