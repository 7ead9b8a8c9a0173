#include "ViewScrollBar.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QStyleOptionSlider>
#include <QTimer>

namespace {

// Colours of the bar, all opaque: Qt fills an opaque solid rectangle
// directly, without the span machinery that gradients and strokes go through.
struct Colours {
  QColor groove, edge, handle, handleHover, handlePressed, button, buttonHover, buttonPressed;
};

QColor Mix(const QColor &a, const QColor &b, int percentA) {
  const auto mix = [percentA](int x, int y) { return (x * percentA + y * (100 - percentA)) / 100; };
  return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

// Close to the style's tones: a groove a little darker than the buttons, a
// handle a little lighter, lines in the outline colour of framed widgets.
Colours ColoursOf(const QPalette &palette) {
  const QColor button = palette.color(QPalette::Button);
  Colours c;
  c.groove = button.darker(106);
  c.edge = Mix(palette.color(QPalette::Window).darker(140), c.groove, 70);
  c.handle = button.lighter(104);
  c.handleHover = button.lighter(112);
  c.handlePressed = button.darker(103);
  c.button = button.lighter(102);
  c.buttonHover = button.lighter(112);
  c.buttonPressed = button.darker(103);
  return c;
}

}  // namespace

TViewScrollBar::TViewScrollBar(Qt::Orientation orientation, QWidget *parent) : QScrollBar(orientation, parent) {
  // Every pixel is painted here: nothing behind the bar needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TViewScrollBar::installIn(QAbstractScrollArea *area) {
  auto *vertical = new TViewScrollBar(Qt::Vertical, area);
  area->setVerticalScrollBar(vertical);
  area->setHorizontalScrollBar(new TViewScrollBar(Qt::Horizontal, area));
  // The area lays out its children again after every change of a bar's range
  // (queued), raising both bars' containers, which repaints both bars: with
  // every received line. That layout only shows or hides a bar, so for the
  // vertical bar it is needed only while its policy lets it come and go.
  if (QObject::disconnect(vertical, SIGNAL(rangeChanged(int, int)), area, SLOT(_q_showOrHideScrollBars()))) {
    QObject::connect(vertical, &QScrollBar::rangeChanged, area, [area, vertical] {
      QStyleOptionSlider option = vertical->styleOption();
      if (area->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOn ||
          vertical->style()->styleHint(QStyle::SH_ScrollBar_Transient, &option, vertical))
        QMetaObject::invokeMethod(area, "_q_showOrHideScrollBars", Qt::QueuedConnection);
    });
  }
}

QStyleOptionSlider TViewScrollBar::styleOption() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return option;
}

QRect TViewScrollBar::controlRect(QStyle::SubControl control) const {
  const QStyleOptionSlider option = styleOption();
  return style()->subControlRect(QStyle::CC_ScrollBar, &option, control, this);
}

TViewScrollBar::Look TViewScrollBar::look(const QStyleOptionSlider &option) const {
  Look l;
  l.handle = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
  l.enabled = isEnabled();
  l.atMinimum = value() <= minimum();
  l.atMaximum = value() >= maximum();
  return l;
}

void TViewScrollBar::sliderChange(SliderChange change) {
  if ((change == SliderRangeChange || change == SliderStepsChange) && correction_ && !correcting_) {
    int max = maximum();
    int page = pageStep();
    correction_(max, page);
    if (max != maximum() || page != pageStep()) {
      // Nested: these come back here as changes of their own.
      correcting_ = true;
      setRange(minimum(), max);
      setPageStep(page);
      correcting_ = false;
      return;
    }
  }
  if (change == SliderOrientationChange || !paintedValid_) {
    QScrollBar::sliderChange(change);  // an update of the whole bar
    return;
  }
  // Decided once the change is complete: a new range comes with a value
  // clamped to it (two changes), and a view that follows its end moves the
  // value after the range.
  if (held_) {
    changedWhileHeld_ = true;
    return;
  }
  if (checkPending_) return;
  checkPending_ = true;
  QTimer::singleShot(0, this, [this] {
    checkPending_ = false;
    if (!paintedValid_ || look(styleOption()) != painted_) update();
  });
}

void TViewScrollBar::holdChecks(bool on) {
  if (held_ == on) return;
  held_ = on;
  if (on || !changedWhileHeld_) return;
  changedWhileHeld_ = false;
  sliderChange(SliderValueChange);
}

bool TViewScrollBar::event(QEvent *event) {
  switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
      hovering_ = true;
      hoverPos_ = static_cast<QHoverEvent *>(event)->position().toPoint();
      break;
    case QEvent::HoverLeave:
      hovering_ = false;
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
  return QScrollBar::event(event);
}

void TViewScrollBar::mousePressEvent(QMouseEvent *event) {
  const QStyleOptionSlider option = styleOption();
  mousePos_ = event->position().toPoint();
  pressed_ = event->button() == Qt::LeftButton
                 ? style()->hitTestComplexControl(QStyle::CC_ScrollBar, &option, mousePos_, this)
                 : QStyle::SC_None;
  QScrollBar::mousePressEvent(event);
  if (isSliderDown()) pressed_ = QStyle::SC_ScrollBarSlider;  // also a middle click's jump
  update();
}

void TViewScrollBar::mouseMoveEvent(QMouseEvent *event) {
  mousePos_ = event->position().toPoint();
  // QScrollBar repaints a pressed arrow the pointer leaves or comes back to.
  QScrollBar::mouseMoveEvent(event);
}

