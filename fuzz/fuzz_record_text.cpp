// Any 32 bytes as an archive record: its row decodes in both languages and layouts without a
// crash, every cell is valid UTF-8 of bounded length, and the porosity is a tenth between 0,0 and
// 100,0 whatever the densities hold (zero, negative, not a number, infinite).
#include "data/record_text.h"

#include <cstdlib>
#include <cstring>
#include <string>

using namespace vyz;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool validUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// "d,d" with one decimal: the porosity column.
bool porosityText(const std::string& s) {
    const size_t comma = s.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 2 != s.size()) return false;
    int whole = 0;
    for (size_t i = 0; i < comma; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        whole = whole * 10 + (s[i] - '0');
    }
    const char tenth = s[comma + 1];
    return tenth >= '0' && tenth <= '9' && (whole < 100 || (whole == 100 && tenth == '0'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RowTexts row;
    for (size_t offset = 0; offset + sizeof(ArchiveRecord) <= size;
         offset += sizeof(ArchiveRecord)) {
        ArchiveRecord record;
        std::memcpy(&record, data + offset, sizeof record);
        for (int lang = 0; lang < 2; ++lang)
            for (bool coordinates : {false, true}) {
                RecordRowTexts(record, lang, coordinates, row);
                check(row.count == (coordinates ? 9 : 7));
                for (int c = 0; c < row.count; ++c)
                    check(row.cell[size_t(c)].size() < 200 && validUtf8(row.cell[size_t(c)]));
                check(porosityText(row.cell[3]));
            }
    }
    return 0;
}
