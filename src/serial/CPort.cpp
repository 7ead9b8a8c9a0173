#include "CPort.h"

#include "ComDevice.h"
#include "NamedComDevice.h"
#include "SystemErrors.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

// ------------------------------------------------------------------ texts
namespace {

const char *const BaudRateTexts[BaudRateCount] = {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600",
    "14400", "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
const int32_t BaudRateValues[BaudRateCount] = {
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
const char *const DataBitsTexts[DataBitsCount] = {"5", "6", "7", "8"};
const char *const StopBitsTexts[StopBitsCount] = {"1", "1.5", "2"};
const char *const ParityTexts[ParityCount] = {"None", "Odd", "Even", "Mark", "Space"};
const char *const FlowControlTexts[FlowControlCount] = {"Hardware", "Software", "None", "Custom"};

// Device mask bit of each event, by ordinal.
const uint32_t EventMaskBits[10] = {
    EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK, EV_CTS, EV_DSR, EV_ERR, EV_RLSD, EV_RX80FULL};

const char *const ErrorTexts[23] = {"Unable to open com port", "WriteFile function failed", "ReadFile function failed",
    "Invalid Async parameter", "PurgeComm function failed", "Unable to get async status",
    "SetCommState function failed", "SetCommTimeouts failed", "SetupComm function failed",
    "ClearCommError function failed", "GetCommModemStatus function failed", "EscapeCommFunction function failed",
    "TransmitCommChar function failed", "Cannot set property while connected", "EnumPorts function failed",
    "Failed to store settings", "Failed to load settings", "Link (un)registration failed",
    "Cannot change led state if ComPort is selected", "Cannot wait for event if event thread is created",
    "WaitForEvent method failed", "A component is linked to OnRxBuf event", "Registry error"};

std::string UpperAscii(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

template <typename E, int N> E FindText(const char *const (&texts)[N], const std::string &text, E fallback)
{
    const std::string wanted = UpperAscii(text);
    for (int i = 0; i < N; ++i)
        if (UpperAscii(texts[i]) == wanted)
            return static_cast<E>(i);
    return fallback;
}

template <int N> std::string TextOf(const char *const (&texts)[N], int ordinal)
{
    return (ordinal >= 0 && ordinal < N) ? std::string(texts[ordinal]) : std::string();
}

std::string Tr(const char *text)
{
    return QCoreApplication::translate("cport", text).toStdString();
}

}  // namespace

std::string BaudRateToText(TBaudRate value)
{
    return TextOf(BaudRateTexts, value);
}
std::string DataBitsToText(TDataBits value)
{
    return TextOf(DataBitsTexts, value);
}
std::string StopBitsToText(TStopBits value)
{
    return TextOf(StopBitsTexts, value);
}
std::string ParityToText(TParityBits value)
{
    return TextOf(ParityTexts, value);
}
std::string FlowControlToText(TFlowControl value)
{
    return TextOf(FlowControlTexts, value);
}

TBaudRate TextToBaudRate(const std::string &text)
{
    return FindText(BaudRateTexts, text, br9600);
}
TDataBits TextToDataBits(const std::string &text)
{
    return FindText(DataBitsTexts, text, dbEight);
}
TStopBits TextToStopBits(const std::string &text)
{
    return FindText(StopBitsTexts, text, sbOneStopBit);
}
TParityBits TextToParity(const std::string &text)
{
    return FindText(ParityTexts, text, prNone);
}
TFlowControl TextToFlowControl(const std::string &text)
{
    return FindText(FlowControlTexts, text, fcCustom);
}

int32_t BaudRateToValue(TBaudRate value)
{
    return value < BaudRateCount ? BaudRateValues[value] : 0;
}

int DataBitsToValue(TDataBits value)
{
    return 5 + static_cast<int>(value);
}

uint32_t EventsToMask(TComEvents events)
{
    uint32_t mask = 0;
    for (int i = 0; i < 10; ++i)
        if (events.Contains(static_cast<TComEvent>(i)))
            mask |= EventMaskBits[i];
    return mask;
}

TComEvents MaskToEvents(uint32_t mask)
{
    TComEvents events;
    for (int i = 0; i < 10; ++i)
        if (mask & EventMaskBits[i])
            events.Include(static_cast<TComEvent>(i));
    return events;
}

// ------------------------------------------------------------------ errors
std::string ComErrorText(int32_t code)
{
    if (code < 1 || code > 23)
        return std::string();
    return Tr(ErrorTexts[code - 1]);
}

namespace {

// The cures speak of opening and configuring a device; other steps get the
// system's words alone.
std::string CauseOf(int32_t code, int32_t systemCode, std::string cause)
{
    if (systemCode < 0)
        return std::string();
    if (!cause.empty())
        return cause;
    if (code == CError_OpenFailed || code == CError_SetStateFailed)
        return OpenFailureCause(systemCode, TOpenFacts());
    return std::string(std::strerror(systemCode)) + ".";
}

// The message a Linux user reads: the fixed text, what the system said with a
// cure where one helps, and the errno value last, in parentheses.
std::string ComErrorMessage(int32_t code, int32_t systemCode, const std::string &cause)
{
    std::string message = ComErrorText(code);
    if (systemCode < 0)
        return message;
    message += ": ";
    message += cause.ends_with('.') ? cause.substr(0, cause.size() - 1) : cause;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, Tr(" (system error code: %d)").c_str(), systemCode);
    return message + suffix;
}

}  // namespace

EComPort::EComPort(int32_t code, int32_t systemErrorCode, std::string cause)
    : std::runtime_error(ComErrorMessage(code, systemErrorCode, CauseOf(code, systemErrorCode, cause))),
      FCode(code),
      FSystemCode(systemErrorCode),
      FCause(CauseOf(code, systemErrorCode, std::move(cause)))
{
}

bool EComPort::DeviceLost() const noexcept
{
    return IsDeviceLostError(FSystemCode);
}

// ------------------------------------------------------------ setting groups
#define COM_SETTER(Class, Name, Field, Type)                                                                           \
    void Class::Set##Name(Type value)                                                                                  \
    {                                                                                                                  \
        if (Field == value)                                                                                            \
            return;                                                                                                    \
        Field = value;                                                                                                 \
        Changed();                                                                                                     \
    }

void TComTimeouts::Assign(const TComTimeouts &s)
{
    FReadInterval = s.FReadInterval;
    FReadTotalM = s.FReadTotalM;
    FReadTotalC = s.FReadTotalC;
    FWriteTotalM = s.FWriteTotalM;
    FWriteTotalC = s.FWriteTotalC;
}

void TComTimeouts::Changed()
{
    if (FComPort)
        FComPort->ApplyTimeoutSettings();
}

COM_SETTER(TComTimeouts, ReadInterval, FReadInterval, int32_t)
COM_SETTER(TComTimeouts, ReadTotalMultiplier, FReadTotalM, int32_t)
COM_SETTER(TComTimeouts, ReadTotalConstant, FReadTotalC, int32_t)
COM_SETTER(TComTimeouts, WriteTotalMultiplier, FWriteTotalM, int32_t)
COM_SETTER(TComTimeouts, WriteTotalConstant, FWriteTotalC, int32_t)

void TComFlowControl::Assign(const TComFlowControl &s)
{
    FOutCTSFlow = s.FOutCTSFlow;
    FOutDSRFlow = s.FOutDSRFlow;
    FControlDTR = s.FControlDTR;
    FControlRTS = s.FControlRTS;
    FXonXoffOut = s.FXonXoffOut;
    FXonXoffIn = s.FXonXoffIn;
    FDSRSensitivity = s.FDSRSensitivity;
    FTxContinueOnXoff = s.FTxContinueOnXoff;
    FXonChar = s.FXonChar;
    FXoffChar = s.FXoffChar;
}

void TComFlowControl::Changed()
{
    if (FComPort)
        FComPort->ApplyLineSettings();
}

COM_SETTER(TComFlowControl, OutCTSFlow, FOutCTSFlow, bool)
COM_SETTER(TComFlowControl, OutDSRFlow, FOutDSRFlow, bool)
COM_SETTER(TComFlowControl, ControlDTR, FControlDTR, TDTRFlowControl)
COM_SETTER(TComFlowControl, ControlRTS, FControlRTS, TRTSFlowControl)
COM_SETTER(TComFlowControl, XonXoffOut, FXonXoffOut, bool)
COM_SETTER(TComFlowControl, XonXoffIn, FXonXoffIn, bool)
COM_SETTER(TComFlowControl, DSRSensitivity, FDSRSensitivity, bool)
COM_SETTER(TComFlowControl, TxContinueOnXoff, FTxContinueOnXoff, bool)
COM_SETTER(TComFlowControl, XonChar, FXonChar, uint8_t)
COM_SETTER(TComFlowControl, XoffChar, FXoffChar, uint8_t)

TFlowControl TComFlowControl::FlowControl() const
{
    if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcHardware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut)
        return fcSoftware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        FControlRTS = rtsDisable;
        FOutCTSFlow = false;
        FXonXoffIn = false;
        FXonXoffOut = false;
        if (value == fcHardware) {
            FControlRTS = rtsHandshake;
            FOutCTSFlow = true;
        } else if (value == fcSoftware) {
            FXonXoffIn = true;
            FXonXoffOut = true;
        }
    }
    Changed();
}

