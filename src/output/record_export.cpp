#include "output/record_export.h"

#include "data/lang_texts.h"
#include "data/record_text.h"
#include "platform/ini_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vyz {

namespace {

const TextPair DeletedHeading{"Удалена", "Deleted"};
const TextPair DeletedWord{"удалена", "deleted"};
const TextPair NoDate{"без даты", "no date"};
const TextPair WithinLimits{"в допуске", "within limits"};
const TextPair OutsideLimits{"вне допуска", "outside limits"};
const TextPair DegreesUnit{", °", ", °"};

std::string heading(int row, int lang) {
    return LangTexts[row].in(lang);
}

// The headings of the columns, in the table's order; the units as the report writes them.
std::vector<std::string> headings(bool coordinates, int lang) {
    std::vector<std::string> h = {
        heading(31, lang),
        heading(34, lang),
        heading(38, lang),
        heading(39, lang) + ", %",
        heading(36, lang),
        heading(37, lang) + ", °C",
        heading(44, lang) + ", " + heading(49, lang),
    };
    if (coordinates) {
        h.push_back(heading(46, lang) + DegreesUnit.in(lang));
        h.push_back(heading(47, lang) + DegreesUnit.in(lang));
    }
    h.push_back(DeletedHeading.in(lang));
    return h;
}

// A number rounded by the table's picture, with `decimal` as separator; empty when not finite.
std::string number(double value, const char* picture, char decimal) {
    if (!std::isfinite(value)) return {};
    std::string text = FormatPicture(value, picture);
    for (char& c : text)
        if (c == ',') c = decimal;
    return text;
}

std::string degreesText(double degrees, char decimal = '.') {
    return number(degrees, "#0.000000000", decimal);
}

bool positionOf(const ArchiveRecord& r, double& lat, double& lon) {
    return CoordinateDegrees(r.Latitude, false, lat) && CoordinateDegrees(r.Longitude, true, lon);
}

void csvField(std::string& out, const std::string& field, char separator) {
    if (field.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string jsonNumber(const std::string& text) {
    return text.empty() ? "null" : text;
}

// The values of one record, as the exports write them (numbers with a decimal point).
struct Values {
    std::string number, time, density, porosity, material, temperature, thickness;
    bool deleted;
};

Values valuesOf(const ArchiveRecord& r, int lang) {
    return {std::to_string(r.RecordNo),
            IsoDateTime(r),
            number(r.Density, "#0.00", '.'),
            number(Porosity(r.Density, r.RefDensity), "#0.0", '.'),
            MaterialName(r.MaterialIndex, lang),
            number(r.Temperature, "#0.0", '.'),
            std::to_string(unsigned(r.LayerThickness)),
            r.Second == DeletedMark};
}

using analysis::Verdict;

// The description of a map point: the table's texts with their headings, and the verdict where
// every limit could be checked.
std::string description(const ArchiveRecord& r, int lang, Verdict verdict) {
    RowTexts cells;
    RecordRowTexts(r, lang, false, cells);
    const std::vector<std::string> h = headings(false, lang);
    std::string text = h[1] + ": " + cells.cell[1];
    for (int c = 2; c < 7; ++c)
        text += "; " + h[c] + ": " + cells.cell[c];
    if (verdict == Verdict::Pass || verdict == Verdict::Fail)
        text +=
            "; " + std::string((verdict == Verdict::Pass ? WithinLimits : OutsideLimits).in(lang));
    return text;
}

const char* verdictName(Verdict v) {
    return v == Verdict::Pass ? "pass" : v == Verdict::Fail ? "fail" : "none";
}

} // namespace

// --- CSV -------------------------------------------------------------------------------------

CsvOptions ReadCsvOptions() {
    CsvOptions o;
    const std::string sep = IniRead("Export", "CsvSeparator", "comma", 16);
    o.separator = sep == "semicolon" ? ';' : sep == "tab" ? '\t' : ',';
    o.decimal = IniRead("Export", "CsvDecimal", "point", 16) == "comma" ? ',' : '.';
    o.byteOrderMark = IniRead("Export", "CsvBOM", "N", 4) == "Y";
    o.tableDates = IniRead("Export", "CsvDates", "iso", 16) == "table";
    return o;
}

void StoreCsvOptions(const CsvOptions& o) {
    IniWrite("Export", "CsvSeparator",
             o.separator == ';'    ? "semicolon"
             : o.separator == '\t' ? "tab"
                                   : "comma");
    IniWrite("Export", "CsvDecimal", o.decimal == ',' ? "comma" : "point");
    IniWrite("Export", "CsvBOM", o.byteOrderMark ? "Y" : "N");
    IniWrite("Export", "CsvDates", o.tableDates ? "table" : "iso");
}

std::string CsvText(std::span<const ArchiveRecord> records, bool coordinates, int lang,
                    const CsvOptions& o) {
    std::string out;
    out.reserve(records.size() * 96 + 256);
    if (o.byteOrderMark) out += "\xEF\xBB\xBF";
    auto row = [&](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i) out += o.separator;
            csvField(out, fields[i], o.separator);
        }
        out += "\r\n";
    };
    row(headings(coordinates, lang));
    std::vector<std::string> fields;
    for (size_t i = records.size(); i-- > 0;) {
        ArchiveRecord r = records[i];
        RepairMonth(r);
        fields.clear();
        fields.push_back(std::to_string(r.RecordNo));
        const std::string iso = o.tableDates ? std::string() : IsoDateTime(r);
        // Fields that are no valid date keep the table's text, so nothing is lost.
        fields.push_back(iso.empty() ? DateTimeText(r, lang) : iso);
        fields.push_back(number(r.Density, "#0.00", o.decimal));
        fields.push_back(number(Porosity(r.Density, r.RefDensity), "#0.0", o.decimal));
        fields.push_back(MaterialName(r.MaterialIndex, lang));
        fields.push_back(number(r.Temperature, "#0.0", o.decimal));
        fields.push_back(std::to_string(unsigned(r.LayerThickness)));
        if (coordinates) {
            double lat, lon;
            const bool lat_ok = CoordinateDegrees(r.Latitude, false, lat);
            const bool lon_ok = CoordinateDegrees(r.Longitude, true, lon);
            fields.push_back(lat_ok ? degreesText(lat, o.decimal) : std::string());
            fields.push_back(lon_ok ? degreesText(lon, o.decimal) : std::string());
        }
        fields.push_back(r.Second == DeletedMark ? DeletedWord.in(lang) : "");
        row(fields);
    }
    return out;
}

