// The kernel side of the simulated instrument, preloaded (LD_PRELOAD) into a program that uses the
// real libusb-0.1.so.4. Once the library opens the folder named by USB_DEVFS_PATH, this keeps the
// tree it reads there: one bus "001" with a root hub "001" and the scenario's devices "002",
// "003", ... in that order, each file holding the device descriptor and the configuration
// descriptor as usbfs gives them. Opens of those files get the node's permissions as seen by an
// ordinary user (the "other" bits; tests run as root), and the usbfs ioctls on them are answered
// as the kernel answers them, with the instrument of instrument.h behind the endpoints:
//   - a handle opened read-only gets EPERM for every ioctl, a device that left the bus ENODEV
//     (reaping excepted);
//   - bulk transfers are URBs (SUBMITURB, REAPURBNDELAY, DISCARDURB, REAPURB), which is how
//     Debian's libusb 0.1.12 moves data; a URB the instrument leaves unanswered stays pending
//     until the library gives up at its time-out and discards it. To keep tests short, the
//     library's clock (its gettimeofday calls only) may jump past that time-out: at once when
//     the instrument has nothing to send, after hang_ms for a hung transfer.
// With USB_DEVFS_PATH unset, or for any other file, every call goes straight to the C library.
#include "instrument.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

template <typename F> F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}
int realOpen(const char* path, int flags, mode_t mode) {
    static auto f = next<int (*)(const char*, int, ...)>("open");
    return f(path, flags, mode);
}
int realClose(int fd) {
    static auto f = next<int (*)(int)>("close");
    return f(fd);
}
int realIoctl(int fd, unsigned long request, void* arg) {
    static auto f = next<int (*)(int, unsigned long, ...)>("ioctl");
    return f(fd, request, arg);
}
DIR* realOpendir(const char* path) {
    static auto f = next<DIR* (*)(const char*)>("opendir");
    return f(path);
}
dirent* realReaddir(DIR* d) {
    static auto f = next<dirent* (*)(DIR*)>("readdir");
    return f(d);
}
int realClosedir(DIR* d) {
    static auto f = next<int (*)(DIR*)>("closedir");
    return f(d);
}
int realSelect(int n, fd_set* r, fd_set* w, fd_set* e, timeval* tv) {
    static auto f = next<int (*)(int, fd_set*, fd_set*, fd_set*, timeval*)>("select");
    return f(n, r, w, e, tv);
}
int realGettimeofday(timeval* tv, void* tz) {
    static auto f = next<int (*)(timeval*, void*)>("gettimeofday");
    return f(tv, tz);
}

constexpr int InstrumentInterface = 0;
constexpr unsigned EndpointOut = 0x01;
constexpr unsigned EndpointIn = 0x82;
constexpr long long ClockJumpUs = 3600LL * 1000000; // far beyond any transfer time-out

struct Urb {
    usbdevfs_urb* user;
    std::string label; // "read N" or "write N HEX", as the trace shows it
    Clock::time_point jumpAt;
    bool jumps = false; // the library's clock jumps at jumpAt
};

struct Handle {
    std::string name;
    usbsim::DeviceId id{};
    bool hub = false;
    bool writable = false;
    bool byProgram = false; // opened by the program, not by the library's bus search
    bool connected = true;
    bool claimed = false;
    std::deque<Urb> pending;
    std::deque<usbdevfs_urb*> completed;
};

struct Listing {
    std::vector<std::string> names;
    size_t next = 0;
    bool bus = false;
    dirent entry{};
};

std::mutex stateMutex; // guards everything below
std::string root, busDir;
std::atomic<bool> active{false};
bool scanning = false; // the library is reading the bus folder (its device search)
// The devices its search opened: after reading the folder it opens each once more, to ask hubs
// for their ports, and those opens belong to the search too.
std::set<std::string> childPass;
std::map<std::string, usbsim::DeviceId> nodes; // device files now in the tree
std::map<int, Handle> handles;
std::map<DIR*, Listing> listings;
constexpr int FastFds = 65536;
std::atomic<bool> ours[FastFds];
std::atomic<long long> clockSkipUs{0};
thread_local bool inside = false; // our own calls into the C library pass straight through

