// End to end, from a pseudo-terminal to the receive view: the program's own
// window, shown (run it under Xvfb, see run-e2e.sh), opens one end of a socat
// pair through its own open command; a writer thread feeds the other end.
// Hex display, default options.
//
// For one workload per run it prints the bytes written and the bytes the
// receive view shows (they must match), the event loop's stalls seen by a
// probe timer (p50, p99, max), CPU seconds per MB (the process, less the
// writer thread), resident memory at the end, and the same workload read by
// a plain loop that formats every byte as "XX " (the floor), measured in the
// same process before the window exists.
//
//   E2EBench --workload a|b|c|d|e [--quick] [--target mainform|pipeline] [--probe ms]
//            [--wrap on|off] [--screenshot file.png]
//
// Workloads: (a) 11.5 KB/s paced for 30 s; (b) 1 MB/s paced for 20 s; (c) a
// 20 MiB burst as fast as the device takes it; (d) an 8-byte frame every
// 10 ms for 30 s; (e) the port open and idle for 30 s. --quick shortens
// every run to 3 s and the burst to 2 MiB. The probe fires every 5 ms under
// the heavy loads (b, c), every 20 ms under the light ones (a, d) and every
// 100 ms idle (e), so that its own wake-ups do not swamp the CPU figure it
// sits beside (at 5 ms they would be a third of what (d) measures), unless
// --probe says otherwise. --screenshot saves the window as it is at the end.
// --wrap on runs with the receive view's word wrap on (set through the
// program's own command).
//
// What is drawn is checked on the screen: twice while the stream arrives (at
// a third and two thirds of the bytes; none under (e), where nothing arrives)
// and once at the end, the receive view's pixels are read back from the X
// server right after one of the program's own repaints (at the end, once it
// has settled) and compared with Qt's standard QPlainTextEdit showing the same
// lines, font, colours, wrap and scroll position: the last received line must
// be drawn where Qt draws it, with ink. A blank or wrong view fails the run.
// The checks' own time is left out of the CPU and stall figures.
#include "E2ETarget.h"
#include "RichView.h"
#include "SocatPair.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// Workloads

enum class TKind { Paced, Burst, Frames, Idle };

struct TWorkload {
    char Id;
    const char *Title;
    TKind Kind;
    double Rate = 0;        // bytes per second (Paced)
    double Seconds = 0;     // Paced, Frames, Idle
    std::size_t Burst = 0;  // bytes (Burst)
    std::size_t Frame = 0;  // bytes per frame (Frames)
    int PeriodMs = 10;      // writer tick (Paced, Frames)
};

TWorkload MakeWorkload(char Id, bool Quick)
{
    const double S = Quick ? 3 : 0;
    switch (Id) {
    case 'a':
        return {'a', "11.5 KB/s (115200 baud) paced", TKind::Paced, 11520, S ? S : 30};
    case 'b':
        return {'b', "1 MB/s paced", TKind::Paced, 1e6, S ? S : 20};
    case 'c':
        return {'c', "20 MiB burst", TKind::Burst, 0, 0, std::size_t(Quick ? 2 : 20) << 20};
    case 'd':
        return {'d', "8-byte frame every 10 ms", TKind::Frames, 0, S ? S : 30, 0, 8};
    default:
        return {'e', "port open, idle", TKind::Idle, 0, S ? S : 30};
    }
}

// ---------------------------------------------------------------------------
// Measuring

