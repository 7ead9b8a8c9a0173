#include "QuillScomm.h"

#include "AppCommon.h"
#include "ComDevice.h"
#include "MilliClock.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

const char *const OpenFailureText = "Open port failure,it may be opened by other procedures.";
const char *const NotHexText = "The sending data is not hexadecimal format.";
const char *const SendBusyText = "The port is still sending what was sent before; this line was not sent.\r\n\r\n"
                                 "Send it again when the earlier lines are out, or close the port to drop them.";
// How long ClosePort waits for the writer to let go of a frame. The device's
// close ends the write at once; what is left is counting and the echo's lock
// wait (200 ms).
constexpr auto WriterLetGo = std::chrono::seconds(2);

// "00" .. "FF", two characters per byte value.
struct THexPairs {
    char Pairs[256][2];
    constexpr THexPairs() : Pairs {}
    {
        const char Digits[] = "0123456789ABCDEF";
        for (int V = 0; V < 256; ++V) {
            Pairs[V][0] = Digits[V >> 4];
            Pairs[V][1] = Digits[V & 15];
        }
    }
};
constexpr THexPairs HexPairs;

// Received bytes as they appear after the head of an R line.
void WriteHexBytes(char *Out, const uint8_t *Data, std::size_t Count, const std::string &Sep)
{
    for (std::size_t I = 0; I < Count; ++I) {
        if (I > 0) {
            std::memcpy(Out, Sep.data(), Sep.size());
            Out += Sep.size();
        }
        Out[0] = HexPairs.Pairs[Data[I]][0];
        Out[1] = HexPairs.Pairs[Data[I]][1];
        Out += 2;
    }
}

}  // namespace

std::string LocaleTimeSeparator(const QLocale &Locale)
{
    // The literal text between the hour field and the minute field of the
    // locale's time format; quoted text counts as literal.
    const QString Format = Locale.timeFormat(QLocale::LongFormat);
    QString Separator;
    bool InQuote = false;
    bool AfterHour = false;
    for (qsizetype I = 0; I < Format.size(); ++I) {
        const QChar C = Format.at(I);
        if (C == QLatin1Char('\'')) {
            if (I + 1 < Format.size() && Format.at(I + 1) == QLatin1Char('\'')) {
                if (AfterHour)
                    Separator += C;
                ++I;
            } else {
                InQuote = !InQuote;
            }
            continue;
        }
        if (!InQuote && (C == QLatin1Char('h') || C == QLatin1Char('H'))) {
            AfterHour = true;
            Separator.clear();
            continue;
        }
        if (!InQuote && C == QLatin1Char('m') && AfterHour)
            break;
        if (AfterHour)
            Separator += C;
    }
    // Lines are 8-bit texts: a separator Latin-1 cannot hold falls back.
    bool Latin1 = !Separator.isEmpty() && AfterHour;
    for (QChar C : Separator)
        Latin1 = Latin1 && C.unicode() < 256;
    return Latin1 ? Separator.toLatin1().toStdString() : std::string(":");
}

std::string GapText(uint32_t Gap)
{
    if (Gap >= 1000)
        return " ---";
    char Text[8];
    std::snprintf(Text, sizeof Text, " %3u", static_cast<unsigned>(Gap));
    return Text;
}

// ----------------------------------------------------------------- the link

TQuillScomm::TQuillScomm() : TQuillScomm(std::unique_ptr<TComDevice>())
{
}

TQuillScomm::TQuillScomm(std::unique_ptr<TComDevice> Device)
    : TQuillScomm(std::move(Device), LocaleTimeSeparator(QLocale::system()))
{
}

