// The reader thread's one path into Qt: a queued line wakes the display on
// the thread of its QObject (as the data runtime does), with the real link,
// the real reader and a socat cable. Run under ThreadSanitizer too, which
// the widget tests are not.
#include "DisplayWake.h"
#include "QuillScomm.h"
#include "SocatPair.h"

#include <QCoreApplication>
#include <QLocale>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

class TestDisplayWake : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesWakeTheDisplayThread();
};

// Every received byte reaches the display through wake-ups alone (nothing
// polls the queue), on the display's thread.
void TestDisplayWake::linesWakeTheDisplayThread()
{
    TSocatPair Pair;
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    TQuillScomm Link;
    Link.Port.SetPort(Pair.Near());
    Link.OpenPort();

    QObject Display;
    const std::size_t Head = 13 + 2 * LocaleTimeSeparator(QLocale::system()).size();
    std::size_t Bytes = 0, Lines = 0;
    int Wakes = 0;
    bool OnDisplayThread = true;
    TDisplayWake Wake(&Display, [&] {
        ++Wakes;
        OnDisplayThread = OnDisplayThread && QThread::currentThread() == Display.thread();
        for (std::string Line = Link.FetchLine(); !Line.empty(); Line = Link.FetchLine()) {
            ++Lines;
            Bytes += (Line.size() - Head + 1) / 3;
        }
    });
    Link.SetLineQueuedHandler([&Wake] { Wake.Post(); });
    TQuillComThread Reader(Link);
    Reader.Release();

    constexpr int Chunks = 40;
    constexpr std::size_t ChunkSize = 300;
    std::thread Device([&Pair] {
        for (int I = 0; I < Chunks; ++I) {
            Pair.WriteFar(std::string(ChunkSize, static_cast<char>(I)));
            std::this_thread::sleep_for(std::chrono::milliseconds(I % 4 == 0 ? 150 : 2));
        }
    });
    QTRY_COMPARE_WITH_TIMEOUT(Bytes, std::size_t(Chunks) * ChunkSize, 30000);
    Device.join();
    // A send's echo wakes it too, from this thread.
    Link.SendData("01 02");
    QTRY_COMPARE(Bytes, std::size_t(Chunks) * ChunkSize + 2);
    Link.SetLineQueuedHandler(nullptr);
    Link.ClosePort();
    Reader.Park();
    QVERIFY(OnDisplayThread);
    QVERIFY(Wakes >= 2 && Lines >= 2);
    QCOMPARE(Link.RxCount.load(), uint32_t(Chunks * ChunkSize));
}

QTEST_GUILESS_MAIN(TestDisplayWake)
#include "tst_displaywake.moc"
