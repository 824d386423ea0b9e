// Decoding of archive records into the texts the table, the report and the clipboard show:
// number pictures with a decimal comma, dates with month names, porosity, material names and
// coordinates. Pure functions; every text is UTF-8.
#pragma once

#include "data/archive_record.h"
#include "data/text_pair.h"

#include <array>
#include <cstdint>
#include <string>

namespace vyz {

inline constexpr int MaterialCount = 17;
extern const TextPair MaterialNames[MaterialCount];
extern const TextPair MonthNames[13];

// Formats `value` by a number picture of the forms "#0.00", "#.0", "#0", "00.0": each "0" before
// the point is a mandatory digit, "#" an optional one, the places after the point are all shown.
// Rounds half away from zero on the value's 15 significant digits; the separator is ",". A value
// that rounds to zero carries no minus sign. Values that are not finite read "NAN", "INF", "-INF".
std::string FormatPicture(double value, const char* picture);

// (1 - density / refDensity) * 100 computed in double precision and held as a 32-bit float,
// limited to 0..100 (not a number: 0).
float Porosity(float density, float refDensity);

// A coordinate: "55°45'12,3\" N"; "-" for 0 and for degrees beyond 90 (latitude) or 180.
std::string FormatCoordinate(int32_t value, bool isLongitude, int lang);

// The decimal degrees of a coordinate field, negative south or west: degrees + (minutes + the
// minute's 1/65536 parts) / 60, from the same fields as FormatCoordinate. False when the field
// holds no position: 0, degrees beyond 90 (latitude) or 180, minutes of 60 or more, or a result
// beyond the pole or the date line.
bool CoordinateDegrees(int32_t value, bool isLongitude, double& degrees);

// The record's date and time in ISO 8601 ("2020-03-03T09:05:07", local time of the instrument;
// a month above 12 reads as January). A deleted record has lost its seconds and gives minutes
// only ("2020-01-12T10:15"). Empty when the fields are no valid date and time.
std::string IsoDateTime(const ArchiveRecord& record);

// " 9:05:07 ( 3 мар 2020)" / " 9:05:07 (Mar  3, 2020)", with " - удалена" / " - deleted" for a
// record carrying the deleted mark. A month above 12 reads as January.
std::string DateTimeText(const ArchiveRecord& record, int lang);

const char* MaterialName(unsigned index, int lang);

// A month above 12 is stored as 1 (January). Returns true when the record was changed.
bool RepairMonth(ArchiveRecord& record);

// The cell texts of one table row, by column: 7 in the plain layout, 9 with coordinates.
struct RowTexts {
    std::array<std::string, 9> cell;
    int count = 0;
};
void RecordRowTexts(const ArchiveRecord& record, int lang, bool coordinates, RowTexts& out);

} // namespace vyz
