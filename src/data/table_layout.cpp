#include "data/table_layout.h"

namespace vyz {

std::vector<int> DistributeColumnWidths(int columns, int clientWidth) {
    std::vector<int> widths(columns > 0 ? columns : 0, 0);
    if (columns > 0) widths[0] = 45;
    if (columns > 1) widths[1] = 120;
    if (columns <= 2) return widths;
    // Single precision, as the running total must truncate the same way every time.
    float d =
        static_cast<float>(clientWidth - 45 - 120 - columns - 1) / static_cast<float>(columns - 2);
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

} // namespace vyz
