#pragma once
// The POSIX backend of the port: a tty opened raw, exclusive and
// non-blocking; the read/write time-out rules run as poll deadlines; an
// eventfd (a pipe where eventfd fails) ends every wait when the port is
// aborted or closed.

#include "ComDevice.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

struct termios;

class TPosixComDevice : public TComDevice {
public:
    TPosixComDevice() = default;
    ~TPosixComDevice() override;

    int Open(const std::string &path) override;
    void Close() override;
    bool IsOpen() const override;
    int Handle() const override;
    int SetupQueues(int32_t inputSize, int32_t outputSize) override;
    int SetLineSettings(const TComDCB &dcb) override;
    int SetTimeouts(const TComTimeoutRecord &timeouts) override;
    int Read(void *buffer, int32_t count, int32_t &transferred) override;
    int Write(const void *buffer, int32_t count, int32_t &transferred) override;
    int WaitEvent(uint32_t mask, int stopFd, int32_t timeoutMs, uint32_t &occurred) override;
    int AbortIo() override;
    int GetModemStatus(uint32_t &status) override;
    bool Lost() const override;

    // Period at which a wait re-reads the modem lines for CTS/DSR/RLSD/ring
    // changes (devices without modem lines are not polled).
    static constexpr int ModemPollMs = 5;

    // How long Close waits for calls in progress on other threads to end
    // after it woke them. A call still inside the kernel then (a driver
    // that does not return) is left to finish: it ends with ECANCELED as
    // soon as it gets back, and the descriptor (with its lock on the
    // device) is closed when it leaves, not before.
    static constexpr int CloseWaitMs = 1000;

private:
    struct TChannel;
    struct TOp;
    int Enter(TOp &op);
    void Leave(TOp &op);

    mutable std::mutex FLock;
    std::condition_variable FIdle;
    // The open device; shared with the calls in progress, so that one that
    // outlives Close still holds valid descriptors.
    std::shared_ptr<TChannel> FChannel;
    bool FCancelled = false;
    TComTimeoutRecord FTimeouts;
};

// The termios flags of a line configuration, on a bare struct (speed left
// alone). 0, or EINVAL for values no tty takes, EOPNOTSUPP for handshaking
// Linux has no counterpart for (DSR flow, DSR sensitivity, DTR handshake,
// RTS toggle, null stripping, a replacement character other than 0).
int DcbToTermios(const TComDCB &dcb, struct termios &t);
// The Bnnn constant of a rate, or 0 when it has none.
unsigned StandardSpeed(uint32_t baud);
// termios2/BOTHER: any rate in bits per second (PosixTermios2.cpp, the one
// file that sees the kernel's termios headers).
int SetCustomBaudRate(int fd, uint32_t baud);
int GetCustomBaudRate(int fd, uint32_t &baud);
// The terminal's whole state as the kernel holds it (custom rates too), and
// putting it back with the hang-up-on-close flag left as it is now.
bool SaveTerminal(int fd, std::vector<unsigned char> &saved);
int RestoreTerminal(int fd, const std::vector<unsigned char> &saved);
