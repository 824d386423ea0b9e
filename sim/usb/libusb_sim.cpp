// A VYZ-1 on a simulated USB bus, behind the libusb 0.1 API.
//
// The scenario comes from a small key=value file named by the environment variable
// VYZ_USBSIM_CONFIG (read again whenever its text changes, which restarts the fault counters):
//
//   devices=03eb:0130,0483:0130   attached devices in bus order (empty: none); default 03eb:0130
//   attach_after_searches=K       the devices appear at the K-th usb_find_devices call
//   archive=PATH                  a measurement file: 24-byte records from offset 0, or the marker
//                                 "GLONASS/GPS" padded to 16 bytes and 32-byte records
//   identity=TEXT                 identity text (default "VYZ-1 N001"); \0 stands for a zero byte
//   identity_hex=HEX              identity bytes in hexadecimal (e.g. cp1251 text)
//   identity_len=L                the length word sent before the text (default: its length)
//   state_len=X, archive_state=A  archive-state reply length word (default 2) and value (default N)
//   records_n=N, records_s=S      override the counts sent before the records
//   screen=colour|mono, screen_size=Z   display image kind and the size word sent before it
//   open_fails=1                  usb_open refuses the device (no access rights)
//   config_error=C                usb_set_configuration answers C
//   fail_transfer=K, fail_code=C  the K-th bulk transfer (1-based) answers C (default -110)
//   hang_transfer=K, hang_ms=T    the K-th bulk transfer blocks for T ms (default: its time-out),
//                                 then answers -110
//   short_transfer=K              the K-th bulk read delivers half of what was asked
//   gone_after=K                  after the K-th transfer the device leaves the bus (-19 then)
//   trace=PATH                    one line per call is appended to PATH
#include <usb.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Config {
    std::map<std::string, std::string> values;
    std::string get(const std::string& key, const std::string& fallback = {}) const {
        auto it = values.find(key);
        return it == values.end() ? fallback : it->second;
    }
    long num(const std::string& key, long fallback) const {
        auto it = values.find(key);
        return it == values.end() ? fallback : std::strtol(it->second.c_str(), nullptr, 0);
    }
    bool has(const std::string& key) const { return values.count(key) != 0; }
};

struct SimHandle {
    int device;
};

std::mutex simMutex;
std::string configText;
Config config;
long transfers = 0;
long searches = 0;
bool gone = false;
bool bussesReported = false;
std::string lastDeviceList = "?";
std::vector<uint8_t> reply;
size_t replyPos = 0;

constexpr int MaxDevices = 4;
usb_bus bus;
struct usb_device devices[MaxDevices];
char errorText[] = "simulated error";

void trace(const std::string& line) {
    const std::string path = config.get("trace");
    if (path.empty()) return;
    std::ofstream(path, std::ios::app) << line << '\n';
}

