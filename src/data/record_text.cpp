#include "data/record_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vyz {

const TextPair MaterialNames[MaterialCount] = {
    {"", ""},
    {"Асфальт базовый", "Asphalt base"},
    {"Асфальт 2", "Asphalt 2"},
    {"Асфальт 3", "Asphalt 3"},
    {"Асфальт 4", "Asphalt 4"},
    {"Асфальт 5", "Asphalt 5"},
    {"Асфальт 6", "Asphalt 6"},
    {"Асфальт 7", "Asphalt 7"},
    {"Асфальт 8", "Asphalt 8"},
    {"Материал 1", "Material 1"},
    {"Материал 2", "Material 2"},
    {"Материал 3", "Material 3"},
    {"Материал 4", "Material 4"},
    {"Материал 5", "Material 5"},
    {"Материал 6", "Material 6"},
    {"Материал 7", "Material 7"},
    {"Материал 8", "Material 8"},
};

const TextPair MonthNames[13] = {
    {"", ""},       {"янв", "Jan"}, {"фев", "Feb"}, {"мар", "Mar"}, {"апр", "Apr"},
    {"мая", "May"}, {"июн", "Jun"}, {"июл", "Jul"}, {"авг", "Aug"}, {"сен", "Sep"},
    {"окт", "Oct"}, {"ноя", "Nov"}, {"дек", "Dec"},
};

std::string FormatPicture(double value, const char* picture) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";

    int minInt = 0, places = 0;
    bool afterPoint = false;
    for (const char* p = picture; *p; ++p) {
        if (*p == '.')
            afterPoint = true;
        else if (afterPoint)
            ++places;
        else if (*p == '0')
            ++minInt;
    }

    // The value's 15 significant digits: d[0..14] with the point after `pointPos` digits.
    char sci[32];
    const auto end = std::to_chars(sci, sci + sizeof sci - 1, std::fabs(value),
                                   std::chars_format::scientific, 14)
                         .ptr;
    *end = '\0';
    char digits[16];
    int n = 0;
    for (const char* p = sci; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits[n++] = *p;
    const int exponent = std::atoi(std::strchr(sci, 'e') + 1);
    const bool zero = digits[0] == '0';
    int pointPos = zero ? 1 : exponent + 1;

    // Keep the digits up to `places` after the point; round half away from zero on the next one.
    // Work in a buffer with room for leading zeros and a carry.
    char buf[400];
    int len = 0;
    const int lead = pointPos < 1 ? 1 - pointPos : 0; // zeros before the first digit
    buf[len++] = '0';                                 // room for a carry
    for (int i = 0; i < lead; ++i)
        buf[len++] = '0';
    int intDigits = pointPos + lead + 1; // digits of buf before the point
    const int keep = intDigits + places;
    for (int i = 0; len < keep; ++i)
        buf[len++] = i < n ? digits[i] : '0';
    const int nextIndex = keep - 1 - lead; // index in digits[] of the first dropped digit
    const char next = nextIndex >= 0 && nextIndex < n ? digits[nextIndex] : '0';
    if (!zero && next >= '5') {
        int i = keep - 1;
        while (i >= 0 && buf[i] == '9')
            buf[i--] = '0';
        if (i >= 0) ++buf[i];
    }

    // Drop leading zeros down to the picture's mandatory digits.
    int start = 0;
    while (start < intDigits - minInt && buf[start] == '0')
        ++start;
    bool allZero = true;
    for (int i = start; i < keep; ++i)
        if (buf[i] != '0') allZero = false;

    std::string out;
    if (value < 0 && !allZero) out += '-';
    out.append(buf + start, buf + intDigits);
    if (places > 0) {
        out += ',';
        out.append(buf + intDigits, buf + keep);
    }
    return out;
}

float Porosity(float density, float refDensity) {
    // The quotient in double precision, only the result in 32 bits: single precision at every
    // step moves values that lie on a rounding boundary to the wrong tenth.
    float p = static_cast<float>((1.0 - double(density) / double(refDensity)) * 100.0);
    if (std::isnan(p) || p < 0.0f) p = 0.0f;
    if (p > 100.0f) p = 100.0f;
    return p;
}

