// The instrument's byte layouts, in one place for the program, the simulators and the tests: the
// little-endian words, the command codes, where a record's bytes go in the instrument's plain and
// coordinates layouts and in a measurement file, the cp1251 texts and the display-image sizes.
// Standard C++ only.
#pragma once

#include "data/archive_record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vyz {

// Little-endian words, as the instrument sends them and the files hold them.
constexpr uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
constexpr int32_t LeInt32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                uint32_t(p[3]) << 24);
}
constexpr void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}
constexpr void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The command codes, the same on the serial line and on USB. A command goes out as its code and
// the code's complement.
inline constexpr uint8_t CmdIdentity = 0x01;
inline constexpr uint8_t CmdArchiveState = 0x02;
inline constexpr uint8_t CmdRecords = 0x03;
inline constexpr uint8_t CmdScreen = 0x04;
constexpr std::array<uint8_t, 2> CommandFrame(uint8_t code) {
    return {code, static_cast<uint8_t>(~code)};
}
// Whether `p[0]` and `p[1]` are a code and its complement.
constexpr bool IsCommandFrame(const uint8_t* p) {
    return p[1] == static_cast<uint8_t>(~p[0]);
}

// Bytes 0..21 (RecordNo to Temperature) stand first and alike in every layout.
inline constexpr std::size_t RecordLeadSize = 22;
// The instrument's plain record: the leading bytes, then the tail word. Its coordinates record
// is the whole ArchiveRecord, byte for byte.
inline constexpr std::size_t PlainRecordSize = 24;
inline constexpr std::size_t CoordinatesRecordSize = sizeof(ArchiveRecord);
using PlainRecord = std::array<uint8_t, PlainRecordSize>;

// Places a plain record: bytes 0..21 unchanged, bytes 22..23 as the TailWord; the coordinates
// (slot bytes 22..29) keep what they held.
void PlacePlainRecord(ArchiveRecord& slot, const uint8_t* plain);
// Places a coordinates record: all 32 bytes as they stand.
void PlaceCoordinatesRecord(ArchiveRecord& slot, const uint8_t* bytes);
// The plain record the instrument sends for `record`: bytes 0..21 and the TailWord.
PlainRecord PlainRecordOf(const ArchiveRecord& record);

// Measurement files. A coordinates file begins with this 16-byte marker, "GLONASS/GPS" and five
// zero bytes, and holds whole 32-byte records; a plain file holds bytes 0..23 of each record as
// held in memory (so bytes 22..23 are the lower half of Latitude, not the tail word).
inline constexpr std::size_t MarkerSize = 16;
inline constexpr uint8_t CoordinatesMarker[MarkerSize] = {'G', 'L', 'O', 'N', 'A', 'S', 'S', '/',
                                                          'G', 'P', 'S', 0,   0,   0,   0,   0};

struct FileLayout {
    bool coordinates;       // the file begins with the marker
    std::size_t dataOffset; // where the first record starts
    std::size_t recordSize; // 32 with the marker, 24 without
};

// The layout a file's first bytes announce: coordinates when bytes 0..10 are "GLONASS/GPS" and
// byte 11 is zero (the marker read as a zero-terminated string; bytes 12..15 are not examined);
// anything else, a file shorter than 12 bytes included, is a plain file read from offset 0.
FileLayout DetectLayout(std::span<const uint8_t> bytes);

// The instrument's texts (its identity) in the Windows Cyrillic code page, as UTF-8. The one
// byte the code page leaves undefined (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view text);

// The display image: 320 x 240 pixels, sent as 16-bit colour words (little-endian, a row of 640
// bytes at a time over USB) or as 1-bit monochrome rows of 40 bytes.
inline constexpr int DisplayWidth = 320;
inline constexpr int DisplayHeight = 240;
inline constexpr int ColourImageRowBytes = DisplayWidth * 2;                 // 640
inline constexpr int ColourImageBytes = ColourImageRowBytes * DisplayHeight; // 153600
inline constexpr int MonoImageBytes = DisplayWidth * DisplayHeight / 8;      // 9600

} // namespace vyz
