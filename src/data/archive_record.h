// The instrument's measurement record and the in-memory archive that every reader and writer
// (serial read-out, USB worker, measurement files) shares.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vyz {

#pragma pack(push, 1)
// 32 bytes, little-endian, floats in IEEE 754 single precision: the layout the instrument sends
// and a coordinates file stores, byte for byte.
struct ArchiveRecord {
    uint16_t RecordNo;      // record number assigned by the instrument
    uint8_t Second;         // 0..59, or DeletedMark
    uint8_t Minute;         // 0..59
    uint8_t Hour;           // 0..23
    uint8_t Day;            // 1..31
    uint8_t Month;          // 1..12 (0 and above 12 are repaired when shown)
    uint8_t Year;           // years after 2000
    uint8_t MaterialIndex;  // index into MaterialNames
    uint8_t LayerThickness; // mm
    float Density;          // kg/m^3
    float RefDensity;       // kg/m^3, divisor of the porosity
    float Temperature;      // degrees C
    int32_t Latitude;       // sign = hemisphere; |v|>>16 = ddmm, |v|&0xFFFF = 1/65536 minute
    int32_t Longitude;      // as Latitude, dddmm
    uint16_t TailWord;      // sent with every record, stored, never shown
};
#pragma pack(pop)

static_assert(sizeof(ArchiveRecord) == 32);
static_assert(offsetof(ArchiveRecord, RecordNo) == 0);
static_assert(offsetof(ArchiveRecord, Second) == 2);
static_assert(offsetof(ArchiveRecord, Minute) == 3);
static_assert(offsetof(ArchiveRecord, Hour) == 4);
static_assert(offsetof(ArchiveRecord, Day) == 5);
static_assert(offsetof(ArchiveRecord, Month) == 6);
static_assert(offsetof(ArchiveRecord, Year) == 7);
static_assert(offsetof(ArchiveRecord, MaterialIndex) == 8);
static_assert(offsetof(ArchiveRecord, LayerThickness) == 9);
static_assert(offsetof(ArchiveRecord, Density) == 10);
static_assert(offsetof(ArchiveRecord, RefDensity) == 14);
static_assert(offsetof(ArchiveRecord, Temperature) == 18);
static_assert(offsetof(ArchiveRecord, Latitude) == 22);
static_assert(offsetof(ArchiveRecord, Longitude) == 26);
static_assert(offsetof(ArchiveRecord, TailWord) == 30);

inline constexpr int ArchiveCapacity = 2677;
inline constexpr uint8_t DeletedMark = 0xAA;

// The process-wide archive. Statically allocated. Every reader of the instrument or of a file
// prepares its records on its own side and the main window replaces the archive with them in one
// commit on the user-interface thread, the only thread that reads or writes it; so no lock guards
// the records themselves.
extern ArchiveRecord MeasurementArchive[ArchiveCapacity];
extern std::atomic<int32_t> RecordCount;
// Set: coordinates layout (9 columns, 32-byte file records). Changed only by SetGPSMode.
extern std::atomic<bool> GPSModeFlag;

} // namespace vyz