TQuillScomm::TQuillScomm(std::unique_ptr<TComDevice> Device, std::string TimeSeparator)
    : Port(std::move(Device)), TimeSeparator(std::move(TimeSeparator))
{
    Port.SetPort("Com1");
    Port.SetBaudRate(br9600);
    Port.SetDataBits(dbEight);
    Port.SetStopBits(sbOneStopBit);
    Port.Parity().SetBits(prNone);
    Port.FlowControl().SetFlowControl(fcNone);
    Port.FlowControl().SetControlDTR(dtrEnable);
    Port.FlowControl().SetControlRTS(rtsEnable);
    Port.Timeouts().SetReadInterval(100);
    Port.Timeouts().SetReadTotalMultiplier(0);
    Port.Timeouts().SetReadTotalConstant(100);
    Port.Timeouts().SetWriteTotalMultiplier(100);
    Port.Timeouts().SetWriteTotalConstant(1000);
    Port.Buffer().SetInputSize(1048576);
    Port.Buffer().SetOutputSize(1048576);
    // No event set: the port runs no event thread, the reader thread waits.
    Port.SetEvents(TComEvents());
    Port.OnCTSChange = [this](TCustomComPort *, bool OnOff) { CtsOn = OnOff; };
    Port.OnDSRChange = [this](TCustomComPort *, bool OnOff) { DsrOn = OnOff; };
    Port.OnRLSDChange = [this](TCustomComPort *, bool OnOff) { RlsdOn = OnOff; };
    FWriter = std::thread(&TQuillScomm::WriterLoop, this);
}

TQuillScomm::~TQuillScomm()
{
    try {
        ClosePort();
    } catch (...) {
        // Nothing to tell anyone at this point.
    }
    // A close refused by the port leaves it open: the device's own close
    // still ends a write that would otherwise hold the join.
    if (Sending() && Port.Device().IsOpen())
        Port.Device().Close();
    {
        std::lock_guard<std::mutex> Lock(FSendLock);
        FStopWriter = true;
    }
    FSendCv.notify_all();
    FWriter.join();
}

void TQuillScomm::OpenPort()
{
    if (Port.Connected())
        return;
    FOpening = true;
    struct TOpened {
        std::atomic<bool> &Flag;
        ~TOpened() { Flag = false; }
    } Opened {FOpening};
    std::string Cause;
    bool Failed = false;
    try {
        Port.OpenDevice();
    } catch (const EComPort &E) {
        // The system's words and the cure; a setting the device refused
        // names the setting's step too.
        Failed = true;
        Cause = E.ErrorCode() == CError_OpenFailed || E.Cause().empty()
            ? E.Cause()
            : ComErrorText(E.ErrorCode()) + ": " + E.Cause();
    } catch (...) {
        Failed = true;
    }
    if (Failed) {
        // A failure after the device was acquired (reading the modem lines)
        // leaves the port open; the caller is told it did not open, so it
        // must be closed too.
        try {
            if (Port.Connected())
                Port.CloseDevice();
        } catch (...) {
        }
        throw ECom(Cause.empty() ? std::string(OpenFailureText) : std::string(OpenFailureText) + "\n" + Cause);
    }
    FDeviceGone = false;
}

void TQuillScomm::ClosePort()
{
    {
        std::lock_guard<std::mutex> Lock(FSendLock);
        ++FSendEpoch;
        FWaiting.clear();
        FWaitingBytes = 0;
    }
    if (Port.Connected())
        Port.CloseDevice();
    // The close ended a write under way (or makes the next one fail at once);
    // waiting until the writer has let go of its frame keeps it off a port
    // opened again.
    std::unique_lock<std::mutex> Lock(FSendLock);
    FSendCv.wait_for(Lock, WriterLetGo, [this] { return !FWriting; });
}

std::unique_lock<std::timed_mutex> TQuillScomm::LockQueue()
{
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer does not see the clock-based lock behind try_lock_for
    // (pthread_mutex_clocklock) and then reports every unlock as wrong; the
    // realtime deadline goes through pthread_mutex_timedlock, which it sees.
    return std::unique_lock<std::timed_mutex>(QueueLock, std::chrono::system_clock::now() + LockWait);
#else
    return std::unique_lock<std::timed_mutex>(QueueLock, LockWait);
#endif
}

std::size_t TQuillScomm::HeadLength() const
{
    return 13 + 2 * TimeSeparator.size();
}

void TQuillScomm::WriteHead(std::string &Line, char Direction, std::time_t At, uint32_t Gap) const
{
    std::tm Local {};
    localtime_r(&At, &Local);
    // Written piece by piece into the line: the locale's separator may be
    // of any length, so no buffer of a fixed size could hold the head.
    std::size_t Done = 0;
    auto Put = [&Line, &Done](const char *Text, std::size_t Size) {
        const std::size_t Count = std::min(Size, Line.size() - Done);
        std::memcpy(Line.data() + Done, Text, Count);
        Done += Count;
    };
    auto PutTwoDigits = [&Put](int Value) {
        const char Digits[2] = {char('0' + Value / 10 % 10), char('0' + Value % 10)};
        Put(Digits, 2);
    };
    const char Open[2] = {Direction, '['};
    Put(Open, 2);
    PutTwoDigits(Local.tm_hour);
    Put(TimeSeparator.data(), TimeSeparator.size());
    PutTwoDigits(Local.tm_min);
    Put(TimeSeparator.data(), TimeSeparator.size());
    PutTwoDigits(Local.tm_sec);
    const std::string GapField = GapText(Gap);
    Put(GapField.data(), GapField.size());
    Put("]", 1);
}

