#include "NetComDevice.h"

#include "SystemErrors.h"
#include "TelnetCodec.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
constexpr uint32_t MaxDword = 0xFFFFFFFFu;

// A read that takes fewer bytes than this finds a trickle, gathered for
// GatherMs, as on a local port.
constexpr std::size_t TrickleBytes = 512;
constexpr int GatherMs = 50;

// Line state bits asked for: break and the receive errors, not the
// transmitter's state that would come with every byte.
constexpr uint8_t LineStateMask =
    Telnet::LineBreak | Telnet::LineFramingError | Telnet::LineParityError | Telnet::LineOverrun;
// Modem state bits asked for: the four lines (their bit values are the MS_*
// values), not the change bits.
constexpr uint8_t ModemStateMask = 0xF0;

int PollTimeout(const Clock::time_point *deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<Ms>(*deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > 1000000 ? 1000000 : static_cast<int>(left);
}

bool TotalTimeout(
    uint32_t multiplier, uint32_t constant, int32_t count, Clock::time_point start, Clock::time_point &deadline)
{
    if (multiplier == 0 && constant == 0)
        return false;
    const uint64_t ms = uint64_t(multiplier) * uint64_t(count > 0 ? count : 0) + constant;
    deadline = start + Ms(ms > 0x7FFFFFFFull ? 0x7FFFFFFFull : ms);
    return true;
}

bool StartsWithNoCase(const std::string &text, const char *prefix)
{
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

QString Tr(const char *text)
{
    return QCoreApplication::translate("cport", text);
}

// The outcome of waiting for the server.
enum class TPump { Ready, Timeout, Woken, Stopped, Lost };

}  // namespace

bool IsNetPortName(const std::string &name)
{
    return StartsWithNoCase(name, "rfc2217://") || StartsWithNoCase(name, "socket://");
}

bool ParseNetPortName(const std::string &name, TNetPortName &out)
{
    std::string rest;
    if (StartsWithNoCase(name, "rfc2217://")) {
        out.Rfc2217 = true;
        rest = name.substr(10);
    } else if (StartsWithNoCase(name, "socket://")) {
        out.Rfc2217 = false;
        rest = name.substr(9);
    } else {
        return false;
    }
    std::size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return false;
        out.Host = rest.substr(1, close - 1);
        colon = close + 1;
        // Hexadecimal groups, and a zone after '%' (fe80::1%eth0).
        const std::size_t zone = out.Host.find('%');
        if (out.Host.substr(0, zone).find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos ||
            (zone != std::string::npos &&
                out.Host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.",
                    zone + 1) != std::string::npos))
            return false;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos)
            return false;
        out.Host = rest.substr(0, colon);
        // Names and IPv4 addresses; an IPv6 address needs its brackets.
        if (out.Host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") !=
            std::string::npos)
            return false;
    }
    if (out.Host.empty())
        return false;
    out.Service = rest.substr(colon + 1);
    if (out.Service.empty() || out.Service.size() > 5 ||
        out.Service.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long port = std::stol(out.Service);
    return port >= 1 && port <= 65535;
}

// One connection: the socket, the wake-up, and what was received from the
// server but not yet taken. Closed when the last of Close and the calls in
// progress lets go of it.
struct TNetComDevice::TChannel {
    int Fd = -1;
    int WakeRead = -1;
    int WakeWrite = -1;
    bool Rfc2217 = true;
    int Active = 0;  // calls in progress; guarded by the device's FLock
    std::atomic<int> LostError {0};
    std::atomic<bool> Cancelled {false};

    // Guarded by M.
    std::mutex M;
    std::condition_variable Changed;
    bool Reading = false;  // a call is reading the socket
    TTelnetState Telnet;
    std::string In;  // received data from InHead on
    std::size_t InHead = 0;
    uint32_t Modem = 0;       // MS_* bits
    uint32_t LineEvents = 0;  // EV_BREAK/EV_ERR seen and not yet reported
    // The server's last answer to each command (by client command code).
    std::array<std::optional<std::string>, 13> Answers;
    std::optional<uint8_t> FlowAnswer;

    // Sends one at a time, so that a command never splits an escaped byte.
    std::mutex SendLock;
    // The second half of a doubled 0xFF whose first half went out when a
    // write ran out of time; it goes before anything else.
    std::string SendPending;

    std::size_t Buffered() const { return In.size() - InHead; }

