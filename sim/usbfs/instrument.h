// The simulated VYZ-1 behind the emulated USB device files: what it answers to each command and
// which faults the scenario puts on its transfers. The caller (the kernel side, usbfs.cpp) holds
// one lock around every call.
//
// The scenario comes from a small key=value file named by the environment variable
// VYZ_USBSIM_CONFIG (read again at every bus search and device open whenever its text changed,
// which restarts the fault counters):
//
//   devices=03eb:0130,0483:0130   attached devices in bus order (empty: none); default 03eb:0130
//   attach_after_searches=K       the devices appear at the K-th search of the bus
//   archive=PATH                  a measurement file: 24-byte records from offset 0, or the marker
//                                 "GLONASS/GPS" padded to 16 bytes and 32-byte records
//   identity=TEXT                 identity text (default "VYZ-1 N001"); \0 stands for a zero byte
//   identity_hex=HEX              identity bytes in hexadecimal (e.g. cp1251 text)
//   identity_len=L                the length word sent before the text (default: its length)
//   state_len=X, archive_state=A  archive-state reply length word (default 2) and value (default N)
//   records_n=N, records_s=S      override the counts sent before the records
//   screen=colour|mono, screen_size=Z   display image kind and the size word sent before it
//   node_access=rw|ro|none        the permissions of the instruments' device nodes for the user:
//                                 rw (default, as the udev rule grants), ro (readable only, the
//                                 system default without the rule), none (not even readable)
//   open_fails=1                  the node refuses every open outside a bus search (as when its
//                                 permissions change between the search and the open)
//   config_error=C                setting the configuration fails with C
//   fail_transfer=K, fail_code=C  the K-th bulk transfer (1-based) fails with C (default -110:
//                                 the instrument does not answer)
//   hang_transfer=K, hang_ms=T    the instrument leaves the K-th bulk transfer unanswered; after
//                                 T ms the library's clock jumps past its time-out (without
//                                 hang_ms the library waits its whole time-out)
//   short_transfer=K              the K-th bulk read delivers half of what was asked
//   gone_after=K                  after the K-th transfer the device leaves the bus
//   trace=PATH                    one line per device-side event is appended to PATH: "find
//                                 LIST" (or "find none") per bus search; the program's opens as
//                                 "open NNN", "open NNN read-only", "open NNN refused"; requests
//                                 as "configuration C", "claim I", "resetep EP", each refused one
//                                 followed by "... -> -errno"; transfers as "write N HEX -> R" and
//                                 "read N -> R"; "close"
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace usbsim {

struct DeviceId {
    uint16_t vendor;
    uint16_t product;
};

// What the scenario does to one bulk transfer.
struct TransferFault {
    enum Kind { None, Fail, Hang, Gone } kind = None;
    int code = 0;       // Fail: the negative errno
    long hangMs = -1;   // Hang: ms until the library's clock jumps; -1: never (its own time-out)
    bool halve = false; // None: a read delivers half of what was asked
};

// Rereads the scenario when its text changed; true when it did.
bool Reload();
std::string Setting(const std::string& key, const std::string& fallback = {});
long Number(const std::string& key, long fallback);

// One search of the bus: counts it and traces the devices then attached.
void CountSearch();
// The devices attached now (none while the device is gone or not yet attached).
std::vector<DeviceId> AttachedDevices();
bool Gone();

// Counts a bulk transfer and tells what happens to it (leaving the bus starts here).
TransferFault BeginTransfer();
// A command written to the OUT endpoint; the reply waits for the IN endpoint.
void Command(const uint8_t* bytes, int length);
// Moves up to `length` reply bytes; -1 when the instrument has nothing to send.
int Reply(uint8_t* buffer, int length, bool halve);
// An endpoint reset drops what the instrument had queued.
void DropReply();

void Trace(const std::string& line);

} // namespace usbsim
