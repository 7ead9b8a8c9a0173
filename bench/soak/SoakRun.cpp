// A soak of the program's main window (run it under Xvfb, see soak.sh): a
// writer thread feeds socat's far end with frames of random length and
// content at a set rate for a set time, while the window shows them in hex
// with automatic save on (the line count and folder set through the settings
// record the program reads at start, the switch through its own dialog).
//
// At the end every byte written must appear once, in order, across the saved
// files (read back by the program's RTF reader, in the order they were
// written) and the view. Resident memory is sampled every 10 s and must stay
// flat after the first bound: no peak after the first automatic save (and
// after a sixth of the run) 10 % or more above the highest before that. The event loop's
// stalls, seen by a probe timer, must stay under 20 ms at p99, over the whole
// run; the worst minute is printed too.
//
//   SoakRun --seconds S --rate BYTES_PER_S --out DIR [--lines N] [--longest-frame B] [--seed X] [--probe MS]
//           [--view-chars N]
//
// --view-chars sets the receive view's character bound (a smaller bound
// makes more rounds of automatic save in a short run).
// DIR receives the saved files (saved/), rss.csv and stalls.csv (p50, p99
// and max of every minute). Exit status 0 when every check passed.
#include "AutoSave.h"
#include "DataFolder.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "RtfReader.h"
#include "SendClass.h"
#include "SettingsRecord.h"
#include "SoakStream.h"
#include "SocatPair.h"
#include "TimeSaveUnit.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct TOptions {
    double Seconds = 120;
    double Rate = 11520;
    int Lines = 20000;
    std::size_t LongestFrame = 256;
    uint64_t Seed = 20261211;
    int ProbeMs = 10;
    int ViewChars = 0;  // the receive view's character bound, when set
    QString Out;
};

double RssMB()
{
    QFile F(QStringLiteral("/proc/self/statm"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> Parts = F.readAll().split(' ');
    return Parts.size() > 1 ? double(Parts[1].toLong()) * double(sysconf(_SC_PAGESIZE)) / 1e6 : 0;
}

double Percentile(std::vector<float> S, double P)
{
    if (S.empty())
        return 0;
    const std::size_t K = std::min(S.size() - 1, std::size_t(std::ceil(P / 100 * double(S.size()))) - (P > 0));
    std::nth_element(S.begin(), S.begin() + std::ptrdiff_t(K), S.end());
    return S[K];
}

double Median(std::vector<double> S)
{
    if (S.empty())
        return 0;
    std::sort(S.begin(), S.end());
    return S[S.size() / 2];
}

// Feeds the far end: at every 10 ms tick, whole frames until the bytes due
// by then are written.
class TWriter {
public:
    TWriter(TSocatPair &Pair, const TOptions &O) : FPair(Pair), FO(O), FStream(O.Seed, O.LongestFrame) { }
    ~TWriter()
    {
        if (FThread.joinable())
            FThread.join();
    }
    void Start()
    {
        FThread = std::thread([this] { Run(); });
    }
    void Join()
    {
        if (FThread.joinable())
            FThread.join();
    }
    std::atomic<bool> Done {false};
    std::atomic<bool> Failed {false};
    std::atomic<std::size_t> Written {0};

private:
    void Run()
    {
        const auto Began = Clock::now();
        const auto End = Began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(FO.Seconds));
        const auto Period = std::chrono::milliseconds(10);
        std::string Piece;
        for (auto Next = Began; Next < End && !Failed; Next += Period) {
            std::this_thread::sleep_until(Next);
            const double Due = FO.Rate * std::chrono::duration<double>(Next + Period - Began).count();
            Piece.clear();
            while (double(Written + Piece.size()) < Due)
                Piece += FStream.NextFrame();
            if (!Piece.empty() && !FPair.WriteFar(Piece))
                Failed = true;
            else
                Written += Piece.size();
        }
        Done = true;
    }
    TSocatPair &FPair;
    TOptions FO;
    TSoakStream FStream;
    std::thread FThread;
};

// Lateness of a periodic timer, kept per minute of the run.
class TStallProbe : public QObject {
public:
    explicit TStallProbe(int IntervalMs) : FInterval(IntervalMs)
    {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(IntervalMs);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            const auto Now = Clock::now();
            const double Ms = std::chrono::duration<double, std::milli>(Now - FPrevious).count() - FInterval;
            const std::size_t Minute = std::size_t(std::chrono::duration<double>(Now - FBegan).count() / 60);
            if (Minutes.size() <= Minute)
                Minutes.resize(Minute + 1);
            Minutes[Minute].push_back(float(std::max(0.0, Ms)));
            FPrevious = Now;
        });
    }
    void Start()
    {
        FBegan = FPrevious = Clock::now();
        FTimer.start();
    }
    void Stop() { FTimer.stop(); }
    std::vector<float> All() const
    {
        std::vector<float> A;
        for (const auto &M : Minutes)
            A.insert(A.end(), M.begin(), M.end());
        return A;
    }
    std::vector<std::vector<float>> Minutes;

