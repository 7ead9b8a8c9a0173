#include "DisplayWake.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

TDisplayWake::TDisplayWake(QObject *Context, std::function<void()> OnWake)
    : FFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), FOnWake(std::move(OnWake))
{
    if (FFd < 0)
        throw std::runtime_error("cannot create the display's wake-up counter");
    FNotifier = new QSocketNotifier(FFd, QSocketNotifier::Read, Context);
    QObject::connect(FNotifier, &QSocketNotifier::activated, FNotifier, [this] {
        uint64_t Count = 0;
        [[maybe_unused]] const ssize_t N = ::read(FFd, &Count, sizeof Count);
        FPosted = false;
        FOnWake();
    });
}

TDisplayWake::~TDisplayWake()
{
    delete FNotifier;
    ::close(FFd);
}

void TDisplayWake::Post()
{
    if (FPosted.exchange(true))
        return;
    const uint64_t One = 1;
    // Only a counter at its limit refuses, and then a wake is pending anyway.
    while (::write(FFd, &One, sizeof One) < 0 && errno == EINTR) { }
}
