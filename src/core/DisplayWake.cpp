#include "DisplayWake.h"

TDisplayWake::TDisplayWake(QObject *Context, std::function<void()> OnWake)
    : FContext(Context), FOnWake(std::move(OnWake))
{
}

void TDisplayWake::Post()
{
    if (FPosted.exchange(true))
        return;
    QMetaObject::invokeMethod(
        FContext,
        [this] {
            FPosted = false;
            FOnWake();
        },
        Qt::QueuedConnection);
}
