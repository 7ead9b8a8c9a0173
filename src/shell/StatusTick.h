// The status bar's tick: a refresh every 50 ms while anything it shows may
// change, asleep otherwise, so that an idle monitor does not wake the
// interface thread twenty times a second. No widgets.
//
// What wakes it: any event of the application but timers, painting and
// socket activity (input, for one), Wake() from the commands and from each
// hand-over of received lines, and WakeLater() from other threads (the
// reader's news).
#pragma once

#include "DisplayWake.h"

#include <QObject>

#include <functional>

class QTimer;

class TStatusTick : public QObject {
    Q_OBJECT
public:
    static constexpr int Interval = 50;
    // Refreshes in a row that changed nothing before the tick sleeps.
    static constexpr int IdleTicksBeforeSleep = 20;

    // Step is one refresh. It returns true when anything it shows changed,
    // or when something runs that may change it without an event. It must
    // not throw: it runs from the event loop.
    explicit TStatusTick(std::function<bool()> Step, QObject *Parent = nullptr);
    ~TStatusTick() override;

    // Starts ticking and watching the application's events.
    void Start();
    // Stops for good: no refresh and no wake any more.
    void Stop();
    // Ticks again (now, if asleep). Interface thread only.
    void Wake();
    // Wake() from any thread, run by the interface thread's event loop.
    void WakeLater();
    bool Sleeping() const;

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void Fire();

    std::function<bool()> FStep;
    QTimer *FTimer;
    int FIdleTicks = 0;
    bool FStarted = false;
    TDisplayWake FWakeLater;
};
