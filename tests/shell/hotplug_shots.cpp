// Screenshots of ports that come and go, under Xvfb (see README, development):
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/shell/hotplug_shots DIR
// Writes DIR/ports-list.png (the port list open: two adapters by their by-id
// names, kernel name, maker and model beside them, then a plain port) and
// DIR/ports-reopened.png (a device unplugged and plugged back in: the lines
// before and after, the marker between them, the status bar's message).
// The adapters are socat pseudo-terminals linked from a device folder of
// this program's own; their makers and models are given here.
#include "../support/Shoot.h"
#include "SocatPair.h"

#include "DataFolder.h"
#include "PortList.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {
// The unplug's message box would wait for a click.
class TQuiet : public TRuntimeMessages {
public:
    void Warning(QWidget *, const QString &, const QString &) override { }
    void StandardError(const QString &) override { }
};

bool Wait(const std::function<bool()> &Done)
{
    for (int I = 0; I < 100 && !Done(); ++I)
        QTest::qWait(50);
    return Done();
}
}  // namespace

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    const QString Out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(Out);
    QTemporaryDir Home, Dev, Sys;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    TSocatPair First, Second;
    if (!First.Start() || !Second.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(First.Error + Second.Error));
        return 1;
    }
    const QString ById = Dev.filePath(QStringLiteral("serial/by-id"));
    QDir().mkpath(ById);
    const QString FtdiLink = ById + QStringLiteral("/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    ::symlink(First.Near().c_str(), FtdiLink.toLocal8Bit().constData());
    ::symlink(Second.Near().c_str(),
        (ById + QStringLiteral("/usb-Arduino__www.arduino.cc__0043_7503-if00")).toLocal8Bit().constData());
    QDir().mkpath(Sys.filePath(QStringLiteral("ttyS0/device")));

    const QStringList None;
    auto Main = CreateProgram({}, &None);
    TPortRoots Roots;
    Roots.Dev = Dev.path().toStdString();
    Roots.SysClass = Sys.path().toStdString();
    Roots.Modems = false;
    Roots.Describe = [&](const std::string &Kernel) -> TAdapterInfo {
        char Target[PATH_MAX];
        if (::realpath(First.Near().c_str(), Target) && "/dev/" + Kernel == Target)
            return {"FTDI", "FT232R USB UART"};
        if (Kernel.rfind("pts/", 0) == 0)
            return {"Arduino (www.arduino.cc)", "0043"};
        return {};
    };
    TQuiet Quiet;
    Main->SetMessages(&Quiet);
    Main->WatchPorts(Roots);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;
    auto *Combo = Main->findChild<QComboBox *>(QStringLiteral("CBoxPort"));
    Combo->showPopup();
    Shoot(Main.get(), Out + QStringLiteral("/ports-list.png"));
    Combo->hidePopup();

    Main->Settings.SetAsciiReceive(true);
    Main->ApplyOptions();
    Combo->setCurrentIndex(Combo->findText(FtdiLink));
    Main->TogglePort();
    First.WriteFar("before the unplug\r\n");
    Wait([&] { return Main->ReceiveView()->LineCount() > 1; });
    // Unplugged: udev takes the link away with the device.
    First.Stop();
    QFile::remove(FtdiLink);
    Wait([&] { return !Main->Link()->Port.Connected(); });
    TSocatPair Back;
    Back.Start();
    ::symlink(Back.Near().c_str(), FtdiLink.toLocal8Bit().constData());
    Wait([&] { return Main->Link()->Port.Connected(); });
    Back.WriteFar("after the return\r\n");
    Wait([&] { return Main->ReceiveView()->LineCount() > 3; });
    Shoot(Main.get(), Out + QStringLiteral("/ports-reopened.png"));
    Main->close();
    return 0;
}
