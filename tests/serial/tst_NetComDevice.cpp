// The network device beyond the device suite: port names, the Telnet codec,
// line settings reaching the server's tty through a real ser2net, what a
// server answers or refuses (a scripted server on loopback, for what ser2net
// on a pseudo-terminal cannot give: modem lines, line errors, refusals), and
// the connection faults.
#include "HangingServer.h"
#include "NetComDevice.h"
#include "ScriptServer.h"
#include "Ser2Net.h"
#include "TelnetCodec.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int HangMs = 10000;

qint64 MsSince(Clock::time_point Start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
}

std::string Bytes(std::initializer_list<int> Values)
{
    std::string S;
    for (int V : Values)
        S.push_back(char(V));
    return S;
}

std::string AllBytes()
{
    std::string All;
    for (int I = 0; I < 256; ++I)
        All.push_back(char(I));
    return All;
}

using ScriptServer::Listen;
using ScriptServer::Loopback;

// A server that takes every setting as asked.
std::optional<std::string> Agree(uint8_t, const std::string &Value)
{
    return Value;
}

TComTimeoutRecord ReadTimeouts(uint32_t Interval, uint32_t Multiplier, uint32_t Constant)
{
    TComTimeoutRecord T;
    T.ReadIntervalTimeout = Interval;
    T.ReadTotalTimeoutMultiplier = Multiplier;
    T.ReadTotalTimeoutConstant = Constant;
    return T;
}

// Reads until Count bytes came (or HangMs passed).
std::string ReadCount(TComDevice &Dev, std::size_t Count)
{
    std::string Got;
    const auto Start = Clock::now();
    while (Got.size() < Count && MsSince(Start) < HangMs) {
        char Buffer[512];
        int32_t Done = 0;
        if (Dev.Read(Buffer, sizeof Buffer, Done) != 0)
            break;
        Got.append(Buffer, std::size_t(Done));
    }
    return Got;
}

}  // namespace

class TestNetComDevice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portNames_data();
    void portNames();
    void telnetDecoding_data();
    void telnetDecoding();
    void decodingDoesNotDependOnHowBytesAreCut();
    void negotiationAnswersOnceAndRefusesUnknownOptions();
    void allByteValuesBothWaysThroughSer2net_data();
    void allByteValuesBothWaysThroughSer2net();
    void lineSettingsReachTheServersTerminal();
    void rawSocketTakesSettingsWithoutPassingThemOn();
    void settingTheServerChangesOrIgnoresIsRefused();
    void modemAndLineStateFromTheServer();
    void serverWithoutTheOptionIsRefused();
    void connectionFaultsHaveTheirCauses();
    void hangingConnectEndsAtItsLimitAndAtClose();
};

void TestNetComDevice::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("service");
    QTest::newRow("rfc2217") << "rfc2217://127.0.0.1:2000" << true << true << "127.0.0.1"
                             << "2000";
    QTest::newRow("socket, name") << "socket://pi-bench.local:4001" << true << false << "pi-bench.local"
                                  << "4001";
    QTest::newRow("scheme in capitals") << "RFC2217://host:1" << true << true << "host"
                                        << "1";
    QTest::newRow("ipv6") << "rfc2217://[::1]:7000" << true << true << "::1"
                          << "7000";
    QTest::newRow("ipv6 scoped") << "socket://[fe80::1%eth0]:23" << true << false << "fe80::1%eth0"
                                 << "23";
    QTest::newRow("ipv6 without brackets") << "rfc2217://::1:7000" << false << false << ""
                                           << "";
    QTest::newRow("no port") << "rfc2217://host" << false << false << ""
                             << "";
    QTest::newRow("empty port") << "socket://host:" << false << false << ""
                                << "";
    QTest::newRow("port 0") << "socket://host:0" << false << false << ""
                            << "";
    QTest::newRow("port too big") << "socket://host:65536" << false << false << ""
                                  << "";
    QTest::newRow("port not a number") << "socket://host:telnet" << false << false << ""
                                       << "";
    QTest::newRow("no host") << "rfc2217://:2000" << false << false << ""
                             << "";
    QTest::newRow("path after port") << "rfc2217://host:2000/x" << false << false << ""
                                     << "";
    QTest::newRow("unclosed bracket") << "rfc2217://[::1:2000" << false << false << ""
                                      << "";
    QTest::newRow("other scheme") << "telnet://host:23" << false << false << ""
                                  << "";
    QTest::newRow("device path") << "/dev/ttyUSB0" << false << false << ""
                                 << "";
}