std::string FormatCoordinate(int32_t value, bool isLongitude, int lang) {
    if (value == 0) return "-";
    const int64_t magnitude = std::llabs(static_cast<int64_t>(value));
    const int64_t a = magnitude / 65536;
    const int64_t degrees = a / 100;
    const int64_t minutes = a % 100;
    if (degrees > (isLongitude ? 180 : 90)) return "-";
    const int64_t fraction = magnitude % 65536;
    const double tenths = std::trunc(static_cast<double>(fraction) * 600.0 / 65536.0 + 0.5);
    static const TextPair hemisphere[2][2] = {{{"СШ", "N"}, {"ЮШ", "S"}},
                                              {{"ВД", "E"}, {"ЗД", "W"}}};
    char head[48];
    std::snprintf(head, sizeof head, "%02lld°%02lld'", static_cast<long long>(degrees),
                  static_cast<long long>(minutes));
    return head + FormatPicture(tenths * 0.1, "00.0") + "\" " +
           hemisphere[isLongitude][value < 0].in(lang);
}

bool CoordinateDegrees(int32_t value, bool isLongitude, double& degrees) {
    if (value == 0) return false;
    const int64_t magnitude = std::llabs(static_cast<int64_t>(value));
    const int64_t a = magnitude / 65536;
    const int64_t whole = a / 100, minutes = a % 100;
    const int64_t limit = isLongitude ? 180 : 90;
    if (whole > limit || minutes >= 60) return false;
    // In 1/65536 minutes, exact in a double; one division rounds once.
    const double parts = static_cast<double>(minutes * 65536 + magnitude % 65536);
    const double d = static_cast<double>(whole) + parts / (60.0 * 65536.0);
    if (d > static_cast<double>(limit)) return false;
    degrees = value < 0 ? -d : d;
    return true;
}

std::string IsoDateTime(const ArchiveRecord& r) {
    static constexpr unsigned daysIn[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const unsigned year = 2000 + r.Year, month = r.Month > 12 ? 1 : r.Month;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const bool deleted = r.Second == DeletedMark;
    if (month == 0 || r.Day == 0 || r.Day > daysIn[month] || (month == 2 && r.Day == 29 && !leap) ||
        r.Hour > 23 || r.Minute > 59 || (r.Second > 59 && !deleted))
        return {};
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u", year, month,
                                unsigned(r.Day), unsigned(r.Hour), unsigned(r.Minute));
    if (!deleted) std::snprintf(text + n, sizeof text - n, ":%02u", unsigned(r.Second));
    return text;
}

std::string DateTimeText(const ArchiveRecord& r, int lang) {
    const unsigned month = r.Month > 12 ? 1 : r.Month;
    char text[96];
    if (lang == 0)
        std::snprintf(text, sizeof text, "%2u:%02u:%02u (%2u %s 20%02u)%s", unsigned(r.Hour),
                      unsigned(r.Minute), unsigned(r.Second), unsigned(r.Day), MonthNames[month].ru,
                      unsigned(r.Year), r.Second == DeletedMark ? " - удалена" : "");
    else
        std::snprintf(text, sizeof text, "%2u:%02u:%02u (%s %2u, 20%02u)%s", unsigned(r.Hour),
                      unsigned(r.Minute), unsigned(r.Second), MonthNames[month].en, unsigned(r.Day),
                      unsigned(r.Year), r.Second == DeletedMark ? " - deleted" : "");
    return text;
}

const char* MaterialName(unsigned index, int lang) {
    return MaterialNames[index < MaterialCount ? index : 0].in(lang);
}

bool RepairMonth(ArchiveRecord& record) {
    if (record.Month <= 12) return false;
    record.Month = 1;
    return true;
}

void RecordRowTexts(const ArchiveRecord& r, int lang, bool coordinates, RowTexts& out) {
    char number[16];
    std::snprintf(number, sizeof number, "%u", unsigned(r.RecordNo));
    out.cell[0] = number;
    out.cell[1] = DateTimeText(r, lang);
    out.cell[2] = FormatPicture(r.Density, "#0.00");
    out.cell[3] = FormatPicture(Porosity(r.Density, r.RefDensity), "#0.0");
    out.cell[4] = MaterialName(r.MaterialIndex, lang);
    out.cell[5] = FormatPicture(r.Temperature, "#.0");
    out.cell[6] = FormatPicture(r.LayerThickness, "#0");
    out.count = 7;
    if (coordinates) {
        out.cell[7] = FormatCoordinate(r.Latitude, false, lang);
        out.cell[8] = FormatCoordinate(r.Longitude, true, lang);
        out.count = 9;
    }
}

} // namespace vyz
