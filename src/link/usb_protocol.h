// The instrument's exchanges over USB, as plain steps over a small transport: each step sends a
// bare two-byte command (the code, then its complement), reads the length-prefixed replies in
// transfers of exactly the announced sizes and returns what came as a typed result. The steps
// never reach the window; the worker reports between them and the window shows the result.
#pragma once

#include "data/archive_record.h"
#include "data/instrument_bytes.h"

#include <cstdint>
#include <functional>

namespace vyz {

// What the exchanges need of the transport: libusb results, the count of bytes moved or a
// negative errno code.
class UsbLink {
public:
    virtual ~UsbLink() = default;
    virtual int Write(const uint8_t* bytes, int length) = 0;
    virtual int Read(uint8_t* buffer, int length) = 0;
};

inline constexpr int UsbReceiveSize = 512;  // the largest record the exchange accepts
inline constexpr int UsbMinRecordSize = 22; // up to and including the temperature

enum class UsbOutcome {
    Ok,
    TransferFailed,    // a transfer returned an error, or a record or image row came short
    BadStateLength,    // the archive-state reply announced a length other than 2
    BadIdentityLength, // a negative identity length
    BadArchiveSize,    // a record count or size no instrument can send
    BadScreenSize,     // a display-image size that is neither colour nor monochrome
};

struct UsbStep {
    UsbOutcome outcome = UsbOutcome::Ok;
    int lastResult = 0; // the result of the last transfer (the failure text shows it)
    bool ok() const { return outcome == UsbOutcome::Ok; }
};

struct UsbIdentity : UsbStep {
    int32_t announced = 0; // the length the instrument announced
};
struct UsbArchiveState : UsbStep {
    uint16_t value = 0; // zero when the archive is empty
};
struct UsbRecordsHeader : UsbStep {
    int32_t count = 0; // N
    int32_t size = 0;  // S, bytes per record
    bool coordinates() const { return size >= 32; }
};
struct UsbScreen : UsbStep {
    int32_t size = 0; // the first word of the reply
};

// Sends one command.
UsbStep SendUsbCommand(UsbLink& link, uint8_t code);

// Reads the reply to the identity command into `text` (room for 64 bytes): at most 63
// characters, zero bytes inside shown as blanks, then a terminating zero.
UsbIdentity ReadUsbIdentity(UsbLink& link, char* text);

// Sends the archive-state command and reads its reply.
UsbArchiveState ReadUsbArchiveState(UsbLink& link);

// Sends the records command and reads N and S; a count above `capacity`, a negative count or a
// size outside UsbMinRecordSize..UsbReceiveSize is refused before any record is read.
UsbRecordsHeader ReadUsbRecordsHeader(UsbLink& link, int capacity);

// Reads header.count records into `records`, each placed by the header's layout.
// `progress(i)` runs before record i is read. A record that comes short fails the exchange.
UsbStep ReadUsbRecords(UsbLink& link, const UsbRecordsHeader& header, ArchiveRecord* records,
                       const std::function<void(int)>& progress);

// Places one received record (`received` holds 32 bytes, zero beyond what the instrument sent):
// bytes 0..21 unchanged, then in the coordinates layout the bytes 22..31, in the plain layout
// only the word at received offset 22 as the tail word, with no coordinates.
void PlaceUsbRecord(ArchiveRecord& slot, const uint8_t* received, bool coordinates);

// Sends the display-image command and reads the image into `buffer` (room for a colour image):
// 240 rows of ColourImageRowBytes bytes, or the monochrome image in one transfer. Without a buffer
// every size counts as unknown.
UsbScreen ReadUsbScreen(UsbLink& link, uint8_t* buffer);

} // namespace vyz