void TComParity::Assign(const TComParity &s)
{
    FBits = s.FBits;
    FCheck = s.FCheck;
    FReplace = s.FReplace;
    FReplaceChar = s.FReplaceChar;
}

void TComParity::Changed()
{
    if (FComPort)
        FComPort->ApplyLineSettings();
}

COM_SETTER(TComParity, Bits, FBits, TParityBits)
COM_SETTER(TComParity, Check, FCheck, bool)
COM_SETTER(TComParity, Replace, FReplace, bool)
COM_SETTER(TComParity, ReplaceChar, FReplaceChar, uint8_t)

void TComBuffer::Assign(const TComBuffer &s)
{
    FInputSize = s.FInputSize;
    FOutputSize = s.FOutputSize;
}

void TComBuffer::Changed()
{
    if (FComPort)
        FComPort->ApplyBufferSizes();
}

// The comparison is made before the odd size is evened.
void TComBuffer::SetInputSize(int32_t value)
{
    if (FInputSize == value)
        return;
    FInputSize = (value % 2 != 0) ? value - 1 : value;
    Changed();
}

void TComBuffer::SetOutputSize(int32_t value)
{
    if (FOutputSize == value)
        return;
    FOutputSize = (value % 2 != 0) ? value - 1 : value;
    Changed();
}

