#include "PosixComDevice.h"

#include "SystemErrors.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
constexpr uint32_t MaxDword = 0xFFFFFFFFu;

// A read of fewer bytes than this finds a trickle, gathered for GatherMs
// (at 3 Mbaud 50 ms is 15 KB, well inside the driver's buffer).
constexpr ssize_t TrickleBytes = 512;
constexpr int GatherMs = 50;

// Milliseconds left until deadline for poll: -1 for none, 0 when passed.
int PollTimeout(const Clock::time_point *deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<Ms>(*deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > 1000000 ? 1000000 : static_cast<int>(left);
}

uint32_t StatusFromTiocm(int bits)
{
    uint32_t status = 0;
    if (bits & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (bits & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (bits & TIOCM_RNG)
        status |= MS_RING_ON;
    if (bits & TIOCM_CAR)
        status |= MS_RLSD_ON;
    return status;
}

// Total time-out of a transfer of count bytes; false when none applies.
bool TotalTimeout(
    uint32_t multiplier, uint32_t constant, int32_t count, Clock::time_point start, Clock::time_point &deadline)
{
    if (multiplier == 0 && constant == 0)
        return false;
    const uint64_t ms = uint64_t(multiplier) * uint64_t(count > 0 ? count : 0) + constant;
    deadline = start + Ms(ms > 0x7FFFFFFFull ? 0x7FFFFFFFull : ms);
    return true;
}

// Pseudo-terminal slaves (Unix 98: majors 136-143), their multiplexer
// /dev/ptmx (5, 2) and its masters (128-135).
bool IsPseudoTerminal(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned maj = major(st.st_rdev);
    return (maj >= 128 && maj <= 143) || (maj == 5 && minor(st.st_rdev) == 2);
}

}  // namespace

// One opening of the device: its descriptor and the wake-up that ends the
// waits of calls in progress. Closed when the last of Close and those calls
// lets go of it.
struct TPosixComDevice::TChannel {
    int Fd = -1;
    int WakeRead = -1;    // an eventfd, or the read end of a pipe
    int WakeWrite = -1;   // the same eventfd, or the pipe's write end
    bool Pseudo = false;  // a pseudo-terminal
    int Active = 0;       // calls in progress; guarded by the device's FLock
    std::atomic<int> LostError {0};
    // The terminal settings found at open, put back at close (empty: none).
    std::vector<unsigned char> Found;

    void Wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(WakeWrite, &one, sizeof one);
    }
    ~TChannel()
    {
        // Before the descriptor closes, so that the last close sees them. A
        // device gone refuses them, which changes nothing.
        if (!Found.empty())
            RestoreTerminal(Fd, Found);
        ::ioctl(Fd, TIOCNXCL);
        ::close(Fd);
        ::close(WakeRead);
        if (WakeWrite != WakeRead)
            ::close(WakeWrite);
    }
};

// One call in progress: what it needs of the device, taken under the lock.
struct TPosixComDevice::TOp {
    std::shared_ptr<TChannel> Channel;
    int Fd = -1;
    int WakeFd = -1;
    TComTimeoutRecord Timeouts;

    // Notes the device as gone; returns err.
    int MarkLost(int err)
    {
        int expected = 0;
        Channel->LostError.compare_exchange_strong(expected, err);
        return err;
    }
};

TPosixComDevice::~TPosixComDevice()
{
    Close();
}

unsigned StandardSpeed(uint32_t baud)
{
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
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
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    case 2500000:
        return B2500000;
    case 3000000:
        return B3000000;
    case 3500000:
        return B3500000;
    case 4000000:
        return B4000000;
    default:
        return 0;
    }
}

int DcbToTermios(const TComDCB &dcb, struct termios &t)
{
    if (int err = CheckLineSettings(dcb))
        return err;

    t.c_iflag &=
        ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    // Closing drops DTR under HUPCL, which resets many boards: only when the
    // user keeps DTR on does closing hang up.
    if (dcb.DtrControl == 0)
        t.c_cflag &= ~tcflag_t(HUPCL);
    else
        t.c_cflag |= HUPCL;

    static const tcflag_t sizes[4] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize - 5];
    switch (dcb.ParityCode) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (dcb.StopBitsCode != 0)
        t.c_cflag |= CSTOPB;
    // Bytes with a parity error arrive as 0 under INPCK (the only
    // replacement a tty offers); without the check they pass as received.
    if (dcb.Parity && dcb.ErrorChar)
        t.c_iflag |= INPCK;
    // Linux couples CTS output flow and RTS input handshaking in one flag.
    if (dcb.OutxCtsFlow || dcb.RtsControl == 2)
        t.c_cflag |= CRTSCTS;
    if (dcb.OutX)
        t.c_iflag |= IXON;
    if (dcb.InX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = dcb.XonCharValue;
    t.c_cc[VSTOP] = dcb.XoffCharValue;
    // The descriptor is non-blocking; VMIN 1 makes an empty read answer
    // EAGAIN, so that 0 means hang-up only (VMIN 0 would return 0 for both).
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return 0;
}

