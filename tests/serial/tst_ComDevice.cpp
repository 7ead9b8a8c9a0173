// One suite for the device interface, run against every implementation: the
// fake device, the POSIX device on a socat pseudo-terminal pair, and the
// network device through ser2net (RFC 2217 and raw TCP) on such a pair. Each
// behaviour the port relies on (how reads and writes end, waits, a close or
// abort from another thread ending a blocked call, a vanished device, modem
// lines where the device has them) must hold for both alike.
//
// Time: only lower bounds and hang guards are asserted, so a busy machine
// cannot fail a case that is right.
#include "ComDevice.h"
#include "FakeComDevice.h"
#include "NetComDevice.h"
#include "PosixComDevice.h"
#include "Ser2Net.h"
#include "SocatPair.h"

#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

qint64 MsSince(Clock::time_point Start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
}

// Long enough that only a hang exceeds it.
constexpr int HangMs = 10000;

// A device under test and the far side the test drives.
class TDeviceRig {
public:
    virtual ~TDeviceRig() = default;
    virtual bool Start(QString &Error) = 0;
    virtual TComDevice &Device() = 0;
    virtual std::string Path() = 0;
    // Bytes arriving at the device.
    virtual void Feed(const std::string &Bytes) = 0;
    // What the device wrote, once Count bytes arrived (or HangMs passed).
    virtual std::string Sent(std::size_t Count) = 0;
    // The device goes away (unplug; the far end closes).
    virtual void Vanish() = 0;
    virtual bool HasModemLines() const = 0;
    // Sets the modem input lines (MS_* bits); only where HasModemLines.
    virtual void SetModemStatus(uint32_t) { }
};

class TFakeRig : public TDeviceRig {
public:
    bool Start(QString &) override { return true; }
    TComDevice &Device() override { return FDevice; }
    std::string Path() override { return "fake"; }
    void Feed(const std::string &Bytes) override { FState->Feed(Bytes); }
    std::string Sent(std::size_t) override
    {
        std::lock_guard<std::mutex> G(FState->Lock);
        return FState->Sent;
    }
    void Vanish() override { FState->Vanish(EIO); }
    bool HasModemLines() const override { return true; }
    void SetModemStatus(uint32_t Status) override { FState->SetModemStatus(Status); }

private:
    std::shared_ptr<TFakeComState> FState = std::make_shared<TFakeComState>();
    TFakeComDevice FDevice {FState};
};

class TPosixRig : public TDeviceRig {
public:
    bool Start(QString &Error) override
    {
        if (FPair.Start())
            return true;
        Error = FPair.Error;
        return false;
    }
    TComDevice &Device() override { return FDevice; }
    std::string Path() override { return FPair.Near(); }
    void Feed(const std::string &Bytes) override { FPair.WriteFar(Bytes); }
    std::string Sent(std::size_t Count) override { return FPair.ReadFar(Count, HangMs); }
    void Vanish() override { FPair.Stop(); }
    // A pseudo-terminal has none.
    bool HasModemLines() const override { return false; }

private:
    TSocatPair FPair;
    TPosixComDevice FDevice;
};

// The device behind ser2net; the server going away is the device vanishing.
class TNetRig : public TDeviceRig {
public:
    explicit TNetRig(bool Rfc2217) : FRfc2217(Rfc2217) { }
    bool Start(QString &Error) override
    {
        if (FServer.Start(FRfc2217))
            return true;
        Error = FServer.Error;
        return false;
    }
    TComDevice &Device() override { return FDevice; }
    std::string Path() override { return FServer.PortName(); }
    void Feed(const std::string &Bytes) override { FServer.Cable().WriteFar(Bytes); }
    std::string Sent(std::size_t Count) override { return FServer.Cable().ReadFar(Count, HangMs); }
    void Vanish() override { FServer.StopServer(); }
    // The server's device is a pseudo-terminal.
    bool HasModemLines() const override { return false; }

private:
    bool FRfc2217;
    TSer2Net FServer;
    TNetComDevice FDevice;
};

std::unique_ptr<TDeviceRig> MakeRig(const QString &Kind)
{
    if (Kind == QLatin1String("fake"))
        return std::make_unique<TFakeRig>();
    if (Kind == QLatin1String("rfc2217") || Kind == QLatin1String("socket"))
        return std::make_unique<TNetRig>(Kind == QLatin1String("rfc2217"));
    return std::make_unique<TPosixRig>();
}

