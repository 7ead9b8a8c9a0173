// Timing of cycle send and the receive trigger, measured at the far end of a
// pseudo-terminal, each printed beside a plain C loop doing the same on a
// cable of its own at the same time; and the CPU an idle program takes with
// an armed timing trigger, beside the same program idle without it.
//   QT_QPA_PLATFORM=offscreen ./build/bench/bench_sendcycle [--quick]
//       [cycle|stall|trigger|idle]
// Full: cycle 60 s, a 50 ms stall in 10 s of cycle send, 1,000 requests per
// delay, idle 30 s. Quick: 10 s, 4 s, 200 requests, 10 s. Naming one part
// runs only that part.
#include "RunLoop.h"
#include "SocatPair.h"

#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"
#include "SetUnit.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double Ms(TClock::duration D)
{
    return std::chrono::duration<double, std::milli>(D).count();
}

double Percentile(std::vector<double> V, double P)
{
    if (V.empty())
        return 0;
    std::sort(V.begin(), V.end());
    return V[std::min(V.size() - 1, std::size_t(P * double(V.size() - 1) + 0.5))];
}

// Arrival times of single bytes at Fd until Stop.
std::vector<TClock::time_point> ReadArrivals(int Fd, const std::atomic<bool> &Stop)
{
    std::vector<TClock::time_point> At;
    while (!Stop) {
        pollfd P {Fd, POLLIN, 0};
        if (::poll(&P, 1, 20) <= 0)
            continue;
        const auto Now = TClock::now();
        char Buffer[256];
        const ssize_t N = ::read(Fd, Buffer, sizeof Buffer);
        for (ssize_t I = 0; I < N; ++I)
            At.push_back(Now);
    }
    return At;
}

struct TCycleFigures {
    std::size_t Sends = 0;
    double P50 = 0, P99 = 0, Max = 0, Drift = 0;
};

TCycleFigures CycleFigures(const std::vector<TClock::time_point> &At, double Interval)
{
    TCycleFigures F;
    F.Sends = At.size();
    if (At.size() < 2)
        return F;
    std::vector<double> Deviation;
    for (std::size_t I = 1; I < At.size(); ++I)
        Deviation.push_back(std::abs(Ms(At[I] - At[I - 1]) - Interval));
    F.P50 = Percentile(Deviation, 0.5);
    F.P99 = Percentile(Deviation, 0.99);
    F.Max = *std::max_element(Deviation.begin(), Deviation.end());
    F.Drift = Ms(At.back() - At.front()) - Interval * double(At.size() - 1);
    return F;
}

// How far the sends after the first gap longer than 1.5 intervals (a stall)
// are from the schedule of those before it: the median offset after, less
// the median before, each folded into one interval around the first send.
double PhaseShift(const std::vector<TClock::time_point> &At, double Interval)
{
    std::size_t Gap = 0;
    for (std::size_t I = 1; I < At.size() && Gap == 0; ++I)
        if (Ms(At[I] - At[I - 1]) > 1.5 * Interval)
            Gap = I;
    if (Gap < 2 || Gap + 2 >= At.size())
        return std::nan("");
    std::vector<double> Before, After;
    for (std::size_t I = 0; I < At.size(); ++I) {
        const double Off = std::remainder(Ms(At[I] - At[0]), Interval);
        if (I < Gap)
            Before.push_back(Off);
        else if (I > Gap)  // the late send itself is not on any schedule
            After.push_back(Off);
    }
    return Percentile(After, 0.5) - Percentile(Before, 0.5);
}

void PrintCycle(const char *Who, const TCycleFigures &F)
{
    std::printf("  %-10s sends %6zu  deviation p50 %6.3f  p99 %6.3f  max %7.3f ms  drift of the last %+8.3f ms\n", Who,
        F.Sends, F.P50, F.P99, F.Max, F.Drift);
}

int OpenRaw(const std::string &Path)
{
    const int Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY);
    termios T {};
    tcgetattr(Fd, &T);
    cfmakeraw(&T);
    tcsetattr(Fd, TCSANOW, &T);
    return Fd;
}

