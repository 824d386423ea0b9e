// Archive records as the tests make them: every field named, everything not named zero.
#pragma once

#include "data/archive_record.h"

#include <cstdint>

namespace testsupport {

struct RecordFields {
    int number = 0;
    int second = 0, minute = 0, hour = 0;
    int day = 0, month = 0, year = 0;
    int material = 0, depth = 0;
    float density = 0, refDensity = 0, temperature = 0;
    int32_t latitude = 0, longitude = 0;
    int tail = 0;
};

// For example MakeRecord({.number = 7, .day = 3, .month = 3, .year = 20, .density = 2300}).
vyz::ArchiveRecord MakeRecord(const RecordFields& f);

} // namespace testsupport
