// The serial link and its reader thread: where received and sent bytes become
// time-stamped lines.
//
// A line ("MonitorLine") is: "R" or "T", "[", the time of day hh:nn:ss with
// the locale's time separator, a four-character gap field (" %3d" ms since
// the previous line, " ---" from 1000 on), "]", then the data.
//
// Threads: the UI thread constructs, sets options, opens, closes, hands over
// what to send and fetches; the reader thread waits, reads and appends; the
// link's writer thread writes what was handed over, counts it and appends
// its T line. QueueLock guards LineQueue and LastLineTime, all three private
// to the link and reached only through its operations; it is never waited
// for longer than 200 ms. The flags and counters are atomics read and
// written whole.
#pragma once

#include "CPort.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class QLocale;

// Failure of the link: an open that did not succeed, or text that is not
// hexadecimal when hexadecimal is sent.
class ECom : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A send refused because too much still waits to be written (the device
// does not take it, or sends are handed over faster than the line carries
// them). Nothing of the refused text is sent, counted or queued.
class ESendBusy : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The separator between hours, minutes and seconds in Locale's time format
// (":" when the format has none of its own).
std::string LocaleTimeSeparator(const QLocale &Locale);

// The gap field of a line: " %3d" below 1000 ms, else " ---". The gap is an
// unsigned difference, so a clock that went "backwards" shows " ---".
std::string GapText(uint32_t Gap);

class TQuillScomm {
public:
    // The port drives the real device backend.
    TQuillScomm();
    // The port drives Device (tests give a fake one); nullptr: the real one.
    explicit TQuillScomm(std::unique_ptr<TComDevice> Device);
    // Lines put TimeSeparator between hours, minutes and seconds instead of
    // the system locale's.
    TQuillScomm(std::unique_ptr<TComDevice> Device, std::string TimeSeparator);
    ~TQuillScomm();
    TQuillScomm(const TQuillScomm &) = delete;
    TQuillScomm &operator=(const TQuillScomm &) = delete;

    // Does nothing when open. Throws ECom when the port cannot be opened; the
    // port is then closed. The message's first line is the fixed open
    // failure text, the second what the system said and what to do.
    void OpenPort();
    // The port clears CtsOn, DsrOn, RlsdOn. Drops what waits to be written
    // and ends a write under way at once (it is neither counted nor echoed);
    // nothing handed over before the close reaches a port opened again.
    void ClosePort();
    // Converts (hex or as typed) and hands the bytes to the writer thread,
    // which writes them within the port's write time-outs, then counts them
    // and queues the T line (its gap measured from this call). Returns at
    // once: frames are written one after the other, whole and in order.
    // Throws ECom for malformed hex, ESendBusy when the backlog is full, and
    // the port's write error when the port is closed; nothing is sent then.
    // A write that fails later is told through TakeSendFailure.
    void SendData(const std::string &Text);
    // A frame waits or is being written.
    bool Sending() const;
    // The message of a failed write not told yet, or "" (and clears it).
    // One failure at a time is kept; the frames that waited behind it are
    // dropped, so that one failure gives one message.
    std::string TakeSendFailure();
    // What may wait behind the frame being written: more frames, or more
    // bytes (the port's output buffer size) than these, and SendData refuses.
    // A frame of any size is taken when nothing waits.
    static constexpr std::size_t MaxWaitingFrames = 256;
    static constexpr std::size_t MaxWaitingBytes = 1048576;
    // Oldest queued line, or "" when none is waiting or the lock was not
    // had within 200 ms.
    std::string FetchLine();
    // True when a line waits in LineQueue, or when that cannot be told
    // because the reader holds the lock right now; never waits.
    bool LinesWaiting();
    // Number of lines waiting; 0 when the lock was not had within 200 ms.
    std::size_t QueuedLines();
    // Characters of the lines waiting; 0 when the lock was not had in time.
    std::size_t QueuedBytes();
    // How many characters of lines may wait before the reader stops reading
    // (the kernel's buffer and the device's flow control then hold the
    // data) until the interface has taken lines. Sent lines are never
    // refused: the send backlog bounds them. The default is about two thirds
    // of what the receive view keeps, and holds some 28 s of a 4 Mbaud
    // stream shown in hex (minutes at the usual rates).
    void SetQueueBound(std::size_t Bytes);
    static constexpr std::size_t DefaultQueueBound = std::size_t(32) << 20;
    // Appends a finished line as it stands (a display backlog); false when
    // the lock was not had in time and the line was dropped.
    bool QueueLine(std::string Line);
    // QueueLock, waited for at most LockWait; not owned when that passed.
    // Holding it stops the reader and the sender from queueing.
    [[nodiscard]] std::unique_lock<std::timed_mutex> LockQueue();
    // When the last line was queued, on MilliClock.
    uint32_t LastLineAt();

    // Set by the reader thread when the device went away (unplugged, far
    // end closed); it then stops touching the port until parked. The main
    // window polls it, closes the port and tells the user. Cleared by a
    // successful OpenPort.
    bool DeviceGone() const { return FDeviceGone.load(); }

    // Called after a line was appended to LineQueue, on the thread that
    // appended it (the reader or the sender), outside the lock. Lets the
    // display sleep while nothing arrives. Keep it short: it runs under a
    // lock of its own (never QueueLock), so that it may be replaced or
    // cleared (nullptr) at any time, also while the reader runs.
    void SetLineQueuedHandler(std::function<void()> Handler);
    // Called on the reader thread when a modem line input (CTS, DSR, RLSD)
    // changes or the device is found gone, and on the writer thread when a
    // written frame was counted: what the status bar shows changed without
    // any input. May be empty.
    void SetStateChangedHandler(std::function<void()> Handler);
    // Called on the writer thread when a write failed and TakeSendFailure
    // has something to tell. Same rules as the other handlers.
    void SetSendFailedHandler(std::function<void()> Handler);

    // Between two received bytes of a hex line; fixed at construction.
    const std::string Separator = " ";
    std::atomic<bool> HexReceive {true};
    std::atomic<bool> HexSend {true};
    std::atomic<bool> Monitoring {true};
    std::atomic<uint32_t> RxCount {0};  // wraps at 32 bits
    std::atomic<uint32_t> TxCount {0};  // wraps at 32 bits
    std::atomic<bool> CtsOn {false};
    std::atomic<bool> DsrOn {false};
    std::atomic<bool> RlsdOn {false};
    TComPort Port;

    // How long any side waits for QueueLock before giving up for now.
    static constexpr auto LockWait = std::chrono::milliseconds(200);

    // A received block made into its R line, waiting to be queued. The line
    // is formed outside the lock (a block may be a mebibyte) and its head is
    // stamped when it is queued.
    struct TReceivedLine {
        std::string Line;         // head left blank
        uint32_t Count = 0;       // bytes received
        uint32_t Start = 0;       // clock when its read began
        std::time_t FormedAt {};  // the time of day the line shows
    };
    TReceivedLine FormReceived(const uint8_t *Data, std::size_t Count, uint32_t BlockStart) const;
    enum class TQueued { Yes, Full, LockMissed };
    // Queues Block's line and counts its bytes (reader thread). Full: the
    // received lines waiting fill the queue's bound and Block does not fit
    // (a line of any size is taken when nothing waits); LockMissed: the lock
    // was not had within LockWait. Either way nothing changed and Block can
    // be tried again. OverBound takes it whatever the queue holds.
    TQueued QueueReceived(TReceivedLine &Block, bool OverBound = false);
    // Forms and queues in one step; a block not queued is gone.
    TQueued QueueReceived(const uint8_t *Data, std::size_t Count, uint32_t BlockStart);

    // While OpenPort runs: the device may be connected already but is still
    // being set up (a network port's settings go to the server and back), so
    // nothing is sent meanwhile.
    bool Opening() const { return FOpening.load(); }

private:
    friend class TQuillComThread;
    std::atomic<bool> FOpening {false};
    // Length of "R[hh:nn:ss gap]" with this link's time separator.
    std::size_t HeadLength() const;
    // Writes "R[hh:nn:ss gap]" with the time of day of At over the first
    // HeadLength() chars of Line.
    void WriteHead(std::string &Line, char Direction, std::time_t At, uint32_t Gap) const;

    // One send handed to the writer thread.
    struct TSendFrame {
        std::string Bytes;
        std::string Echo;    // data part of its T line
        uint32_t Count = 0;  // what TxCount gets
        uint32_t Start = 0;  // clock when SendData was called
        uint64_t Epoch = 0;  // the port's open period it belongs to
    };
    void WriterLoop();
    // Counts a written frame and queues its T line (writer thread).
    void FinishFrame(const TSendFrame &Frame);

    std::string TimeSeparator;
    std::timed_mutex QueueLock;
    uint32_t LastLineTime = 0;                    // guarded by QueueLock
    std::deque<std::string> LineQueue;            // guarded by QueueLock
    std::size_t FQueuedBytes = 0;                 // guarded by QueueLock
    std::size_t FQueueBound = DefaultQueueBound;  // guarded by QueueLock
    std::atomic<bool> FDeviceGone {false};
    void NotifyLineQueued();
    void NotifyStateChanged();
    void NotifySendFailed();
    std::mutex LineQueuedLock;  // guards the three handlers
    std::function<void()> LineQueued;
    std::function<void()> StateChanged;
    std::function<void()> SendFailed;

    mutable std::mutex FSendLock;  // guards the members down to FWriter
    std::condition_variable FSendCv;
    std::deque<TSendFrame> FWaiting;
    std::size_t FWaitingBytes = 0;
    bool FWriting = false;    // a frame is out of FWaiting, not finished
    uint64_t FSendEpoch = 0;  // one more at every ClosePort
    bool FStopWriter = false;
    std::string FSendFailure;
    std::thread FWriter;  // last: starts once the rest is built
};

// The one receiver of serial data. Created parked; Release() after each
// successful OpenPort lets it run, Park() after ClosePort stops it at the top
// of its loop, where it holds no lock. Runs at the normal scheduling policy:
// it sleeps in poll nearly always, and a thread that ran only on an idle
// machine would stamp gaps late and let the driver's buffer overflow while
// other programs keep the cores busy. The destructor stops it in an orderly
// way (stop flag and wake-up) and joins it; that takes at most a read
// time-out or a lock wait.
class TQuillComThread {
public:
    static constexpr int32_t ReadBufferSize = 1048576;
    // How long a wait runs when there is no wake-up descriptor.
    static constexpr int32_t WakeSliceMs = 100;
    // How often a held block is offered again. A full queue means the
    // interface is megabytes behind: a retry now and then costs nothing and
    // needs no signal from the interface thread.
    static constexpr int32_t HoldRetryMs = 10;

    explicit TQuillComThread(TQuillScomm &Link);
    ~TQuillComThread();
    TQuillComThread(const TQuillComThread &) = delete;
    TQuillComThread &operator=(const TQuillComThread &) = delete;

    // Lets the parked loop run (once per open).
    void Release();
    // Stops the loop at its top and waits (up to a second) until it is
    // there. Call after ClosePort, which ends a wait or read under way.
    void Park();
    // Stops the thread for good and joins it; the destructor calls it.
    void Terminate();

    // True while the loop sits parked at its top.
    bool Parked() const;
    std::thread::native_handle_type NativeHandle() { return Thread.native_handle(); }

    TQuillScomm &Link;

private:
    void Execute();
    enum class TPassResult { Data, Quiet, Fruitless, DeviceGone, Held };
    // One pass of the loop: wait, refresh the line signals, read, queue.
    // Fruitless: an error, or readiness with no bytes; the loop backs off.
    // Held: the block read could not be queued yet (the queue is full or
    // its lock busy); nothing more is read until it is.
    TPassResult Pass();
    // Forms the held block's line if that is still to be done and queues it;
    // true when nothing is held any more. Paused meanwhile, the block is
    // thrown away as any block read while paused.
    bool HandOver(bool OverBound);
    bool Holding() const { return FRawHeld > 0 || FLineHeld; }
    // Before a park or stop: the held block goes into the queue over its
    // bound, so that what was read before a close comes before anything of
    // the next open. At a stop one try is made.
    void FlushHeld();
    // Sleeps Ms unless a park or stop comes first.
    void BackOff(int Ms);
    // Waits, without touching the port, until parked or stopped.
    void IdleUntilParked();
    void Wake();
    void DrainWake();

    std::vector<uint8_t> ReadBuffer;
    // An eventfd (read and written), or a pipe's ends where eventfd fails;
    // with neither (-1) the waits run in slices of WakeSliceMs instead.
    int WakeFd = -1;
    int WakeWriteFd = -1;
    mutable std::mutex RunMutex;
    std::condition_variable RunCv;
    bool Released = false;       // guarded by RunMutex
    bool AtParkPoint = false;    // guarded by RunMutex
    uint64_t Generation = 0;     // guarded by RunMutex; one per Release
    uint64_t RunGeneration = 0;  // guarded by RunMutex; the run under way
    int EmptyReads = 0;          // reader thread only
    // The block read and not queued yet (reader thread only): its bytes in
    // ReadBuffer until its line is formed, then the line.
    int32_t FRawHeld = 0;
    uint32_t FRawStart = 0;
    bool FLineHeld = false;
    TQuillScomm::TReceivedLine FHeld;
    std::atomic<bool> Stopping {false};
    std::thread Thread;  // last: starts once the rest is built
};
