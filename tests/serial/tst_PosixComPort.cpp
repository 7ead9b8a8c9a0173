// TComPort on its POSIX backend against socat pseudo-terminal pairs: opening,
// exclusive use, byte round trips, the read interval and write time-out
// rules, line settings, and a far end that vanishes. What every device does
// alike (read endings, waits, close from another thread) is in tst_ComDevice.
#include "CPort.h"
#include "PosixComDevice.h"
#include "SocatPair.h"

#include <QtTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

qint64 MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The serial link's values.
void LinkTimeouts(TComPort &port)
{
    port.Timeouts().SetReadInterval(100);
    port.Timeouts().SetReadTotalMultiplier(0);
    port.Timeouts().SetReadTotalConstant(100);
    port.Timeouts().SetWriteTotalMultiplier(100);
    port.Timeouts().SetWriteTotalConstant(1000);
}

void OpenWithLinkTimeouts(TComPort &port, const std::string &path)
{
    port.SetPort(path);
    LinkTimeouts(port);
    port.OpenDevice();
}

int CodeOf(const std::function<void()> &f, int *system = nullptr)
{
    try {
        f();
    } catch (const EComPort &e) {
        if (system)
            *system = e.SystemErrorCode();
        return e.ErrorCode();
    }
    return 0;
}

}  // namespace

#define NEED_SOCAT(pair)                                                                                               \
    TSocatPair pair;                                                                                                   \
    QVERIFY2(pair.Start(), qPrintable(pair.Error))

class TestPosixComPort : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void termiosMapping_data();
    void termiosMapping();
    void openByPathAndBareName();
    void openFailures();
    void exclusiveOpen();
    void roundTrip();
    void readIntervalJoinsBurst();
    void readEndsAtTotalWhileBytesFlow();
    void writeEndsAtItsTimeout();
    void lineSettingsOnPty();
    void closePutsBackTheTerminal_data();
    void closePutsBackTheTerminal();
    void concurrentReadAndWrite();
    void vanishedFarEnd();
    void closeWaitIsBounded();
    void openWithoutDescriptorsLeft();
};

void TestPosixComPort::termiosMapping_data()
{
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("rts");
    QTest::addColumn<bool>("ctsFlow");
    QTest::addColumn<bool>("xon");
    QTest::addColumn<int>("result");
    QTest::addColumn<uint>("cflags");  // of CSIZE|PARENB|PARODD|CMSPAR|CSTOPB|CRTSCTS
    QTest::addColumn<uint>("iflags");  // of IXON|IXOFF|INPCK
    QTest::newRow("8N1") << 8 << 0 << 0 << 0 << false << false << 0 << uint(CS8) << 0u;
    QTest::newRow("7E1") << 7 << 2 << 0 << 0 << false << false << 0 << uint(CS7 | PARENB) << 0u;
    QTest::newRow("8O2") << 8 << 1 << 2 << 0 << false << false << 0 << uint(CS8 | PARENB | PARODD | CSTOPB) << 0u;
    QTest::newRow("mark") << 8 << 3 << 0 << 0 << false << false << 0 << uint(CS8 | PARENB | PARODD | CMSPAR) << 0u;
    QTest::newRow("space") << 6 << 4 << 0 << 0 << false << false << 0 << uint(CS6 | PARENB | CMSPAR) << 0u;
    QTest::newRow("5 bits 1.5 stop") << 5 << 0 << 1 << 0 << false << false << 0 << uint(CS5 | CSTOPB) << 0u;
    QTest::newRow("1.5 stop needs 5 bits") << 8 << 0 << 1 << 0 << false << false << EINVAL << 0u << 0u;
    QTest::newRow("hardware") << 8 << 0 << 0 << 2 << true << false << 0 << uint(CS8 | CRTSCTS) << 0u;
    QTest::newRow("rts handshake alone") << 8 << 0 << 0 << 2 << false << false << 0 << uint(CS8 | CRTSCTS) << 0u;
    QTest::newRow("software") << 8 << 0 << 0 << 0 << false << true << 0 << uint(CS8) << uint(IXON | IXOFF);
    QTest::newRow("rts toggle") << 8 << 0 << 0 << 3 << false << false << EOPNOTSUPP << 0u << 0u;
    QTest::newRow("4 bits") << 4 << 0 << 0 << 0 << false << false << EINVAL << 0u << 0u;
}

