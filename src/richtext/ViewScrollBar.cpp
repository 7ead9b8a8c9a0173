#include "ViewScrollBar.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionSlider>
#include <QTimer>

namespace {

// Colours of the bar, all opaque: Qt fills an opaque solid rectangle
// directly, without the span machinery that gradients and strokes go through.
struct TColours {
    QColor Groove, Edge, Handle, HandleHover, HandlePressed, Button, ButtonHover, ButtonPressed;
};

QColor Mix(const QColor &A, const QColor &B, int PercentA)
{
    const auto Mix = [PercentA](int X, int Y) { return (X * PercentA + Y * (100 - PercentA)) / 100; };
    return QColor(Mix(A.red(), B.red()), Mix(A.green(), B.green()), Mix(A.blue(), B.blue()));
}

// Close to the style's tones: a groove a little darker than the buttons, a
// handle a little lighter, lines in the outline colour of framed widgets.
TColours ColoursOf(const QPalette &Palette)
{
    const QColor Button = Palette.color(QPalette::Button);
    TColours C;
    C.Groove = Button.darker(106);
    C.Edge = Mix(Palette.color(QPalette::Window).darker(140), C.Groove, 70);
    C.Handle = Button.lighter(104);
    C.HandleHover = Button.lighter(112);
    C.HandlePressed = Button.darker(103);
    C.Button = Button.lighter(102);
    C.ButtonHover = Button.lighter(112);
    C.ButtonPressed = Button.darker(103);
    return C;
}

}  // namespace

