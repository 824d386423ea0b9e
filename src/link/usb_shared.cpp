#include "link/usb_shared.h"

#include <string>

namespace vyz {

std::atomic<uint8_t> UsbState{usBindLibrary};
char DeviceIdText[64] = {};
std::atomic<uint8_t*> ScreenBuffer{nullptr};
std::atomic<int32_t> ScreenDataSize{0};
std::atomic<int32_t> DataReadResult{usbResultPending};
std::atomic<int32_t> ScreenReadResult{usbResultPending};
std::atomic<bool> UsbWorkerRunning{false};
std::atomic<bool> ArchiveReadWanted{true};
std::atomic<bool> UsbArchiveSearching{false};

std::string Cp1251ToUtf8(const char* text) {
    static const char16_t high[64] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
        0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
        0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
        0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
        0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        char32_t c = *p < 0x80 ? *p : *p < 0xC0 ? high[*p - 0x80] : 0x0410 + (*p - 0xC0);
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