void TestPosixComPort::termiosMapping()
{
    QFETCH(int, byteSize);
    QFETCH(int, parity);
    QFETCH(int, stop);
    QFETCH(int, rts);
    QFETCH(bool, ctsFlow);
    QFETCH(bool, xon);
    QFETCH(int, result);
    QFETCH(uint, cflags);
    QFETCH(uint, iflags);
    TComDCB dcb;
    dcb.ByteSize = uint8_t(byteSize);
    dcb.ParityCode = uint8_t(parity);
    dcb.StopBitsCode = uint8_t(stop);
    dcb.RtsControl = uint8_t(rts);
    dcb.OutxCtsFlow = ctsFlow;
    dcb.OutX = dcb.InX = xon;
    struct termios t { };
    t.c_iflag = ICRNL | IXANY;
    t.c_lflag = ICANON | ECHO;
    QCOMPARE(DcbToTermios(dcb, t), result);
    if (result)
        return;
    QCOMPARE(uint(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS)), cflags);
    QCOMPARE(uint(t.c_iflag & (IXON | IXOFF | INPCK)), iflags);
    QVERIFY(t.c_cflag & CREAD);
    QVERIFY(t.c_cflag & CLOCAL);
    QCOMPARE(uint(t.c_iflag & (ICRNL | IXANY)), 0u);
    QCOMPARE(uint(t.c_lflag & (ICANON | ECHO)), 0u);
    QCOMPARE(int(t.c_cc[VSTART]), 17);
    QCOMPARE(int(t.c_cc[VSTOP]), 19);
}

void TestPosixComPort::openByPathAndBareName()
{
    NEED_SOCAT(pair);
    TComPort port;
    port.SetPort(pair.Near());
    port.OpenDevice();
    QVERIFY(port.Connected());
    QVERIFY(port.DeviceHandle() >= 0);
    // A pseudo-terminal has no modem lines: all off, not an error.
    QCOMPARE(port.QueryModemLines(), TComModemLines());
    port.CloseDevice();
    QCOMPARE(port.DeviceHandle(), -1);

    // A name without '/' is a device under /dev: the multiplexer hands out
    // a fresh pseudo-terminal of this test's own.
    TComPort bare;
    bare.SetPort("ptmx");
    bare.OpenDevice();
    QVERIFY(bare.Connected());
    QVERIFY(::isatty(bare.DeviceHandle()));
}

void TestPosixComPort::openFailures()
{
    QTemporaryDir dir;
    const std::string missing = dir.filePath(QStringLiteral("none")).toStdString();
    const std::string plain = dir.filePath(QStringLiteral("file")).toStdString();
    QFile file(QString::fromStdString(plain));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    struct {
        std::string Name;
        int Errno;
    } cases[] = {{missing, ENOENT}, {plain, ENOTTY}, {std::string(), ENOENT}};
    for (const auto &c : cases) {
        TComPort port;
        port.SetPort(c.Name);
        bool before = false, after = false;
        port.OnBeforeOpen = [&](TCustomComPort *) { before = true; };
        port.OnAfterOpen = [&](TCustomComPort *) { after = true; };
        try {
            port.OpenDevice();
            QFAIL("opened");
        } catch (const EComPort &e) {
            QCOMPARE(e.ErrorCode(), 1);
            QCOMPARE(e.SystemErrorCode(), c.Errno);
            QVERIFY(std::string(e.what()).ends_with(" (system error code: " + std::to_string(c.Errno) + ")"));
        }
        QVERIFY(before && !after);
        QVERIFY(!port.Connected());
    }
}

void TestPosixComPort::exclusiveOpen()
{
    NEED_SOCAT(pair);
    TComPort first, second;
    first.SetPort(pair.Near());
    second.SetPort(pair.Near());
    first.OpenDevice();
    try {
        second.OpenDevice();
        QFAIL("second open succeeded");
    } catch (const EComPort &e) {
        QCOMPARE(e.ErrorCode(), 1);
        QCOMPARE(e.SystemErrorCode(), EBUSY);
        QVERIFY(std::string(e.what()).ends_with(" (system error code: 16)"));
    }
    QVERIFY(!second.Connected());
    first.CloseDevice();

    // A setting refused at open closes the device again, free for others.
    TComPort refused;
    refused.SetPort(pair.Near());
    refused.SetStopBits(sbOne5StopBits);  // needs five data bits
    int system = 0;
    QCOMPARE(CodeOf([&] { refused.OpenDevice(); }, &system), 7);
    QCOMPARE(system, EINVAL);
    QVERIFY(!refused.Connected());
    QCOMPARE(refused.DeviceHandle(), -1);

    second.OpenDevice();  // free again after the close
    QVERIFY(second.Connected());
}

