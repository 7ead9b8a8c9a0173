#include "SystemErrors.h"

#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Cure placeholders filled from TOpenFacts.
enum class TCure { Text, Group, Holders };

struct TSystemError {
    int Errno;
    bool Lost;          // the device is gone
    bool NoModemLines;  // a modem-line request on a device without them
    TCure Cure;
    const char *Text;  // the cure after a failed open (nullptr: none)
};

const TSystemError SystemErrors[] = {
    {EIO, true, false, TCure::Text, "the device stopped answering (unplugged?)"},
    {ENXIO, true, false, TCure::Text, "no device answers at this path (unplugged?)"},
    {ENODEV, true, false, TCure::Text, "no device answers at this path (unplugged?)"},
    {ENOTTY, false, true, TCure::Text, "the path is not a terminal, so it is no serial port"},
    {EINVAL, false, true, TCure::Text,
        "the device does not take these settings (baud rate, data bits, parity, stop bits)"},
    {EOPNOTSUPP, false, false, TCure::Text, "the device does not take these settings (handshaking)"},
    {ENOENT, false, false, TCure::Text, "no such device: check the port name, or plug the device in"},
    {EISDIR, false, false, TCure::Text, "the path is a folder, not a serial device"},
    {EACCES, false, false, TCure::Group, nullptr},
    {EPERM, false, false, TCure::Group, nullptr},
    {EBUSY, false, false, TCure::Holders, nullptr},
    {ECONNREFUSED, false, false, TCure::Text,
        "nothing accepts connections there: check the port number, and that the server runs"},
    {ETIMEDOUT, false, false, TCure::Text, "the host did not answer in time: check the address and the network"},
    {EHOSTUNREACH, false, false, TCure::Text, "the host cannot be reached: check the address and the network"},
    {ENETUNREACH, false, false, TCure::Text, "the network of the host cannot be reached: check the address"},
    {ECONNRESET, false, false, TCure::Text,
        "the server closed the connection: it may not speak RFC 2217 there, or its port is in use"},
    {EPROTONOSUPPORT, false, false, TCure::Text,
        "the server does not offer serial port control (RFC 2217): open it as socket://HOST:PORT"},
    {EMFILE, false, false, TCure::Text, "the program has too many files open"},
    {ENFILE, false, false, TCure::Text, "the system has too many files open"},
};

const TSystemError *Find(int Errno)
{
    for (const TSystemError &E : SystemErrors)
        if (E.Errno == Errno)
            return &E;
    return nullptr;
}

QString Tr(const char *Text)
{
    return QCoreApplication::translate("cport", Text);
}

std::string ReadComm(pid_t Pid)
{
    std::ifstream In("/proc/" + std::to_string(Pid) + "/comm");
    std::string Name;
    std::getline(In, Name);
    return Name;
}

}  // namespace

bool IsDeviceLostError(int Errno)
{
    const TSystemError *E = Find(Errno);
    return E && E->Lost;
}

bool IsNoModemLinesError(int Errno)
{
    const TSystemError *E = Find(Errno);
    return E && E->NoModemLines;
}

std::vector<TDeviceHolder> DeviceHolders(const std::string &Path)
{
    std::vector<TDeviceHolder> Holders;
    char Real[PATH_MAX];
    if (Path.empty() || !::realpath(Path.c_str(), Real))
        return Holders;
    DIR *Proc = ::opendir("/proc");
    if (!Proc)
        return Holders;
    while (dirent *P = ::readdir(Proc)) {
        char *End = nullptr;
        const long Pid = std::strtol(P->d_name, &End, 10);
        if (Pid <= 0 || *End != '\0')
            continue;
        const std::string FdDir = std::string("/proc/") + P->d_name + "/fd";
        DIR *Fds = ::opendir(FdDir.c_str());
        if (!Fds)
            continue;  // another user's process: not readable
        bool Holds = false;
        while (dirent *F = ::readdir(Fds)) {
            if (F->d_name[0] == '.')
                continue;
            char Target[PATH_MAX];
            const ssize_t N = ::readlink((FdDir + "/" + F->d_name).c_str(), Target, sizeof Target - 1);
            if (N > 0 && std::strncmp(Target, Real, size_t(N)) == 0 && Real[N] == '\0') {
                Holds = true;
                break;
            }
        }
        ::closedir(Fds);
        if (Holds)
            Holders.push_back({pid_t(Pid), ReadComm(pid_t(Pid))});
    }
    ::closedir(Proc);
    return Holders;
}

TOpenFacts GatherOpenFacts(int Errno, const std::string &Path)
{
    TOpenFacts Facts;
    const TSystemError *E = Find(Errno);
    if (!E)
        return Facts;
    if (E->Cure == TCure::Group) {
        struct stat St;
        if (!Path.empty() && ::stat(Path.c_str(), &St) == 0) {
            // getgrgid_r would need a sized buffer; this runs on the UI thread only.
            if (const group *G = ::getgrgid(St.st_gid))
                Facts.Group = G->gr_name;
        }
    } else if (E->Cure == TCure::Holders) {
        Facts.Holders = DeviceHolders(Path);
    }
    return Facts;
}

std::string OpenFailureCause(int Errno, const TOpenFacts &Facts)
{
    QString Cause = QString::fromLocal8Bit(std::strerror(Errno));
    const TSystemError *E = Find(Errno);
    QString Cure;
    if (E && E->Cure == TCure::Text) {
        Cure = Tr(E->Text);
    } else if (E && E->Cure == TCure::Group) {
        const QString Group = QString::fromStdString(Facts.Group);
        // A device of root's group is not opened up by joining a group.
        if (Group.isEmpty() || Group == QLatin1String("root"))
            Cure = Tr("ask the administrator for access to the device");
        else
            Cure = Tr("the device belongs to the group '%1'; join it with "
                      "sudo usermod -aG %1 $USER, then log in again")
                       .arg(Group);
    } else if (E && E->Cure == TCure::Holders) {
        if (Facts.Holders.empty()) {
            Cure = Tr("another program holds the port; close it there");
        } else {
            QStringList Names;
            for (const TDeviceHolder &H : Facts.Holders)
                Names << (H.Command.empty() ? Tr("process %1").arg(H.Pid)
                                            : Tr("%1 (process %2)").arg(QString::fromStdString(H.Command)).arg(H.Pid));
            Cure = Tr("the port is held by %1; close it there").arg(Names.join(QStringLiteral(", ")));
        }
    }
    if (!Cure.isEmpty())
        Cause += QStringLiteral(": ") + Cure;
    return (Cause + QLatin1Char('.')).toStdString();
}
