// Screenshots of the print preview under Xvfb, at the scale factor the
// environment gives (README, development):
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/shell/preview_shots DIR
//   QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2560x1600x24" build/tests/shell/preview_shots DIR2
// Writes DIR/preview-building.png (pages still being laid out),
// preview-actual.png ("Actual Size") and preview-full.png ("Full Page").
#include "../support/Shoot.h"
#include "PrintUnit.h"
#include "RichView.h"
#include "SendClass.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {
std::string Hex(int Seed)
{
    static const char Digits[] = "0123456789ABCDEF";
    std::string S;
    for (int I = 0; I < 100; ++I) {
        const int B = (Seed * 31 + I * 7) & 0xFF;
        S += Digits[B >> 4];
        S += Digits[B & 15];
        S += I < 99 ? " " : "";
    }
    return S;
}
}  // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: preview_shots DIR\n");
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

    // Received lines as the program shows them: a grey time tag, hex data.
    for (int I = 0; I < 30000; ++I) {
        const int Ms = I * 10;
        char Tag[32];
        std::snprintf(
            Tag, sizeof Tag, "[%02d:%02d:%02d.%03d Rx] ", Ms / 3600000, Ms / 60000 % 60, Ms / 1000 % 60, Ms % 1000);
        Main->DataRT()->AppendLine(Main->ReceiveView(), Tag, 0x00C80000, Hex(I));
    }
    Main->ReceiveView()->FlushUpdates();

    TPrintForm *Form = Main->PrintForm;
    Main->findChild<QAction *>(QStringLiteral("PrintPreviewItem"))->trigger();
    if (!QTest::qWaitForWindowActive(Form))
        return 1;
    Shoot(Form, Out.filePath(QStringLiteral("preview-building.png")), 200);
    Form->WaitForBuild();
    Form->findChild<QPushButton *>(QStringLiteral("ActualSizeButton"))->click();
    Shoot(Form, Out.filePath(QStringLiteral("preview-actual.png")));
    Form->findChild<QPushButton *>(QStringLiteral("FullPageButton"))->click();
    Shoot(Form, Out.filePath(QStringLiteral("preview-full.png")));
    Form->close();
    Main->close();
    return 0;
}
