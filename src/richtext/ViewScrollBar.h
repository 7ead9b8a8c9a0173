// The scroll bars of the rich-text views.
//
// A QScrollBar (so mouse, wheel, keyboard and screen readers work as for any
// scroll bar) that paints itself with solid fills in the palette's colours.
// The style's own scroll bar is drawn with gradients and long lines, which
// Qt's raster engine hands to its thread pool once a fill spans more than a
// few dozen rows: a tall bar cost about 3 ms per repaint, and a view that
// receives a line every 100 ms repaints its bar with every line. Here:
// - the geometry (groove, handle, arrow buttons) is the style's, so what is
//   drawn is where the style hit-tests the mouse;
// - the bar paints every pixel itself (no parent paint behind it);
// - a change of range or value that leaves the drawn bar as it is (same
//   handle, same ends reached) paints nothing: a long stream of lines moves
//   the handle only now and then.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QScrollBar>
#include <QStyle>

#include <array>
#include <functional>

class QAbstractScrollArea;
class QStyleOptionSlider;

class TViewScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit TViewScrollBar(Qt::Orientation Orientation, QWidget *Parent = nullptr);

    // Gives the area a vertical and a horizontal bar of this kind.
    static void InstallIn(QAbstractScrollArea *Area);

    // Where the style puts one of the bar's parts (as hit-tested).
    QRect ControlRect(QStyle::SubControl Control) const;

    // While held, changes of range and value are only noted; the release looks
    // whether the bar needs a repaint. A view that follows its end grows the
    // range with a line and moves the value later, with the line's paint: held
    // in between, the bar is drawn once per line instead of twice.
    void HoldChecks(bool Hold);

    // Lets the owner correct the maximum and page step its area sets, whenever
    // either changes: an area that counts rows Qt cannot see.
    using Correction = std::function<void(int &Maximum, int &PageStep)>;
    void SetCorrection(Correction Correction) { FCorrection = std::move(Correction); }

protected:
    void paintEvent(QPaintEvent *Event) override;
    void sliderChange(SliderChange Change) override;
    bool event(QEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;

private:
    // What the bar looks like apart from the mouse: a change of range or value
    // that leaves it equal needs no repaint.
    struct TLook {
        QRect Handle;
        bool Enabled = true;
        bool AtMinimum = false;
        bool AtMaximum = false;
        bool operator==(const TLook &) const = default;
    };
    TLook Look(const QStyleOptionSlider &Option) const;
    QStyleOptionSlider StyleOption() const;
    void PaintButton(QPainter &Painter, const QStyleOptionSlider &Option, QStyle::SubControl Control,
        const QRect &Groove, bool CanMove);
    const QPixmap &Arrow(
        const QStyleOptionSlider &Option, QStyle::PrimitiveElement Element, const QSize &Size, bool Grey);

    // The style's arrows, drawn once: [down or right][grey].
    struct TArrow {
        QPixmap Pixmap;
        QStyle::PrimitiveElement Element = QStyle::PE_CustomBase;
        QSize Size;
        qint64 Palette = 0;
        const QStyle *Style = nullptr;
    };
    std::array<std::array<TArrow, 2>, 2> FArrows;

    Correction FCorrection;
    bool FCorrecting = false;
    TLook FPainted;
    bool FPaintedValid = false;
    bool FCheckPending = false;
    bool FHeld = false;
    bool FChangedWhileHeld = false;
    QPoint FHoverPos;
    bool FHovering = false;
    QStyle::SubControl FPressed = QStyle::SC_None;
    QPoint FMousePos;
};
