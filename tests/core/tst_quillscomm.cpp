// The serial link and the reader thread over real pseudo-terminals (socat)
// with a real port and a real reader thread; the fake device only where a
// pseudo-terminal has nothing to show (modem lines).
#include "ComDevice.h"
#include "FakeComDevice.h"
#include "MilliClock.h"
#include "QuillScomm.h"
#include "SocatPair.h"
#include "SystemErrors.h"
#include "UndrainedPty.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <future>
#include <grp.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

struct TLine {
    char Direction = 0;
    std::string Time;
    std::string Gap;
    std::string Data;
};

// Splits a line at the fixed positions of its head; QVERIFY-able Ok.
struct TParsed : TLine {
    bool Ok = false;
};

TParsed ParseLine(const std::string &Line)
{
    const std::string Sep = LocaleTimeSeparator(QLocale::system());
    const std::size_t TimeLength = 6 + 2 * Sep.size();
    const std::size_t HeadLength = 2 + TimeLength + 4 + 1;
    TParsed P;
    if (Line.size() < HeadLength || Line[1] != '[' || Line[HeadLength - 1] != ']')
        return P;
    P.Direction = Line[0];
    P.Time = Line.substr(2, TimeLength);
    P.Gap = Line.substr(2 + TimeLength, 4);
    P.Data = Line.substr(HeadLength);
    const std::string &T = P.Time;
    auto Digits = [&T](std::size_t At) {
        return std::isdigit(static_cast<unsigned char>(T[At])) && std::isdigit(static_cast<unsigned char>(T[At + 1]));
    };
    const std::size_t M = 2 + Sep.size();
    const std::size_t S = M + 2 + Sep.size();
    P.Ok = (P.Direction == 'R' || P.Direction == 'T') && Digits(0) && Digits(M) && Digits(S) &&
        T.compare(2, Sep.size(), Sep) == 0 && T.compare(M + 2, Sep.size(), Sep) == 0 &&
        (P.Gap == " ---" || (P.Gap[0] == ' ' && std::stoi(P.Gap.substr(1)) >= 0));
    return P;
}

int GapValue(const TLine &L)
{
    return L.Gap == " ---" ? 1000 : std::stoi(L.Gap.substr(1));
}

// Fetches lines as the display tick would, until none came for QuietMs or
// LongestMs passed.
std::vector<TParsed> Drain(TQuillScomm &Link, int QuietMs, int LongestMs = 10000)
{
    std::vector<TParsed> Lines;
    QElapsedTimer Total, Quiet;
    Total.start();
    Quiet.start();
    while (Quiet.elapsed() < QuietMs && Total.elapsed() < LongestMs) {
        const std::string Line = Link.FetchLine();
        if (Line.empty()) {
            QThread::msleep(1);
            continue;
        }
        Lines.push_back(ParseLine(Line));
        Quiet.restart();
    }
    return Lines;
}

// Waits until the link's writer has written and echoed all it was given.
bool WaitSent(const TQuillScomm &Link, int TimeoutMs = 5000)
{
    QElapsedTimer Waited;
    Waited.start();
    while (Link.Sending()) {
        if (Waited.elapsed() > TimeoutMs)
            return false;
        QThread::msleep(1);
    }
    return true;
}

std::string Hex(const std::string &Bytes)
{
    return QByteArray(Bytes.data(), static_cast<qsizetype>(Bytes.size())).toHex(' ').toUpper().toStdString();
}

// Link, reader thread and cable, torn down in that order.
struct TRig {
    TSocatPair Pair;
    std::unique_ptr<TQuillScomm> Link;
    std::unique_ptr<TQuillComThread> Reader;

    bool Open()
    {
        if (!Pair.Start())
            return false;
        Link = std::make_unique<TQuillScomm>();
        Link->Port.SetPort(Pair.Near());
        Link->OpenPort();
        Reader = std::make_unique<TQuillComThread>(*Link);
        Reader->Release();
        return true;
    }
    ~TRig()
    {
        Reader.reset();
        Link.reset();
    }
};

std::atomic<uint32_t> FakeNow {0};
uint32_t FakeClock()
{
    return FakeNow.load();
}

// Puts the fake clock in for one test.
struct TFakeClock {
    explicit TFakeClock(uint32_t Start)
    {
        FakeNow = Start;
        SetMilliClock(&FakeClock);
    }
    ~TFakeClock() { SetMilliClock(nullptr); }
};

double ProcessCpuSeconds()
{
    timespec T {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

}  // namespace

#define OPEN_RIG(Rig) QVERIFY2((Rig).Open(), qPrintable((Rig).Pair.Error))

class TestQuillScomm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gapText_data();
    void gapText();
    void localeTimeSeparator_data();
    void localeTimeSeparator();
    void constructionConfiguresThePort();
    void openFailures();
    void openAndCloseTwiceDoNothing();

    void burstBecomesOneLine();
    void bytesApartGiveOneLineEach();
    void continuousStreamIsCutIntoBlocks();
    void nothingReceivedWhilePausedIsKept();
    void characterModeKeepsZeroBytes();
    void closeAndReopenResumes();
    void modemLinesUpdateFlagsWithoutALine();
    void lockHeldLongKeepsTheBlock();
    void blockWaitingForRoomIsQueuedAtClose();
    void receiveCounterWraps();
    void longTimeSeparatorMakesAWholeHead();

    void sendData_data();
    void sendData();
    void sendMalformedHexChangesNothing_data();
    void sendMalformedHexChangesNothing();
    void sendWhilePausedCountsButQueuesNothing();
    void sendGapRule();
    void sendGapsOnTheRealClock();
    void sendOnClosedPortPassesThePortError();
    void sendEchoDroppedWhenLockIsHeld();
    void fetchLineEmptyAndBounded();

    void stuckWriteLeavesTheCallerFreeUntilClosed();
    void stuckWriteEndsWithTheLink();
    void waitingSendsGoOutWholeAndInOrder();
    void backlogIsBounded_data();
    void backlogIsBounded();
    void failedWriteIsToldOnceAndDropsWhatWaits();

    void vanishedDeviceIsReportedWithoutSpinning();
    void vanishedFakeDeviceIsReported();
    void readerRunsAtNormalPolicy();
    void readerStopsPromptly();
    void readerStopsWithoutWakeDescriptor();
};

