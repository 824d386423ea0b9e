// The simulated VYZ-1: scenario, replies and transfer faults (see instrument.h).
#include "instrument.h"

#include "data/instrument_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace usbsim {
namespace {

std::map<std::string, std::string> settings;
std::string configText;
bool loaded = false;
long transfers = 0;
long searches = 0;
bool gone = false;
std::vector<uint8_t> reply;
size_t replyPos = 0;

bool Has(const std::string& key) {
    return settings.count(key) != 0;
}

void put32(int32_t v) {
    reply.resize(reply.size() + 4);
    vyz::PutLe32(reply.data() + reply.size() - 4, static_cast<uint32_t>(v));
}

// The records of the archive file, each padded to 32 bytes, and the file's record size.
std::vector<std::vector<uint8_t>> archiveRecords(int* recordSize) {
    std::vector<std::vector<uint8_t>> records;
    *recordSize = static_cast<int>(vyz::PlainRecordSize);
    const std::string path = Setting("archive");
    if (path.empty()) return records;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    // A file's records go out as they stand: a plain file's 24 bytes as the plain layout, a
    // coordinates file's 32 as the coordinates layout.
    const vyz::FileLayout layout = vyz::DetectLayout(bytes);
    *recordSize = static_cast<int>(layout.recordSize);
    for (size_t offset = layout.dataOffset; offset + *recordSize <= bytes.size();
         offset += *recordSize) {
        std::vector<uint8_t> r(bytes.begin() + offset, bytes.begin() + offset + *recordSize);
        r.resize(vyz::CoordinatesRecordSize, 0);
        records.push_back(std::move(r));
    }
    return records;
}

std::string identityBytes() {
    if (Has("identity_hex")) {
        const std::string hex = Setting("identity_hex");
        std::string out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        return out;
    }
    std::string text = Setting("identity", "VYZ-1 N001");
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
    case vyz::CmdIdentity: {
        const std::string id = identityBytes();
        put32(static_cast<int32_t>(Number("identity_len", static_cast<long>(id.size()))));
        reply.insert(reply.end(), id.begin(), id.end());
        break;
    }
    case vyz::CmdArchiveState: {
        int size = 0;
        const long n = static_cast<long>(archiveRecords(&size).size());
        const long len = Number("state_len", 2);
        put32(static_cast<int32_t>(len));
        const long a = Number("archive_state", n);
        for (long i = 0; i < len && i < 64; ++i)
            reply.push_back(static_cast<uint8_t>(a >> (8 * i)));
        break;
    }
    case vyz::CmdRecords: {
        int fileSize = 24;
        const auto records = archiveRecords(&fileSize);
        const long n = Number("records_n", static_cast<long>(records.size()));
        const long s = Number("records_s", fileSize);
        put32(static_cast<int32_t>(n));
        put32(static_cast<int32_t>(s));
        if (n < 0 || n > 100000 || s <= 0 || s > 4096) break;
        for (long i = 0; i < n; ++i)
            for (long b = 0; b < s; ++b)
                reply.push_back(i < static_cast<long>(records.size()) &&
                                        b < static_cast<long>(vyz::CoordinatesRecordSize)
                                    ? records[i][b]
                                    : 0);
        break;
    }
    case vyz::CmdScreen: {
        const bool mono = Setting("screen", "colour") == "mono";
        const long body = mono ? vyz::MonoImageBytes : vyz::ColourImageBytes;
        put32(static_cast<int32_t>(Number("screen_size", body)));
        for (long i = 0; i < body; ++i)
            reply.push_back(static_cast<uint8_t>((i * 7 + 3) & 0xFF));
        break;
    }
    default:
        break;
    }
}

std::string deviceListText() {
    if (gone) return {};
    if (Has("attach_after_searches") && searches < Number("attach_after_searches", 0)) return {};
    return Setting("devices", "03eb:0130");
}

} // namespace

bool Reload() {
    const char* path = std::getenv("VYZ_USBSIM_CONFIG");
    std::string text;
    if (path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    if (loaded && text == configText) return false;
    loaded = true;
    configText = text;
    settings.clear();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        settings[line.substr(0, eq)] = line.substr(eq + 1);
    }
    transfers = 0;
    searches = 0;
    gone = false;
    reply.clear();
    replyPos = 0;
    return true;
}

std::string Setting(const std::string& key, const std::string& fallback) {
    auto it = settings.find(key);
    return it == settings.end() ? fallback : it->second;
}

long Number(const std::string& key, long fallback) {
    auto it = settings.find(key);
    return it == settings.end() ? fallback : std::strtol(it->second.c_str(), nullptr, 0);
}

void CountSearch() {
    ++searches;
    const std::string list = deviceListText();
    Trace("find " + (list.empty() ? std::string("none") : list));
}

std::vector<DeviceId> AttachedDevices() {
    std::vector<DeviceId> devices;
    std::istringstream items(deviceListText());
    std::string item;
    while (std::getline(items, item, ',')) {
        unsigned vendor = 0, product = 0;
        if (std::sscanf(item.c_str(), "%x:%x", &vendor, &product) == 2)
            devices.push_back({static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)});
    }
    return devices;
}

bool Gone() {
    return gone;
}

TransferFault BeginTransfer() {
    ++transfers;
    TransferFault f;
    if (gone || (Number("gone_after", -1) >= 0 && transfers > Number("gone_after", -1))) {
        gone = true;
        f.kind = TransferFault::Gone;
    } else if (transfers == Number("fail_transfer", -1)) {
        f.code = static_cast<int>(Number("fail_code", -ETIMEDOUT));
        f.kind = f.code == -ETIMEDOUT ? TransferFault::Hang : TransferFault::Fail;
        f.hangMs = 0;
    } else if (transfers == Number("hang_transfer", -1)) {
        f.kind = TransferFault::Hang;
        f.hangMs = Number("hang_ms", -1);
    } else {
        f.halve = transfers == Number("short_transfer", -1);
    }
    return f;
}

void Command(const uint8_t* bytes, int length) {
    if (length == 2 && vyz::IsCommandFrame(bytes))
        answer(bytes[0]);
    else
        reply.clear();
}

int Reply(uint8_t* buffer, int length, bool halve) {
    const size_t available = reply.size() - replyPos;
    if (available == 0) return -1;
    size_t n = std::min(available, static_cast<size_t>(length));
    if (halve) n /= 2;
    std::memcpy(buffer, reply.data() + replyPos, n);
    replyPos += n;
    return static_cast<int>(n);
}

void DropReply() {
    reply.clear();
    replyPos = 0;
}

void Trace(const std::string& line) {
    const std::string path = Setting("trace");
    if (path.empty()) return;
    std::ofstream(path, std::ios::app) << line << '\n';
}

} // namespace usbsim