int TPosixComDevice::Open(const std::string &path)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (FChannel)
        return EBUSY;
    if (path.empty())
        return ENOENT;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = 0;
    if (!::isatty(fd))
        err = ENOTTY;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        err = (errno == EWOULDBLOCK) ? EBUSY : errno;
    // TIOCEXCL keeps out later opens by programs that skip flock; an old
    // driver may refuse it, which is no reason to fail.
    else if (::ioctl(fd, TIOCEXCL) != 0 && !IsNoModemLinesError(errno))
        err = errno;
    int wake[2] = {-1, -1};
    if (!err) {
        wake[0] = wake[1] = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        // Without a wake-up no wait could be ended: a pipe does as well,
        // and with neither the open fails.
        if (wake[0] < 0 && ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
            err = errno;
    }
    if (err) {
        ::close(fd);
        return err;
    }
    FChannel = std::make_shared<TChannel>();
    FChannel->Fd = fd;
    FChannel->WakeRead = wake[0];
    FChannel->WakeWrite = wake[1];
    FChannel->Pseudo = IsPseudoTerminal(fd);
    // What another program (or the boot) set is put back at close.
    if (!SaveTerminal(fd, FChannel->Found))
        FChannel->Found.clear();
    FCancelled = false;
    FTimeouts = TComTimeoutRecord();
    return 0;
}

void TPosixComDevice::Close()
{
    std::unique_lock<std::mutex> lock(FLock);
    if (!FChannel)
        return;
    std::shared_ptr<TChannel> channel = std::move(FChannel);
    FCancelled = true;
    channel->Wake();
    FIdle.wait_for(lock, std::chrono::milliseconds(CloseWaitMs), [&channel] { return channel->Active == 0; });
    FCancelled = false;
    lock.unlock();
    // The descriptors close here, or as the last call still in progress leaves.
}

bool TPosixComDevice::IsOpen() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FChannel != nullptr;
}

int TPosixComDevice::Handle() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FChannel ? FChannel->Fd : -1;
}

bool TPosixComDevice::Lost() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FChannel && FChannel->LostError.load() != 0;
}

int TPosixComDevice::Enter(TOp &op)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (!FChannel)
        return EBADF;
    if (FCancelled)
        return ECANCELED;
    if (int lost = FChannel->LostError.load())
        return lost;
    ++FChannel->Active;
    op.Channel = FChannel;
    op.Fd = FChannel->Fd;
    op.WakeFd = FChannel->WakeRead;
    op.Timeouts = FTimeouts;
    return 0;
}

void TPosixComDevice::Leave(TOp &op)
{
    std::shared_ptr<TChannel> channel;
    {
        std::lock_guard<std::mutex> guard(FLock);
        channel = std::move(op.Channel);
        if (--channel->Active == 0)
            FIdle.notify_all();
    }
}

namespace {
// Leaves the device whichever way a call ends.
template <typename F> struct TLeave {
    F f;
    ~TLeave() { f(); }
};
template <typename F> TLeave(F) -> TLeave<F>;
}  // namespace

int TPosixComDevice::SetupQueues(int32_t, int32_t)
{
    // Linux drivers size their own queues; asking is accepted and changes nothing.
    TOp op;
    if (int err = Enter(op))
        return err;
    Leave(op);
    return 0;
}

int TPosixComDevice::SetTimeouts(const TComTimeoutRecord &timeouts)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (!FChannel)
        return EBADF;
    FTimeouts = timeouts;
    return 0;
}