void TestQuillScomm::gapText_data()
{
    QTest::addColumn<uint>("gap");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("0") << 0u << QByteArray("   0");
    QTest::newRow("5") << 5u << QByteArray("   5");
    QTest::newRow("15") << 15u << QByteArray("  15");
    QTest::newRow("999") << 999u << QByteArray(" 999");
    QTest::newRow("1000") << 1000u << QByteArray(" ---");
    QTest::newRow("negative as unsigned") << 0xFFFFFFFFu << QByteArray(" ---");
}

void TestQuillScomm::gapText()
{
    QFETCH(uint, gap);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(GapText(gap)), text);
}

void TestQuillScomm::localeTimeSeparator_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("separator");
    QTest::newRow("C") << QStringLiteral("C") << QByteArray(":");
    QTest::newRow("en_US") << QStringLiteral("en_US") << QByteArray(":");
    QTest::newRow("de_DE") << QStringLiteral("de_DE") << QByteArray(":");
    QTest::newRow("fi_FI") << QStringLiteral("fi_FI") << QByteArray(".");
    QTest::newRow("da_DK") << QStringLiteral("da_DK") << QByteArray(".");
}

void TestQuillScomm::localeTimeSeparator()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, separator);
    QCOMPARE(QByteArray::fromStdString(LocaleTimeSeparator(QLocale(locale))), separator);
}

void TestQuillScomm::constructionConfiguresThePort()
{
    TQuillScomm Link;
    TComPort &P = Link.Port;
    QCOMPARE(P.Port(), std::string("Com1"));
    QCOMPARE(P.BaudRate(), br9600);
    QCOMPARE(P.DataBits(), dbEight);
    QCOMPARE(P.StopBits(), sbOneStopBit);
    QCOMPARE(P.Parity().Bits(), prNone);
    QCOMPARE(P.FlowControl().ControlDTR(), dtrEnable);
    QCOMPARE(P.FlowControl().ControlRTS(), rtsEnable);
    QCOMPARE(P.FlowControl().OutCTSFlow(), false);
    QCOMPARE(P.FlowControl().XonXoffIn(), false);
    QCOMPARE(P.Timeouts().ReadInterval(), 100);
    QCOMPARE(P.Timeouts().ReadTotalMultiplier(), 0);
    QCOMPARE(P.Timeouts().ReadTotalConstant(), 100);
    QCOMPARE(P.Timeouts().WriteTotalMultiplier(), 100);
    QCOMPARE(P.Timeouts().WriteTotalConstant(), 1000);
    QCOMPARE(P.Buffer().InputSize(), 1048576);
    QCOMPARE(P.Buffer().OutputSize(), 1048576);
    QVERIFY(P.Events().Empty());
    QVERIFY(!P.Connected());
    QCOMPARE(Link.Separator, std::string(" "));
    QVERIFY(Link.HexReceive && Link.HexSend && Link.Monitoring);
    QVERIFY(!Link.CtsOn && !Link.DsrOn && !Link.RlsdOn);
    QCOMPARE(Link.RxCount.load(), 0u);
    QCOMPARE(Link.TxCount.load(), 0u);
    QCOMPARE(Link.LastLineAt(), 0u);
    QCOMPARE(Link.QueuedLines(), std::size_t(0));
}

// Every failed open shows the fixed first line; the second names the cause in
// the system's words and what to do about it.
void TestQuillScomm::openFailures()
{
    const std::string First = "Open port failure,it may be opened by other procedures.";
    auto Message = [](TQuillScomm &Link) {
        try {
            Link.OpenPort();
        } catch (const ECom &E) {
            return QString::fromLocal8Bit(E.what());
        }
        return QStringLiteral("opened");
    };
    QTemporaryDir Dir;
    const std::string Plain = Dir.filePath(QStringLiteral("file")).toStdString();
    QFile File(QString::fromStdString(Plain));
    QVERIFY(File.open(QIODevice::WriteOnly));
    File.close();
    TSocatPair Pair;
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    TQuillScomm Holder;  // another program holding the port: here, this test
    Holder.Port.SetPort(Pair.Near());
    Holder.OpenPort();
    const std::string Self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15).toStdString();

    struct {
        const char *Name;
        std::string Path;
        std::string Second;
    } Cases[] = {
        {"missing", Dir.filePath(QStringLiteral("missing")).toStdString(),
            std::string(std::strerror(ENOENT)) + ": no such device: check the port name, or plug the device in."},
        {"regular file", Plain,
            std::string(std::strerror(ENOTTY)) + ": the path is not a terminal, so it is no serial port."},
        {"folder", Dir.path().toStdString(),
            std::string(std::strerror(EISDIR)) + ": the path is a folder, not a serial device."},
        // (socat, which holds the cable's ends, is named after this test.)
        {"busy", Pair.Near(),
            std::string(std::strerror(EBUSY)) + ": the port is held by " + Self + " (process " +
                std::to_string(::getpid()) + ")"},
    };
    for (const auto &C : Cases) {
        TQuillScomm Link;
        Link.Port.SetPort(C.Path);
        const QString Got = Message(Link);
        const QString Expected = QString::fromStdString(First + "\n" + C.Second);
        if (C.Second.ends_with('.'))
            QCOMPARE(Got, Expected);
        else
            QVERIFY2(Got.startsWith(Expected) && Got.endsWith(QStringLiteral("; close it there.")), qPrintable(Got));
        QVERIFY2(!Link.Port.Connected(), C.Name);
    }
    QVERIFY(Holder.Port.Connected());

    // Permission denied: root opens anything, so as root the cause is built
    // from the facts the system gives about a file of a group of its own.
    const std::string Denied = Dir.filePath(QStringLiteral("denied")).toStdString();
    QVERIFY(File.copy(QString::fromStdString(Denied)));
    QVERIFY(::chmod(Denied.c_str(), 0) == 0);
    const group *Group = ::getgrnam("dialout");
    if (Group && ::geteuid() == 0)
        QVERIFY(::chown(Denied.c_str(), 0, Group->gr_gid) == 0);
    struct stat St;
    QVERIFY(::stat(Denied.c_str(), &St) == 0);
    const std::string GroupName = ::getgrgid(St.st_gid)->gr_name;
    const std::string Cure = GroupName == "root" ? "ask the administrator for access to the device."
                                                 : "the device belongs to the group '" + GroupName +
            "'; join it with sudo usermod -aG " + GroupName + " $USER, then log in again.";
    if (::geteuid() != 0) {
        TQuillScomm Link;
        Link.Port.SetPort(Denied);
        QCOMPARE(Message(Link), QString::fromStdString(First + "\n" + std::strerror(EACCES) + ": " + Cure));
    } else {
        QCOMPARE(OpenFailureCause(EACCES, GatherOpenFacts(EACCES, Denied)),
            std::string(std::strerror(EACCES)) + ": " + Cure);
    }

    {
        // A setting the device refuses names the step that failed.
        auto State = std::make_shared<TFakeComState>();
        State->LineError = EOPNOTSUPP;
        TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
        QCOMPARE(Message(Link),
            QString::fromStdString(First + "\nSetCommState function failed: " + std::strerror(EOPNOTSUPP) +
                ": the device does not take these settings (handshaking)."));
        QVERIFY(!Link.Port.Connected());
    }
    {
        // Failing late (reading the modem lines at open) leaves it closed.
        auto State = std::make_shared<TFakeComState>();
        State->ModemError = EINVAL;
        TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
        QVERIFY_THROWS_EXCEPTION(ECom, Link.OpenPort());
        QVERIFY(!Link.Port.Connected());
    }
}