void TestNetComDevice::portNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    TNetPortName Parsed;
    QCOMPARE(ParseNetPortName(name.toStdString(), Parsed), valid);
    // Every name with a network scheme goes to the network device, valid or
    // not, so that a typing error is told as such and never opened as a path.
    QCOMPARE(IsNetPortName(name.toStdString()),
        name.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive) ||
            name.startsWith(QLatin1String("socket://"), Qt::CaseInsensitive));
    if (!valid)
        return;
    QFETCH(bool, rfc2217);
    QFETCH(QString, host);
    QFETCH(QString, service);
    QCOMPARE(Parsed.Rfc2217, rfc2217);
    QCOMPARE(QString::fromStdString(Parsed.Host), host);
    QCOMPARE(QString::fromStdString(Parsed.Service), service);
}

void TestNetComDevice::telnetDecoding_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("messages");
    const auto B = [](std::initializer_list<int> V) {
        const std::string S = Bytes(V);
        return QByteArray(S.data(), qsizetype(S.size()));
    };
    QTest::newRow("plain") << B({'a', 'b', 0, 13, 10}) << B({'a', 'b', 0, 13, 10}) << 0;
    QTest::newRow("doubled 0xFF") << B({1, 255, 255, 2}) << B({1, 255, 2}) << 0;
    QTest::newRow("commands dropped") << B({'x', 255, 241, 255, 249, 'y'}) << B({'x', 'y'}) << 0;
    QTest::newRow("modem state") << B({'a', 255, 250, 44, 107, 0x30, 255, 240, 'b'}) << B({'a', 'b'}) << 1;
    QTest::newRow("other option's sub-negotiation") << B({255, 250, 24, 1, 255, 240, 'z'}) << B({'z'}) << 0;
    QTest::newRow("command inside a sub-negotiation ends it")
        << B({255, 250, 44, 107, 255, 251, 1, 'q'}) << B({'q'}) << 0;
    QTest::newRow("truncated sub-negotiation") << B({255, 250, 44}) << B({}) << 0;
    QTest::newRow("empty sub-negotiation") << B({255, 250, 255, 240, 'k'}) << B({'k'}) << 0;
    QTest::newRow("IAC at the end") << B({'a', 255}) << B({'a'}) << 0;
    QByteArray Endless = B({255, 250, 44, 107});
    Endless.append(QByteArray(100000, 'x'));
    QTest::newRow("endless sub-negotiation") << Endless << B({}) << 0;
    QByteArray Long = B({255, 250, 44, 107});
    Long.append(QByteArray(int(Telnet::MaxSubnegotiation), 'x'));
    Long.append(B({255, 240, 'e'}));
    QTest::newRow("over-long sub-negotiation dropped") << Long << B({'e'}) << 0;
}

void TestNetComDevice::telnetDecoding()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, data);
    QFETCH(int, messages);
    TTelnetState State;
    TTelnetOutput Out;
    TelnetDecode(State, reinterpret_cast<const uint8_t *>(input.constData()), std::size_t(input.size()), Out);
    QCOMPARE(QByteArray::fromStdString(Out.Data), data);
    QCOMPARE(int(Out.Messages.size()), messages);
    QVERIFY(State.Sub.size() <= Telnet::MaxSubnegotiation);
}