int TPosixComDevice::SetLineSettings(const TComDCB &dcb)
{
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};

    struct termios t;
    if (::tcgetattr(op.Fd, &t) != 0)
        return IsDeviceLostError(errno) ? op.MarkLost(errno) : errno;
    if (int err = DcbToTermios(dcb, t))
        return err;
    const unsigned speed = StandardSpeed(dcb.BaudRate);
    // A rate without a constant is set through termios2 after the rest. A
    // separate input rate left by termios2 (CIBAUD = BOTHER) makes glibc's
    // tcsetattr refuse the struct: the input rate follows the output rate.
    t.c_cflag &= ~tcflag_t(CIBAUD);
    // A pseudo-terminal carries no line format: it keeps CS8 without parity
    // whatever it is given, and glibc's tcsetattr then reports EINVAL. Ask
    // it for what it keeps; the format was still checked above.
    if (op.Channel->Pseudo)
        t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) | CS8;
    ::cfsetispeed(&t, speed ? speed : B38400);
    ::cfsetospeed(&t, speed ? speed : B38400);
    if (::tcsetattr(op.Fd, TCSANOW, &t) != 0)
        return IsDeviceLostError(errno) ? op.MarkLost(errno) : errno;
    if (!speed)
        if (int err = SetCustomBaudRate(op.Fd, dcb.BaudRate))
            return err;

    // Read back: a driver may silently keep what it cannot do.
    struct termios back;
    if (::tcgetattr(op.Fd, &back) != 0)
        return IsDeviceLostError(errno) ? op.MarkLost(errno) : errno;
    const tcflag_t cmask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    if ((back.c_cflag & cmask) != (t.c_cflag & cmask))
        return EINVAL;
    if (speed) {
        if (::cfgetospeed(&back) != speed)
            return EINVAL;
    } else {
        uint32_t actual = 0;
        if (int err = GetCustomBaudRate(op.Fd, actual))
            return err;
        // Real UARTs report the rate their divisor gives; a UART tolerates 2 %.
        const double ratio = double(actual) / double(dcb.BaudRate);
        if (ratio < 0.98 || ratio > 1.02)
            return EINVAL;
    }

    // DTR and RTS switch at once; a device without modem lines ignores it.
    auto line = [&](int bit, bool on) -> int {
        if (::ioctl(op.Fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0 || IsNoModemLinesError(errno))
            return 0;
        return IsDeviceLostError(errno) ? op.MarkLost(errno) : errno;
    };
    if (int err = line(TIOCM_DTR, dcb.DtrControl == 1))
        return err;
    if (!(t.c_cflag & CRTSCTS))
        if (int err = line(TIOCM_RTS, dcb.RtsControl == 1))
            return err;
    return 0;
}

