#include "SendSteps.h"

#include "AppCommon.h"
#include "MilliClock.h"
#include "QuillScomm.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <exception>

namespace {

// 0-based index of a 1-based line number; -1 (no line) when out of range.
int IndexOf(int64_t Number)
{
    return Number >= 1 && Number <= INT_MAX ? int(Number - 1) : -1;
}

QTime SystemTimeOfDay()
{
    return QTime::currentTime();
}

std::atomic<TTimeOfDayFn> TimeOfDayFn {&SystemTimeOfDay};

constexpr int MsPerDay = 86400000;

}  // namespace

std::optional<TStepFailure> TrySend(int64_t Number, const std::function<void()> &Send)
{
    try {
        Send();
    } catch (const ECom &) {
        return TStepFailure {
            TStepFailure::Refusal, QStringLiteral("Line %1 is not the right format.").arg(QString::number(Number))};
    } catch (const ESendBusy &) {
        // The device does not take what was sent before: this line is
        // skipped rather than queued without end, and sending goes on.
    } catch (const std::exception &Error) {
        return TStepFailure {TStepFailure::Error, QString::fromLocal8Bit(Error.what())};
    }
    return std::nullopt;
}

std::optional<TStepFailure> CycleStep(const TCycleOptions &Options, uint32_t &CycleIndex, TSendTarget &Target)
{
    if (Options.Mode != 0) {
        const auto First = uint32_t(Options.RangeFirst);
        const auto Last = uint32_t(Options.RangeLast);
        if (CycleIndex < First)
            CycleIndex = First;
        if (CycleIndex > Last)
            CycleIndex = First;
        const uint32_t Number = CycleIndex;
        // A line that failed is not passed over: once mended, it goes first.
        if (auto Failure = TrySend(Number, [&] { Target.SendLine(IndexOf(Number)); }))
            return Failure;
        ++CycleIndex;
        return std::nullopt;
    }
    if (Options.LineChoice == 1) {
        const int Number = Target.CaretLine() + 1;
        return TrySend(Number, [&] { Target.SendCaretLine(); });
    }
    return TrySend(Options.FixedLine, [&] { Target.SendLine(IndexOf(Options.FixedLine)); });
}

// ---------------------------------------------------------------------------
// TCycleTimer

namespace {
std::chrono::nanoseconds SteadyNow()
{
    return std::chrono::steady_clock::now().time_since_epoch();
}
}  // namespace

TCycleTimer::TCycleTimer(QObject *Parent) : QObject(Parent), FTimer(new QTimer(this))
{
    FTimer->setSingleShot(true);
    FTimer->setTimerType(Qt::PreciseTimer);
    connect(FTimer, &QTimer::timeout, this, &TCycleTimer::Fire);
}

void TCycleTimer::start(int Ms)
{
    FInterval = Ms;
    start();
}

void TCycleTimer::start()
{
    ++FRun;
    FActive = true;
    FDeadline = SteadyNow() + std::chrono::milliseconds(std::max(1, FInterval));
    Arm();
}

void TCycleTimer::stop()
{
    ++FRun;
    FActive = false;
    FTimer->stop();
}

std::chrono::nanoseconds TCycleTimer::NextDeadline(
    std::chrono::nanoseconds Deadline, std::chrono::nanoseconds Interval, std::chrono::nanoseconds Now)
{
    Deadline += Interval;
    if (Deadline <= Now)
        Deadline += ((Now - Deadline) / Interval + 1) * Interval;
    return Deadline;
}

void TCycleTimer::Arm()
{
    // Rounded up: a timer that fires early only arms again.
    const auto Left = FDeadline - SteadyNow();
    const auto Ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(Left, std::chrono::nanoseconds(0)));
    FTimer->start(Ms);
}

