#include "data/instrument_bytes.h"

#include <cstring>

namespace vyz {

void PlacePlainRecord(ArchiveRecord& slot, const uint8_t* plain) {
    auto* bytes = reinterpret_cast<uint8_t*>(&slot);
    std::memcpy(bytes, plain, RecordLeadSize);
    std::memcpy(bytes + offsetof(ArchiveRecord, TailWord), plain + RecordLeadSize, 2);
}

void PlaceCoordinatesRecord(ArchiveRecord& slot, const uint8_t* bytes) {
    std::memcpy(&slot, bytes, sizeof slot);
}

PlainRecord PlainRecordOf(const ArchiveRecord& record) {
    PlainRecord plain;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    std::memcpy(plain.data(), bytes, RecordLeadSize);
    std::memcpy(plain.data() + RecordLeadSize, bytes + offsetof(ArchiveRecord, TailWord), 2);
    return plain;
}

FileLayout DetectLayout(std::span<const uint8_t> bytes) {
    constexpr std::size_t compared = 12; // "GLONASS/GPS" and its terminator
    if (bytes.size() >= compared && std::memcmp(bytes.data(), CoordinatesMarker, compared) == 0)
        return {true, MarkerSize, CoordinatesRecordSize};
    return {false, 0, PlainRecordSize};
}

std::string Cp1251ToUtf8(std::string_view text) {
    static const char16_t high[64] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
        0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
        0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
        0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
        0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
    std::string out;
    for (const char byte : text) {
        const auto b = static_cast<unsigned char>(byte);
        const char32_t c = b < 0x80 ? b : b < 0xC0 ? high[b - 0x80] : 0x0410 + (b - 0xC0);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace vyz
