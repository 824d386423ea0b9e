// The VYZ-1 as the serial line sees it: it takes request frames and answers with reply frames,
// from a set of 24-byte records, with faults on request. The timing of each reply is a plan of
// chunks relative to the end of its request, which the pseudo-terminal program and the tests'
// in-memory line deliver on their own clocks.
#pragma once

#include "data/instrument_bytes.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vyzsim {

using Payload = vyz::PlainRecord;

struct InstrumentOptions {
    std::vector<Payload> records;
    std::array<uint8_t, 6> id{'1', '5', '0', '3', '2', '0'};
    int announce = -1;           // the record count announced; -1: the number of records
    bool realTiming = false;     // 115200 bit/s 8N2: 11 bits a byte on the line
    int64_t turnaroundUs = 1000; // idle time after the 5 ms quiet window, before a reply
    int64_t countDelayUs = 0;    // added to the count reply's turnaround (busy counting)
    bool silent = false;         // answers nothing
    int silentAfter = -1;        // answers this many requests, then nothing
    std::string corrupt;         // "ident", "count" or "record:N": one flipped byte, once
    int64_t piecePauseUs = 0;    // replies in pieces with this pause between them
    int pieceSize = 4;
    int endAfter = -1;                 // the record with this index names no next record
    std::vector<uint16_t> nextIndexes; // next indexes of the first replies, in order
};

struct Chunk {
    int64_t atUs; // after the last request byte was received
    std::vector<uint8_t> bytes;
};

class InstrumentModel {
public:
    explicit InstrumentModel(InstrumentOptions options);
    // Takes bytes from the line. Returns true when they complete a request; `plan` is then its
    // reply (empty when the instrument keeps silent), which replaces any reply under way.
    bool Receive(const uint8_t* data, size_t count, std::vector<Chunk>& plan);
    // One line per request seen: "ident", "count", "record <index>", "bad <hex>".
    std::vector<std::string> TakeLog();

    static constexpr int64_t QuietWindowUs = 5000;
    static constexpr int64_t ByteTimeUs(int bytes) { return bytes * 11 * 1000000LL / 115200; }

private:
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& request);
    std::vector<Chunk> Plan(std::vector<uint8_t> reply, size_t requestSize);

    InstrumentOptions o_;
    std::vector<uint8_t> pending_;
    std::vector<std::string> log_;
    int answered_ = 0;
    std::map<int, uint16_t> nextGiven_;
    size_t nextUsed_ = 0;
    bool corrupted_ = false;
};

// Reads a measurement file: plain (24-byte records from offset 0) or coordinates (the 16-byte
// "GLONASS/GPS" marker, then 32-byte records whose bytes 0..21 and 30..31 the line carries).
bool LoadMeasurementFile(const std::string& path, std::vector<Payload>& records,
                         std::string& error);

} // namespace vyzsim
