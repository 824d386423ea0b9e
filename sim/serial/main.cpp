// vyz_serial_sim: a VYZ-1 on one end of a pseudo-terminal pair. Prints "PTY <slave path>" first,
// then one line per request it sees. Link the slave path into a device folder as, say, ttyUSB0.
//
//   vyz_serial_sim --file archive.vyz [--id 150320] [--announce N] [--real-timing]
//                  [--turnaround-us N] [--count-delay-us N] [--silent] [--silent-after N]
//                  [--corrupt ident|count|record:N]
//                  [--pieces PAUSE_MS[:SIZE]] [--end-after INDEX] [--next-indexes A,B,...]
#include "instrument_model.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

using namespace vyzsim;

namespace {

int64_t NowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr, "vyz_serial_sim: %s\n", why);
    std::exit(2);
}

bool ParseOptions(int argc, char** argv, InstrumentOptions& o) {
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(("missing value for " + a).c_str());
            return argv[++i];
        };
        if (a == "--file")
            file = value();
        else if (a == "--id") {
            const std::string id = value();
            if (id.size() != 6) Usage("--id needs six characters");
            std::memcpy(o.id.data(), id.data(), 6);
        } else if (a == "--announce")
            o.announce = std::stoi(value());
        else if (a == "--real-timing")
            o.realTiming = true;
        else if (a == "--turnaround-us")
            o.turnaroundUs = std::stoll(value());
        else if (a == "--count-delay-us")
            o.countDelayUs = std::stoll(value());
        else if (a == "--silent")
            o.silent = true;
        else if (a == "--silent-after")
            o.silentAfter = std::stoi(value());
        else if (a == "--corrupt")
            o.corrupt = value();
        else if (a == "--pieces") {
            const std::string v = value();
            o.piecePauseUs = std::stoll(v) * 1000;
            if (const auto colon = v.find(':'); colon != std::string::npos)
                o.pieceSize = std::max(1, std::stoi(v.substr(colon + 1)));
        } else if (a == "--end-after")
            o.endAfter = std::stoi(value());
        else if (a == "--next-indexes") {
            const std::string v = value();
            for (size_t at = 0; at < v.size();) {
                size_t end = v.find(',', at);
                if (end == std::string::npos) end = v.size();
                o.nextIndexes.push_back(static_cast<uint16_t>(std::stoi(v.substr(at, end - at))));
                at = end + 1;
            }
        } else
            Usage(("unknown option " + a).c_str());
    }
    if (file.empty()) return true;
    std::string error;
    if (!LoadMeasurementFile(file, o.records, error)) Usage(error.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    InstrumentOptions options;
    ParseOptions(argc, argv, options);
    prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive the test that started us
    // A UART keeps its timing to the bit: wake for each byte within microseconds of its time
    // (the default timer slack would make every byte up to 50 us late).
    prctl(PR_SET_TIMERSLACK, 1000UL);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) Usage("no pseudo-terminal");
    const char* slavePath = ptsname(master);
    // Holding the slave open ourselves keeps the master readable while the program closes and
    // reopens the port.
    const int slave = open(slavePath, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) Usage("cannot open the slave");
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::printf("PTY %s\n", slavePath);
    std::fflush(stdout);

    InstrumentModel model(options);
    struct Due {
        int64_t atUs;
        std::vector<uint8_t> bytes;
    };
    std::deque<Due> out;
    uint8_t buffer[256];
    bool blocked = false;
    for (;;) {
        timespec wait{};
        timespec* timeout = nullptr;
        if (!out.empty()) {
            const int64_t left = std::max<int64_t>(0, out.front().atUs - NowUs());
            wait.tv_sec = left / 1000000;
            wait.tv_nsec = (left % 1000000) * 1000;
            timeout = blocked ? nullptr : &wait;
        }
        pollfd p{master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0};
        if (ppoll(&p, 1, timeout, nullptr) < 0 && errno != EINTR) return 1;
        if (p.revents & POLLIN) {
            const int64_t received = NowUs();
            const ssize_t n = read(master, buffer, sizeof buffer);
            std::vector<Chunk> plan;
            if (n > 0 && model.Receive(buffer, static_cast<size_t>(n), plan)) {
                out.clear();
                for (Chunk& c : plan)
                    out.push_back({received + c.atUs, std::move(c.bytes)});
            }
            for (const std::string& line : model.TakeLog())
                std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
        // A full line keeps the bytes for the next turn instead of losing them.
        blocked = false;
        while (!out.empty() && out.front().atUs <= NowUs()) {
            auto& bytes = out.front().bytes;
            const ssize_t n = write(master, bytes.data(), bytes.size());
            if (n < 0 && errno != EAGAIN) return 1;
            if (n < static_cast<ssize_t>(bytes.size())) {
                bytes.erase(bytes.begin(), bytes.begin() + std::max<ssize_t>(n, 0));
                blocked = true;
                break;
            }
            out.pop_front();
        }
    }
}