void loadConfig() {
    const char* path = std::getenv("VYZ_USBSIM_CONFIG");
    std::string text;
    if (path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    if (text == configText && !config.values.empty()) return;
    configText = text;
    config = {};
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        config.values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    config.values["#loaded"] = "1";
    transfers = 0;
    searches = 0;
    gone = false;
}

std::string currentDeviceList() {
    if (gone) return {};
    if (config.has("attach_after_searches") && searches < config.num("attach_after_searches", 0))
        return {};
    return config.get("devices", "03eb:0130");
}

void rebuildBus() {
    const std::string list = currentDeviceList();
    std::memset(&bus, 0, sizeof bus);
    std::strcpy(bus.dirname, "001");
    struct usb_device* previous = nullptr;
    int n = 0;
    std::istringstream items(list);
    std::string item;
    while (n < MaxDevices && std::getline(items, item, ',')) {
        unsigned vendor = 0, product = 0;
        if (std::sscanf(item.c_str(), "%x:%x", &vendor, &product) != 2) continue;
        struct usb_device& d = devices[n];
        std::memset(&d, 0, sizeof d);
        std::snprintf(d.filename, sizeof d.filename, "%03d", n + 2);
        d.bus = &bus;
        d.descriptor.bLength = sizeof d.descriptor;
        d.descriptor.bDescriptorType = USB_DT_DEVICE;
        d.descriptor.idVendor = static_cast<uint16_t>(vendor);
        d.descriptor.idProduct = static_cast<uint16_t>(product);
        d.descriptor.bNumConfigurations = 1;
        d.devnum = static_cast<uint8_t>(n + 2);
        d.prev = previous;
        if (previous)
            previous->next = &d;
        else
            bus.devices = &d;
        previous = &d;
        ++n;
    }
}

void put32(int32_t v) {
    for (int i = 0; i < 4; ++i)
        reply.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

// The records of the archive file, each padded to 32 bytes, and the file's record size.
std::vector<std::vector<uint8_t>> archiveRecords(int* recordSize) {
    std::vector<std::vector<uint8_t>> records;
    *recordSize = 24;
    const std::string path = config.get("archive");
    if (path.empty()) return records;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    size_t offset = 0;
    if (bytes.size() >= 16 && std::memcmp(bytes.data(), "GLONASS/GPS", 11) == 0) {
        *recordSize = 32;
        offset = 16;
    }
    for (; offset + *recordSize <= bytes.size(); offset += *recordSize) {
        std::vector<uint8_t> r(bytes.begin() + offset, bytes.begin() + offset + *recordSize);
        r.resize(32, 0);
        records.push_back(std::move(r));
    }
    return records;
}

std::string identityBytes() {
    if (config.has("identity_hex")) {
        const std::string hex = config.get("identity_hex");
        std::string out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        return out;
    }
    std::string text = config.get("identity", "VYZ-1 N001");
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
            out += '\0';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void answer(uint8_t code) {
    reply.clear();
    replyPos = 0;
    switch (code) {
    case 0x01: {
        const std::string id = identityBytes();
        put32(static_cast<int32_t>(config.num("identity_len", static_cast<long>(id.size()))));
        reply.insert(reply.end(), id.begin(), id.end());
        break;
    }
    case 0x02: {
        int size = 0;
        const long n = static_cast<long>(archiveRecords(&size).size());
        const long len = config.num("state_len", 2);
        put32(static_cast<int32_t>(len));
        const long a = config.num("archive_state", n);
        for (long i = 0; i < len && i < 64; ++i)
            reply.push_back(static_cast<uint8_t>(a >> (8 * i)));
        break;
    }
    case 0x03: {
        int fileSize = 24;
        const auto records = archiveRecords(&fileSize);
        const long n = config.num("records_n", static_cast<long>(records.size()));
        const long s = config.num("records_s", fileSize);
        put32(static_cast<int32_t>(n));
        put32(static_cast<int32_t>(s));
        if (n < 0 || n > 100000 || s <= 0 || s > 4096) break;
        for (long i = 0; i < n; ++i)
            for (long b = 0; b < s; ++b)
                reply.push_back(i < static_cast<long>(records.size()) && b < 32 ? records[i][b]
                                                                                : 0);
        break;
    }
    case 0x04: {
        const bool mono = config.get("screen", "colour") == "mono";
        const long size = config.num("screen_size", mono ? 9600 : 153600);
        put32(static_cast<int32_t>(size));
        const long body = mono ? 9600 : 153600;
        for (long i = 0; i < body; ++i)
            reply.push_back(static_cast<uint8_t>((i * 7 + 3) & 0xFF));
        break;
    }
    default:
        break;
    }
}

// Counts a bulk transfer and applies the scenario's faults; 1 when the transfer may go on.
int transferFault(int timeout, int* result) {
    ++transfers;
    if (gone) {
        *result = -ENODEV;
        return 0;
    }
    if (config.num("gone_after", -1) >= 0 && transfers > config.num("gone_after", -1)) {
        gone = true;
        *result = -ENODEV;
        return 0;
    }
    if (transfers == config.num("fail_transfer", -1)) {
        *result = static_cast<int>(config.num("fail_code", -ETIMEDOUT));
        return 0;
    }
    if (transfers == config.num("hang_transfer", -1)) {
        simMutex.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(config.num("hang_ms", timeout)));
        simMutex.lock();
        *result = -ETIMEDOUT;
        return 0;
    }
    return 1;
}

char hex2(uint8_t b) {
    return "0123456789ABCDEF"[b & 15];
}

} // namespace

EXPORT void usb_init(void) {
    std::lock_guard lock(simMutex);
    loadConfig();
    trace("init");
}

EXPORT void usb_set_debug(int) {}

EXPORT int usb_find_busses(void) {
    std::lock_guard lock(simMutex);
    loadConfig();
    const int changes = bussesReported ? 0 : 1;
    bussesReported = true;
    return changes;
}

EXPORT int usb_find_devices(void) {
    std::lock_guard lock(simMutex);
    loadConfig();
    ++searches;
    const std::string list = currentDeviceList();
    const int changes = list == lastDeviceList ? 0 : 1;
    lastDeviceList = list;
    rebuildBus();
    trace("find " + (list.empty() ? std::string("none") : list));
    return changes;
}

EXPORT struct usb_bus* usb_get_busses(void) {
    return &bus;
}

EXPORT usb_dev_handle* usb_open(struct usb_device* dev) {
    std::lock_guard lock(simMutex);
    if (config.num("open_fails", 0) != 0 || gone) {
        trace(std::string("open ") + dev->filename + " refused");
        return nullptr;
    }
    trace(std::string("open ") + dev->filename);
    reply.clear();
    replyPos = 0;
    return reinterpret_cast<usb_dev_handle*>(new SimHandle{static_cast<int>(dev - devices)});
}

EXPORT int usb_close(usb_dev_handle* handle) {
    std::lock_guard lock(simMutex);
    trace("close");
    delete reinterpret_cast<SimHandle*>(handle);
    return 0;
}

EXPORT int usb_set_configuration(usb_dev_handle*, int configuration) {
    std::lock_guard lock(simMutex);
    trace("configuration " + std::to_string(configuration));
    return static_cast<int>(config.num("config_error", 0));
}

EXPORT int usb_claim_interface(usb_dev_handle*, int interface) {
    std::lock_guard lock(simMutex);
    trace("claim " + std::to_string(interface));
    return 0;
}

EXPORT int usb_release_interface(usb_dev_handle*, int) {
    return 0;
}
EXPORT int usb_set_altinterface(usb_dev_handle*, int) {
    return 0;
}
EXPORT int usb_clear_halt(usb_dev_handle*, unsigned int) {
    return 0;
}
EXPORT int usb_reset(usb_dev_handle*) {
    return 0;
}

EXPORT int usb_resetep(usb_dev_handle*, unsigned int ep) {
    std::lock_guard lock(simMutex);
    char line[32];
    std::snprintf(line, sizeof line, "resetep %02X", ep);
    trace(line);
    reply.clear();
    replyPos = 0;
    return 0;
}

EXPORT int usb_bulk_write(usb_dev_handle*, int ep, const char* bytes, int size, int timeout) {
    std::lock_guard lock(simMutex);
    int result = size;
    if (transferFault(timeout, &result) && ep == 0x01) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes);
        if (size == 2 && b[1] == static_cast<uint8_t>(~b[0]))
            answer(b[0]);
        else
            reply.clear();
    }
    std::string line = "write " + std::to_string(size) + " ";
    for (int i = 0; i < size && i < 4; ++i) {
        line += hex2(static_cast<uint8_t>(bytes[i]) >> 4);
        line += hex2(static_cast<uint8_t>(bytes[i]));
    }
    trace(line + " -> " + std::to_string(result));
    return result;
}

