#include "platform/events.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace vyz {

AutoResetEvent::AutoResetEvent(bool initialState, std::string name, int lockFd)
    : signalled_(initialState), name_(std::move(name)), lockFd_(lockFd) {}

AutoResetEvent::~AutoResetEvent() {
    if (lockFd_ >= 0) ::close(lockFd_); // releases the suffix
}

void AutoResetEvent::set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

bool AutoResetEvent::wait(int ms) {
    std::unique_lock lock(mutex_);
    if (ms < 0)
        cv_.wait(lock, [this] { return signalled_; });
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; }))
        return false;
    signalled_ = false;
    return true;
}

std::string EventLockDir() {
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run == '/')
        return std::string(run) + "/vyz";
    return "/tmp/vyz-" + std::to_string(::getuid());
}

std::shared_ptr<AutoResetEvent> CreateMyEvent(const std::string& baseName, bool initialState) {
    const std::string dir = EventLockDir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string name;
    for (int i = 0; i < 100; ++i) {
        name = baseName + std::to_string(i);
        const std::string lockPath = dir + "/" + name + ".lock";
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return std::make_shared<AutoResetEvent>(initialState, name, fd);
        ::close(fd);
    }
    return std::make_shared<AutoResetEvent>(initialState, name);
}

} // namespace vyz
