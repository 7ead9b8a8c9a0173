// Find over a day of traffic: 120,000 received lines of 100 bytes in hex in
// the receive view. Each figure is printed beside a plain std::string::find
// over the same text in the same run. During "Find All" a timer appends a
// received line every 10 ms, as the display tick does, and the gaps between
// its runs give the stall figures; the view's paints meanwhile are counted.
// Run under Xvfb or offscreen: ./build/bench/bench_find
#include "FindDiaUnit.h"
#include "FindUnit.h"
#include "RichView.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr int Lines = 120'000;

QString HexLine(int Index, const char *Last)
{
    QString Line = QStringLiteral("[10:%1:%2 ---]")
                       .arg((Index / 60) % 60, 2, 10, QLatin1Char('0'))
                       .arg(Index % 60, 2, 10, QLatin1Char('0'));
    for (int B = 0; B < 100; ++B)
        Line += QStringLiteral(" %1").arg((Index * 7 + B * 13) % 0xA0, 2, 16, QLatin1Char('0')).toUpper();
    if (Last)
        Line.replace(Line.size() - 5, 5, QLatin1String(Last));
    return Line;
}

class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject *, QEvent *E) override
    {
        if (E->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

double Ms(const QElapsedTimer &T)
{
    return double(T.nsecsElapsed()) / 1e6;
}
}  // namespace

int main(int argc, char **argv)
{
    QApplication App(argc, argv);
    TRichView View;
    View.resize(900, 600);
    View.SetWordWrap(false);
    TFindForm Output;
    TFindDialog Dialog(&View, &Output);
    Dialog.ShowOutput = [&] { Output.show(); };
    Dialog.Warn = [](QWidget *, const QString &, const QString &Text) {
        std::printf("message: %s\n", qPrintable(Text));
    };
    View.show();

    // Hex values stay below A0, so "FF FE" occurs only where it is put: in
    // every 100th line ("Find All" lists 1,200 lines) and in the last one.
    QString Text;
    for (int I = 0; I < Lines; ++I)
        Text += HexLine(I, I % 100 == 50 || I == Lines - 1 ? "FF FE" : nullptr) + QLatin1Char('\n');
    View.Append(Text);
    View.FlushUpdates();
    const std::string Plain = View.toPlainText().toStdString();
    std::printf("receive view: %d lines, %d characters\n", View.LineCount(), View.TextLength());

    // Baselines: every hit of the string, and the first hit after the top.
    QElapsedTimer T;
    T.start();
    int PlainHits = 0;
    for (std::size_t At = Plain.find("FF FE"); At != std::string::npos; At = Plain.find("FF FE", At + 5))
        ++PlainHits;
    const double PlainAll = Ms(T);
    T.restart();
    const std::size_t LastHit = Plain.find("FE FF FE");
    const double PlainNext = Ms(T);

    // Find Next from the top to the one hit in the last line.
    Dialog.FindText->setText(QStringLiteral("FE FF FE"));
    Dialog.FindAll->setChecked(false);
    Dialog.FindPosition = 0;
    T.restart();
    Dialog.RunFind();
    const double Next = Ms(T);
    const bool NextOk = Dialog.FindPosition == int(LastHit) + 1;
    std::printf("Find Next to the last line: %.1f ms (%s); std::string::find %.1f ms\n", Next,
        NextOk ? "found" : "WRONG PLACE", PlainNext);
    // Of which the view's own search (the rest is selecting the hit).
    T.restart();
    const int ViewHit = View.Find(QStringLiteral("FE FF FE"), 0, false);
    std::printf("  of which TRichView::Find: %.1f ms (%s)\n", Ms(T), ViewHit == int(LastHit) ? "same place" : "WRONG");
    // Without Match Case every line is upper-cased for the comparison.
    Dialog.UpLowCase->setChecked(true);
    Dialog.FindPosition = 0;
    T.restart();
    Dialog.RunFind();
    std::printf("Find Next to the last line, Match Case: %.1f ms\n", Ms(T));

    // Find All with lines arriving.
    for (bool MatchCase : {false, true}) {
        Dialog.UpLowCase->setChecked(MatchCase);
        Dialog.FindAll->setChecked(true);
        Dialog.FindText->setText(QStringLiteral("FF FE"));
        TPaintCounter Paints;
        View.viewport()->installEventFilter(&Paints);
        std::vector<double> Gaps;
        QElapsedTimer Since;
        int Arrived = 0;
        QTimer Tick;
        Tick.setInterval(10);
        QObject::connect(&Tick, &QTimer::timeout, [&] {
            if (Since.isValid())
                Gaps.push_back(std::max(0.0, Ms(Since) - 10.0));
            Since.restart();
            View.Append(HexLine(Lines + Arrived++, nullptr) + QLatin1Char('\n'));
        });
        Tick.start();
        Since.start();
        T.restart();
        Dialog.RunFind();
        const double All = Ms(T);
        Tick.stop();
        View.viewport()->removeEventFilter(&Paints);
        std::sort(Gaps.begin(), Gaps.end());
        const double P99 = Gaps.empty() ? 0 : Gaps[std::min(Gaps.size() - 1, Gaps.size() * 99 / 100)];
        const double Max = Gaps.empty() ? 0 : Gaps.back();
        std::printf("Find All%s: %.1f ms, %d lines listed (std::string::find: %.1f ms, %d hits); "
                    "meanwhile %d lines appended, %d paints, stall p99 %.1f ms, max %.1f ms\n",
            MatchCase ? " (Match Case)" : "", All, Output.RichFind->LineCount() - 1, PlainAll, PlainHits, Arrived,
            Paints.Paints, P99, Max);
    }
    return 0;
}
