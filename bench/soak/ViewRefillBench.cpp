// Memory of the receive view emptied and filled again, as automatic save
// does: resident memory with the view full, emptied, and filled halfway
// again, three rounds. The halfway figure must stay below the first full
// one (the document would otherwise keep the removed text in its buffer).
//   QT_QPA_PLATFORM=offscreen ./build/bench/soak/ViewRefillBench
#include "RichView.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

namespace {
double RssMB()
{
    QFile F(QStringLiteral("/proc/self/statm"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    return double(F.readAll().split(' ').value(1).toLong()) * 4096 / 1e6;
}
}  // namespace

int main(int argc, char **argv)
{
    QApplication App(argc, argv);
    TRichView View;
    View.resize(800, 600);
    View.show();
    // Lines as the link makes them at 115200 baud: a tag and about 1,300 bytes in hex.
    const QString Data(3900, QLatin1Char('A'));
    const auto Fill = [&](int Lines) {
        for (int I = 0; I < Lines; ++I) {
            View.Append({{QStringLiteral("[12:00:00 000 Rx] "), QColor(128, 128, 128)}, {Data, QColor(0, 0, 200)},
                {QStringLiteral("\r\n"), QColor(0, 0, 200)}});
            if (I % 50 == 0) {
                View.FlushUpdates();
                QApplication::processEvents();
            }
        }
        View.FlushUpdates();
        QApplication::processEvents();
    };
    std::printf("resident at start %.1f MB\n", RssMB());
    double FirstFull = 0, WorstHalf = 0;
    for (int Round = 1; Round <= 3; ++Round) {
        Fill(5000);
        const double Full = RssMB();
        const int Chars = View.TextLength();
        View.ClearText();
        QApplication::processEvents();
        const double Emptied = RssMB();
        Fill(2500);
        const double Half = RssMB();
        View.ClearText();
        if (Round == 1)
            FirstFull = Full;
        WorstHalf = std::max(WorstHalf, Half);
        std::printf("round %d: full (%d characters) %.1f MB, emptied %.1f MB, half filled again %.1f MB\n", Round,
            Chars, Full, Emptied, Half);
    }
    const bool Pass = WorstHalf < FirstFull;
    std::printf("%s half filled again stays below the first full view (%.1f < %.1f MB)\n", Pass ? "ok  " : "FAIL",
        WorstHalf, FirstFull);
    return Pass ? 0 : 1;
}
