// Reception cost: a fixed payload goes through a socat pseudo-terminal pair
// into a released reader thread while the queue is drained as the display
// tick does (one line per millisecond at most). Printed per run: MB/s
// received, CPU seconds per MB (the reader thread; the fetch loop apart),
// bytes lost, and the same payload through the floor (a plain read loop
// formatting every byte as "XX ") measured in the same run, as a ratio.
//
// Timing: single bytes 500 ms apart, each stamped gap against the true gap
// (taken when the byte was written), and a paced 1 MB/s run for lost bytes;
// for the reader at the normal policy and, as the baseline, at SCHED_IDLE.
// --load N keeps N cores busy meanwhile (stress-ng --cpu N).
//
//   bench_reader [--quick] [--timing] [--load N]
//     --timing: the timing part only
#include "QuillScomm.h"
#include "SocatPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

double CpuSeconds(clockid_t Clock)
{
    timespec T {};
    clock_gettime(Clock, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

struct TRun {
    const char *Name;
    std::size_t Bytes;
    double BytesPerSecond;  // 0: as fast as the pseudo-terminal takes them
};

struct TResult {
    double Seconds = 0;
    double Cpu = 0;       // reader thread (or the floor's loop)
    double DrainCpu = 0;  // the display tick's fetching
    std::size_t Received = 0;
    double MBps() const { return Received / 1e6 / Seconds; }
    double CpuPerMB() const { return Received ? Cpu / (Received / 1e6) : 0; }
    double DrainPerMB() const { return Received ? DrainCpu / (Received / 1e6) : 0; }
};

std::unique_ptr<TQuillComThread> StartReader(TQuillScomm &Link, bool Idle);

// Starts the cable and opens the link on its near end; the run cannot go on without.
void OpenOnCable(TSocatPair &Pair, TQuillScomm &Link)
{
    if (!Pair.Start()) {
        std::fprintf(stderr, "socat: %s\n", qPrintable(Pair.Error));
        std::exit(1);
    }
    Link.Port.SetPort(Pair.Near());
    Link.OpenPort();
}

// Writes the payload into the far end, paced in 10 ms slices when asked.
void Feed(TSocatPair &Pair, const TRun &Run)
{
    std::string Payload(Run.Bytes, '\0');
    for (std::size_t I = 0; I < Payload.size(); ++I)
        Payload[I] = static_cast<char>((I * 131) & 0xFF);
    const std::size_t Slice =
        Run.BytesPerSecond > 0 ? std::max<std::size_t>(1, static_cast<std::size_t>(Run.BytesPerSecond / 100)) : 65536;
    QElapsedTimer Clock;
    Clock.start();
    for (std::size_t Done = 0; Done < Payload.size(); Done += Slice) {
        Pair.WriteFar(Payload.substr(Done, std::min(Slice, Payload.size() - Done)));
        if (Run.BytesPerSecond > 0) {
            const double Due = (Done + Slice) / Run.BytesPerSecond * 1000.0;
            while (Clock.elapsed() < Due)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

TResult RunReader(const TRun &Run, bool Idle = false)
{
    TResult R;
    TSocatPair Pair;
    TQuillScomm Link;
    OpenOnCable(Pair, Link);
    auto Reader = StartReader(Link, Idle);
    clockid_t ReaderClock;
    pthread_getcpuclockid(Reader->NativeHandle(), &ReaderClock);

    const std::size_t Head = 13 + 2 * LocaleTimeSeparator(QLocale::system()).size();
    const double Reader0 = CpuSeconds(ReaderClock);
    const double Drain0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    QElapsedTimer Clock;
    Clock.start();
    std::thread Device([&Pair, &Run] { Feed(Pair, Run); });
    // The display tick: at most one line per millisecond.
    QElapsedTimer Quiet;
    Quiet.start();
    while (R.Received < Run.Bytes && Quiet.elapsed() < 3000) {
        const std::string Line = Link.FetchLine();
        if (Line.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        R.Received += (Line.size() - Head + 1) / 3;
        Quiet.restart();
    }
    R.Seconds = Clock.elapsed() / 1000.0;
    R.Cpu = CpuSeconds(ReaderClock) - Reader0;
    R.DrainCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - Drain0;
    Device.join();
    if (Link.RxCount.load() != R.Received)
        std::fprintf(stderr, "counter %u differs from lines %zu\n", Link.RxCount.load(), R.Received);
    return R;
}

// The least any monitor must do: read and format every byte as "XX ".
TResult RunFloor(const TRun &Run)
{
    TResult R;
    TSocatPair Pair;
    if (!Pair.Start()) {
        std::fprintf(stderr, "socat: %s\n", qPrintable(Pair.Error));
        std::exit(1);
    }
    const int Fd = ::open(Pair.Near().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios Raw {};
    tcgetattr(Fd, &Raw);
    cfmakeraw(&Raw);
    tcsetattr(Fd, TCSANOW, &Raw);
    static const char Digits[] = "0123456789ABCDEF";
    std::vector<unsigned char> Buffer(1 << 20);
    std::string Text;
    Text.reserve(3 << 20);
    const double Cpu0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    QElapsedTimer Clock;
    Clock.start();
    std::thread Device([&Pair, &Run] { Feed(Pair, Run); });
    while (R.Received < Run.Bytes) {
        pollfd P {Fd, POLLIN, 0};
        if (::poll(&P, 1, 3000) <= 0)
            break;
        const ssize_t N = ::read(Fd, Buffer.data(), Buffer.size());
        if (N <= 0)
            break;
        Text.clear();
        for (ssize_t I = 0; I < N; ++I) {
            Text += Digits[Buffer[I] >> 4];
            Text += Digits[Buffer[I] & 15];
            Text += ' ';
        }
        R.Received += static_cast<std::size_t>(N);
    }
    R.Seconds = Clock.elapsed() / 1000.0;
    R.Cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - Cpu0;
    Device.join();
    ::close(Fd);
    return R;
}

// The reader of Link started, and put at SCHED_IDLE when Idle (the policy it
// sets for itself is in place once it first parks).
std::unique_ptr<TQuillComThread> StartReader(TQuillScomm &Link, bool Idle)
{
    auto Reader = std::make_unique<TQuillComThread>(Link);
    while (!Reader->Parked())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (Idle) {
        sched_param Param {};
        pthread_setschedparam(Reader->NativeHandle(), SCHED_IDLE, &Param);
    }
    Reader->Release();
    return Reader;
}

struct TGapResult {
    int Lines = 0;  // lines received (one per byte expected)
    int Bytes = 0;
    double MaxError = 0;  // ms, largest |stamped gap - true gap|
    double MeanError = 0;
    int Within20 = 0;  // gaps stamped within 20 ms of the truth
    int Gaps = 0;
};

// Count single bytes ApartMs apart; the gap field of each line after the
// first against the time that really passed between the writes.
TGapResult RunGaps(bool Idle, int Count, int ApartMs)
{
    TGapResult R;
    TSocatPair Pair;
    TQuillScomm Link;
    OpenOnCable(Pair, Link);
    auto Reader = StartReader(Link, Idle);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> Written;
    std::thread Device([&] {
        auto Next = Clock::now();
        for (int I = 0; I < Count; ++I) {
            std::this_thread::sleep_until(Next);
            Written.push_back(Clock::now());
            Pair.WriteFar(std::string(1, static_cast<char>('a' + I % 26)));
            Next += std::chrono::milliseconds(ApartMs);
        }
    });
    const std::size_t Head = 13 + 2 * LocaleTimeSeparator(QLocale::system()).size();
    std::vector<std::string> Lines;
    QElapsedTimer Waited;
    Waited.start();
    while (Waited.elapsed() < Count * ApartMs + 2000) {
        std::string Line = Link.FetchLine();
        if (Line.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        else
            Lines.push_back(std::move(Line));
    }
    Device.join();
    R.Lines = static_cast<int>(Lines.size());
    R.Bytes = static_cast<int>(Link.RxCount.load());
    if (R.Lines != Count)
        return R;  // bytes joined or lost: the gaps do not pair up
    double Sum = 0;
    for (int I = 1; I < Count; ++I) {
        const std::string Gap = Lines[I].substr(Head - 5, 4);
        const double Stamped = Gap == " ---" ? 1000 : std::stoi(Gap.substr(1));
        const double True = std::chrono::duration<double, std::milli>(Written[I] - Written[I - 1]).count();
        const double Error = std::abs(Stamped - True);
        R.MaxError = std::max(R.MaxError, Error);
        Sum += Error;
        R.Within20 += Error <= 20;
        ++R.Gaps;
    }
    R.MeanError = R.Gaps ? Sum / R.Gaps : 0;
    return R;
}

void RunTiming(bool Quick)
{
    const int Count = Quick ? 6 : 12;
    const TRun Paced {"paced 1 MB/s", static_cast<std::size_t>(Quick ? 1000000 : 4000000), 1e6};
    std::printf("\n%-16s %14s %10s %10s %10s | %10s %8s\n", "reader policy", "bytes 500 ms", "<=20 ms", "max err ms",
        "mean err", "1 MB/s MB/s", "lost");
    for (const bool Idle : {false, true}) {
        const TGapResult G = RunGaps(Idle, Count, 500);
        const TResult P = RunReader(Paced, Idle);
        char Lines[32];
        std::snprintf(Lines, sizeof Lines, "%d/%d lines", G.Lines, Count);
        std::printf("%-16s %14s %6d/%-3d %10.1f %10.1f | %10.3f %8lld\n", Idle ? "SCHED_IDLE" : "normal", Lines,
            G.Within20, G.Gaps, G.MaxError, G.MeanError, P.MBps(),
            static_cast<long long>(Paced.Bytes) - static_cast<long long>(P.Received));
        std::fflush(stdout);
    }
    std::printf("<=20 ms: gaps stamped within 20 ms of the time between the writes; lines\n"
                "fewer than bytes means bytes were joined (stamped late) or lost.\n");
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    const QStringList Args = App.arguments();
    const bool Quick = Args.contains(QStringLiteral("--quick"));
    const double Scale = Quick ? 0.25 : 1.0;
    QProcess Load;
    const qsizetype LoadAt = Args.indexOf(QStringLiteral("--load"));
    if (LoadAt > 0 && LoadAt + 1 < Args.size()) {
        const QString Stress = QStandardPaths::findExecutable(QStringLiteral("stress-ng"));
        if (Stress.isEmpty()) {
            std::fprintf(stderr, "stress-ng is not installed (scripts/setup.sh)\n");
            return 1;
        }
        Load.start(Stress, {QStringLiteral("--cpu"), Args.at(LoadAt + 1), QStringLiteral("--quiet")});
        if (!Load.waitForStarted(5000))
            return 1;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::printf("with %s cores kept busy (stress-ng --cpu %s)\n", qPrintable(Args.at(LoadAt + 1)),
            qPrintable(Args.at(LoadAt + 1)));
    }
    if (Args.contains(QStringLiteral("--timing"))) {
        RunTiming(Quick);
        Load.terminate();
        Load.waitForFinished(5000);
        return 0;
    }
    const TRun Runs[] = {
        {"paced 115200 baud (11.5 kB/s)", static_cast<std::size_t>(46080 * Scale), 11520},
        {"paced 1 MB/s", static_cast<std::size_t>(4000000 * Scale), 1e6},
        {"unpaced", static_cast<std::size_t>(64 * 1048576 * Scale), 0},
    };
    std::printf("%-30s %9s %8s %10s %10s %6s | %8s %10s | %7s %7s\n", "run", "bytes", "MB/s", "reader s/MB",
        "tick s/MB", "lost", "floor MB/s", "floor s/MB", "MB/s x", "CPU x");
    for (const TRun &Run : Runs) {
        const TResult Ours = RunReader(Run);
        const TResult Floor = RunFloor(Run);
        std::printf("%-30s %9zu %8.3f %10.5f %10.5f %6lld | %10.3f %10.5f | %7.2f %7.2f\n", Run.Name, Run.Bytes,
            Ours.MBps(), Ours.CpuPerMB(), Ours.DrainPerMB(),
            static_cast<long long>(Run.Bytes) - static_cast<long long>(Ours.Received), Floor.MBps(), Floor.CpuPerMB(),
            Ours.MBps() / Floor.MBps(), Floor.CpuPerMB() > 0 ? Ours.CpuPerMB() / Floor.CpuPerMB() : 0.0);
        std::fflush(stdout);
    }
    std::printf("reader s/MB: CPU of the reader thread per MB received; tick s/MB: CPU of the\n"
                "1 ms fetch loop; floor: plain read loop formatting \"XX \"; x: ours / floor\n"
                "(MB/s: higher is better; CPU: reader only, lower is better).\n");
    RunTiming(Quick);
    Load.terminate();
    Load.waitForFinished(5000);
    return 0;
}
