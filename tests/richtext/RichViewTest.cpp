// The rich-text view: appends that leave the user's selection and scroll
// position alone, lines, caret, find, trimming, the character bound, files,
// the sliced painting of long lines (compared with Qt's own painting), what
// a stream of long lines and wrapped text look like, and its scroll bars.
// Some of it runs again with a screen reader's accessibility active (see
// CMakeLists.txt).
#include "RichView.h"
#include "ViewScrollBar.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <cstdlib>

namespace {

const QColor kGrey(128, 128, 128);
const QColor kBlue(0, 0, 200);

void AppendLines(TRichView &v, int from, int count, int width = 20) {
  for (int i = from; i < from + count; ++i) {
    const QString tag = QStringLiteral("[%1] ").arg(i, 6, 10, QLatin1Char('0'));
    v.append({{tag, kGrey}, {QString(width, QLatin1Char('A' + i % 26)) + QLatin1Char('\n'), kBlue}});
  }
}

QString AllBytes() {
  QByteArray bytes;
  for (int c = 0; c < 256; ++c)
    if (c != '\n' && c != '\r') bytes += char(c);
  return QString::fromLatin1(bytes);
}

// Counts the paint events of the widgets it watches.
struct PaintCounter : QObject {
  QHash<QObject *, int> paints;
  explicit PaintCounter(const QList<QWidget *> &widgets) {
    for (QWidget *w : widgets) w->installEventFilter(this);
  }
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Paint) ++paints[watched];
    return false;
  }
  int total() const {
    int n = 0;
    for (int p : paints) n += p;
    return n;
  }
};

// Lets queued layouts and repaints run.
void Settle() {
  for (int i = 0; i < 3; ++i) QTest::qWait(15);
}

// Where the style puts a part of the bar, from the bar's public state only.
QRect StyleRect(const QScrollBar *bar, QStyle::SubControl part) {
  QStyleOptionSlider o;
  o.initFrom(bar);
  o.subControls = QStyle::SC_All;
  o.orientation = bar->orientation();
  if (bar->orientation() == Qt::Horizontal) o.state |= QStyle::State_Horizontal;
  o.minimum = bar->minimum();
  o.maximum = bar->maximum();
  o.sliderPosition = o.sliderValue = bar->value();
  o.singleStep = bar->singleStep();
  o.pageStep = bar->pageStep();
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &o, part, bar);
}

void SendMouse(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

// A received hex line of about width characters, its number first, as the
// receive window shows it.
QString HexLine(int number, int width) {
  QString line = QStringLiteral("%1 ").arg(number, 6, 10, QLatin1Char('0'));
  for (int i = number; line.size() < width; i = i * 7 + 3)
    line += QStringLiteral("%1 ").arg(i & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
  return line;
}

// Pixels of an image that differ from its top-left corner (the background).
int InkIn(const QImage &image, const QRect &band) {
  const QRgb background = image.pixel(0, 0);
  int n = 0;
  const QRect r = band.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += image.pixel(x, y) != background;
  return n;
}

// The smallest rectangle that holds every pixel where two images differ.
QRect DiffRect(const QImage &a, const QImage &b) {
  QRect r;
  if (a.size() != b.size()) return a.rect().united(b.rect());
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) r = r.united(QRect(x, y, 1, 1));
  return r;
}

// Qt's own view of what a rich view holds, for pixel comparisons: same font,
// size, wrap and text, formats included; no caret.
struct QtView {
  struct Edit : QPlainTextEdit {
    using QPlainTextEdit::blockBoundingGeometry;
    using QPlainTextEdit::contentOffset;
  } edit;
  explicit QtView(const TRichView &mine) {
    edit.setFont(mine.font());
    edit.document()->setDefaultFont(mine.document()->defaultFont());
    edit.setWordWrapMode(mine.wordWrapMode());
    edit.setLineWrapMode(mine.lineWrapMode());
    edit.setVerticalScrollBarPolicy(mine.verticalScrollBarPolicy());
    edit.setCursorWidth(0);
    edit.resize(mine.size());
    edit.show();
  }
  // Copies the lines of the rich view from line first up to its last line
  // break, with their formats.
  void copyLines(const TRichView &mine, int first) {
    QTextCursor c(edit.document());
    c.movePosition(QTextCursor::End);
    for (QTextBlock b = mine.document()->findBlockByNumber(first); b.isValid() && b.next().isValid(); b = b.next()) {
      for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) c.insertText(it.fragment().text(), it.fragment().charFormat());
      c.insertBlock();
    }
  }
  // The viewport as Qt draws it with the end of the text in view.
  QImage atEnd() {
    edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
    return edit.viewport()->grab().toImage();
  }
  // Where the last line with text is in the viewport.
  QRect lastLineRect() {
    const QTextBlock last = edit.document()->lastBlock().previous();
    return edit.blockBoundingGeometry(last).translated(edit.contentOffset()).toAlignedRect();
  }
};

}  // namespace

class RichViewTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    // Run again by tests/screen-reader.sh: accessibility must then be active.
    if (qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"))
      QVERIFY2(QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000), "accessibility did not become active");
  }

  void appendLeavesSelectionAndRecordsNoUndo() {
    TRichView v;
    AppendLines(v, 0, 10);
    v.setSelection(v.lineStart(2) + 3, 5);
    const QString selected = v.selText();
    QSignalSpy changed(&v, &TRichView::changed);
    AppendLines(v, 10, 50);
    QCOMPARE(changed.count(), 50);  // one notification per appended line
    QCOMPARE(v.selStart(), v.lineStart(2) + 3);
    QCOMPARE(v.selLength(), 5);
    QCOMPARE(v.selText(), selected);
    QCOMPARE(v.caretLine(), 2);
    QCOMPARE(v.caretColumn(), 8);
    QVERIFY(!v.document()->isUndoAvailable());
    QCOMPARE(v.document()->availableUndoSteps(), 0);
    QCOMPARE(v.lineCount(), 61);  // 60 lines and the empty one after the last break
    QCOMPARE(v.lineText(59), QStringLiteral("[000059] ") + QString(20, QLatin1Char('A' + 59 % 26)));
    QCOMPARE(v.lineText(60), QString());
    QCOMPARE(v.lineText(1000), QString());
    QCOMPARE(v.lineAt(v.lineStart(7) + 3), 7);
    // Tag and data keep their colours and the insertion font.
    QTextCursor c(v.document());
    c.setPosition(v.lineStart(3) + 1);
    QCOMPARE(c.charFormat().foreground().color(), kGrey);
    QCOMPARE(c.charFormat().fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
    c.setPosition(v.lineStart(3) + 10);
    QCOMPARE(c.charFormat().foreground().color(), kBlue);

    // Where undo is on, the user's edits are undoable but appends are not.
    v.setUndoRedoEnabled(true);
    v.setSelection(0, 0);
    v.replaceSelection(QStringLiteral("typed"));
    QVERIFY(v.document()->isUndoAvailable());
    AppendLines(v, 60, 1);
    QVERIFY(!v.document()->isUndoAvailable());
    QCOMPARE(v.lineText(60).left(8), QStringLiteral("[000060]"));
  }

  void everyByteValueSurvivesViewAndFile() {
    QTemporaryDir dir;
    TRichView v;
    const QString line = AllBytes();
    v.append({{QStringLiteral("[R x] "), kGrey}, {line + QLatin1Char('\n'), kBlue}});
    v.append(QString(QChar(0)) + QStringLiteral("zero first\r\nnext\rlast"), kBlue);
    QCOMPARE(v.lineText(0), QStringLiteral("[R x] ") + line);  // code 0 does not cut the line
    QCOMPARE(v.lineText(1), QString(QChar(0)) + QStringLiteral("zero first"));
    QCOMPARE(v.lineText(2), QStringLiteral("next"));
    QCOMPARE(v.lineText(3), QStringLiteral("last"));
    v.setSelection(0, v.textLength());
    QCOMPARE(v.selText(), QStringLiteral("[R x] ") + line + QLatin1Char('\n') + QChar(0) +
                              QStringLiteral("zero first\nnext\nlast"));

    const QString path = dir.filePath(QStringLiteral("all.rtf"));
    v.saveRtf(path);
    TRichView back;
    back.loadFile(path);
    QCOMPARE(back.lineCount(), v.lineCount());
    for (int i = 0; i < v.lineCount(); ++i) QCOMPARE(back.lineText(i), v.lineText(i));
    QTextCursor c(back.document());
    c.setPosition(back.lineStart(0) + 10);
    QCOMPARE(c.charFormat().foreground().color(), kBlue);
  }

  void caretSelectionAndReplace() {
    TRichView v;
    v.append(QStringLiteral("first\n  01 03 00 00 00 0A  \nlast"));
    v.setSelection(v.lineStart(1) + 2, 17);
    QCOMPARE(v.selText(), QStringLiteral("01 03 00 00 00 0A"));
    QCOMPARE(v.caretLine(), 1);
    QCOMPARE(v.caretColumn(), 19);
    QFile fragment(QStringLiteral(RTF_TEST_DATA "/checksum-fragment.rtf"));
    QVERIFY(fragment.open(QIODevice::ReadOnly));
    v.replaceSelectionRtf(fragment.readAll());
    QCOMPARE(v.lineText(1), QStringLiteral("  01 03 00 00 00 0A C5 CD  "));
    QCOMPARE(v.lineCount(), 3);
    QCOMPARE(v.caretColumn(), 25);  // behind the checksum
    QCOMPARE(v.selLength(), 0);

    v.setSelection(v.lineStart(2), 4);
    v.replaceSelection(QStringLiteral("one\ntwo"));
    QCOMPARE(v.lineText(2), QStringLiteral("one"));
    QCOMPARE(v.lineText(3), QStringLiteral("two"));
    QCOMPARE(v.caretLine(), 3);

    v.setSelection(0, 5);
    v.setSelectionColour(QColor(255, 0, 0));
    QTextCursor c(v.document());
    c.setPosition(3);
    QCOMPARE(c.charFormat().foreground().color(), QColor(255, 0, 0));
    v.setSelection(-5, 1000000);  // clamped to the text
    QCOMPARE(v.selStart(), 0);
    QCOMPARE(v.selLength(), v.textLength());
  }

  void find() {
    TRichView v;
    v.append(QStringLiteral("[10:00:01 ---] 01 02 03\n[10:00:02  15] 02 03 04 ab\nAB 02 03\n"));
    const int second = v.lineStart(1);
    QCOMPARE(v.find(QStringLiteral("02 03"), 0, true), 18);
    QCOMPARE(v.find(QStringLiteral("02 03"), 19, true), second + 15);
    QCOMPARE(v.find(QStringLiteral("02 03"), second + 16, true), v.lineStart(2) + 3);
    QCOMPARE(v.find(QStringLiteral("02 03"), v.lineStart(2) + 4, true), -1);
    QCOMPARE(v.find(QStringLiteral("AB"), 0, true), v.lineStart(2));
    QCOMPARE(v.find(QStringLiteral("AB"), 0, false), second + 24);
    QCOMPARE(v.find(QStringLiteral("aB"), second + 25, false), v.lineStart(2));
    QCOMPARE(v.find(QString(), 0, false), -1);
    QCOMPARE(v.find(QStringLiteral("x"), 100000, false), -1);
  }

  void followsTheEndOnlyWhileTheUserIsThere() {
    TRichView v;
    v.resize(400, 300);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QScrollBar *bar = v.verticalScrollBar();
    AppendLines(v, 0, 500);
    v.flushUpdates();
    QVERIFY(bar->maximum() > 400);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(100);  // the user scrolls up
    QVERIFY(!v.followsEnd());
    const QString top = v.lineText(v.firstVisibleLine());
    AppendLines(v, 500, 300);
    v.flushUpdates();
    QCOMPARE(bar->value(), 100);
    QCOMPARE(v.lineText(v.firstVisibleLine()), top);

    v.deleteFirstLines(40);  // what the user looks at stays in view
    v.flushUpdates();
    QCOMPARE(v.lineText(v.firstVisibleLine()), top);
    QCOMPARE(v.lineText(0).left(8), QStringLiteral("[000040]"));

    bar->setValue(bar->maximum());  // back at the end: follow again
    AppendLines(v, 800, 10);
    v.flushUpdates();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(v.firstVisibleLine() > 700);
    v.deleteFirstLines(100);
    QCOMPARE(bar->value(), bar->maximum());

    // The batch timer shows appended lines by itself.
    AppendLines(v, 810, 5);
    QVERIFY(!v.updatesEnabled());
    QTRY_VERIFY(v.updatesEnabled());
    QCOMPARE(bar->value(), bar->maximum());

    // With word wrap the end is followed too, long lines included.
    v.setWordWrap(true);
    v.append(QString(5000, QLatin1Char('x')) + QLatin1Char('\n'), kBlue);
    v.append(QStringLiteral("last line\n"), kBlue);
    v.flushUpdates();
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(v.document()->lastBlock().previous().text(), QStringLiteral("last line"));
    const QRectF lastRect = v.document()->documentLayout()->blockBoundingRect(v.document()->lastBlock().previous());
    QVERIFY(lastRect.isValid());
  }

  void showsALineAfterAQuietPeriodWithUpdatesOn() {
    TRichView v;
    v.resize(400, 300);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QScrollBar *bar = v.verticalScrollBar();
    AppendLines(v, 0, 100);
    v.flushUpdates();

    // A line alone keeps updates on; the timer shows it, following the end.
    QTest::qWait(TRichView::kRepaintMs + 20);
    AppendLines(v, 100, 1);
    QVERIFY(v.updatesEnabled());
    QTRY_COMPARE(bar->value(), bar->maximum());
    QVERIFY(v.followsEnd());
    // Lines that keep arriving are batched.
    QTest::qWait(TRichView::kRepaintMs + 20);
    AppendLines(v, 101, 2);
    QVERIFY(!v.updatesEnabled());
    // Polled every few ms (QTRY polls every 50): "right after" below must be
    // well within kRepaintMs of the batch's repaint.
    QVERIFY(QTest::qWaitFor([&v] { return v.updatesEnabled(); }));
    QCOMPARE(bar->value(), bar->maximum());
    v.flushUpdates();
    AppendLines(v, 103, 1);  // right after a repaint
    QVERIFY(!v.updatesEnabled());
    v.flushUpdates();
    QCOMPARE(bar->value(), bar->maximum());

    // Scrolled up by the user, a line alone leaves the view where it is.
    bar->setValue(10);
    QTest::qWait(TRichView::kRepaintMs + 20);
    const QString top = v.lineText(v.firstVisibleLine());
    AppendLines(v, 104, 1);
    QVERIFY(v.updatesEnabled());
    v.flushUpdates();
    QCOMPARE(bar->value(), 10);
    QCOMPARE(v.lineText(v.firstVisibleLine()), top);
    QVERIFY(!v.followsEnd());
  }

  // Both bars draw their handle where the style hit-tests it (the groove on
  // either side, the handle's own colour inside, a pressed colour while
  // dragged), and arrows, page clicks, the wheel and dragging scroll the view.
  void scrollBarsDrawWhereTheyAreHitAndScroll() {
    TRichView v;
    v.resize(400, 300);
    AppendLines(v, 0, 300, 150);
    v.flushUpdates();
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    for (QScrollBar *bar : {v.verticalScrollBar(), v.horizontalScrollBar()}) {
      const bool vertical = bar->orientation() == Qt::Vertical;
      QVERIFY(qobject_cast<TViewScrollBar *>(bar));
      QVERIFY(bar->isVisible());
      bar->setValue(bar->maximum() / 3);
      const QRect handle = StyleRect(bar, QStyle::SC_ScrollBarSlider);
      const QRect groove = StyleRect(bar, QStyle::SC_ScrollBarGroove);
      QVERIFY(groove.contains(handle));
      const QString where = QStringLiteral("handle %1,%2 %3x%4 in groove %5,%6 %7x%8")
                                .arg(handle.x()).arg(handle.y()).arg(handle.width()).arg(handle.height())
                                .arg(groove.x()).arg(groove.y()).arg(groove.width()).arg(groove.height());
      if (vertical)
        QVERIFY2(handle.top() - groove.top() > 4 && groove.bottom() - handle.bottom() > 4, qPrintable(where));
      else
        QVERIFY2(handle.left() - groove.left() > 4 && groove.right() - handle.right() > 4, qPrintable(where));

      // Sampled across the middle of the bar, along its length.
      const auto along = [&](int at) {
        return vertical ? QPoint(handle.center().x(), at) : QPoint(at, handle.center().y());
      };
      const int first = vertical ? handle.top() : handle.left();
      const int last = vertical ? handle.bottom() : handle.right();
      const QImage idle = bar->grab().toImage();
      const QRgb handleColour = idle.pixel(along((first + last) / 2));
      const QRgb grooveColour = idle.pixel(along(first - 3));
      QVERIFY(handleColour != grooveColour);
      QCOMPARE(idle.pixel(along(last + 3)), grooveColour);
      QCOMPARE(idle.pixel(along(first + 2)), handleColour);
      QCOMPARE(idle.pixel(along(last - 2)), handleColour);

      // Dragging the handle by a quarter of the free groove.
      const int value = bar->value();
      const QPoint start = handle.center();
      const int shift = ((vertical ? groove.height() - handle.height() : groove.width() - handle.width())) / 4;
      const QPoint end = start + (vertical ? QPoint(0, shift) : QPoint(shift, 0));
      SendMouse(bar, QEvent::MouseButtonPress, start, Qt::LeftButton);
      QVERIFY(bar->isSliderDown());
      SendMouse(bar, QEvent::MouseMove, end, Qt::LeftButton);
      const QImage pressed = bar->grab().toImage();
      SendMouse(bar, QEvent::MouseButtonRelease, end, Qt::NoButton);
      QVERIFY(!bar->isSliderDown());
      const int expected = value + bar->maximum() / 4;
      QVERIFY2(std::abs(bar->value() - expected) <= std::max(2, bar->maximum() / 50),
               qPrintable(QStringLiteral("value %1, expected about %2").arg(bar->value()).arg(expected)));
      const QRect moved = StyleRect(bar, QStyle::SC_ScrollBarSlider);
      QVERIFY(moved.contains(end));
      const QRgb pressedColour = pressed.pixel(moved.center());
      QVERIFY(pressedColour != handleColour && pressedColour != grooveColour);
      // Released, the pointer still over the handle: lit; gone: as before.
      const QRgb hoverColour = bar->grab().toImage().pixel(moved.center());
      QVERIFY(hoverColour != pressedColour && hoverColour != grooveColour);
      QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), QPointF(end));
      QApplication::sendEvent(bar, &leave);
      QCOMPARE(bar->grab().toImage().pixel(moved.center()), handleColour);
      if (vertical) QCOMPARE(v.firstVisibleLine(), bar->value());

      // An arrow, the groove past the handle, the wheel.
      const auto click = [bar](const QPoint &at) {
        SendMouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton);
        SendMouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
      };
      int before = bar->value();
      click(StyleRect(bar, QStyle::SC_ScrollBarAddLine).center());
      QCOMPARE(bar->value(), before + bar->singleStep());
      before = bar->value();
      click(StyleRect(bar, QStyle::SC_ScrollBarSubLine).center());
      QCOMPARE(bar->value(), before - bar->singleStep());
      before = bar->value();
      click(StyleRect(bar, QStyle::SC_ScrollBarAddPage).center());
      QCOMPARE(bar->value(), std::min(before + bar->pageStep(), bar->maximum()));
      before = bar->value();
      QWheelEvent wheel(QPointF(handle.center()), QPointF(bar->mapToGlobal(handle.center())), QPoint(), QPoint(0, 120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(bar, &wheel);
      QVERIFY(bar->value() < before);
    }
  }

  // A bar repaints when its handle moves or changes size, and not when a
  // change of range and value leaves it as it was (a long stream of lines at
  // the end); neither the other bar nor the view's frame is painted with it.
  void scrollBarRepaintsOnlyWhatChanged() {
    TRichView v;
    v.resize(400, 300);
    AppendLines(v, 0, 20, 150);
    v.flushUpdates();
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QScrollBar *bar = v.verticalScrollBar();
    QScrollBar *other = v.horizontalScrollBar();
    QVERIFY(other->isVisible());
    PaintCounter counter({bar, other, &v});
    const auto appendAlone = [&v](int from) {
      QTest::qWait(TRichView::kRepaintMs + 10);  // a line after a quiet period
      AppendLines(v, from, 1, 150);
      v.flushUpdates();
      Settle();
    };

    // Few lines: each new line shortens the handle.
    Settle();
    counter.paints.clear();
    const QRect handle = StyleRect(bar, QStyle::SC_ScrollBarSlider);
    appendAlone(20);
    QVERIFY(StyleRect(bar, QStyle::SC_ScrollBarSlider) != handle);
    QVERIFY(counter.paints.value(bar) >= 1);
    QCOMPARE(counter.paints.value(other), 0);
    QCOMPARE(counter.paints.value(&v), 0);

    // Thousands of lines: the smallest handle stays at the bottom.
    AppendLines(v, 21, 3000, 150);
    v.flushUpdates();
    Settle();
    const int maximum = bar->maximum();
    counter.paints.clear();
    appendAlone(3021);
    QCOMPARE(bar->maximum(), maximum + 1);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(counter.total(), 0);

    // The user moves it.
    bar->setValue(bar->maximum() / 2);
    Settle();
    QVERIFY(counter.paints.value(bar) >= 1);
    QCOMPARE(counter.paints.value(other), 0);
    QCOMPARE(counter.paints.value(&v), 0);

    // Where the policy lets the vertical bar come and go, it still does.
    TRichView w;
    w.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    w.resize(300, 200);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Settle();
    QVERIFY(!w.verticalScrollBar()->isVisible());
    AppendLines(w, 0, 100);
    w.flushUpdates();
    QTRY_VERIFY(w.verticalScrollBar()->isVisible());
    w.clearText();
    w.flushUpdates();
    QTRY_VERIFY(!w.verticalScrollBar()->isVisible());
  }

  void boundedByCharacters() {
    TRichView v;
    v.setMaxLength(6000);
    QCOMPARE(v.characterBound(), 6000);
    for (int i = 0; i < 200; ++i) {
      AppendLines(v, i, 1, 90);  // 100 characters with the tag and the line break
      QVERIFY(v.textLength() <= 6000);
    }
    QCOMPARE(v.lineText(v.lineCount() - 2).left(8), QStringLiteral("[000199]"));
    QVERIFY(v.lineText(0).startsWith(QLatin1Char('[')));  // cut at a line start
    QVERIFY(v.textLength() % 100 == 0);

    // One line longer than the bound keeps its newest characters.
    v.append(QString(3000, QLatin1Char('a')) + QString(7000, QLatin1Char('b')), kBlue);
    QVERIFY(v.textLength() <= 6000);
    QVERIFY(v.lineText(v.lineCount() - 1).endsWith(QStringLiteral("bbbb")));

    TRichView unbounded;
    unbounded.setMaxLength(2147482623);
    QCOMPARE(unbounded.characterBound(), TRichView::kCharacterBound);
  }

  void filesAndErrors() {
    QTemporaryDir dir;
    TRichView v;
    v.setTextColour(Qt::black);
    const QString plain = dir.filePath(QStringLiteral("plain.txt"));
    QFile f(plain);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("one\r\ntwo \xff\n");
    f.close();
    v.loadFile(plain);
    QCOMPARE(v.lineText(0), QStringLiteral("one"));
    QCOMPARE(v.lineText(1), QStringLiteral("two \u00FF"));
    QTextCursor c(v.document());
    c.setPosition(1);
    QCOMPARE(c.charFormat().foreground().style(), Qt::NoBrush);  // the view's own colour
    QCOMPARE(v.caretLine(), 0);

    QSignalSpy changed(&v, &TRichView::changed);
    QVERIFY_THROWS_EXCEPTION(ERichText, v.loadFile(dir.filePath(QStringLiteral("missing.rtf"))));
    QCOMPARE(v.lineText(0), QStringLiteral("one"));  // nothing changed
    QCOMPARE(changed.count(), 0);
    QFile huge(dir.filePath(QStringLiteral("huge.rtf")));  // sparse: no disk space used
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(TRichView::kMaxFileBytes + 1));
    huge.close();
    QVERIFY_THROWS_EXCEPTION(ERichText, v.loadFile(huge.fileName()));
    QCOMPARE(v.lineText(0), QStringLiteral("one"));
    QVERIFY_THROWS_EXCEPTION(ERichText, v.saveRtf(dir.filePath(QStringLiteral("no/such/dir/x.rtf"))));
    v.clearText();
    QCOMPARE(v.textLength(), 0);
    QCOMPARE(changed.count(), 1);
  }

  void mouseSignalsComeAfterTheCaretMoved() {
    TRichView v;
    v.resize(400, 300);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    AppendLines(v, 0, 5);
    v.flushUpdates();
    int lineAtPress = -1, lineAtRelease = -1, moves = 0;
    connect(&v, &TRichView::mousePressed, this, [&] { lineAtPress = v.caretLine(); });
    connect(&v, &TRichView::mouseReleased, this, [&] { lineAtRelease = v.caretLine(); });
    connect(&v, &TRichView::mouseMoved, this, [&] { ++moves; });
    QTextCursor c(v.document());
    c.setPosition(v.lineStart(3) + 4);
    const QPoint at = v.cursorRect(c).center();
    QTest::mouseMove(v.viewport(), at - QPoint(0, 20));  // no button pressed
    QTest::mousePress(v.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(v.viewport(), Qt::LeftButton, Qt::ControlModifier, at);
    QCOMPARE(lineAtPress, 3);
    QCOMPARE(lineAtRelease, 3);
    QVERIFY(moves >= 1);
  }

  void looks() {
    TRichView v;
    v.setBackgroundColour(QColor(0xE6, 0xE6, 0xE6));
    v.setTextColour(QColor(1, 2, 3));
    QCOMPARE(v.backgroundColour(), QColor(0xE6, 0xE6, 0xE6));
    QCOMPARE(v.textColour(), QColor(1, 2, 3));
    QVERIFY(!v.wordWrap());
    v.setWordWrap(true);
    QVERIFY(v.wordWrap());
    QCOMPARE(v.lineWrapMode(), QPlainTextEdit::WidgetWidth);
  }

  // A long line is painted from its visible slice; the picture must be the one
  // Qt paints from the whole line, at the start, in the middle (with a
  // selection) and at the end.
  void longLinesPaintAsQtWould() {
    QString line;
    for (int i = 0; line.size() < 30000; ++i) line += QStringLiteral("%1 ").arg(i % 256, 2, 16, QLatin1Char('0')).toUpper();
    TRichView mine;
    QPlainTextEdit theirs;
    for (QPlainTextEdit *e : {static_cast<QPlainTextEdit *>(&mine), &theirs}) {
      e->setLineWrapMode(QPlainTextEdit::NoWrap);
      e->setFont(mine.font());
      e->resize(500, 200);
      e->setCursorWidth(0);
      e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      e->show();
      QTextCursor c(e->document());
      QTextCharFormat grey, blue;
      grey.setForeground(kGrey);
      blue.setForeground(kBlue);
      for (int l = 0; l < 3; ++l) {
        c.insertText(QStringLiteral("[12:00:0%1 ---] ").arg(l), grey);
        c.insertText(line + QLatin1Char('\n'), blue);
      }
    }
    QVERIFY(QTest::qWaitForWindowExposed(&mine));
    QVERIFY(QTest::qWaitForWindowExposed(&theirs));
    mine.flushUpdates();
    for (int step = 0; step < 3; ++step) {
      for (QPlainTextEdit *e : {static_cast<QPlainTextEdit *>(&mine), &theirs}) {
        QScrollBar *h = e->horizontalScrollBar();
        h->setValue(step == 0 ? 0 : step == 1 ? h->maximum() / 2 : h->maximum());
        if (step == 1) {
          QTextCursor sel(e->document());
          sel.setPosition(15000);
          sel.setPosition(15200, QTextCursor::KeepAnchor);
          e->setTextCursor(sel);
        }
      }
      QCOMPARE(mine.horizontalScrollBar()->value(), theirs.horizontalScrollBar()->value());
      const QImage a = mine.viewport()->grab().toImage();
      const QImage b = theirs.viewport()->grab().toImage();
      QCOMPARE(a.size(), b.size());
      QVERIFY2(a == b, qPrintable(QStringLiteral("step %1 differs").arg(step)));
    }
  }

  // A long hex line is not laid out for appending, painting or scrolling, yet
  // a click lands on the character under the mouse and the caret placed in it
  // is scrolled into view.
  void longLineAnswersClicksWithoutLayout() {
    QString line;
    for (int i = 0; line.size() < 60000; ++i) line += QStringLiteral("%1 ").arg(i % 256, 2, 16, QLatin1Char('0')).toUpper();
    TRichView v;
    v.resize(500, 200);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    for (int l = 0; l < 3; ++l) v.append({{QStringLiteral("[%1] ").arg(l), kGrey}, {line + QLatin1Char('\n'), kBlue}});
    v.flushUpdates();
    QScrollBar *h = v.horizontalScrollBar();
    const qreal advance = QFontMetricsF(v.document()->defaultFont()).horizontalAdvance(QLatin1Char('0'));
    const qreal margin = v.document()->documentMargin();
    // The range reaches the end of the line as if Qt had laid it out.
    const int expected = qRound(2 * margin + advance * v.lineText(1).size()) - v.viewport()->width();
    QVERIFY2(qAbs(h->maximum() - expected) <= 1, qPrintable(QStringLiteral("%1, not %2").arg(h->maximum()).arg(expected)));
    h->setValue(h->maximum() / 3);
    v.viewport()->repaint();
    for (int l = 0; l < 3; ++l) QCOMPARE(v.document()->findBlockByNumber(l).layout()->lineCount(), 0);

    const int column = 20011;
    const QTextBlock block = v.document()->findBlockByNumber(1);
    const int y = v.cursorRect(QTextCursor(block)).top() + 4;
    const QPoint at(qRound(margin - h->value() + (column + 0.25) * advance), y);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(v.caretLine(), 1);
    QCOMPARE(v.caretColumn(), column);

    // A selection far along the last line, set by the program, comes into view.
    const int target = v.lineStart(2) + 55000;
    v.setSelection(target, 2);
    const QRect caret = v.cursorRect();
    QVERIFY2(v.viewport()->rect().contains(caret.center()), qPrintable(QStringLiteral("caret at %1").arg(caret.x())));
  }

  // A stream of long lines is drawn while it arrives and after it, wrap off
  // and on: the viewport shows what Qt's own view of the same text shows, the
  // last line received included. Lines of 1,750 characters (115,200 baud in
  // hex), 100,000 (1 MB/s) and one of 300,000 that goes in slices.
  void longLineStreamIsDrawn() {
    for (const bool wrap : {false, true}) {
      TRichView v;
      v.setWordWrap(wrap);
      v.resize(500, 300);
      v.show();
      QVERIFY(QTest::qWaitForWindowExposed(&v));
      QtView theirs(v);
      QVERIFY(QTest::qWaitForWindowExposed(&theirs.edit));
      int copied = 0;
      const auto check = [&](const QString &when) {
        theirs.copyLines(v, copied);
        copied = v.lineCount() - 1;
        Settle();  // Qt's view shows its horizontal bar
        const QImage want = theirs.atEnd();
        const QImage got = v.viewport()->grab().toImage();
        const QRect last = theirs.lastLineRect();
        const QRect diff = DiffRect(got, want);
        const QString what = QStringLiteral("wrap %1, %2: %3 pixels of text where the last line is (Qt: %4), "
                                            "pictures differ in %5,%6 %7x%8")
                                 .arg(wrap ? QStringLiteral("on") : QStringLiteral("off"), when)
                                 .arg(InkIn(got, last))
                                 .arg(InkIn(want, last))
                                 .arg(diff.x()).arg(diff.y()).arg(diff.width()).arg(diff.height());
        QVERIFY2(InkIn(want, last) > 100, qPrintable(what));
        QVERIFY2(got == want, qPrintable(what));
      };
      for (int i = 0; i < 45; ++i) {
        const int width = i < 30 ? 1750 : i < 43 ? 100'000 : i == 43 ? 300'000 : 1750;
        v.append({{QStringLiteral("[12:00:00 ---] "), kGrey}, {HexLine(i, width) + QLatin1Char('\n'), kBlue}});
        QCoreApplication::processEvents();
        if (i % 15 == 14) {
          // The view shows what arrived by itself, at its next batch tick.
          QTest::qWait(3 * TRichView::kRepaintMs);
          check(QStringLiteral("after line %1").arg(i));
          if (QTest::currentTestFailed()) return;
        }
      }
      v.flushUpdates();
      check(QStringLiteral("at the end"));
      if (QTest::currentTestFailed()) return;
    }
  }

  // With word wrap on there is nothing to scroll sideways: no horizontal
  // range and no offset, also when wrap is switched on while scrolled right
  // and for lines that came while it was off; the arrows move nothing and the
  // rows are drawn as Qt's own view draws them.
  void wrappedTextDoesNotScrollSideways() {
    TRichView v;
    v.resize(500, 300);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    // A 512-byte burst in hex, and short lines around it.
    AppendLines(v, 0, 3);
    v.append({{QStringLiteral("[12:00:00 ---] "), kGrey}, {HexLine(0, 3 * 512) + QLatin1Char('\n'), kBlue}});
    AppendLines(v, 3, 3);
    v.flushUpdates();
    QScrollBar *h = v.horizontalScrollBar();
    QVERIFY(h->maximum() > 1000);
    for (const int scrolled : {0, 1}) {
      v.setWordWrap(false);
      Settle();
      h->setValue(scrolled ? h->maximum() / 2 : 0);
      v.setWordWrap(true);
      Settle();
      const QString when = scrolled ? QStringLiteral("switched on while scrolled right") : QStringLiteral("at the left");
      QVERIFY2(h->maximum() == 0 && h->value() == 0,
               qPrintable(QStringLiteral("%1: range %2, offset %3").arg(when).arg(h->maximum()).arg(h->value())));
      // The bar's right arrow, and a wheel turned sideways.
      h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      QWheelEvent wheel(QPointF(50, 50), QPointF(v.viewport()->mapToGlobal(QPoint(50, 50))), QPoint(), QPoint(-120, 0),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(v.viewport(), &wheel);
      QCOMPARE(h->value(), 0);
      QtView theirs(v);
      theirs.copyLines(v, 0);
      QVERIFY(QTest::qWaitForWindowExposed(&theirs.edit));
      theirs.edit.verticalScrollBar()->setValue(v.verticalScrollBar()->value());
      Settle();
      const QImage got = v.viewport()->grab().toImage();
      const QImage want = theirs.edit.viewport()->grab().toImage();
      const QRect diff = DiffRect(got, want);
      QVERIFY2(got == want, qPrintable(QStringLiteral("%1: pictures differ in %2,%3 %4x%5")
                                           .arg(when).arg(diff.x()).arg(diff.y()).arg(diff.width()).arg(diff.height())));
    }
    // Lines that arrive with wrap on add no range either, and a line a little
    // wider than the view takes two rows.
    v.append({{HexLine(1, 5000) + QLatin1Char('\n'), kBlue}});
    v.append({{QStringLiteral("[12:00:00 ---] "), kGrey}, {QString(63, QLatin1Char('x')) + QLatin1Char('\n'), kBlue}});
    v.flushUpdates();
    Settle();
    QCOMPARE(h->maximum(), 0);
    QCOMPARE(v.document()->lastBlock().previous().layout()->lineCount(), 2);
  }

  // A very long append goes in slices at the next turns of the event loop,
  // before any later line, and a slice never splits a "\r\n".
  void longAppendGoesInSlicesInOrder() {
    TRichView v;
    const int n = TRichView::kSliceChars;
    const QString big = QString(n - 1, QLatin1Char('A')) + QStringLiteral("\r\n") + QString(2 * n, QLatin1Char('B'));
    v.append({{big + QStringLiteral("\r\n"), kBlue}});
    v.append(QStringLiteral("next\n"), kGrey);
    QVERIFY(v.textLength() < n + 1);  // the rest follows later
    QTRY_COMPARE(v.lineCount(), 4);
    QCOMPARE(v.lineText(0), QString(n - 1, QLatin1Char('A')));
    QCOMPARE(v.lineText(1), QString(2 * n, QLatin1Char('B')));
    QCOMPARE(v.lineText(2), QStringLiteral("next"));
    QCOMPARE(v.lineText(3), QString());

    // flushUpdates() puts everything in at once.
    v.append({{QString(3 * n, QLatin1Char('C')) + QLatin1Char('\n'), kBlue}});
    v.flushUpdates();
    QCOMPARE(v.lineText(3), QString(3 * n, QLatin1Char('C')));
    QCOMPARE(v.lineCount(), 5);
  }
};

QTEST_MAIN(RichViewTest)
#include "RichViewTest.moc"
