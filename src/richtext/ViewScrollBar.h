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
  explicit TViewScrollBar(Qt::Orientation orientation, QWidget *parent = nullptr);

  // Gives the area a vertical and a horizontal bar of this kind.
  static void installIn(QAbstractScrollArea *area);

  // Where the style puts one of the bar's parts (as hit-tested).
  QRect controlRect(QStyle::SubControl control) const;

  // While held, changes of range and value are only noted; the release looks
  // whether the bar needs a repaint. A view that follows its end grows the
  // range with a line and moves the value later, with the line's paint: held
  // in between, the bar is drawn once per line instead of twice.
  void holdChecks(bool on);

  // Lets the owner correct the maximum and page step its area sets, whenever
  // either changes: an area that counts rows Qt cannot see.
  using Correction = std::function<void(int &maximum, int &pageStep)>;
  void setCorrection(Correction correction) { correction_ = std::move(correction); }

 protected:
  void paintEvent(QPaintEvent *event) override;
  void sliderChange(SliderChange change) override;
  bool event(QEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

 private:
  // What the bar looks like apart from the mouse: a change of range or value
  // that leaves it equal needs no repaint.
  struct Look {
    QRect handle;
    bool enabled = true;
    bool atMinimum = false;
    bool atMaximum = false;
    bool operator==(const Look &) const = default;
  };
  Look look(const QStyleOptionSlider &option) const;
  QStyleOptionSlider styleOption() const;
  void paintButton(QPainter &painter, const QStyleOptionSlider &option, QStyle::SubControl control,
                   const QRect &groove, bool canMove);
  const QPixmap &arrow(const QStyleOptionSlider &option, QStyle::PrimitiveElement element, const QSize &size,
                       bool grey);

  // The style's arrows, drawn once: [down or right][grey].
  struct Arrow {
    QPixmap pixmap;
    QStyle::PrimitiveElement element = QStyle::PE_CustomBase;
    QSize size;
    qint64 palette = 0;
    const QStyle *style = nullptr;
  };
  std::array<std::array<Arrow, 2>, 2> arrows_;

  Correction correction_;
  bool correcting_ = false;
  Look painted_;
  bool paintedValid_ = false;
  bool checkPending_ = false;
  bool held_ = false;
  bool changedWhileHeld_ = false;
  QPoint hoverPos_;
  bool hovering_ = false;
  QStyle::SubControl pressed_ = QStyle::SC_None;
  QPoint mousePos_;
};
