#include "platform/usb_log.h"

#include "platform/ini_file.h"
#include "platform/paths.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace vyz {
namespace {

std::mutex logMutex; // one open-seek-write-close at a time within the process
std::atomic<bool> logEnabled{false};
long rememberedDay = -1; // guarded by logMutex
time_t (*logClock)() = [] { return ::time(nullptr); };

struct tm now() {
    const time_t t = logClock();
    struct tm local {};
    ::localtime_r(&t, &local);
    return local;
}

long dayOf(const struct tm& t) {
    return (t.tm_year + 1900L) * 400 + t.tm_yday;
}

// Appends `text` to the log; other programs holding an exclusive lock on it make the line drop.
void appendToLog(const std::string& text, bool create) {
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0);
    const int fd = ::open(LogFileName().c_str(), flags, 0644);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        (void)n; // a line that cannot be written is dropped
    }
    ::close(fd);
}

// The day of the header is the day remembered, so the first line after midnight of the start
// day gets a header of its own.
void startLocked() {
    const struct tm t = now();
    rememberedDay = dayOf(t);
    const std::string value = IniRead("Debug", "LogUSB", std::string("N"), 10);
    if (value.empty() || value[0] != 'Y') {
        logEnabled = false;
        return;
    }
    logEnabled = true;
    char header[64];
    std::snprintf(header, sizeof header, "\r\n========== %02d.%02d.%04d ==========\r\n", t.tm_mday,
                  t.tm_mon + 1, t.tm_year + 1900);
    appendToLog(header, true);
}

} // namespace

void StartLogUSB() {
    std::lock_guard lock(logMutex);
    startLocked();
}

void AddLogUSB(const std::string& message) {
    std::lock_guard lock(logMutex);
    const struct tm t = now();
    if (rememberedDay < 0) rememberedDay = dayOf(t);
    if (!logEnabled) return;
    if (dayOf(t) != rememberedDay) {
        rememberedDay = dayOf(t);
        startLocked();
        if (!logEnabled) return;
    }
    size_t first = message.find_first_not_of("\r\n");
    if (first == std::string::npos) first = message.size();
    size_t last = message.find_last_not_of("\r\n");
    std::string text =
        last == std::string::npos ? std::string() : message.substr(first, last - first + 1);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", t.tm_hour, t.tm_min, t.tm_sec);
    appendToLog(stamp + text + "\r\n", false);
}

void ResetLogUSBForTest(time_t (*clock)()) {
    std::lock_guard lock(logMutex);
    logEnabled = false;
    rememberedDay = -1;
    logClock = clock ? clock : [] { return ::time(nullptr); };
}

} // namespace vyz
