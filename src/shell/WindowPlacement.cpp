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
    const int Width = std::max(std::min(P.Width, W - Frame.left() - Frame.right()), Minimum.width());
    const int Height = std::max(std::min(P.Height, H - Frame.top() - Frame.bottom()), Minimum.height());
    QRect Outer = QRect(WorkArea.left() + P.Left, WorkArea.top() + P.Top, Width, Height).marginsAdded(Frame);
    if (Outer.right() > WorkArea.right())
        Outer.moveRight(WorkArea.right());
    if (Outer.left() < WorkArea.left())
        Outer.moveLeft(WorkArea.left());
    if (Outer.bottom() > WorkArea.bottom())
        Outer.moveBottom(WorkArea.bottom());
    if (Outer.top() < WorkArea.top())
        Outer.moveTop(WorkArea.top());
    return Outer.marginsRemoved(Frame);
}
