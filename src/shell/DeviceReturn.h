// Reopening a port whose device vanished, when the device comes back: the
// path the port was opened by is watched through its nearest folder that
// exists (inotify: nothing runs while the device is away), and when it is
// there again the port is reopened with the same settings, a marker line
// queued first so that the receive view shows where the gap was. A network
// port has no path to watch: it is opened again in the background every
// NetRetryMs until its server takes it. No widgets.
#pragma once

#include "PortSession.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class QFileSystemWatcher;
class QTimer;

class TDeviceReturn {
public:
    // Not owned; it outlives this.
    explicit TDeviceReturn(TPortSession &Session);
    ~TDeviceReturn();
    TDeviceReturn(const TDeviceReturn &) = delete;
    TDeviceReturn &operator=(const TDeviceReturn &) = delete;

    // The port's device vanished: reopen with Choice when its path returns.
    // Replaces any earlier wait.
    void Await(const TPortChoice &Choice);
    // Stops waiting (the user opened or closed a port, or turned this off).
    void Cancel();
    bool Waiting() const { return FWaiting; }
    // The folder watched while waiting (tests); empty when not waiting.
    std::string WatchedFolder() const;

    // Called after a reopen, with the port's name as chosen.
    std::function<void(const std::string &Port)> Reopened;
    // Called when a background open of a network port ended, whatever its
    // outcome (the port's controls show the state again).
    std::function<void()> OpenEnded;

    // The line between what came before the gap and what came after.
    static const std::string Marker;
    // A device node may be there before it can be opened (udev sets its
    // owner and mode just after): a failed open is tried again this often,
    // this many times, then the next change in the folder is waited for.
    static constexpr int RetryMs = 250;
    static constexpr int Retries = 20;
    // How often a vanished network port is tried again.
    static constexpr int NetRetryMs = 1000;

private:
    void Arm();
    void Check();
    void CheckServer();
    TPortSession &FSession;
    TPortChoice FChoice;
    std::string FPath;
    bool FWaiting = false;
    int FTries = 0;
    std::unique_ptr<QFileSystemWatcher> FWatcher;
    std::unique_ptr<QTimer> FRetry;
    std::unique_ptr<QTimer> FServerTimer;
    // A background open under way: set by its thread when it ended.
    std::shared_ptr<std::atomic<bool>> FOpenDone;
    void OpenTried();
};
