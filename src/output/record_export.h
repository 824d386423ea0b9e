// Exports of the archive's records for spreadsheets and map programs: CSV (RFC 4180, UTF-8),
// GPX 1.1, KML 2.2 and GeoJSON (RFC 7946). Built from the records themselves with the table's
// decoding, so the window and the converter write the same bytes. Standard C++ only.
#pragma once

#include "analysis/lot_statistics.h"
#include "data/archive_record.h"

#include <optional>
#include <span>
#include <string>

namespace vyz {

// --- CSV -------------------------------------------------------------------------------------

struct CsvOptions {
    char separator = ','; // ',', ';' or '\t'
    char decimal = '.';   // '.' or ','
    bool byteOrderMark = false;
    bool tableDates = false; // the table's date-and-time text instead of ISO 8601
};

// The choices stored in the settings file (section "Export"); a missing or unknown value takes
// the default above.
CsvOptions ReadCsvOptions();
void StoreCsvOptions(const CsvOptions& options);

// A heading row, then one row per record in table order (newest first): record number, date and
// time, density, porosity, material, temperature, mat depth, with coordinates latitude and
// longitude in decimal degrees, and whether the record is marked deleted. Numbers are written as
// numbers, rounded to the places the table shows (a value that is not finite leaves its cell
// empty); fields are quoted only where they hold the separator, a quote or a line break; every
// row ends with CR LF.
std::string CsvText(std::span<const ArchiveRecord> records, bool coordinates, int lang,
                    const CsvOptions& options);

// --- maps ------------------------------------------------------------------------------------

enum class MapFormat { Gpx, Kml, GeoJson };

struct MapExport {
    std::string text;
    int written = 0; // records with a position
    int leftOut = 0; // records without one
};

// One point per record that has a position, in archive order; records without a position are
// left out and counted. Latitude and longitude in decimal degrees to nine places. KML groups the
// placemarks by day and colours them by the verdict when `limits` hold any limit.
MapExport MapText(MapFormat format, std::span<const ArchiveRecord> records, int lang,
                  const analysis::Limits& limits);

} // namespace vyz
