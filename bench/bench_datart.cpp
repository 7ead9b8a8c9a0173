// Cost of the display tick per line against the floor of appending the same
// tag and data to the same kind of view directly: what the runtime adds
// (fetch under the queue lock, split, tag, colour lookup, Latin-1
// conversion) should be small next to the view's own append.
//   ./build/bench/bench_datart [--quick]   (QT_QPA_PLATFORM=offscreen is fine)
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::string HexData(int Bytes)
{
    static const char Digits[] = "0123456789ABCDEF";
    std::string S;
    for (int I = 0; I < Bytes; ++I) {
        if (I)
            S += ' ';
        S += Digits[(I * 7) >> 4 & 15];
        S += Digits[(I * 7) & 15];
    }
    return S;
}

// Microseconds per line for Lines lines through the display tick.
double TickRun(TQuillScomm &Link, const TSettingsRecord &Settings, int Lines, const std::string &Line)
{
    TRichView Send, Show, Find;
    TDataRT Rt(&Send, &Show, &Find, &Link, Settings);
    Rt.DisplayTimer->stop();
    Rt.ShowTime = true;
    Rt.ShowRxTx = true;
    for (int I = 0; I < Lines; ++I)
        Link.QueueLine(Line);
    QElapsedTimer T;
    T.start();
    for (int I = 0; I < Lines; ++I)
        Rt.DisplayTick();
    return double(T.nsecsElapsed()) / 1000.0 / Lines;
}

// The floor: the same runs appended straight to a view.
double AppendRun(int Lines, const QString &Tag, const QString &Data)
{
    TRichView Show;
    const QColor Grey(128, 128, 128), Colour(0, 0, 255);
    QElapsedTimer T;
    T.start();
    for (int I = 0; I < Lines; ++I)
        Show.Append(QList<TRichView::TRun> {{Tag, Grey}, {Data + QStringLiteral("\r\n"), Colour}});
    return double(T.nsecsElapsed()) / 1000.0 / Lines;
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication App(argc, argv);
    const bool Quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    TQuillScomm Link;  // never opened: lines are put into its queue
    TSettingsRecord Settings;

    std::printf("%-10s %8s %14s %14s %8s\n", "data", "lines", "tick us/line", "floor us/line", "ratio");
    for (int Bytes : {10, 100, 1000}) {
        const std::string Data = HexData(Bytes);
        const std::string Line = "R[14:03:07  15]" + Data;
        const QString Tag = QStringLiteral("[14:03:07  15 Rx] ");
        const QString QData = QString::fromLatin1(Data.data(), qsizetype(Data.size()));
        for (int Lines : {1000, Quick ? 5000 : 20000}) {
            const double Tick = TickRun(Link, Settings, Lines, Line);
            const double Floor = AppendRun(Lines, Tag, QData);
            std::printf("%5d B    %8d %14.1f %14.1f %8.2f\n", Bytes, Lines, Tick, Floor, Tick / Floor);
        }
    }
    return 0;
}