double ProcessCpuSeconds()
{
    rusage U {};
    getrusage(RUSAGE_SELF, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) + double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds()
{
    timespec T {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return double(T.tv_sec) + double(T.tv_nsec) / 1e9;
}

double RssMB()
{
    QFile F(QStringLiteral("/proc/self/statm"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> Parts = F.readAll().split(' ');
    return Parts.size() > 1 ? double(Parts[1].toLong()) * double(sysconf(_SC_PAGESIZE)) / 1e6 : 0;
}

// CPU seconds of every thread of the process, by thread id, with its name.
struct TThreadCpu {
    QString Name;
    double Seconds = 0;
};
std::map<int, TThreadCpu> ThreadTimes()
{
    std::map<int, TThreadCpu> Times;
    const double Tick = double(sysconf(_SC_CLK_TCK));
    for (const QString &Tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile F(QStringLiteral("/proc/self/task/%1/stat").arg(Tid));
        if (!F.open(QIODevice::ReadOnly))
            continue;
        const QByteArray Stat = F.readAll();
        const qsizetype Open = Stat.indexOf('(');
        const qsizetype Close = Stat.lastIndexOf(')');
        if (Open < 0 || Close < Open)
            continue;
        // Fields after the name: state is the 3rd field, utime the 14th, stime the 15th.
        const QList<QByteArray> Rest = Stat.mid(Close + 2).split(' ');
        if (Rest.size() < 13)
            continue;
        Times[Tid.toInt()] = {QString::fromLatin1(Stat.mid(Open + 1, Close - Open - 1)),
            (Rest[11].toDouble() + Rest[12].toDouble()) / Tick};
    }
    return Times;
}

// "main 0.21 s, E2EBench/1234 0.02 s, ...": where the CPU time went, largest first.
QString ThreadReport(const std::map<int, TThreadCpu> &Before, const std::map<int, TThreadCpu> &After)
{
    std::vector<std::pair<double, QString>> Rows;
    for (const auto &[Tid, T] : After) {
        const auto B = Before.find(Tid);
        const double D = T.Seconds - (B == Before.end() ? 0 : B->second.Seconds);
        if (D <= 0)
            continue;
        const QString Name =
            Tid == int(getpid()) ? QStringLiteral("main") : T.Name + QLatin1Char('/') + QString::number(Tid);
        Rows.emplace_back(D, Name);
    }
    std::sort(Rows.rbegin(), Rows.rend());
    QStringList Parts;
    for (const auto &[D, Name] : Rows)
        Parts << QStringLiteral("%1 %2 s").arg(Name).arg(D, 0, 'f', 2);
    return Parts.isEmpty() ? QStringLiteral("none measurable") : Parts.join(QStringLiteral(", "));
}

double Seconds(Clock::duration D)
{
    return std::chrono::duration<double>(D).count();
}

// Bytes of the stream: every value, in an order no line pattern repeats.
const std::vector<uint8_t> &Pattern()
{
    static const std::vector<uint8_t> Bytes = [] {
        std::vector<uint8_t> B(1 << 20);
        uint32_t X = 2463534242u;
        for (uint8_t &V : B) {
            X ^= X << 13;
            X ^= X >> 17;
            X ^= X << 5;
            V = uint8_t(X);
        }
        return B;
    }();
    return Bytes;
}

// Count bytes of the pattern from Offset.
std::string PatternBytes(std::size_t Offset, std::size_t Count)
{
    const std::vector<uint8_t> &P = Pattern();
    std::string Bytes;
    Bytes.reserve(Count);
    while (Bytes.size() < Count) {
        const std::size_t At = (Offset + Bytes.size()) % P.size();
        const std::size_t Take = std::min(Count - Bytes.size(), P.size() - At);
        Bytes.append(reinterpret_cast<const char *>(P.data() + At), Take);
    }
    return Bytes;
}

// The writer thread: feeds the far end as the workload says.
class TWriter {
public:
    TWriter(TSocatPair &Pair, const TWorkload &W) : Pair(Pair), W(W) { }
    ~TWriter() { Join(); }

    void Start()
    {
        Thread = std::thread([this] { Run(); });
    }
    void Join()
    {
        if (Thread.joinable())
            Thread.join();
    }

    std::atomic<bool> Done {false};
    std::atomic<bool> Failed {false};
    std::atomic<std::size_t> Written {0};
    std::atomic<std::size_t> Frames {0};
    double CpuSeconds = 0;  // valid once Done
    Clock::time_point Began;
    Clock::time_point Ended;

private:
    void Run()
    {
        const double Cpu0 = ThreadCpuSeconds();
        Began = Clock::now();
        switch (W.Kind) {
        case TKind::Burst:
            Put(W.Burst);
            break;
        case TKind::Paced:
        case TKind::Frames: {
            const auto Period = std::chrono::milliseconds(W.PeriodMs);
            const auto End =
                Began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(W.Seconds));
            for (auto Next = Began; Next < End; Next += Period) {
                std::this_thread::sleep_until(Next);
                if (W.Kind == TKind::Frames) {
                    Put(W.Frame);
                    ++Frames;
                } else {
                    const double Due = W.Rate * Seconds(Next + Period - Began);
                    Put(std::size_t(Due) - std::min(std::size_t(Due), Written.load()));
                }
            }
            break;
        }
        case TKind::Idle:
            break;
        }
        Ended = Clock::now();
        CpuSeconds = ThreadCpuSeconds() - Cpu0;
        Done = true;
    }
    void Put(std::size_t Count)
    {
        if (Count == 0 || Failed)
            return;
        // In pieces of at most 1 MiB, so a burst needs no buffer of its size.
        while (Count > 0 && !Failed) {
            const std::size_t Piece = std::min<std::size_t>(Count, 1 << 20);
            if (!Pair.WriteFar(PatternBytes(Written, Piece))) {
                Failed = true;
                return;
            }
            Written += Piece;
            Count -= Piece;
        }
    }

    TSocatPair &Pair;
    TWorkload W;
    std::thread Thread;
};

// The floor: a plain loop that reads the near end and formats every byte as
// "XX ", nothing else.
struct TFloor {
    std::size_t Read = 0;
    double CpuSeconds = 0;
    double Seconds = 0;  // first write to last read
    bool Ok = false;
    QString Error;
};

// Waits until Count() reaches Target or makes no progress for Quiet.
template <typename F> void WaitForCount(F Count, std::size_t Target, std::chrono::milliseconds Quiet)
{
    std::size_t Seen = Count();
    auto Progress = Clock::now();
    while (Seen < Target && Clock::now() - Progress < Quiet) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::size_t Now = Count();
        if (Now != Seen) {
            Seen = Now;
            Progress = Clock::now();
        }
    }
}

volatile std::size_t FloorSink = 0;

TFloor RunFloor(const TWorkload &W)
{
    TFloor F;
    TSocatPair Pair;
    if (!Pair.Start()) {
        F.Error = Pair.Error;
        return F;
    }
    const int Near = ::open(Pair.Near().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Near < 0) {
        F.Error = QStringLiteral("floor: cannot open the near end");
        return F;
    }
    termios Raw {};
    if (tcgetattr(Near, &Raw) == 0) {
        cfmakeraw(&Raw);
        tcsetattr(Near, TCSANOW, &Raw);
    }
    TWriter Writer(Pair, W);
    std::atomic<bool> Stop {false};
    std::atomic<std::size_t> Read {0};
    std::atomic<Clock::rep> LastRead {0};
    double ReaderCpu = 0;
    std::thread Reader([&] {
        const double Cpu0 = ThreadCpuSeconds();
        static const char Hex[] = "0123456789ABCDEF";
        std::vector<uint8_t> Buffer(1 << 20);
        std::string Line;
        std::size_t Check = 0;
        while (!Stop) {
            pollfd P {Near, POLLIN, 0};
            if (::poll(&P, 1, 50) <= 0)
                continue;
            const ssize_t N = ::read(Near, Buffer.data(), Buffer.size());
            if (N <= 0)
                continue;
            Line.resize(std::size_t(N) * 3);
            char *Out = Line.data();
            for (ssize_t I = 0; I < N; ++I) {
                *Out++ = Hex[Buffer[std::size_t(I)] >> 4];
                *Out++ = Hex[Buffer[std::size_t(I)] & 15];
                *Out++ = ' ';
            }
            Check += std::size_t(Line[Line.size() / 2]);
            Read += std::size_t(N);
            LastRead = Clock::now().time_since_epoch().count();
        }
        ReaderCpu = ThreadCpuSeconds() - Cpu0;
        FloorSink = Check;  // the formatting must not be optimised away
    });
    Writer.Start();
    Writer.Join();
    WaitForCount([&] { return Read.load(); }, Writer.Written, std::chrono::seconds(3));
    Stop = true;
    Reader.join();
    ::close(Near);
    F.Read = Read;
    F.CpuSeconds = ReaderCpu;
    const Clock::time_point Last {Clock::duration(LastRead.load())};
    F.Seconds = Seconds((F.Read ? Last : Writer.Ended) - Writer.Began);
    F.Ok = !Writer.Failed && F.Read == Writer.Written;
    if (!F.Ok)
        F.Error = QStringLiteral("floor read %1 of %2 bytes").arg(F.Read).arg(Writer.Written.load());
    return F;
}

// Counts the bytes the receive view shows: every line that an append brought,
// its data behind the "[...] " tag, three characters ("XX ") per byte.
class TShownCounter : public QObject {
public:
    explicit TShownCounter(TRichView *View) : Doc(View->document())
    {
        connect(Doc, &QTextDocument::contentsChange, this, &TShownCounter::Changed);
    }
    std::size_t Bytes = 0;
    std::size_t Lines = 0;
    Clock::time_point Last;

private:
    void Changed(int From, int, int Added)
    {
        if (Added <= 0)
            return;
        const int End = From + Added;
        // A line counts when its line break came with this change.
        for (QTextBlock B = Doc->findBlock(From); B.isValid() && B.position() + B.length() - 1 < End; B = B.next()) {
            const QString Text = B.text();
            qsizetype Start = 0;
            if (Text.startsWith(QLatin1Char('['))) {
                const qsizetype Close = Text.indexOf(QLatin1String("] "));
                if (Close >= 0)
                    Start = Close + 2;
            }
            const qsizetype Length = Text.size() - Start;
            if (Length > 0) {
                Bytes += std::size_t((Length + 1) / 3);
                ++Lines;
                Last = Clock::now();
            }
        }
    }
    QTextDocument *Doc;
};

// Lateness of a periodic timer: how long the event loop kept it waiting.
class TStallProbe : public QObject {
public:
    explicit TStallProbe(int IntervalMs) : Interval(IntervalMs)
    {
        Timer.setTimerType(Qt::PreciseTimer);
        Timer.setInterval(IntervalMs);
        connect(&Timer, &QTimer::timeout, this, [this] {
            const auto Now = Clock::now();
            const double Ms = Seconds(Now - Previous) * 1000 - Interval;
            Stalls.push_back(std::max(0.0, Ms));
            Previous = Now;
        });
    }
    void Start()
    {
        Previous = Clock::now();
        Timer.start();
    }
    void Stop() { Timer.stop(); }
    // Leaves out the time since the last sample (a check of the benchmark's own).
    void Resume() { Previous = Clock::now(); }
    double Percentile(double P) const
    {
        if (Stalls.empty())
            return 0;
        std::vector<double> S = Stalls;
        const std::size_t K = std::min(S.size() - 1, std::size_t(std::ceil(P / 100 * double(S.size()))) - (P > 0));
        std::nth_element(S.begin(), S.begin() + std::ptrdiff_t(K), S.end());
        return S[K];
    }
    double Max() const { return Stalls.empty() ? 0 : *std::max_element(Stalls.begin(), Stalls.end()); }
    std::size_t Samples() const { return Stalls.size(); }
    const int Interval;

private:
    QTimer Timer;
    Clock::time_point Previous;
    std::vector<double> Stalls;
};

// Qt's standard view, shown nowhere, holding a copy of what the receive view
// shows.
class TQtView : public QPlainTextEdit {
public:
    TQtView()
    {
        setAttribute(Qt::WA_DontShowOnScreen);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setCursorWidth(0);
    }
    QRect BlockRect(const QTextBlock &B) const
    {
        return blockBoundingGeometry(B).translated(contentOffset()).toAlignedRect();
    }
};

// Compares the receive view on the screen with Qt's view of the same lines.
class TDrawCheck : public QObject {
public:
    explicit TDrawCheck(TRichView *View) : View(View)
    {
        View->viewport()->installEventFilter(this);
        // Anything that may change what the next paint draws.
        const auto Changed = [this] { ++Changes; };
        connect(View->document(), &QTextDocument::contentsChange, this, Changed);
        for (QScrollBar *Bar : {View->verticalScrollBar(), View->horizontalScrollBar()}) {
            connect(Bar, &QScrollBar::valueChanged, this, Changed);
            connect(Bar, &QScrollBar::rangeChanged, this, Changed);
        }
    }

    // Checks at the view's next repaint (the program's own; none is forced).
    void CheckAtNextPaint(const QString &When)
    {
        if (Armed)
            Results
                << QStringLiteral("-    %1: the view kept changing between its repaint and the screen").arg(ArmedWhen);
        Armed = true;
        ArmedWhen = When;
        ArmedAt = Clock::now();
    }
    // Checks the view as it is on the screen now.
    void CheckNow(const QString &When)
    {
        Armed = false;
        const double Cpu0 = ThreadCpuSeconds();
        Capture();
        Compare(When);
        CheckCpu += ThreadCpuSeconds() - Cpu0;
    }
    // A check still armed when the stream ended (it went too fast for one more
    // repaint) is noted, not failed: the check at the end covers that view.
    void Disarm()
    {
        if (Armed)
            Results << QStringLiteral("-    %1: the stream ended before the view's next repaint").arg(ArmedWhen);
        Armed = false;
    }
    // A check armed for too long without a repaint of the view fails.
    void ExpireArmed(std::chrono::milliseconds After)
    {
        if (Armed && Clock::now() - ArmedAt > After) {
            Armed = false;
            Results
                << QStringLiteral("FAIL %1: the view was not repainted within %2 ms").arg(ArmedWhen).arg(After.count());
            Pass = false;
        }
    }

    QStringList Results;
    bool Pass = true;
    double CheckCpu = 0;           // main thread CPU seconds spent checking
    std::function<void()> OnDone;  // after a check at a repaint (the probe resumes)
    QString FailShot;              // file name stem for the pictures of a failed check

protected:
    bool eventFilter(QObject *, QEvent *E) override
    {
        if (E->type() != QEvent::Paint)
            return false;
        ++Paints;
        if (!Armed)
            return false;
        Armed = false;
        // Once the paint has gone to the screen, and only if the view has not
        // changed or painted again meanwhile (then at a later paint): what is
        // in view then is what this paint drew.
        const QString When = ArmedWhen;
        const int PaintsThen = Paints;
        const int ChangesThen = Changes;
        QTimer::singleShot(0, this, [this, When, PaintsThen, ChangesThen] {
            if (Paints != PaintsThen || Changes != ChangesThen) {
                Armed = true;
                ArmedWhen = When;
                ArmedAt = Clock::now();
                return;
            }
            const double Cpu0 = ThreadCpuSeconds();
            Capture();
            Compare(When);
            CheckCpu += ThreadCpuSeconds() - Cpu0;
            if (OnDone)
                OnDone();
        });
        return false;
    }

private:
    // Copies the lines in view, from the one before the first, into Qt's view,
    // scrolled as the receive view is.
    void Capture()
    {
        QTextDocument *Doc = View->document();
        const QTextBlock First = Doc->findBlockByNumber(View->FirstVisibleLine());
        const int TopRow = View->verticalScrollBar()->value() - First.firstLineNumber();
        const QTextBlock From = First.previous().isValid() ? First.previous() : First;
        QTextBlock Last = Doc->lastBlock();
        if (Last.length() <= 1 && Last.previous().isValid())
            Last = Last.previous();
        LastNumber = Last.blockNumber() - From.blockNumber();
        const int Rows = View->viewport()->height() / std::max(1, View->fontMetrics().lineSpacing()) + 3 + TopRow;

        // Sized and shown first: the wrap width is the viewport's.
        Ref.resize(View->viewport()->size());
        Ref.show();
        Ref.clear();
        Ref.setFont(View->font());
        Ref.document()->setDefaultFont(Doc->defaultFont());
        Ref.document()->setDocumentMargin(Doc->documentMargin());
        Ref.setPalette(View->palette());
        Ref.setLineWrapMode(View->lineWrapMode());
        Ref.setWordWrapMode(View->wordWrapMode());
        QTextCursor C(Ref.document());
        int Copied = 0;
        for (QTextBlock B = From; B.isValid() && Copied < Rows; B = B.next()) {
            if (B != From)
                C.insertBlock();
            for (QTextBlock::iterator It = B.begin(); !It.atEnd(); ++It)
                C.insertText(It.fragment().text(), It.fragment().charFormat());
            if (B != From || From == First)
                Copied += std::max(1, B.lineCount());
        }
        const QTextBlock RefFirst = Ref.document()->findBlockByNumber(From == First ? 0 : 1);
        for (QTextBlock B = Ref.document()->firstBlock(); B.isValid() && B != RefFirst; B = B.next())
            Ref.document()->documentLayout()->blockBoundingRect(B);  // counts its rows
        const int Wanted = RefFirst.firstLineNumber() + TopRow;
        Ref.verticalScrollBar()->setValue(Wanted);
        // Rows the receive view is scrolled past where Qt's view of its last
        // lines ends (0 when Qt's can follow it).
        PastEnd = Wanted - Ref.verticalScrollBar()->value();
        Ref.horizontalScrollBar()->setValue(View->horizontalScrollBar()->value());
        Caret = View->hasFocus() ? View->cursorRect().adjusted(-2, 0, 2, 0) : QRect();
        ViewportAt = View->viewport()->mapToGlobal(QPoint(0, 0));
        ViewportSize = View->viewport()->size();
        Across = View->horizontalScrollBar()->isVisible() ? View->horizontalScrollBar()->maximum() : -1;
    }

    void Compare(const QString &When)
    {
        const QRect Area(QPoint(0, 0), ViewportSize);
        const QImage Got =
            View->screen()
                ->grabWindow(0, ViewportAt.x(), ViewportAt.y(), ViewportSize.width(), ViewportSize.height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        const QImage Want = Ref.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QTextBlock LastRef = Ref.document()->findBlockByNumber(LastNumber);
        const QRect Band = LastRef.isValid() ? Ref.BlockRect(LastRef).intersected(Area) : QRect();
        const QRgb Background = View->palette().color(QPalette::Base).rgb() | 0xFF000000u;
        const bool SameSize = Got.size() == Want.size();
        int Ink = 0;
        for (int Y = 0; SameSize && Y < Got.height(); ++Y)
            for (int X = 0; X < Got.width(); ++X)
                if (Band.contains(X, Y) && !Caret.contains(X, Y))
                    Ink += (Got.pixel(X, Y) | 0xFF000000u) != Background;
        // Pixels that differ when the screen is taken as drawn Shift pixels higher than Qt's view.
        const auto CountDiffer = [&](int Shift, int &Whole) {
            int InBand = 0;
            Whole = 0;
            for (int Y = std::max(0, Shift); SameSize && Y < Got.height() + std::min(0, Shift); ++Y)
                for (int X = 0; X < Got.width(); ++X) {
                    if (Caret.contains(X, Y) || Got.pixel(X, Y - Shift) == Want.pixel(X, Y))
                        continue;
                    ++Whole;
                    InBand += Band.contains(X, Y);
                }
            return InBand;
        };
        // The receive view may stop a wrapped line's rows a pixel or two from
        // where Qt's view, scrolled to the same row, puts them (a partly shown
        // top row): the same picture moved by less than a row still counts as
        // drawn, and the shift is said.
        int WholeDiffer = 0;
        int Differ = CountDiffer(0, WholeDiffer);
        int Shifted = 0;
        const int Row = std::max(1, View->fontMetrics().lineSpacing());
        for (int Shift = 1; Differ != 0 && SameSize && Shift < Row; ++Shift)
            for (int Sign : {-1, 1}) {
                int Whole = 0;
                if (Differ != 0 && CountDiffer(Sign * Shift, Whole) == 0 && Whole == 0) {
                    Differ = 0;
                    WholeDiffer = 0;
                    Shifted = Sign * Shift;
                }
            }
        const bool Ok = SameSize && !Band.isEmpty() && Ink > 20 && Differ == 0;
        Pass = Pass && Ok;
        Results
            << QStringLiteral("%1 %2: last line at rows %3-%4, %5 px of text, %6 px differ from Qt's view "
                              "(whole view: %7)%8")
                   .arg(Ok ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), When)
                   .arg(Band.top())
                   .arg(Band.bottom())
                   .arg(Ink)
                   .arg(SameSize ? QString::number(Differ) : QStringLiteral("all (sizes differ)"))
                   .arg(WholeDiffer)
                   .arg((PastEnd ? QStringLiteral("; the view is scrolled %1 rows past where Qt's can go").arg(PastEnd)
                                 : QString()) +
                       (Shifted ? QStringLiteral("; drawn %1 px %2 than Qt's view")
                                      .arg(std::abs(Shifted))
                                      .arg(Shifted > 0 ? QStringLiteral("higher") : QStringLiteral("lower"))
                                : QString()) +
                       QStringLiteral("; viewport %1x%2, horizontal bar %3")
                           .arg(ViewportSize.width())
                           .arg(ViewportSize.height())
                           .arg(Across < 0 ? QStringLiteral("hidden") : QStringLiteral("range %1").arg(Across)));
        if (!Ok && !FailShot.isEmpty()) {
            Got.save(FailShot + QStringLiteral("-%1-screen.png").arg(Results.size()));
            Want.save(FailShot + QStringLiteral("-%1-qt.png").arg(Results.size()));
        }
        Ref.clear();
    }

    TRichView *View;
    TQtView Ref;
    bool Armed = false;
    int Paints = 0;
    int Changes = 0;
    QString ArmedWhen;
    Clock::time_point ArmedAt;
    int LastNumber = 0;
    int PastEnd = 0;
    int Across = -1;  // the horizontal bar's range, -1 while it is hidden
    QRect Caret;
    QPoint ViewportAt;
    QSize ViewportSize;
};

struct TVerdict {
    bool Pass = true;
    QStringList Notes;
    void Check(bool Ok, const QString &What)
    {
        Notes << (Ok ? QStringLiteral("ok   ") : QStringLiteral("FAIL ")) + What;
        Pass = Pass && Ok;
    }
};

int RunWorkload(TE2ETarget &Target, const TWorkload &W, const TFloor &Floor, bool Quick, bool Wrap, int ProbeMs,
    const QString &Screenshot)
{
    QWidget *Window = Target.Window();
    Window->resize(1000, 700);
    Window->show();
    if (!QTest::qWaitForWindowExposed(Window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 2;
    }
    // Showing may restore a stored geometry; the runs compare at 1000 x 700,
    // all of it on the screen (whose pixels are checked).
    Window->resize(1000, 700);
    Window->move(0, 0);
    TSocatPair Pair;
    if (!Pair.Start()) {
        std::fprintf(stderr, "socat: %s\n", qPrintable(Pair.Error));
        return 2;
    }
    QString Error;
    if (!Target.OpenPort(Pair.Near(), Error)) {
        std::fprintf(stderr, "the port did not open: %s\n", qPrintable(Error));
        return 2;
    }
    Target.SetWordWrap(Wrap);
    TRichView *View = Target.ReceiveView();
    TShownCounter Shown(View);
    TDrawCheck Draw(View);
    Draw.FailShot = QDir::temp().filePath(QStringLiteral("e2e-%1-wrap-%2")
                                              .arg(QLatin1Char(W.Id))
                                              .arg(Wrap ? QStringLiteral("on") : QStringLiteral("off")));
    QTest::qWait(500);

    // Every wake-up of the probe costs the event loop as much as a small
    // event of the program's: 200 a second under the heavy loads, where stalls
    // are the question; 50 under the light ones, 10 idle.
    const int DefaultProbeMs = W.Kind == TKind::Idle ? 100 : (W.Id == 'a' || W.Id == 'd') ? 20 : 5;
    TStallProbe Probe(ProbeMs > 0 ? ProbeMs : DefaultProbeMs);
    Draw.OnDone = [&Probe] { Probe.Resume(); };
    // The bytes the workload writes, for the checks while it streams.
    const double Expected = W.Kind == TKind::Paced ? W.Rate * W.Seconds
        : W.Kind == TKind::Burst                   ? double(W.Burst)
        : W.Kind == TKind::Frames                  ? double(W.Frame) * W.Seconds * 1000 / W.PeriodMs
                                                   : 0;
    int StreamChecks = 0;
    TWriter Writer(Pair, W);
    QEventLoop Loop;
    QTimer Check;
    auto Quiet = Clock::now();
    std::size_t SeenBytes = 0;
    QObject::connect(&Check, &QTimer::timeout, &Loop, [&] {
        Draw.ExpireArmed(std::chrono::milliseconds(2000));
        if (StreamChecks < 2 && Expected > 0 && double(Shown.Bytes) >= Expected * (StreamChecks + 1) / 3) {
            ++StreamChecks;
            Draw.CheckAtNextPaint(QStringLiteral("while streaming (%1/3 of the bytes)").arg(StreamChecks));
        }
        if (Shown.Bytes != SeenBytes) {
            SeenBytes = Shown.Bytes;
            Quiet = Clock::now();
        }
        if (Writer.Done && (Shown.Bytes >= Writer.Written || Clock::now() - Quiet > std::chrono::seconds(10)))
            Loop.quit();
    });

    const auto Threads0 = ThreadTimes();
    const double Cpu0 = ProcessCpuSeconds();
    const auto T0 = Clock::now();
    Probe.Start();
    Writer.Start();
    if (W.Kind == TKind::Idle) {
        QTimer::singleShot(int(W.Seconds * 1000), &Loop, &QEventLoop::quit);
    } else {
        Check.start(100);
    }
    Loop.exec();
    Check.stop();
    Probe.Stop();
    Writer.Join();
    const double Cpu = ProcessCpuSeconds() - Cpu0 - Writer.CpuSeconds - Draw.CheckCpu;
    const double Wall = Seconds(Clock::now() - T0);
    const double Rss = RssMB();
    const QString ByThread = ThreadReport(Threads0, ThreadTimes());
    const std::size_t ShownBytes = Shown.Bytes;
    const std::size_t ShownLines = Shown.Lines;
    const Clock::time_point LastShown = Shown.Last;

    // After the idle run: a line that arrives is still shown promptly.
    double IdleLatencyMs = -1;
    if (W.Kind == TKind::Idle) {
        const auto Sent = Clock::now();
        Pair.WriteFar(PatternBytes(0, 8));
        if (QTest::qWaitFor([&] { return Shown.Bytes >= 8; }, 5000))
            IdleLatencyMs = Seconds(Shown.Last - Sent) * 1000;
    }
    // What the view shows once it has settled.
    QTest::qWait(500);
    Draw.Disarm();
    Draw.CheckNow(QStringLiteral("at the end"));
    if (!Screenshot.isEmpty()) {
        Target.ReceiveView()->FlushUpdates();
        Window->grab().save(Screenshot);
    }
    Target.ClosePort();

    const std::size_t Written = Writer.Written;
    const double MB = double(Written) / 1e6;
    const double Active = Seconds((ShownBytes ? LastShown : Writer.Ended) - Writer.Began);
    const double Rate = Active > 0 ? double(ShownBytes) / Active / 1e6 : 0;

    std::printf("(%c) %s, %s, word wrap %s%s\n", W.Id, W.Title, qPrintable(Target.Name()), Wrap ? "on" : "off",
        Quick ? " [quick]" : "");
    std::printf("  bytes written %zu, shown %zu, %zu lines%s\n", Written, ShownBytes, ShownLines,
        Writer.Failed ? " (writer failed)" : "");
    std::printf("  stall p50 %.2f ms, p99 %.2f ms, max %.2f ms (probe every %d ms, %zu samples)\n",
        Probe.Percentile(50), Probe.Percentile(99), Probe.Max(), Probe.Interval, Probe.Samples());
    std::printf("  CPU %.3f s over %.1f s wall", Cpu, Wall);
    TVerdict V;
    if (W.Kind != TKind::Idle)
        V.Check(ShownBytes == Written && !Writer.Failed, QStringLiteral("every byte written is shown"));
    switch (W.Kind) {
    case TKind::Paced:
    case TKind::Burst: {
        const double PerMB = MB > 0 ? Cpu / MB : 0;
        const double FloorPerMB = Floor.Read ? Floor.CpuSeconds / (double(Floor.Read) / 1e6) : 0;
        const double FloorRate = Floor.Seconds > 0 ? double(Floor.Read) / Floor.Seconds / 1e6 : 0;
        std::printf(
            ", %.3f CPU s/MB (floor %.3f, ratio %.1f)\n", PerMB, FloorPerMB, FloorPerMB > 0 ? PerMB / FloorPerMB : 0.0);
        std::printf("  rate %.3f MB/s (floor %.2f MB/s)\n", Rate, FloorRate);
        if (W.Id == 'a') {
            V.Check(PerMB <= 2.0, QStringLiteral("at most 2 CPU s/MB"));
            V.Check(PerMB < 8.6, QStringLiteral("below both peers (8.6 and 10.7 CPU s/MB)"));
        } else {
            const double MinRate = W.Id == 'b' ? 0.95 : 1.0;
            V.Check(Rate >= MinRate,
                QStringLiteral("at least %1 MB/s (peers: %2)")
                    .arg(MinRate)
                    .arg(W.Id == 'b' ? QStringLiteral("0.9 and 0.22") : QStringLiteral("0.78 and 0.27")));
            V.Check(Probe.Percentile(99) < 50, QStringLiteral("stalls under 50 ms at p99"));
            V.Check(Probe.Max() < 200, QStringLiteral("stalls under 200 ms at worst (peer: 0.5 s and more)"));
            if (W.Id == 'b')
                V.Check(Rss < 300, QStringLiteral("under 300 MB resident (peer: 1,078 MB)"));
        }
        break;
    }
    case TKind::Frames: {
        const std::size_t Frames = Writer.Frames;
        const double PerFrame = Frames ? Cpu / double(Frames) * 1e6 : 0;
        const double FloorPerFrame = Frames ? Floor.CpuSeconds / double(Frames) * 1e6 : 0;
        std::printf(", %zu frames, %.0f us CPU per frame (floor %.0f us, ratio %.1f)\n", Frames, PerFrame,
            FloorPerFrame, FloorPerFrame > 0 ? PerFrame / FloorPerFrame : 0.0);
        V.Check(PerFrame <= 200, QStringLiteral("at most 200 us per frame (peers: 600 and 700)"));
        break;
    }
    case TKind::Idle: {
        const double Percent = Cpu / Wall * 100;
        std::printf(", %.3f %% of one core (floor %.3f %%)\n", Percent, Floor.CpuSeconds / Wall * 100);
        std::printf("  a frame after the idle time is shown %.0f ms after it was written\n", IdleLatencyMs);
        V.Check(Percent < 0.2, QStringLiteral("under 0.2 % of one core (peers: 0.2 and 0.3)"));
        V.Check(IdleLatencyMs >= 0 && IdleLatencyMs < 500, QStringLiteral("a line after idling is still shown"));
        break;
    }
    }
    std::printf("  resident %.1f MB at the end\n", Rss);
    std::printf("  drawn, the receive view's pixels on the screen against Qt's view of the same lines:\n");
    for (const QString &R : Draw.Results)
        std::printf("    %s\n", qPrintable(R));
    V.Check(Draw.Pass,
        QStringLiteral("the last received line is drawn where Qt draws it (%1 checks%2)")
            .arg(Draw.Results.size())
            .arg(W.Kind == TKind::Idle ? QStringLiteral("; nothing streams under (e)") : QString()));
    std::printf("  CPU by thread (the writer included): %s\n", qPrintable(ByThread));
    if (!Floor.Ok)
        std::printf("  floor: %s\n", qPrintable(Floor.Error));
    for (const QString &N : V.Notes)
        std::printf("  %s\n", qPrintable(N));
    std::printf("RESULT %c %s wrap=%s written=%zu shown=%zu p50=%.2f p99=%.2f max=%.2f cpu=%.3f rss=%.1f rate=%.3f "
                "drawn=%s verdict=%s\n",
        W.Id, qPrintable(Target.Name()), Wrap ? "on" : "off", Written, ShownBytes, Probe.Percentile(50),
        Probe.Percentile(99), Probe.Max(), Cpu, Rss, Rate, Draw.Pass ? "ok" : "FAIL", V.Pass ? "pass" : "FAIL");
    std::fflush(stdout);
    return V.Pass ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    char Id = 'a';
    bool Quick = false;
    int ProbeMs = 0;
    bool Wrap = false;
    QString Screenshot;
    QString TargetName = QStringLiteral("mainform");
    for (int I = 1; I < argc; ++I) {
        if (!std::strcmp(argv[I], "--quick")) {
            Quick = true;
        } else if (!std::strcmp(argv[I], "--workload") && I + 1 < argc && std::strchr("abcde", argv[I + 1][0])) {
            Id = argv[++I][0];
        } else if (!std::strcmp(argv[I], "--probe") && I + 1 < argc && std::atoi(argv[I + 1]) > 0) {
            ProbeMs = std::atoi(argv[++I]);
        } else if (!std::strcmp(argv[I], "--wrap") && I + 1 < argc &&
            (!std::strcmp(argv[I + 1], "on") || !std::strcmp(argv[I + 1], "off"))) {
            Wrap = !std::strcmp(argv[++I], "on");
        } else if (!std::strcmp(argv[I], "--screenshot") && I + 1 < argc) {
            Screenshot = QString::fromLocal8Bit(argv[++I]);
        } else if (!std::strcmp(argv[I], "--target") && I + 1 < argc) {
            TargetName = QString::fromLocal8Bit(argv[++I]);
        } else {
            std::fprintf(stderr,
                "usage: %s --workload a|b|c|d|e [--quick] [--target mainform|pipeline] [--probe ms]\n"
                "       [--wrap on|off] [--screenshot file.png]\n",
                argv[0]);
            return 2;
        }
    }
    // The program's files go to a folder of their own.
    QTemporaryDir Data;
    qputenv("XDG_DATA_HOME", Data.path().toLocal8Bit());

    const TWorkload W = MakeWorkload(Id, Quick);
    // The floor first, before any window exists.
    const TFloor Floor = RunFloor(W);

    QApplication App(argc, argv);
    std::unique_ptr<TE2ETarget> Target =
        TargetName == QLatin1String("pipeline") ? MakePipelineTarget() : MakeMainFormTarget();
    if (!Target) {
        std::fprintf(stderr, "no target \"%s\" in this build\n", qPrintable(TargetName));
        return 2;
    }
    return RunWorkload(*Target, W, Floor, Quick, Wrap, ProbeMs, Screenshot);
}