private:
    const int FInterval;
    QTimer FTimer;
    Clock::time_point FBegan, FPrevious;
};

class TCapture : public TRuntimeMessages {
public:
    QStringList List;
    void Warning(QWidget *, const QString &Caption, const QString &Text) override
    {
        List << Caption + QStringLiteral(": ") + Text;
    }
    void StandardError(const QString &Text) override { List << Text; }
};

// The bytes a line of the receive view shows in hex, after its tag
// ("[hh:nn:ss gap Rx] "); false when the line is not such a line.
bool LineBytes(const QString &Line, std::string &Bytes)
{
    qsizetype At = 0;
    if (Line.startsWith(QLatin1Char('['))) {
        const qsizetype Close = Line.indexOf(QLatin1String("] "));
        if (Close < 0)
            return false;
        At = Close + 2;
    }
    const auto Digit = [](QChar C) {
        const char16_t U = C.unicode();
        return U >= u'0' && U <= u'9' ? U - u'0' : U >= u'A' && U <= u'F' ? U - u'A' + 10 : -1;
    };
    Bytes.clear();
    while (At + 1 < Line.size()) {
        const int High = Digit(Line[At]), Low = Digit(Line[At + 1]);
        if (High < 0 || Low < 0)
            return false;
        Bytes += char(High * 16 + Low);
        At += 2;
        if (At < Line.size()) {
            if (Line[At] != QLatin1Char(' '))
                return false;
            ++At;
        }
    }
    return At == Line.size();
}

// Feeds every line of Doc to Check; counts lines, and those that are not
// received hex lines.
void CheckDocument(const QTextDocument &Doc, TStreamCheck &Check, std::size_t &Lines, QStringList &Bad)
{
    std::string Bytes;
    for (QTextBlock B = Doc.firstBlock(); B.isValid(); B = B.next()) {
        const QString Text = B.text();
        if (Text.isEmpty() && !B.next().isValid())
            break;
        if (!LineBytes(Text, Bytes)) {
            if (Bad.size() < 5)
                Bad << Text.left(80);
            continue;
        }
        ++Lines;
        Check.Feed(Bytes);
    }
}

