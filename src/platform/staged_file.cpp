#include "platform/staged_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vyz {

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

// The file `path` names after following its symbolic links; a link to a file that does not exist
// yet names that file. Without a link, `path` itself.
std::string resolveLinks(const std::string& path) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string resolved = real;
        std::free(real);
        return resolved;
    }
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) { // the kernel's own limit on a chain of links
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return current;
        std::string next(buf, size_t(n));
        if (next.front() != '/') next = folderOf(current) + "/" + next;
        current = std::move(next);
    }
    return path;
}

} // namespace

StagedFile::StagedFile(std::string target) : target_(std::move(target)) {}

StagedFile::~StagedFile() {
    Discard();
}

bool StagedFile::Create() {
    Discard();
    target_ = resolveLinks(target_);
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return error_ = EISDIR, false;
        if (!S_ISREG(st.st_mode)) return error_ = EINVAL, false;
        if (::access(target_.c_str(), W_OK) != 0) return error_ = errno, false;
        // A file made read-only on purpose stays as it is, also for root.
        if ((st.st_mode & 0222) == 0) return error_ = EACCES, false;
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
        if (::stat(target_.c_str(), &st) == 0) {
            // The replaced file keeps its owner where we may set it (root rewriting a user's
            // file); where we may not (EPERM), it belongs to us, as any file we write.
            if (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
                ok = ::fchown(fd_, st.st_uid, st.st_gid) == 0 || errno == EPERM;
            ok = ok && ::fchmod(fd_, st.st_mode & 07777) == 0;
        }
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

bool StagedFile::AdoptWritten() {
    if (staging_.empty()) return error_ = EBADF, false;
    // Opened again by name: a library that replaced the file left our descriptor on the old one.
    const int fd = ::open(staging_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = fd < 0 ? errno : EINVAL;
        if (fd >= 0) ::close(fd);
        Discard();
        return false;
    }
    ::close(fd_);
    fd_ = fd;
    length_ = uint64_t(st.st_size);
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