// A stream cut anywhere (an IAC at the end of one read, a sub-negotiation
// over two) decodes as the whole; escaping and decoding give every byte back.
void TestNetComDevice::decodingDoesNotDependOnHowBytesAreCut()
{
    std::string Stream = TelnetEscape(AllBytes().data(), 256);
    Stream.insert(100, ComPortCommand(107, Bytes({0xFF})));
    Stream.insert(0, Bytes({255, 251, 0}));
    for (std::size_t Cut = 0; Cut <= Stream.size(); ++Cut) {
        TTelnetState State;
        TTelnetOutput Out;
        const auto *Raw = reinterpret_cast<const uint8_t *>(Stream.data());
        TelnetDecode(State, Raw, Cut, Out);
        TelnetDecode(State, Raw + Cut, Stream.size() - Cut, Out);
        QCOMPARE(Out.Data, AllBytes());
        QCOMPARE(Out.Messages.size(), std::size_t(1));
        QCOMPARE(Out.Messages[0], (TComPortMessage {107, Bytes({0xFF})}));
    }
}

void TestNetComDevice::negotiationAnswersOnceAndRefusesUnknownOptions()
{
    using namespace Telnet;
    TTelnetState State;
    const std::string Opening = TelnetOpening(State, true);
    QCOMPARE(Opening, Bytes({IAC, WILL, OptBinary, IAC, DO, OptBinary, IAC, WILL, OptComPort}));
    struct {
        std::string In, Answer;
    } Steps[] = {
        // Answers to our own requests are not answered again.
        {Bytes({IAC, DO, OptBinary, IAC, WILL, OptBinary, IAC, DO, OptComPort}), ""},
        // The server's own offers: taken or refused once each.
        {Bytes({IAC, WILL, OptSuppressGoAhead, IAC, DO, OptSuppressGoAhead}),
            Bytes({IAC, DO, OptSuppressGoAhead, IAC, WILL, OptSuppressGoAhead})},
        {Bytes({IAC, WILL, OptSuppressGoAhead}), ""},
        {Bytes({IAC, WILL, OptEcho}), Bytes({IAC, DONT, OptEcho})},
        {Bytes({IAC, DONT, OptEcho}), ""},
        {Bytes({IAC, DO, 24, IAC, WILL, 31}), Bytes({IAC, WONT, 24, IAC, DONT, 31})},
        // Switched off: acknowledged once.
        {Bytes({IAC, DONT, OptBinary, IAC, DONT, OptBinary}), Bytes({IAC, WONT, OptBinary})},
    };
    for (const auto &S : Steps) {
        TTelnetOutput Out;
        TelnetDecode(State, reinterpret_cast<const uint8_t *>(S.In.data()), S.In.size(), Out);
        QCOMPARE(Out.Answer, S.Answer);
        QVERIFY(Out.Data.empty());
    }
    QVERIFY(State.Us[OptComPort] && State.Him[OptBinary] && !State.Us[OptBinary] && !State.Him[OptEcho]);
}

void TestNetComDevice::allByteValuesBothWaysThroughSer2net_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("rfc2217") << true;
    QTest::newRow("socket") << false;
}

void TestNetComDevice::allByteValuesBothWaysThroughSer2net()
{
    QFETCH(bool, rfc2217);
    TSer2Net Server;
    QVERIFY2(Server.Start(rfc2217), qPrintable(Server.Error));
    TNetComDevice Dev;
    QCOMPARE(Dev.Open(Server.PortName()), 0);
    QCOMPARE(Dev.SetTimeouts(ReadTimeouts(100, 0, 100)), 0);
    // Twice over, so that a 0xFF at a read's or a write's end is crossed too.
    const std::string All = AllBytes() + AllBytes();
    int32_t Done = 0;
    QCOMPARE(Dev.Write(All.data(), int32_t(All.size()), Done), 0);
    QCOMPARE(Done, int32_t(All.size()));
    QCOMPARE(Server.Cable().ReadFar(All.size(), HangMs), All);
    QVERIFY(Server.Cable().WriteFar(All));
    QCOMPARE(ReadCount(Dev, All.size()), All);
}