void TestQuillScomm::openAndCloseTwiceDoNothing()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    Link.ClosePort();
    Link.OpenPort();
    Link.OpenPort();
    Link.ClosePort();
    Link.ClosePort();
    std::lock_guard<std::mutex> Lock(State->Lock);
    QCOMPARE(State->Opens, 1);
    QCOMPARE(std::count(State->Log.begin(), State->Log.end(), std::string("close")), 1);
}

void TestQuillScomm::burstBecomesOneLine()
{
    TRig Rig;
    OPEN_RIG(Rig);
    const std::string Burst("\x01\x02\x03\x04\x05\x06\x07\x08\x09\xA0", 10);
    QVERIFY(Rig.Pair.WriteFar(Burst));
    const auto Lines = Drain(*Rig.Link, 600);
    QCOMPARE(Lines.size(), std::size_t(1));
    QVERIFY(Lines[0].Ok);
    QCOMPARE(Lines[0].Direction, 'R');
    QCOMPARE(Lines[0].Data, std::string("01 02 03 04 05 06 07 08 09 A0"));
    QCOMPARE(Lines[0].Gap, std::string(" ---"));  // first line since start-up
    // The wall-clock time of day, local time.
    const QString Sep = QString::fromLatin1(LocaleTimeSeparator(QLocale::system()));
    const QTime Shown = QTime::fromString(QString::fromLatin1(Lines[0].Time),
        QStringLiteral("hh") + Sep + QStringLiteral("mm") + Sep + QStringLiteral("ss"));
    QVERIFY(Shown.isValid());
    const int Behind = Shown.secsTo(QTime::currentTime());
    QVERIFY2((Behind >= 0 && Behind < 5) || Behind < -86390, qPrintable(Shown.toString()));
    QCOMPARE(Rig.Link->RxCount.load(), 10u);
}

// Bytes 500 ms apart: one line each, each gap stamped close to the time that
// really passed between the writes (taken here, so a busy machine that delays
// this test's writer does not count against the reader).
void TestQuillScomm::bytesApartGiveOneLineEach()
{
    TRig Rig;
    OPEN_RIG(Rig);
    std::vector<std::chrono::steady_clock::time_point> Written;
    auto Next = std::chrono::steady_clock::now();
    for (char Byte : std::string("abcd")) {
        std::this_thread::sleep_until(Next);
        Written.push_back(std::chrono::steady_clock::now());
        QVERIFY(Rig.Pair.WriteFar(std::string(1, Byte)));
        Next += std::chrono::milliseconds(500);
    }
    const auto Lines = Drain(*Rig.Link, 400);
    QCOMPARE(Lines.size(), std::size_t(4));
    QCOMPARE(Lines[0].Data, std::string("61"));
    QCOMPARE(Lines[3].Data, std::string("64"));
    for (std::size_t I = 1; I < Lines.size(); ++I) {
        const int Gap = GapValue(Lines[I]);
        const auto True = std::chrono::duration_cast<std::chrono::milliseconds>(Written[I] - Written[I - 1]).count();
        QVERIFY2(std::abs(Gap - True) <= 120, qPrintable(QStringLiteral("gap %1, %2 ms apart").arg(Gap).arg(True)));
    }
    QCOMPARE(Rig.Link->RxCount.load(), 4u);
}

