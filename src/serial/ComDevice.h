#pragma once
// The device interface under TComPort: the POSIX backend drives a real tty,
// the fake device (tests) plays one. Every call returns 0 or an errno value;
// TComPort turns failures into EComPort codes.

#include <cstdint>
#include <string>

// Everything the line configuration says, in device terms (one call applies
// it all, switching DTR and RTS at once).
struct TComDCB {
    uint32_t BaudRate = 9600;
    bool Parity = false;           // check received parity
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    uint8_t DtrControl = 0;        // 0 off, 1 on, 2 handshake
    bool DsrSensitivity = false;
    bool TXContinueOnXoff = false;
    bool OutX = false;
    bool InX = false;
    bool ErrorChar = false;        // replace bytes with parity errors
    bool Null = false;             // discard received zero bytes
    uint8_t RtsControl = 0;        // 0 off, 1 on, 2 handshake, 3 toggle
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;          // 5..8
    uint8_t ParityCode = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBitsCode = 0;      // 0 one, 1 one and a half, 2 two
    uint8_t XonCharValue = 17;
    uint8_t XoffCharValue = 19;
    uint8_t ErrorCharValue = 0;
    uint8_t EvtChar = 0;
    bool operator==(const TComDCB &) const = default;
};

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
};