// The pseudo-terminal behind the server keeps CS8 without parity whatever
// it is given (as the local device finds), so the rate and the stop bits are
// what can be read back there; the server's answers confirm the rest.
void TestNetComDevice::lineSettingsReachTheServersTerminal()
{
    TSer2Net Server;
    QVERIFY2(Server.Start(true), qPrintable(Server.Error));
    TNetComDevice Dev;
    QCOMPARE(Dev.Open(Server.PortName()), 0);
    QVERIFY(Dev.CarriesLineSettings());
    // The server opens its device when the connection comes; its settings
    // are read on another descriptor of the same terminal.
    const int Tty = ::open(Server.Cable().Near().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(Tty >= 0);
    struct {
        uint32_t Baud;
        speed_t Speed;
        uint8_t Size, Parity, Stop;
        bool TwoStop;
    } Cases[] = {{19200, B19200, 7, 2, 2, true}, {115200, B115200, 8, 0, 0, false}, {300, B300, 5, 1, 2, true}};
    for (const auto &C : Cases) {
        TComDCB Dcb;
        Dcb.BaudRate = C.Baud;
        Dcb.ByteSize = C.Size;
        Dcb.ParityCode = C.Parity;
        Dcb.StopBitsCode = C.Stop;
        QCOMPARE(Dev.SetLineSettings(Dcb), 0);
        termios T {};
        QCOMPARE(::tcgetattr(Tty, &T), 0);
        QCOMPARE(::cfgetospeed(&T), C.Speed);
        QCOMPARE(bool(T.c_cflag & CSTOPB), C.TwoStop);
    }
    // The server passes over one and a half stop bits, which its terminal
    // cannot do: refused as a local device refuses a setting.
    TComDCB OneAndAHalf;
    OneAndAHalf.ByteSize = 5;
    OneAndAHalf.StopBitsCode = 1;
    QCOMPARE(Dev.SetLineSettings(OneAndAHalf), EINVAL);
    // Handshaking the line cannot do is refused before anything is sent, as
    // the local device refuses it.
    TComDCB Toggle;
    Toggle.RtsControl = 3;
    QCOMPARE(Dev.SetLineSettings(Toggle), EOPNOTSUPP);
    ::close(Tty);
}

void TestNetComDevice::rawSocketTakesSettingsWithoutPassingThemOn()
{
    TSer2Net Server;
    QVERIFY2(Server.Start(false), qPrintable(Server.Error));
    TNetComDevice Dev;
    QCOMPARE(Dev.Open(Server.PortName()), 0);
    QVERIFY(!Dev.CarriesLineSettings());
    TComDCB Dcb;
    Dcb.BaudRate = 19200;
    QCOMPARE(Dev.SetLineSettings(Dcb), 0);
    // Nothing of it reaches the line: the bytes pass as they are.
    const std::string Text = Bytes({255, 250, 44, 1, 0, 0, 0x4b, 0, 255, 240});
    int32_t Done = 0;
    QCOMPARE(Dev.Write(Text.data(), int32_t(Text.size()), Done), 0);
    QCOMPARE(Server.Cable().ReadFar(Text.size(), HangMs), Text);
}

void TestNetComDevice::settingTheServerChangesOrIgnoresIsRefused()
{
    std::atomic<int> Mode {0};  // 0 agree, 1 keep 9600, 2 no flow control, 3 silent
    TScriptServer Server([&Mode](uint8_t Command, const std::string &Value) -> std::optional<std::string> {
        if (Mode == 3)
            return std::nullopt;
        if (Mode == 1 && Command == Telnet::CpSetBaudRate)
            return BaudValue(9600);
        if (Mode == 2 && Command == Telnet::CpSetControl && uint8_t(Value[0]) <= Telnet::CtlFlowHardware)
            return std::string(1, char(Telnet::CtlFlowNone));
        return Value;
    });
    TNetComDevice Dev;
    QCOMPARE(Dev.Open(Server.PortName()), 0);
    TComDCB Dcb;
    Dcb.BaudRate = 57600;
    Dcb.OutxCtsFlow = true;
    QCOMPARE(Dev.SetLineSettings(Dcb), 0);
    Mode = 1;
    QCOMPARE(Dev.SetLineSettings(Dcb), EINVAL);
    Mode = 2;
    QCOMPARE(Dev.SetLineSettings(Dcb), EOPNOTSUPP);
    Mode = 3;
    const auto Start = Clock::now();
    QCOMPARE(Dev.SetLineSettings(Dcb), ETIMEDOUT);
    QVERIFY(MsSince(Start) < HangMs);

    // What went out: the masks at open, then each setting in the option's
    // codes (57600, 8 data bits, no parity, one stop bit, hardware flow).
    const std::vector<TComPortMessage> Got = Server.Received();
    QVERIFY(Got.size() >= 8);
    QCOMPARE(Got[0].Command, uint8_t(Telnet::CpSetLineStateMask));
    QCOMPARE(Got[1].Command, uint8_t(Telnet::CpSetModemStateMask));
    QCOMPARE(Got[2], (TComPortMessage {Telnet::CpSetBaudRate, BaudValue(57600)}));
    QCOMPARE(Got[3], (TComPortMessage {Telnet::CpSetDataSize, Bytes({8})}));
    QCOMPARE(Got[4], (TComPortMessage {Telnet::CpSetParity, Bytes({1})}));
    QCOMPARE(Got[5], (TComPortMessage {Telnet::CpSetStopSize, Bytes({1})}));
    QCOMPARE(Got[6], (TComPortMessage {Telnet::CpSetControl, Bytes({Telnet::CtlFlowHardware})}));
    QCOMPARE(Got[7], (TComPortMessage {Telnet::CpSetControl, Bytes({Telnet::CtlDtrOff})}));

    // An abort empties the server's buffers too.
    QCOMPARE(Dev.AbortIo(), 0);
    const TComPortMessage Purge {Telnet::CpPurgeData, Bytes({3})};
    const auto Purged = [&Server, &Purge] {
        const std::vector<TComPortMessage> Now = Server.Received();
        return std::count(Now.begin(), Now.end(), Purge) == 1;
    };
    QTRY_VERIFY(Purged());
}

void TestNetComDevice::modemAndLineStateFromTheServer()
{
    TScriptServer Server(Agree);
    TNetComDevice Dev;
    QCOMPARE(Dev.Open(Server.PortName()), 0);
    struct {
        uint8_t State;  // NOTIFY-MODEMSTATE value, change bits included
        uint32_t Status, Events;
    } Steps[] = {{0x11, MS_CTS_ON, EV_CTS}, {0xB0 | 0x08, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON, EV_DSR | EV_RLSD},
        {0x40, MS_RING_ON, EV_CTS | EV_DSR | EV_RLSD | EV_RING}};
    for (const auto &S : Steps) {
        std::thread Later([&Server, &S] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            Server.SendMessage(Telnet::CpNotifyModemState, S.State);
        });
        uint32_t Occurred = 0;
        QCOMPARE(Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, HangMs, Occurred), 0);
        Later.join();
        QCOMPARE(Occurred, S.Events);
        uint32_t Status = 0;
        QCOMPARE(Dev.GetModemStatus(Status), 0);
        QCOMPARE(Status, S.Status);
    }
    // Line errors are events of their own, reported once each, and only to
    // a wait that asks for them.
    Server.SendMessage(Telnet::CpNotifyLineState, Telnet::LineBreak | Telnet::LineFramingError);
    Server.Send("ok");
    uint32_t Occurred = 0;
    QCOMPARE(Dev.WaitEvent(EV_RXCHAR, -1, HangMs, Occurred), 0);
    QCOMPARE(Occurred, uint32_t(EV_RXCHAR));
    QCOMPARE(Dev.WaitEvent(EV_BREAK | EV_ERR, -1, HangMs, Occurred), 0);
    QCOMPARE(Occurred, uint32_t(EV_BREAK | EV_ERR));
    QCOMPARE(Dev.WaitEvent(EV_BREAK | EV_ERR, -1, 50, Occurred), 0);
    QCOMPARE(Occurred, 0u);
    QCOMPARE(ReadCount(Dev, 2), std::string("ok"));
}

