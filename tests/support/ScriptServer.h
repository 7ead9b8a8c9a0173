// An RFC 2217 server played by a test on 127.0.0.1, for what ser2net in
// front of a pseudo-terminal cannot show: modem lines, line errors, a
// setting refused or changed, a server without the option.
#pragma once

#include "TelnetCodec.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ScriptServer {
inline std::string Bytes(std::initializer_list<int> Values)
{
    std::string S;
    for (int V : Values)
        S.push_back(char(V));
    return S;
}

inline sockaddr_in Loopback(int Port)
{
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    A.sin_port = htons(uint16_t(Port));
    return A;
}

// A listening socket on 127.0.0.1; Port gets its number.
inline int Listen(int &Port, int Backlog = 4)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A = Loopback(0);
    socklen_t Length = sizeof A;
    if (::bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 || ::listen(Fd, Backlog) != 0 ||
        ::getsockname(Fd, reinterpret_cast<sockaddr *>(&A), &Length) != 0) {
        ::close(Fd);
        return -1;
    }
    Port = ntohs(A.sin_port);
    return Fd;
}

}  // namespace ScriptServer

// It takes the option (unless told not to), answers each command through
// Answer (no value: no answer), and sends what the test gives it.
class TScriptServer {
public:
    using TAnswer = std::function<std::optional<std::string>(uint8_t Command, const std::string &Value)>;

    explicit TScriptServer(TAnswer Answer, bool TakeOption = true) : FAnswer(std::move(Answer)), FTakeOption(TakeOption)
    {
        FListen = ScriptServer::Listen(FPort);
        FThread = std::thread([this] { Serve(); });
    }
    ~TScriptServer()
    {
        FStop = true;
        FThread.join();
        ::close(FListen);
        if (FClient >= 0)
            ::close(FClient);
    }
    std::string PortName() const { return "rfc2217://127.0.0.1:" + std::to_string(FPort); }
    void Send(const std::string &Raw)
    {
        std::lock_guard<std::mutex> G(FLock);
        FOut += Raw;
    }
    void SendMessage(uint8_t Command, uint8_t Value)
    {
        Send(ComPortCommand(uint8_t(Telnet::ServerOffset + Command), std::string(1, char(Value))));
    }
    // Commands received so far.
    std::vector<TComPortMessage> Received()
    {
        std::lock_guard<std::mutex> G(FLock);
        return FReceived;
    }

private:
    void Serve()
    {
        TTelnetState State;
        while (!FStop) {
            if (FClient < 0) {
                pollfd P {FListen, POLLIN, 0};
                if (::poll(&P, 1, 10) > 0) {
                    FClient = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
                    const std::string Hello = ScriptServer::Bytes({Telnet::IAC, FTakeOption ? Telnet::DO : Telnet::DONT,
                        Telnet::OptComPort, Telnet::IAC, Telnet::WILL, Telnet::OptBinary});
                    [[maybe_unused]] ssize_t N = ::send(FClient, Hello.data(), Hello.size(), MSG_NOSIGNAL);
                }
                continue;
            }
            {
                std::lock_guard<std::mutex> G(FLock);
                if (!FOut.empty()) {
                    [[maybe_unused]] ssize_t N = ::send(FClient, FOut.data(), FOut.size(), MSG_NOSIGNAL);
                    FOut.clear();
                }
            }
            pollfd P {FClient, POLLIN, 0};
            if (::poll(&P, 1, 10) <= 0)
                continue;
            uint8_t Buffer[4096];
            const ssize_t N = ::recv(FClient, Buffer, sizeof Buffer, 0);
            if (N <= 0) {
                ::close(FClient);
                FClient = -1;
                continue;
            }
            TTelnetOutput Out;
            TelnetDecode(State, Buffer, std::size_t(N), Out);
            std::lock_guard<std::mutex> G(FLock);
            for (const TComPortMessage &M : Out.Messages) {
                FReceived.push_back(M);
                if (std::optional<std::string> A = FAnswer(M.Command, M.Value))
                    FOut += ComPortCommand(uint8_t(Telnet::ServerOffset + M.Command), *A);
            }
        }
    }

    TAnswer FAnswer;
    bool FTakeOption;
    int FListen = -1;
    int FPort = 0;
    int FClient = -1;
    std::atomic<bool> FStop {false};
    std::mutex FLock;
    std::string FOut;
    std::vector<TComPortMessage> FReceived;
    std::thread FThread;
};
