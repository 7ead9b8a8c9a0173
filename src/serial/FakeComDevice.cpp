#include "FakeComDevice.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>

void TFakeComState::Feed(const std::string &bytes)
{
    {
        std::lock_guard<std::mutex> g(Lock);
        Received += bytes;
    }
    Changed.notify_all();
}

void TFakeComState::SetModemStatus(uint32_t status)
{
    {
        std::lock_guard<std::mutex> g(Lock);
        ModemStatus = status;
    }
    Changed.notify_all();
}

void TFakeComState::Vanish(int err)
{
    {
        std::lock_guard<std::mutex> g(Lock);
        LostError = err;
    }
    Changed.notify_all();
}

TFakeComDevice::TFakeComDevice(std::shared_ptr<TFakeComState> state) : S(std::move(state))
{
}

int TFakeComDevice::Open(const std::string &path)
{
    std::lock_guard<std::mutex> g(S->Lock);
    S->OpenPath = path;
    if (S->OpenError)
        return S->OpenError;
    if (S->IsOpen)
        return EBUSY;
    S->IsOpen = true;
    S->LostError = 0;
    ++S->Opens;
    ++FGeneration;
    S->Log.push_back("open");
    return 0;
}

void TFakeComDevice::Close()
{
    {
        std::lock_guard<std::mutex> g(S->Lock);
        if (!S->IsOpen)
            return;
        S->IsOpen = false;
        S->Dtr = S->Rts = false;
        ++FGeneration;
        S->Log.push_back("close");
    }
    S->Changed.notify_all();
}

bool TFakeComDevice::IsOpen() const
{
    std::lock_guard<std::mutex> g(S->Lock);
    return S->IsOpen;
}

int TFakeComDevice::Handle() const
{
    return IsOpen() ? 1000 : -1;
}

bool TFakeComDevice::Lost() const
{
    std::lock_guard<std::mutex> g(S->Lock);
    return S->IsOpen && S->LostError != 0;
}

#define FAKE_ENTER()                                                                                                   \
    if (!S->IsOpen)                                                                                                    \
        return EBADF;                                                                                                  \
    if (S->LostError)                                                                                                  \
    return S->LostError

int TFakeComDevice::SetupQueues(int32_t inputSize, int32_t outputSize)
{
    std::lock_guard<std::mutex> g(S->Lock);
    FAKE_ENTER();
    ++S->QueueApplies;
    S->Log.push_back("queues");
    if (S->QueueError)
        return S->QueueError;
    S->InputSize = inputSize;
    S->OutputSize = outputSize;
    return 0;
}

int TFakeComDevice::SetLineSettings(const TComDCB &dcb)
{
    std::lock_guard<std::mutex> g(S->Lock);
    FAKE_ENTER();
    ++S->LineApplies;
    S->Log.push_back("line");
    if (S->LineError)
        return S->LineError;
    S->Dcb = dcb;
    S->Dtr = dcb.DtrControl == 1;
    S->Rts = dcb.RtsControl == 1;
    return 0;
}

int TFakeComDevice::SetTimeouts(const TComTimeoutRecord &timeouts)
{
    std::lock_guard<std::mutex> g(S->Lock);
    FAKE_ENTER();
    ++S->TimeoutApplies;
    S->Log.push_back("timeouts");
    if (S->TimeoutError)
        return S->TimeoutError;
    S->Timeouts = timeouts;
    return 0;
}

int TFakeComDevice::Read(void *buffer, int32_t count, int32_t &transferred)
{
    transferred = 0;
    std::unique_lock<std::mutex> g(S->Lock);
    if (!S->IsOpen)
        return EBADF;
    // Bytes that came before the device vanished are still handed over.
    if (S->LostError && S->Received.empty())
        return S->LostError;
    const uint64_t generation = FGeneration, aborts = FAborts;
    const auto &t = S->Timeouts;
    auto ready = [&] { return !S->Received.empty() || S->LostError || FGeneration != generation || FAborts != aborts; };
    const uint64_t total = uint64_t(t.ReadTotalTimeoutMultiplier) * uint64_t(count) + t.ReadTotalTimeoutConstant;
    // As a tty: no total and an interval of all ones returns at once, no
    // total otherwise waits for the first byte without limit.
    if (total > 0)
        S->Changed.wait_for(g, std::chrono::milliseconds(total), ready);
    else if (t.ReadIntervalTimeout != 0xFFFFFFFFu)
        S->Changed.wait(g, ready);
    if (FGeneration != generation || FAborts != aborts)
        return ECANCELED;
    if (S->Received.empty() && S->LostError)
        return S->LostError;
    transferred = int32_t(std::min<size_t>(size_t(count), S->Received.size()));
    std::memcpy(buffer, S->Received.data(), size_t(transferred));
    S->Received.erase(0, size_t(transferred));
    return 0;
}

int TFakeComDevice::Write(const void *buffer, int32_t count, int32_t &transferred)
{
    transferred = 0;
    std::lock_guard<std::mutex> g(S->Lock);
    FAKE_ENTER();
    S->Sent.append(static_cast<const char *>(buffer), size_t(count));
    transferred = count;
    return 0;
}

int TFakeComDevice::WaitEvent(uint32_t mask, int stopFd, int32_t timeoutMs, uint32_t &occurred)
{
    occurred = 0;
    std::unique_lock<std::mutex> g(S->Lock);
    if (!S->IsOpen)
        return EBADF;
    const uint64_t generation = FGeneration, aborts = FAborts;
    const uint32_t startLines = S->ModemStatus;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (FGeneration != generation || FAborts != aborts)
            return 0;
        if ((mask & EV_RXCHAR) && !S->Received.empty())
            occurred |= EV_RXCHAR;
        occurred |= ModemChangeEvents(startLines, S->ModemStatus);
        occurred &= mask;
        // Buffered input is reported before the loss, as a tty does.
        if (occurred)
            return 0;
        if (S->LostError)
            return S->LostError;
        if (stopFd > 0) {
            pollfd p {stopFd, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0)
                return 0;
        }
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline)
            return 0;
        // Short slices so a stop descriptor is seen without a notification.
        S->Changed.wait_for(g, std::chrono::milliseconds(5));
    }
}

int TFakeComDevice::AbortIo()
{
    {
        std::lock_guard<std::mutex> g(S->Lock);
        S->Log.push_back("abort");
        if (S->AbortError)
            return S->AbortError;
        ++FAborts;
        S->Received.clear();
    }
    S->Changed.notify_all();
    return 0;
}

int TFakeComDevice::GetModemStatus(uint32_t &status)
{
    status = 0;
    std::lock_guard<std::mutex> g(S->Lock);
    FAKE_ENTER();
    if (S->ModemError)
        return S->ModemError;
    status = S->ModemStatus;
    return 0;
}