void TestNetComDevice::serverWithoutTheOptionIsRefused()
{
    TScriptServer Server(Agree, false);
    TNetComDevice Dev;
    QCOMPARE(Dev.Open(Server.PortName()), EPROTONOSUPPORT);
    QVERIFY(!Dev.IsOpen());
    QVERIFY(QString::fromStdString(Dev.FailureCause(EPROTONOSUPPORT, Server.PortName()))
                .contains(QLatin1String("socket://")));
}

void TestNetComDevice::connectionFaultsHaveTheirCauses()
{
    // A port where nothing listens.
    int Port = 0;
    ::close(Listen(Port));
    const std::string Closed = "rfc2217://127.0.0.1:" + std::to_string(Port);
    TNetComDevice Dev;
    QCOMPARE(Dev.Open(Closed), ECONNREFUSED);
    QVERIFY(QString::fromStdString(Dev.FailureCause(ECONNREFUSED, Closed)).contains(QLatin1String("server runs")));
    // A name that is no network port name.
    QCOMPARE(Dev.Open("rfc2217://127.0.0.1"), EINVAL);
    QVERIFY(QString::fromStdString(Dev.FailureCause(EINVAL, "rfc2217://127.0.0.1"))
                .contains(QLatin1String("rfc2217://HOST:PORT")));
    QVERIFY(!Dev.IsOpen());

    // A server that closes the connection at once (its device busy).
    int Busy = 0;
    const int Listener = Listen(Busy);
    std::thread Closer([Listener] {
        const int Client = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(Client);
    });
    QCOMPARE(Dev.Open("rfc2217://127.0.0.1:" + std::to_string(Busy)), ECONNRESET);
    Closer.join();
    ::close(Listener);

    // A server that takes the connection and says nothing (no Telnet there):
    // told so at the open's time limit.
    int Silent = 0;
    const int Mute = Listen(Silent);
    const auto Start = std::chrono::steady_clock::now();
    QCOMPARE(Dev.Open("rfc2217://127.0.0.1:" + std::to_string(Silent)), EPROTONOSUPPORT);
    QVERIFY(MsSince(Start) < HangMs);
    ::close(Mute);
}

