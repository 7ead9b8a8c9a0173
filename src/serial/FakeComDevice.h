#pragma once
// A device played in memory, for tests of what a pseudo-terminal cannot show:
// modem lines, settings a driver refuses, a device that fails or vanishes.
// The test keeps the shared state and drives it while the port owns the device.

#include "ComDevice.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct TFakeComState {
    std::mutex Lock;
    std::condition_variable Changed;

    // Answers the device gives (0 accepts; an errno value refuses).
    int OpenError = 0;
    int QueueError = 0;
    int LineError = 0;
    int TimeoutError = 0;
    int AbortError = 0;
    int ModemError = 0;
    int LostError = 0;  // once set, every call fails with it

    // Modem input lines (MS_* bits) and what was applied last.
    uint32_t ModemStatus = 0;
    bool Dtr = false;
    bool Rts = false;
    TComDCB Dcb;
    TComTimeoutRecord Timeouts;
    int32_t InputSize = 0;
    int32_t OutputSize = 0;
    int LineApplies = 0;
    int TimeoutApplies = 0;
    int QueueApplies = 0;

    std::string OpenPath;  // path of the last open
    bool IsOpen = false;
    int Opens = 0;
    std::string Received;          // bytes waiting to be read
    std::string Sent;              // bytes written
    std::vector<std::string> Log;  // "open", "queues", "line", "timeouts", "abort", "close"

    // Helpers that wake a waiting reader.
    void Feed(const std::string &bytes);
    void SetModemStatus(uint32_t status);
    void Vanish(int err);
};

class TFakeComDevice : public TComDevice {
public:
    explicit TFakeComDevice(std::shared_ptr<TFakeComState> state);

    int Open(const std::string &path) override;
    void Close() override;
    bool IsOpen() const override;
    int Handle() const override;
    int SetupQueues(int32_t inputSize, int32_t outputSize) override;
    int SetLineSettings(const TComDCB &dcb) override;
    int SetTimeouts(const TComTimeoutRecord &timeouts) override;
    // Returns what is buffered at once; with nothing buffered it waits up to
    // the read total time-out for bytes (none: without limit, or not at all
    // for an interval of all ones).
    int Read(void *buffer, int32_t count, int32_t &transferred) override;
    int Write(const void *buffer, int32_t count, int32_t &transferred) override;
    int WaitEvent(uint32_t mask, int stopFd, int32_t timeoutMs, uint32_t &occurred) override;
    int AbortIo() override;
    int GetModemStatus(uint32_t &status) override;
    bool Lost() const override;

private:
    std::shared_ptr<TFakeComState> S;
    uint64_t FAborts = 0;
    uint64_t FGeneration = 0;
};
