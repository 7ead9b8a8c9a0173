#include "QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int WriteEnd = -1;
int ReadEnd = -1;
constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};
unsigned Handled = 0;

void OnSignal(int Signal)
{
    const int Saved = errno;
    const unsigned char Byte = static_cast<unsigned char>(Signal);
    // Async-signal-safe; a full pipe means a quit is already on its way.
    [[maybe_unused]] const ssize_t N = ::write(WriteEnd, &Byte, 1);
    errno = Saved;
}

}  // namespace

TQuitSignals::TQuitSignals(QObject *Parent) : QObject(Parent)
{
    int Pair[2];
    if (WriteEnd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, Pair) != 0)
        return;
    ReadEnd = Pair[0];
    WriteEnd = Pair[1];
    FNotifier = new QSocketNotifier(ReadEnd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        unsigned char Byte = 0;
        while (::read(ReadEnd, &Byte, 1) == 1)
            Q_EMIT Requested(Byte);
    });
    struct sigaction Action { };
    Action.sa_handler = OnSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    for (int Signal : Signals) {
        // A signal ignored by whoever started the program (nohup, a
        // background job) stays ignored.
        struct sigaction Old { };
        if (::sigaction(Signal, nullptr, &Old) == 0 && Old.sa_handler != SIG_IGN &&
            ::sigaction(Signal, &Action, nullptr) == 0)
            Handled |= 1u << Signal;
    }
}

TQuitSignals::~TQuitSignals()
{
    if (!FNotifier)
        return;
    struct sigaction Default { };
    Default.sa_handler = SIG_DFL;
    sigemptyset(&Default.sa_mask);
    for (int Signal : Signals)
        if (Handled & (1u << Signal))
            ::sigaction(Signal, &Default, nullptr);
    Handled = 0;
    delete FNotifier;
    FNotifier = nullptr;
    ::close(ReadEnd);
    ::close(WriteEnd);
    ReadEnd = WriteEnd = -1;
}
