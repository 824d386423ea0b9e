// Records and read-outs for the history tests.
#pragma once

#include "history/history_store.h"

#include <QDateTime>
#include <QUuid>
#include <cstring>

namespace vyz::test {

// Record `i` of an instrument's archive: numbers, dates and materials vary with i.
inline ArchiveRecord HistoryRecord(int i, int year = 24) {
    ArchiveRecord r;
    std::memset(&r, 0, sizeof r);
    r.RecordNo = static_cast<uint16_t>(i + 1);
    r.Second = static_cast<uint8_t>(i % 60);
    r.Minute = static_cast<uint8_t>(i / 60 % 60);
    r.Hour = static_cast<uint8_t>(8 + i / 3600 % 10);
    r.Day = static_cast<uint8_t>(1 + i % 28);
    r.Month = static_cast<uint8_t>(1 + i / 28 % 12);
    r.Year = static_cast<uint8_t>(year);
    r.MaterialIndex = static_cast<uint8_t>(1 + i % 16);
    r.LayerThickness = static_cast<uint8_t>(30 + i % 50);
    r.Density = 2300.0f + float(i % 100);
    r.RefDensity = 2450.0f;
    r.Temperature = 20.5f + float(i % 30);
    r.Latitude = 363410555 + i;
    r.Longitude = -244882496 - i;
    r.TailWord = 0x5A5A;
    return r;
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