TQuillScomm::TReceivedLine TQuillScomm::FormReceived(const uint8_t *Data, std::size_t Count, uint32_t BlockStart) const
{
    TReceivedLine Block;
    Block.Count = static_cast<uint32_t>(Count);
    Block.Start = BlockStart;
    Block.FormedAt = std::time(nullptr);
    const std::size_t Head = HeadLength();
    std::string &Line = Block.Line;
    if (HexReceive) {
        Line.resize(Head + (Count == 0 ? 0 : 2 * Count + Separator.size() * (Count - 1)));
        WriteHexBytes(Line.data() + Head, Data, Count, Separator);
    } else {
        Line.resize(Head + Count);
        if (Count > 0)
            std::memcpy(Line.data() + Head, Data, Count);
    }
    return Block;
}

TQuillScomm::TQueued TQuillScomm::QueueReceived(TReceivedLine &Block, bool OverBound)
{
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    if (!Lock.owns_lock())
        return TQueued::LockMissed;
    if (!OverBound && !LineQueue.empty() && FQueuedBytes + Block.Line.size() > FQueueBound)
        return TQueued::Full;
    const uint32_t Gap = Block.Start - LastLineTime;
    // The line is stored about one read time-out after its block began;
    // taking that off makes the next gap run from block start to block start.
    LastLineTime = MilliClock() - 100;
    WriteHead(Block.Line, 'R', Block.FormedAt, Gap);
    FQueuedBytes += Block.Line.size();
    LineQueue.push_back(std::move(Block.Line));
    RxCount.fetch_add(Block.Count);
    Lock.unlock();
    Block = TReceivedLine();
    NotifyLineQueued();
    return TQueued::Yes;
}

TQuillScomm::TQueued TQuillScomm::QueueReceived(const uint8_t *Data, std::size_t Count, uint32_t BlockStart)
{
    TReceivedLine Block = FormReceived(Data, Count, BlockStart);
    return QueueReceived(Block);
}

void TQuillScomm::SendData(const std::string &Text)
{
    if (Text.empty())
        return;
    TSendFrame Frame;
    Frame.Start = MilliClock();
    if (HexSend) {
        Frame.Echo = FormatHexText(Text);
        if (!IsHexText(Frame.Echo))
            throw ECom(NotHexText);
        Frame.Bytes = HexTextToBytes(Frame.Echo);
        Frame.Count = static_cast<uint32_t>(HexByteCount(Frame.Echo, 2));
    } else {
        Frame.Bytes = Text;
        Frame.Echo = Text;
        Frame.Count = static_cast<uint32_t>(Text.size());
    }
    // What a write to the closed device would say, told at once.
    if (!Port.Connected() || FOpening)
        throw EComPort(CError_WriteFailed, EBADF);

    std::unique_lock<std::mutex> Lock(FSendLock);
    if (!FWaiting.empty() &&
        (FWaiting.size() >= MaxWaitingFrames || FWaitingBytes + Frame.Bytes.size() > MaxWaitingBytes))
        throw ESendBusy(SendBusyText);
    Frame.Epoch = FSendEpoch;
    FWaitingBytes += Frame.Bytes.size();
    FWaiting.push_back(std::move(Frame));
    Lock.unlock();
    FSendCv.notify_all();
}

bool TQuillScomm::Sending() const
{
    std::lock_guard<std::mutex> Lock(FSendLock);
    return FWriting || !FWaiting.empty();
}

std::string TQuillScomm::TakeSendFailure()
{
    std::lock_guard<std::mutex> Lock(FSendLock);
    return std::exchange(FSendFailure, std::string());
}