int Run(const TOptions &O)
{
    const QString SaveDir = QDir(O.Out).filePath(QStringLiteral("saved"));
    QDir().mkpath(SaveDir);
    for (const QString &Old : QDir(SaveDir).entryList(QDir::Files))
        QFile::remove(QDir(SaveDir).filePath(Old));
    // Automatic save's line count and folder as the program reads them at start.
    {
        TSettingsRecord Record;
        ReadDataFile(Record);
        Record.SetAutoSaveLineCount(O.Lines);
        Record.SetAutoSaveFolder(SaveDir.toStdString());
        WriteDataFile(Record);
    }
    const QStringList Ports;  // none from the machine: the cable's end is typed in
    std::unique_ptr<TMainForm> Main = CreateProgram(QStringList(), &Ports);
    TCapture Messages;
    Main->SetMessages(&Messages);
    Main->resize(1000, 700);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get())) {
        std::fprintf(stderr, "the window was not shown\n");
        return 2;
    }
    // Automatic save switched on through its dialog, as a user does.
    TTimeSaveForm *Form = Main->TimeSaveForm;
    Form->Warn = [&Messages](const QString &Caption, const QString &Text) { Messages.Warning(nullptr, Caption, Text); };
    Form->show();
    Form->CheckBox2->setChecked(true);
    Form->Button2->click();
    if (!Main->AutoSave()->AutoSaveOn || Form->Edit1->text() != QString::number(O.Lines)) {
        std::fprintf(stderr, "automatic save did not come on: %s\n", qPrintable(Messages.List.join(u'\n')));
        return 2;
    }

    TSocatPair Pair;
    if (!Pair.Start()) {
        std::fprintf(stderr, "socat: %s\n", qPrintable(Pair.Error));
        return 2;
    }
    Main->findChild<QComboBox *>(QStringLiteral("CBoxPort"))->setEditText(QString::fromStdString(Pair.Near()));
    Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
    if (!Main->Link() || !Main->Link()->Port.Connected()) {
        std::fprintf(stderr, "the port did not open: %s\n", qPrintable(Messages.List.join(u'\n')));
        return 2;
    }
    TQuillScomm *Link = Main->Link();
    TRichView *View = Main->ReceiveView();
    if (O.ViewChars > 0)
        View->SetMaxLength(O.ViewChars);

    // The saved files in the order automatic save wrote them.
    QStringList Saved;
    double FirstSaveAt = -1;
    QElapsedTimer Since;
    QObject::connect(View, &TRichView::Changed, View, [&] {
        const QString Last = Main->AutoSave()->LastSaved();
        if (!Last.isEmpty() && (Saved.isEmpty() || Saved.last() != Last)) {
            Saved << Last;
            if (FirstSaveAt < 0)
                FirstSaveAt = double(Since.elapsed()) / 1000;
        }
    });

    std::vector<std::pair<double, double>> Rss;  // seconds, MB
    QFile RssFile(QDir(O.Out).filePath(QStringLiteral("rss.csv")));
    RssFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    RssFile.write("seconds,rss_mb,written_bytes,saved_files\n");
    TWriter Writer(Pair, O);
    QTimer Sampler;
    Sampler.setInterval(10000);
    const auto Sample = [&] {
        Rss.emplace_back(double(Since.elapsed()) / 1000, RssMB());
        RssFile.write(QStringLiteral("%1,%2,%3,%4\n")
                          .arg(Rss.back().first, 0, 'f', 1)
                          .arg(Rss.back().second, 0, 'f', 1)
                          .arg(Writer.Written.load())
                          .arg(Saved.size())
                          .toLatin1());
        RssFile.flush();
    };
    QObject::connect(&Sampler, &QTimer::timeout, Sample);

    TStallProbe Probe(O.ProbeMs);
    QEventLoop Loop;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, &Loop, [&] {
        if (Writer.Done)
            Loop.quit();
    });
    Since.start();
    Sample();
    Sampler.start();
    Probe.Start();
    Writer.Start();
    Watch.start(200);
    Loop.exec();
    Writer.Join();
    // The rest arrives and is shown: the link counted every byte, and no line
    // waits for the view.
    QElapsedTimer Drain;
    Drain.start();
    while (Drain.elapsed() < 60000 && (Link->RxCount.load() != uint32_t(Writer.Written.load()) || Link->LinesWaiting()))
        QTest::qWait(100);
    QTest::qWait(1000);
    View->FlushUpdates();  // what the view still holds back, when it fell behind
    Probe.Stop();
    Sampler.stop();
    Sample();
    const double Wall = double(Since.elapsed()) / 1000;
    Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();

    // Byte for byte: the saved files in their order, then the view.
    TStreamCheck Check(O.Seed, O.LongestFrame);
    std::size_t Lines = 0;
    QStringList Bad;
    for (const QString &Path : Saved) {
        QFile F(Path);
        if (!F.open(QIODevice::ReadOnly)) {
            Bad << QStringLiteral("cannot read ") + Path;
            continue;
        }
        QTextDocument Doc;
        QTextCursor C(&Doc);
        InsertFileContent(C, F.readAll());
        CheckDocument(Doc, Check, Lines, Bad);
    }
    const std::size_t InFiles = Check.Checked();
    CheckDocument(*View->document(), Check, Lines, Bad);
    const int FilesOnDisk = int(QDir(SaveDir).entryList(QDir::Files).size());

    // Memory after the first bound. The view fills and is saved and emptied
    // over and over, so memory rises and falls: flat means no later peak
    // above the highest before (the view full for the first time, and the
    // first rounds where they are short) by 10 % or more. The medians of the window's first and last minute show a trend
    // beside it.
    const double WindowFrom = std::max(FirstSaveAt, O.Seconds / 6);
    std::vector<double> First, Last;
    double FirstPeak = 0, WindowMax = 0;
    const double WindowEnd = Rss.back().first;
    for (const auto &[At, MB] : Rss) {
        if (FirstSaveAt < 0)
            break;
        if (At <= WindowFrom)
            FirstPeak = std::max(FirstPeak, MB);
        if (At < WindowFrom)
            continue;
        WindowMax = std::max(WindowMax, MB);
        if (At < WindowFrom + 60)
            First.push_back(MB);
        if (At > WindowEnd - 60)
            Last.push_back(MB);
    }
    const double Trend = First.empty() ? 0 : (Median(Last) - Median(First)) / Median(First) * 100;
    const double Growth = FirstPeak > 0 ? (WindowMax - FirstPeak) / FirstPeak * 100 : 0;

    // Stalls over the run, and per minute.
    QFile StallFile(QDir(O.Out).filePath(QStringLiteral("stalls.csv")));
    StallFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    StallFile.write("minute,samples,p50_ms,p99_ms,max_ms\n");
    double WorstMinute = 0;
    for (std::size_t M = 0; M < Probe.Minutes.size(); ++M) {
        const auto &S = Probe.Minutes[M];
        const double P99 = Percentile(S, 99);
        WorstMinute = std::max(WorstMinute, P99);
        StallFile.write(QStringLiteral("%1,%2,%3,%4,%5\n")
                            .arg(M)
                            .arg(S.size())
                            .arg(Percentile(S, 50), 0, 'f', 2)
                            .arg(P99, 0, 'f', 2)
                            .arg(S.empty() ? 0.0 : double(*std::max_element(S.begin(), S.end())), 0, 'f', 2)
                            .toLatin1());
    }
    const std::vector<float> All = Probe.All();
    const double P50 = Percentile(All, 50), P99 = Percentile(All, 99);
    const double Max = All.empty() ? 0 : double(*std::max_element(All.begin(), All.end()));

    const std::size_t Written = Writer.Written;
    bool Pass = true;
    const auto Verdict = [&Pass](bool Ok, const QString &What) {
        std::printf("  %s %s\n", Ok ? "ok  " : "FAIL", qPrintable(What));
        Pass = Pass && Ok;
    };
    std::printf("soak: %.0f s at %.0f bytes/s, frames of 1 to %zu random bytes, automatic save at %d lines\n",
        O.Seconds, O.Rate, O.LongestFrame, O.Lines);
    std::printf("  written %zu bytes; found %zu in %d saved files (%lld on disk) and %zu in the view, %zu lines; "
                "first differing byte %lld\n",
        Written, InFiles, int(Saved.size()), qlonglong(FilesOnDisk), Check.Checked() - InFiles, Lines,
        qlonglong(Check.FirstWrong()));
    std::printf(
        "  resident: %.1f MB at start, %.1f MB at most before the window (first save at %.0f s); from %.0f s on: "
        "highest %.1f MB (%+.1f %%), median of the first minute %.1f MB, of the last %.1f MB (%+.1f %%); "
        "%.1f MB at the end\n",
        Rss.front().second, FirstPeak, FirstSaveAt, WindowFrom, WindowMax, Growth, Median(First), Median(Last), Trend,
        Rss.back().second);
    std::printf("  stalls: p50 %.2f ms, p99 %.2f ms, max %.2f ms over %zu samples (probe every %d ms); worst "
                "minute's p99 %.2f ms\n",
        P50, P99, Max, All.size(), O.ProbeMs, WorstMinute);
    std::printf("  %.0f s wall\n", Wall);
    for (const QString &B : Bad)
        std::printf("  not a received hex line: %s\n", qPrintable(B));
    for (const QString &M : Messages.List)
        std::printf("  message: %s\n", qPrintable(M));
    Verdict(!Writer.Failed, QStringLiteral("the writer wrote everything"));
    Verdict(Check.Checked() == Written && Check.FirstWrong() < 0 && Bad.isEmpty(),
        QStringLiteral("every byte written appears once, in order"));
    Verdict(FilesOnDisk == Saved.size(), QStringLiteral("every saved file is in the order checked"));
    Verdict(FirstSaveAt >= 0, QStringLiteral("automatic save saved"));
    Verdict(FirstSaveAt >= 0 && Growth < 10, QStringLiteral("resident memory flat after the first bound (< 10 %)"));
    Verdict(P99 < 20, QStringLiteral("event-loop stalls under 20 ms at p99"));
    Verdict(Messages.List.isEmpty(), QStringLiteral("no message to the user"));
    std::printf("RESULT seconds=%.0f rate=%.0f written=%zu found=%zu files=%d first_wrong=%lld rss_growth=%.1f "
                "rss_max=%.1f p99=%.2f worst_minute_p99=%.2f max=%.2f verdict=%s\n",
        O.Seconds, O.Rate, Written, Check.Checked(), int(Saved.size()), qlonglong(Check.FirstWrong()), Growth,
        WindowMax, P99, WorstMinute, Max, Pass ? "pass" : "FAIL");
    std::fflush(stdout);
    Main->SetMessages(nullptr);
    return Pass ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    TOptions O;
    for (int I = 1; I + 1 < argc; I += 2) {
        const char *Key = argv[I];
        const char *Value = argv[I + 1];
        if (!std::strcmp(Key, "--seconds"))
            O.Seconds = std::atof(Value);
        else if (!std::strcmp(Key, "--rate"))
            O.Rate = std::atof(Value);
        else if (!std::strcmp(Key, "--lines"))
            O.Lines = std::atoi(Value);
        else if (!std::strcmp(Key, "--longest-frame"))
            O.LongestFrame = std::size_t(std::max(1, std::atoi(Value)));
        else if (!std::strcmp(Key, "--seed"))
            O.Seed = std::strtoull(Value, nullptr, 10);
        else if (!std::strcmp(Key, "--probe"))
            O.ProbeMs = std::max(1, std::atoi(Value));
        else if (!std::strcmp(Key, "--view-chars"))
            O.ViewChars = std::max(0, std::atoi(Value));
        else if (!std::strcmp(Key, "--out"))
            O.Out = QString::fromLocal8Bit(Value);
    }
    if (O.Out.isEmpty() || O.Seconds <= 0 || O.Rate <= 0 || O.Lines <= 0 || argc % 2 == 0) {
        std::fprintf(stderr,
            "usage: %s --seconds S --rate BYTES_PER_S --out DIR [--lines N] [--longest-frame B] [--seed X] "
            "[--probe MS] [--view-chars N]\n",
            argv[0]);
        return 2;
    }
    // The program's own files go to a folder of their own.
    QTemporaryDir Data;
    qputenv("XDG_DATA_HOME", Data.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", Data.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication App(argc, argv);
    return Run(O);
}
