#include "support/records.h"

#include <cstring>

namespace testsupport {

vyz::ArchiveRecord MakeRecord(const RecordFields& f) {
    vyz::ArchiveRecord r;
    std::memset(&r, 0, sizeof r);
    r.RecordNo = static_cast<uint16_t>(f.number);
    r.Second = static_cast<uint8_t>(f.second);
    r.Minute = static_cast<uint8_t>(f.minute);
    r.Hour = static_cast<uint8_t>(f.hour);
    r.Day = static_cast<uint8_t>(f.day);
    r.Month = static_cast<uint8_t>(f.month);
    r.Year = static_cast<uint8_t>(f.year);
    r.MaterialIndex = static_cast<uint8_t>(f.material);
    r.LayerThickness = static_cast<uint8_t>(f.depth);
    r.Density = f.density;
    r.RefDensity = f.refDensity;
    r.Temperature = f.temperature;
    r.Latitude = f.latitude;
    r.Longitude = f.longitude;
    r.TailWord = static_cast<uint16_t>(f.tail);
    return r;
}

} // namespace testsupport
