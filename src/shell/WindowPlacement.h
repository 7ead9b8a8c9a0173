#pragma once
// Where the Window menu's placement commands put the main window.

#include <QMargins>
#include <QRect>
#include <QSize>

// In menu order.
enum class TPlacement { Center, Top, Bottom, Left, Right };

// The client rectangle for Command on a work area (the screen less its
// panels): the designed size and place (600 x 400 at 250, 100; halves of
// the area, rounded down), no smaller than Minimum, then shrunk and moved
// as far as needed to keep the window with its Frame on the work area. A
// window wider or taller than the area keeps its left or top edge on it.
QRect PlacementRect(TPlacement Command, const QRect &WorkArea, const QSize &Minimum, const QMargins &Frame = {});

// Outer moved onto a work area, shrunk first where it is larger than the
// area (to no less than Minimum): a window restored from another screen or
// scale must not lie off screen. A window larger than the area even at its
// minimum keeps its left or top edge on it.
QRect FitToArea(const QRect &Outer, const QRect &WorkArea, const QSize &Minimum);
