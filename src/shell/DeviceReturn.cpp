#include "DeviceReturn.h"

#include "CPort.h"
#include "NetComDevice.h"
#include "QuillScomm.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {
// How often a background open is looked at until it ends.
constexpr int PollMs = 50;
}  // namespace

const std::string TDeviceReturn::Marker = "--- device returned: port reopened ---";

TDeviceReturn::TDeviceReturn(TPortSession &Session)
    : FSession(Session),
      FWatcher(std::make_unique<QFileSystemWatcher>()),
      FRetry(std::make_unique<QTimer>()),
      FServerTimer(std::make_unique<QTimer>())
{
    FServerTimer->setSingleShot(true);
    QObject::connect(FServerTimer.get(), &QTimer::timeout, FServerTimer.get(), [this] { CheckServer(); });
    FRetry->setSingleShot(true);
    FRetry->setInterval(RetryMs);
    QObject::connect(FWatcher.get(), &QFileSystemWatcher::directoryChanged, FWatcher.get(), [this] {
        FTries = 0;
        Check();
    });
    QObject::connect(FRetry.get(), &QTimer::timeout, FRetry.get(), [this] { Check(); });
}

TDeviceReturn::~TDeviceReturn() = default;

void TDeviceReturn::Await(const TPortChoice &Choice)
{
    Cancel();
    FChoice = Choice;
    FPath = ComPortDevicePath(Choice.Port);
    if (FPath.empty())
        return;
    FWaiting = true;
    if (IsNetPortName(Choice.Port)) {
        FServerTimer->start(NetRetryMs);
        return;
    }
    // Not tried at once: the node of a device just found gone may still be
    // there for a moment, and a device that opens only to hang up again
    // must not be reopened in a loop. Its return changes its folder.
    Arm();
}

void TDeviceReturn::Cancel()
{
    FWaiting = false;
    FRetry->stop();
    FServerTimer->stop();
    // An open under way is given up; its end is still taken (OpenTried).
    FSession.CancelOpen();
    FTries = 0;
    if (!FWatcher->directories().isEmpty())
        FWatcher->removePaths(FWatcher->directories());
}

std::string TDeviceReturn::WatchedFolder() const
{
    const QStringList Folders = FWatcher->directories();
    return Folders.isEmpty() ? std::string() : Folders.first().toStdString();
}

void TDeviceReturn::Arm()
{
    // The nearest folder that exists: a by-id folder goes with the last
    // adapter, and its parent tells when it is back.
    QString Folder = QFileInfo(QString::fromStdString(FPath)).absolutePath();
    while (!QFileInfo(Folder).isDir() && Folder != QDir::rootPath())
        Folder = QFileInfo(Folder).absolutePath();
    const QStringList Watched = FWatcher->directories();
    if (Watched.size() == 1 && Watched.first() == Folder)
        return;
    if (!Watched.isEmpty())
        FWatcher->removePaths(Watched);
    FWatcher->addPath(Folder);
}

void TDeviceReturn::Check()
{
    if (!FWaiting)
        return;
    Arm();
    // A link that leads nowhere is not the device.
    if (!QFileInfo::exists(QString::fromStdString(FPath)))
        return;
    if (FSession.IsOpen()) {
        Cancel();
        return;
    }
    try {
        FSession.Open(FChoice, Marker);
    } catch (const std::exception &) {
    }
    if (!FSession.IsOpen()) {
        if (++FTries < Retries)
            FRetry->start();
        return;
    }
    const std::string Port = FChoice.Port;
    Cancel();
    if (Reopened)
        Reopened(Port);
}

void TDeviceReturn::CheckServer()
{
    if (!FWaiting || FOpenDone)
        return;
    if (FSession.IsOpen() || FSession.Opening()) {
        Cancel();
        return;
    }
    // Off this thread: a host that is away would keep the window waiting
    // for the whole connection time-out.
    FOpenDone = std::make_shared<std::atomic<bool>>(false);
    QTimer *Poll = FServerTimer.get();
    FSession.OpenInBackground(
        FChoice, [Done = FOpenDone](const std::string &, bool) { *Done = true; }, Marker);
    QTimer::singleShot(PollMs, Poll, [this] { OpenTried(); });
}

void TDeviceReturn::OpenTried()
{
    if (!FOpenDone)
        return;
    if (!*FOpenDone) {
        QTimer::singleShot(PollMs, FServerTimer.get(), [this] { OpenTried(); });
        return;
    }
    FOpenDone.reset();
    FSession.FinishOpen();
    const bool Opened = FSession.IsOpen();
    if (FWaiting && !Opened)
        FServerTimer->start(NetRetryMs);
    if (Opened) {
        const std::string Port = FChoice.Port;
        Cancel();
        if (Reopened)
            Reopened(Port);
    }
    if (OpenEnded)
        OpenEnded();
}
