// Rates without a Bnnn constant go through the kernel's termios2 (BOTHER).
// Its header clashes with glibc's <termios.h>, so it stays in this file.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <cstdint>

extern "C" int ioctl(int fd, unsigned long request, ...);

int SetCustomBaudRate(int fd, uint32_t baud)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    return 0;
}

int GetCustomBaudRate(int fd, uint32_t &baud)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    baud = t.c_ospeed;
    return 0;
}
