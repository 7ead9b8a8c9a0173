// Rates without a Bnnn constant go through the kernel's termios2 (BOTHER).
// Its header clashes with glibc's <termios.h>, so it stays in this file.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

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

bool SaveTerminal(int fd, std::vector<unsigned char> &saved)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    saved.resize(sizeof t);
    std::memcpy(saved.data(), &t, sizeof t);
    return true;
}

int RestoreTerminal(int fd, const std::vector<unsigned char> &saved)
{
    struct termios2 found, now;
    if (saved.size() != sizeof found)
        return EINVAL;
    std::memcpy(&found, saved.data(), sizeof found);
    if (ioctl(fd, TCGETS2, &now) != 0)
        return errno;
    // Hang-up on close stays as the DTR setting made it: restoring the flag
    // found would drop DTR on close and reset a board the user keeps DTR off for.
    found.c_cflag = (found.c_cflag & ~tcflag_t(HUPCL)) | (now.c_cflag & HUPCL);
    // At once: waiting for the output to drain could wait for ever on a
    // device held by flow control or gone.
    if (ioctl(fd, TCSETS2, &found) != 0)
        return errno;
    return 0;
}
