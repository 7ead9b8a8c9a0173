#include "SocatPair.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

TSocatPair::~TSocatPair()
{
    Stop();
}

bool TSocatPair::Start(const QString &NearLinkGiven)
{
    if (!Dir.isValid()) {
        Error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString NearLink = NearLinkGiven.isEmpty() ? Dir.filePath(QStringLiteral("near")) : NearLinkGiven;
    const QString FarLink = Dir.filePath(QStringLiteral("far"));
    const std::string Program = QStandardPaths::findExecutable(QStringLiteral("socat")).toStdString();
    if (Program.empty()) {
        Error = QStringLiteral("socat is not installed");
        return false;
    }
    const std::string NearArg = "pty,raw,echo=0,link=" + NearLink.toStdString();
    const std::string FarArg = "pty,raw,echo=0,link=" + FarLink.toStdString();
    char *const Argv[] = {
        const_cast<char *>("socat"), const_cast<char *>(NearArg.c_str()), const_cast<char *>(FarArg.c_str()), nullptr};
    const pid_t Parent = ::getpid();
    Socat = ::fork();
    if (Socat == 0) {
        // socat dies with the test, even when the test crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != Parent)
            ::_exit(1);
        const int Null = ::open("/dev/null", O_RDWR);
        ::dup2(Null, STDOUT_FILENO);
        ::dup2(Null, STDERR_FILENO);
        ::execv(Program.c_str(), Argv);
        ::_exit(127);
    }
    if (Socat < 0) {
        Error = QStringLiteral("socat does not start");
        return false;
    }
    QElapsedTimer Waited;
    Waited.start();
    while (!(QFileInfo::exists(NearLink) && QFileInfo::exists(FarLink))) {
        if (Waited.elapsed() > 10000) {
            Error = QStringLiteral("socat made no pseudo-terminals");
            return false;
        }
        QThread::msleep(10);
    }
    NearPath = NearLink.toStdString();
    FarName = FarLink.toStdString();
    FarFd = ::open(FarName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (FarFd < 0) {
        Error = QStringLiteral("cannot open the far end");
        return false;
    }
    termios Raw {};
    if (tcgetattr(FarFd, &Raw) == 0) {
        cfmakeraw(&Raw);
        tcsetattr(FarFd, TCSANOW, &Raw);
    }
    return true;
}

void TSocatPair::Stop()
{
    if (FarFd >= 0)
        ::close(FarFd);
    FarFd = -1;
    if (Socat > 0) {
        ::kill(Socat, SIGKILL);
        ::waitpid(Socat, nullptr, 0);
        Socat = -1;
    }
    // A killed socat leaves its links behind, pointing at pseudo-terminal
    // numbers that a test running beside this one may be given next; an
    // unplugged device's node goes away too.
    if (!NearPath.empty())
        ::unlink(NearPath.c_str());
    if (!FarName.empty())
        ::unlink(FarName.c_str());
}

bool TSocatPair::WriteFar(const std::string &Bytes, int TimeoutMs)
{
    std::size_t Done = 0;
    QElapsedTimer Waited;
    Waited.start();
    while (Done < Bytes.size()) {
        if (Waited.elapsed() > TimeoutMs)
            return false;
        const ssize_t N = ::write(FarFd, Bytes.data() + Done, Bytes.size() - Done);
        if (N > 0) {
            Done += static_cast<std::size_t>(N);
        } else if (N < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd P {FarFd, POLLOUT, 0};
            ::poll(&P, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::string TSocatPair::ReadFar(std::size_t Count, int TimeoutMs)
{
    std::string Got;
    QElapsedTimer Waited;
    Waited.start();
    while (Got.size() < Count && Waited.elapsed() < TimeoutMs) {
        pollfd P {FarFd, POLLIN, 0};
        if (::poll(&P, 1, 20) <= 0)
            continue;
        char Buffer[4096];
        const ssize_t N = ::read(FarFd, Buffer, sizeof Buffer);
        if (N > 0)
            Got.append(Buffer, static_cast<std::size_t>(N));
    }
    return Got;
}
