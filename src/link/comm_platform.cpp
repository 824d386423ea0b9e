#include "link/comm_platform.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vyz {

// Rates without a Bxxx constant of their own (comm_platform_baud.cpp).
int SetCustomBaudRate(int fd, uint32_t baud);

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool NoModemLines(int err) {
    return err == ENOTTY || err == EINVAL;
}

speed_t StandardSpeed(uint32_t baud) {
    switch (baud) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

class PosixPlatform final : public CommPlatform {
public:
    int Open(const std::string& device, int& error) override {
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = errno;
            return -1;
        }
        // flock keeps out every other program that asks (and our own second copy); TIOCEXCL
        // keeps out plain opens by other users. Root passes TIOCEXCL, not the lock.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd);
            return -1;
        }
        ::ioctl(fd, TIOCEXCL);
        return fd;
    }

    void Close(int handle) override {
        ::ioctl(handle, TIOCNXCL);
        ::flock(handle, LOCK_UN); // released now, even while the event thread's handle lingers
        ::close(handle);
    }

    bool IsTerminal(int handle) override {
        struct stat st {};
        return ::fstat(handle, &st) == 0 && S_ISCHR(st.st_mode) && ::isatty(handle) == 1;
    }

    int ApplyTimeouts(int handle) override {
        termios t{};
        if (::tcgetattr(handle, &t) != 0) return errno;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        return ::tcsetattr(handle, TCSANOW, &t) == 0 ? 0 : errno;
    }

    int ApplyLine(int handle, const CommLineSettings& line) override {
        termios t{};
        if (::tcgetattr(handle, &t) != 0) return errno;
        // A raw byte line: no echo, no line editing, no character translation.
        t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK | IGNPAR);
        t.c_oflag &= ~OPOST;
        t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~CSIZE;
        switch (line.dataBits) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return EINVAL; // no 4-bit characters on this platform
        }
        t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
        switch (line.parity) {
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            t.c_cflag |= PARENB;
            break;
        case 3:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
        }
        if (line.parityCheck) t.c_iflag |= INPCK;
        // 1.5 stop bits is what the UART gives for CSTOPB with 5-bit characters.
        if (line.stopBits == 0)
            t.c_cflag &= ~CSTOPB;
        else
            t.c_cflag |= CSTOPB;
        switch (line.flowControl) {
        case 0: // none
        case 2: // DTR/DSR handshake: the platform has none
            t.c_cflag &= ~CRTSCTS;
            t.c_iflag &= ~(IXON | IXOFF | IXANY);
            break;
        case 1:
            t.c_cflag |= CRTSCTS;
            t.c_iflag &= ~(IXON | IXOFF | IXANY);
            break;
        case 3:
            t.c_cflag &= ~CRTSCTS;
            t.c_iflag |= IXON | IXOFF;
            break;
        default:
            break; // keep what the port has
        }
        t.c_cc[VSTART] = line.xonChar;
        t.c_cc[VSTOP] = line.xoffChar;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        const speed_t speed = StandardSpeed(line.baud);
        if (speed != B0) {
            ::cfsetispeed(&t, speed);
            ::cfsetospeed(&t, speed);
        }
        if (::tcsetattr(handle, TCSANOW, &t) != 0) return errno;
        return speed == B0 ? SetCustomBaudRate(handle, line.baud) : 0;
    }

    int Write(int handle, const uint8_t* data, int count, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int done = 0;
        while (done < count) {
            const ssize_t n = ::write(handle, data + done, static_cast<size_t>(count - done));
            if (n > 0) {
                done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return done > 0 ? done : -errno;
            const int left = RemainingMs(deadline);
            if (left == 0) break;
            pollfd p{handle, POLLOUT, 0};
            if (::poll(&p, 1, left) < 0 && errno != EINTR) break;
        }
        return done;
    }

    int Read(int handle, uint8_t* data, int count, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int done = 0;
        while (done < count) {
            const ssize_t n = ::read(handle, data + done, static_cast<size_t>(count - done));
            if (n > 0) {
                done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return done > 0 ? done : -errno;
            const int left = RemainingMs(deadline);
            if (left == 0) break;
            pollfd p{handle, POLLIN, 0};
            if (::poll(&p, 1, left) < 0 && errno != EINTR) break;
        }
        return done;
    }

    int InQueue(int handle) override {
        int n = 0;
        return ::ioctl(handle, FIONREAD, &n) == 0 ? n : -1;
    }

    int OutQueue(int handle) override {
        int n = 0;
        return ::ioctl(handle, TIOCOUTQ, &n) == 0 ? n : -1;
    }

    void Purge(int handle, bool input, bool output) override {
        if (input && output)
            ::tcflush(handle, TCIOFLUSH);
        else if (input)
            ::tcflush(handle, TCIFLUSH);
        else if (output)
            ::tcflush(handle, TCOFLUSH);
    }

    int ModemStatus(int handle, uint32_t& bits) override {
        bits = 0;
        int lines = 0;
        if (::ioctl(handle, TIOCMGET, &lines) != 0) return NoModemLines(errno) ? 0 : errno;
        if (lines & TIOCM_CTS) bits |= MS_CTS_ON;
        if (lines & TIOCM_DSR) bits |= MS_DSR_ON;
        if (lines & TIOCM_RNG) bits |= MS_RING_ON;
        if (lines & TIOCM_CAR) bits |= MS_RLSD_ON;
        return 0;
    }

    int SetModemControl(int handle, ModemControl line, bool on) override {
        int bit = line == ModemControl::Rts ? TIOCM_RTS : TIOCM_DTR;
        if (::ioctl(handle, on ? TIOCMBIS : TIOCMBIC, &bit) != 0)
            return NoModemLines(errno) ? 0 : errno;
        return 0;
    }

    int SetBreak(int handle, bool on) override {
        return ::ioctl(handle, on ? TIOCSBRK : TIOCCBRK) == 0 ? 0 : errno;
    }

    int SetTransmitStopped(int handle, bool stopped) override {
        return ::tcflow(handle, stopped ? TCOOFF : TCOON) == 0 ? 0 : errno;
    }

    int ReadLineCounters(int handle, LineCounters& counters) override {
        counters = {};
        serial_icounter_struct c{};
        if (::ioctl(handle, TIOCGICOUNT, &c) != 0) return errno;
        counters.breaks = static_cast<uint32_t>(c.brk);
        counters.errors = static_cast<uint32_t>(c.frame + c.parity + c.overrun + c.buf_overrun);
        return 0;
    }

    int OpenWatch(int handle) override { return ::fcntl(handle, F_DUPFD_CLOEXEC, 0); }
    void CloseWatch(int watch) override { ::close(watch); }
    int CreateWaker() override { return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }
    void Wake(int waker) override {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(waker, &one, sizeof one);
    }
    void CloseWaker(int waker) override { ::close(waker); }

    int WaitEvent(int watch, bool wantInput, int waker, int timeoutMs) override {
        pollfd p[2] = {{waker, POLLIN, 0}, {watch, static_cast<short>(wantInput ? POLLIN : 0), 0}};
        const int n = ::poll(p, 2, timeoutMs);
        if (n <= 0) return WaitTimeout;
        int result = 0;
        if (p[0].revents) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = ::read(waker, &count, sizeof count);
            result |= WaitWoken;
        }
        if (p[1].revents & POLLIN) result |= WaitInput;
        if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL)) result |= WaitGone;
        return result;
    }
};

} // namespace

std::shared_ptr<CommPlatform> PosixCommPlatform() {
    static const auto platform = std::make_shared<PosixPlatform>();
    return platform;
}

DeviceProbe ProbeSerialDevice(const std::string& path, bool needUart) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return DeviceProbe::Absent;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A port the user may not open (not in the dialout group) is there all the same: the
        // operator is told why it cannot be used rather than that it does not exist.
        if (errno == EACCES || errno == EPERM) return DeviceProbe::NoAccess;
        return errno == EBUSY ? DeviceProbe::Busy : DeviceProbe::Absent;
    }
    DeviceProbe result = ::isatty(fd) == 1 ? DeviceProbe::Present : DeviceProbe::Absent;
    if (result == DeviceProbe::Present && needUart) {
        serial_struct info{};
        if (::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN)
            result = DeviceProbe::Absent;
    }
    ::close(fd);
    return result;
}

} // namespace vyz
