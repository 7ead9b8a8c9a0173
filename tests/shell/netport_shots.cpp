// Screenshots of network ports, under Xvfb (see README, development):
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/shell/netport_shots DIR
// Writes DIR/net-rfc2217.png (a port behind ser2net open, text received, the
// status bar), DIR/net-socket.png (a raw socket port: the status bar says
// the line settings cannot reach the device) and DIR/net-open-failure.png
// (the message of a refused connection).
#include "../support/Shoot.h"
#include "Ser2Net.h"

#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "main.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
bool Wait(const std::function<bool()> &Done)
{
    for (int I = 0; I < 100 && !Done(); ++I)
        QTest::qWait(50);
    return Done();
}

void OpenTyped(TMainForm *Main, const std::string &Name)
{
    Main->findChild<QComboBox *>(QStringLiteral("CBoxPort"))->setEditText(QString::fromStdString(Name));
    Main->TogglePort();
}

int ClosedPort()
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Length = sizeof A;
    ::bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A);
    ::getsockname(Fd, reinterpret_cast<sockaddr *>(&A), &Length);
    ::close(Fd);
    return ntohs(A.sin_port);
}
}  // namespace

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    const QString Out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(Out);
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    TSer2Net Telnet, Raw;
    if (!Telnet.Start(true) || !Raw.Start(false)) {
        std::fprintf(stderr, "%s\n", qPrintable(Telnet.Error + Raw.Error));
        return 1;
    }
    const QStringList None;
    auto Main = CreateProgram({}, &None);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;
    Main->Settings.SetAsciiReceive(true);
    Main->ApplyOptions();

    OpenTyped(Main.get(), Telnet.PortName());
    Telnet.Cable().WriteFar("hello from the bench\r\n");
    Wait([&] { return Main->ReceiveView()->LineCount() > 1; });
    Shoot(Main.get(), Out + QStringLiteral("/net-rfc2217.png"));
    Main->TogglePort();

    OpenTyped(Main.get(), Raw.PortName());
    Raw.Cable().WriteFar("raw bytes\r\n");
    Wait([&] { return Main->ReceiveView()->LineCount() > 2; });
    Shoot(Main.get(), Out + QStringLiteral("/net-socket.png"));
    Main->TogglePort();

    // The message box runs its own loop: it is shot and closed from there.
    QTimer::singleShot(500, [&] {
        if (QWidget *Box = QApplication::activeModalWidget()) {
            Shoot(Box, Out + QStringLiteral("/net-open-failure.png"));
            if (auto *M = qobject_cast<QMessageBox *>(Box))
                M->accept();
        }
    });
    OpenTyped(Main.get(), "rfc2217://127.0.0.1:" + std::to_string(ClosedPort()));
    Main->close();
    return 0;
}