void TQuillScomm::WriterLoop()
{
    std::unique_lock<std::mutex> Lock(FSendLock);
    for (;;) {
        FSendCv.wait(Lock, [this] { return FStopWriter || !FWaiting.empty(); });
        if (FStopWriter)
            return;
        TSendFrame Frame = std::move(FWaiting.front());
        FWaiting.pop_front();
        FWaitingBytes -= Frame.Bytes.size();
        FWriting = true;
        Lock.unlock();

        // Blocks within the write time-outs; the port's close ends it.
        std::string Failure;
        try {
            Port.WriteText(Frame.Bytes);
        } catch (const std::exception &Error) {
            Failure = Error.what();
            if (Failure.empty())
                Failure = "The data could not be sent.";
        }
        if (Failure.empty()) {
            try {
                FinishFrame(Frame);
            } catch (...) {
                // Out of memory for the echo: the bytes are out and counted.
            }
        }

        Lock.lock();
        FWriting = false;
        // A write the user ended by closing the port is no failure.
        const bool Tell = !Failure.empty() && Frame.Epoch == FSendEpoch;
        if (Tell) {
            FWaiting.clear();
            FWaitingBytes = 0;
            if (FSendFailure.empty())
                FSendFailure = std::move(Failure);
        }
        FSendCv.notify_all();
        if (Tell) {
            Lock.unlock();
            NotifySendFailed();
            Lock.lock();
        }
    }
}

void TQuillScomm::FinishFrame(const TSendFrame &Frame)
{
    TxCount.fetch_add(Frame.Count);
    // The counter changed with no input: a sleeping status bar must see it,
    // also when no T line is queued (paused, or the lock not had).
    NotifyStateChanged();
    if (!Monitoring)
        return;

    std::string Line(HeadLength(), ' ');
    Line += Frame.Echo;
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    if (!Lock.owns_lock())
        return;  // the echo is dropped; the bytes are sent and counted
    const uint32_t Gap = Frame.Start - LastLineTime;
    LastLineTime = MilliClock();
    WriteHead(Line, 'T', std::time(nullptr), Gap);
    FQueuedBytes += Line.size();
    LineQueue.push_back(std::move(Line));
    Lock.unlock();
    NotifyLineQueued();
}

bool TQuillScomm::LinesWaiting()
{
    std::unique_lock<std::timed_mutex> Lock(QueueLock, std::try_to_lock);
    return !Lock.owns_lock() || !LineQueue.empty();
}

void TQuillScomm::SetLineQueuedHandler(std::function<void()> Handler)
{
    std::lock_guard<std::mutex> Guard(LineQueuedLock);
    LineQueued = std::move(Handler);
}

void TQuillScomm::NotifyLineQueued()
{
    std::lock_guard<std::mutex> Guard(LineQueuedLock);
    if (LineQueued)
        LineQueued();
}

void TQuillScomm::SetStateChangedHandler(std::function<void()> Handler)
{
    std::lock_guard<std::mutex> Guard(LineQueuedLock);
    StateChanged = std::move(Handler);
}

void TQuillScomm::NotifyStateChanged()
{
    std::lock_guard<std::mutex> Guard(LineQueuedLock);
    if (StateChanged)
        StateChanged();
}

void TQuillScomm::SetSendFailedHandler(std::function<void()> Handler)
{
    std::lock_guard<std::mutex> Guard(LineQueuedLock);
    SendFailed = std::move(Handler);
}

void TQuillScomm::NotifySendFailed()
{
    std::lock_guard<std::mutex> Guard(LineQueuedLock);
    if (SendFailed)
        SendFailed();
}

std::size_t TQuillScomm::QueuedLines()
{
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    return Lock.owns_lock() ? LineQueue.size() : 0;
}

std::size_t TQuillScomm::QueuedBytes()
{
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    return Lock.owns_lock() ? FQueuedBytes : 0;
}

void TQuillScomm::SetQueueBound(std::size_t Bytes)
{
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    FQueueBound = Bytes;
}

bool TQuillScomm::QueueLine(std::string Line)
{
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    if (!Lock.owns_lock())
        return false;
    FQueuedBytes += Line.size();
    LineQueue.push_back(std::move(Line));
    Lock.unlock();
    NotifyLineQueued();
    return true;
}

uint32_t TQuillScomm::LastLineAt()
{
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    return LastLineTime;
}

std::string TQuillScomm::FetchLine()
{
    std::unique_lock<std::timed_mutex> Lock = LockQueue();
    if (!Lock.owns_lock() || LineQueue.empty())
        return std::string();
    std::string Line = std::move(LineQueue.front());
    LineQueue.pop_front();
    FQueuedBytes -= Line.size();
    return Line;
}

