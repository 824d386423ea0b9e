#include "output/measurement_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vyz {

ArchiveRecord StagingRecord;

int ReadRecords(std::span<const uint8_t> bytes, const FileLayout& layout, ArchiveRecord& staging,
                ArchiveRecord* archive, int capacity, const std::function<void(int)>& onRecord) {
    if (!layout.coordinates) {
        staging.Latitude = 0;
        staging.Longitude = 0;
    }
    size_t offset = std::min(layout.dataOffset, bytes.size());
    int count = 0;
    while (count < capacity && bytes.size() - offset >= layout.recordSize) {
        std::memcpy(&staging, bytes.data() + offset, layout.recordSize);
        offset += layout.recordSize;
        archive[count] = staging;
        ++count;
        if (onRecord) onRecord(count);
    }
    return count;
}

int ReadMeasurementFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    // O_NONBLOCK: opening a pipe without a writer must not hang; a regular file ignores it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    if (!error) {
        bytes.resize(MaxMeasurementFileBytes);
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = errno;
                break;
            }
            if (n == 0) break;
            got += size_t(n);
        }
        bytes.resize(error ? 0 : got);
    }
    ::close(fd);
    return error;
}

std::vector<uint8_t> SerializeArchive(const ArchiveRecord* records, int count, bool coordinates) {
    count = std::clamp(count, 0, ArchiveCapacity);
    const auto* base = reinterpret_cast<const uint8_t*>(records);
    std::vector<uint8_t> out;
    if (coordinates) {
        out.reserve(MarkerSize + size_t(count) * sizeof(ArchiveRecord));
        out.insert(out.end(), CoordinatesMarker, CoordinatesMarker + MarkerSize);
        out.insert(out.end(), base, base + size_t(count) * sizeof(ArchiveRecord));
    } else {
        out.reserve(size_t(count) * PlainRecordSize);
        for (int i = 0; i < count; ++i) {
            const uint8_t* record = base + size_t(i) * sizeof(ArchiveRecord);
            out.insert(out.end(), record, record + PlainRecordSize);
        }
    }
    return out;
}

std::string WithVyzExtension(const std::string& name) {
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        const std::string ext = name.substr(dot);
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
        std::string u(ext.size(), 0);
        std::transform(ext.begin(), ext.end(), u.begin(), upper);
        if (u == ".VYZ") return name;
    }
    return name + ".Vyz";
}

} // namespace vyz
