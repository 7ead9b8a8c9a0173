// Writes the three settings files (the "data" record, config.ini and the
// "send" file) through the program's own save code, over and over, so that
// savekill.sh can kill it at any point; and loads them as a start would.
//   savekill write DIR   alternate versions A and B of each file until killed
//   savekill refs DIR    write version A into DIR/a and B into DIR/b
//   savekill load DIR    read the three files back; exit 1 when one fails
//   savekill save DIR    write version B once, each file on its own, and
//                        print what the user would be told for each failure
#include "LayoutFile.h"
#include "RichView.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace {

void WriteVersion(const QString &Dir, int Version, TRichView &View)
{
    TSettingsRecord Record;
    Record.SetAutoSaveLineCount(Version ? 20000 : 500);
    Record.SetLastMessageFile(Version ? "/tmp/b.rtf" : "/tmp/a.rtf");
    WriteSettingsFile(Record, Dir + QStringLiteral("/data"));
    TLayout Layout;
    Layout.Normal = Version ? QRect(1, 2, 800, 600) : QRect(30, 40, 1024, 700);
    Layout.PortName = Version ? QStringLiteral("/dev/ttyUSB1") : QStringLiteral("/dev/ttyS0");
    if (!TLayoutFile(Dir + QStringLiteral("/config.ini")).Write(Layout))
        throw std::runtime_error("config.ini not written");
    View.clear();
    // Large enough that a kill often lands inside the write.
    for (int Line = 0; Line < 400; ++Line)
        View.Append(QStringLiteral("%1 line %2 of the send view\n").arg(QLatin1Char(Version ? 'B' : 'A')).arg(Line));
    View.SaveRtf(Dir + QStringLiteral("/send"));
}

}  // namespace

int main(int Argc, char **Argv)
{
    QApplication App(Argc, Argv);
    const QStringList Args = App.arguments();
    if (Args.size() != 3)
        return 2;
    const QString &Dir = Args[2];
    TRichView View;
    try {
        if (Args[1] == QLatin1String("write")) {
            for (int Version = 0;; Version ^= 1)
                WriteVersion(Dir, Version, View);
        }
        if (Args[1] == QLatin1String("refs")) {
            QDir().mkpath(Dir + QStringLiteral("/a"));
            QDir().mkpath(Dir + QStringLiteral("/b"));
            WriteVersion(Dir + QStringLiteral("/a"), 0, View);
            WriteVersion(Dir + QStringLiteral("/b"), 1, View);
            return 0;
        }
        if (Args[1] == QLatin1String("save")) {
            // One file at a time, as the exit does, so one failure does not
            // hide another.
            int Failed = 0;
            try {
                TSettingsRecord Record;
                Record.SetAutoSaveLineCount(20000);
                Record.SetLastMessageFile("/tmp/b.rtf");
                WriteSettingsFile(Record, Dir + QStringLiteral("/data"));
            } catch (const std::exception &E) {
                std::printf("data: told: %s\n", E.what());
                ++Failed;
            }
            TLayout Layout;
            Layout.Normal = QRect(1, 2, 800, 600);
            Layout.PortName = QStringLiteral("/dev/ttyUSB1");
            if (!TLayoutFile(Dir + QStringLiteral("/config.ini")).Write(Layout)) {
                std::printf("config.ini: not written (the program does not say so)\n");
                ++Failed;
            }
            try {
                View.clear();
                for (int Line = 0; Line < 400; ++Line)
                    View.Append(QStringLiteral("B line %1 of the send view\n").arg(Line));
                View.SaveRtf(Dir + QStringLiteral("/send"));
            } catch (const std::exception &E) {
                std::printf("send: told: %s\n", E.what());
                ++Failed;
            }
            return Failed ? 3 : 0;
        }
        if (Args[1] == QLatin1String("load")) {
            TSettingsRecord Record;
            ReadSettingsFile(Record, Dir + QStringLiteral("/data"));
            TLayout Fallback;
            const TLayout Layout = TLayoutFile(Dir + QStringLiteral("/config.ini")).Read(Fallback);
            if (Layout.PortName.isEmpty())
                throw std::runtime_error("config.ini holds no port");
            View.LoadFile(Dir + QStringLiteral("/send"));
            if (View.blockCount() < 400)
                throw std::runtime_error("send file short");
            return 0;
        }
    } catch (const std::exception &E) {
        std::fprintf(stderr, "%s\n", E.what());
        return 1;
    }
    return 2;
}
