// Ports on another machine through the whole program: a real ser2net on
// 127.0.0.1 in front of a socat cable, the port name typed into the combo as
// a user types it.
#include "HangingServer.h"
#include "ProgramRun.h"
#include "ScriptServer.h"
#include "Ser2Net.h"

#include "CPortCtl.h"
#include "DeviceReturn.h"
#include "SendUnit.h"
#include "SetUnit.h"
#include "StatusBarMY.h"
#include "TimeSaveUnit.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The port button's caption while a connection is being made.
const QString Connecting = QStringLiteral("Stop Connecting");

// Opens a port typed into the combo, as the user does, and waits for the
// connection, made while the window goes on, to be made or to fail.
bool OpenTyped(TRun &Run, const std::string &Name)
{
    Run.Find<QComboBox>("CBoxPort")->setEditText(QString::fromStdString(Name));
    Run.Action("PortButton")->trigger();
    if (!QTest::qWaitFor([&Run] { return Run.Action("PortButton")->text() != Connecting; }, 20000))
        return false;
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

// Count bytes from the cable's far end (or what came in 10 s), read while
// the program's event loop runs: its display tick answers triggers.
std::string ReadFarLive(TSocatPair &Cable, std::size_t Count)
{
    std::string Got;
    QElapsedTimer Waited;
    Waited.start();
    while (Got.size() < Count && Waited.elapsed() < 10000) {
        Got += Cable.ReadFar(Count - Got.size(), 1);
        if (Got.size() < Count)
            QTest::qWait(5);
    }
    return Got;
}

double ProcessCpuMs()
{
    timespec T {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return double(T.tv_sec) * 1000.0 + double(T.tv_nsec) / 1e6;
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
        QTRY_VERIFY_WITH_TIMEOUT(Run->Link()->Port.Connected(), 20000);
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
        // Asked again and again while away, it is told only once, and nothing
        // spins meanwhile: a busy loop would take the whole wait in CPU time.
        const double Cpu = ProcessCpuMs();
        QTest::qWait(3 * TDeviceReturn::NetRetryMs);
        QVERIFY2(ProcessCpuMs() - Cpu < TDeviceReturn::NetRetryMs, qPrintable(QString::number(ProcessCpuMs() - Cpu)));
        QCOMPARE(Run.Messages.List.size(), 1);
        QVERIFY(!Run->Link()->Port.Connected());

        QVERIFY2(Server.RestartServer(), qPrintable(Server.Error));
        QTRY_VERIFY_WITH_TIMEOUT(Run->Link()->Port.Connected(), 10000);
        // Opened in the background; its end is taken on the window's thread.
        QTRY_VERIFY(!Run->DeviceReturn()->Waiting());
        QTRY_VERIFY(Run->StatusBar()->currentMessage().contains(QStringLiteral("returned")));
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Close Port"));
        QVERIFY(Server.Cable().WriteFar("\x33\x44"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("33 44")) >= 0);
        const int Marker = LineWith(Run->ReceiveView(), QString::fromStdString(TDeviceReturn::Marker));
        QVERIFY(Marker > LineWith(Run->ReceiveView(), QStringLiteral("11 22")));
        QVERIFY(Marker < LineWith(Run->ReceiveView(), QStringLiteral("33 44")));
        QCOMPARE(Run.Messages.List.size(), 1);
    }

    // A server that does not answer holds nothing up: the window goes on
    // while the connection is tried, the button gives it up, and left
    // alone it ends with its cause.
    void connectingKeepsTheWindowAnswering()
    {
        TRun Run({});
        THangingServer Server;
        QVERIFY(Server.Port > 0);
        const QString Name = QStringLiteral("rfc2217://127.0.0.1:%1").arg(Server.Port);
        QAction *Button = Run.Action("PortButton");
        for (const bool GiveUp : {true, false}) {
            Run.Messages.List.clear();
            Run.Find<QComboBox>("CBoxPort")->setEditText(Name);
            Button->trigger();
            // Back from the command while the connection is still tried.
            QCOMPARE(Button->text(), Connecting);
            QVERIFY(!Run.Find<QComboBox>("CBoxPort")->isEnabled());
            int Ticks = 0;
            QTimer Tick;
            connect(&Tick, &QTimer::timeout, [&Ticks] { ++Ticks; });
            Tick.start(10);
            QTRY_VERIFY(Ticks >= 5);
            QCOMPARE(Button->text(), Connecting);
            if (GiveUp)
                Button->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(Button->text() == QStringLiteral("Open Port"), 20000);
            QVERIFY(!Run->Link()->Port.Connected());
            QVERIFY(Run->ComThread()->Parked());
            QVERIFY(Run.Find<QComboBox>("CBoxPort")->isEnabled());
            if (GiveUp) {
                QVERIFY(Run.Messages.List.isEmpty());
                QCOMPARE(Run->StatusBar()->currentMessage(), QStringLiteral("The connection was given up."));
            } else {
                QCOMPARE(Run.Messages.List.size(), 1);
                QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Open Port"));
            }
        }
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

    // The program's own features, once each over the network: a receive
    // trigger answering, a cycle send, an auto-save.
    void triggerCycleAndAutoSaveOverTheNetwork()
    {
        TSer2Net Server;
        QVERIFY2(Server.Start(true), qPrintable(Server.Error));
        TSocatPair &Cable = Server.Cable();
        TRun Run({});
        QVERIFY(OpenTyped(Run, Server.PortName()));
        Run->SendForm->RichSend->setPlainText(QStringLiteral("01 02\nAA FF BB\n7E"));
        TSetForm *Form = Run->SetForm;

        Run->SendForm->ToolButton3->trigger();
        Form->StringGrid2->item(0, 1)->setText(QStringLiteral("1"));
        Form->StringGrid2->item(0, 2)->setText(QStringLiteral("2"));
        Form->Edit1->setText(QStringLiteral("10"));
        Form->CheckBox3->setChecked(true);
        Form->Button1->click();
        QVERIFY(Run->DataRT()->TriggerOn);
        QVERIFY(Cable.WriteFar("\x01\x02"));
        QCOMPARE(ReadFarLive(Cable, 3), std::string("\xAA\xFF\xBB"));
        Run->SendForm->ToolButton3->trigger();
        Form->CheckBox3->setChecked(false);
        Form->Button1->click();

        Run->SendForm->ToolButton2->trigger();
        Form->RadioButton1->click();
        Form->RadioButton5->setChecked(true);
        Form->Edit2->setText(QStringLiteral("3"));
        Form->Edit10->setText(QStringLiteral("20"));
        Form->CheckBox1->setChecked(true);
        Form->Button3->click();
        QCOMPARE(ReadFarLive(Cable, 3), std::string("\x7E\x7E\x7E"));
        Run->SendForm->ToolButton2->trigger();
        Form->CheckBox1->setChecked(false);
        Form->Button3->click();
        QVERIFY(!Run->DataRT()->CycleTimer->isActive());

        const QString Folder = Home->filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(Folder));
        TTimeSaveForm *Save = Run->TimeSaveForm;
        Save->show();
        Save->CheckBox1->setChecked(false);
        Save->Edit1->setText(QStringLiteral("2"));
        Save->CheckBox2->setChecked(true);
        Save->Edit2->setText(Folder);
        Save->Button2->click();
        for (const char *Burst : {"\x31", "\x32", "\x33", "\x34"}) {
            QVERIFY(Cable.WriteFar(Burst));
            QTest::qWait(150);
        }
        QTRY_VERIFY(!QDir(Folder).entryList({QStringLiteral("*.rtf")}, QDir::Files).isEmpty());
        QVERIFY(Run.Messages.List.isEmpty());
    }

    // The server's modem lines light the status bar as a local port's do.
    void modemLinesOfTheServerReachTheStatusBar()
    {
        TScriptServer Server([](uint8_t, const std::string &Value) { return std::optional<std::string>(Value); });
        TRun Run({});
        QVERIFY(OpenTyped(Run, Server.PortName()));
        TStatusBarMY *Bar = Run->StatusBar();
        QVERIFY(!Bar->SignalLabel(TStatusBarMY::sigCTS)->isEnabled());
        Server.SendMessage(Telnet::CpNotifyModemState, MS_CTS_ON | MS_RLSD_ON);
        QTRY_VERIFY(Bar->SignalLabel(TStatusBarMY::sigCTS)->isEnabled());
        QTRY_VERIFY(Bar->SignalLabel(TStatusBarMY::sigRLSD)->isEnabled());
        QVERIFY(!Bar->SignalLabel(TStatusBarMY::sigDSR)->isEnabled());
        Server.SendMessage(Telnet::CpNotifyModemState, MS_DSR_ON);
        QTRY_VERIFY(Bar->SignalLabel(TStatusBarMY::sigDSR)->isEnabled());
        QTRY_VERIFY(!Bar->SignalLabel(TStatusBarMY::sigCTS)->isEnabled());
        QVERIFY(!Bar->SignalLabel(TStatusBarMY::sigRLSD)->isEnabled());
        QVERIFY(Run.Messages.List.isEmpty());
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