TViewScrollBar::TViewScrollBar(Qt::Orientation Orientation, QWidget *Parent) : QScrollBar(Orientation, Parent)
{
    // Every pixel is painted here: nothing behind the bar needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TViewScrollBar::InstallIn(QAbstractScrollArea *Area)
{
    auto *Vertical = new TViewScrollBar(Qt::Vertical, Area);
    Area->setVerticalScrollBar(Vertical);
    Area->setHorizontalScrollBar(new TViewScrollBar(Qt::Horizontal, Area));
    // The area lays out its children again after every change of a bar's range
    // (queued), raising both bars' containers, which repaints both bars: with
    // every received line. That layout only shows or hides a bar, so for the
    // vertical bar it is needed only while its policy lets it come and go.
    if (QObject::disconnect(Vertical, SIGNAL(rangeChanged(int, int)), Area, SLOT(_q_showOrHideScrollBars()))) {
        QObject::connect(Vertical, &QScrollBar::rangeChanged, Area, [Area, Vertical] {
            QStyleOptionSlider Option = Vertical->StyleOption();
            if (Area->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOn ||
                Vertical->style()->styleHint(QStyle::SH_ScrollBar_Transient, &Option, Vertical))
                QMetaObject::invokeMethod(Area, "_q_showOrHideScrollBars", Qt::QueuedConnection);
        });
    }
}

QStyleOptionSlider TViewScrollBar::StyleOption() const
{
    QStyleOptionSlider Option;
    initStyleOption(&Option);
    return Option;
}

QRect TViewScrollBar::ControlRect(QStyle::SubControl Control) const
{
    const QStyleOptionSlider Option = StyleOption();
    return style()->subControlRect(QStyle::CC_ScrollBar, &Option, Control, this);
}

TViewScrollBar::TLook TViewScrollBar::Look(const QStyleOptionSlider &Option) const
{
    TLook L;
    L.Handle = style()->subControlRect(QStyle::CC_ScrollBar, &Option, QStyle::SC_ScrollBarSlider, this);
    L.Enabled = isEnabled();
    L.AtMinimum = value() <= minimum();
    L.AtMaximum = value() >= maximum();
    return L;
}

void TViewScrollBar::sliderChange(SliderChange Change)
{
    if ((Change == SliderRangeChange || Change == SliderStepsChange) && FCorrection && !FCorrecting) {
        int Max = maximum();
        int Page = pageStep();
        FCorrection(Max, Page);
        if (Max != maximum() || Page != pageStep()) {
            // Nested: these come back here as changes of their own.
            FCorrecting = true;
            setRange(minimum(), Max);
            setPageStep(Page);
            FCorrecting = false;
            return;
        }
    }
    if (Change == SliderOrientationChange || !FPaintedValid) {
        QScrollBar::sliderChange(Change);  // an update of the whole bar
        return;
    }
    // Decided once the change is complete: a new range comes with a value
    // clamped to it (two changes), and a view that follows its end moves the
    // value after the range.
    if (FHeld) {
        FChangedWhileHeld = true;
        return;
    }
    if (FCheckPending)
        return;
    FCheckPending = true;
    QTimer::singleShot(0, this, [this] {
        FCheckPending = false;
        if (!FPaintedValid || Look(StyleOption()) != FPainted)
            update();
    });
}

void TViewScrollBar::HoldChecks(bool Hold)
{
    if (FHeld == Hold)
        return;
    FHeld = Hold;
    if (Hold || !FChangedWhileHeld)
        return;
    FChangedWhileHeld = false;
    sliderChange(SliderValueChange);
}

bool TViewScrollBar::event(QEvent *Event)
{
    switch (Event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        FHovering = true;
        FHoverPos = static_cast<QHoverEvent *>(Event)->position().toPoint();
        break;
    case QEvent::HoverLeave:
        FHovering = false;
        break;
    case QEvent::Show:
        // The parent keeps a record of its opaque children, not brought up to
        // date when a scroll area moves its bar into a container: set anew, so
        // that the parents are not painted under the bar.
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        setAttribute(Qt::WA_OpaquePaintEvent, true);
        break;
    default:
        break;
    }
    // QScrollBar repaints the parts the pointer enters and leaves.
    return QScrollBar::event(Event);
}

void TViewScrollBar::mousePressEvent(QMouseEvent *Event)
{
    const QStyleOptionSlider Option = StyleOption();
    FMousePos = Event->position().toPoint();
    FPressed = Event->button() == Qt::LeftButton
        ? style()->hitTestComplexControl(QStyle::CC_ScrollBar, &Option, FMousePos, this)
        : QStyle::SC_None;
    QScrollBar::mousePressEvent(Event);
    if (isSliderDown())
        FPressed = QStyle::SC_ScrollBarSlider;  // also a middle click's jump
    update();
}

void TViewScrollBar::mouseMoveEvent(QMouseEvent *Event)
{
    FMousePos = Event->position().toPoint();
    // QScrollBar repaints a pressed arrow the pointer leaves or comes back to.
    QScrollBar::mouseMoveEvent(Event);
}

void TViewScrollBar::mouseReleaseEvent(QMouseEvent *Event)
{
    QScrollBar::mouseReleaseEvent(Event);
    if (!(Event->buttons() & (Qt::LeftButton | Qt::MiddleButton)) && FPressed != QStyle::SC_None) {
        FPressed = QStyle::SC_None;
        update();
    }
}

void TViewScrollBar::PaintButton(
    QPainter &Painter, const QStyleOptionSlider &Option, QStyle::SubControl Control, const QRect &Groove, bool CanMove)
{
    const QRect R = style()->subControlRect(QStyle::CC_ScrollBar, &Option, Control, this);
    if (R.isEmpty())
        return;
    const TColours C = ColoursOf(Option.palette);
    const bool Horizontal = orientation() == Qt::Horizontal;
    const bool Enabled = isEnabled();
    QColor Fill = C.Button;
    if (Enabled && FPressed == Control && R.contains(FMousePos))
        Fill = C.ButtonPressed;
    else if (Enabled && FPressed == QStyle::SC_None && FHovering && R.contains(FHoverPos))
        Fill = C.ButtonHover;
    // The edge line along the text stays; a line parts the button from the groove.
    Painter.fillRect(Horizontal ? R.adjusted(0, 1, 0, 0) : R.adjusted(1, 0, 0, 0), Fill);
    if (Horizontal) {
        const int X = R.right() < Groove.left() ? R.right() : R.left();
        Painter.fillRect(QRect(X, R.top(), 1, R.height()), C.Edge);
    } else {
        const int Y = R.bottom() < Groove.top() ? R.bottom() : R.top();
        Painter.fillRect(QRect(R.left(), Y, R.width(), 1), C.Edge);
    }

    // The style's own arrow, greyed where the bar cannot move that way.
    const bool Sub = Control == QStyle::SC_ScrollBarSubLine;
    QStyle::PrimitiveElement Arrow;
    if (!Horizontal)
        Arrow = Sub ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown;
    else if ((layoutDirection() == Qt::LeftToRight) == Sub)
        Arrow = QStyle::PE_IndicatorArrowLeft;
    else
        Arrow = QStyle::PE_IndicatorArrowRight;
    const QRect Face = Horizontal ? R.adjusted(0, 1, 0, 0) : R.adjusted(1, 0, 0, 0);
    Painter.drawPixmap(Face.topLeft(), this->Arrow(Option, Arrow, Face.size(), !Enabled || !CanMove));
}

// Some styles draw an arrow into an image of its own on every call; here
// each is drawn once and kept.
const QPixmap &TViewScrollBar::Arrow(
    const QStyleOptionSlider &Option, QStyle::PrimitiveElement Element, const QSize &Size, bool Grey)
{
    const bool Second = Element == QStyle::PE_IndicatorArrowDown || Element == QStyle::PE_IndicatorArrowRight;
    TArrow &A = FArrows[Second][Grey];
    const qreal Ratio = devicePixelRatio();
    if (A.Element == Element && A.Size == Size && A.Palette == Option.palette.cacheKey() && A.Style == style() &&
        A.Pixmap.devicePixelRatio() == Ratio)
        return A.Pixmap;
    A.Element = Element;
    A.Size = Size;
    A.Palette = Option.palette.cacheKey();
    A.Style = style();
    A.Pixmap = QPixmap(Size * Ratio);
    A.Pixmap.setDevicePixelRatio(Ratio);
    A.Pixmap.fill(Qt::transparent);
    QStyleOption O(Option);
    O.rect = QRect(QPoint(0, 0), Size);
    if (Grey) {
        O.state &= ~QStyle::State_Enabled;
        const QColor Colour = Option.palette.color(QPalette::Disabled, QPalette::WindowText);
        O.palette.setColor(QPalette::WindowText, Colour);
        O.palette.setColor(QPalette::ButtonText, Colour);
    }
    QPainter P(&A.Pixmap);
    style()->drawPrimitive(Element, &O, &P, this);
    return A.Pixmap;
}

void TViewScrollBar::paintEvent(QPaintEvent *Event)
{
    const QStyleOptionSlider Option = StyleOption();
    const TLook Now = Look(Option);
    if (Event->rect().contains(rect())) {
        FPainted = Now;
        FPaintedValid = true;
    }
    const TColours C = ColoursOf(Option.palette);
    const bool Horizontal = orientation() == Qt::Horizontal;
    const QRect All = rect();
    QPainter Painter(this);
    Painter.fillRect(All, C.Groove);
    Painter.fillRect(
        Horizontal ? QRect(All.left(), All.top(), All.width(), 1) : QRect(All.left(), All.top(), 1, All.height()),
        C.Edge);

    const QRect &H = Now.Handle;
    if (H.isValid()) {
        QColor Fill = C.Handle;
        if (Now.Enabled) {
            if (FPressed == QStyle::SC_ScrollBarSlider)
                Fill = C.HandlePressed;
            else if (FPressed == QStyle::SC_None && FHovering && H.contains(FHoverPos))
                Fill = C.HandleHover;
        }
        // Outlined on the three sides inside the bar; the outer side is the bar's edge.
        Painter.fillRect(H, C.Edge);
        Painter.fillRect(Horizontal ? H.adjusted(1, 1, -1, 0) : H.adjusted(1, 1, 0, -1), Fill);
    }

    const QRect Groove = style()->subControlRect(QStyle::CC_ScrollBar, &Option, QStyle::SC_ScrollBarGroove, this);
    PaintButton(Painter, Option, QStyle::SC_ScrollBarSubLine, Groove, !Now.AtMinimum);
    PaintButton(Painter, Option, QStyle::SC_ScrollBarAddLine, Groove, !Now.AtMaximum);
}