TComTimeoutRecord ReadTimeouts(uint32_t Interval, uint32_t Multiplier, uint32_t Constant)
{
    TComTimeoutRecord T;
    T.ReadIntervalTimeout = Interval;
    T.ReadTotalTimeoutMultiplier = Multiplier;
    T.ReadTotalTimeoutConstant = Constant;
    return T;
}

// Waits until input is buffered at the device (or HangMs passed).
bool WaitForInput(TComDevice &Device)
{
    uint32_t Occurred = 0;
    return Device.WaitEvent(EV_RXCHAR, -1, HangMs, Occurred) == 0 && Occurred == EV_RXCHAR;
}

}  // namespace

// Each test: one row per implementation, a started rig in Rig.
#define RIG()                                                                                                          \
    QFETCH(QString, kind);                                                                                             \
    auto RigHolder = MakeRig(kind);                                                                                    \
    TDeviceRig &Rig = *RigHolder;                                                                                      \
    {                                                                                                                  \
        QString Error;                                                                                                 \
        QVERIFY2(Rig.Start(Error), qPrintable(Error));                                                                 \
    }                                                                                                                  \
    TComDevice &Dev = Rig.Device();                                                                                    \
    QCOMPARE(Dev.Open(Rig.Path()), 0)

class TestComDevice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openAndClose_data() { Rows(); }
    void openAndClose();
    void readEndings_data() { Rows(); }
    void readEndings();
    void writeDeliversAll_data() { Rows(); }
    void writeDeliversAll();
    void waits_data() { Rows(); }
    void waits();
    void closeEndsBlockedCalls_data() { Rows(); }
    void closeEndsBlockedCalls();
    void abortEndsBlockedWait_data() { Rows(); }
    void abortEndsBlockedWait();
    void vanishedDevice_data() { Rows(); }
    void vanishedDevice();
    void bytesBeforeVanishingAreRead_data() { Rows(); }
    void bytesBeforeVanishingAreRead();
    void modemLines_data() { Rows(); }
    void modemLines();

private:
    static void Rows()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fake") << QStringLiteral("fake");
        QTest::newRow("posix") << QStringLiteral("posix");
        QTest::newRow("rfc2217") << QStringLiteral("rfc2217");
        QTest::newRow("socket") << QStringLiteral("socket");
    }
};

void TestComDevice::openAndClose()
{
    RIG();
    QVERIFY(Dev.IsOpen());
    QVERIFY(Dev.Handle() >= 0);
    QVERIFY(!Dev.Lost());
    QCOMPARE(Dev.Open(Rig.Path()), EBUSY);  // one opening at a time
    Dev.Close();
    QVERIFY(!Dev.IsOpen());
    QCOMPARE(Dev.Handle(), -1);
    // Calls on a closed device fail at once.
    char Buffer[4];
    int32_t Done = -1;
    uint32_t Occurred = 1;
    QCOMPARE(Dev.Read(Buffer, 4, Done), EBADF);
    QCOMPARE(Done, 0);
    QCOMPARE(Dev.Write("x", 1, Done), EBADF);
    QCOMPARE(Dev.WaitEvent(EV_RXCHAR, -1, -1, Occurred), EBADF);
    QCOMPARE(Occurred, 0u);
    Dev.Close();  // twice is harmless
    QCOMPARE(Dev.Open(Rig.Path()), 0);
}

void TestComDevice::readEndings()
{
    RIG();
    char Buffer[64];
    int32_t Done = -1;

    // Nothing arrives: the total time-out ends the read, no error, no bytes.
    QCOMPARE(Dev.SetTimeouts(ReadTimeouts(0, 0, 100)), 0);
    auto Start = Clock::now();
    QCOMPARE(Dev.Read(Buffer, sizeof Buffer, Done), 0);
    QCOMPARE(Done, 0);
    QVERIFY2(MsSince(Start) >= 90, qPrintable(QString::number(MsSince(Start))));

    // The count is reached: the read ends with it.
    Rig.Feed("hello");
    QVERIFY(WaitForInput(Dev));
    QCOMPARE(Dev.SetTimeouts(ReadTimeouts(100, 0, HangMs)), 0);
    Start = Clock::now();
    QCOMPARE(Dev.Read(Buffer, 5, Done), 0);
    QCOMPARE(std::string(Buffer, size_t(Done)), std::string("hello"));
    QVERIFY(MsSince(Start) < HangMs);

    // An interval of all ones without totals: at once, with what is buffered.
    QCOMPARE(Dev.SetTimeouts(ReadTimeouts(0xFFFFFFFFu, 0, 0)), 0);
    Start = Clock::now();
    QCOMPARE(Dev.Read(Buffer, sizeof Buffer, Done), 0);
    QCOMPARE(Done, 0);
    Rig.Feed("ab");
    QVERIFY(WaitForInput(Dev));
    std::string Got;
    while (Got.size() < 2 && MsSince(Start) < HangMs) {
        QCOMPARE(Dev.Read(Buffer, sizeof Buffer, Done), 0);
        Got.append(Buffer, size_t(Done));
    }
    QCOMPARE(Got, std::string("ab"));

    // A count of zero transfers nothing.
    QCOMPARE(Dev.Read(Buffer, 0, Done), 0);
    QCOMPARE(Done, 0);
}

