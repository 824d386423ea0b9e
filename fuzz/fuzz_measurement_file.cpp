// Any bytes as a measurement file: the reader must take every length and content without a
// crash, store exactly what the format says and nothing past the archive, and write the same
// records back. The bytes also serve as a typed file name for the extension rule.
#include "data/record_text.h"
#include "output/measurement_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace vyz;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

ArchiveRecord archive[ArchiveCapacity];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const FileLayout layout = DetectLayout(bytes);
    check(layout.coordinates == (size >= 12 && std::memcmp(data, "GLONASS/GPS", 12) == 0));

    ArchiveRecord staging;
    std::memset(&staging, 0xEE, sizeof staging);
    int progress = 0;
    const int count = ReadRecords(bytes, layout, staging, archive, ArchiveCapacity,
                                  [&](int stored) { check(stored == ++progress); });
    const size_t available = size > layout.dataOffset ? size - layout.dataOffset : 0;
    check(count == int(std::min<size_t>(available / layout.recordSize, ArchiveCapacity)));
    check(progress == count);

    for (int i = 0; i < count; ++i) {
        const auto* record = reinterpret_cast<const uint8_t*>(&archive[i]);
        check(std::memcmp(record, data + layout.dataOffset + size_t(i) * layout.recordSize,
                          layout.recordSize) == 0);
        if (!layout.coordinates) {
            static const uint8_t zeros[6] = {};
            check(std::memcmp(record + 24, zeros, 6) == 0);
        }
    }

    // Saving what was read gives the file's records again, byte for byte.
    const std::vector<uint8_t> saved = SerializeArchive(archive, count, layout.coordinates);
    const size_t prefix = layout.coordinates ? MarkerSize : 0;
    check(saved.size() == prefix + size_t(count) * layout.recordSize);
    if (prefix) check(std::memcmp(saved.data(), CoordinatesMarker, prefix) == 0);
    if (count)
        check(std::equal(saved.begin() + long(prefix), saved.end(), data + layout.dataOffset));

    // The extension rule: applied once it holds, so it never applies twice.
    const std::string name(reinterpret_cast<const char*>(data), std::min<size_t>(size, 300));
    const std::string named = WithVyzExtension(name);
    check(named == name || named == name + ".Vyz");
    check(WithVyzExtension(named) == named);

    // Every record read decodes into its row in both languages and layouts; a month the table
    // repairs reads as January afterwards.
    RowTexts row;
    for (int i = 0; i < count; ++i) {
        for (int lang = 0; lang < 2; ++lang)
            for (bool coordinates : {false, true}) {
                RecordRowTexts(archive[i], lang, coordinates, row);
                check(row.count == (coordinates ? 9 : 7));
                for (int c = 0; c < row.count; ++c)
                    check(row.cell[c].size() < 200);
            }
        RepairMonth(archive[i]);
        check(archive[i].Month <= 12);
    }
    return 0;
}