void TCycleTimer::Fire()
{
    if (!FActive)
        return;
    if (SteadyNow() < FDeadline) {
        Arm();
        return;
    }
    const uint64_t Run = FRun;
    Q_EMIT timeout();
    // The tick may have stopped or restarted the timer.
    if (!FActive || Run != FRun)
        return;
    FDeadline = NextDeadline(FDeadline, std::chrono::milliseconds(std::max(1, FInterval)), SteadyNow());
    Arm();
}

void ApplyCycleTimer(TCycleTimer *Timer, bool On, uint32_t Interval)
{
    if (!On) {
        Timer->stop();
        return;
    }
    const int Ms = int(std::max<uint32_t>(1, std::min<uint32_t>(Interval, INT_MAX)));
    if (!Timer->isActive() || Timer->interval() != Ms)
        Timer->start(Ms);
}

QTime TimeOfDay()
{
    return TimeOfDayFn.load(std::memory_order_acquire)();
}

TTimeOfDayFn SetTimeOfDay(TTimeOfDayFn Fn)
{
    return TimeOfDayFn.exchange(Fn ? Fn : &SystemTimeOfDay, std::memory_order_acq_rel);
}

QString TimeText(const QTime &Time)
{
    return QLocale::system().toString(Time, QLocale::LongFormat);
}

QTime TriggerTimeOfDay(double Value)
{
    if (!std::isfinite(Value))
        return QTime(0, 0);
    // Before 30 December 1899 the time still counts forward from midnight.
    const double Fraction = std::fabs(Value - std::trunc(Value));
    const auto Ms = static_cast<int>(std::llround(Fraction * MsPerDay) % MsPerDay);
    return QTime::fromMSecsSinceStartOfDay(Ms);
}

double TriggerTimeValue(const QTime &Time)
{
    return Time.isValid() ? double(Time.msecsSinceStartOfDay()) / MsPerDay : 0.0;
}

// ---------------------------------------------------------------------------
// TTriggerSend

TTriggerSend::TTriggerSend(
    TSendTarget &Target, const TTriggerOptions &Options, bool &TriggerOn, int32_t &RxTriggerState, QObject *Parent)
    : QObject(Parent),
      FTarget(Target),
      FOptions(Options),
      FTriggerOn(TriggerOn),
      FRxState(RxTriggerState),
      FTimingWake(new QTimer(this)),
      FReceiveWake(new QTimer(this)),
      FCollator(QLocale::system())
{
    FCollator.setCaseSensitivity(Qt::CaseInsensitive);
    for (QTimer *Wake : {FTimingWake, FReceiveWake}) {
        Wake->setSingleShot(true);
        Wake->setTimerType(Qt::PreciseTimer);
    }
    connect(FTimingWake, &QTimer::timeout, this, &TTriggerSend::TimingStep);
    connect(FReceiveWake, &QTimer::timeout, this, &TTriggerSend::ReceiveStep);
}

void TTriggerSend::OptionsChanged()
{
    if (TimingActive())
        FTimingWake->start(0);
    else
        FTimingWake->stop();
    Plan();
}

void TTriggerSend::Plan()
{
    // The timing wake is planned by its own step; OptionsChanged starts it.
    if (!TimingActive())
        FTimingWake->stop();
    const int Receive = ReceiveWait();
    if (Receive < 0)
        FReceiveWake->stop();
    else
        FReceiveWake->start(Receive);
}

void TTriggerSend::Fail(const TStepFailure &Failure)
{
    FTriggerOn = false;
    Plan();
    if (Failed)
        Failed(Failure);
}

int TTriggerSend::TimingWait() const
{
    if (!TimingActive())
        return -1;
    if (TimingState == Firing) {
        const uint32_t Passed = MilliClock() - TimingStart;
        const uint32_t Interval = FOptions.TimingInterval;
        return Passed >= Interval ? 0 : int(std::min<uint32_t>(Interval - Passed, INT_MAX));
    }
    // Disarmed and armed change only when the text of the time does, that
    // is at a second's boundary.
    return 1000 - TimeOfDay().msec();
}