    void Wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(WakeWrite, &one, sizeof one);
    }
    int MarkLost(int err)
    {
        int expected = 0;
        LostError.compare_exchange_strong(expected, err);
        return err;
    }
    ~TChannel()
    {
        if (Fd >= 0)
            ::close(Fd);
        ::close(WakeRead);
        if (WakeWrite != WakeRead)
            ::close(WakeWrite);
    }

    // Takes what the server sent (M held); Answer gets what is owed to it.
    void Take(const uint8_t *bytes, std::size_t count, std::string &answer)
    {
        if (InHead > 0 && InHead >= In.size() / 2) {
            In.erase(0, InHead);
            InHead = 0;
        }
        if (!Rfc2217) {
            In.append(reinterpret_cast<const char *>(bytes), count);
            return;
        }
        TTelnetOutput out;
        out.Data.swap(In);
        TelnetDecode(Telnet, bytes, count, out);
        In.swap(out.Data);
        answer += out.Answer;
        for (const TComPortMessage &m : out.Messages) {
            if (m.Command < Telnet::ServerOffset || m.Value.empty())
                continue;
            const uint8_t command = uint8_t(m.Command - Telnet::ServerOffset);
            const uint8_t value = uint8_t(m.Value[0]);
            if (command == Telnet::CpNotifyModemState) {
                Modem = value & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
            } else if (command == Telnet::CpNotifyLineState) {
                if (value & Telnet::LineBreak)
                    LineEvents |= EV_BREAK;
                if (value & (Telnet::LineFramingError | Telnet::LineParityError | Telnet::LineOverrun))
                    LineEvents |= EV_ERR;
            } else if (command == Telnet::CpSetControl) {
                // Flow answers only: DTR and RTS are not waited for.
                if (value >= Telnet::CtlFlowNone && value <= Telnet::CtlFlowHardware)
                    FlowAnswer = value;
            } else if (command < Answers.size()) {
                Answers[command] = m.Value;
            }
        }
    }

    // Sends all of Bytes, waiting for room until Deadline (none: no limit),
    // the wake-up, or a lost connection. Sent gets what went out. SendLock
    // held by the caller.
    int SendRaw(const char *bytes, std::size_t count, const Clock::time_point *deadline, std::size_t &sent)
    {
        sent = 0;
        while (sent < count) {
            const ssize_t n = ::send(Fd, bytes + sent, count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += std::size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return MarkLost(EIO);
            const int wait = PollTimeout(deadline);
            if (wait == 0)
                return 0;
            pollfd fds[2] = {{Fd, POLLOUT, 0}, {WakeRead, POLLIN, 0}};
            const int r = ::poll(fds, 2, wait);
            if (r < 0 && errno != EINTR)
                return errno;
            if (fds[1].revents)
                return ECANCELED;
        }
        return 0;
    }

    // A command or an answer: small, sent whole (bounded by AnswerMs).
    int SendControl(const std::string &bytes)
    {
        std::lock_guard<std::mutex> guard(SendLock);
        const auto deadline = Clock::now() + Ms(TNetComDevice::AnswerMs);
        std::size_t sent = 0;
        if (!SendPending.empty()) {
            if (int err = SendRaw(SendPending.data(), SendPending.size(), &deadline, sent))
                return err;
            if (sent < SendPending.size())
                return ETIMEDOUT;
            SendPending.clear();
        }
        if (int err = SendRaw(bytes.data(), bytes.size(), &deadline, sent))
            return err;
        return sent == bytes.size() ? 0 : ETIMEDOUT;
    }

    // Waits (M held through Lock) until Ready() holds, Deadline (none: no
    // limit) passes, the wake-up or StopFd fires, or the connection is lost.
    // One caller at a time reads the socket; the others wait for what it
    // decodes.
    template <typename F>
    TPump Pump(std::unique_lock<std::mutex> &lock, const Clock::time_point *deadline, int stopFd, F ready)
    {
        for (;;) {
            if (ready())
                return TPump::Ready;
            if (Cancelled)
                return TPump::Woken;
            if (LostError.load())
                return TPump::Lost;
            int wait = PollTimeout(deadline);
            if (wait == 0)
                return TPump::Timeout;
            if (Reading) {
                // Short slices: the stop descriptor of this call is not
                // watched by the one reading.
                Changed.wait_for(lock, Ms(wait < 0 || wait > 20 ? 20 : wait));
                if (stopFd > 0) {
                    pollfd stop {stopFd, POLLIN, 0};
                    if (::poll(&stop, 1, 0) > 0)
                        return TPump::Stopped;
                }
                continue;
            }
            // Too much undelivered: leave the socket unread for a while.
            const bool full = Buffered() >= TNetComDevice::MaxBuffered;
            if (full && (wait < 0 || wait > 20))
                wait = 20;
            Reading = true;
            lock.unlock();
            pollfd fds[3] = {{Fd, short(full ? 0 : POLLIN), 0}, {WakeRead, POLLIN, 0}, {stopFd, POLLIN, 0}};
            const int r = ::poll(fds, stopFd > 0 ? 3 : 2, wait);
            uint8_t buffer[16384];
            ssize_t n = 0;
            bool gone = false;
            if (r > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
                n = ::recv(Fd, buffer, sizeof buffer, MSG_DONTWAIT);
                // An orderly close or a reset: the server is gone, as an
                // unplugged device is.
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    gone = true;
            }
            std::string answer;
            lock.lock();
            Reading = false;
            if (n > 0)
                Take(buffer, std::size_t(n), answer);
            if (gone)
                MarkLost(EIO);
            Changed.notify_all();
            if (!answer.empty()) {
                lock.unlock();
                const int err = SendControl(answer);
                lock.lock();
                if (err && err != ECANCELED && err != ETIMEDOUT)
                    MarkLost(EIO);
            }
            if (r > 0 && fds[1].revents)
                return TPump::Woken;
            if (r > 0 && stopFd > 0 && fds[2].revents)
                return ready() ? TPump::Ready : TPump::Stopped;
        }
    }
};