void TestComDevice::writeDeliversAll()
{
    RIG();
    std::string All;
    for (int I = 0; I < 256; ++I)
        All.push_back(char(I));
    int32_t Done = -1;
    QCOMPARE(Dev.Write(All.data(), int32_t(All.size()), Done), 0);
    QCOMPARE(Done, 256);
    QCOMPARE(Rig.Sent(All.size()), All);
    QCOMPARE(Dev.Write(All.data(), 0, Done), 0);
    QCOMPARE(Done, 0);
}

void TestComDevice::waits()
{
    RIG();
    uint32_t Occurred = 1;
    // Nothing: a zero time-out returns at once, a short one after it.
    QCOMPARE(Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, 0, Occurred), 0);
    QCOMPARE(Occurred, 0u);
    auto Start = Clock::now();
    QCOMPARE(Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, 100, Occurred), 0);
    QCOMPARE(Occurred, 0u);
    QVERIFY(MsSince(Start) >= 90);

    // Bytes arriving during a wait without limit end it.
    std::thread Later([&Rig] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Rig.Feed("hi");
    });
    QCOMPARE(Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, -1, Occurred), 0);
    Later.join();
    QCOMPARE(Occurred, uint32_t(EV_RXCHAR));
    // Input already buffered counts at once.
    QCOMPARE(Dev.WaitEvent(EV_RXCHAR, -1, -1, Occurred), 0);
    QCOMPARE(Occurred, uint32_t(EV_RXCHAR));
    // Input outside the mask does not end a wait.
    QCOMPARE(Dev.WaitEvent(EV_CTS, -1, 50, Occurred), 0);
    QCOMPARE(Occurred, 0u);

    // The stop descriptor ends a wait without limit.
    const int Stop = ::eventfd(0, EFD_CLOEXEC);
    std::thread Stopper([Stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const uint64_t One = 1;
        [[maybe_unused]] ssize_t N = ::write(Stop, &One, sizeof One);
    });
    Start = Clock::now();
    QCOMPARE(Dev.WaitEvent(EV_CTS, Stop, -1, Occurred), 0);
    Stopper.join();
    ::close(Stop);
    QCOMPARE(Occurred, 0u);
    QVERIFY(MsSince(Start) < HangMs);
}

