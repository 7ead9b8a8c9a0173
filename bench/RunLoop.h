// Waiting the way the program waits: in its event loop. QTest::qWait sleeps
// 10 ms between passes over the events, so a timer or a wake that falls in
// the sleep is measured 10 ms late and the sleeps' wakes are counted as the
// program's CPU.
#pragma once

#include <QEventLoop>
#include <QTimer>

inline void RunEventLoop(int Ms)
{
    QEventLoop Loop;
    QTimer::singleShot(Ms, Qt::PreciseTimer, &Loop, &QEventLoop::quit);
    Loop.exec();
}