struct TNetComDevice::TOp {
    std::shared_ptr<TChannel> Channel;
    TComTimeoutRecord Timeouts;
};

namespace {
template <typename F> struct TLeave {
    F f;
    ~TLeave() { f(); }
};
template <typename F> TLeave(F) -> TLeave<F>;

// Name resolution may hang on a dead name server: it runs on a thread of its
// own that the caller stops waiting for at the deadline.
struct TResolve {
    std::mutex M;
    std::condition_variable Done;
    bool Finished = false;
    int Result = 0;
    addrinfo *List = nullptr;
    ~TResolve()
    {
        if (List)
            ::freeaddrinfo(List);
    }
};

// Resolves Name; 0 with List set, an EAI_* code, or EAI_AGAIN when the
// deadline passed or Cancelled became true first.
int Resolve(const TNetPortName &name, Clock::time_point deadline, const std::atomic<bool> &cancelled,
    std::shared_ptr<TResolve> &out)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    out = std::make_shared<TResolve>();
    // An address needs no name server.
    if (::getaddrinfo(name.Host.c_str(), name.Service.c_str(), &hints, &out->List) == 0)
        return 0;
    out->List = nullptr;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    std::shared_ptr<TResolve> job = out;
    const std::string host = name.Host, service = name.Service;
    std::thread([job, host, service, hints] {
        addrinfo *list = nullptr;
        const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        std::lock_guard<std::mutex> guard(job->M);
        job->Result = result;
        job->List = list;
        job->Finished = true;
        job->Done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(job->M);
    while (!job->Finished) {
        if (cancelled || Clock::now() >= deadline)
            return EAI_AGAIN;
        job->Done.wait_for(lock, Ms(20));
    }
    return job->Result;
}

// Connects to one address before the deadline; the socket or -errno.
int ConnectOne(const addrinfo &a, Clock::time_point deadline, int wakeFd)
{
    const int fd = ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0)
        return -errno;
    int err = 0;
    if (::connect(fd, a.ai_addr, a.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            err = errno;
        } else {
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
            int r;
            do
                r = ::poll(fds, 2, PollTimeout(&deadline));
            while (r < 0 && errno == EINTR);
            if (r < 0)
                err = errno;
            else if (fds[1].revents)
                err = ECANCELED;
            else if (r == 0)
                err = ETIMEDOUT;
            else {
                socklen_t len = sizeof err;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                    err = errno;
            }
        }
    }
    if (err) {
        ::close(fd);
        return -err;
    }
    // Small frames go out at once (a trigger's answer); a host that vanishes
    // without closing is noticed within about half a minute.
    const int one = 1, idle = 10, interval = 5, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    return fd;
}

// The option's codes of a line configuration.
uint8_t ParityValue(uint8_t code)
{
    return uint8_t(code + 1);  // none, odd, even, mark, space
}

uint8_t StopValue(uint8_t code)
{
    return code == 0 ? 1 : code == 1 ? 3 : 2;
}

uint8_t FlowValue(const TComDCB &dcb)
{
    if (dcb.OutxCtsFlow || dcb.RtsControl == 2)
        return Telnet::CtlFlowHardware;
    if (dcb.OutX || dcb.InX)
        return Telnet::CtlFlowXonXoff;
    return Telnet::CtlFlowNone;
}

}  // namespace