// ------------------------------------------------------- the reader thread

namespace {
// Consecutive reads that found no byte although input was reported, after
// which the device counts as gone even if the port did not say so.
constexpr int EmptyReadsForGone = 20;
constexpr int FirstBackOffMs = 5;
constexpr int LongestBackOffMs = 200;
}  // namespace

TQuillComThread::TQuillComThread(TQuillScomm &ALink) : Link(ALink), ReadBuffer(ReadBufferSize)
{
    WakeFd = WakeWriteFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int Ends[2];
    if (WakeFd < 0 && ::pipe2(Ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        WakeFd = Ends[0];
        WakeWriteFd = Ends[1];
    }
    Thread = std::thread(&TQuillComThread::Execute, this);
}

TQuillComThread::~TQuillComThread()
{
    Terminate();
}

void TQuillComThread::Release()
{
    {
        std::lock_guard<std::mutex> Lock(RunMutex);
        Released = true;
        ++Generation;
    }
    RunCv.notify_all();
}

void TQuillComThread::Park()
{
    std::unique_lock<std::mutex> Lock(RunMutex);
    Released = false;
    RunCv.notify_all();
    Wake();
    RunCv.wait_for(Lock, std::chrono::seconds(1), [this] { return AtParkPoint || Stopping.load(); });
    // A line read that was under way while the port closed may have stored
    // a state after the close cleared it.
    if (AtParkPoint && !Link.Port.Connected()) {
        Link.CtsOn = false;
        Link.DsrOn = false;
        Link.RlsdOn = false;
    }
}

void TQuillComThread::Terminate()
{
    {
        std::lock_guard<std::mutex> Lock(RunMutex);
        if (!Thread.joinable())
            return;
        Stopping = true;
    }
    RunCv.notify_all();
    Wake();
    Thread.join();
    if (WakeWriteFd >= 0 && WakeWriteFd != WakeFd)
        ::close(WakeWriteFd);
    if (WakeFd >= 0)
        ::close(WakeFd);
    WakeFd = WakeWriteFd = -1;
}

bool TQuillComThread::Parked() const
{
    std::lock_guard<std::mutex> Lock(RunMutex);
    return AtParkPoint;
}

void TQuillComThread::Wake()
{
    const uint64_t One = 1;
    if (WakeWriteFd >= 0) {
        const ssize_t Written = ::write(WakeWriteFd, &One, sizeof One);
        (void)Written;  // a full counter is as good as a wake-up
    }
}

void TQuillComThread::DrainWake()
{
    // A pipe may hold several wake-ups; an eventfd reads as one.
    uint64_t Count = 0;
    if (WakeFd >= 0)
        while (::read(WakeFd, &Count, sizeof Count) > 0 && WakeFd != WakeWriteFd) { }
}

void TQuillComThread::BackOff(int Ms)
{
    std::unique_lock<std::mutex> Lock(RunMutex);
    RunCv.wait_for(Lock, std::chrono::milliseconds(Ms), [this] { return !Released || Stopping.load(); });
}

void TQuillComThread::IdleUntilParked()
{
    std::unique_lock<std::mutex> Lock(RunMutex);
    RunCv.wait(Lock, [this] { return !Released || Stopping.load() || Generation != RunGeneration; });
}

void TQuillComThread::Execute()
{
    // The normal policy, whatever the creating thread had: the reader must
    // get the CPU when bytes arrive on a busy machine, or gaps are stamped
    // late and the driver's buffer overflows. It sleeps in poll otherwise.
    sched_param Param {};
    Param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &Param);

    int Fruitless = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> Lock(RunMutex);
            if (!Released && !Stopping && Holding()) {
                // Queued with RunMutex let go: no lock is taken under another.
                Lock.unlock();
                FlushHeld();
                continue;
            }
            if (!Released && !Stopping) {
                AtParkPoint = true;
                RunCv.notify_all();
                RunCv.wait(Lock, [this] { return Released || Stopping.load(); });
                AtParkPoint = false;
                // A park's wake-up must not end the first wait of this run.
                DrainWake();
                Fruitless = 0;
                EmptyReads = 0;
            }
            RunGeneration = Generation;
        }
        if (Stopping) {
            if (Holding())
                FlushHeld();
            return;
        }

        switch (Pass()) {
        case TPassResult::Data:
        case TPassResult::Quiet:
            Fruitless = 0;
            break;
        case TPassResult::Fruitless:
            // Never spin: a port that fails at once would otherwise take a
            // whole core until the UI closes it.
            ++Fruitless;
            BackOff(std::min(FirstBackOffMs << std::min(Fruitless - 1, 8), LongestBackOffMs));
            break;
        case TPassResult::Held:
            Fruitless = 0;
            BackOff(HoldRetryMs);
            break;
        case TPassResult::DeviceGone:
            Link.FDeviceGone = true;
            Link.NotifyStateChanged();
            IdleUntilParked();
            break;
        }
    }
}