// A read or wait without any time-out, on another thread, ends when the
// device is closed: the read with ECANCELED, the wait with no event.
void TestComDevice::closeEndsBlockedCalls()
{
    RIG();
    QCOMPARE(Dev.SetTimeouts(ReadTimeouts(0, 0, 0)), 0);
    auto Reader = std::async(std::launch::async, [&Dev] {
        char Buffer[16];
        int32_t Done = -1;
        return Dev.Read(Buffer, sizeof Buffer, Done);
    });
    auto Waiter = std::async(std::launch::async, [&Dev] {
        uint32_t Occurred = 1;
        const int Err = Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, -1, Occurred);
        return Err ? Err : int(Occurred);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QCOMPARE(Reader.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    const auto Start = Clock::now();
    Dev.Close();
    QCOMPARE(Reader.wait_for(std::chrono::milliseconds(HangMs)), std::future_status::ready);
    QCOMPARE(Waiter.wait_for(std::chrono::milliseconds(HangMs)), std::future_status::ready);
    QVERIFY(MsSince(Start) < HangMs);
    QCOMPARE(Reader.get(), ECANCELED);
    QCOMPARE(Waiter.get(), 0);
    QVERIFY(!Dev.IsOpen());
}

void TestComDevice::abortEndsBlockedWait()
{
    RIG();
    auto Waiter = std::async(std::launch::async, [&Dev] {
        uint32_t Occurred = 1;
        const int Err = Dev.WaitEvent(EV_RXCHAR, -1, -1, Occurred);
        return Err ? Err : int(Occurred);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QCOMPARE(Dev.AbortIo(), 0);
    QCOMPARE(Waiter.wait_for(std::chrono::milliseconds(HangMs)), std::future_status::ready);
    QCOMPARE(Waiter.get(), 0);
    QVERIFY(Dev.IsOpen());  // an abort is no close
}

// The device goes away under a blocked wait: the wait ends with the loss
// (EIO), every call then fails at once, nothing spins, and a close clears it.
void TestComDevice::vanishedDevice()
{
    RIG();
    auto Waiter = std::async(std::launch::async, [&Dev] {
        uint32_t Occurred = 1;
        return Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, -1, Occurred);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Rig.Vanish();
    QCOMPARE(Waiter.wait_for(std::chrono::milliseconds(HangMs)), std::future_status::ready);
    QCOMPARE(Waiter.get(), EIO);
    QVERIFY(Dev.Lost());

    char Buffer[16];
    int32_t Done = -1;
    uint32_t Occurred = 1;
    const auto Start = Clock::now();
    for (int I = 0; I < 1000; ++I) {
        QCOMPARE(Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, -1, Occurred), EIO);
        QCOMPARE(Dev.Read(Buffer, sizeof Buffer, Done), EIO);
    }
    QCOMPARE(Dev.Write("x", 1, Done), EIO);
    uint32_t Status = 0;
    QCOMPARE(Dev.GetModemStatus(Status), EIO);
    QVERIFY2(MsSince(Start) < HangMs, "calls on a vanished device must fail promptly");
    Dev.Close();
    QVERIFY(!Dev.IsOpen());
    QVERIFY(!Dev.Lost());
}

// Bytes that came before the device went away are still read (a wait for
// input reports them first), then the loss.
void TestComDevice::bytesBeforeVanishingAreRead()
{
    RIG();
    // Linux discards a pseudo-terminal's input when its far end closes (the
    // hang-up flushes it): no device can hand those bytes over.
    if (kind == QLatin1String("posix"))
        QSKIP("a pseudo-terminal's input is flushed by the kernel at hang-up");
    QCOMPARE(Dev.SetTimeouts(ReadTimeouts(100, 0, 100)), 0);
    Rig.Feed("last");
    QVERIFY(WaitForInput(Dev));
    Rig.Vanish();
    std::string Got;
    int Err = 0;
    const auto Start = Clock::now();
    while (Err == 0 && MsSince(Start) < HangMs) {
        uint32_t Occurred = 0;
        Err = Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, -1, Occurred);
        if (Err == 0 && (Occurred & EV_RXCHAR)) {
            char Buffer[16];
            int32_t Done = 0;
            Err = Dev.Read(Buffer, sizeof Buffer, Done);
            Got.append(Buffer, size_t(Done));
        }
    }
    QCOMPARE(QString::fromStdString(Got), QStringLiteral("last"));
    QCOMPARE(Err, EIO);
    QVERIFY(Dev.Lost());
}

void TestComDevice::modemLines()
{
    RIG();
    uint32_t Status = 1;
    QCOMPARE(Dev.GetModemStatus(Status), 0);
    QCOMPARE(Status, 0u);
    if (!Rig.HasModemLines()) {
        // No lines, so no line event; asking is no error.
        uint32_t Occurred = 1;
        QCOMPARE(Dev.WaitEvent(ModemLineEventMask, -1, 50, Occurred), 0);
        QCOMPARE(Occurred, 0u);
        return;
    }
    struct {
        uint32_t Lines;
        uint32_t Events;
    } Steps[] = {{MS_CTS_ON, EV_CTS}, {MS_CTS_ON | MS_RLSD_ON, EV_RLSD},
        {MS_DSR_ON | MS_RLSD_ON | MS_RING_ON, EV_CTS | EV_DSR | EV_RING}, {0, EV_DSR | EV_RLSD | EV_RING}};
    for (const auto &S : Steps) {
        uint32_t Occurred = 0;
        std::thread Later([&Rig, &S] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            Rig.SetModemStatus(S.Lines);
        });
        QCOMPARE(Dev.WaitEvent(EV_RXCHAR | ModemLineEventMask, -1, HangMs, Occurred), 0);
        Later.join();
        QCOMPARE(Occurred, S.Events);
        QCOMPARE(Dev.GetModemStatus(Status), 0);
        QCOMPARE(Status, S.Lines);
    }
    // A line outside the mask does not end the wait.
    uint32_t Occurred = 1;
    Rig.SetModemStatus(MS_CTS_ON);
    std::thread Later([&Rig] { Rig.SetModemStatus(0); });
    QCOMPARE(Dev.WaitEvent(EV_DSR, -1, 50, Occurred), 0);
    Later.join();
    QCOMPARE(Occurred, 0u);
}

QTEST_GUILESS_MAIN(TestComDevice)
#include "tst_ComDevice.moc"
