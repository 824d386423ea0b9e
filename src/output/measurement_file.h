// Measurement files (*.vyz): a copy of the archive's records. The plain variant is N records of
// 24 bytes (bytes 0..23 of each record); the coordinates variant begins with a 16-byte
// "GLONASS/GPS" marker and holds whole 32-byte records. There is no count, version or checksum:
// the number of records is what the length allows, at most ArchiveCapacity.
//
// Standard C++ and POSIX only, so the reader also builds into the fuzz target.
#pragma once

#include "data/archive_record.h"
#include "data/instrument_bytes.h"
#include "platform/staged_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vyz {

// A reader never needs more of a file than a marker and a full archive of 32-byte records.
inline constexpr size_t MaxMeasurementFileBytes =
    MarkerSize + size_t(ArchiveCapacity) * CoordinatesRecordSize;

// The record every file record is read into before it is copied whole into the archive. A plain
// file overwrites only its bytes 0..23, after its coordinates were set to 0, so whatever else it
// held (the tail word) travels into the archive with each record.
extern ArchiveRecord StagingRecord;

// Reads the records of a file's `bytes` in file order into archive[0..capacity), each through
// `staging` (whose coordinates are set to 0 first for a plain file). A trailing partial record
// and everything after `capacity` records is ignored. Calls onRecord(n) after storing the n-th
// record (n from 1). Returns the number of records stored.
int ReadRecords(std::span<const uint8_t> bytes, const FileLayout& layout, ArchiveRecord& staging,
                ArchiveRecord* archive, int capacity,
                const std::function<void(int stored)>& onRecord = {});

// Reads the first MaxMeasurementFileBytes bytes of the regular file at `path` into `bytes`.
// Returns 0, or the errno of the failure (ENOENT, EACCES, EISDIR for a folder, EINVAL for anything
// else that is not a regular file, EIO ...). Never blocks on a pipe or a device.
int ReadMeasurementFileBytes(const std::string& path, std::vector<uint8_t>& bytes);

// The whole content of a file of `count` records: for a coordinates file the marker and the
// whole records, for a plain file bytes 0..23 of each record.
std::vector<uint8_t> SerializeArchive(const ArchiveRecord* records, int count, bool coordinates);

// The name a save uses: `name` unchanged when the extension of its last path component (from its
// last dot) is ".vyz" in any letter case, otherwise `name` + ".Vyz" ("data.txt" -> "data.txt.Vyz").
std::string WithVyzExtension(const std::string& name);

} // namespace vyz
