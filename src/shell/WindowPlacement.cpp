#include "WindowPlacement.h"

#include <algorithm>

QRect PlacementRect(TPlacement Command, const QRect &WorkArea, const QSize &Minimum, const QMargins &Frame)
{
    const int W = WorkArea.width(), H = WorkArea.height();
    struct {
        int Width, Height, Left, Top;
    } const Places[] = {
        {600, 400, 250, 100},  // Center
        {W, H / 2, 0, 0},      // Top
        {W, H / 2, 0, H / 2},  // Bottom
        {W / 2, H, 0, 0},      // Left
        {W / 2, H, W / 2, 0},  // Right
    };
    const auto &P = Places[static_cast<int>(Command)];
    const int Width = std::min(P.Width, W - Frame.left() - Frame.right());
    const int Height = std::min(P.Height, H - Frame.top() - Frame.bottom());
    const QSize MinimumOuter = Minimum.grownBy(Frame);
    return FitToArea(QRect(WorkArea.left() + P.Left, WorkArea.top() + P.Top, Width, Height).marginsAdded(Frame),
        WorkArea, MinimumOuter)
        .marginsRemoved(Frame);
}

QRect FitToArea(const QRect &Outer, const QRect &WorkArea, const QSize &Minimum)
{
    QRect Fitted = Outer;
    Fitted.setWidth(std::max(std::min(Outer.width(), WorkArea.width()), Minimum.width()));
    Fitted.setHeight(std::max(std::min(Outer.height(), WorkArea.height()), Minimum.height()));
    if (Fitted.right() > WorkArea.right())
        Fitted.moveRight(WorkArea.right());
    if (Fitted.left() < WorkArea.left())
        Fitted.moveLeft(WorkArea.left());
    if (Fitted.bottom() > WorkArea.bottom())
        Fitted.moveBottom(WorkArea.bottom());
    if (Fitted.top() < WorkArea.top())
        Fitted.moveTop(WorkArea.top());
    return Fitted;
}