EXPORT int usb_bulk_read(usb_dev_handle*, int ep, char* bytes, int size, int timeout) {
    std::lock_guard lock(simMutex);
    int result = 0;
    if (transferFault(timeout, &result)) {
        const size_t available = reply.size() - replyPos;
        if (ep != 0x82 || available == 0 || size <= 0) {
            result = -ETIMEDOUT;
        } else {
            size_t n = std::min(available, static_cast<size_t>(size));
            if (transfers == config.num("short_transfer", -1)) n /= 2;
            std::memcpy(bytes, reply.data() + replyPos, n);
            replyPos += n;
            result = static_cast<int>(n);
        }
    }
    trace("read " + std::to_string(size) + " -> " + std::to_string(result));
    return result;
}

EXPORT int usb_interrupt_write(usb_dev_handle*, int, const char*, int, int) {
    return -EIO;
}
EXPORT int usb_interrupt_read(usb_dev_handle*, int, char*, int, int) {
    return -EIO;
}
EXPORT int usb_control_msg(usb_dev_handle*, int, int, int, int, char*, int, int) {
    return -EIO;
}
EXPORT int usb_get_string(usb_dev_handle*, int, int, char*, size_t) {
    return -EIO;
}
EXPORT int usb_get_string_simple(usb_dev_handle*, int, char*, size_t) {
    return -EIO;
}
EXPORT int usb_get_descriptor(usb_dev_handle*, unsigned char, unsigned char, void*, int) {
    return -EIO;
}
EXPORT int usb_get_descriptor_by_endpoint(usb_dev_handle*, int, unsigned char, unsigned char, void*,
                                          int) {
    return -EIO;
}
EXPORT char* usb_strerror(void) {
    return errorText;
}
EXPORT struct usb_device* usb_device(usb_dev_handle* handle) {
    return &devices[reinterpret_cast<SimHandle*>(handle)->device];
}
