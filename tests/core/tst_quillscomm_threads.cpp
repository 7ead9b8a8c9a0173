// The link shared by the reader thread and the UI thread: queue, lock,
// counters and flags under concurrent use, run under ThreadSanitizer too.
// Checks that nothing is lost or counted twice while both sides are busy.
#include "FakeComDevice.h"
#include "QuillScomm.h"
#include "SocatPair.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

std::size_t HeadLength()
{
    return 13 + 2 * LocaleTimeSeparator(QLocale::system()).size();
}

// Number of bytes a hex R line carries ("01 02 03" is 3).
std::size_t HexLineBytes(const std::string &Line)
{
    const std::size_t Data = Line.size() - HeadLength();
    return Data == 0 ? 0 : (Data + 1) / 3;
}

}  // namespace

class TestQuillScommThreads : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void streamWhileSendingAndFetching();
    void openCloseCyclesWhileStreaming();
    void queueContention();
    void heldInterfaceStopsTheReaderAndLosesNothing();
};

// A device streams while the UI side fetches, sends, reads the counters and
// flips the options: every received byte shows up once and is counted once.
void TestQuillScommThreads::streamWhileSendingAndFetching()
{
    TSocatPair Pair;
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    TQuillScomm Link;
    Link.Port.SetPort(Pair.Near());
    Link.OpenPort();
    TQuillComThread Reader(Link);
    Reader.Release();

    constexpr int Chunks = 60;
    constexpr std::size_t ChunkSize = 500;
    std::atomic<bool> Written {false};
    std::thread Device([&] {
        for (int I = 0; I < Chunks; ++I) {
            Pair.WriteFar(std::string(ChunkSize, static_cast<char>('A' + I % 26)));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Written = true;
    });

    std::size_t RBytes = 0;
    int TLines = 0, Sends = 0;
    QElapsedTimer Quiet;
    Quiet.start();
    while (!Written || Quiet.elapsed() < 500) {
        const std::string Line = Link.FetchLine();
        if (!Line.empty()) {
            Quiet.restart();
            if (Line[0] == 'R')
                RBytes += HexLineBytes(Line);
            else
                ++TLines;
        }
        if (Sends < 50) {
            Link.SendData(Sends % 2 ? "55 AA" : "01");
            ++Sends;
        }
        // What the status bar does every tick.
        (void)Link.RxCount.load();
        (void)Link.TxCount.load();
        (void)(Link.CtsOn || Link.DsrOn || Link.RlsdOn);
        Link.HexSend = true;
        QThread::msleep(1);
    }
    Device.join();
    QCOMPARE(RBytes, std::size_t(Chunks) * ChunkSize);
    QCOMPARE(Link.RxCount.load(), uint32_t(Chunks * ChunkSize));
    QCOMPARE(TLines, Sends);
}

// Open, close, park and release over and over while bytes keep coming and
// the UI keeps fetching; pausing and the counter reset race the reader.
void TestQuillScommThreads::openCloseCyclesWhileStreaming()
{
    TSocatPair Pair;
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    TQuillScomm Link;
    Link.Port.SetPort(Pair.Near());
    TQuillComThread Reader(Link);

    std::atomic<bool> Stop {false};
    std::thread Device([&] {
        while (!Stop) {
            Pair.WriteFar("0123456789");
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    for (int Cycle = 0; Cycle < 12; ++Cycle) {
        Link.OpenPort();
        Reader.Release();
        for (int Tick = 0; Tick < 40; ++Tick) {
            (void)Link.FetchLine();
            if (Tick == 10)
                Link.Monitoring = false;
            if (Tick == 20) {
                Link.Monitoring = true;
                Link.RxCount = 0;
            }
            Link.HexReceive = (Tick % 2) == 0;
            QThread::msleep(2);
        }
        Link.ClosePort();
        Reader.Park();
        QVERIFY(Reader.Parked());
    }
    Stop = true;
    Device.join();
    QVERIFY(!Link.DeviceGone());
    QVERIFY(!Link.CtsOn && !Link.DsrOn && !Link.RlsdOn);
}

// Blocks queued from another thread race the UI's fetches and sends on the
// one lock; every line comes out once and in order of queueing per side.
void TestQuillScommThreads::queueContention()
{
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
    Link.OpenPort();
    constexpr int Blocks = 2000;
    constexpr int Sends = 200;
    std::atomic<int> Queued {0};
    std::atomic<bool> Done {false};
    std::thread Producer([&] {
        // Each block carries its number, two bytes big-endian.
        for (int I = 0; I < Blocks; ++I) {
            const uint8_t Number[2] = {uint8_t(I >> 8), uint8_t(I & 0xFF)};
            if (Link.QueueReceived(Number, 2, 0) == TQuillScomm::TQueued::Yes)
                ++Queued;
        }
        Done = true;
    });
    std::vector<int> Received, Echoed;
    int Sent = 0;
    char Hex[8];
    for (;;) {
        if (Sent < Sends) {
            std::snprintf(Hex, sizeof Hex, "%02X %02X", Sent >> 8, Sent & 0xFF);
            Link.SendData(Hex);
            ++Sent;
        }
        const std::string Line = Link.FetchLine();
        if (!Line.empty()) {
            // "XX YY" after the head: the number again.
            const int Number = std::stoi(Line.substr(HeadLength(), 2), nullptr, 16) * 256 +
                std::stoi(Line.substr(HeadLength() + 3, 2), nullptr, 16);
            (Line[0] == 'R' ? Received : Echoed).push_back(Number);
        }
        if (Done && int(Received.size() + Echoed.size()) == Queued + Sent)
            break;
    }
    Producer.join();
    QCOMPARE(Queued.load(), Blocks);  // nobody held the lock for 200 ms
    QCOMPARE(int(Received.size()), Blocks);
    QCOMPARE(int(Echoed.size()), Sends);
    for (int I = 0; I < Blocks; ++I)
        QVERIFY2(Received[std::size_t(I)] == I,
            qPrintable(QStringLiteral("block %1 came out as %2").arg(I).arg(Received[std::size_t(I)])));
    for (int I = 0; I < Sends; ++I)
        QVERIFY2(Echoed[std::size_t(I)] == I,
            qPrintable(QStringLiteral("send %1 came out as %2").arg(I).arg(Echoed[std::size_t(I)])));
    QCOMPARE(Link.RxCount.load(), uint32_t(2 * Blocks));
    QCOMPARE(Link.TxCount.load(), uint32_t(2 * Sends));
}

// The interface side takes nothing while the device sends several times
// what the queue may hold: the queue stays within its bound (the rest waits
// in the kernel and at the far end), and once lines are taken again every
// byte comes out, once and in order.
void TestQuillScommThreads::heldInterfaceStopsTheReaderAndLosesNothing()
{
    TSocatPair Pair;
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    TQuillScomm Link;
    // Character lines carry the bytes as they are; the bound holds the
    // largest line (one read) twice.
    Link.HexReceive = false;
    constexpr std::size_t Bound = 2 * TQuillComThread::ReadBufferSize + 64;
    Link.SetQueueBound(Bound);
    Link.Port.SetPort(Pair.Near());
    Link.OpenPort();
    TQuillComThread Reader(Link);
    Reader.Release();

    std::string Sent(6 << 20, '\0');
    uint32_t Seed = 12345;
    for (char &C : Sent) {
        Seed = Seed * 1103515245u + 12345u;
        C = static_cast<char>(Seed >> 24);
    }
    std::atomic<bool> Written {false};
    std::thread Device([&] { Written = Pair.WriteFar(Sent, 120000); });
    // A failed check ends the far end's write by pulling the cable.
    struct TJoin {
        std::thread &Thread;
        TSocatPair &Pair;
        ~TJoin()
        {
            if (Thread.joinable()) {
                Pair.Stop();
                Thread.join();
            }
        }
    } Join {Device, Pair};

    // Held until the queue stops growing, then a while longer.
    std::size_t Peak = 0, Last = 0;
    QElapsedTimer Steady, Total;
    Steady.start();
    Total.start();
    while (Steady.elapsed() < 1500 && Total.elapsed() < 60000) {
        const std::size_t Now = Link.QueuedBytes();
        Peak = std::max(Peak, Now);
        if (Now != Last)
            Steady.restart();
        Last = Now;
        QThread::msleep(10);
    }
    QVERIFY2(Peak <= Bound, qPrintable(QStringLiteral("%1 bytes queued, bound %2").arg(Peak).arg(Bound)));
    QVERIFY(Peak > Bound / 2);
    QVERIFY(!Written);  // the rest waits outside the program

    std::string Got;
    QElapsedTimer Quiet;
    Quiet.start();
    while (Got.size() < Sent.size() && Quiet.elapsed() < 5000) {
        const std::string Line = Link.FetchLine();
        if (Line.empty()) {
            QThread::msleep(1);
            continue;
        }
        QCOMPARE(Line[0], 'R');
        Got.append(Line, HeadLength());
        Peak = std::max(Peak, Link.QueuedBytes());
        Quiet.restart();
    }
    Device.join();
    QVERIFY(Written);
    QCOMPARE(Got.size(), Sent.size());
    QVERIFY2(Got == Sent, "the bytes came out changed or out of order");
    QCOMPARE(Link.RxCount.load(), uint32_t(Sent.size()));
    QVERIFY(Peak <= Bound);
}

QTEST_GUILESS_MAIN(TestQuillScommThreads)
#include "tst_quillscomm_threads.moc"
