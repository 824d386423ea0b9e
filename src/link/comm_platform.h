// The lowest layer of the serial port component: every operating-system call the component makes
// goes through this interface, so the component's own logic (line settings, modem-line control,
// event dispatch) can run against a stand-in where the real thing cannot (modem lines).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vyz {

// Modem status bits, as the component reports them.
inline constexpr uint32_t MS_CTS_ON = 0x10;
inline constexpr uint32_t MS_DSR_ON = 0x20;
inline constexpr uint32_t MS_RING_ON = 0x40;
inline constexpr uint32_t MS_RLSD_ON = 0x80;

enum class ModemControl { Rts, Dtr };

// The line as the component wants it; the platform turns it into its own settings.
struct CommLineSettings {
    uint32_t baud = 9600;
    int dataBits = 8;    // 4..8; the platform refuses what it cannot do
    int parity = 0;      // TParity order: none, odd, even, mark, space
    int stopBits = 0;    // TStopBits order: 1, 1.5, 2
    int flowControl = 4; // TFlowControl order: none, CTS, DTR, software, default
    bool parityCheck = false;
    uint8_t xonChar = 17;
    uint8_t xoffChar = 19;
};

// Counters of line conditions since the port was opened (zero where the driver keeps none).
struct LineCounters {
    uint32_t breaks = 0;
    uint32_t errors = 0; // framing, parity, overrun
};

class CommPlatform {
public:
    virtual ~CommPlatform() = default;

    // Opens `device` for this program's exclusive use. Returns a handle >= 0, or -1 with
    // `error` set (EBUSY when another program holds the port).
    virtual int Open(const std::string& device, int& error) = 0;
    // Gives up the exclusive use and closes the handle.
    virtual void Close(int handle) = 0;
    // True when the handle is a terminal character device.
    virtual bool IsTerminal(int handle) = 0;
    // The read and write time-outs are kept by Read and Write themselves; this sets the platform
    // so that no read or write ever blocks on its own. Returns 0 or an error code.
    virtual int ApplyTimeouts(int handle) = 0;
    // Returns 0 or an error code (the settings are then left as they were).
    virtual int ApplyLine(int handle, const CommLineSettings& line) = 0;
    // Write and Read return the number of bytes moved, or a negative error code when nothing was
    // moved because of an error. Each returns when `count` bytes are moved or after `timeoutMs`.
    virtual int Write(int handle, const uint8_t* data, int count, int timeoutMs) = 0;
    virtual int Read(int handle, uint8_t* data, int count, int timeoutMs) = 0;
    // Bytes waiting in the receive / transmit queue; -1 when the query fails.
    virtual int InQueue(int handle) = 0;
    virtual int OutQueue(int handle) = 0;
    virtual void Purge(int handle, bool input, bool output) = 0;
    // MS_* bits. A device without modem lines (a pseudo-terminal) reads as all lines off and
    // takes line changes without effect. Returns 0 or an error code.
    virtual int ModemStatus(int handle, uint32_t& bits) = 0;
    virtual int SetModemControl(int handle, ModemControl line, bool on) = 0;
    virtual int SetBreak(int handle, bool on) = 0;
    // Stops (true) or restarts the transmitter as a received XOFF / XON would.
    virtual int SetTransmitStopped(int handle, bool stopped) = 0;
    virtual int ReadLineCounters(int handle, LineCounters& counters) = 0;

    // For the event thread: a handle of its own on the same port (closed with CloseWatch, which
    // leaves the port's exclusive use alone), a waker to end its waits, and the wait itself.
    virtual int OpenWatch(int handle) = 0;
    virtual void CloseWatch(int watch) = 0;
    virtual int CreateWaker() = 0;
    virtual void Wake(int waker) = 0;
    virtual void CloseWaker(int waker) = 0;
    enum WaitResult { WaitTimeout = 0, WaitInput = 1, WaitWoken = 2, WaitGone = 4 };
    // Waits up to timeoutMs (negative: without limit) for input on `watch` (only when
    // `wantInput`) or for the waker, which it resets. Returns WaitResult bits; WaitGone when the
    // port has gone away (hang-up).
    virtual int WaitEvent(int watch, bool wantInput, int waker, int timeoutMs) = 0;
};

// The platform of this system (POSIX terminals).
std::shared_ptr<CommPlatform> PosixCommPlatform();

// What a look at a device node finds: no usable port, a port, or a port another program holds.
enum class DeviceProbe { Absent, Present, Busy, NoAccess };
// The node must exist (symbolic links followed), be a character device and open as a terminal.
// With `needUart`, a serial port whose driver reports no UART behind it counts as absent.
DeviceProbe ProbeSerialDevice(const std::string& path, bool needUart);

} // namespace vyz
