// Screenshots of the small windows under Xvfb, at the scale factor the
// environment gives (README, development):
//   xvfb-run -a -s "-screen 0 1600x1200x24" build/tests/shell/smallwin_shots DIR
//   QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 3200x2400x24" build/tests/shell/smallwin_shots DIR2
// Writes DIR/colour.png, converter.png, popup.png, about.png, ascii-table.png.
#include "../support/Shoot.h"
#include "AscUnit.h"
#include "BColorSetUnit.h"
#include "HexUnit.h"
#include "PopUnit.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "aboutUnit.h"
#include "main.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: smallwin_shots DIR\n");
        return 2;
    }
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    QApplication App(argc, argv);
    const QDir Out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(Out.path());
    const QStringList Ports;
    std::unique_ptr<TMainForm> Main = CreateProgram({}, &Ports);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;

    Main->BColorSetForm->ShowBeside(Main.get());
    Shoot(Main->BColorSetForm, Out.filePath(QStringLiteral("colour.png")));
    Main->BColorSetForm->close();

    Main->HexDecForm->ShowAtCursor();
    Main->HexDecForm->move(100, 100);
    QTest::keyClicks(Main->HexDecForm->Field(TNumberField::Hex), QStringLiteral("FFFFFFFFF"));
    Shoot(Main->HexDecForm, Out.filePath(QStringLiteral("converter.png")));
    Main->HexDecForm->close();

    TRichView *View = Main->ReceiveView();
    View->Append({{QStringLiteral("01 02 03 04"), Qt::black}});
    View->SetSelection(0, 11);
    Main->DataRT()->ActiveView = View;
    Main->DataRT()->ToDecBin(QPoint(200, 300));
    Shoot(Main->PopForm, Out.filePath(QStringLiteral("popup.png")));
    Main->PopForm->hide();

    Main->aboutForm->ShowBeside(Main.get());
    Shoot(Main->aboutForm, Out.filePath(QStringLiteral("about.png")));
    Main->aboutForm->close();

    Main->AscForm->ShowAtPlace();
    Shoot(Main->AscForm, Out.filePath(QStringLiteral("ascii-table.png")));
    Main->AscForm->close();
    Main->close();
    return 0;
}