bool isOurs(int fd) {
    return fd >= 0 && fd < FastFds && ours[fd].load();
}

struct Inside {
    std::lock_guard<std::mutex> guard{stateMutex};
    Inside() { inside = true; }
    ~Inside() { inside = false; }
};

std::string normalise(std::string path) {
    std::string out;
    for (char c : path)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

void le16(std::vector<uint8_t>& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

// The device descriptor and the one configuration, as reading a usbfs device file gives them.
std::vector<uint8_t> descriptors(usbsim::DeviceId id, bool hub) {
    std::vector<uint8_t> b = {18, 1, 0x00, 0x02, uint8_t(hub ? 9 : 0), 0, uint8_t(hub ? 1 : 0), 64};
    le16(b, id.vendor);
    le16(b, id.product);
    le16(b, 0x0100);
    b.insert(b.end(), {1, 2, 0, 1});
    const unsigned total = hub ? 9 + 9 + 7 : 9 + 9 + 7 + 7;
    b.insert(b.end(), {9, 2});
    le16(b, total);
    b.insert(b.end(), {1, 1, 0, 0x80, 50});
    if (hub) {
        b.insert(b.end(), {9, 4, 0, 0, 1, 9, 0, 0, 0});
        b.insert(b.end(), {7, 5, 0x81, 3, 4, 0, 12});
    } else {
        b.insert(b.end(), {9, 4, InstrumentInterface, 0, 2, 0xFF, 0, 0, 0});
        b.insert(b.end(), {7, 5, uint8_t(EndpointOut), 2, 64, 0, 0});
        b.insert(b.end(), {7, 5, uint8_t(EndpointIn), 2, 64, 0, 0});
    }
    return b;
}

void writeNode(const std::string& name, const std::vector<uint8_t>& bytes, mode_t mode) {
    const std::string path = busDir + "/" + name;
    const int fd = realOpen(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()))
        ::fchmod(fd, mode);
    realClose(fd);
}

// Brings the tree in line with the devices attached now; handles of devices that left the bus
// (or whose number another device took) lose their device.
void syncTree() {
    ::mkdir(root.c_str(), 0755);
    ::mkdir(busDir.c_str(), 0755);
    std::map<std::string, usbsim::DeviceId> wanted{{"001", {0x1d6b, 0x0002}}};
    const std::vector<usbsim::DeviceId> devices = usbsim::AttachedDevices();
    for (size_t i = 0; i < devices.size(); ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%03zu", i + 2);
        wanted[name] = devices[i];
    }
    const std::string access = usbsim::Setting("node_access", "rw");
    const mode_t deviceMode = access == "none" ? 0600 : access == "ro" ? 0644 : 0666;
    for (auto& [name, id] : nodes)
        if (!wanted.count(name)) ::unlink((busDir + "/" + name).c_str());
    for (auto& [name, id] : wanted) {
        const bool hub = name == "001";
        writeNode(name, descriptors(id, hub), hub ? 0644 : deviceMode); // hubs: as udev leaves them
    }
    for (auto& [fd, h] : handles) {
        auto it = wanted.find(h.name);
        if (it == wanted.end() || it->second.vendor != h.id.vendor ||
            it->second.product != h.id.product)
            h.connected = false;
    }
    nodes = wanted;
}

void reloadScenario() {
    if (usbsim::Reload()) syncTree();
}

// The device file name when `path` is one of the tree's device files.
bool nodeName(const char* path, std::string* name) {
    if (!active.load() || !path) return false;
    const std::string p = normalise(path);
    if (p.size() != busDir.size() + 4 || p.compare(0, busDir.size(), busDir) != 0 ||
        p[busDir.size()] != '/')
        return false;
    *name = p.substr(busDir.size() + 1);
    for (char c : *name)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string hex(const uint8_t* bytes, int length) {
    std::string s;
    for (int i = 0; i < length && i < 4; ++i) {
        s += "0123456789ABCDEF"[bytes[i] >> 4];
        s += "0123456789ABCDEF"[bytes[i] & 15];
    }
    return s;
}

int fail(int error) {
    errno = error;
    return -1;
}

std::string epText(unsigned ep) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", ep & 0xFF);
    return text;
}

// Traces a request as it reached usbfs and, when it failed, its answer on a line of its own:
// "resetep 82", then "resetep 82 -> -19".
int traced(const std::string& what, int result) {
    const int error = errno;
    usbsim::Trace(what);
    if (result < 0) usbsim::Trace(what + " -> " + std::to_string(-error));
    errno = error;
    return result;
}

void complete(Handle& h, usbdevfs_urb* urb, int length) {
    urb->status = 0;
    urb->actual_length = length;
    h.completed.push_back(urb);
}

int submit(Handle& h, usbdevfs_urb* urb, int refusal) {
    const bool in = (urb->endpoint & 0x80) != 0;
    auto* bytes = static_cast<uint8_t*>(urb->buffer);
    const int length = urb->buffer_length;
    const std::string label = in ? "read " + std::to_string(length)
                                 : "write " + std::to_string(length) + " " + hex(bytes, length);
    if (refusal) {
        usbsim::Trace(label + " -> " + std::to_string(-refusal));
        return fail(refusal);
    }
    if (urb->type != USBDEVFS_URB_TYPE_BULK || length < 0) return fail(EINVAL);
    if (urb->endpoint != EndpointOut && urb->endpoint != EndpointIn) return fail(ENOENT);
    h.claimed = true; // the kernel claims the interface for a program that did not
    const usbsim::TransferFault fault = usbsim::BeginTransfer();
    switch (fault.kind) {
    case usbsim::TransferFault::Gone:
        syncTree();
        usbsim::Trace(label + " -> " + std::to_string(-ENODEV));
        return fail(ENODEV);
    case usbsim::TransferFault::Fail:
        usbsim::Trace(label + " -> " + std::to_string(fault.code));
        return fail(-fault.code);
    case usbsim::TransferFault::Hang: {
        Urb u{urb, label, Clock::now() + std::chrono::milliseconds(fault.hangMs),
              fault.hangMs >= 0};
        h.pending.push_back(u);
        return 0;
    }
    case usbsim::TransferFault::None:
        break;
    }
    if (!in) {
        usbsim::Command(bytes, length);
        complete(h, urb, length);
        usbsim::Trace(label + " -> " + std::to_string(length));
        return 0;
    }
    const int n = usbsim::Reply(bytes, length, fault.halve);
    if (n < 0) { // nothing to send: the instrument lets the library wait for its time-out
        h.pending.push_back({urb, label, Clock::now(), true});
        return 0;
    }
    complete(h, urb, n);
    usbsim::Trace(label + " -> " + std::to_string(n));
    return 0;
}

// Jumps the library's clock for the pending transfers whose time has come; true when it did.
bool expire(Handle& h) {
    bool jumped = false;
    for (Urb& u : h.pending)
        if (u.jumps && Clock::now() >= u.jumpAt) {
            u.jumps = false;
            clockSkipUs += ClockJumpUs;
            jumped = true;
        }
    return jumped;
}

int reap(Handle& h, void* arg) {
    expire(h);
    if (h.completed.empty()) return fail(h.connected ? EAGAIN : ENODEV);
    *static_cast<void**>(arg) = h.completed.front();
    h.completed.pop_front();
    return 0;
}

int discard(Handle& h, void* arg) {
    for (auto it = h.pending.begin(); it != h.pending.end(); ++it)
        if (it->user == arg) {
            // The library discards a transfer only when its time-out has passed.
            usbsim::Trace(it->label + " -> " + std::to_string(-ETIMEDOUT));
            it->user->status = -ENOENT;
            it->user->actual_length = 0;
            h.completed.push_back(it->user);
            h.pending.erase(it);
            return 0;
        }
    return fail(EINVAL);
}

// Standard descriptor requests on endpoint 0 are answered; the instrument stalls every other one.
int control(const Handle& h, usbdevfs_ctrltransfer* c) {
    if (c->bRequestType != 0x80 || c->bRequest != 6) return fail(EPIPE); // GET_DESCRIPTOR
    const std::vector<uint8_t> all = descriptors(h.id, h.hub);
    std::vector<uint8_t> d;
    const unsigned type = c->wValue >> 8, index = c->wValue & 0xFF;
    if (type == 1 && index == 0) {
        d.assign(all.begin(), all.begin() + 18);
    } else if (type == 2 && index == 0) {
        d.assign(all.begin() + 18, all.end());
    } else if (type == 3 && index == 0) {
        d = {4, 3, 0x09, 0x04}; // US English
    } else if (type == 3 && (index == 1 || index == 2)) {
        const std::string text = index == 1 ? "VYZ" : h.hub ? "Root hub" : "VYZ-1";
        d = {uint8_t(2 + 2 * text.size()), 3};
        for (char ch : text)
            d.insert(d.end(), {uint8_t(ch), 0});
    } else {
        return fail(EPIPE);
    }
    const size_t n = std::min<size_t>(d.size(), c->wLength);
    std::memcpy(c->data, d.data(), n);
    return static_cast<int>(n);
}

// Answers an ioctl on a device file as usbfs does: a handle opened read-only gets EPERM for
// everything, one whose device left the bus ENODEV for everything but reaping.
int deviceIoctl(Handle& h, unsigned long request, void* arg) {
    if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) {
        if (!h.writable) return fail(EPERM);
        if (request == USBDEVFS_REAPURB && h.completed.empty()) return fail(EINTR);
        return reap(h, arg);
    }
    const int refusal = !h.writable ? EPERM : !h.connected ? ENODEV : 0;
    if (refusal && request != USBDEVFS_SETCONFIGURATION && request != USBDEVFS_CLAIMINTERFACE &&
        request != USBDEVFS_RELEASEINTERFACE && request != USBDEVFS_RESETEP &&
        request != USBDEVFS_CLEAR_HALT && request != USBDEVFS_SUBMITURB &&
        request != USBDEVFS_RESET) // these are traced with their refusal
        return fail(refusal);
    switch (request) {
    case USBDEVFS_CONNECTINFO: {
        auto* info = static_cast<usbdevfs_connectinfo*>(arg);
        info->devnum = static_cast<unsigned>(std::atoi(h.name.c_str()));
        info->slow = 0;
        return 0;
    }
    case USBDEVFS_SETCONFIGURATION: {
        const int configuration = *static_cast<int*>(arg);
        const std::string what = "configuration " + std::to_string(configuration);
        const long error = usbsim::Number("config_error", 0);
        if (refusal) return traced(what, fail(refusal));
        if (error < 0) return traced(what, fail(static_cast<int>(-error)));
        if (configuration != 1 && configuration != -1) return traced(what, fail(EINVAL));
        return traced(what, 0);
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
        const bool claim = request == USBDEVFS_CLAIMINTERFACE;
        const unsigned interface = *static_cast<unsigned*>(arg);
        const std::string what = (claim ? "claim " : "release ") + std::to_string(interface);
        if (refusal) return traced(what, fail(refusal));
        if (interface != InstrumentInterface) return traced(what, fail(ENOENT));
        if (!claim && !h.claimed) return traced(what, fail(EINVAL));
        h.claimed = claim;
        return traced(what, 0);
    }
    case USBDEVFS_SETINTERFACE: {
        auto* s = static_cast<usbdevfs_setinterface*>(arg);
        return s->interface == InstrumentInterface && s->altsetting == 0 ? 0 : fail(EINVAL);
    }
    case USBDEVFS_RESETEP:
    case USBDEVFS_CLEAR_HALT: {
        const unsigned ep = *static_cast<unsigned*>(arg);
        const std::string what =
            (request == USBDEVFS_RESETEP ? "resetep " : "clear_halt ") + epText(ep);
        if (refusal) return traced(what, fail(refusal));
        if (ep != EndpointIn && ep != EndpointOut) return traced(what, fail(ENOENT));
        usbsim::DropReply();
        return traced(what, 0);
    }
    case USBDEVFS_RESET:
        if (refusal) return traced("reset", fail(refusal));
        usbsim::DropReply();
        return traced("reset", 0);
    case USBDEVFS_SUBMITURB:
        return submit(h, static_cast<usbdevfs_urb*>(arg), refusal);
    case USBDEVFS_DISCARDURB:
        return discard(h, arg);
    case USBDEVFS_GETDRIVER:
        return fail(ENODATA); // no kernel driver is bound to the instrument
    case USBDEVFS_IOCTL: {
        auto* c = static_cast<usbdevfs_ioctl*>(arg);
        return fail(c->ioctl_code == int(USBDEVFS_DISCONNECT) ? ENODATA : ENOTTY);
    }
    case USBDEVFS_CONTROL:
        return control(h, static_cast<usbdevfs_ctrltransfer*>(arg));
    default:
        return fail(ENOTTY);
    }
}

} // namespace