int ProbeNetPort(const std::string &name, int timeoutMs)
{
    TNetPortName parsed;
    if (!ParseNetPortName(name, parsed))
        return EINVAL;
    const auto deadline = Clock::now() + Ms(timeoutMs);
    const std::atomic<bool> never {false};
    std::shared_ptr<TResolve> resolved;
    if (Resolve(parsed, deadline, never, resolved) != 0)
        return EHOSTUNREACH;
    int err = ETIMEDOUT;
    for (const addrinfo *a = resolved->List; a; a = a->ai_next) {
        const int fd = ConnectOne(*a, deadline, -1);
        if (fd >= 0) {
            ::close(fd);
            return 0;
        }
        err = -fd;
        if (err == ETIMEDOUT)
            break;
    }
    return err;
}

TNetComDevice::~TNetComDevice()
{
    Close();
}

int TNetComDevice::Open(const std::string &path)
{
    std::unique_lock<std::mutex> lock(FLock);
    if (FChannel || FConnecting)
        return EBUSY;
    FOpenCause.clear();
    TNetPortName name;
    if (!ParseNetPortName(path, name)) {
        FOpenCause = Tr("The port name is not understood: write rfc2217://HOST:PORT or socket://HOST:PORT, an IPv6 "
                        "address in brackets.")
                         .toStdString();
        return EINVAL;
    }
    auto channel = std::make_shared<TChannel>();
    channel->Rfc2217 = name.Rfc2217;
    channel->WakeRead = channel->WakeWrite = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (channel->WakeRead < 0) {
        int wake[2];
        if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
            return errno;
        channel->WakeRead = wake[0];
        channel->WakeWrite = wake[1];
    }
    FConnecting = channel;
    FCancelled = false;
    lock.unlock();

    // Resolution, connection and the opening all run without the lock, so
    // that Close can end them through the channel's wake-up.
    const auto deadline = Clock::now() + Ms(ConnectMs);
    int err = 0;
    std::shared_ptr<TResolve> resolved;
    const int gai = Resolve(name, deadline, channel->Cancelled, resolved);
    if (channel->Cancelled) {
        err = ECANCELED;
    } else if (gai != 0) {
        err = EHOSTUNREACH;
        std::lock_guard<std::mutex> guard(FLock);
        FOpenCause = Tr("The host %1 is not known (%2): check its name in the port name.")
                         .arg(QString::fromStdString(name.Host), QString::fromLocal8Bit(::gai_strerror(gai)))
                         .toStdString();
    } else {
        err = ETIMEDOUT;
        for (const addrinfo *a = resolved->List; a; a = a->ai_next) {
            const int fd = ConnectOne(*a, deadline, channel->WakeRead);
            if (fd >= 0) {
                channel->Fd = fd;
                err = 0;
                break;
            }
            err = -fd;
            if (err == ECANCELED || err == ETIMEDOUT)
                break;
        }
    }

    if (!err && channel->Rfc2217) {
        // The server must take the option before commands mean anything.
        std::string opening = TelnetOpening(channel->Telnet, true);
        err = channel->SendControl(opening);
        if (!err) {
            std::unique_lock<std::mutex> m(channel->M);
            bool refused = false;
            const TPump r = channel->Pump(m, &deadline, -1, [&] {
                const TTelnetState &t = channel->Telnet;
                refused = !t.AskedUs[Telnet::OptComPort] && !t.Us[Telnet::OptComPort];
                return t.Us[Telnet::OptComPort] || refused;
            });
            if (r == TPump::Ready && refused) {
                err = EPROTONOSUPPORT;
            } else if (r == TPump::Timeout) {
                // Connected, but nothing came back: no Telnet server there.
                err = EPROTONOSUPPORT;
            } else if (r == TPump::Woken) {
                err = ECANCELED;
            } else if (r == TPump::Lost) {
                // Closed at once: a server that takes no Telnet, or one with
                // its device busy.
                err = ECONNRESET;
            }
        }
        if (!err)
            err = channel->SendControl(ComPortCommand(Telnet::CpSetLineStateMask, std::string(1, char(LineStateMask))) +
                ComPortCommand(Telnet::CpSetModemStateMask, std::string(1, char(ModemStateMask))));
    }

    lock.lock();
    FConnecting.reset();
    if (!err && channel->Cancelled)
        err = ECANCELED;
    if (err)
        return err;
    FChannel = std::move(channel);
    FRfc2217 = name.Rfc2217;
    FCancelled = false;
    FTimeouts = TComTimeoutRecord();
    return 0;
}

