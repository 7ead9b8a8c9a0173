#pragma once
// A serial port on another machine, behind a TCP server: "rfc2217://HOST:PORT"
// speaks Telnet with the Com Port Control option, so line settings, DTR/RTS
// and the modem lines travel with the data; "socket://HOST:PORT" is a raw
// byte stream. Connection faults are device faults: a server that closes the
// connection is a device that vanished (EIO).
//
// The socket is read by whichever call needs input (a read, a wait, a setting
// waiting for the server's answer), one at a time; what it decodes is kept
// for the others. An eventfd (a pipe where eventfd fails) ends every wait
// when the port is aborted or closed, as on a local port.

#include "ComDevice.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

// A network port name taken apart.
struct TNetPortName {
    bool Rfc2217 = false;
    std::string Host;  // without the brackets of an IPv6 address
    std::string Service;
};

// True for a name with one of the network schemes (any letter case), well
// formed or not: such a name is never a device path.
bool IsNetPortName(const std::string &name);
// "rfc2217://HOST:PORT" or "socket://HOST:PORT", HOST a name, an IPv4
// address or an IPv6 address in brackets, PORT 1..65535; false otherwise.
bool ParseNetPortName(const std::string &name, TNetPortName &out);

// Whether a server accepts a connection at the port name's address within
// timeoutMs: 0, or the errno of the failure. The connection is closed at
// once. Blocks: for threads other than the window's.
int ProbeNetPort(const std::string &name, int timeoutMs);

class TNetComDevice : public TComDevice {
public:
    TNetComDevice() = default;
    ~TNetComDevice() override;

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
    std::string FailureCause(int err, const std::string &path) const override;
    bool CarriesLineSettings() const override;

    // Name resolution, connection and the Telnet opening together end
    // within this time; the window waits no longer for an open.
    static constexpr int ConnectMs = 5000;
    // How long a setting waits for the server's answer.
    static constexpr int AnswerMs = 3000;
    // As the local device: how long Close waits for calls in progress.
    static constexpr int CloseWaitMs = 1000;
    // Received data kept undelivered before the socket is left unread (the
    // server then holds back, as a full driver buffer would).
    static constexpr std::size_t MaxBuffered = 4u << 20;

private:
    struct TChannel;
    struct TOp;
    int Enter(TOp &op);
    void Leave(TOp &op);

    mutable std::mutex FLock;
    std::condition_variable FIdle;
    std::shared_ptr<TChannel> FChannel;
    // The channel being connected by Open (the lock is not held meanwhile),
    // so that a close can end the connect.
    std::shared_ptr<TChannel> FConnecting;
    bool FCancelled = false;
    bool FRfc2217 = true;  // of the last opening
    TComTimeoutRecord FTimeouts;
    // Why the last Open failed, when the system code does not say it.
    std::string FOpenCause;
};