#undef COM_SETTER

// ---------------------------------------------------------------- the port
TCustomComPort::TCustomComPort(std::unique_ptr<TComDevice> device) : FDevice(std::move(device))
{
    if (!FDevice)
        FDevice = std::make_unique<TNamedComDevice>();
    FParity.FComPort = this;
    FFlowControl.FComPort = this;
    FTimeouts.FComPort = this;
    FBuffer.FComPort = this;
}

TCustomComPort::~TCustomComPort()
{
    try {
        CloseDevice();
    } catch (const EComPort &) {
        // The handle goes with the port whatever the abort said.
        ReleaseHandle();
    }
    auto notices = std::move(FDestroyNotices);
    for (auto &n : notices)
        n.second(this);
}

#define PORT_SETTER(Name, Field, Type, Apply)                                                                          \
    void TCustomComPort::Set##Name(Type value)                                                                         \
    {                                                                                                                  \
        if (Field == value)                                                                                            \
            return;                                                                                                    \
        Field = value;                                                                                                 \
        Apply;                                                                                                         \
    }

PORT_SETTER(BaudRate, FBaudRate, TBaudRate, ApplyLineSettings())
PORT_SETTER(CustomBaudRate, FCustomBaudRate, int32_t, ApplyLineSettings())
PORT_SETTER(DataBits, FDataBits, TDataBits, ApplyLineSettings())
PORT_SETTER(StopBits, FStopBits, TStopBits, ApplyLineSettings())
PORT_SETTER(DiscardNull, FDiscardNull, bool, ApplyLineSettings())
PORT_SETTER(EventChar, FEventChar, uint8_t, ApplyLineSettings())
PORT_SETTER(Events, FEvents, TComEvents, (void)0)
#undef PORT_SETTER

