#include "output/measurement_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vyz {

ArchiveRecord StagingRecord;

FileLayout DetectLayout(std::span<const uint8_t> bytes) {
    // Read as a zero-terminated string: "GLONASS/GPS" and its terminator.
    constexpr size_t compared = 12;
    if (bytes.size() >= compared && std::memcmp(bytes.data(), CoordinatesMarker, compared) == 0)
        return {true, MarkerSize, CoordinatesRecordSize};
    return {false, 0, PlainRecordSize};
}

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

// --- StagedFile ---

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAllAt(int fd, const uint8_t* data, size_t size, uint64_t offset, int& error) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

} // namespace

StagedFile::StagedFile(std::string target) : target_(std::move(target)) {}

StagedFile::~StagedFile() {
    Discard();
}

bool StagedFile::Create() {
    Discard();
    // Replace the file a symbolic link names, not the link.
    if (char* real = ::realpath(target_.c_str(), nullptr)) {
        target_ = real;
        std::free(real);
    }
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return error_ = EISDIR, false;
        if (!S_ISREG(st.st_mode)) return error_ = EINVAL, false;
        if (::access(target_.c_str(), W_OK) != 0) return error_ = errno, false;
    }
    const std::string folder = folderOf(target_);
    const std::string base = target_.substr(target_.rfind('/') + 1);
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(rd()));
        std::string name = folder + "/." + base + suffix;
        // 0666 before the umask, as any new file; an existing target's bits are copied at Commit.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            staging_ = std::move(name);
            length_ = 0;
            return true;
        }
        if (errno != EEXIST) return error_ = errno, false;
    }
    return error_ = EEXIST, false;
}

bool StagedFile::Write(std::span<const uint8_t> data) {
    if (fd_ < 0 && !Create()) return false;
    if (!writeAllAt(fd_, data.data(), data.size(), length_, error_)) return false;
    length_ += data.size();
    return true;
}

bool StagedFile::Commit() {
    if (fd_ < 0 && !Create()) return false;
    bool ok = ::ftruncate(fd_, off_t(length_)) == 0 && ::fsync(fd_) == 0;
    if (ok) {
        struct stat st {};
        if (::stat(target_.c_str(), &st) == 0) ok = ::fchmod(fd_, st.st_mode & 07777) == 0;
    }
    if (!ok) error_ = errno;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && ok) ok = false, error_ = errno;
    if (ok && ::rename(staging_.c_str(), target_.c_str()) != 0) ok = false, error_ = errno;
    if (!ok) {
        Discard();
        return false;
    }
    staging_.clear();
    // Make the new name durable too; a failure here leaves either the old or the new file.
    const int dir = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void StagedFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!staging_.empty()) ::unlink(staging_.c_str());
    staging_.clear();
    length_ = 0;
}

} // namespace vyz
