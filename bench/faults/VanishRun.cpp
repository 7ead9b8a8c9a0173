// The device vanishing and coming back while the port is open, N times: the
// program's main window opens socat's near end through its own combo and
// Open Port command; socat is killed (its links go, as an unplugged
// adapter's node does) and started again on the same link path, and the port
// is opened again by the same command, as a user does.
//
// Each time: bytes written at the far end must be shown; after the kill the
// port must close with exactly one message naming the device; the process's
// CPU time (from /proc) over the time the device is gone must stay under 1 %
// of one core; nothing may crash. Message boxes are captured, not shown.
//
//   VanishRun [--times N] [--gone-ms MS] [--reopen-ms MS]
//
// --reopen-ms: how long the program may take to reopen the returned device
// by itself before Open Port is pressed (default 3000; 0 presses at once).
#include "QuillScomm.h"
#include "SendClass.h"
#include "SocatPair.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

class TCapture : public TRuntimeMessages {
public:
    QStringList List;
    void Warning(QWidget *, const QString &Caption, const QString &Text) override
    {
        List << Caption + QStringLiteral(": ") + Text;
    }
    void StandardError(const QString &Text) override { List << Text; }
};

// User and system CPU seconds of this whole process, from /proc.
double ProcessCpuSeconds()
{
    QFile F(QStringLiteral("/proc/self/stat"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray Stat = F.readAll();
    const QList<QByteArray> Rest = Stat.mid(Stat.lastIndexOf(')') + 2).split(' ');
    return Rest.size() > 12 ? (Rest[11].toDouble() + Rest[12].toDouble()) / double(sysconf(_SC_CLK_TCK)) : 0;
}

int Run(int Times, int GoneMs, int ReopenMs)
{
    const QStringList Ports;  // none from the machine: the cable's end is typed in
    std::unique_ptr<TMainForm> Main = CreateProgram(QStringList(), &Ports);
    TCapture Messages;
    Main->SetMessages(&Messages);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 2;
    auto *Combo = Main->findChild<QComboBox *>(QStringLiteral("CBoxPort"));
    QAction *OpenPort = Main->findChild<QAction *>(QStringLiteral("PortButton"));

    TSocatPair Pair;
    int Faults = 0;
    int Told = 0;
    double WorstCpu = 0, SumCpu = 0, GoneSeconds = 0;
    double QuietCpu = 0, QuietSeconds = 0;  // from the message to the return
    int ByItself = 0, ByCommand = 0;
    QString Sample;
    QElapsedTimer Wall;
    Wall.start();
    const auto Fault = [&Faults](int Time, const QString &What) {
        std::printf("time %d: %s\n", Time, qPrintable(What));
        ++Faults;
    };
    for (int Time = 1; Time <= Times; ++Time) {
        if (!Pair.Start()) {
            Fault(Time, QStringLiteral("socat: ") + Pair.Error);
            break;
        }
        if (Time == 1)
            Combo->setEditText(QString::fromStdString(Pair.Near()));
        else if (Combo->currentText() != QString::fromStdString(Pair.Near()))
            Fault(Time, QStringLiteral("the combo lost the port's name: ") + Combo->currentText());
        // A program that reopens a returned device by itself is given up to
        // ReopenMs; else (or with 0) Open Port is pressed, as a user does.
        // The command toggles: pressed only while the port is closed.
        const auto Open = [&] { return Main->Link() && Main->Link()->Port.Connected(); };
        if (Time > 1 && ReopenMs > 0 && QTest::qWaitFor(Open, ReopenMs))
            ++ByItself;
        if (!Open()) {
            OpenPort->trigger();
            ++ByCommand;
        }
        TQuillScomm *Link = Main->Link();
        if (!Link || !Link->Port.Connected()) {
            Fault(Time, QStringLiteral("Open Port did not open it again: ") + Messages.List.join(u'\n'));
            Pair.Stop();
            continue;
        }
        const uint32_t Before = Link->RxCount;
        const std::string Frame = "frame " + std::to_string(Time) + "\r\n";
        if (!Pair.WriteFar(Frame) || !QTest::qWaitFor([&] { return Link->RxCount - Before == Frame.size(); }, 5000))
            Fault(Time, QStringLiteral("the bytes written after the open did not arrive"));

        const qsizetype ToldBefore = Messages.List.size();
        const double Cpu0 = ProcessCpuSeconds();
        QElapsedTimer Gone;
        Gone.start();
        Pair.Stop();
        if (!QTest::qWaitFor([&] { return Messages.List.size() > ToldBefore && !Link->Port.Connected(); }, 5000))
            Fault(Time, QStringLiteral("the port was not closed with a message within 5 s"));
        const double CpuTold = ProcessCpuSeconds();
        QElapsedTimer Quiet;
        Quiet.start();
        // Gone for a while: the program must sleep. A plain event loop, not
        // QTest::qWait, which wakes every 10 ms itself.
        QEventLoop Idle;
        QTimer::singleShot(std::max(0, GoneMs - int(Gone.elapsed())), &Idle, &QEventLoop::quit);
        Idle.exec();
        const double CpuEnd = ProcessCpuSeconds();
        const double Cpu = CpuEnd - Cpu0;
        QuietCpu += CpuEnd - CpuTold;
        QuietSeconds += double(Quiet.elapsed()) / 1000;
        const double Seconds = double(Gone.elapsed()) / 1000;
        GoneSeconds += Seconds;
        SumCpu += Cpu;
        WorstCpu = std::max(WorstCpu, Cpu / Seconds * 100);
        const QStringList New = Messages.List.mid(ToldBefore);
        if (New.size() != 1 || !New.first().contains(QString::fromStdString(Pair.Near())) ||
            !New.first().contains(QStringLiteral("gone")))
            Fault(Time, QStringLiteral("not one clear message: ") + New.join(QStringLiteral(" | ")));
        else
            ++Told;
        if (Sample.isEmpty() && !New.isEmpty())
            Sample = New.first();
        if (Link->Port.Connected())
            Fault(Time, QStringLiteral("the port is still open after the device went"));
    }
    const double Total = SumCpu / std::max(GoneSeconds, 1e-9) * 100;
    std::printf("vanished %d times in %.0f s; %d clear messages; %d faults\n", Times, double(Wall.elapsed()) / 1000,
        Told, Faults);
    std::printf("CPU while gone: %.3f %% of one core over %.1f s in all, worst single time %.3f %% "
                "(whole process, /proc/self/stat, %ld ticks a second)\n",
        Total, GoneSeconds, WorstCpu, sysconf(_SC_CLK_TCK));
    std::printf("CPU from the message to the device's return: %.3f %% of one core over %.1f s\n",
        QuietCpu / std::max(QuietSeconds, 1e-9) * 100, QuietSeconds);
    std::printf("opened again by the program itself %d times, by Open Port %d times (the first open included)\n",
        ByItself, ByCommand);
    std::printf("message: %s\n", qPrintable(Sample));
    const bool Pass = Faults == 0 && Told == Times && Total < 1;
    std::printf("RESULT times=%d told=%d faults=%d cpu_gone=%.3f worst=%.3f verdict=%s\n", Times, Told, Faults, Total,
        WorstCpu, Pass ? "pass" : "FAIL");
    std::fflush(stdout);
    Main->SetMessages(nullptr);
    return Pass ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    int Times = 100;
    int GoneMs = 2000;
    int ReopenMs = 3000;
    for (int I = 1; I + 1 < argc; I += 2) {
        if (!std::strcmp(argv[I], "--times"))
            Times = std::max(1, std::atoi(argv[I + 1]));
        else if (!std::strcmp(argv[I], "--gone-ms"))
            GoneMs = std::max(0, std::atoi(argv[I + 1]));
        else if (!std::strcmp(argv[I], "--reopen-ms"))
            ReopenMs = std::max(0, std::atoi(argv[I + 1]));
    }
    QTemporaryDir Data;
    qputenv("XDG_DATA_HOME", Data.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", Data.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication App(argc, argv);
    return Run(Times, GoneMs, ReopenMs);
}
