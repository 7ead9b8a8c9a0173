#include "Ser2Net.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

sockaddr_in Loopback(int Port)
{
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    A.sin_port = htons(uint16_t(Port));
    return A;
}

// A port on 127.0.0.1 that nothing uses now.
int FreePort()
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A = Loopback(0);
    socklen_t Length = sizeof A;
    int Port = 0;
    if (::bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0 &&
        ::getsockname(Fd, reinterpret_cast<sockaddr *>(&A), &Length) == 0)
        Port = ntohs(A.sin_port);
    ::close(Fd);
    return Port;
}

// True once something listens on the port: binding it then fails. (A test
// connection would make the server open its device.)
bool Listening(int Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A = Loopback(Port);
    const bool Taken = ::bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 && errno == EADDRINUSE;
    ::close(Fd);
    return Taken;
}

}  // namespace

TSer2Net::~TSer2Net()
{
    StopServer();
}

bool TSer2Net::Start(bool Rfc2217)
{
    Telnet = Rfc2217;
    if (!Dir.isValid()) {
        Error = QStringLiteral("no temporary folder");
        return false;
    }
    if (!Pair.Start()) {
        Error = Pair.Error;
        return false;
    }
    // A port taken between the look-up and the server's start: try another.
    for (int Attempt = 0; Attempt < 5; ++Attempt) {
        Port = FreePort();
        if (Port > 0 && Launch())
            return true;
    }
    if (Error.isEmpty())
        Error = QStringLiteral("ser2net does not listen");
    return false;
}

bool TSer2Net::RestartServer()
{
    StopServer();
    return Launch();
}

bool TSer2Net::Launch()
{
    const std::string Program = QStandardPaths::findExecutable(
        QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/sbin")})
                                    .toStdString();
    if (Program.empty()) {
        Error = QStringLiteral("ser2net is not installed");
        return false;
    }
    const QString Config = Dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile File(Config);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Error = QStringLiteral("cannot write the ser2net configuration");
        return false;
    }
    const QString Accepter =
        QStringLiteral("%1tcp,127.0.0.1,%2").arg(Telnet ? QStringLiteral("telnet(rfc2217),") : QString()).arg(Port);
    File.write(QStringLiteral("connection: &cable\n"
                              "  accepter: %1\n"
                              "  connector: serialdev,%2,9600n81,local\n"
                              "  options:\n"
                              "    kickolduser: true\n")
                   .arg(Accepter, QString::fromStdString(Pair.Near()))
                   .toUtf8());
    File.close();
    const std::string ConfigPath = Config.toStdString();
    const std::string PidPath = Dir.filePath(QStringLiteral("ser2net.pid")).toStdString();
    // -n: in the foreground, -u: no UUCP lock files outside the test's folder.
    char *const Argv[] = {const_cast<char *>("ser2net"), const_cast<char *>("-n"), const_cast<char *>("-u"),
        const_cast<char *>("-c"), const_cast<char *>(ConfigPath.c_str()), const_cast<char *>("-P"),
        const_cast<char *>(PidPath.c_str()), nullptr};
    const pid_t Parent = ::getpid();
    Server = ::fork();
    if (Server == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != Parent)
            ::_exit(1);
        const int Null = ::open("/dev/null", O_RDWR);
        ::dup2(Null, STDIN_FILENO);
        ::dup2(Null, STDOUT_FILENO);
        ::dup2(Null, STDERR_FILENO);
        ::execv(Program.c_str(), Argv);
        ::_exit(127);
    }
    if (Server < 0) {
        Error = QStringLiteral("ser2net does not start");
        return false;
    }
    QElapsedTimer Waited;
    Waited.start();
    while (!Listening(Port)) {
        int Status = 0;
        if (::waitpid(Server, &Status, WNOHANG) == Server) {
            Server = -1;
            Error = QStringLiteral("ser2net ended at start");
            return false;
        }
        if (Waited.elapsed() > 10000) {
            StopServer();
            Error = QStringLiteral("ser2net does not listen");
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

void TSer2Net::StopServer()
{
    if (Server > 0) {
        ::kill(Server, SIGKILL);
        ::waitpid(Server, nullptr, 0);
        Server = -1;
    }
}

std::string TSer2Net::PortName() const
{
    return (Telnet ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") + std::to_string(Port);
}
