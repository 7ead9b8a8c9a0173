#include "NamedComDevice.h"

#include "NetComDevice.h"
#include "PosixComDevice.h"

TNamedComDevice::TNamedComDevice()
    : FLocal(std::make_unique<TPosixComDevice>()), FNet(std::make_unique<TNetComDevice>()), FActive(FLocal.get())
{
}

TNamedComDevice::~TNamedComDevice()
{
    FNet->Close();
    FLocal->Close();
}

int TNamedComDevice::Open(const std::string &path)
{
    if (FActive.load()->IsOpen())
        return EBUSY;
    TComDevice *chosen = IsNetPortName(path) ? FNet.get() : FLocal.get();
    FActive = chosen;
    return chosen->Open(path);
}

void TNamedComDevice::Close()
{
    FActive.load()->Close();
}

bool TNamedComDevice::IsOpen() const
{
    return FActive.load()->IsOpen();
}

int TNamedComDevice::Handle() const
{
    return FActive.load()->Handle();
}

int TNamedComDevice::SetupQueues(int32_t inputSize, int32_t outputSize)
{
    return FActive.load()->SetupQueues(inputSize, outputSize);
}

int TNamedComDevice::SetLineSettings(const TComDCB &dcb)
{
    return FActive.load()->SetLineSettings(dcb);
}

int TNamedComDevice::SetTimeouts(const TComTimeoutRecord &timeouts)
{
    return FActive.load()->SetTimeouts(timeouts);
}

int TNamedComDevice::Read(void *buffer, int32_t count, int32_t &transferred)
{
    return FActive.load()->Read(buffer, count, transferred);
}

int TNamedComDevice::Write(const void *buffer, int32_t count, int32_t &transferred)
{
    return FActive.load()->Write(buffer, count, transferred);
}

int TNamedComDevice::WaitEvent(uint32_t mask, int stopFd, int32_t timeoutMs, uint32_t &occurred)
{
    return FActive.load()->WaitEvent(mask, stopFd, timeoutMs, occurred);
}

int TNamedComDevice::AbortIo()
{
    return FActive.load()->AbortIo();
}

int TNamedComDevice::GetModemStatus(uint32_t &status)
{
    return FActive.load()->GetModemStatus(status);
}

bool TNamedComDevice::Lost() const
{
    return FActive.load()->Lost();
}

std::string TNamedComDevice::FailureCause(int err, const std::string &path) const
{
    return FActive.load()->FailureCause(err, path);
}

bool TNamedComDevice::CarriesLineSettings() const
{
    return FActive.load()->CarriesLineSettings();
}