void TViewScrollBar::mouseReleaseEvent(QMouseEvent *event) {
  QScrollBar::mouseReleaseEvent(event);
  if (!(event->buttons() & (Qt::LeftButton | Qt::MiddleButton)) && pressed_ != QStyle::SC_None) {
    pressed_ = QStyle::SC_None;
    update();
  }
}

void TViewScrollBar::paintButton(QPainter &painter, const QStyleOptionSlider &option, QStyle::SubControl control,
                                 const QRect &groove, bool canMove) {
  const QRect r = style()->subControlRect(QStyle::CC_ScrollBar, &option, control, this);
  if (r.isEmpty()) return;
  const Colours c = ColoursOf(option.palette);
  const bool horizontal = orientation() == Qt::Horizontal;
  const bool enabled = isEnabled();
  QColor fill = c.button;
  if (enabled && pressed_ == control && r.contains(mousePos_))
    fill = c.buttonPressed;
  else if (enabled && pressed_ == QStyle::SC_None && hovering_ && r.contains(hoverPos_))
    fill = c.buttonHover;
  // The edge line along the text stays; a line parts the button from the groove.
  painter.fillRect(horizontal ? r.adjusted(0, 1, 0, 0) : r.adjusted(1, 0, 0, 0), fill);
  if (horizontal) {
    const int x = r.right() < groove.left() ? r.right() : r.left();
    painter.fillRect(QRect(x, r.top(), 1, r.height()), c.edge);
  } else {
    const int y = r.bottom() < groove.top() ? r.bottom() : r.top();
    painter.fillRect(QRect(r.left(), y, r.width(), 1), c.edge);
  }

  // The style's own arrow, greyed where the bar cannot move that way.
  const bool sub = control == QStyle::SC_ScrollBarSubLine;
  QStyle::PrimitiveElement arrow;
  if (!horizontal)
    arrow = sub ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown;
  else if ((layoutDirection() == Qt::LeftToRight) == sub)
    arrow = QStyle::PE_IndicatorArrowLeft;
  else
    arrow = QStyle::PE_IndicatorArrowRight;
  const QRect face = horizontal ? r.adjusted(0, 1, 0, 0) : r.adjusted(1, 0, 0, 0);
  painter.drawPixmap(face.topLeft(), this->arrow(option, arrow, face.size(), !enabled || !canMove));
}

// Some styles draw an arrow into an image of its own on every call; here
// each is drawn once and kept.
const QPixmap &TViewScrollBar::arrow(const QStyleOptionSlider &option, QStyle::PrimitiveElement element,
                                     const QSize &size, bool grey) {
  const bool second = element == QStyle::PE_IndicatorArrowDown || element == QStyle::PE_IndicatorArrowRight;
  Arrow &a = arrows_[second][grey];
  const qreal ratio = devicePixelRatio();
  if (a.element == element && a.size == size && a.palette == option.palette.cacheKey() && a.style == style() &&
      a.pixmap.devicePixelRatio() == ratio)
    return a.pixmap;
  a.element = element;
  a.size = size;
  a.palette = option.palette.cacheKey();
  a.style = style();
  a.pixmap = QPixmap(size * ratio);
  a.pixmap.setDevicePixelRatio(ratio);
  a.pixmap.fill(Qt::transparent);
  QStyleOption o(option);
  o.rect = QRect(QPoint(0, 0), size);
  if (grey) {
    o.state &= ~QStyle::State_Enabled;
    const QColor colour = option.palette.color(QPalette::Disabled, QPalette::WindowText);
    o.palette.setColor(QPalette::WindowText, colour);
    o.palette.setColor(QPalette::ButtonText, colour);
  }
  QPainter p(&a.pixmap);
  style()->drawPrimitive(element, &o, &p, this);
  return a.pixmap;
}

void TViewScrollBar::paintEvent(QPaintEvent *event) {
  const QStyleOptionSlider option = styleOption();
  const Look now = look(option);
  if (event->rect().contains(rect())) {
    painted_ = now;
    paintedValid_ = true;
  }
  const Colours c = ColoursOf(option.palette);
  const bool horizontal = orientation() == Qt::Horizontal;
  const QRect all = rect();
  QPainter painter(this);
  painter.fillRect(all, c.groove);
  painter.fillRect(horizontal ? QRect(all.left(), all.top(), all.width(), 1) : QRect(all.left(), all.top(), 1, all.height()),
                   c.edge);

  const QRect &h = now.handle;
  if (h.isValid()) {
    QColor fill = c.handle;
    if (now.enabled) {
      if (pressed_ == QStyle::SC_ScrollBarSlider)
        fill = c.handlePressed;
      else if (pressed_ == QStyle::SC_None && hovering_ && h.contains(hoverPos_))
        fill = c.handleHover;
    }
    // Outlined on the three sides inside the bar; the outer side is the bar's edge.
    painter.fillRect(h, c.edge);
    painter.fillRect(horizontal ? h.adjusted(1, 1, -1, 0) : h.adjusted(1, 1, 0, -1), fill);
  }

  const QRect groove = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, this);
  paintButton(painter, option, QStyle::SC_ScrollBarSubLine, groove, !now.atMinimum);
  paintButton(painter, option, QStyle::SC_ScrollBarAddLine, groove, !now.atMaximum);
}
