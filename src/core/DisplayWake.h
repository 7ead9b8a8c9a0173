// The one path from the reader thread into Qt: a line was queued, so the
// display (on the thread of a QObject) is woken to show it.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>

class TDisplayWake {
public:
    // OnWake runs on Context's thread for each hand-over. Context must
    // outlive this object (make it a member of Context); a hand-over still
    // queued when Context goes is dropped by Qt with it.
    TDisplayWake(QObject *Context, std::function<void()> OnWake);
    TDisplayWake(const TDisplayWake &) = delete;
    TDisplayWake &operator=(const TDisplayWake &) = delete;

    // Any thread: posts a hand-over unless one is already in flight, so a
    // burst of lines costs one event. The flag is cleared before OnWake
    // runs: a line queued meanwhile posts again and is not missed.
    void Post();

private:
    QObject *FContext;
    std::function<void()> FOnWake;
    std::atomic<bool> FPosted {false};
};