void TCustomComPort::SetPort(const std::string &value)
{
    if (FPort == value)
        return;
    FPort = value;
    if (FConnected) {
        CloseDevice();
        OpenDevice();
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (FSyncMethod == value)
        return;
    if (FConnected)
        throw EComPort(CError_ConnChangeProp);
    FSyncMethod = value;
}

void TCustomComPort::SetParity(const TComParity &value)
{
    FParity.Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl &value)
{
    FFlowControl.Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts &value)
{
    FTimeouts.Assign(value);
    ApplyTimeoutSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer &value)
{
    FBuffer.Assign(value);
    ApplyBufferSizes();
}

bool TCustomComPort::Connected() const
{
    return FConnected;
}

void TCustomComPort::SetConnected(bool value)
{
    if (value == FConnected)
        return;
    if (value)
        OpenDevice();
    else
        CloseDevice();
}

int TCustomComPort::DeviceHandle() const
{
    return FDevice->Handle();
}

bool TCustomComPort::DeviceLost() const
{
    return FDevice->Lost();
}

void TCustomComPort::CallSignal(const TComSignalEvent &slot, bool onOff)
{
    if (slot)
        slot(this, onOff);
}

void TCustomComPort::OpenDevice()
{
    if (FConnected)
        return;
    if (OnBeforeOpen)
        OnBeforeOpen(this);
    AcquireHandle();
    FConnected = true;
    try {
        ConfigureDevice();
    } catch (...) {
        ReleaseHandle();
        FConnected = false;
        throw;
    }
    // No event thread: this port never starts one, whatever Events holds.
    if (OnAfterOpen)
        OnAfterOpen(this);
    CallSignal(OnCTSChange, QueryModemLines().CTS);
    CallSignal(OnDSRChange, QueryModemLines().DSR);
    CallSignal(OnRLSDChange, QueryModemLines().RLSD);
}

void TCustomComPort::CloseDevice()
{
    if (!FConnected)
        return;
    CallSignal(OnCTSChange, false);
    CallSignal(OnDSRChange, false);
    CallSignal(OnRLSDChange, false);
    if (OnBeforeClose)
        OnBeforeClose(this);
    AbortPendingIo();
    ReleaseHandle();
    FConnected = false;
    if (OnAfterClose)
        OnAfterClose(this);
}

void TCustomComPort::AcquireHandle()
{
    const std::string path = ComPortDevicePath(FPort);
    if (int err = FDevice->Open(path))
        throw EComPort(CError_OpenFailed, err, FDevice->FailureCause(err, path));
}

void TCustomComPort::ReleaseHandle()
{
    if (FDevice->IsOpen())
        FDevice->Close();
}

void TCustomComPort::ConfigureDevice()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::AbortPendingIo()
{
    if (int err = FDevice->AbortIo())
        throw EComPort(CError_PurgeFailed, err);
}

void TCustomComPort::ApplyLineSettings()
{
    if (!FConnected)
        return;
    TComDCB dcb;
    dcb.BaudRate = static_cast<uint32_t>(FBaudRate == brCustom ? FCustomBaudRate : BaudRateToValue(FBaudRate));
    dcb.Parity = FParity.Check();
    dcb.OutxCtsFlow = FFlowControl.OutCTSFlow();
    dcb.OutxDsrFlow = FFlowControl.OutDSRFlow();
    dcb.DtrControl = FFlowControl.ControlDTR();
    dcb.DsrSensitivity = FFlowControl.DSRSensitivity();
    dcb.TXContinueOnXoff = FFlowControl.TxContinueOnXoff();
    dcb.OutX = FFlowControl.XonXoffOut();
    dcb.InX = FFlowControl.XonXoffIn();
    dcb.ErrorChar = FParity.Check() && FParity.Replace();
    dcb.Null = FDiscardNull;
    dcb.RtsControl = FFlowControl.ControlRTS();
    dcb.XonLim = static_cast<uint16_t>(FBuffer.InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = static_cast<uint8_t>(DataBitsToValue(FDataBits));
    dcb.ParityCode = FParity.Bits();
    dcb.StopBitsCode = FStopBits;
    dcb.XonCharValue = FFlowControl.XonChar();
    dcb.XoffCharValue = FFlowControl.XoffChar();
    dcb.ErrorCharValue = dcb.ErrorChar ? FParity.ReplaceChar() : 0;
    dcb.EvtChar = FEventChar;
    if (int err = FDevice->SetLineSettings(dcb))
        throw EComPort(CError_SetStateFailed, err);
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!FConnected)
        return;
    TComTimeoutRecord t;
    t.ReadIntervalTimeout = static_cast<uint32_t>(FTimeouts.ReadInterval());
    t.ReadTotalTimeoutMultiplier = static_cast<uint32_t>(FTimeouts.ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = static_cast<uint32_t>(FTimeouts.ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = static_cast<uint32_t>(FTimeouts.WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = static_cast<uint32_t>(FTimeouts.WriteTotalConstant());
    if (int err = FDevice->SetTimeouts(t))
        throw EComPort(CError_TimeoutsFailed, err);
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!FConnected)
        return;
    if (int err = FDevice->SetupQueues(FBuffer.InputSize(), FBuffer.OutputSize()))
        throw EComPort(CError_SetupComFailed, err);
}

int32_t TCustomComPort::ReadBlock(void *buffer, int32_t count)
{
    int32_t transferred = 0;
    if (int err = FDevice->Read(buffer, count, transferred))
        throw EComPort(CError_ReadFailed, err);
    return transferred;
}

int32_t TCustomComPort::WriteText(const std::string &text)
{
    if (text.empty())
        return 0;
    int32_t transferred = 0;
    const int32_t count = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    if (int err = FDevice->Write(text.data(), count, transferred))
        throw EComPort(CError_WriteFailed, err);
    return transferred;
}

void TCustomComPort::WaitForEvent(TComEvents &events, int stopEvent, int32_t timeout)
{
    if (FThreadCreated)
        throw EComPort(CError_ThreadCreated);
    uint32_t occurred = 0;
    if (int err = FDevice->WaitEvent(EventsToMask(events), stopEvent, timeout, occurred))
        throw EComPort(CError_WaitFailed, err);
    events = MaskToEvents(occurred);
}

TComModemLines TCustomComPort::QueryModemLines()
{
    uint32_t status = 0;
    if (int err = FDevice->GetModemStatus(status))
        throw EComPort(CError_ModemStatFailed, err);
    TComModemLines lines;
    lines.CTS = status & MS_CTS_ON;
    lines.DSR = status & MS_DSR_ON;
    lines.Ring = status & MS_RING_ON;
    lines.RLSD = status & MS_RLSD_ON;
    return lines;
}

int TCustomComPort::AddDestroyNotice(std::function<void(TCustomComPort *)> notice)
{
    const int id = FNextNoticeId++;
    FDestroyNotices.emplace_back(id, std::move(notice));
    return id;
}

void TCustomComPort::RemoveDestroyNotice(int id)
{
    std::erase_if(FDestroyNotices, [id](const auto &n) { return n.first == id; });
}

// ------------------------------------------------------------------ names
std::string ComPortDevicePath(const std::string &port)
{
    if (port.find('/') != std::string::npos)
        return port;
    if (port.size() > 3 && UpperAscii(port.substr(0, 3)) == "COM" &&
        std::all_of(port.begin() + 3, port.end(), [](char c) { return c >= '0' && c <= '9'; }) && port.size() < 13) {
        const long n = std::stol(port.substr(3));
        if (n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    if (port.empty())
        return std::string();
    return "/dev/" + port;
}
