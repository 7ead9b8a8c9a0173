#pragma once
// The device interface under TComPort: the POSIX backend drives a real tty,
// the fake device (tests) plays one. Every call returns 0 or an errno value;
// TComPort turns failures into EComPort codes.

#include "SystemErrors.h"

#include <cerrno>
#include <cstdint>
#include <string>

// Everything the line configuration says, in device terms (one call applies
// it all, switching DTR and RTS at once).
struct TComDCB {
    uint32_t BaudRate = 9600;
    bool Parity = false;  // check received parity
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    uint8_t DtrControl = 0;  // 0 off, 1 on, 2 handshake
    bool DsrSensitivity = false;
    bool TXContinueOnXoff = false;
    bool OutX = false;
    bool InX = false;
    bool ErrorChar = false;  // replace bytes with parity errors
    bool Null = false;       // discard received zero bytes
    uint8_t RtsControl = 0;  // 0 off, 1 on, 2 handshake, 3 toggle
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;      // 5..8
    uint8_t ParityCode = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBitsCode = 0;  // 0 one, 1 one and a half, 2 two
    uint8_t XonCharValue = 17;
    uint8_t XoffCharValue = 19;
    uint8_t ErrorCharValue = 0;
    uint8_t EvtChar = 0;
    bool operator==(const TComDCB &) const = default;
};

// Whether a line configuration can be carried out at all: 0, EINVAL for
// values no line takes, EOPNOTSUPP for handshaking Linux has no counterpart
// for (DSR flow, DSR sensitivity, DTR handshake, RTS toggle, null stripping,
// a replacement character other than 0).
inline int CheckLineSettings(const TComDCB &dcb)
{
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.ParityCode > 4 || dcb.StopBitsCode > 2 || dcb.DtrControl > 2 ||
        dcb.RtsControl > 3 || dcb.BaudRate == 0 || dcb.BaudRate > 0x7FFFFFFFu)
        return EINVAL;
    // One and a half stop bits exist only with five data bits.
    if (dcb.StopBitsCode == 1 && dcb.ByteSize != 5)
        return EINVAL;
    if (dcb.OutxDsrFlow || dcb.DsrSensitivity || dcb.DtrControl == 2 || dcb.RtsControl == 3 || dcb.Null ||
        (dcb.ErrorChar && dcb.ErrorCharValue != 0))
        return EOPNOTSUPP;
    return 0;
}

// The five time-outs, ms; all-ones is "maximum" (the -1 of the settings).
struct TComTimeoutRecord {
    uint32_t ReadIntervalTimeout = 0xFFFFFFFFu;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 100;
    uint32_t WriteTotalTimeoutConstant = 1000;
    bool operator==(const TComTimeoutRecord &) const = default;
};

// Modem status bits, as the port reports them.
enum : uint32_t { MS_CTS_ON = 0x10, MS_DSR_ON = 0x20, MS_RING_ON = 0x40, MS_RLSD_ON = 0x80 };

// Device event mask bits (WaitEvent).
enum : uint32_t {
    EV_RXCHAR = 0x0001,
    EV_RXFLAG = 0x0002,
    EV_TXEMPTY = 0x0004,
    EV_CTS = 0x0008,
    EV_DSR = 0x0010,
    EV_RLSD = 0x0020,
    EV_BREAK = 0x0040,
    EV_ERR = 0x0080,
    EV_RING = 0x0100,
    EV_RX80FULL = 0x0400
};

// The event each modem input line raises when it changes.
struct TModemLineEvent {
    uint32_t Status;  // MS_* bit
    uint32_t Event;   // EV_* bit
};
inline constexpr TModemLineEvent ModemLineEvents[] = {
    {MS_CTS_ON, EV_CTS}, {MS_DSR_ON, EV_DSR}, {MS_RLSD_ON, EV_RLSD}, {MS_RING_ON, EV_RING}};
// Event bits of all modem lines.
inline constexpr uint32_t ModemLineEventMask = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// The events of the lines that differ between two modem statuses.
constexpr uint32_t ModemChangeEvents(uint32_t Before, uint32_t Now)
{
    uint32_t Events = 0;
    for (const TModemLineEvent &L : ModemLineEvents)
        if ((Before ^ Now) & L.Status)
            Events |= L.Event;
    return Events;
}

class TComDevice {
public:
    virtual ~TComDevice() = default;

    // Opens the device at path exclusively; 0 or errno.
    virtual int Open(const std::string &path) = 0;
    // Ends every call in progress on other threads, then closes.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual int Handle() const = 0;

    virtual int SetupQueues(int32_t inputSize, int32_t outputSize) = 0;
    virtual int SetLineSettings(const TComDCB &dcb) = 0;
    virtual int SetTimeouts(const TComTimeoutRecord &timeouts) = 0;

    // Blocking transfers ending as the time-outs say; transferred is set in
    // every case.
    virtual int Read(void *buffer, int32_t count, int32_t &transferred) = 0;
    virtual int Write(const void *buffer, int32_t count, int32_t &transferred) = 0;
    // Waits for an event of mask (device event mask bits), the stop
    // descriptor (< 1: none) or timeoutMs (-1: none); occurred gets the
    // events seen (0 on time-out, stop, abort or close).
    virtual int WaitEvent(uint32_t mask, int stopFd, int32_t timeoutMs, uint32_t &occurred) = 0;
    // Aborts reads, writes and waits in progress and discards the queues.
    virtual int AbortIo() = 0;
    virtual int GetModemStatus(uint32_t &status) = 0;
    // True once the device was found gone (until Close).
    virtual bool Lost() const = 0;
    // The line for the user about an Open of path that failed with err: what
    // went wrong and what to do about it.
    virtual std::string FailureCause(int err, const std::string &path) const
    {
        return OpenFailureCause(err, GatherOpenFacts(err, path));
    }
    // False for a device that takes line settings without passing them on
    // (a raw network connection): they cannot reach the line.
    virtual bool CarriesLineSettings() const { return true; }
};
