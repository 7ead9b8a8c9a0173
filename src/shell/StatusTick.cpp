#include "StatusTick.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

TStatusTick::TStatusTick(std::function<bool()> Step, QObject *Parent)
    : QObject(Parent), FStep(std::move(Step)), FTimer(new QTimer(this)), FWakeLater(this, [this] { Wake(); })
{
    FTimer->setObjectName(QStringLiteral("Timer1"));
    FTimer->setInterval(Interval);
    connect(FTimer, &QTimer::timeout, this, &TStatusTick::Fire);
}

TStatusTick::~TStatusTick()
{
    Stop();
}

void TStatusTick::Start()
{
    if (FStarted)
        return;
    FStarted = true;
    FIdleTicks = 0;
    QCoreApplication::instance()->installEventFilter(this);
    FTimer->start();
}

void TStatusTick::Stop()
{
    if (!FStarted)
        return;
    FStarted = false;
    if (QCoreApplication *App = QCoreApplication::instance())
        App->removeEventFilter(this);
    FTimer->stop();
}

void TStatusTick::Wake()
{
    if (!FStarted)
        return;
    FIdleTicks = 0;
    if (!FTimer->isActive())
        FTimer->start();
}

void TStatusTick::WakeLater()
{
    FWakeLater.Post();
}

bool TStatusTick::Sleeping() const
{
    return FStarted && !FTimer->isActive();
}

void TStatusTick::Fire()
{
    const bool Changed = FStep();
    FIdleTicks = Changed ? 0 : FIdleTicks + 1;
    if (FIdleTicks >= IdleTicksBeforeSleep)
        FTimer->stop();
}

bool TStatusTick::eventFilter(QObject *Watched, QEvent *Event)
{
    switch (Event->type()) {
    // What the tick's own work and the display cause, and socket activity
    // (which becomes an event of its own when it matters).
    case QEvent::Timer:
    case QEvent::Paint:
    case QEvent::UpdateRequest:
    case QEvent::UpdateLater:
    case QEvent::LayoutRequest:
    case QEvent::DeferredDelete:
    case QEvent::SockAct:
    case QEvent::SockClose:
        break;
    default:
        if (!FTimer->isActive())
            Wake();
    }
    return QObject::eventFilter(Watched, Event);
}