void TestQuillScomm::continuousStreamIsCutIntoBlocks()
{
    TRig Rig;
    OPEN_RIG(Rig);
    // One byte every 5 ms for about 700 ms.
    std::string Sent;
    QElapsedTimer Streamed;
    Streamed.start();
    std::thread Writer([&Rig, &Sent] {
        for (int I = 0; I < 140; ++I) {
            const std::string Byte(1, static_cast<char>(I));
            Rig.Pair.WriteFar(Byte);
            Sent += Byte;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    Writer.join();
    const qint64 StreamMs = Streamed.elapsed();
    const auto Lines = Drain(*Rig.Link, 500);
    QVERIFY2(Lines.size() >= 4, qPrintable(QStringLiteral("%1 lines").arg(Lines.size())));
    std::string Joined;
    for (const TParsed &L : Lines) {
        QVERIFY(L.Ok);
        Joined += (Joined.empty() ? "" : " ") + L.Data;
    }
    QCOMPARE(Joined, Hex(Sent));  // nothing lost, nothing twice
    QCOMPARE(Rig.Link->RxCount.load(), 140u);
    // Blocks follow each other: no gap shorter than most of a read time-out
    // (the next block starts after the last was stored), and together they
    // span no more than the stream did.
    int Sum = 0;
    for (std::size_t I = 1; I < Lines.size(); ++I) {
        const int Gap = GapValue(Lines[I]);
        QVERIFY2(Gap >= 60 && Gap < 1000, qPrintable(QStringLiteral("gap %1").arg(Gap)));
        Sum += Gap;
    }
    QVERIFY2(Sum <= StreamMs + 200, qPrintable(QStringLiteral("gaps %1 ms, stream %2 ms").arg(Sum).arg(StreamMs)));
}

void TestQuillScomm::nothingReceivedWhilePausedIsKept()
{
    TRig Rig;
    OPEN_RIG(Rig);
    Rig.Link->Monitoring = false;
    QVERIFY(Rig.Pair.WriteFar("paused"));
    QThread::msleep(400);
    Rig.Link->Monitoring = true;
    QVERIFY(Drain(*Rig.Link, 300).empty());
    QCOMPARE(Rig.Link->RxCount.load(), 0u);
    QVERIFY(Rig.Pair.WriteFar("!"));
    const auto Lines = Drain(*Rig.Link, 400);
    QCOMPARE(Lines.size(), std::size_t(1));
    QCOMPARE(Lines[0].Data, std::string("21"));
    QCOMPARE(Rig.Link->RxCount.load(), 1u);
}

void TestQuillScomm::characterModeKeepsZeroBytes()
{
    TRig Rig;
    OPEN_RIG(Rig);
    Rig.Link->HexReceive = false;
    const std::string Bytes("A\0B\xFF", 4);
    QVERIFY(Rig.Pair.WriteFar(Bytes));
    const auto Lines = Drain(*Rig.Link, 400);
    QCOMPARE(Lines.size(), std::size_t(1));
    QCOMPARE(Lines[0].Data, Bytes);
}

void TestQuillScomm::closeAndReopenResumes()
{
    TRig Rig;
    OPEN_RIG(Rig);
    QVERIFY(Rig.Pair.WriteFar("1"));
    QThread::msleep(400);  // queued, not yet displayed
    Rig.Link->ClosePort();
    Rig.Reader->Park();
    QVERIFY(Rig.Reader->Parked());
    QVERIFY(!Rig.Link->Port.Connected());
    QVERIFY(Rig.Pair.WriteFar("2"));  // while closed: nobody reads it

    Rig.Link->OpenPort();
    Rig.Reader->Release();
    QTRY_VERIFY(!Rig.Reader->Parked());
    QThread::msleep(200);
    QVERIFY(Rig.Pair.WriteFar("3"));
    const auto Lines = Drain(*Rig.Link, 500);
    QVERIFY(!Lines.empty());
    QCOMPARE(Lines.front().Data, std::string("31"));  // queued before the close
    QCOMPARE(Lines.back().Data.substr(Lines.back().Data.size() - 2), std::string("33"));

    // Several cycles in a row keep working.
    for (int Cycle = 0; Cycle < 3; ++Cycle) {
        Rig.Link->ClosePort();
        Rig.Reader->Park();
        QVERIFY(Rig.Reader->Parked());
        Rig.Link->OpenPort();
        Rig.Reader->Release();
    }
    QThread::msleep(100);
    QVERIFY(Rig.Pair.WriteFar("4"));
    const auto After = Drain(*Rig.Link, 500);
    QCOMPARE(After.size(), std::size_t(1));
    QCOMPARE(After[0].Data.substr(After[0].Data.size() - 2), std::string("34"));
}

void TestQuillScomm::modemLinesUpdateFlagsWithoutALine()
{
    auto State = std::make_shared<TFakeComState>();
    State->ModemStatus = MS_DSR_ON;
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    TQuillComThread Reader(Link);
    Link.OpenPort();
    QVERIFY(!Link.CtsOn && Link.DsrOn && !Link.RlsdOn);  // read at open
    Reader.Release();

    State->SetModemStatus(MS_CTS_ON);
    QTRY_VERIFY(Link.CtsOn && !Link.DsrOn && !Link.RlsdOn);
    State->SetModemStatus(MS_CTS_ON | MS_RLSD_ON | MS_RING_ON);
    QTRY_VERIFY(Link.CtsOn && !Link.DsrOn && Link.RlsdOn);
    State->SetModemStatus(MS_DSR_ON);
    QTRY_VERIFY(!Link.CtsOn && Link.DsrOn && !Link.RlsdOn);
    QVERIFY(Drain(Link, 200).empty());

    Link.ClosePort();  // the port clears them
    Reader.Park();
    QVERIFY(!Link.CtsOn && !Link.DsrOn && !Link.RlsdOn);
}

void TestQuillScomm::lockHeldLongKeepsTheBlock()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    TQuillComThread Reader(Link);
    Link.OpenPort();
    Reader.Release();
    {
        const auto Lock = Link.LockQueue();
        State->Feed("kept");
        // Hold on well past the reader's bounded wait once it has the bytes.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&State] {
                std::lock_guard<std::mutex> G(State->Lock);
                return State->Received.empty();
            }(),
            10000);
        QThread::msleep(1000);
        // Nothing more is read while the block waits.
        State->Feed("next");
        QThread::msleep(300);
        std::lock_guard<std::mutex> G(State->Lock);
        QCOMPARE(State->Received.size(), std::size_t(4));
    }
    std::vector<TParsed> Lines = Drain(Link, 500);
    QVERIFY(!Lines.empty());
    std::string Data;
    for (const TParsed &L : Lines)
        Data += L.Data;
    QCOMPARE(Data, Hex("kept") + Hex("next"));
    QCOMPARE(Link.RxCount.load(), 8u);
}

