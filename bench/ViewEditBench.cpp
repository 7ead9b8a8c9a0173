// The editing side of the rich-text view, each figure from a process of its
// own (peak memory is per process):
//
//   ViewEditBench load MB plain|rtf new|old
//     Loads a generated file of MB mebibytes (received-looking lines) into a
//     view with the default character bound: time, peak resident memory
//     (VmHWM) and what the view holds. "old" does what loading did before it
//     was bounded: read the whole file, insert all of it, then trim.
//   ViewEditBench count MCHARS
//     A selection of MCHARS million characters: time to count it for the
//     cursor report by copying it (as before) and in place, hex and
//     characters.
#include "RichView.h"
#include "RtfReader.h"
#include "SendClass.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>

#include <cstdio>

namespace {

long PeakKb()
{
    QFile F(QStringLiteral("/proc/self/status"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &Line : F.readAll().split('\n'))
        if (Line.startsWith("VmHWM:"))
            return Line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

QByteArray Line(int I, bool Rtf)
{
    const QByteArray Data = QByteArray::number(I % 100000).rightJustified(5, '0') + " 01 02 03 04 05 06 07 08 09 0A";
    return Rtf ? "\\cf2 [10:00:00 ---] \\cf1 " + Data + "\\par\n" : "[10:00:00 ---] " + Data + "\r\n";
}

int Load(qint64 Mebibytes, bool Rtf, bool Old)
{
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("big"));
    {
        QFile F(Path);
        if (!F.open(QIODevice::WriteOnly))
            return 1;
        QByteArray Chunk;
        if (Rtf)
            F.write("{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue200;\\red128\\green128\\blue128;}\n");
        for (int I = 0; F.size() < Mebibytes << 20; ++I) {
            Chunk += Line(I, Rtf);
            if (Chunk.size() > (1 << 20))
                F.write(std::exchange(Chunk, QByteArray()));
        }
        F.write(Chunk);
        if (Rtf)
            F.write("}");
    }
    const long Before = PeakKb();
    TRichView V;
    QElapsedTimer T;
    T.start();
    if (Old) {
        QFile F(Path);
        if (!F.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray Data = F.readAll();
        QTextCursor C(V.document());
        InsertFileContent(C, Data);
        V.SetMaxLength(TRichView::MostCharacters);  // the trim after the insert
    } else {
        V.LoadFile(Path);
    }
    std::printf("load %s %lld MiB (%s): %lld ms, peak RSS %ld MB before, %ld MB after; view holds %d characters, "
                "%d lines\n",
        Rtf ? "rtf" : "plain", static_cast<long long>(QFile(Path).size() >> 20),
        Old ? "old: all, then trim" : "bounded", static_cast<long long>(T.elapsed()), Before / 1024, PeakKb() / 1024,
        V.TextLength(), V.LineCount());
    return 0;
}

int Count(int Millions)
{
    TRichView V;
    QString Text;
    for (int I = 0; Text.size() < Millions * 1'000'000; ++I)
        Text += QString::fromLatin1(Line(I, false));
    V.Append(Text);
    V.FlushUpdates();
    V.SetSelection(0, V.TextLength());
    for (const bool Hex : {false, true}) {
        QElapsedTimer T;
        T.start();
        const int Copied = SelectionSize(V.SelText(), Hex);
        const qint64 CopyMs = T.elapsed();
        T.restart();
        int InPlace = 0;
        if (Hex) {
            THexByteCounter Counter;
            V.VisitSelection([&Counter](QStringView Piece) { Counter.Add(Piece); });
            InPlace = Counter.Bytes();
        } else {
            InPlace = V.SelLength();
        }
        std::printf("count %s, %d characters selected: copied %lld ms (%d), in place %lld us (%d)\n",
            Hex ? "hex" : "chars", V.SelLength(), static_cast<long long>(CopyMs), Copied,
            static_cast<long long>(T.nsecsElapsed() / 1000), InPlace);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication App(argc, argv);
    const QStringList Args = App.arguments();
    if (Args.size() >= 5 && Args[1] == QLatin1String("load"))
        return Load(Args[2].toLongLong(), Args[3] == QLatin1String("rtf"), Args[4] == QLatin1String("old"));
    if (Args.size() >= 3 && Args[1] == QLatin1String("count"))
        return Count(Args[2].toInt());
    std::fprintf(stderr, "usage: ViewEditBench load MB plain|rtf new|old | count MCHARS\n");
    return 2;
}