// Marks a program running over the emulation (benchmarks look for it).
EXPORT int vyz_usbfs_active(void) {
    return active.load() ? 1 : 0;
}

EXPORT DIR* opendir(const char* path) {
    if (inside) return realOpendir(path);
    Inside in;
    if (const char* env = std::getenv("USB_DEVFS_PATH"); env && *env) {
        const std::string wanted = normalise(env);
        if (!active.load()) { // once chosen, the tree stays where it is for the process
            root = wanted;
            busDir = root + "/001";
            nodes.clear();
            usbsim::Reload();
            syncTree();
            active = true;
        }
    }
    const std::string p = normalise(path);
    const bool isRoot = active.load() && p == root;
    const bool isBus = active.load() && p == busDir;
    if (!isRoot && !isBus) return realOpendir(path);
    reloadScenario();
    if (isBus) {
        usbsim::CountSearch(); // the library's device search reads this folder once
        syncTree();
    }
    DIR* d = realOpendir(path);
    if (!d) return d;
    Listing& l = listings[d];
    l.bus = isBus;
    l.names = {".", ".."};
    if (isBus)
        for (auto& [name, id] : nodes)
            l.names.push_back(name); // the bus order: the hub, then the scenario's order
    else
        l.names.push_back("001");
    if (isBus) {
        scanning = true;
        childPass.clear();
    }
    return d;
}