int TTriggerSend::ReceiveWait() const
{
    if (!ReceiveActive() || FRxState != 2)
        return -1;
    const uint32_t Passed = MilliClock() - RxTriggerStart;
    const uint32_t Delay = FOptions.TriggerDelay;
    return Passed >= Delay ? 0 : int(std::min<uint32_t>(Delay - Passed, INT_MAX));
}

void TTriggerSend::TimingStep()
{
    if (!TimingActive())
        return;
    const TTriggerOptions &O = FOptions;
    std::optional<TStepFailure> Failure;
    switch (TimingState) {
    case Disarmed:
    case Armed: {
        if (FTextOf != O.TriggerTime || FTriggerText.isEmpty()) {
            FTriggerText = TimeText(TriggerTimeOfDay(O.TriggerTime));
            FTextOf = O.TriggerTime;
        }
        const bool Equal = TimeText(TimeOfDay()) == FTriggerText;
        if (TimingState == Disarmed && !Equal) {
            TimingState = Armed;
        } else if (TimingState == Armed && Equal) {
            TimingState = Firing;
            TimingStart = MilliClock();
            TimingCursor = uint32_t(O.TimingRangeFirst);
        }
        break;
    }
    case Firing: {
        const uint32_t Now = MilliClock();
        if (Now - TimingStart < O.TimingInterval)
            break;
        TimingStart = Now;
        if (O.TimingMode != 0) {
            if (uint32_t(O.TimingRangeLast) < TimingCursor) {
                TimingState = Disarmed;
                break;
            }
            const uint32_t Number = TimingCursor++;
            Failure = TrySend(Number, [&] { FTarget.SendLine(IndexOf(Number)); });
        } else if (O.TimingLineChoice == 1) {
            TimingState = Disarmed;
            Failure = TrySend(FTarget.CaretLine() + 1, [&] { FTarget.SendCaretLine(); });
        } else {
            TimingState = Disarmed;
            Failure = TrySend(O.TimingFixedLine, [&] { FTarget.SendLine(IndexOf(O.TimingFixedLine)); });
        }
        break;
    }
    default:
        TimingState = Armed;
    }
    if (Failure) {
        TimingState = Disarmed;
        Fail(*Failure);
        return;
    }
    const int Wait = TimingWait();
    if (Wait >= 0)
        FTimingWake->start(Wait);
}

bool TTriggerSend::Matches(const std::string &Rx, const std::string &Pattern)
{
    return FCollator.compare(QString::fromLatin1(Rx.data(), qsizetype(Rx.size())),
               QString::fromLatin1(Pattern.data(), qsizetype(Pattern.size()))) == 0;
}

void TTriggerSend::LineTaken(const std::string &LastRxData)
{
    if (!ReceiveActive())
        return;
    // A pending send is dropped by any line; the wake planned for it goes.
    const std::string Rx = FRxState == 1 ? FormatHexText(LastRxData) : std::string();
    for (int Row = 0; Row < 10 && !Rx.empty(); ++Row) {
        const int32_t RecLine = FOptions.RecLine[Row];
        if (RecLine == 0)
            continue;
        const std::string Pattern = FormatHexText(FTarget.LineText(IndexOf(RecLine)));
        // An empty line names no frame.
        if (Pattern.empty() || !Matches(Rx, Pattern))
            continue;
        FRxState = 2;
        RxTriggerStart = MilliClock();
        RxTriggerRow = Row + 1;
        break;
    }
    Plan();
}

void TTriggerSend::ReceiveStep()
{
    if (!ReceiveActive() || FRxState != 2)
        return;
    if (MilliClock() - RxTriggerStart < FOptions.TriggerDelay) {
        Plan();
        return;
    }
    FRxState = 0;
    const int32_t Number = FOptions.TrigLine[std::clamp(RxTriggerRow, 1, 10) - 1];
    if (auto Failure = TrySend(Number, [&] { FTarget.SendLine(IndexOf(Number)); }))
        Fail(*Failure);
}
