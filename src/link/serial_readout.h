// The read-out of the instrument's archive over the serial line: identification, record count,
// then the records one request at a time, each exchange repeated until a reply with a valid
// frame checksum arrives. Written against two small interfaces, the line (SerialLine) and the
// surroundings (ReadoutHost: clock, pumping the window, stop request, reports), so it runs the
// same against the port, a simulator on a pseudo-terminal or an in-memory pipe.
#pragma once

#include "data/archive_record.h"
#include "data/instrument_bytes.h"

#include <array>
#include <cstdint>
#include <string>

namespace vyz {

class TThreadComm;

inline constexpr int IdentityReplySize = 8;
inline constexpr int CountReplySize = 4;
inline constexpr int RecordRequestSize = 6;
inline constexpr int RecordReplySize = 28;
inline constexpr int SerialPayloadSize = int(PlainRecordSize);
inline constexpr uint16_t NoMoreRecords = 0xFFFF;

using SerialPayload = std::array<uint8_t, SerialPayloadSize>;

// True while a serial read-out runs (set and cleared by the read command).
extern bool ReadBusy;

// What the read-out needs of the port.
class SerialLine {
public:
    virtual ~SerialLine() = default;
    virtual bool Enabled() = 0;
    virtual int Write(const uint8_t* data, int count) = 0;
    virtual int Read(uint8_t* data, int count) = 0;
    virtual int InQueCount() = 0;
    virtual int OutQueCount() = 0;
    virtual void PurgeIn() = 0;
    // True when the port has gone for good (a write found the device hung up).
    virtual bool Lost() { return false; }
};

// The component as a SerialLine.
class CommLine final : public SerialLine {
public:
    explicit CommLine(TThreadComm& comm) : comm_(comm) {}
    bool Enabled() override;
    int Write(const uint8_t* data, int count) override;
    int Read(uint8_t* data, int count) override;
    int InQueCount() override;
    int OutQueCount() override;
    void PurgeIn() override;
    bool Lost() override;

private:
    TThreadComm& comm_;
};

// What the read-out needs of its surroundings.
class ReadoutHost {
public:
    virtual ~ReadoutHost() = default;
    // A monotonic clock in microseconds.
    virtual int64_t NowUs() = 0;
    // Keeps the window responsive (processes pending events) and then rests at most maxUs.
    virtual void Idle(int64_t maxUs) = 0;
    virtual bool StopRequested() = 0;
    // Reports, in the order of the exchange.
    virtual void Identified(const uint8_t* id) = 0;         // the six identification bytes
    virtual void CountKnown(int announced, int toRead) = 0; // before the first record
    virtual void RecordProgress(int stored) = 0;            // before each record request
    virtual void RecordStored(int stored) = 0;              // after each record
    virtual void WriteFailed() = 0; // a request was not written whole (the port still there)
};

// A host on the real clock; Pump is what a window adds.
class RealTimeHost : public ReadoutHost {
public:
    int64_t NowUs() override;
    void Idle(int64_t maxUs) override;
    virtual void Pump() {}
};

// PortLost: the port went away during the exchange (nothing is reported through WriteFailed).
enum class ReadoutOutcome { Done, NoRecords, Stopped, PortLost };

struct ReadoutResult {
    ReadoutOutcome outcome = ReadoutOutcome::Stopped;
    int announced = 0; // the instrument's record count
    int stored = 0;    // payloads placed in the staging area
};

// Runs the exchange. Records (the instrument's plain records, placed by PlacePlainRecord) go to
// `staging` (room for `capacity` payloads) in the order they arrive; the caller commits them to
// the archive. Never more than `capacity` are requested.
ReadoutResult RunSerialReadout(SerialLine& line, ReadoutHost& host, SerialPayload* staging,
                               int capacity);

// The 6-byte record request for `index` (0xFFFF: the first record).
std::array<uint8_t, RecordRequestSize> RecordRequest(uint16_t index);

// The identification shown to the operator: "DD.MM.20YY" from the six bytes, as characters.
std::string IdentificationText(const uint8_t* id);

} // namespace vyz
