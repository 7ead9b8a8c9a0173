#pragma once
// The device a port name calls for: a network port ("rfc2217://HOST:PORT",
// "socket://HOST:PORT") or a local tty, chosen at each open. The port holds
// this one device whatever it opens.

#include "ComDevice.h"

#include <atomic>
#include <memory>

class TNamedComDevice : public TComDevice {
public:
    TNamedComDevice();
    ~TNamedComDevice() override;

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

private:
    std::unique_ptr<TComDevice> FLocal;
    std::unique_ptr<TComDevice> FNet;
    // The one last opened (or tried); calls on the other one's behalf find
    // it closed, as on a closed port.
    std::atomic<TComDevice *> FActive;
};