// A full queue holds the block read; closing the port queues it over the
// bound, ahead of anything a later open brings.
void TestQuillScomm::blockWaitingForRoomIsQueuedAtClose()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    Link.SetQueueBound(1);
    QVERIFY(Link.QueueLine("--- first ---"));
    TQuillComThread Reader(Link);
    Link.OpenPort();
    Reader.Release();
    State->Feed("held");
    QTRY_VERIFY([&State] {
        std::lock_guard<std::mutex> G(State->Lock);
        return State->Received.empty();
    }());
    QThread::msleep(200);
    QCOMPARE(Link.QueuedLines(), std::size_t(1));
    QCOMPARE(Link.RxCount.load(), 0u);

    Link.ClosePort();
    Reader.Park();
    QVERIFY(Reader.Parked());
    QCOMPARE(Link.RxCount.load(), 4u);
    QCOMPARE(Link.FetchLine(), std::string("--- first ---"));
    const TParsed Held = ParseLine(Link.FetchLine());
    QVERIFY(Held.Ok);
    QCOMPARE(Held.Data, Hex("held"));
}

// A separator that makes the head longer than any fixed buffer: received
// and sent lines carry the whole head, and the data right after it.
void TestQuillScomm::longTimeSeparatorMakesAWholeHead()
{
    TSocatPair Pair;
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    const std::string Sep = " o'clock and some minutes, then seconds: ";
    TQuillScomm Link(nullptr, Sep);
    Link.Port.SetPort(Pair.Near());
    Link.OpenPort();
    TQuillComThread Reader(Link);
    Reader.Release();
    QVERIFY(Pair.WriteFar("AB"));
    std::string Received;
    QElapsedTimer Waited;
    Waited.start();
    while (Received.empty() && Waited.elapsed() < 5000) {
        Received = Link.FetchLine();
        QThread::msleep(1);
    }
    Link.SendData("01 02");
    QVERIFY(WaitSent(Link));
    const std::string Sent = Link.FetchLine();

    const std::size_t Head = 13 + 2 * Sep.size();
    for (const auto &[Line, Direction, Data] :
        {std::tuple(Received, 'R', std::string("41 42")), std::tuple(Sent, 'T', std::string("01 02 "))}) {
        QCOMPARE(Line.size(), Head + Data.size());
        QCOMPARE(Line.substr(0, 2), std::string(1, Direction) + "[");
        const std::string Time = Line.substr(2, 6 + 2 * Sep.size());
        QCOMPARE(Time.substr(2, Sep.size()), Sep);
        QCOMPARE(Time.substr(4 + Sep.size(), Sep.size()), Sep);
        for (std::size_t At : {std::size_t(0), 2 + Sep.size(), 4 + 2 * Sep.size()})
            QVERIFY(std::isdigit(static_cast<unsigned char>(Time[At])) &&
                std::isdigit(static_cast<unsigned char>(Time[At + 1])));
        QCOMPARE(Line[Head - 5], ' ');  // the gap field
        QCOMPARE(Line[Head - 1], ']');
        QCOMPARE(Line.substr(Head), Data);
    }
}

void TestQuillScomm::receiveCounterWraps()
{
    TRig Rig;
    OPEN_RIG(Rig);
    Rig.Link->RxCount = 0xFFFFFFFEu;
    QVERIFY(Rig.Pair.WriteFar("wrap"));
    QCOMPARE(Drain(*Rig.Link, 400).size(), std::size_t(1));
    QCOMPARE(Rig.Link->RxCount.load(), 2u);
}

void TestQuillScomm::sendData_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("echo");
    QTest::newRow("hex") << true << QByteArray("01 03 00 00 00 0a") << QByteArray("\x01\x03\x00\x00\x00\x0A", 6)
                         << QByteArray("01 03 00 00 00 0A ");
    QTest::newRow("hex across line break")
        << true << QByteArray("0102\r\n0304") << QByteArray("\x01\x02\x03\x04") << QByteArray("01 02 03 04 ");
    QTest::newRow("characters with line break")
        << false << QByteArray("ab\r\ncd") << QByteArray("ab\r\ncd") << QByteArray("ab\r\ncd");
    QTest::newRow("characters with zero byte")
        << false << QByteArray("a\0b", 3) << QByteArray("a\0b", 3) << QByteArray("a\0b", 3);
}

void TestQuillScomm::sendData()
{
    QFETCH(bool, hex);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, echo);
    TRig Rig;
    OPEN_RIG(Rig);
    Rig.Link->HexSend = hex;
    Rig.Link->SendData(text.toStdString());
    QCOMPARE(QByteArray::fromStdString(Rig.Pair.ReadFar(std::size_t(wire.size()), 3000)), wire);
    QVERIFY(WaitSent(*Rig.Link));
    QCOMPARE(Rig.Link->TxCount.load(), uint32_t(wire.size()));
    const auto Lines = Drain(*Rig.Link, 200);
    QCOMPARE(Lines.size(), std::size_t(1));
    QVERIFY(Lines[0].Ok);
    QCOMPARE(Lines[0].Direction, 'T');
    QCOMPARE(QByteArray::fromStdString(Lines[0].Data), echo);

    // An empty text does nothing at all.
    Rig.Link->SendData(std::string());
    QCOMPARE(Rig.Link->TxCount.load(), uint32_t(wire.size()));
    QVERIFY(Drain(*Rig.Link, 100).empty());
    QVERIFY(Rig.Pair.ReadFar(1, 200).empty());
}

void TestQuillScomm::sendMalformedHexChangesNothing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("odd") << QByteArray("123");
    QTest::newRow("non-digit") << QByteArray("0G");
    QTest::newRow("tab inside") << QByteArray("12\t34");
    QTest::newRow("blank") << QByteArray("  ");
}

