// The receive view's automatic save, the reopening of its file and the
// 20,000-line cut, with 120,000 received lines of 100 bytes in hex in a shown
// view, each beside a plain baseline over the same text in the same run:
// writing the plain text with stdio, reading the file back whole, and erasing
// the first 20,000 lines of a std::string.
// Run: xvfb-run -a build/bench/AutoSaveBench (or QT_QPA_PLATFORM=offscreen).
#include "AutoSave.h"
#include "RichView.h"
#include "RtfWriter.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {
constexpr int Lines = TAutoSave::LineBound;

QString HexLine(int Seed)
{
    static const char Hex[] = "0123456789ABCDEF";
    QString S;
    S.reserve(300);
    for (int I = 0; I < 100; ++I) {
        const int B = (Seed * 31 + I * 7) & 0xFF;
        S += QLatin1Char(Hex[B >> 4]);
        S += QLatin1Char(Hex[B & 15]);
        if (I < 99)
            S += QLatin1Char(' ');
    }
    return S;
}

void AddLine(TRichView &View, int I)
{
    View.Append({{QStringLiteral("[12:00:00 %1] ").arg(I % 1000, 3, 10, QLatin1Char('0')), QColor(128, 128, 128)},
        {HexLine(I), QColor(0, 0, 200)}, {QStringLiteral("\r\n"), QColor(0, 0, 200)}});
}

void Fill(TRichView &View, int Count)
{
    for (int I = 0; I < Count; ++I)
        AddLine(View, I);
    View.FlushUpdates();
    QApplication::processEvents();
}

// The longest gap between the turns of the event loop while Step runs from
// it, as a user's repaints would see it.
struct TStallMeter {
    QTimer Timer;
    QElapsedTimer Since;
    qint64 Max = 0;
    TStallMeter()
    {
        Timer.setInterval(5);
        QObject::connect(&Timer, &QTimer::timeout, [this] { Max = std::max(Max, Since.restart()); });
    }
    void Start()
    {
        Max = 0;
        Since.start();
        Timer.start();
    }
};

double Ms(const QElapsedTimer &T)
{
    return T.nsecsElapsed() / 1e6;
}
}  // namespace

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    QTemporaryDir Dir;
    TSettingsRecord Settings;
    TRichView View;
    View.resize(900, 600);
    View.show();
    View.KeepFindCopy();  // as the program's receive view does, for its Find dialog
    TAutoSave Auto(&View, Settings);
    const QString Folder = Dir.filePath(QStringLiteral("logs"));
    QDir().mkpath(Folder);

    // 1. The automatic save of the full view: the last line reaches N.
    Fill(View, Lines - 1);
    const std::string Plain = View.toPlainText().toStdString();
    // How much of the save is making the RTF, which the UI thread does.
    QElapsedTimer Rtf;
    Rtf.start();
    const qsizetype RtfBytes = View.ToRtf().size();
    const double RtfMs = Ms(Rtf);
    // The copy the worker makes the RTF from, at once (the save makes it in
    // slices between other work).
    Rtf.start();
    {
        const TRtfSnapshot Snapshot(*View.document());
    }
    const double CopyMs = Ms(Rtf);
    Settings.SetAutoSaveLineCount(Lines);
    Settings.SetAutoSaveFolder(Folder.toStdString());
    Auto.AutoSaveOn = true;
    TStallMeter Meter;
    Meter.Start();
    QElapsedTimer T;
    T.start();
    QTimer::singleShot(0, [&] {
        AddLine(View, Lines);
        View.FlushUpdates();
    });
    while (View.TextLength() != 0)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double SaveMs = Ms(T);
    QApplication::processEvents();
    const qint64 SaveStall = Meter.Max;
    Meter.Timer.stop();
    const QString Saved = Auto.LastSaved();
    std::printf("making the RTF of %d lines alone: %.0f ms (%.1f MB); copying them for it, at once: %.0f ms\n",
        Lines - 1, RtfMs, RtfBytes / 1e6, CopyMs);
    T.start();
    {
        std::FILE *F = std::fopen(Dir.filePath(QStringLiteral("plain.txt")).toLocal8Bit().constData(), "wb");
        std::fwrite(Plain.data(), 1, Plain.size(), F);
        std::fclose(F);
    }
    const double PlainWriteMs = Ms(T);
    std::printf("auto save of %d lines: %.0f ms (UI stall max %lld ms), %.1f MB RTF; plain fwrite of the text: %.0f "
                "ms\n",
        Lines, SaveMs, SaveStall, QFileInfo(Saved).size() / 1e6, PlainWriteMs);

    // 2. Opening that file back.
    Auto.AutoSaveOn = false;
    T.start();
    View.LoadFile(Saved);
    View.FlushUpdates();
    QApplication::processEvents();
    const double OpenMs = Ms(T);
    T.start();
    QFile Raw(Saved);
    Raw.open(QIODevice::ReadOnly);
    const QByteArray Bytes = Raw.readAll();
    const double ReadMs = Ms(T);
    std::printf("open of the saved file: %.0f ms, %d lines; plain read of its bytes: %.1f ms (%lld bytes)\n", OpenMs,
        TAutoSave::CompleteLines(&View), ReadMs, static_cast<long long>(Bytes.size()));

    // 3. The cut: line 120,001 arrives with neither option on. (Emptying the
    // full view is the last step of an automatic save, on the UI thread.)
    T.start();
    View.ClearText();
    std::printf("emptying the view of %d lines: %.0f ms\n", Lines, Ms(T));
    Fill(View, Lines);
    T.start();
    AddLine(View, Lines);
    View.FlushUpdates();
    const double CutMs = Ms(T);
    const int After = TAutoSave::CompleteLines(&View);
    std::string Text = Plain;
    T.start();
    std::size_t Pos = 0;
    for (int I = 0; I < TAutoSave::LinesCut; ++I)
        Pos = Text.find('\n', Pos) + 1;
    Text.erase(0, Pos);
    const double EraseMs = Ms(T);
    std::printf("cut of %d lines at %d: %.1f ms, %d lines left; std::string erase of the same lines: %.1f ms\n",
        TAutoSave::LinesCut, Lines + 1, CutMs, After, EraseMs);
    return 0;
}