int TPosixComDevice::Read(void *buffer, int32_t count, int32_t &transferred)
{
    transferred = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    if (count <= 0)
        return 0;

    const TComTimeoutRecord &to = op.Timeouts;
    const auto start = Clock::now();
    Clock::time_point total;
    const bool hasTotal = TotalTimeout(to.ReadTotalTimeoutMultiplier, to.ReadTotalTimeoutConstant, count, start, total);
    // All-ones interval with no totals: return at once with what is buffered.
    const bool immediate = !hasTotal && to.ReadIntervalTimeout == MaxDword;
    const bool hasInterval = to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != MaxDword;
    auto *bytes = static_cast<unsigned char *>(buffer);
    Clock::time_point lastByte;
    ssize_t lastRead = 0;

    for (;;) {
        const ssize_t n = ::read(op.Fd, bytes + transferred, size_t(count - transferred));
        if (n > 0) {
            transferred += int32_t(n);
            lastRead = n;
            lastByte = Clock::now();
            // The total time-out bounds the whole read, also while bytes
            // keep coming: a steady stream must not make one endless block.
            if (transferred == count || (hasTotal && lastByte >= total))
                return 0;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN) {
            // End of file on a tty, or EIO: the device is gone. Bytes read
            // before are handed over; the next call reports the loss.
            const int err = (n == 0) ? EIO : errno;
            if (IsDeviceLostError(err))
                op.MarkLost(err);
            return transferred > 0 ? 0 : err;
        }
        if (immediate)
            return 0;

        Clock::time_point deadline;
        const Clock::time_point *limit = nullptr;
        if (hasTotal) {
            deadline = total;
            limit = &deadline;
        }
        if (hasInterval && transferred > 0) {
            const auto gapEnd = lastByte + Ms(to.ReadIntervalTimeout);
            if (!limit || gapEnd < deadline)
                deadline = gapEnd;
            limit = &deadline;
        }
        const int wait = PollTimeout(limit);
        if (wait == 0)
            return 0;
        // Bytes that trickle in (a short frame now and then) are gathered for
        // a while instead of waking for each one; what arrives meanwhile waits
        // in the driver's buffer, far below its size even at megabaud rates.
        // A stream that fills whole reads never waits. A hang-up still ends
        // the wait at once.
        const bool trickle = lastRead > 0 && lastRead < TrickleBytes;
        pollfd fds[2] = {{op.Fd, short(trickle ? 0 : POLLIN), 0}, {op.WakeFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, trickle ? std::min(wait, GatherMs) : wait);
        if (r < 0 && errno != EINTR)
            return errno;
        if (fds[1].revents)
            return ECANCELED;
        // POLLHUP/POLLERR: the next read answers EIO or 0.
    }
}

int TPosixComDevice::Write(const void *buffer, int32_t count, int32_t &transferred)
{
    transferred = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    if (count <= 0)
        return 0;

    const TComTimeoutRecord &to = op.Timeouts;
    Clock::time_point total;
    const bool hasTotal =
        TotalTimeout(to.WriteTotalTimeoutMultiplier, to.WriteTotalTimeoutConstant, count, Clock::now(), total);
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    for (;;) {
        const ssize_t n = ::write(op.Fd, bytes + transferred, size_t(count - transferred));
        if (n > 0) {
            transferred += int32_t(n);
            if (transferred == count)
                return 0;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return IsDeviceLostError(errno) ? op.MarkLost(errno) : errno;
        // Running out of time is no error: the write reports fewer bytes.
        const int wait = PollTimeout(hasTotal ? &total : nullptr);
        if (wait == 0)
            return 0;
        pollfd fds[2] = {{op.Fd, POLLOUT, 0}, {op.WakeFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, wait);
        if (r < 0 && errno != EINTR)
            return errno;
        if (fds[1].revents)
            return ECANCELED;
    }
}

int TPosixComDevice::WaitEvent(uint32_t mask, int stopFd, int32_t timeoutMs, uint32_t &occurred)
{
    occurred = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};

    const bool wantRx = mask & EV_RXCHAR;
    const uint32_t lineMask = mask & ModemLineEventMask;
    int lines = 0;
    bool pollLines = false;
    if (lineMask) {
        if (::ioctl(op.Fd, TIOCMGET, &lines) == 0)
            pollLines = true;
        else if (IsDeviceLostError(errno))
            return op.MarkLost(errno);
    }
    Clock::time_point deadline;
    if (timeoutMs >= 0)
        deadline = Clock::now() + Ms(timeoutMs);

    for (;;) {
        int wait = PollTimeout(timeoutMs >= 0 ? &deadline : nullptr);
        if (pollLines && (wait < 0 || wait > ModemPollMs))
            wait = ModemPollMs;
        pollfd fds[3] = {{op.Fd, short(wantRx ? POLLIN : 0), 0}, {op.WakeFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int r = ::poll(fds, stopFd > 0 ? 3 : 2, wait);
        if (r < 0 && errno != EINTR)
            return errno;
        if (r > 0) {
            if (fds[1].revents || (stopFd > 0 && fds[2].revents))
                return 0;
            const short ev = fds[0].revents;
            if (ev & POLLNVAL)
                return EBADF;
            if (ev & (POLLHUP | POLLERR)) {
                // Hang-up: bytes still buffered are reported first, then
                // the loss, so nothing received is dropped and no caller spins.
                int pending = 0;
                if (wantRx && ::ioctl(op.Fd, FIONREAD, &pending) == 0 && pending > 0) {
                    occurred |= EV_RXCHAR;
                    return 0;
                }
                return op.MarkLost(EIO);
            }
            if (wantRx && (ev & POLLIN))
                occurred |= EV_RXCHAR;
        }
        if (pollLines) {
            int now = 0;
            if (::ioctl(op.Fd, TIOCMGET, &now) != 0)
                return IsDeviceLostError(errno) ? op.MarkLost(errno) : errno;
            occurred |= ModemChangeEvents(StatusFromTiocm(lines), StatusFromTiocm(now));
            lines = now;
            occurred &= (lineMask | (wantRx ? EV_RXCHAR : 0u));
        }
        if (occurred)
            return 0;
        if (timeoutMs >= 0 && PollTimeout(&deadline) == 0)
            return 0;
    }
}

int TPosixComDevice::AbortIo()
{
    std::lock_guard<std::mutex> guard(FLock);
    if (!FChannel)
        return 0;
    // A device that is gone has nothing left to discard: its close must go on.
    if (::tcflush(FChannel->Fd, TCIOFLUSH) != 0 && !IsDeviceLostError(errno) && FChannel->LostError.load() == 0)
        return errno;
    FCancelled = true;
    FChannel->Wake();
    return 0;
}

int TPosixComDevice::GetModemStatus(uint32_t &status)
{
    status = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    int bits = 0;
    if (::ioctl(op.Fd, TIOCMGET, &bits) != 0) {
        if (IsNoModemLinesError(errno))
            return 0;
        return IsDeviceLostError(errno) ? op.MarkLost(errno) : errno;
    }
    status = StatusFromTiocm(bits);
    return 0;
}