void TNetComDevice::Close()
{
    std::unique_lock<std::mutex> lock(FLock);
    if (FConnecting) {
        FConnecting->Cancelled = true;
        FConnecting->Wake();
    }
    if (!FChannel)
        return;
    std::shared_ptr<TChannel> channel = std::move(FChannel);
    FCancelled = true;
    {
        std::lock_guard<std::mutex> m(channel->M);
        channel->Cancelled = true;
        channel->Changed.notify_all();
    }
    channel->Wake();
    FIdle.wait_for(lock, Ms(CloseWaitMs), [&channel] { return channel->Active == 0; });
    FCancelled = false;
}

bool TNetComDevice::IsOpen() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FChannel != nullptr;
}

int TNetComDevice::Handle() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FChannel ? FChannel->Fd : -1;
}

bool TNetComDevice::Lost() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FChannel && FChannel->LostError.load() != 0;
}

bool TNetComDevice::CarriesLineSettings() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FRfc2217;
}

std::string TNetComDevice::FailureCause(int err, const std::string &path) const
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FOpenCause.empty())
            return FOpenCause;
    }
    return TComDevice::FailureCause(err, path);
}

int TNetComDevice::Enter(TOp &op)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (!FChannel)
        return EBADF;
    if (FCancelled)
        return ECANCELED;
    if (int lost = FChannel->LostError.load()) {
        // What came before the server went away is still handed over.
        std::lock_guard<std::mutex> m(FChannel->M);
        if (FChannel->Buffered() == 0)
            return lost;
    }
    ++FChannel->Active;
    op.Channel = FChannel;
    op.Timeouts = FTimeouts;
    return 0;
}

void TNetComDevice::Leave(TOp &op)
{
    std::shared_ptr<TChannel> channel;
    std::lock_guard<std::mutex> guard(FLock);
    channel = std::move(op.Channel);
    if (--channel->Active == 0)
        FIdle.notify_all();
}

int TNetComDevice::SetupQueues(int32_t, int32_t)
{
    TOp op;
    if (int err = Enter(op))
        return err;
    Leave(op);
    return 0;
}

int TNetComDevice::SetTimeouts(const TComTimeoutRecord &timeouts)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (!FChannel)
        return EBADF;
    FTimeouts = timeouts;
    return 0;
}

