#include "DeviceReturn.h"

#include "CPort.h"
#include "NetComDevice.h"
#include "QuillScomm.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <thread>

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
    FProbe.reset();
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
    if (!FWaiting)
        return;
    if (FSession.IsOpen()) {
        Cancel();
        return;
    }
    // Asked off this thread: a host that is away would keep the window
    // waiting for the whole connection time-out.
    constexpr int PollMs = 50;
    if (!FProbe) {
        FProbe = std::make_shared<std::atomic<int>>(0);
        std::thread([Probe = FProbe, Port = FChoice.Port] {
            *Probe = ProbeNetPort(Port, NetProbeMs) == 0 ? 1 : 2;
        }).detach();
        FServerTimer->start(PollMs);
        return;
    }
    const int Answer = FProbe->load();
    if (Answer == 0) {
        FServerTimer->start(PollMs);
        return;
    }
    FProbe.reset();
    if (Answer == 1) {
        try {
            FSession.Open(FChoice, Marker);
        } catch (const std::exception &) {
        }
    }
    if (!FSession.IsOpen()) {
        FServerTimer->start(NetRetryMs);
        return;
    }
    const std::string Port = FChoice.Port;
    Cancel();
    if (Reopened)
        Reopened(Port);
}
