// Screenshots of the program's windows for the screenshot programs (run
// under Xvfb; see the README): the window's frame with a small margin, and
// an open drop-down list that reaches past it.
#pragma once

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <cstdio>

inline void Shoot(QWidget *Window, const QString &Path, int Wait = 300)
{
    QApplication::processEvents();
    QTest::qWait(Wait);
    Window->repaint();
    QApplication::processEvents();
    QRect Frame = Window->frameGeometry().adjusted(-2, -2, 2, 2);
    for (QWidget *Top : QApplication::topLevelWidgets())
        if (Top->isVisible() && Top != Window && Top->inherits("QComboBoxPrivateContainer"))
            Frame = Frame.united(Top->frameGeometry().adjusted(-2, -2, 2, 2));
    const QPixmap Shot = Window->screen()->grabWindow(0, Frame.x(), Frame.y(), Frame.width(), Frame.height());
    if (!Shot.save(Path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(Path));
}