TQuillComThread::TPassResult TQuillComThread::Pass()
{
    TComPort &Port = Link.Port;
    auto Failed = [&Port](const EComPort *E) {
        return (E != nullptr && E->DeviceLost()) || Port.DeviceLost() ? TPassResult::DeviceGone
                                                                      : TPassResult::Fruitless;
    };
    auto RefreshLines = [this, &Port] {
        try {
            const TComModemLines Lines = Port.QueryModemLines();
            const bool Changed = Link.CtsOn != Lines.CTS || Link.DsrOn != Lines.DSR || Link.RlsdOn != Lines.RLSD;
            Link.CtsOn = Lines.CTS;
            Link.DsrOn = Lines.DSR;
            Link.RlsdOn = Lines.RLSD;
            if (Changed)
                Link.NotifyStateChanged();
        } catch (...) {
            // The flags keep their last known state.
        }
    };
    try {
        if (Holding())
            return HandOver(false) ? TPassResult::Data : TPassResult::Held;

        // A wait reports only changes after it began; reading the lines
        // just before it keeps a change made since the last pass (or since
        // the open) from staying unseen until the next event.
        RefreshLines();
        TComEvents Events {evRxChar, evCTS, evDSR, evRLSD};
        try {
            Port.WaitForEvent(Events, WakeFd, WakeFd >= 0 ? -1 : WakeSliceMs);
        } catch (const EComPort &E) {
            return Failed(&E);
        }
        RefreshLines();

        if (!Events.Contains(evRxChar))
            // An empty set means the wait was ended (close, park, stop), or
            // a slice passed where there is no wake-up descriptor.
            return Events.Empty() && WakeFd >= 0 ? Failed(nullptr) : TPassResult::Quiet;

        const uint32_t BlockStart = MilliClock();
        int32_t Count = 0;
        try {
            Count = Port.ReadBlock(ReadBuffer.data(), ReadBufferSize);
        } catch (const EComPort &E) {
            return Failed(&E);
        }
        if (Count <= 0) {
            if (++EmptyReads >= EmptyReadsForGone)
                return TPassResult::DeviceGone;
            return Failed(nullptr);
        }
        EmptyReads = 0;

        if (Link.Monitoring) {
            FRawHeld = Count;
            FRawStart = BlockStart;
            if (!HandOver(false))
                return TPassResult::Held;
        }
        return TPassResult::Data;
    } catch (...) {
        // Out of memory for a line: a held block stays in ReadBuffer and is
        // formed again after the back-off.
        return TPassResult::Fruitless;
    }
}

bool TQuillComThread::HandOver(bool OverBound)
{
    if (!Link.Monitoring) {
        FRawHeld = 0;
        FLineHeld = false;
        FHeld = TQuillScomm::TReceivedLine();
        return true;
    }
    if (FRawHeld > 0) {
        FHeld = Link.FormReceived(ReadBuffer.data(), static_cast<std::size_t>(FRawHeld), FRawStart);
        FRawHeld = 0;
        FLineHeld = true;
    }
    if (Link.QueueReceived(FHeld, OverBound) != TQuillScomm::TQueued::Yes)
        return false;
    FLineHeld = false;
    return true;
}

void TQuillComThread::FlushHeld()
{
    // Only short steps hold the queue's lock, and the interface thread waits
    // in Park(): the lock comes soon.
    while (Holding()) {
        try {
            if (HandOver(true))
                return;
        } catch (...) {
            std::this_thread::sleep_for(std::chrono::milliseconds(HoldRetryMs));
        }
        if (Stopping) {
            FRawHeld = 0;
            FLineHeld = false;
            return;
        }
    }
}
