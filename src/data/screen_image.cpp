#include "data/screen_image.h"

namespace vyz {

Rgb RgbFromColorValue(uint32_t value) {
    return {uint8_t(value & 0xFF), uint8_t((value >> 8) & 0xFF), uint8_t((value >> 16) & 0xFF)};
}

uint32_t ColorValueFromRgb(Rgb c) {
    return uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16;
}

Rgb DecodeColourWord(uint16_t word) {
    auto scale = [](unsigned c) { return uint8_t(c * 255 / 31); };
    return {scale((word >> 11) & 31), scale((word >> 6) & 31), scale(word & 31)};
}

void UnpackMono(const uint8_t* mono, PixelMap& map) {
    map.fill(0);
    int x = PictureBorder;
    int y = PictureBorder;
    for (std::size_t i = 0; i < MonoImageBytes; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            map[PixelIndex(x, y)] = (mono[i] >> bit) & 1;
            if (++x == PictureBorder + DisplayWidth) {
                x = PictureBorder;
                ++y;
            }
        }
    }
}

Picture RenderMonoPicture(const PixelMap& map, Rgb ink, Rgb background) {
    Picture p;
    for (int x = 0; x < PictureWidth; ++x)
        for (int y = 0; y < PictureHeight; ++y)
            p.set(x, y, map[PixelIndex(x, y)] ? ink : background);
    return p;
}

Picture RenderColourPicture(const uint8_t* colour) {
    constexpr Rgb black{0, 0, 0};
    constexpr Rgb white{255, 255, 255};
    Picture p;
    for (int x = 0; x < PictureWidth; ++x) {
        p.set(x, 0, black);
        p.set(x, PictureHeight - 1, black);
        p.set(x, 1, white);
        p.set(x, PictureHeight - 2, white);
    }
    for (int y = 1; y < PictureHeight - 1; ++y) {
        const bool innerRing = y >= PictureBorder && y < PictureHeight - PictureBorder;
        p.set(0, y, black);
        p.set(PictureWidth - 1, y, black);
        if (innerRing) {
            p.set(1, y, white);
            p.set(PictureWidth - 2, y, white);
        }
    }
    const uint8_t* word = colour;
    for (int y = PictureBorder; y < PictureBorder + DisplayHeight; ++y)
        for (int x = PictureBorder; x < PictureBorder + DisplayWidth; ++x, word += 2)
            p.set(x, y, DecodeColourWord(Le16(word)));
    return p;
}

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

std::vector<uint8_t> EncodeBmp24(const Picture& picture) {
    constexpr uint32_t headerSize = 14 + 40;
    constexpr uint32_t rowSize = (PictureWidth * 3 + 3) & ~3u;
    constexpr uint32_t imageSize = rowSize * PictureHeight;
    std::vector<uint8_t> out;
    out.reserve(headerSize + imageSize);
    out.push_back('B');
    out.push_back('M');
    put32(out, headerSize + imageSize);
    put32(out, 0);          // reserved
    put32(out, headerSize); // offset of the pixels
    put32(out, 40);         // BITMAPINFOHEADER
    put32(out, PictureWidth);
    put32(out, PictureHeight); // positive: bottom row first
    put16(out, 1);             // planes
    put16(out, 24);            // bits per pixel
    put32(out, 0);             // BI_RGB
    put32(out, imageSize);
    put32(out, 3780); // 96 dots per inch, in dots per metre
    put32(out, 3780);
    put32(out, 0); // colours used
    put32(out, 0); // important colours
    for (int y = PictureHeight - 1; y >= 0; --y) {
        for (int x = 0; x < PictureWidth; ++x) {
            const Rgb c = picture.at(x, y);
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
        }
        for (uint32_t pad = PictureWidth * 3; pad < rowSize; ++pad)
            out.push_back(0);
    }
    return out;
}

} // namespace vyz
