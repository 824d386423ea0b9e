// Line rates without a Bxxx constant (14400, 56000, 128000, 256000) go through the kernel's
// termios2 interface, whose header cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <sys/ioctl.h>

namespace vyz {

int SetCustomBaudRate(int fd, uint32_t baud) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

} // namespace vyz