EXPORT dirent* readdir(DIR* d) {
    if (inside || !active.load()) return realReaddir(d);
    Inside in;
    auto it = listings.find(d);
    if (it == listings.end()) return realReaddir(d);
    Listing& l = it->second;
    if (l.next >= l.names.size()) return nullptr;
    const std::string& name = l.names[l.next++];
    l.entry = {};
    l.entry.d_ino = l.next;
    l.entry.d_type = name[0] == '.' || !l.bus ? DT_DIR : DT_CHR;
    std::snprintf(l.entry.d_name, sizeof l.entry.d_name, "%s", name.c_str());
    return &l.entry;
}

EXPORT int closedir(DIR* d) {
    if (!inside && active.load()) {
        Inside in;
        if (auto it = listings.find(d); it != listings.end()) {
            if (it->second.bus) scanning = false;
            listings.erase(it);
        }
    }
    return realClosedir(d);
}

EXPORT int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    std::string name;
    if (inside || !nodeName(path, &name)) return realOpen(path, flags, mode);
    Inside in;
    reloadScenario();
    const auto node = nodes.find(name);
    const bool hub = name == "001";
    const bool inPass = childPass.count(name) != 0;
    const bool byProgram = !scanning && !hub && !inPass;
    const bool write = (flags & O_ACCMODE) != O_RDONLY;
    struct stat st {};
    bool allowed = node != nodes.end() && ::stat(path, &st) == 0 && (st.st_mode & S_IROTH) &&
                   (!write || (st.st_mode & S_IWOTH));
    if (byProgram && usbsim::Number("open_fails", 0) != 0) allowed = false;
    if (!allowed) {
        if (byProgram) usbsim::Trace("open " + name + " refused");
        return fail(node == nodes.end() ? ENOENT : EACCES);
    }
    const int fd = realOpen(path, flags, mode);
    if (fd < 0) return fd;
    if (scanning)
        childPass.insert(name);
    else
        childPass.erase(name);
    if (fd >= FastFds) {
        realClose(fd);
        return fail(EMFILE);
    }
    Handle& h = handles[fd];
    h = Handle{};
    h.name = name;
    h.id = node->second;
    h.hub = hub;
    h.writable = write;
    h.byProgram = byProgram;
    ours[fd] = true;
    if (byProgram) usbsim::Trace("open " + name + (write ? "" : " read-only"));
    return fd;
}

