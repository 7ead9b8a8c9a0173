// Writes the designed layout (send window docked left 220 px wide, search
// window docked at the bottom 100 px high and hidden, the main window at its
// designed outer bounds) to the file named by the argument. Its output is
// resources/default-layout.ini; run it offscreen after changing the docks:
//   QT_QPA_PLATFORM=offscreen build/tests/shell/make_default_layout resources/default-layout.ini
#include "FindUnit.h"
#include "SendUnit.h"
#include "main.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_default_layout FILE\n");
        return 2;
    }
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    QApplication App(argc, argv);
    const QStringList NoPorts;
    std::unique_ptr<TMainForm> Main = CreateProgram({}, &NoPorts);
    Main->show();
    Main->restoreState(QByteArray());
    Main->addDockWidget(Qt::LeftDockWidgetArea, Main->SendForm);
    Main->addDockWidget(Qt::BottomDockWidgetArea, Main->FindForm);
    Main->SendForm->setFloating(false);
    Main->FindForm->setFloating(false);
    Main->SendForm->show();
    Main->FindForm->show();
    // Outer bounds left 361, top 158, right 1046, bottom 664: the frame
    // is placed there, the client inside it.
    QApplication::processEvents();
    const QRect Frame = Main->frameGeometry(), Client = Main->geometry();
    const int Left = Client.left() - Frame.left(), Top = Client.top() - Frame.top();
    const int Right = Frame.right() - Client.right(), Bottom = Frame.bottom() - Client.bottom();
    Main->setGeometry(361 + Left, 158 + Top, 1046 - 361 - Left - Right, 664 - 158 - Top - Bottom);
    QApplication::processEvents();
    Main->resizeDocks({Main->SendForm}, {220}, Qt::Horizontal);
    Main->resizeDocks({Main->FindForm}, {100}, Qt::Vertical);
    QApplication::processEvents();
    Main->FindForm->hide();
    QApplication::processEvents();
    return Main->WriteLayout(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
