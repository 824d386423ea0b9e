// State the USB worker shares with the rest of the program: its state byte (the display viewer
// cancels a pending image request through it), the instrument's identity text, and the display
// image receive buffer the viewer lends it.
#pragma once

#include <atomic>
#include <cstdint>

namespace vyz {

enum UsbStateValue : uint8_t {
    usOpenForArchive = 0,
    usReadIdentity = 1,
    usReadArchiveState = 2,
    usReadRecords = 3,
    usReadScreen = 4,
    usIdle = 8,
    usBindLibrary = 255,
};

inline constexpr int ScreenColourSize = 153600; // 240 rows of 320 16-bit pixels
inline constexpr int ScreenMonoSize = 9600;     // 240 rows of 40 bytes, 1 bit a pixel

extern std::atomic<uint8_t> UsbState;
// Up to 63 characters of the instrument's identity and a terminating zero; written by both
// read-outs.
extern char DeviceIdText[64];
// The viewer's receive buffer (ScreenColourSize bytes) for the next image request.
extern std::atomic<uint8_t*> ScreenBuffer;
// The first word of the last display-image reply.
extern std::atomic<int32_t> ScreenDataSize;

} // namespace vyz
