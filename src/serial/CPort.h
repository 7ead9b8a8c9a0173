#pragma once
// The serial port component: line settings, their texts, and TComPort, which
// opens one serial device and reads, writes and waits on it.
//
// Threads: settings, open and close belong to the UI thread. One other
// thread may sit in WaitForEvent/ReadBlock/QueryModemLines and one more in
// WriteText at the same time; CloseDevice from the UI thread ends such a call
// at once.

#include "ComDevice.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// ---------------------------------------------------------------- enumerations
// Ordinals are item indexes of the setting combos and are stored in the
// settings file: never reorder.

enum TBaudRate : uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : uint8_t { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TComProperty : uint8_t { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

constexpr int BaudRateCount = 16;
constexpr int DataBitsCount = 4;
constexpr int StopBitsCount = 3;
constexpr int ParityCount = 5;
constexpr int FlowControlCount = 4;

// A set of TComEvent: bit n of the 16-bit word stands for the event of
// ordinal n; bits 10 to 15 are always 0.
class TComEvents {
public:
    constexpr TComEvents() = default;
    constexpr TComEvents(std::initializer_list<TComEvent> events)
    {
        for (TComEvent e : events)
            FWord = static_cast<uint16_t>(FWord | (1u << e));
    }
    static constexpr TComEvents FromWord(uint16_t word)
    {
        TComEvents s;
        s.FWord = static_cast<uint16_t>(word & 0x03FF);
        return s;
    }
    static constexpr TComEvents All() { return FromWord(0x03FF); }
    constexpr uint16_t Word() const { return FWord; }
    constexpr bool Contains(TComEvent e) const { return (FWord >> e) & 1u; }
    constexpr bool Empty() const { return FWord == 0; }
    constexpr void Include(TComEvent e) { FWord = static_cast<uint16_t>(FWord | (1u << e)); }
    constexpr void Exclude(TComEvent e) { FWord = static_cast<uint16_t>(FWord & ~(1u << e)); }
    constexpr bool operator==(const TComEvents &) const = default;

private:
    uint16_t FWord = 0;
};

// ------------------------------------------------------------- conversions
std::string BaudRateToText(TBaudRate value);
std::string DataBitsToText(TDataBits value);
std::string StopBitsToText(TStopBits value);
std::string ParityToText(TParityBits value);
std::string FlowControlToText(TFlowControl value);
// Case-insensitive (ASCII letters); a text matching no member gives the
// default: br9600, dbEight, sbOneStopBit, prNone, fcCustom. Never throws.
TBaudRate TextToBaudRate(const std::string &text);
TDataBits TextToDataBits(const std::string &text);
TStopBits TextToStopBits(const std::string &text);
TParityBits TextToParity(const std::string &text);
TFlowControl TextToFlowControl(const std::string &text);

// Device baud value of a fixed rate (brCustom gives 0: the port uses its
// CustomBaudRate), data bit count 5..8.
int32_t BaudRateToValue(TBaudRate value);
int DataBitsToValue(TDataBits value);

// TComEvents <-> device event mask (0x0001 rx char, 0x0004 tx empty, 0x0002
// rx flag, 0x0100 ring, 0x0040 break, 0x0008 CTS, 0x0010 DSR, 0x0080 error,
// 0x0020 RLSD, 0x0400 rx 80 % full). Unknown mask bits are ignored.
uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(uint32_t mask);

// ------------------------------------------------------------------ errors
// Codes of EComPort::ErrorCode().
enum : int32_t {
    CError_OpenFailed = 1,
    CError_WriteFailed,
    CError_ReadFailed,
    CError_InvalidAsync,
    CError_PurgeFailed,
    CError_AsyncCheck,
    CError_SetStateFailed,
    CError_TimeoutsFailed,
    CError_SetupComFailed,
    CError_ClearComFailed,
    CError_ModemStatFailed,
    CError_EscapeComFailed,
    CError_TransmitFailed,
    CError_ConnChangeProp,
    CError_EnumPortsFailed,
    CError_StoreFailed,
    CError_LoadFailed,
    CError_RegFailed,
    CError_LedStateFailed,
    CError_ThreadCreated,
    CError_WaitFailed,
    CError_HasLink,
    CError_RegError
};

// The fixed text of a code (1..23), translated through the "cport" domain.
std::string ComErrorText(int32_t code);

class EComPort : public std::runtime_error {
public:
    // SystemErrorCode is errno taken right after the failing call, or -1.
    // Cause is the line for the user about it (OpenFailureCause); none gives
    // the system's words with the general cure for the code.
    EComPort(int32_t code, int32_t systemErrorCode = -1, std::string cause = std::string());
    int32_t ErrorCode() const noexcept { return FCode; }
    int32_t SystemErrorCode() const noexcept { return FSystemCode; }
    // What the system said and what to do about it, one sentence; "" when
    // there is no system code.
    const std::string &Cause() const noexcept { return FCause; }
    // True when the system code says the device itself went away (EIO,
    // ENXIO, ENODEV): unplugged, or the far end of a pseudo-terminal closed.
    bool DeviceLost() const noexcept;

private:
    int32_t FCode;
    int32_t FSystemCode;  // errno
    std::string FCause;
};

// ------------------------------------------------------------ setting groups
class TCustomComPort;

class TComTimeouts {
public:
    TComTimeouts() = default;
    TComTimeouts(const TComTimeouts &) = delete;
    TComTimeouts &operator=(const TComTimeouts &) = delete;
    // Copies the stored fields only (not the port binding); re-applies nothing.
    void Assign(const TComTimeouts &source);

