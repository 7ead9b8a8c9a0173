// A virtual null-modem cable for tests and benchmarks: socat joins two
// pseudo-terminals, the program under test opens one end (Near) and the test
// drives the other (Far) with plain POSIX calls. The one such fixture: every
// suite that needs a cable links this.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <string>
#include <sys/types.h>

class TSocatPair {
public:
    TSocatPair() = default;
    ~TSocatPair();
    TSocatPair(const TSocatPair &) = delete;
    TSocatPair &operator=(const TSocatPair &) = delete;

    // Starts socat and opens the far end; false (with Error set) on failure.
    // NearLink, when given, is where the near end's link goes (a device
    // coming back under the path of one that vanished).
    bool Start(const QString &NearLink = QString());
    // Kills socat: both pseudo-terminals vanish, as on an unplug. (socat is
    // forked from a process with threads: under ThreadSanitizer that needs
    // die_after_fork=0, as the test script sets.)
    void Stop();

    std::string Near() const { return NearPath; }
    std::string FarPath() const { return FarName; }
    int Far() const { return FarFd; }

    // Writes all of Bytes to the far end, waiting while its queue is full;
    // false when that took longer than TimeoutMs or the cable is gone.
    bool WriteFar(const std::string &Bytes, int TimeoutMs = 10000);
    // Reads from the far end until Count bytes came or TimeoutMs passed.
    std::string ReadFar(std::size_t Count, int TimeoutMs = 3000);

    QString Error;

private:
    QTemporaryDir Dir;
    pid_t Socat = -1;
    std::string NearPath;
    std::string FarName;
    int FarFd = -1;
};
