// The receive view under a monitor's load, in a real window (run it under
// Xvfb: xvfb-run -s "-screen 0 1280x1024x24" build/bench/RichViewBench).
//
// 1. 300-character lines, one per 1 ms tick, at 1k, 10k, 60k and 120k lines:
//    lines per second, time per append, event-loop stalls; memory per held
//    character; line count; deleting the first 20,000 of 120,000 lines; RTF
//    save and reload of the 120,000 lines.
// 2. Appending 90,000-character lines past the character bound: the trims.
// 3. A 90,000-character line every 100 ms (a fast hex stream), word wrap off
//    and on: stalls, and whether every line arrived. The same run on a plain
//    QPlainTextEdit batched the same way is the baseline that shows the cost
//    of painting long lines whole.
// With the argument "find", part 1 runs with the copy of the text that Find
// searches kept, as in the receive view.
#include "RichView.h"
#include "RunLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor Grey(128, 128, 128);
const QColor Blue(0x00, 0x00, 0xC8);

long RssBytes()
{
    QFile F(QStringLiteral("/proc/self/statm"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> Parts = F.readAll().split(' ');
    return Parts.size() > 1 ? Parts[1].toLong() * 4096 : 0;
}

QString HexData(int Chars, int Seed)
{
    static const char Hex[] = "0123456789ABCDEF";
    QString S;
    S.reserve(Chars + 1);
    for (int I = 0; S.size() + 3 <= Chars; ++I) {
        const int B = (Seed * 31 + I * 7) & 0xFF;
        S += QLatin1Char(Hex[B >> 4]);
        S += QLatin1Char(Hex[B & 15]);
        S += QLatin1Char(' ');
    }
    while (S.size() < Chars)
        S += QLatin1Char('0');
    return S;
}

QString Tag(int N)
{
    return QStringLiteral("[14:%1:%2 %3 Rx] ")
        .arg(N / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(N % 60, 2, 10, QLatin1Char('0'))
        .arg(N % 1000, 3);
}

struct TStalls {
    double P50 = 0, P99 = 0, Max = 0;
};

TStalls Percentiles(std::vector<double> Gaps)
{
    TStalls S;
    if (Gaps.empty())
        return S;
    std::sort(Gaps.begin(), Gaps.end());
    S.P50 = Gaps[Gaps.size() / 2];
    S.P99 = Gaps[std::min(Gaps.size() - 1, Gaps.size() * 99 / 100)];
    S.Max = Gaps.back();
    return S;
}

// Runs the event loop for ms milliseconds with a 1 ms precise timer calling
// tick(); returns the gaps between firings (ms).
std::vector<double> RunTicks(int Ms, const std::function<void()> &tick)
{
    std::vector<double> gaps;
    QElapsedTimer clock;
    QTimer Timer;
    Timer.setTimerType(Qt::PreciseTimer);
    Timer.setInterval(1);
    qint64 Last = -1;
    QObject::connect(&Timer, &QTimer::timeout, [&] {
        const qint64 Now = clock.nsecsElapsed();
        if (Last >= 0)
            gaps.push_back((Now - Last) / 1e6);
        Last = Now;
        tick();
    });
    clock.start();
    Timer.start();
    RunEventLoop(Ms);
    Timer.stop();
    return gaps;
}

// A plain QPlainTextEdit appended to and repainted the way TRichView does it,
// but painting every line whole.
class TBaseline : public QPlainTextEdit {
public:
    TBaseline()
    {
        setUndoRedoEnabled(false);
        setLineWrapMode(NoWrap);
        FTimer.setSingleShot(true);
        FTimer.setInterval(TRichView::RepaintMs);
        QObject::connect(&FTimer, &QTimer::timeout, this, [this] {
            FBatching = false;
            setUpdatesEnabled(true);
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
            repaint();
        });
    }
    void AppendLine(const QString &Tag, const QString &Data)
    {
        QTextCharFormat G, B;
        G.setForeground(Grey);
        B.setForeground(Blue);
        QTextCursor C(document());
        C.movePosition(QTextCursor::End);
        C.beginEditBlock();
        C.insertText(Tag, G);
        C.insertText(Data + QLatin1Char('\n'), B);
        C.endEditBlock();
        if (!FBatching) {
            FBatching = true;
            setUpdatesEnabled(false);
            FTimer.start();
        }
    }

private:
    QTimer FTimer;
    bool FBatching = false;
};

void Show(QWidget &W)
{
    W.resize(1000, 700);
    W.show();
    if (!QTest::qWaitForWindowExposed(&W))
        std::printf("window not exposed\n");
}

void LongLines(const char *Name, QPlainTextEdit &View, bool Wrap,
    const std::function<void(const QString &, const QString &)> &append)
{
    View.setLineWrapMode(Wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    Show(View);
    const QString data = HexData(90000, 7);
    QElapsedTimer clock;
    clock.start();
    int Appended = 0;
    const int Seconds = 6;
    std::vector<double> Gaps = RunTicks(Seconds * 1000, [&] {
        if (clock.elapsed() >= Appended * 100 && Appended < Seconds * 10) {
            append(Tag(Appended), data);
            ++Appended;
        }
    });
    const TStalls S = Percentiles(Gaps);
    if (qEnvironmentVariableIsSet("BENCH_TRACE")) {
        double At = 0;
        for (double G : Gaps) {
            At += G;
            if (G > 50)
                std::printf("    stall %.0f ms at %.0f ms\n", G, At);
        }
    }
    // Count the lines that arrived (the last block is the empty one after the last break).
    const int Shown = View.document()->blockCount() - 1;
    std::printf("  %-34s wrap %-3s  lines %3d/%3d  ticks %5zu  stall p50 %5.1f  p99 %6.1f  max %6.1f ms\n", Name,
        Wrap ? "on" : "off", Shown, Appended, Gaps.size(), S.P50, S.P99, S.Max);
    View.hide();
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication App(argc, argv);
    std::printf("Rich view benchmark (platform %s)\n", qPrintable(QGuiApplication::platformName()));

    const bool OnlyLong = argc > 1 && QByteArray(argv[1]) == "long";
    // "find": the views keep the copy Find searches, as the receive view does.
    const bool FindCopy = argc > 1 && QByteArray(argv[1]) == "find";
    // --- 1. 300-character lines ---
    if (!OnlyLong) {
        TRichView View;
        QFont Font(QStringLiteral("Courier New"));
        Font.setPixelSize(12);
        View.setFont(Font);
        if (FindCopy)
            View.KeepFindCopy();
        Show(View);
        QApplication::processEvents();
        const long RssBefore = RssBytes();
        std::vector<QString> datas;
        for (int I = 0; I < 16; ++I)
            datas.push_back(HexData(300, I) + QLatin1Char('\n'));
        int n = 0;
        auto AppendOne = [&] {
            View.Append({{Tag(n), Grey}, {datas[static_cast<size_t>(n % 16)], Blue}});
            ++n;
        };
        std::printf("\n300-character lines, one per 1 ms tick, window 1000x700, wrap off:\n");
        for (int checkpoint : {1000, 10000, 60000, 120000}) {
            while (n < checkpoint - 1500) {  // fill quickly, letting the batched repaints run
                AppendOne();
                if (n % 500 == 0)
                    QApplication::processEvents();
            }
            double appendNs = 0;
            int appends = 0;
            QElapsedTimer t;
            std::vector<double> Gaps = RunTicks(2000, [&] {
                if (n >= checkpoint)
                    return;
                t.start();
                AppendOne();
                appendNs += static_cast<double>(t.nsecsElapsed());
                ++appends;
            });
            // Lines per second over the ticks that appended.
            const size_t Used = std::min(Gaps.size(), static_cast<size_t>(appends));
            double Spent = 0;
            for (size_t I = 0; I < Used; ++I)
                Spent += Gaps[I];
            Gaps.resize(Used);
            const TStalls S = Percentiles(Gaps);
            std::printf("  at %6d lines: %5.0f lines/s  append %6.1f us  stall p50 %4.1f  p99 %5.1f  max %5.1f ms\n",
                checkpoint, Spent > 0 ? Used * 1000.0 / Spent : 0.0, appends ? appendNs / appends / 1000 : 0.0, S.P50,
                S.P99, S.Max);
        }
        View.FlushUpdates();
        QApplication::processEvents();
        const long RssAfter = RssBytes();
        std::printf("  memory: %.2f bytes per held character (%d lines, %d characters, RSS +%.0f MB)\n",
            double(RssAfter - RssBefore) / View.TextLength(), View.LineCount() - 1, View.TextLength(),
            (RssAfter - RssBefore) / 1e6);
        std::printf("  undo steps kept: %d\n", View.document()->availableUndoSteps());

        QElapsedTimer T;
        T.start();
        volatile long Sum = 0;
        for (int I = 0; I < 1000000; ++I)
            Sum = Sum + View.LineCount();
        std::printf("  line count: %.1f ns per call\n", T.nsecsElapsed() / 1e6);

        while (n < 120001)
            AppendOne();
        T.restart();
        View.DeleteFirstLines(20000);
        const double Del = T.nsecsElapsed() / 1e6;
        View.FlushUpdates();
        std::printf("  deleting the first 20,000 of %d lines: %.1f ms\n", n, Del);
        while (n < 120000 + 20000)
            AppendOne();  // back to 120,000 lines

        T.restart();
        const QByteArray Rtf = View.ToRtf();
        const double Save = T.nsecsElapsed() / 1e6;
        T.restart();
        View.LoadData(Rtf);
        const double Load = T.nsecsElapsed() / 1e6;
        T.restart();
        View.FlushUpdates();
        QApplication::processEvents();
        std::printf("  RTF of %d lines (%.1f MB): save %.0f ms, reload %.0f ms (shown after %.0f ms more)\n",
            View.LineCount() - 1, Rtf.size() / 1e6, Save, Load, T.nsecsElapsed() / 1e6);
    }

    // --- 2. The character bound: a stream of 90,000-character lines past it ---
    {
        TRichView View;
        Show(View);
        const QString Data = HexData(90000, 3) + QLatin1Char('\n');
        const long RssBefore = RssBytes();
        double Worst = 0, TrimWorst = 0;
        int Trims = 0;
        QElapsedTimer T;
        for (int I = 0; I < 1200; ++I) {
            const int Before = View.TextLength();
            T.start();
            View.Append({{Tag(I), Grey}, {Data, Blue}});
            const double Ms = T.nsecsElapsed() / 1e6;
            if (View.TextLength() < Before) {
                ++Trims;
                TrimWorst = std::max(TrimWorst, Ms);
            } else {
                Worst = std::max(Worst, Ms);
            }
            if (I % 20 == 0)
                QApplication::processEvents();
        }
        View.FlushUpdates();
        QApplication::processEvents();
        std::printf("\nCharacter bound %d: 1,200 lines of 90,000 characters appended, %d characters held, %d trims;\n"
                    "  append %.1f ms at most, %.1f ms at most with a trim; %.2f bytes per held character\n",
            View.CharacterBound(), View.TextLength(), Trims, Worst, TrimWorst,
            double(RssBytes() - RssBefore) / View.TextLength());
    }

    // --- 3. 90,000-character lines every 100 ms ---
    std::printf("\n90,000-character line every 100 ms, 1 ms tick, 6 s:\n");
    for (bool Wrap : {false, true}) {
        {
            TRichView View;
            LongLines("TRichView (sliced long lines)", View, Wrap, [&](const QString &Tag, const QString &Data) {
                View.Append({{Tag, Grey}, {Data + QLatin1Char('\n'), Blue}});
            });
        }
        {
            TBaseline Base;
            LongLines("baseline QPlainTextEdit, same batch", Base, Wrap,
                [&](const QString &Tag, const QString &Data) { Base.AppendLine(Tag, Data); });
        }
    }
    return 0;
}
