// A pseudo-terminal whose other side reads only when the test says so: the
// program opens Path() as its port, and once the kernel's buffer (a few
// kilobytes) is full, a write to it stays stuck for as long as the write
// time-outs allow. Unlike a socat pair, bytes written to the master still
// reach the port while its own write is stuck.
#pragma once

#include <QElapsedTimer>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

class TUndrainedPty {
public:
    TUndrainedPty()
    {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Master >= 0 && (::grantpt(Master) != 0 || ::unlockpt(Master) != 0)) {
            ::close(Master);
            Master = -1;
        }
        if (Master >= 0) {
            char Name[128] = {};
            if (::ptsname_r(Master, Name, sizeof Name) == 0)
                SlavePath = Name;
            ::fcntl(Master, F_SETFL, ::fcntl(Master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~TUndrainedPty() { CloseMaster(); }
    TUndrainedPty(const TUndrainedPty &) = delete;
    TUndrainedPty &operator=(const TUndrainedPty &) = delete;

    bool Ready() const { return Master >= 0 && !SlavePath.empty(); }
    const std::string &Path() const { return SlavePath; }

    // Bytes the port will receive.
    bool Write(const std::string &Bytes)
    {
        std::size_t Done = 0;
        while (Done < Bytes.size()) {
            const ssize_t N = ::write(Master, Bytes.data() + Done, Bytes.size() - Done);
            if (N > 0) {
                Done += std::size_t(N);
            } else if (N < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd P {Master, POLLOUT, 0};
                ::poll(&P, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }

    // Waits until the port wrote something (and leaves it unread).
    bool WaitWritten(int TimeoutMs = 5000)
    {
        pollfd P {Master, POLLIN, 0};
        return ::poll(&P, 1, TimeoutMs) > 0 && (P.revents & POLLIN);
    }

    // Reads what the port wrote until Count bytes came or nothing came for
    // QuietMs.
    std::string Read(std::size_t Count, int QuietMs = 1000)
    {
        std::string Got;
        QElapsedTimer Quiet;
        Quiet.start();
        while (Got.size() < Count && Quiet.elapsed() < QuietMs) {
            pollfd P {Master, POLLIN, 0};
            if (::poll(&P, 1, 20) <= 0)
                continue;
            char Buffer[65536];
            const ssize_t N = ::read(Master, Buffer, sizeof Buffer);
            if (N > 0) {
                Got.append(Buffer, std::size_t(N));
                Quiet.restart();
            }
        }
        return Got;
    }

    // The device vanishes: the port's calls fail from now on.
    void CloseMaster()
    {
        if (Master >= 0)
            ::close(Master);
        Master = -1;
    }

private:
    int Master = -1;
    std::string SlavePath;
};
