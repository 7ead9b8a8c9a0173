// A port behind ser2net on loopback beside the same workloads on a local
// pseudo-terminal: the link and its reader thread as the program runs them,
// the queue drained as the display tick does (one line per millisecond at
// most). Printed per port: MB/s received with 1 MB/s offered and unpaced,
// bytes lost, CPU seconds of the reader thread per MB (ser2net's own CPU
// apart), and the answer time: from a frame written at the device's end to
// the answer, sent as the receive trigger does when the line is fetched,
// arriving back there (p50 and p99 of many).
//
//   bench_netport [--quick]
#include "QuillScomm.h"
#include "Ser2Net.h"
#include "SocatPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {

double CpuSeconds(clockid_t Clock)
{
    timespec T {};
    clock_gettime(Clock, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

enum class TKind { Local, Rfc2217, Socket };
const char *KindName(TKind K)
{
    return K == TKind::Local ? "local pty" : K == TKind::Rfc2217 ? "rfc2217 (ser2net)" : "socket (ser2net)";
}

// A port of the kind, opened by a link with its reader released.
struct TRig {
    TSocatPair Local;
    TSer2Net Server;
    TSocatPair *Cable = nullptr;
    TQuillScomm Link;
    std::unique_ptr<TQuillComThread> Reader;

    explicit TRig(TKind Kind)
    {
        std::string Name;
        if (Kind == TKind::Local) {
            if (!Local.Start()) {
                std::fprintf(stderr, "socat: %s\n", qPrintable(Local.Error));
                std::exit(1);
            }
            Cable = &Local;
            Name = Local.Near();
        } else {
            if (!Server.Start(Kind == TKind::Rfc2217)) {
                std::fprintf(stderr, "ser2net: %s\n", qPrintable(Server.Error));
                std::exit(1);
            }
            Cable = &Server.Cable();
            Name = Server.PortName();
        }
        Link.Port.SetPort(Name);
        Link.Port.SetBaudRate(br115200);
        Link.OpenPort();
        Reader = std::make_unique<TQuillComThread>(Link);
        while (!Reader->Parked())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Reader->Release();
    }
};

struct TResult {
    double Seconds = 0, Cpu = 0;
    std::size_t Received = 0;
    double MBps() const { return Received / 1e6 / Seconds; }
    double CpuPerMB() const { return Received ? Cpu / (Received / 1e6) : 0; }
};

TResult Throughput(TKind Kind, std::size_t Bytes, double BytesPerSecond)
{
    TRig Rig(Kind);
    clockid_t ReaderClock;
    pthread_getcpuclockid(Rig.Reader->NativeHandle(), &ReaderClock);
    const std::size_t Head = 13 + 2 * LocaleTimeSeparator(QLocale::system()).size();
    std::string Payload(Bytes, '\0');
    for (std::size_t I = 0; I < Payload.size(); ++I)
        Payload[I] = static_cast<char>((I * 131) & 0xFF);

    TResult R;
    const double Cpu0 = CpuSeconds(ReaderClock);
    QElapsedTimer Clock;
    Clock.start();
    std::thread Device([&] {
        const std::size_t Slice =
            BytesPerSecond > 0 ? std::max<std::size_t>(1, std::size_t(BytesPerSecond / 100)) : 65536;
        QElapsedTimer Paced;
        Paced.start();
        for (std::size_t Done = 0; Done < Payload.size(); Done += Slice) {
            Rig.Cable->WriteFar(Payload.substr(Done, std::min(Slice, Payload.size() - Done)));
            if (BytesPerSecond > 0)
                while (Paced.elapsed() < (Done + Slice) / BytesPerSecond * 1000.0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QElapsedTimer Quiet;
    Quiet.start();
    while (R.Received < Bytes && Quiet.elapsed() < 3000) {
        const std::string Line = Rig.Link.FetchLine();
        if (Line.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        R.Received += (Line.size() - Head + 1) / 3;
        Quiet.restart();
    }
    R.Seconds = Clock.elapsed() / 1000.0;
    R.Cpu = CpuSeconds(ReaderClock) - Cpu0;
    Device.join();
    return R;
}

// Milliseconds from a frame written at the far end to the answer read back
// there, Count times; sorted.
std::vector<double> AnswerTimes(TKind Kind, int Count)
{
    TRig Rig(Kind);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::vector<double> Times;
    std::atomic<bool> Done {false};
    // The display tick: fetch, and answer each received line at once.
    std::thread Tick([&] {
        while (!Done) {
            const std::string Line = Rig.Link.FetchLine();
            if (Line.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (Line[0] == 'R')
                Rig.Link.SendData("AA 55");
        }
    });
    for (int I = 0; I < Count; ++I) {
        const auto Start = std::chrono::steady_clock::now();
        Rig.Cable->WriteFar("\x01\x03");
        const std::string Got = Rig.Cable->ReadFar(2, 5000);
        if (Got.size() == 2)
            Times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Done = true;
    Tick.join();
    std::sort(Times.begin(), Times.end());
    return Times;
}

double Percentile(const std::vector<double> &Sorted, double P)
{
    if (Sorted.empty())
        return 0;
    return Sorted[std::min(Sorted.size() - 1, std::size_t(P * double(Sorted.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    const bool Quick = App.arguments().contains(QStringLiteral("--quick"));
    const std::size_t Paced = Quick ? 1000000 : 4000000;
    const std::size_t Unpaced = Quick ? 4 * 1048576 : 32 * 1048576;
    const int Answers = Quick ? 50 : 300;
    std::printf("%-18s | %9s %6s %10s | %9s %6s %10s | %8s %8s %4s\n", "port", "1MB/s MB/s", "lost", "reader s/MB",
        "max MB/s", "lost", "reader s/MB", "ans p50", "ans p99", "n");
    for (const TKind Kind : {TKind::Local, TKind::Rfc2217, TKind::Socket}) {
        const TResult P = Throughput(Kind, Paced, 1e6);
        const TResult U = Throughput(Kind, Unpaced, 0);
        const std::vector<double> A = AnswerTimes(Kind, Answers);
        std::printf("%-18s | %9.3f %6lld %10.5f | %9.3f %6lld %10.5f | %8.2f %8.2f %4zu\n", KindName(Kind), P.MBps(),
            static_cast<long long>(Paced) - static_cast<long long>(P.Received), P.CpuPerMB(), U.MBps(),
            static_cast<long long>(Unpaced) - static_cast<long long>(U.Received), U.CpuPerMB(), Percentile(A, 0.5),
            Percentile(A, 0.99), A.size());
        std::fflush(stdout);
    }
    std::printf("reader s/MB: CPU of the reader thread per MB received (the server's apart); ans: ms from a\n"
                "frame written at the device's end to the answer read back there.\n");
    return 0;
}
