// A listening socket on 127.0.0.1 whose queue of connections is full: a
// connection to it hangs until it gives up, as one to a host that does not
// answer. For tests of what waits on a connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

struct THangingServer {
    int Listener = -1, Port = 0;
    std::vector<int> Fillers;
    THangingServer()
    {
        Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in A {};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t Length = sizeof A;
        if (::bind(Listener, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 || ::listen(Listener, 0) != 0 ||
            ::getsockname(Listener, reinterpret_cast<sockaddr *>(&A), &Length) != 0)
            return;
        Port = ntohs(A.sin_port);
        for (int I = 0; I < 4; ++I) {
            const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A);
            Fillers.push_back(Fd);
        }
    }
    ~THangingServer()
    {
        for (int Fd : Fillers)
            ::close(Fd);
        ::close(Listener);
    }
    THangingServer(const THangingServer &) = delete;
    THangingServer &operator=(const THangingServer &) = delete;
};
