// Auto-reset events shared by the user-interface thread and the USB worker. Each running copy of
// the program claims its own numeric name suffix (DataRdEvent0, DataRdEvent1, ...) with a lock
// file in the runtime folder; the lock goes with the process, so a crashed copy blocks nothing.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace vyz {

class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initialState, std::string name = {}, int lockFd = -1);
    ~AutoResetEvent();
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void set();
    // Waits up to `ms` milliseconds (negative: without limit). Returns true, and resets the event,
    // when it was or became signalled.
    bool wait(int ms);
    const std::string& name() const { return name_; }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
    std::string name_;
    int lockFd_;
};

// Creates an event named baseName + the first free suffix 0..99 of this user's running copies.
// When all hundred are taken, the event still works within this process; it keeps the last name.
std::shared_ptr<AutoResetEvent> CreateMyEvent(const std::string& baseName, bool initialState);

// The folder of the suffix lock files: $XDG_RUNTIME_DIR/vyz, else /tmp/vyz-<uid>.
std::string EventLockDir();

} // namespace vyz