// A server whose queue of connections is full lets a connect hang: it ends
// at the open's time limit, or at once when the port is closed meanwhile.
void TestNetComDevice::hangingConnectEndsAtItsLimitAndAtClose()
{
    THangingServer Server;
    QVERIFY(Server.Port > 0);
    const std::string Name = "rfc2217://127.0.0.1:" + std::to_string(Server.Port);
    TNetComDevice Dev;
    auto Start = Clock::now();
    const int Err = Dev.Open(Name);
    QVERIFY2(Err == ETIMEDOUT, qPrintable(QString::fromLocal8Bit(std::strerror(Err))));
    QVERIFY(MsSince(Start) >= TNetComDevice::ConnectMs - 100);
    QVERIFY(MsSince(Start) < HangMs);

    auto Opening = std::async(std::launch::async, [&Dev, &Name] { return Dev.Open(Name); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Start = Clock::now();
    Dev.Close();
    QCOMPARE(Opening.wait_for(std::chrono::milliseconds(HangMs)), std::future_status::ready);
    QCOMPARE(Opening.get(), ECANCELED);
    QVERIFY(MsSince(Start) < TNetComDevice::ConnectMs);
    QVERIFY(!Dev.IsOpen());
}

QTEST_GUILESS_MAIN(TestNetComDevice)
#include "tst_NetComDevice.moc"
