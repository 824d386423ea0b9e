// Writes the demo measurement file: a coordinates file (the 16-byte marker, then 32-byte
// records) of 40 plausible measurements along a road, the same bytes on every run.
#include "data/archive_record.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.vyz\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(out.parent_path(), ec);
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    char marker[16] = "GLONASS/GPS";
    std::fwrite(marker, 1, sizeof marker, f);
    constexpr int Count = 40;
    for (int i = 0; i < Count; ++i) {
        vyz::ArchiveRecord r{};
        r.RecordNo = static_cast<uint16_t>(i + 1);
        const int minutes = 8 * 60 + 5 + i * 7; // a working day from 08:05
        r.Second = static_cast<uint8_t>((i * 13) % 60);
        r.Minute = static_cast<uint8_t>(minutes % 60);
        r.Hour = static_cast<uint8_t>(minutes / 60);
        r.Day = static_cast<uint8_t>(14 + i / 20);
        r.Month = 5;
        r.Year = 24;
        r.MaterialIndex = static_cast<uint8_t>(i % 4);
        r.LayerThickness = static_cast<uint8_t>(40 + (i % 5) * 10);
        r.Density = 2290.0f + static_cast<float>((i * 37) % 120);
        r.RefDensity = 2450.0f;
        r.Temperature = 115.0f + static_cast<float>((i * 11) % 40) * 0.5f;
        // 55°45' N, 37°37' E and onwards: ddmm in the high word, 1/65536 minute in the low one.
        r.Latitude = static_cast<int32_t>((5545u << 16) | static_cast<uint32_t>(i * 1500));
        r.Longitude = static_cast<int32_t>((3737u << 16) | static_cast<uint32_t>(i * 1100));
        r.TailWord = 0;
        std::fwrite(&r, 1, sizeof r, f);
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