// Requests written at the far end one after the other, each answer waited
// for (at most Timeout): latency from the request's last byte written to the
// answer's first byte read.
struct TRequests {
    std::vector<double> Latency;
    int Unanswered = 0;
    std::size_t ExtraBytes = 0;
};
TRequests RunRequests(int Far, int Count, int TimeoutMs)
{
    static const char Request[] = {1, 3, 0, 0, 0, 0x0A};
    TRequests R;
    for (int I = 0; I < Count; ++I) {
        if (::write(Far, Request, sizeof Request) != ssize_t(sizeof Request))
            break;
        const auto Written = TClock::now();
        std::size_t Got = 0;
        TClock::time_point First {};
        while (Got < 2 && Ms(TClock::now() - Written) < TimeoutMs) {
            pollfd P {Far, POLLIN, 0};
            if (::poll(&P, 1, 5) <= 0)
                continue;
            const auto Now = TClock::now();
            char Buffer[64];
            const ssize_t N = ::read(Far, Buffer, sizeof Buffer);
            if (N > 0 && Got == 0)
                First = Now;
            Got += std::size_t(std::max<ssize_t>(N, 0));
        }
        if (Got < 2) {
            ++R.Unanswered;
            continue;
        }
        R.Latency.push_back(Ms(First - Written));
        R.ExtraBytes += Got - 2;
        // A pause before the next request, so that the two are not one block.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // A late second answer shows up here.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    char Buffer[256];
    for (pollfd P {Far, POLLIN, 0}; ::poll(&P, 1, 0) > 0;) {
        const ssize_t N = ::read(Far, Buffer, sizeof Buffer);
        if (N <= 0)
            break;
        R.ExtraBytes += std::size_t(N);
    }
    return R;
}

void PrintRequests(const char *Who, const TRequests &R)
{
    std::printf("  %-10s answered %4zu  unanswered %d  extra bytes %zu  latency p50 %7.2f  p99 %7.2f  max %7.2f ms\n",
        Who, R.Latency.size(), R.Unanswered, R.ExtraBytes, Percentile(R.Latency, 0.5), Percentile(R.Latency, 0.99),
        R.Latency.empty() ? 0.0 : *std::max_element(R.Latency.begin(), R.Latency.end()));
}

double CpuSeconds()
{
    rusage U {};
    getrusage(RUSAGE_SELF, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) + double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop while Work runs on a thread of its own.
template <class F> auto WhileLoopRuns(F Work)
{
    decltype(Work()) Result {};
    QEventLoop Loop;
    std::thread T([&] {
        Result = Work();
        QMetaObject::invokeMethod(&Loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    Loop.exec();
    T.join();
    return Result;
}

void Load(const char *What)
{
    std::FILE *F = std::fopen("/proc/loadavg", "r");
    char Text[128] = {};
    if (F) {
        if (!std::fgets(Text, sizeof Text, F))
            Text[0] = 0;
        std::fclose(F);
    }
    std::printf("load %s: %s", What, Text);
}

}  // namespace

int main(int argc, char *argv[])
{
    bool Quick = false;
    QString Only;
    for (int I = 1; I < argc; ++I) {
        if (std::strcmp(argv[I], "--quick") == 0)
            Quick = true;
        else
            Only = QString::fromLocal8Bit(argv[I]);
    }
    if (!Only.isEmpty() && Only != QLatin1String("cycle") && Only != QLatin1String("stall") &&
        Only != QLatin1String("trigger") && Only != QLatin1String("idle")) {
        std::fprintf(stderr, "usage: bench_sendcycle [--quick] [cycle|stall|trigger|idle]\n");
        return 2;
    }
    auto Runs = [&](const char *Part) { return Only.isEmpty() || Only == QLatin1String(Part); };
    const int CycleSeconds = Quick ? 10 : 60;
    const int Requests = Quick ? 200 : 1000;
    const int IdleSeconds = Quick ? 10 : 30;
    const int Interval = 20;

    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    QApplication App(argc, argv);
    TSocatPair Cable, Floor;
    if (!Cable.Start() || !Floor.Start()) {
        std::fprintf(stderr, "socat: %s%s\n", qPrintable(Cable.Error), qPrintable(Floor.Error));
        return 1;
    }
    const QStringList Ports {QString::fromStdString(Cable.Near())};
    std::unique_ptr<TMainForm> Main = CreateProgram({}, &Ports);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;
    Main->findChild<QComboBox *>(QStringLiteral("CBoxPort"))->setCurrentIndex(0);
    Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
    if (!Main->Link()->Port.Connected()) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    Main->SendForm->RichSend->setPlainText(QStringLiteral("55\n01 03 00 00 00 0A\nAA BB"));
    TSetForm *Form = Main->SetForm;
    Load("at start");

    // The floor runs beside the program, on a cable of its own, so that both
    // meet the same moments of a busy machine.

    // ---- Cycle send.
    if (Runs("cycle")) {
        std::printf("cycle send, interval %d ms, %d s (%s), the C loop beside the program:\n", Interval, CycleSeconds,
            Quick ? "quick" : "full");
        std::atomic<bool> Stop {false};
        std::vector<TClock::time_point> FloorAt, At;
        std::thread FloorReader([&] { FloorAt = ReadArrivals(Floor.Far(), Stop); });
        std::thread Reader([&] { At = ReadArrivals(Cable.Far(), Stop); });
        // The interface thread's stalls meanwhile, from a 10 ms probe.
        std::vector<double> Stall;
        QTimer Probe;
        Probe.setTimerType(Qt::PreciseTimer);
        auto Last = TClock::now();
        QObject::connect(&Probe, &QTimer::timeout, [&] {
            const auto Now = TClock::now();
            Stall.push_back(std::max(0.0, Ms(Now - Last) - 10));
            Last = Now;
        });
        Main->SendForm->ToolButton2->trigger();
        Form->RadioButton1->click();
        Form->RadioButton5->setChecked(true);
        Form->Edit2->setText(QStringLiteral("1"));
        Form->Edit10->setText(QString::number(Interval));
        Form->CheckBox1->setChecked(true);
        Form->Button3->click();
        // The floor: a thread that writes one byte at every due time.
        std::thread FloorWriter([&] {
            const int Near = OpenRaw(Floor.Near());
            timespec Due {};
            clock_gettime(CLOCK_MONOTONIC, &Due);
            for (int I = 0; I < CycleSeconds * 1000 / Interval; ++I) {
                Due.tv_nsec += Interval * 1000000L;
                if (Due.tv_nsec >= 1000000000L) {
                    Due.tv_nsec -= 1000000000L;
                    ++Due.tv_sec;
                }
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &Due, nullptr);
                const char Byte = 0x55;
                if (::write(Near, &Byte, 1) != 1)
                    break;
            }
            ::close(Near);
        });
        Last = TClock::now();
        Probe.start(10);
        RunEventLoop(CycleSeconds * 1000 + Interval / 2);
        Main->SendForm->ToolButton2->trigger();
        Form->CheckBox1->setChecked(false);
        Form->Button3->click();
        Probe.stop();
        FloorWriter.join();
        RunEventLoop(200);
        Stop = true;
        FloorReader.join();
        Reader.join();
        PrintCycle("C loop", CycleFigures(FloorAt, Interval));
        PrintCycle("Tallyscope", CycleFigures(At, Interval));
        std::printf("  UI stall (10 ms probe): p50 %.2f  p99 %.2f  max %.2f ms\n", Percentile(Stall, 0.5),
            Percentile(Stall, 0.99), Stall.empty() ? 0.0 : *std::max_element(Stall.begin(), Stall.end()));
        Load("after cycle");
    }

    // ---- Cycle send after a stall: the interface thread is held 50 ms, and
    // the C loop's thread as long at the same moment.
    if (Runs("stall")) {
        const int StallMs = 50;
        const int Seconds = Quick ? 4 : 10;
        std::printf("cycle send, interval %d ms, %d s, both held %d ms halfway (drift after the stall):\n", Interval,
            Seconds, StallMs);
        std::atomic<bool> Stop {false}, HoldFloor {false};
        std::vector<TClock::time_point> FloorAt, At;
        std::thread FloorReader([&] { FloorAt = ReadArrivals(Floor.Far(), Stop); });
        std::thread Reader([&] { At = ReadArrivals(Cable.Far(), Stop); });
        Main->SendForm->ToolButton2->trigger();
        Form->RadioButton1->click();
        Form->RadioButton5->setChecked(true);
        Form->Edit2->setText(QStringLiteral("1"));
        Form->Edit10->setText(QString::number(Interval));
        Form->CheckBox1->setChecked(true);
        Form->Button3->click();
        std::thread FloorWriter([&] {
            const int Near = OpenRaw(Floor.Near());
            timespec Due {};
            clock_gettime(CLOCK_MONOTONIC, &Due);
            for (int I = 0; I < Seconds * 1000 / Interval; ++I) {
                if (HoldFloor.exchange(false))
                    std::this_thread::sleep_for(std::chrono::milliseconds(StallMs));
                Due.tv_nsec += Interval * 1000000L;
                if (Due.tv_nsec >= 1000000000L) {
                    Due.tv_nsec -= 1000000000L;
                    ++Due.tv_sec;
                }
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &Due, nullptr);
                const char Byte = 0x55;
                if (::write(Near, &Byte, 1) != 1)
                    break;
            }
            ::close(Near);
        });
        QTimer::singleShot(Seconds * 500, Qt::PreciseTimer, [&] {
            HoldFloor = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(StallMs));
        });
        RunEventLoop(Seconds * 1000 + Interval / 2);
        Main->SendForm->ToolButton2->trigger();
        Form->CheckBox1->setChecked(false);
        Form->Button3->click();
        FloorWriter.join();
        RunEventLoop(200);
        Stop = true;
        FloorReader.join();
        Reader.join();
        std::printf("  %-10s sends %6zu  drift after the stall %+7.3f ms\n", "C loop", FloorAt.size(),
            PhaseShift(FloorAt, Interval));
        std::printf(
            "  %-10s sends %6zu  drift after the stall %+7.3f ms\n", "Tallyscope", At.size(), PhaseShift(At, Interval));
        Load("after stall");
    }

    // ---- Receive trigger.
    if (Runs("trigger")) {
        for (const int Delay : {0, 50}) {
            std::printf("receive trigger, delay %d ms, %d requests, the C loop beside the program:\n", Delay, Requests);
            Main->SendForm->ToolButton3->trigger();
            Form->StringGrid2->item(0, 1)->setText(QStringLiteral("2"));
            Form->StringGrid2->item(0, 2)->setText(QStringLiteral("3"));
            Form->Edit1->setText(QString::number(Delay));
            Form->CheckBox3->setChecked(true);
            Form->Button1->click();
            // The floor: answer each whole request after the delay.
            const int Near = OpenRaw(Floor.Near());
            std::atomic<bool> Stop {false};
            std::thread Responder([&] {
                std::size_t Have = 0;
                while (!Stop) {
                    pollfd P {Near, POLLIN, 0};
                    if (::poll(&P, 1, 20) <= 0)
                        continue;
                    char Buffer[64];
                    const ssize_t N = ::read(Near, Buffer, sizeof Buffer);
                    Have += std::size_t(std::max<ssize_t>(N, 0));
                    if (Have >= 6) {
                        Have = 0;
                        std::this_thread::sleep_for(std::chrono::milliseconds(Delay));
                        const char Answer[] = {char(0xAA), char(0xBB)};
                        if (::write(Near, Answer, 2) != 2)
                            break;
                    }
                }
            });
            TRequests FloorR;
            std::thread FloorRequests([&] { FloorR = RunRequests(Floor.Far(), Requests, 1000); });
            const TRequests R = WhileLoopRuns([&] { return RunRequests(Cable.Far(), Requests, 1000); });
            FloorRequests.join();
            Stop = true;
            Responder.join();
            ::close(Near);
            PrintRequests("C loop", FloorR);
            PrintRequests("Tallyscope", R);
            std::printf("  target p99 <= %d ms\n", Delay + 100 + 10);
        }
        Main->SendForm->ToolButton3->trigger();
        Form->CheckBox3->setChecked(false);
        Form->Button1->click();
        Load("after trigger");
    }

    // ---- Idle: without a trigger, then with an armed timing trigger, with
    // the port closed (nothing else wakes the program) and open (the
    // reader's watch of the modem lines wakes it too).
    if (Runs("idle")) {
        auto IdleCpu = [&] {
            RunEventLoop(1000);
            const double Cpu = CpuSeconds();
            const auto Start = TClock::now();
            RunEventLoop(IdleSeconds * 1000);
            return (CpuSeconds() - Cpu) / (Ms(TClock::now() - Start) / 1000) * 100;
        };
        auto Arm = [&](bool On) {
            Main->SendForm->ToolButton3->trigger();
            Form->DateTimePicker1->setTime(QTime::currentTime().addSecs(6 * 3600));
            Form->CheckBox2->setChecked(On);
            Form->Button1->click();
        };
        Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
        const double ClosedPlain = IdleCpu();
        Arm(true);
        const double ClosedArmed = IdleCpu();
        Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
        const double OpenArmed = IdleCpu();
        Arm(false);
        const double OpenPlain = IdleCpu();
        std::printf("idle %d s, %% of one core (target <= 0.2 %% with an armed timing trigger):\n"
                    "  port closed: no trigger %.3f, armed timing trigger %.3f\n"
                    "  port open:   no trigger %.3f, armed timing trigger %.3f\n",
            IdleSeconds, ClosedPlain, ClosedArmed, OpenPlain, OpenArmed);
    }
    Load("at the end");
    Main->close();
    return 0;
}
