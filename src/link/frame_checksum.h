// The 16-bit frame checksum of the serial line: a shift register started at 0x5AA5 and fed each
// covered byte from its least to its most significant bit, with feedback from register bits 15,
// 11, 8 and 6. Sent low byte first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyz {

inline constexpr uint16_t FrameChecksumStart = 0x5AA5;

// Feeds one byte into the register and returns the new register.
constexpr uint16_t UpdateFrameChecksum(uint16_t reg, uint8_t byte) {
    for (int bit = 0; bit < 8; ++bit) {
        const unsigned feedback =
            ((byte >> bit) ^ (reg >> 15) ^ (reg >> 11) ^ (reg >> 8) ^ (reg >> 6)) & 1u;
        reg = static_cast<uint16_t>((reg << 1) | feedback);
    }
    return reg;
}

// Continues `reg` over `count` bytes.
constexpr uint16_t FrameChecksum(const uint8_t* data, size_t count,
                                 uint16_t reg = FrameChecksumStart) {
    for (size_t i = 0; i < count; ++i)
        reg = UpdateFrameChecksum(reg, data[i]);
    return reg;
}

} // namespace vyz