void TestQuillScomm::sendMalformedHexChangesNothing()
{
    QFETCH(QByteArray, text);
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    Link.OpenPort();
    Link.TxCount = 7;
    try {
        Link.SendData(text.toStdString());
        QFAIL("malformed hex was sent");
    } catch (const ECom &E) {
        QCOMPARE(QString::fromLatin1(E.what()), QStringLiteral("The sending data is not hexadecimal format."));
    }
    QCOMPARE(Link.TxCount.load(), 7u);
    QVERIFY(Link.FetchLine().empty());
    std::lock_guard<std::mutex> Lock(State->Lock);
    QVERIFY(State->Sent.empty());
}

void TestQuillScomm::sendWhilePausedCountsButQueuesNothing()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    Link.OpenPort();
    Link.Monitoring = false;
    Link.TxCount = 0xFFFFFFFFu;
    Link.SendData("AA BB");
    QVERIFY(WaitSent(Link));
    QCOMPARE(Link.TxCount.load(), 1u);  // wrapped
    QVERIFY(Link.FetchLine().empty());
    std::lock_guard<std::mutex> Lock(State->Lock);
    QCOMPARE(State->Sent, std::string("\xAA\xBB"));
}

void TestQuillScomm::sendGapRule()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    Link.OpenPort();
    TFakeClock Clock(123456);
    auto GapOfSend = [&Link](uint32_t Now) {
        FakeNow = Now;
        Link.SendData("00");
        WaitSent(Link);
        return ParseLine(Link.FetchLine()).Gap;
    };
    QCOMPARE(GapOfSend(123456), std::string(" ---"));  // LastLineTime starts at 0
    QCOMPARE(Link.LastLineAt(), 123456u);
    QCOMPARE(GapOfSend(123456 + 50), std::string("  50"));
    QCOMPARE(GapOfSend(123506 + 999), std::string(" 999"));
    QCOMPARE(GapOfSend(124505 + 2000), std::string(" ---"));
    QCOMPARE(GapOfSend(126505 - 1), std::string(" ---"));  // "negative": unsigned
    // Across the 32-bit wrap the difference still counts.
    (void)GapOfSend(0xFFFFFFF0u);
    QCOMPARE(GapOfSend(0x00000010u), std::string("  32"));
}

void TestQuillScomm::sendGapsOnTheRealClock()
{
    TRig Rig;
    OPEN_RIG(Rig);
    Rig.Link->SendData("01");
    QThread::msleep(50);
    Rig.Link->SendData("02");
    const auto Lines = Drain(*Rig.Link, 200);
    QCOMPARE(Lines.size(), std::size_t(2));
    const int Gap = GapValue(Lines[1]);
    QVERIFY2(Gap >= 45 && Gap <= 250, qPrintable(QStringLiteral("gap %1").arg(Gap)));
}

void TestQuillScomm::sendOnClosedPortPassesThePortError()
{
    TQuillScomm Link;
    QVERIFY_THROWS_EXCEPTION(EComPort, Link.SendData("01"));
    QCOMPARE(Link.TxCount.load(), 0u);
    QVERIFY(Link.FetchLine().empty());
}

