// A serial port on a network server for tests and benchmarks: ser2net on
// 127.0.0.1, on a free port, with a private configuration, its serial side
// the near end of a socat cable whose far end the test drives.
#pragma once

#include "SocatPair.h"

#include <QString>
#include <QTemporaryDir>

#include <string>
#include <sys/types.h>

class TSer2Net {
public:
    TSer2Net() = default;
    ~TSer2Net();
    TSer2Net(const TSer2Net &) = delete;
    TSer2Net &operator=(const TSer2Net &) = delete;

    // Starts the cable and the server, RFC 2217 (Telnet) or raw TCP; false
    // (with Error set) on failure.
    bool Start(bool Rfc2217 = true);
    // Kills the server: its connections close, as on a server gone away.
    void StopServer();
    // Starts the server again on the same port and cable.
    bool RestartServer();

    // The port name the program opens.
    std::string PortName() const;
    int TcpPort() const { return Port; }
    TSocatPair &Cable() { return Pair; }

    QString Error;

private:
    bool Launch();

    QTemporaryDir Dir;
    TSocatPair Pair;
    bool Telnet = true;
    int Port = 0;
    pid_t Server = -1;
};
