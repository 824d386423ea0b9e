// The instrument's display image: the two formats it sends (16-bit colour, 1-bit monochrome), the
// 324 x 244 picture they are drawn into (a two-pixel border around the 320 x 240 display), and
// the 24-bit Windows bitmap the picture is saved as. Pure decoding, no platform calls.
#pragma once

#include "data/instrument_bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyz {

inline constexpr int PictureWidth = 324;
inline constexpr int PictureHeight = 244;
inline constexpr int PictureBorder = 2;

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A colour as the settings file stores it: red in the low byte, then green, then blue.
Rgb RgbFromColorValue(uint32_t value);
uint32_t ColorValueFromRgb(Rgb c);

// One pixel of a colour image: red in bits 15..11, green in bits 10..6, blue in bits 4..0 (bit 5
// unused); each five-bit component c becomes c * 255 / 31.
Rgb DecodeColourWord(uint16_t word);

// The monochrome image unpacked, one byte a pixel (1 ink, 0 background), column after column:
// the byte of pixel (x, y) is at index PictureHeight * x + y. The border stays 0.
using PixelMap = std::array<uint8_t, PictureWidth * PictureHeight>;
inline constexpr std::size_t PixelIndex(int x, int y) {
    return std::size_t(PictureHeight) * x + y;
}
// `mono` holds MonoImageBytes bytes: 240 rows of 40 bytes, most significant bit leftmost.
void UnpackMono(const uint8_t* mono, PixelMap& map);

// The 324 x 244 picture, row after row, top row first.
class Picture {
public:
    Picture() : pixels_(std::size_t(PictureWidth) * PictureHeight) {}
    Rgb at(int x, int y) const { return pixels_[std::size_t(y) * PictureWidth + x]; }
    void set(int x, int y, Rgb c) { pixels_[std::size_t(y) * PictureWidth + x] = c; }
    const std::vector<Rgb>& pixels() const { return pixels_; }

private:
    std::vector<Rgb> pixels_;
};

// A monochrome image drawn in ink and background; the border shows the background.
Picture RenderMonoPicture(const PixelMap& map, Rgb ink, Rgb background);
// A colour image (`colour` holds ColourImageBytes bytes, little-endian words, top row first)
// inside a black outer and a white inner one-pixel ring.
Picture RenderColourPicture(const uint8_t* colour);

// The picture as a bottom-up 24-bit Windows bitmap file (BITMAPFILEHEADER + BITMAPINFOHEADER,
// rows padded to four bytes).
std::vector<uint8_t> EncodeBmp24(const Picture& picture);

} // namespace vyz
