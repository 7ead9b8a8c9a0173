// Cycle send and the two triggers: which line of the send view goes out, and
// when. No widgets: the send view and the link are reached through
// TSendTarget, time through MilliClock and TimeOfDay, so a test drives every
// step with a clock of its own.
//
// Nothing here polls. The cycle runs on the runtime's CycleTimer; an armed
// timing trigger wakes once a second (its time is compared as a text of
// whole seconds) and once per interval while it fires; a received line that
// matches wakes the receive trigger once, when its delay is over.
#pragma once

#include <QCollator>
#include <QObject>
#include <QString>
#include <QTime>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QTimer;

// Copies of the settings record's cycle and trigger fields, taken at every
// options step; the steps read only these.
struct TCycleOptions {
    uint8_t Mode = 0;        // 0 one line, 1 a range
    uint8_t LineChoice = 0;  // 1 the caret line, 0 the fixed line
    int32_t FixedLine = 0;   // 1-based
    int32_t RangeFirst = 0;
    int32_t RangeLast = 0;
    uint32_t Interval = 0;  // ms
};
struct TTriggerOptions {
    bool TimingTriggerOn = false;
    double TriggerTime = 0;  // days since 30 December 1899; the time of day counts
    uint8_t TimingMode = 0;
    uint8_t TimingLineChoice = 0;
    int32_t TimingFixedLine = 0;
    int32_t TimingRangeFirst = 0;
    int32_t TimingRangeLast = 0;
    uint32_t TimingInterval = 0;
    bool ReceiveTriggerOn = false;
    int32_t RecLine[10] = {};  // 0: the row is empty
    int32_t TrigLine[10] = {};
    uint32_t TriggerDelay = 0;
};

// The send view and the link as the steps use them.
class TSendTarget {
public:
    virtual ~TSendTarget() = default;
    // Sends the send view's line of 0-based Index (nothing past the end, or
    // while the port is closed) or the caret line. They throw what the
    // link's SendData throws: ECom for text that is not hexadecimal,
    // ESendBusy, a port error.
    virtual void SendLine(int Index) = 0;
    virtual void SendCaretLine() = 0;
    // 0-based line of the send view's caret.
    virtual int CaretLine() = 0;
    // The send view's line of 0-based Index; empty past the end.
    virtual std::string LineText(int Index) = 0;
};

// A send that failed; the source that sent it has been stopped already, so
// that the next tick does not tell the same failure again.
struct TStepFailure {
    // Refusal: a warning box "Send" owned by the send window. Error: the
    // application's standard error report.
    enum TKind { Refusal, Error } Kind = Refusal;
    QString Text;
};

// Runs Send for the 1-based line Number and turns what it throws into the
// failure the user is told: "Line N is not the right format." for text that
// is not hexadecimal. A send refused because the link's backlog is full is
// no failure: that line is skipped.
std::optional<TStepFailure> TrySend(int64_t Number, const std::function<void()> &Send);

// One tick of cycle send. The range cursor moves on after each send of a
// range (an empty or missing line included) and is never reset.
std::optional<TStepFailure> CycleStep(const TCycleOptions &Options, uint32_t &CycleIndex, TSendTarget &Target);

// The cycle send's timer: fires on absolute deadlines, start + k x interval.
// After the thread was held past one or more deadlines it fires once, as soon
// as it can, and then at the next deadline of the same schedule; a periodic
// QTimer would count its next period from the late firing and shift every
// later send. Keeps QTimer's names for what it shares with it.
class TCycleTimer : public QObject {
    Q_OBJECT
public:
    explicit TCycleTimer(QObject *Parent = nullptr);

    // (Re)starts the schedule: the first firing one interval from now.
    void start(int Ms);
    void start();
    void stop();
    bool isActive() const { return FActive; }
    int interval() const { return FInterval; }
    // Takes effect at the next start.
    void setInterval(int Ms) { FInterval = Ms; }

Q_SIGNALS:
    void timeout();

private:
    // The deadline that follows Deadline, given that the firing for it ended
    // at Now: the next one after Now on the same schedule.
    static std::chrono::nanoseconds NextDeadline(
        std::chrono::nanoseconds Deadline, std::chrono::nanoseconds Interval, std::chrono::nanoseconds Now);
    void Fire();
    void Arm();
    QTimer *FTimer;
    std::chrono::nanoseconds FDeadline {0};  // on the steady clock
    int FInterval = 0;
    bool FActive = false;
    uint64_t FRun = 0;  // one more at every start and stop
};

// Enables or disables a cycle timer. Setting what it already has leaves a
// running schedule alone: many commands re-apply the options.
void ApplyCycleTimer(TCycleTimer *Timer, bool On, uint32_t Interval);

// The time of day the timing trigger compares, with milliseconds. Tests may
// put a clock of their own in (nullptr restores the system's); returns the
// one replaced.
using TTimeOfDayFn = QTime (*)();
QTime TimeOfDay();
TTimeOfDayFn SetTimeOfDay(TTimeOfDayFn Fn);

// A time of day as the user's locale writes it in full (hours, minutes and
// seconds); two times match when these texts are equal.
QString TimeText(const QTime &Time);
// The time of day of a stored date-time value.
QTime TriggerTimeOfDay(double Value);
// The stored value for a time of day (no date).
double TriggerTimeValue(const QTime &Time);

// The timing trigger (disarmed, armed, firing) and the receive trigger
// (idle, a line was taken, waiting for the delay), each waking the
// interface thread only when it has something to do.
class TTriggerSend : public QObject {
    Q_OBJECT
public:
    // Options, TriggerOn and RxTriggerState belong to the runtime and must
    // outlive this object; a failed send clears TriggerOn.
    TTriggerSend(TSendTarget &Target, const TTriggerOptions &Options, bool &TriggerOn, int32_t &RxTriggerState,
        QObject *Parent = nullptr);

    enum { Disarmed = 0, Armed = 1, Firing = 2 };
    int TimingState = Armed;
    uint32_t TimingStart = 0;
    uint32_t TimingCursor = 0;
    uint32_t RxTriggerStart = 0;
    int RxTriggerRow = 0;  // 1 to 10

    // A failed send, told after both triggers were stopped.
    std::function<void(const TStepFailure &)> Failed;

    // The options or TriggerOn changed: both triggers look again at once.
    void OptionsChanged();
    // A line was taken from the queue (the runtime has set RxTriggerState
    // to 1); LastRxData is its data when it was received, else empty.
    void LineTaken(const std::string &LastRxData);
    // One step of each, as their wakes run them.
    void TimingStep();
    void ReceiveStep();

    // Milliseconds until each wants its next step; -1 when it sleeps.
    int TimingWait() const;
    int ReceiveWait() const;
    bool TimingActive() const { return FTriggerOn && FOptions.TimingTriggerOn; }
    bool ReceiveActive() const { return FTriggerOn && FOptions.ReceiveTriggerOn; }

private:
    void Plan();
    void Fail(const TStepFailure &Failure);
    bool Matches(const std::string &Rx, const std::string &Pattern);

    TSendTarget &FTarget;
    const TTriggerOptions &FOptions;
    bool &FTriggerOn;
    int32_t &FRxState;
    QTimer *FTimingWake;
    QTimer *FReceiveWake;
    QCollator FCollator;
    // The trigger time's text, made again only when the stored time changes.
    double FTextOf = -1;
    QString FTriggerText;
};
