#pragma once
// A virtual null-modem cable: socat joins two pseudo-terminals, reachable as
// the links A and B in a temporary folder. Started by the test, killed after.

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <string>
#include <unistd.h>

class TSocatPair {
public:
    TSocatPair()
    {
        const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        if (socat.isEmpty() || !FDir.isValid())
            return;
        const QString a = FDir.filePath(QStringLiteral("A"));
        const QString b = FDir.filePath(QStringLiteral("B"));
        // socat holds no pipe of the test runner's, and dies with the test
        // even when the test crashes. (A modifier also keeps QProcess from
        // vfork, which ThreadSanitizer cannot follow.)
        FProcess.setStandardOutputFile(QProcess::nullDevice());
        FProcess.setStandardErrorFile(QProcess::nullDevice());
        FProcess.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        FProcess.start(socat, {QStringLiteral("pty,raw,echo=0,link=") + a,
                               QStringLiteral("pty,raw,echo=0,link=") + b});
        if (!FProcess.waitForStarted(5000))
            return;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            if (::access(a.toLocal8Bit().constData(), F_OK) == 0
                && ::access(b.toLocal8Bit().constData(), F_OK) == 0) {
                A = a.toStdString();
                B = b.toStdString();
                return;
            }
            QThread::msleep(10);
        }
    }
    ~TSocatPair()
    {
        if (FarFd >= 0)
            ::close(FarFd);
        Kill();
    }
    bool Ready() const { return !A.empty(); }

    // The far end, opened plainly by the test (non-blocking).
    int OpenFar()
    {
        FarFd = ::open(B.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return FarFd;
    }
    // Reads from the far end until count bytes arrived or timeoutMs passed.
    std::string ReadFar(size_t count, int timeoutMs = 3000)
    {
        std::string got;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buf[4096];
        while (got.size() < count && std::chrono::steady_clock::now() < until) {
            const ssize_t n = ::read(FarFd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, size_t(n));
            else
                QThread::msleep(2);
        }
        return got;
    }
    // Writes all of bytes to the far end, waiting while its queue is full.
    bool WriteFar(const std::string &bytes, int timeoutMs = 5000)
    {
        size_t done = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (done < bytes.size() && std::chrono::steady_clock::now() < until) {
            const ssize_t n = ::write(FarFd, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += size_t(n);
            else
                QThread::msleep(2);
        }
        return done == bytes.size();
    }
    // Ends the cable: both pseudo-terminals lose their far side.
    void Kill()
    {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(5000);
        }
    }

    std::string A, B;
    int FarFd = -1;

private:
    QTemporaryDir FDir;
    QProcess FProcess;
};
