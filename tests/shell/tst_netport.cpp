// Ports on another machine through the whole program: a real ser2net on
// 127.0.0.1 in front of a socat cable, the port name typed into the combo as
// a user types it.
#include "ProgramRun.h"
#include "Ser2Net.h"

#include "CPortCtl.h"
#include "DeviceReturn.h"
#include "SendUnit.h"
#include "StatusBarMY.h"

#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool OpenTyped(TRun &Run, const std::string &Name)
{
    Run.Find<QComboBox>("CBoxPort")->setEditText(QString::fromStdString(Name));
    Run.Action("PortButton")->trigger();
    return Run->Link()->Port.Connected();
}

// The data of every received line of View, joined by a space.
QString ReceivedHex(TRichView *View)
{
    QStringList Parts;
    for (int I = 0; I < View->LineCount(); ++I) {
        const QString Line = View->LineText(I);
        const qsizetype Data = Line.indexOf(QStringLiteral("] "));
        if (Data >= 0)
            Parts << Line.mid(Data + 2);
    }
    return Parts.join(QLatin1Char(' '));
}

// A port on 127.0.0.1 where nothing listens.
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

class TestNetPort : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
    }
    void cleanup() { Home.reset(); }

    void typedNetworkPortCarriesEveryByteAndIsRemembered()
    {
        TSer2Net Server;
        QVERIFY2(Server.Start(true), qPrintable(Server.Error));
        TSocatPair &Cable = Server.Cable();
        {
            TRun Run({QStringLiteral("ttyUSB0")});
            Run.Find<TComComboBox>("CBoxBaudRate")->SetText(QStringLiteral("19200"));
            QVERIFY(OpenTyped(Run, Server.PortName()));
            QVERIFY(Run.Messages.List.isEmpty());
            // The rate chosen here is the rate of the server's terminal.
            const int Tty = ::open(Cable.Near().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            QVERIFY(Tty >= 0);
            termios T {};
            QCOMPARE(::tcgetattr(Tty, &T), 0);
            ::close(Tty);
            QCOMPARE(::cfgetospeed(&T), speed_t(B19200));

            // Every byte value arrives as sent, in hex.
            std::string All;
            QStringList Hex;
            for (int I = 0; I < 256; ++I) {
                All.push_back(char(I));
                Hex << QStringLiteral("%1").arg(I, 2, 16, QLatin1Char('0')).toUpper();
            }
            QVERIFY(Cable.WriteFar(All));
            QTRY_COMPARE(Run->StatusBar()->Panel(2)->text(), QStringLiteral("RX: 256"));
            QTRY_COMPARE(ReceivedHex(Run->ReceiveView()), Hex.join(QLatin1Char(' ')));

            // And as characters.
            Run->Settings.SetAsciiReceive(false);
            Run.Action("AsciiReceiveButton")->trigger();
            QVERIFY(Cable.WriteFar("Hi\xFF!"));
            QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("Hi") + QChar(0xFF) + QLatin1Char('!')) >= 0);

            // Sent from the send view, 0xFF included.
            TRichView *Send = Run->SendForm->RichSend;
            Send->setPlainText(QStringLiteral("FF 00 FF 41"));
            Send->SetSelection(0, 0);
            Run.Action("SendDataItem")->trigger();
            QCOMPARE(Cable.ReadFar(4, 10000), std::string("\xFF\x00\xFF\x41", 4));
            QCOMPARE(Run.Messages.List.size(), 0);
            Run.Main->close();
        }
        // Remembered as a typed path is.
        TRun Run({QStringLiteral("ttyUSB0")});
        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->currentText(), QString::fromStdString(Server.PortName()));
        Run.Action("PortButton")->trigger();
        QVERIFY(Run->Link()->Port.Connected());
    }

    void serverGoneIsToldOnceAndReopenedWhenBack()
    {
        TSer2Net Server;
        QVERIFY2(Server.Start(true), qPrintable(Server.Error));
        TRun Run({});
        QVERIFY(Run.Action("ReopenItem")->isChecked());
        QVERIFY(OpenTyped(Run, Server.PortName()));
        QVERIFY(Server.Cable().WriteFar("\x11\x22"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("11 22")) >= 0);

        // The server goes away: closed and told, as for an unplugged device.
        Server.StopServer();
        QTRY_VERIFY_WITH_TIMEOUT(!Run->Link()->Port.Connected(), 5000);
        QTRY_COMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Port"));
        QVERIFY(Run.Messages.List[0].Text.contains(QString::fromStdString(Server.PortName())));
        QVERIFY(Run->DeviceReturn()->Waiting());
        // Asked again and again while away, it is told only once.
        QTest::qWait(3 * TDeviceReturn::NetRetryMs);
        QCOMPARE(Run.Messages.List.size(), 1);
        QVERIFY(!Run->Link()->Port.Connected());

        QVERIFY2(Server.RestartServer(), qPrintable(Server.Error));
        QTRY_VERIFY_WITH_TIMEOUT(Run->Link()->Port.Connected(), 10000);
        QVERIFY(!Run->DeviceReturn()->Waiting());
        QVERIFY(Run->StatusBar()->currentMessage().contains(QStringLiteral("returned")));
        QVERIFY(Server.Cable().WriteFar("\x33\x44"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("33 44")) >= 0);
        const int Marker = LineWith(Run->ReceiveView(), QString::fromStdString(TDeviceReturn::Marker));
        QVERIFY(Marker > LineWith(Run->ReceiveView(), QStringLiteral("11 22")));
        QVERIFY(Marker < LineWith(Run->ReceiveView(), QStringLiteral("33 44")));
        QCOMPARE(Run.Messages.List.size(), 1);
    }

    void openFailuresTellTheirCause()
    {
        TRun Run({});
        const struct {
            std::string Name;
            const char *Cause;
        } Cases[] = {{"rfc2217://127.0.0.1:" + std::to_string(ClosedPort()), "nothing accepts connections"},
            {"socket://127.0.0.1", "rfc2217://HOST:PORT"}};
        for (const auto &C : Cases) {
            Run.Messages.List.clear();
            QVERIFY(!OpenTyped(Run, C.Name));
            QCOMPARE(Run.Messages.List.size(), 1);
            QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Open Port"));
            QVERIFY2(Run.Messages.List[0].Text.contains(QLatin1String(C.Cause)), qPrintable(Run.Messages.List[0].Text));
            QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Open Port"));
            QVERIFY(Run->ComThread()->Parked());
        }
    }

    void rawSocketSaysTheSettingsCannotReachTheDevice()
    {
        TSer2Net Server;
        QVERIFY2(Server.Start(false), qPrintable(Server.Error));
        TRun Run({});
        QVERIFY(OpenTyped(Run, Server.PortName()));
        QVERIFY(Run.Messages.List.isEmpty());
        QVERIFY2(Run->StatusBar()->currentMessage().contains(QStringLiteral("cannot reach the device")),
            qPrintable(Run->StatusBar()->currentMessage()));
        QVERIFY(Server.Cable().WriteFar("\xFF\x01"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("FF 01")) >= 0);
    }
};

QTEST_MAIN(TestNetPort)
#include "tst_netport.moc"