// --- maps ------------------------------------------------------------------------------------

MapExport MapText(MapFormat format, std::span<const ArchiveRecord> records, int lang,
                  const analysis::Limits& limits) {
    MapExport out;
    std::string& t = out.text;
    const std::string title = xmlEscaped(heading(30, lang));

    struct Point {
        ArchiveRecord record;
        double lat, lon;
    };
    std::vector<Point> points;
    points.reserve(records.size());
    for (ArchiveRecord r : records) {
        RepairMonth(r);
        double lat, lon;
        if (positionOf(r, lat, lon))
            points.push_back({r, lat, lon});
        else
            ++out.leftOut;
    }
    out.written = int(points.size());

    switch (format) {
    case MapFormat::Gpx:
        t += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<gpx version=\"1.1\" creator=\"Vyz\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
             "  <metadata><name>" +
             title + "</name></metadata>\n";
        for (const Point& p : points) {
            const Values v = valuesOf(p.record, lang);
            t += "  <wpt lat=\"" + degreesText(p.lat) + "\" lon=\"" + degreesText(p.lon) + "\">";
            // xsd:dateTime needs the seconds, which a deleted record has lost.
            if (!v.time.empty() && !v.deleted) t += "<time>" + v.time + "</time>";
            t +=
                "<name>" + v.number + "</name><desc>" +
                xmlEscaped(description(p.record, lang, analysis::Judge(p.record, limits).verdict)) +
                "</desc></wpt>\n";
        }
        t += "</gpx>\n";
        break;

    case MapFormat::Kml: {
        t += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>" +
             title + "</name>\n";
        const bool coloured = limits.Any();
        if (coloured)
            // Colours aabbggrr; the fail mark is also larger, for readers who cannot tell them.
            t += "<Style id=\"pass\"><IconStyle><color>ff00b000</color><scale>1.0</scale>"
                 "</IconStyle></Style>\n"
                 "<Style id=\"fail\"><IconStyle><color>ff0000ff</color><scale>1.4</scale>"
                 "</IconStyle></Style>\n"
                 "<Style id=\"none\"><IconStyle><color>ff808080</color><scale>1.0</scale>"
                 "</IconStyle></Style>\n";
        // One folder per day, in the order the days first appear.
        std::vector<std::string> days;
        for (const Point& p : points) {
            const std::string day = IsoDateTime(p.record).substr(0, 10);
            bool seen = false;
            for (const std::string& d : days)
                seen = seen || d == day;
            if (!seen) days.push_back(day);
        }
        for (const std::string& day : days) {
            t +=
                "<Folder><name>" + (day.empty() ? std::string(NoDate.in(lang)) : day) + "</name>\n";
            for (const Point& p : points) {
                if (IsoDateTime(p.record).substr(0, 10) != day) continue;
                const Values v = valuesOf(p.record, lang);
                const Verdict verdict = analysis::Judge(p.record, limits).verdict;
                t += "<Placemark><name>" + v.number + "</name><description>" +
                     xmlEscaped(description(p.record, lang, verdict)) + "</description>";
                if (!v.time.empty()) t += "<TimeStamp><when>" + v.time + "</when></TimeStamp>";
                if (coloured)
                    t += std::string("<styleUrl>#") + verdictName(verdict) + "</styleUrl>";
                t += "<ExtendedData>";
                auto data = [&](const char* name, const std::string& value) {
                    t += std::string("<Data name=\"") + name + "\"><value>" + xmlEscaped(value) +
                         "</value></Data>";
                };
                data("record", v.number);
                data("time", v.time);
                data("deleted", v.deleted ? "1" : "0");
                data("density", v.density);
                data("porosity", v.porosity);
                data("material", v.material);
                data("temperature", v.temperature);
                data("thickness", v.thickness);
                if (coloured) data("verdict", verdictName(verdict));
                t += "</ExtendedData><Point><coordinates>" + degreesText(p.lon) + "," +
                     degreesText(p.lat) + "</coordinates></Point></Placemark>\n";
            }
            t += "</Folder>\n";
        }
        t += "</Document>\n</kml>\n";
        break;
    }

    case MapFormat::GeoJson:
        t += "{\"type\":\"FeatureCollection\",\"features\":[";
        for (size_t i = 0; i < points.size(); ++i) {
            const Point& p = points[i];
            const Values v = valuesOf(p.record, lang);
            t += i ? ",\n" : "\n";
            t += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[" +
                 degreesText(p.lon) + "," + degreesText(p.lat) + "]},\"properties\":{";
            t += "\"record\":" + v.number;
            t += ",\"time\":" + (v.time.empty() ? std::string("null") : jsonString(v.time));
            t += std::string(",\"deleted\":") + (v.deleted ? "true" : "false");
            t += ",\"density\":" + jsonNumber(v.density);
            t += ",\"porosity\":" + jsonNumber(v.porosity);
            t += ",\"material\":" + jsonString(v.material);
            t += ",\"temperature\":" + jsonNumber(v.temperature);
            t += ",\"thickness\":" + v.thickness;
            if (limits.Any())
                t += std::string(",\"verdict\":\"") +
                     verdictName(analysis::Judge(p.record, limits).verdict) + "\"";
            t += "}}";
        }
        t += "\n]}\n";
        break;
    }
    return out;
}

} // namespace vyz