int TNetComDevice::SetLineSettings(const TComDCB &dcb)
{
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    if (int err = CheckLineSettings(dcb))
        return err;
    TChannel &c = *op.Channel;
    // A raw connection has no way to pass them on; the port says so.
    if (!c.Rfc2217)
        return 0;

    const std::string baud = BaudValue(dcb.BaudRate);
    const std::string size(1, char(dcb.ByteSize));
    const std::string parity(1, char(ParityValue(dcb.ParityCode)));
    const std::string stop(1, char(StopValue(dcb.StopBitsCode)));
    const uint8_t flow = FlowValue(dcb);
    std::string commands = ComPortCommand(Telnet::CpSetBaudRate, baud) + ComPortCommand(Telnet::CpSetDataSize, size) +
        ComPortCommand(Telnet::CpSetParity, parity) + ComPortCommand(Telnet::CpSetStopSize, stop) +
        ComPortCommand(Telnet::CpSetControl, std::string(1, char(flow)));
    // DTR and RTS switch at once; their answers are not waited for (a
    // server whose device has no modem lines gives none).
    commands += ComPortCommand(
        Telnet::CpSetControl, std::string(1, char(dcb.DtrControl == 1 ? Telnet::CtlDtrOn : Telnet::CtlDtrOff)));
    if (flow != Telnet::CtlFlowHardware)
        commands += ComPortCommand(
            Telnet::CpSetControl, std::string(1, char(dcb.RtsControl == 1 ? Telnet::CtlRtsOn : Telnet::CtlRtsOff)));

    std::unique_lock<std::mutex> lock(c.M);
    for (auto &a : c.Answers)
        a.reset();
    c.FlowAnswer.reset();
    lock.unlock();
    if (int err = c.SendControl(commands))
        return err;
    lock.lock();
    const auto deadline = Clock::now() + Ms(AnswerMs);
    // The server answers in order, so once the last answer is in the others
    // are too, or the server passed over them: a value it cannot set (ser2net
    // says nothing to one and a half stop bits).
    const TPump r = c.Pump(lock, &deadline, -1, [&c] { return c.FlowAnswer.has_value(); });
    if (r == TPump::Timeout) {
        const bool some = std::any_of(c.Answers.begin(), c.Answers.end(), [](const auto &a) { return a.has_value(); });
        return some ? EINVAL : ETIMEDOUT;
    }
    if (r == TPump::Woken)
        return ECANCELED;
    if (r == TPump::Lost)
        return c.LostError.load();
    if (r != TPump::Ready)
        return EIO;
    // The server answers with what the line now has: a setting it refused
    // or changed is refused here as a local device would.
    if (!c.Answers[Telnet::CpSetBaudRate] || !c.Answers[Telnet::CpSetDataSize] || !c.Answers[Telnet::CpSetParity] ||
        !c.Answers[Telnet::CpSetStopSize] || BaudFromValue(*c.Answers[Telnet::CpSetBaudRate]) != dcb.BaudRate ||
        c.Answers[Telnet::CpSetDataSize]->substr(0, 1) != size ||
        c.Answers[Telnet::CpSetParity]->substr(0, 1) != parity ||
        c.Answers[Telnet::CpSetStopSize]->substr(0, 1) != stop)
        return EINVAL;
    if (*c.FlowAnswer != flow)
        return EOPNOTSUPP;
    return 0;
}

int TNetComDevice::Read(void *buffer, int32_t count, int32_t &transferred)
{
    transferred = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    if (count <= 0)
        return 0;
    TChannel &c = *op.Channel;

    const TComTimeoutRecord &to = op.Timeouts;
    const auto start = Clock::now();
    Clock::time_point total;
    const bool hasTotal = TotalTimeout(to.ReadTotalTimeoutMultiplier, to.ReadTotalTimeoutConstant, count, start, total);
    const bool immediate = !hasTotal && to.ReadIntervalTimeout == MaxDword;
    const bool hasInterval = to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != MaxDword;
    auto *bytes = static_cast<char *>(buffer);
    Clock::time_point lastByte;

    std::unique_lock<std::mutex> lock(c.M);
    for (;;) {
        const std::size_t take = std::min<std::size_t>(std::size_t(count - transferred), c.Buffered());
        if (take > 0) {
            std::memcpy(bytes + transferred, c.In.data() + c.InHead, take);
            c.InHead += take;
            transferred += int32_t(take);
            lastByte = Clock::now();
        }
        if (transferred == count || (hasTotal && Clock::now() >= total) || immediate)
            return 0;
        Clock::time_point deadline;
        const Clock::time_point *limit = nullptr;
        if (hasTotal) {
            deadline = total;
            limit = &deadline;
        }
        if (hasInterval && transferred > 0) {
            const auto gapEnd = lastByte + Ms(to.ReadIntervalTimeout);
            if (!limit || gapEnd < deadline)
                deadline = gapEnd;
            limit = &deadline;
        }
        // Bytes that trickle in (the server sends what its device gave it
        // every millisecond or so) are gathered for a while instead of
        // waking for each packet; they wait in the socket meanwhile. A
        // close or an abort still ends the wait at once.
        if (take > 0 && take < TrickleBytes) {
            const int wait = PollTimeout(limit);
            if (wait == 0)
                return 0;
            lock.unlock();
            pollfd wake {c.WakeRead, POLLIN, 0};
            const int r = ::poll(&wake, 1, wait < 0 || wait > GatherMs ? GatherMs : wait);
            lock.lock();
            if (r > 0 || c.Cancelled)
                return ECANCELED;
        }
        switch (c.Pump(lock, limit, -1, [&c] { return c.Buffered() > 0; })) {
        case TPump::Ready:
            continue;
        case TPump::Timeout:
        case TPump::Stopped:
            return 0;
        case TPump::Woken:
            return ECANCELED;
        case TPump::Lost:
            return transferred > 0 ? 0 : c.LostError.load();
        }
    }
}

