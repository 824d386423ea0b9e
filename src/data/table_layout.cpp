#include "data/table_layout.h"

#include "data/archive_record.h"
#include "data/record_text.h"

#include <algorithm>
#include <cstring>

namespace vyz {

std::vector<int> DistributeColumnWidths(int columns, int clientWidth, int numberWidth,
                                        int dateWidth) {
    std::vector<int> widths(columns > 0 ? columns : 0, 0);
    if (columns > 0) widths[0] = numberWidth;
    if (columns > 1) widths[1] = dateWidth;
    if (columns <= 2) return widths;
    // Single precision, as the running total must truncate the same way every time.
    float d = static_cast<float>(clientWidth - numberWidth - dateWidth - columns - 1) /
              static_cast<float>(columns - 2);
    if (d < 50.0f) d = 50.0f;
    const int e = static_cast<int>(d);
    float s = 0.0f;
    int t = 0;
    for (int c = 2; c < columns; ++c) {
        s += d;
        t += e;
        if (static_cast<int>(s) != t) {
            widths[c] = e + 1;
            ++t;
        } else {
            widths[c] = e;
        }
    }
    return widths;
}

std::vector<std::string> DateColumnSamples() {
    ArchiveRecord r;
    std::memset(&r, 0, sizeof r);
    r.Hour = 10;
    r.Minute = 10;
    r.Day = 10;
    r.Year = 10;
    std::vector<std::string> samples;
    for (int lang = 0; lang < 2; ++lang)
        for (uint8_t month = 1; month <= 12; ++month)
            for (uint8_t second : {uint8_t(10), DeletedMark}) {
                r.Month = month;
                r.Second = second;
                std::string text = DateTimeText(r, lang);
                std::replace_if(
                    text.begin(), text.end(), [](char c) { return c >= '1' && c <= '9'; }, '0');
                samples.push_back(std::move(text));
            }
    return samples;
}

} // namespace vyz