void TestPosixComPort::roundTrip()
{
    NEED_SOCAT(pair);
    TComPort port;
    port.SetPort(pair.Near());
    LinkTimeouts(port);
    port.SetBaudRate(br115200);
    port.OpenDevice();

    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(char(i));
    QCOMPARE(port.WriteText(all), 256);
    QCOMPARE(pair.ReadFar(256), all);
    QCOMPARE(port.WriteText(std::string()), 0);

    QVERIFY(pair.WriteFar(all));
    std::string got;
    std::vector<char> buf(1048576);
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (got.size() < all.size() && Clock::now() < until) {
        const int n = port.ReadBlock(buf.data(), int32_t(buf.size()));
        got.append(buf.data(), size_t(n));
    }
    QCOMPARE(got, all);
}

// Bytes 30 ms apart stay in one read under the read interval (wide here,
// so that a loaded machine's scheduling gaps do not end the read early).
void TestPosixComPort::readIntervalJoinsBurst()
{
    NEED_SOCAT(pair);
    TComPort port;
    port.SetPort(pair.Near());
    port.Timeouts().SetReadInterval(1000);
    port.Timeouts().SetReadTotalConstant(5000);
    port.OpenDevice();
    // Joined however the comparisons below end.
    std::jthread sender([&] {
        for (char c : std::string("abc")) {
            pair.WriteFar(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });
    char buf[16];
    QCOMPARE(port.ReadBlock(buf, 3), 3);  // ends on count, well before the total
    QCOMPARE(std::string(buf, 3), std::string("abc"));
}

// A steady stream never leaves a gap of the interval: the total time-out
// still ends the read, with what came until then.
void TestPosixComPort::readEndsAtTotalWhileBytesFlow()
{
    NEED_SOCAT(pair);
    TComPort port;
    OpenWithLinkTimeouts(port, pair.Near());
    std::atomic<bool> stop {false};
    std::jthread sender([&] {
        const std::string chunk(4096, 'x');
        while (!stop && pair.WriteFar(chunk, 200)) { }
    });
    std::vector<char> buf(64 * 1024 * 1024);
    const auto start = Clock::now();
    const int32_t n = port.ReadBlock(buf.data(), int32_t(buf.size()));
    const qint64 took = MsSince(start);
    stop = true;
    sender.join();
    QVERIFY2(n > 0 && took < 1000, qPrintable(QStringLiteral("%1 bytes in %2 ms").arg(n).arg(took)));
}

// Nobody reads the far end: the write ends at its total time-out with fewer
// bytes, and that is no error.
void TestPosixComPort::writeEndsAtItsTimeout()
{
    NEED_SOCAT(pair);
    TComPort port;
    port.SetPort(pair.Near());
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(200);
    port.OpenDevice();
    const std::string big(8 * 1024 * 1024, 'x');
    const auto start = Clock::now();
    const int32_t n = port.WriteText(big);
    const qint64 took = MsSince(start);
    QVERIFY2(n > 0 && n < int32_t(big.size()), qPrintable(QString::number(n)));
    QVERIFY2(took >= 150 && took < 3000, qPrintable(QString::number(took)));
}

void TestPosixComPort::lineSettingsOnPty()
{
    NEED_SOCAT(pair);
    TComPort port;
    port.SetPort(pair.Near());
    port.SetBaudRate(br14400);  // no B14400: through termios2
    port.SetDataBits(dbSeven);
    port.Parity().SetBits(prMark);
    port.OpenDevice();
    uint32_t rate = 0;
    QCOMPARE(GetCustomBaudRate(port.DeviceHandle(), rate), 0);
    QCOMPARE(rate, 14400u);
    // (A pseudo-terminal reports CS8 without parity whatever it is given;
    // the flags themselves are checked in termiosMapping.)
    struct termios t;

    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250);
    QCOMPARE(GetCustomBaudRate(port.DeviceHandle(), rate), 0);
    QCOMPARE(rate, 31250u);
    port.SetBaudRate(br115200);
    QCOMPARE(::tcgetattr(port.DeviceHandle(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B115200));

    // Refused while open: code 7, the value stays, the port stays open.
    int system = 0;
    QCOMPARE(CodeOf([&] { port.SetStopBits(sbOne5StopBits); }, &system), 7);
    QCOMPARE(system, EINVAL);
    QCOMPARE(port.StopBits(), sbOne5StopBits);
    QVERIFY(port.Connected());
    // DTR/RTS writes on a device without modem lines are ignored.
    port.SetStopBits(sbOneStopBit);
    port.FlowControl().SetControlDTR(dtrEnable);
    port.FlowControl().SetControlRTS(rtsEnable);
}

void TestPosixComPort::closePutsBackTheTerminal_data()
{
    QTest::addColumn<bool>("dtr");
    QTest::newRow("DTR off: no hang-up on close") << false;
    QTest::newRow("DTR on: hang-up on close") << true;
}

// What another program left on the terminal (a slow rate, cooked input,
// hang-up on close) comes back when the port closes; only HUPCL follows the
// DTR setting, so that closing with DTR kept off does not reset a board.
void TestPosixComPort::closePutsBackTheTerminal()
{
    QFETCH(bool, dtr);
    NEED_SOCAT(pair);
    struct termios before;
    {
        const int fd = ::open(pair.Near().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::tcgetattr(fd, &before), 0);
        before.c_iflag |= ICRNL | IXON;
        before.c_lflag |= ICANON | ECHO;
        before.c_cflag |= HUPCL;
        before.c_cc[VMIN] = 3;
        ::cfsetispeed(&before, B1200);
        ::cfsetospeed(&before, B1200);
        QCOMPARE(::tcsetattr(fd, TCSANOW, &before), 0);
        QCOMPARE(::tcgetattr(fd, &before), 0);
        ::close(fd);
    }
    TComPort port;
    port.SetPort(pair.Near());
    port.SetBaudRate(br115200);
    port.FlowControl().SetControlDTR(dtr ? dtrEnable : dtrDisable);
    port.OpenDevice();
    struct termios open;
    QCOMPARE(::tcgetattr(port.DeviceHandle(), &open), 0);
    QCOMPARE(::cfgetospeed(&open), speed_t(B115200));
    QCOMPARE(bool(open.c_cflag & HUPCL), dtr);
    port.CloseDevice();

    struct termios after;
    const int fd = ::open(pair.Near().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QCOMPARE(::tcgetattr(fd, &after), 0);
    ::close(fd);
    QCOMPARE(bool(after.c_cflag & HUPCL), dtr);
    QCOMPARE(::cfgetospeed(&after), speed_t(B1200));
    QCOMPARE(::cfgetispeed(&after), speed_t(B1200));
    QCOMPARE(after.c_iflag, before.c_iflag);
    QCOMPARE(after.c_oflag, before.c_oflag);
    QCOMPARE(after.c_lflag, before.c_lflag);
    QCOMPARE(after.c_cflag & ~tcflag_t(HUPCL), before.c_cflag & ~tcflag_t(HUPCL));
    QVERIFY(std::equal(std::begin(after.c_cc), std::end(after.c_cc), std::begin(before.c_cc)));
}

// The reader thread waits and reads while the UI thread writes, as the link
// uses the port; nothing is lost either way.
void TestPosixComPort::concurrentReadAndWrite()
{
    NEED_SOCAT(pair);
    TComPort port;
    OpenWithLinkTimeouts(port, pair.Near());
    std::string incoming;
    for (int i = 0; i < 20000; ++i)
        incoming.push_back(char(i * 7));
    std::string got;
    std::jthread reader([&] {
        std::vector<char> buf(65536);
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (got.size() < incoming.size() && Clock::now() < until) {
            TComEvents ev {evRxChar, evCTS, evDSR, evRLSD};
            port.WaitForEvent(ev, NoStopEvent, 200);
            if (ev.Contains(evRxChar))
                got.append(buf.data(), size_t(port.ReadBlock(buf.data(), int32_t(buf.size()))));
        }
    });
    std::string sent;
    bool allWritten = true, allFed = true;
    for (int i = 0; i < 50; ++i) {
        const std::string line = "line " + std::to_string(i) + "\r\n";
        allWritten = allWritten && port.WriteText(line) == int32_t(line.size());
        sent += line;
        allFed = allFed && pair.WriteFar(incoming.substr(size_t(i) * 400, 400));
    }
    const std::string echoed = pair.ReadFar(sent.size());
    reader.join();
    QVERIFY(allWritten && allFed);
    QCOMPARE(echoed, sent);
    QCOMPARE(got.size(), incoming.size());
    QVERIFY(got == incoming);
}

// The far end goes away (like a USB unplug): each call of the port fails with
// its own code and the system's EIO, and the port closes normally. (How the
// device itself behaves is in the device suite.)
void TestPosixComPort::vanishedFarEnd()
{
    NEED_SOCAT(pair);
    TComPort port;
    OpenWithLinkTimeouts(port, pair.Near());
    pair.Stop();
    char buf[64];
    int system = 0;
    TComEvents ev {evRxChar, evCTS, evDSR, evRLSD};
    QCOMPARE(CodeOf([&] { port.WaitForEvent(ev, NoStopEvent, -1); }, &system), 21);
    QCOMPARE(system, EIO);
    QVERIFY(port.DeviceLost());
    QCOMPARE(CodeOf([&] { port.ReadBlock(buf, sizeof buf); }, &system), 3);
    QCOMPARE(system, EIO);
    QCOMPARE(CodeOf([&] { port.WriteText("x"); }), 2);
    QCOMPARE(CodeOf([&] { port.QueryModemLines(); }), 11);
    port.CloseDevice();
    QVERIFY(!port.Connected());
    QVERIFY(!port.DeviceLost());
    // A wait on the closed port fails at once.
    QCOMPARE(CodeOf([&] { port.WaitForEvent(ev, NoStopEvent, -1); }), 21);
}

namespace {
std::atomic<bool> HandlerRan {false};
// Keeps a thread inside a call, deaf to the wake-up, for a while (as a driver
// that does not return would).
void SlowHandler(int)
{
    HandlerRan = true;
    const timespec Pause {3, 0};
    nanosleep(&Pause, nullptr);
}
}  // namespace

// A call that does not come back when woken must not hold up the close for
// ever: Close returns after its bounded wait; the call ends with ECANCELED
// once it gets back, and only then is the descriptor (with the device's lock)
// let go.
void TestPosixComPort::closeWaitIsBounded()
{
#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer delivers the signal only when the call returns");
#endif
    NEED_SOCAT(pair);
    TPosixComDevice device;
    QCOMPARE(device.Open(pair.Near()), 0);
    QCOMPARE(device.SetTimeouts(TComTimeoutRecord {0, 0, 0, 0, 0}), 0);  // a read without limit
    struct sigaction action {
    }, old {};
    action.sa_handler = SlowHandler;
    sigemptyset(&action.sa_mask);
    QCOMPARE(::sigaction(SIGUSR1, &action, &old), 0);
    std::atomic<int> result {-1};
    std::atomic<bool> ended {false};
    std::jthread reader([&] {
        char buf[16];
        int32_t done = 0;
        result = device.Read(buf, sizeof buf, done);
        ended = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::pthread_kill(reader.native_handle(), SIGUSR1);
    QTRY_VERIFY(HandlerRan.load());
    const auto start = Clock::now();
    device.Close();
    const bool endedBeforeClose = ended;
    const qint64 took = MsSince(start);
    QVERIFY2(!endedBeforeClose, qPrintable(QStringLiteral("Close waited %1 ms").arg(took)));
    QVERIFY(took >= TPosixComDevice::CloseWaitMs - 50);
    QVERIFY(!device.IsOpen());
    // The call still holds the descriptor: the device stays locked until it ends.
    TPosixComDevice other;
    QCOMPARE(other.Open(pair.Near()), EBUSY);
    reader.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    QCOMPARE(result.load(), ECANCELED);
    QCOMPARE(other.Open(pair.Near()), 0);
}

// With no descriptor left for the wake-up, the open fails and says why,
// leaving nothing open behind.
void TestPosixComPort::openWithoutDescriptorsLeft()
{
    NEED_SOCAT(pair);
    const int lowest = ::dup(0);
    QVERIFY(lowest >= 0);
    ::close(lowest);
    rlimit old {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(lowest + 1);  // room for the device, none for its wake-up
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    TComPort port;
    port.SetPort(pair.Near());
    int system = 0;
    const int code = CodeOf([&] { port.OpenDevice(); }, &system);
    ::setrlimit(RLIMIT_NOFILE, &old);
    QCOMPARE(code, 1);
    QCOMPARE(system, EMFILE);
    QVERIFY(!port.Connected());
    const int again = ::dup(0);
    QCOMPARE(again, lowest);  // the device's descriptor was closed
    ::close(again);
    try {
        port.OpenDevice();
    } catch (const EComPort &e) {
        QFAIL(e.what());
    }
}

QTEST_GUILESS_MAIN(TestPosixComPort)
#include "tst_PosixComPort.moc"