int TNetComDevice::Write(const void *buffer, int32_t count, int32_t &transferred)
{
    transferred = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    if (count <= 0)
        return 0;
    TChannel &c = *op.Channel;

    const TComTimeoutRecord &to = op.Timeouts;
    Clock::time_point total;
    const bool hasTotal =
        TotalTimeout(to.WriteTotalTimeoutMultiplier, to.WriteTotalTimeoutConstant, count, Clock::now(), total);
    const Clock::time_point *deadline = hasTotal ? &total : nullptr;
    const auto *bytes = static_cast<const unsigned char *>(buffer);

    std::lock_guard<std::mutex> guard(c.SendLock);
    std::size_t sent = 0;
    if (!c.SendPending.empty()) {
        if (int err = c.SendRaw(c.SendPending.data(), c.SendPending.size(), deadline, sent))
            return err;
        if (sent < c.SendPending.size())
            return 0;
        c.SendPending.clear();
    }
    if (!c.Rfc2217) {
        const int err = c.SendRaw(reinterpret_cast<const char *>(bytes), std::size_t(count), deadline, sent);
        transferred = int32_t(sent);
        return err;
    }
    const std::string raw = TelnetEscape(bytes, std::size_t(count));
    const int err = c.SendRaw(raw.data(), raw.size(), deadline, sent);
    // Bytes counted as they went out; a doubled 0xFF cut in half is counted
    // and its second half goes first next time, so the stream stays whole.
    std::size_t r = 0;
    int32_t done = 0;
    while (r < sent) {
        if (bytes[done] == Telnet::IAC) {
            if (r + 1 == sent) {
                c.SendPending.assign(1, char(Telnet::IAC));
                r += 1;
            } else {
                r += 2;
            }
        } else {
            r += 1;
        }
        ++done;
    }
    transferred = done;
    return err;
}

int TNetComDevice::WaitEvent(uint32_t mask, int stopFd, int32_t timeoutMs, uint32_t &occurred)
{
    occurred = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    TChannel &c = *op.Channel;

    const bool wantRx = mask & EV_RXCHAR;
    const uint32_t lineMask = mask & ModemLineEventMask;
    const uint32_t stateMask = mask & (EV_BREAK | EV_ERR);
    Clock::time_point deadline;
    if (timeoutMs >= 0)
        deadline = Clock::now() + Ms(timeoutMs);

    std::unique_lock<std::mutex> lock(c.M);
    const uint32_t before = c.Modem;
    uint32_t seen = 0;
    const TPump r = c.Pump(lock, timeoutMs >= 0 ? &deadline : nullptr, stopFd, [&] {
        seen = 0;
        if (wantRx && c.Buffered() > 0)
            seen |= EV_RXCHAR;
        seen |= ModemChangeEvents(before, c.Modem) & lineMask;
        seen |= c.LineEvents & stateMask;
        return seen != 0;
    });
    if (r == TPump::Ready) {
        c.LineEvents &= ~seen;
        occurred = seen;
        return 0;
    }
    if (r == TPump::Lost)
        return c.LostError.load();
    return 0;
}

int TNetComDevice::AbortIo()
{
    std::shared_ptr<TChannel> channel;
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FChannel)
            return 0;
        channel = FChannel;
        FCancelled = true;
    }
    {
        std::lock_guard<std::mutex> m(channel->M);
        channel->In.clear();
        channel->InHead = 0;
        channel->Cancelled = true;
        channel->Changed.notify_all();
    }
    channel->Wake();
    // The server's buffers go too; a lost connection has none left.
    if (channel->Rfc2217 && !channel->LostError.load()) {
        std::unique_lock<std::mutex> send(channel->SendLock, std::try_to_lock);
        if (send.owns_lock()) {
            const std::string purge =
                channel->SendPending + ComPortCommand(Telnet::CpPurgeData, std::string(1, char(3)));
            channel->SendPending.clear();
            [[maybe_unused]] ssize_t n = ::send(channel->Fd, purge.data(), purge.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }
    return 0;
}

int TNetComDevice::GetModemStatus(uint32_t &status)
{
    status = 0;
    TOp op;
    if (int err = Enter(op))
        return err;
    TLeave leave {[this, &op] { Leave(op); }};
    std::lock_guard<std::mutex> m(op.Channel->M);
    status = op.Channel->Modem;
    return 0;
}