EXPORT int close(int fd) {
    if (!inside && isOurs(fd)) {
        Inside in;
        if (auto it = handles.find(fd); it != handles.end()) {
            if (it->second.byProgram) usbsim::Trace("close");
            handles.erase(it);
        }
        ours[fd] = false;
    }
    return realClose(fd);
}

EXPORT int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (inside || !isOurs(fd)) return realIoctl(fd, request, arg);
    Inside in;
    auto it = handles.find(fd);
    if (it == handles.end()) return fail(EBADF);
    return deviceIoctl(it->second, request, arg);
}

// The library waits for a completed transfer with select() on the handle, writable when one is
// there (as usbfs's poll answers); a pending transfer whose time has come makes the clock jump.
EXPORT int select(int n, fd_set* r, fd_set* w, fd_set* e, timeval* tv) {
    int fd = -1;
    if (!inside && w)
        for (int i = 0; i < n && i < FastFds; ++i)
            if (FD_ISSET(i, w) && isOurs(i)) fd = i;
    if (fd < 0) return realSelect(n, r, w, e, tv);
    const auto until = Clock::now() + (tv ? std::chrono::seconds(tv->tv_sec) +
                                                std::chrono::microseconds(tv->tv_usec)
                                          : std::chrono::hours(24));
    for (;;) {
        bool ready = false;
        {
            Inside in;
            auto it = handles.find(fd);
            if (it == handles.end()) return fail(EBADF);
            if (expire(it->second)) break;
            ready = !it->second.completed.empty() || !it->second.connected;
        }
        if (ready) {
            if (r) FD_ZERO(r);
            if (e) FD_ZERO(e);
            FD_ZERO(w);
            FD_SET(fd, w);
            return 1;
        }
        if (Clock::now() >= until) break;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(1)));
    }
    if (r) FD_ZERO(r);
    if (e) FD_ZERO(e);
    FD_ZERO(w);
    return 0;
}

// The library's clock: the C library's, plus the jumps of unanswered transfers.
EXPORT int gettimeofday(timeval* tv, void* tz) {
    const int result = realGettimeofday(tv, tz);
    const long long skip = clockSkipUs.load();
    Dl_info info{};
    if (result == 0 && skip != 0 && ::dladdr(__builtin_return_address(0), &info) &&
        info.dli_fname && std::strstr(info.dli_fname, "libusb-0.1.so.4")) {
        const long long us = static_cast<long long>(tv->tv_usec) + skip;
        tv->tv_sec += static_cast<time_t>(us / 1000000);
        tv->tv_usec = static_cast<suseconds_t>(us % 1000000);
    }
    return result;
}
