// Records and read-outs for the history tests.
#pragma once

#include "history/history_store.h"
#include "support/records.h"

#include <QDateTime>
#include <QUuid>
#include <cstring>

namespace vyz::test {

// Record `i` of an instrument's archive: numbers, dates and materials vary with i.
inline ArchiveRecord HistoryRecord(int i, int year = 24) {
    return testsupport::MakeRecord({.number = i + 1,
                                    .second = i % 60,
                                    .minute = i / 60 % 60,
                                    .hour = 8 + i / 3600 % 10,
                                    .day = 1 + i % 28,
                                    .month = 1 + i / 28 % 12,
                                    .year = year,
                                    .material = 1 + i % 16,
                                    .depth = 30 + i % 50,
                                    .density = 2300.0f + float(i % 100),
                                    .refDensity = 2450.0f,
                                    .temperature = 20.5f + float(i % 30),
                                    .latitude = 363410555 + i,
                                    .longitude = -244882496 - i,
                                    .tail = 0x5A5A});
}

inline history::Readout MakeReadout(int count,
                                    const QString& instrument = QStringLiteral("VYZ-1 #17"),
                                    bool coordinates = true, int first = 0, int year = 24) {
    history::Readout r;
    r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.takenAt = QDateTime::currentDateTimeUtc();
    r.kind = history::SourceKind::Usb;
    r.source = QStringLiteral("USB");
    r.instrument = instrument;
    r.coordinates = coordinates;
    for (int i = 0; i < count; ++i)
        r.records.push_back(HistoryRecord(first + i, year));
    return r;
}

inline bool SameBytes(const ArchiveRecord& a, const ArchiveRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace vyz::test