void TestQuillScomm::sendEchoDroppedWhenLockIsHeld()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    Link.OpenPort();
    std::atomic<bool> Held {false}, Done {false};
    std::thread Holder([&] {
        const auto Lock = Link.LockQueue();
        Held = true;
        while (!Done)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    while (!Held)
        QThread::msleep(1);
    // The writer waits for the lock, not the caller.
    QElapsedTimer Waited;
    Waited.start();
    Link.SendData("01 02");
    QVERIFY(WaitSent(Link));
    const qint64 Ms = Waited.elapsed();
    Done = true;
    Holder.join();
    QVERIFY2(Ms >= 150 && Ms < 2000, qPrintable(QStringLiteral("%1 ms").arg(Ms)));
    QCOMPARE(Link.TxCount.load(), 2u);  // sent and counted
    QVERIFY(Link.FetchLine().empty());  // echo dropped
}

void TestQuillScomm::fetchLineEmptyAndBounded()
{
    TQuillScomm Link;
    QVERIFY(Link.FetchLine().empty());
    QVERIFY(Link.QueueLine("R[00:00:00 ---]01"));
    std::atomic<bool> Held {false}, Done {false};
    std::thread Holder([&] {
        const auto Lock = Link.LockQueue();
        Held = true;
        while (!Done)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    while (!Held)
        QThread::msleep(1);
    QElapsedTimer Waited;
    Waited.start();
    QVERIFY(Link.FetchLine().empty());
    const qint64 Ms = Waited.elapsed();
    Done = true;
    Holder.join();
    QVERIFY2(Ms >= 150 && Ms < 2000, qPrintable(QStringLiteral("%1 ms").arg(Ms)));
    QCOMPARE(Link.FetchLine(), std::string("R[00:00:00 ---]01"));  // left in place
    QVERIFY(Link.FetchLine().empty());
}

namespace {

// A link with its reader on a pseudo-terminal that nobody drains.
struct TStuckRig {
    TUndrainedPty Pty;
    std::unique_ptr<TQuillScomm> Link;
    std::unique_ptr<TQuillComThread> Reader;

    bool Open()
    {
        if (!Pty.Ready())
            return false;
        Link = std::make_unique<TQuillScomm>();
        Link->Port.SetPort(Pty.Path());
        Link->OpenPort();
        Reader = std::make_unique<TQuillComThread>(*Link);
        Reader->Release();
        return true;
    }
    ~TStuckRig()
    {
        Reader.reset();
        Link.reset();
    }
};

// A hex line of Count bytes of Byte, as typed into the send view.
std::string HexLine(std::size_t Count, const char *Byte = "55")
{
    std::string Text;
    Text.reserve(Count * 3);
    for (std::size_t I = 0; I < Count; ++I) {
        Text += Byte;
        Text += ' ';
    }
    return Text;
}

// The kernel's buffer holds a few kilobytes; this many stay stuck.
constexpr std::size_t StuckSize = 65536;

}  // namespace

#define OPEN_STUCK(Rig) QVERIFY2((Rig).Open(), "no pseudo-terminal")

void TestQuillScomm::stuckWriteLeavesTheCallerFreeUntilClosed()
{
    TStuckRig Rig;
    OPEN_STUCK(Rig);
    TQuillScomm &Link = *Rig.Link;
    // The link's own time-outs: this write could take 1.8 hours.
    Link.SendData(HexLine(StuckSize));
    QVERIFY(Link.Sending());

    // The port still receives while its write is stuck.
    QVERIFY(Rig.Pty.Write("\x42\x43"));
    std::vector<TParsed> Lines = Drain(Link, 300);
    QCOMPARE(Lines.size(), std::size_t(1));
    QCOMPARE(Lines[0].Direction, 'R');
    QCOMPARE(Lines[0].Data, std::string("42 43"));
    QVERIFY(Link.Sending());
    QCOMPARE(Link.TxCount.load(), 0u);

    // A second send waits its turn.
    Link.SendData("01");
    QVERIFY(Link.Sending());

    // Closing ends the write and drops what waits: nothing is counted or
    // echoed, and no failure is told for a write the user ended.
    Link.ClosePort();
    Rig.Reader->Park();
    QVERIFY(!Link.Sending());
    QCOMPARE(Link.TxCount.load(), 0u);
    QVERIFY(Drain(Link, 200).empty());
    QVERIFY(Link.TakeSendFailure().empty());

    // Nothing handed over before the close reaches the port opened again.
    Rig.Pty.Read(2 * StuckSize, 200);
    Link.OpenPort();
    Rig.Reader->Release();
    Link.SendData("7E");
    QVERIFY(WaitSent(Link));
    QCOMPARE(Rig.Pty.Read(2, 500), std::string("\x7E"));
    QCOMPARE(Link.TxCount.load(), 1u);
    Lines = Drain(Link, 200);
    QCOMPARE(Lines.size(), std::size_t(1));
    QCOMPARE(Lines[0].Data, std::string("7E "));
}

void TestQuillScomm::stuckWriteEndsWithTheLink()
{
    // The end of the program must not wait for a write the device never
    // takes, nor for the frames behind it.
    TStuckRig Rig;
    OPEN_STUCK(Rig);
    Rig.Link->SendData(HexLine(StuckSize));
    Rig.Link->SendData("01");
    QVERIFY(Rig.Link->Sending());
    Rig.Reader.reset();
    Rig.Link.reset();
}

void TestQuillScomm::waitingSendsGoOutWholeAndInOrder()
{
    TStuckRig Rig;
    OPEN_STUCK(Rig);
    TQuillScomm &Link = *Rig.Link;
    // The first frame fills the buffer; two more queue behind it, one in
    // character mode.
    Link.SendData(HexLine(20000, "11"));
    Link.SendData("22 22 22");
    Link.HexSend = false;
    Link.SendData(std::string(5000, '3'));
    QVERIFY(Link.Sending());

    const std::string Want = std::string(20000, '\x11') + std::string(3, '\x22') + std::string(5000, '3');
    const std::string Got = Rig.Pty.Read(Want.size(), 2000);
    QCOMPARE(Got.size(), Want.size());
    QVERIFY(Got == Want);
    QVERIFY(Rig.Pty.Read(1, 200).empty());
    QVERIFY(WaitSent(Link));
    QCOMPARE(Link.TxCount.load(), uint32_t(Want.size()));
    const std::vector<TParsed> Lines = Drain(Link, 200);
    QCOMPARE(Lines.size(), std::size_t(3));
    QCOMPARE(Lines[0].Data, HexLine(20000, "11"));
    QCOMPARE(Lines[1].Data, std::string("22 22 22 "));
    QCOMPARE(Lines[2].Data, std::string(5000, '3'));
    for (const TParsed &L : Lines)
        QCOMPARE(L.Direction, 'T');
}

void TestQuillScomm::backlogIsBounded_data()
{
    // Frames (character mode) waiting behind a stuck one, then the next.
    QTest::addColumn<QList<int>>("waiting");
    QTest::addColumn<int>("next");
    QTest::addColumn<bool>("taken");
    const int Frames = int(TQuillScomm::MaxWaitingFrames);
    const int Bytes = int(TQuillScomm::MaxWaitingBytes);
    QTest::newRow("frames full") << QList<int>(Frames, 1) << 1 << false;
    QTest::newRow("one frame less") << QList<int>(Frames - 1, 1) << 1 << true;
    QTest::newRow("bytes full") << QList<int> {Bytes - 1} << 2 << false;
    QTest::newRow("bytes just fit") << QList<int> {Bytes - 1} << 1 << true;
    QTest::newRow("big frame, nothing waits") << QList<int> {} << 2 * Bytes << true;
}

void TestQuillScomm::backlogIsBounded()
{
    QFETCH(QList<int>, waiting);
    QFETCH(int, next);
    QFETCH(bool, taken);
    TStuckRig Rig;
    OPEN_STUCK(Rig);
    TQuillScomm &Link = *Rig.Link;
    Link.SendData(HexLine(StuckSize));
    QVERIFY(Rig.Pty.WaitWritten());  // the writer holds it: it waits no more
    Link.HexSend = false;
    for (int Size : waiting)
        Link.SendData(std::string(std::size_t(Size), 'w'));
    try {
        Link.SendData(std::string(std::size_t(next), 'n'));
        QVERIFY2(taken, "a send beyond the bound was taken");
    } catch (const ESendBusy &E) {
        QVERIFY2(!taken, "a send within the bound was refused");
        QVERIFY(QString::fromLatin1(E.what()).startsWith(
            QStringLiteral("The port is still sending what was sent before; this line was not sent.")));
    }
    Link.ClosePort();
    Rig.Reader->Park();
    QVERIFY(!Link.Sending());
    QCOMPARE(Link.TxCount.load(), 0u);
}

void TestQuillScomm::failedWriteIsToldOnceAndDropsWhatWaits()
{
    // The device vanishes while a write is stuck and two frames wait.
    TUndrainedPty Pty;
    QVERIFY(Pty.Ready());
    TQuillScomm Link;
    Link.Port.SetPort(Pty.Path());
    Link.OpenPort();
    std::atomic<int> Told {0};
    Link.SetSendFailedHandler([&Told] { ++Told; });
    Link.SendData(HexLine(StuckSize));
    Link.SendData("01");
    Link.SendData("02");
    QVERIFY(Link.Sending());
    Pty.CloseMaster();

    QVERIFY(WaitSent(Link));
    QTRY_COMPARE(Told.load(), 1);
    const std::string Failure = Link.TakeSendFailure();
    QCOMPARE(Failure, std::string(EComPort(CError_WriteFailed, EIO).what()));
    QVERIFY(Link.TakeSendFailure().empty());
    QCOMPARE(Link.TxCount.load(), 0u);
    QVERIFY(Link.FetchLine().empty());

    // The next send fails on its own and is told on its own.
    Link.SendData("03");
    QVERIFY(WaitSent(Link));
    QTRY_COMPARE(Told.load(), 2);
    QCOMPARE(Link.TakeSendFailure(), Failure);
    Link.SetSendFailedHandler(nullptr);
}

void TestQuillScomm::vanishedDeviceIsReportedWithoutSpinning()
{
    TRig Rig;
    OPEN_RIG(Rig);
    QVERIFY(Rig.Pair.WriteFar("x"));
    QCOMPARE(Drain(*Rig.Link, 300).size(), std::size_t(1));

    Rig.Pair.Stop();  // the far end goes away, as on an unplug
    QTRY_VERIFY_WITH_TIMEOUT(Rig.Link->DeviceGone(), 5000);
    // From now on the reader must neither spin nor queue anything.
    const double CpuBefore = ProcessCpuSeconds();
    QThread::msleep(1000);
    const double CpuUsed = ProcessCpuSeconds() - CpuBefore;
    QVERIFY2(CpuUsed < 0.2, qPrintable(QStringLiteral("%1 s of CPU in 1 s").arg(CpuUsed)));
    QVERIFY(Drain(*Rig.Link, 100).empty());

    // The main window closes the port and parks the reader.
    Rig.Link->ClosePort();
    Rig.Reader->Park();
    QVERIFY(Rig.Reader->Parked());
    QVERIFY_THROWS_EXCEPTION(ECom, Rig.Link->OpenPort());
}

void TestQuillScomm::vanishedFakeDeviceIsReported()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    TQuillComThread Reader(Link);
    Link.OpenPort();
    Reader.Release();
    State->Feed("ok");
    QTRY_COMPARE(Link.RxCount.load(), 2u);
    State->Vanish(EIO);
    QTRY_VERIFY(Link.DeviceGone());
    QVERIFY(Drain(Link, 300).size() == 1);  // the line from before, nothing else
    Link.ClosePort();
    Reader.Park();
    QVERIFY(Reader.Parked());
    // A new open starts clean.
    Link.OpenPort();
    QVERIFY(!Link.DeviceGone());
    Reader.Release();
    State->Feed("again");
    QTRY_COMPARE(Link.RxCount.load(), 7u);
}

// Bytes must be stamped when they come, also while other programs keep every
// core busy: the reader runs at the normal policy, not only when idle.
void TestQuillScomm::readerRunsAtNormalPolicy()
{
    // Created from a thread at the idle policy, it still runs at the normal one.
    std::unique_ptr<TQuillComThread> Reader;
    TQuillScomm Link;
    std::thread Creator([&] {
        sched_param Idle {};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &Idle);
        Reader = std::make_unique<TQuillComThread>(Link);
    });
    Creator.join();
    QTRY_VERIFY(Reader->Parked());
    int Policy = -1;
    sched_param Param {};
    QCOMPARE(pthread_getschedparam(Reader->NativeHandle(), &Policy, &Param), 0);
    QCOMPARE(Policy, SCHED_OTHER);
}

void TestQuillScomm::readerStopsPromptly()
{
    // Released, port open, waiting for data: the end of the program must not
    // wait for a byte that never comes.
    TSocatPair Pair;
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    TQuillScomm Link;
    Link.Port.SetPort(Pair.Near());
    Link.OpenPort();
    auto Reader = std::make_unique<TQuillComThread>(Link);
    Reader->Release();
    QThread::msleep(200);
    QElapsedTimer Waited;
    Waited.start();
    Reader.reset();
    QVERIFY2(Waited.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(Waited.elapsed())));

    // Parked, as after start-up.
    Reader = std::make_unique<TQuillComThread>(Link);
    Waited.restart();
    Reader.reset();
    QVERIFY(Waited.elapsed() < 1000);
}

