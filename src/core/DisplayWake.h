// The path from the link's threads into Qt: a line was queued, so the
// display (on the thread of a QObject) is woken to show it; or other news
// the interface thread acts on.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>

class QSocketNotifier;

class TDisplayWake {
public:
    // OnWake runs on Context's thread for each hand-over. Context must
    // outlive this object (make it a member of Context); a hand-over still
    // queued when Context goes is dropped by Qt with it.
    TDisplayWake(QObject *Context, std::function<void()> OnWake);
    // On Context's thread, with no Post() running.
    ~TDisplayWake();
    TDisplayWake(const TDisplayWake &) = delete;
    TDisplayWake &operator=(const TDisplayWake &) = delete;

    // Any thread: posts a hand-over unless one is already in flight, so a
    // burst of lines costs one event. The flag is cleared before OnWake
    // runs: a line queued meanwhile posts again and is not missed.
    void Post();

private:
    // The hand-over is a write to an event counter that Context's thread
    // watches: no object is made on the posting thread for the other to
    // read, and the kernel orders the two sides (as ThreadSanitizer sees).
    int FFd = -1;
    QSocketNotifier *FNotifier = nullptr;
    std::function<void()> FOnWake;
    std::atomic<bool> FPosted {false};
};