    int32_t ReadInterval() const { return FReadInterval; }
    int32_t ReadTotalMultiplier() const { return FReadTotalM; }
    int32_t ReadTotalConstant() const { return FReadTotalC; }
    int32_t WriteTotalMultiplier() const { return FWriteTotalM; }
    int32_t WriteTotalConstant() const { return FWriteTotalC; }
    void SetReadInterval(int32_t value);
    void SetReadTotalMultiplier(int32_t value);
    void SetReadTotalConstant(int32_t value);
    void SetWriteTotalMultiplier(int32_t value);
    void SetWriteTotalConstant(int32_t value);

    TCustomComPort *ComPort() const { return FComPort; }

private:
    friend class TCustomComPort;
    void Changed();
    TCustomComPort *FComPort = nullptr;
    int32_t FReadInterval = -1;
    int32_t FReadTotalM = 0;
    int32_t FReadTotalC = 0;
    int32_t FWriteTotalM = 100;
    int32_t FWriteTotalC = 1000;
};

class TComFlowControl {
public:
    TComFlowControl() = default;
    TComFlowControl(const TComFlowControl &) = delete;
    TComFlowControl &operator=(const TComFlowControl &) = delete;
    void Assign(const TComFlowControl &source);

    bool OutCTSFlow() const { return FOutCTSFlow; }
    bool OutDSRFlow() const { return FOutDSRFlow; }
    TDTRFlowControl ControlDTR() const { return FControlDTR; }
    TRTSFlowControl ControlRTS() const { return FControlRTS; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DSRSensitivity() const { return FDSRSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    uint8_t XonChar() const { return FXonChar; }
    uint8_t XoffChar() const { return FXoffChar; }
    // The handshaking preset the four fields amount to.
    TFlowControl FlowControl() const;

    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    // While the port is open these switch the DTR/RTS output at once.
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(uint8_t value);
    void SetXoffChar(uint8_t value);
    // Writes the preset's fields (fcCustom: none); always re-applies.
    void SetFlowControl(TFlowControl value);

    TCustomComPort *ComPort() const { return FComPort; }

private:
    friend class TCustomComPort;
    void Changed();
    TCustomComPort *FComPort = nullptr;
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    uint8_t FXonChar = 17;
    uint8_t FXoffChar = 19;
};

class TComParity {
public:
    TComParity() = default;
    TComParity(const TComParity &) = delete;
    TComParity &operator=(const TComParity &) = delete;
    void Assign(const TComParity &source);

    TParityBits Bits() const { return FBits; }
    bool Check() const { return FCheck; }
    bool Replace() const { return FReplace; }
    uint8_t ReplaceChar() const { return FReplaceChar; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(uint8_t value);

    TCustomComPort *ComPort() const { return FComPort; }

private:
    friend class TCustomComPort;
    void Changed();
    TCustomComPort *FComPort = nullptr;
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    uint8_t FReplaceChar = 0;
};

class TComBuffer {
public:
    TComBuffer() = default;
    TComBuffer(const TComBuffer &) = delete;
    TComBuffer &operator=(const TComBuffer &) = delete;
    void Assign(const TComBuffer &source);

    int32_t InputSize() const { return FInputSize; }
    int32_t OutputSize() const { return FOutputSize; }
    // An odd size is stored one less.
    void SetInputSize(int32_t value);
    void SetOutputSize(int32_t value);

    TCustomComPort *ComPort() const { return FComPort; }

private:
    friend class TCustomComPort;
    void Changed();
    TCustomComPort *FComPort = nullptr;
    int32_t FInputSize = 1024;
    int32_t FOutputSize = 1024;
};

// ---------------------------------------------------------------- the port

// The four modem input lines.
struct TComModemLines {
    bool CTS = false;
    bool DSR = false;
    bool Ring = false;
    bool RLSD = false;
    bool operator==(const TComModemLines &) const = default;
};

using TNotifyEvent = std::function<void(TCustomComPort *Sender)>;
using TComSignalEvent = std::function<void(TCustomComPort *Sender, bool OnOff)>;
using TRxCharEvent = std::function<void(TCustomComPort *Sender, int32_t Count)>;
using TRxBufEvent = std::function<void(TCustomComPort *Sender, const void *Buffer, int32_t Count)>;
using TComErrorEvent = std::function<void(TCustomComPort *Sender, uint32_t Errors)>;

// WaitForEvent's StopEvent: a file descriptor that becomes readable when the
// stop is signalled (an eventfd or a pipe's read end); below 1 means none.
constexpr int NoStopEvent = 0;

class TCustomComPort {
public:
    // device: the backend to drive; none gives the one the port name calls
    // for at each open (a network port or a local tty).
    explicit TCustomComPort(std::unique_ptr<TComDevice> device = nullptr);
    virtual ~TCustomComPort();
    TCustomComPort(const TCustomComPort &) = delete;
    TCustomComPort &operator=(const TCustomComPort &) = delete;

    // --- settings (UI thread). Writing an equal value does nothing; writing
    // a new one while open re-applies its part of the device configuration
    // and may throw EComPort (7, 8, 9, or 1 after a Port change); the new
    // value stays stored.
    //
    // Port: "ttyUSB0" opens /dev/ttyUSB0, "COM3" (any case) opens
    // /dev/ttyS2, a name with '/' is a path opened as given;
    // "rfc2217://HOST:PORT" and "socket://HOST:PORT" are network ports.
    const std::string &Port() const { return FPort; }
    void SetPort(const std::string &value);
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    int32_t CustomBaudRate() const { return FCustomBaudRate; }
    void SetCustomBaudRate(int32_t value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value);
    bool DiscardNull() const { return FDiscardNull; }
    void SetDiscardNull(bool value);
    uint8_t EventChar() const { return FEventChar; }
    void SetEventChar(uint8_t value);
    TComEvents Events() const { return FEvents; }
    void SetEvents(TComEvents value);
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    // Throws EComPort 14 while open.
    void SetSyncMethod(TSyncMethod value);

    TComParity &Parity() { return FParity; }
    TComFlowControl &FlowControl() { return FFlowControl; }
    TComTimeouts &Timeouts() { return FTimeouts; }
    TComBuffer &Buffer() { return FBuffer; }
    const TComParity &Parity() const { return FParity; }
    const TComFlowControl &FlowControl() const { return FFlowControl; }
    const TComTimeouts &Timeouts() const { return FTimeouts; }
    const TComBuffer &Buffer() const { return FBuffer; }
    // Whole-group assignment: copies every field, then always re-applies.
    void SetParity(const TComParity &value);
    void SetFlowControl(const TComFlowControl &value);
    void SetTimeouts(const TComTimeouts &value);
    void SetBuffer(const TComBuffer &value);

    // --- open and close (UI thread; Connected may be read from any thread)
    bool Connected() const;
    void SetConnected(bool value);
    // Callbacks: OnBeforeOpen, OnAfterOpen, OnCTSChange, OnDSRChange,
    // OnRLSDChange (real states). Throws EComPort 1, 9, 7, 8 (port left
    // closed) or 11 (port left open).
    void OpenDevice();
    // Callbacks: OnCTSChange, OnDSRChange, OnRLSDChange (all false),
    // OnBeforeClose, OnAfterClose. Ends a ReadBlock/WaitForEvent running on
    // another thread at once. Throws EComPort 5 (port stays open).
    void CloseDevice();
    // The open file descriptor, -1 while closed.
    int DeviceHandle() const;

    // --- data (ReadBlock/WaitForEvent on one reader thread, WriteText on
    // one writer thread, concurrently)
    //
    // Reads up to count bytes; ends as the Timeouts say (with (100, 0, 100)
    // about 100 ms after it began, with what arrived). Throws EComPort 3.
    int32_t ReadBlock(void *buffer, int32_t count);
    // Writes all bytes or until the write time-out; returns the number
    // written. Throws EComPort 2.
    int32_t WriteText(const std::string &text);
    // Waits for an event of the set, the stop descriptor or timeout ms (-1:
    // none); events becomes the set that occurred (empty on time-out, stop or
    // close). Input already buffered counts as evRxChar. Throws EComPort 21
    // (20 if an event thread ran).
    void WaitForEvent(TComEvents &events, int stopEvent, int32_t timeout);
    // A device without modem lines (pseudo-terminal) reads all off.
    // Throws EComPort 11.
    TComModemLines QueryModemLines();
    // True once a call found the device gone (unplugged, far end of a
    // pseudo-terminal closed), until the port is closed. From then on every
    // read, write and wait fails at once with its code: a reader must stop
    // looping on it and let the UI close the port.
    bool DeviceLost() const;

    // --- re-application (no effect while closed)
    void ApplyLineSettings();
    void ApplyTimeoutSettings();
    void ApplyBufferSizes();

    // --- callbacks. Called on the UI thread by OpenDevice/CloseDevice. The
    // rest are never called: this port runs no event thread.
    TNotifyEvent OnBeforeOpen, OnAfterOpen, OnBeforeClose, OnAfterClose;
    TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
    TComErrorEvent OnError;

    // Notice of this port's destruction (used by TComComboBox). Returns an
    // id for RemoveDestroyNotice.
    int AddDestroyNotice(std::function<void(TCustomComPort *)> notice);
    void RemoveDestroyNotice(int id);

    TComDevice &Device() { return *FDevice; }

protected:
    virtual void AcquireHandle();
    virtual void ReleaseHandle();
    virtual void ConfigureDevice();

private:
    void AbortPendingIo();
    void CallSignal(const TComSignalEvent &slot, bool onOff);

    std::unique_ptr<TComDevice> FDevice;
    // Read by a reader thread to learn that the port was closed.
    std::atomic<bool> FConnected {false};
    bool FThreadCreated = false;
    std::string FPort = "COM1";
    TBaudRate FBaudRate = br9600;
    int32_t FCustomBaudRate = 9600;
    TDataBits FDataBits = dbEight;
    TStopBits FStopBits = sbOneStopBit;
    bool FDiscardNull = false;
    uint8_t FEventChar = 0;
    TComEvents FEvents = TComEvents::All();
    TSyncMethod FSyncMethod = smThreadSync;
    TComParity FParity;
    TComFlowControl FFlowControl;
    TComTimeouts FTimeouts;
    TComBuffer FBuffer;
    std::vector<std::pair<int, std::function<void(TCustomComPort *)>>> FDestroyNotices;
    int FNextNoticeId = 1;
};

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// Path of the device a port name opens (see TCustomComPort::SetPort).
std::string ComPortDevicePath(const std::string &port);

// Serial device names of the machine (sysfs), sorted case-insensitively in
// the locale's order, for the port combo. Throws EComPort 23 when the device
// list cannot be read.
std::vector<std::string> ListSerialPorts();