// With no descriptor left for its wake-up, the reader still stops at exit
// (it waits in slices) and still receives meanwhile.
void TestQuillScomm::readerStopsWithoutWakeDescriptor()
{
    TRig Rig;
    QVERIFY2(Rig.Pair.Start(), qPrintable(Rig.Pair.Error));
    TQuillScomm Link;
    Link.Port.SetPort(Rig.Pair.Near());
    Link.OpenPort();
    const int Lowest = ::dup(0);
    QVERIFY(Lowest >= 0);
    ::close(Lowest);
    rlimit Old {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &Old), 0);
    rlimit Tight = Old;
    Tight.rlim_cur = rlim_t(Lowest);  // no eventfd, no pipe
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &Tight), 0);
    auto Reader = std::make_unique<TQuillComThread>(Link);
    ::setrlimit(RLIMIT_NOFILE, &Old);
    Reader->Release();
    QVERIFY(Rig.Pair.WriteFar("z"));
    QTRY_COMPARE(Link.RxCount.load(), 1u);
    auto Stopped = std::async(std::launch::async, [&Reader] { Reader.reset(); });
    QVERIFY2(Stopped.wait_for(std::chrono::seconds(10)) == std::future_status::ready, "the reader did not stop");
}

QTEST_GUILESS_MAIN(TestQuillScomm)
#include "tst_quillscomm.moc"
