#include "RichView.h"

#include "RtfReader.h"
#include "RtfWriter.h"
#include "ViewScrollBar.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPainter>
#include <QPaintEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Lines are painted in slices of whole chunks; the x position of every chunk
// start is measured once per line and kept with the line.
constexpr int kChunk = 256;

struct ChunkPositions : QTextBlockUserData {
  int revision = -1;
  int length = -1;
  QString fontKey;
  std::vector<qreal> x;  // x[k]: start of chunk k; the last entry is the line's width
};

QList<QTextLayout::FormatRange> FormatsOf(const QTextBlock &block, int from, int to) {
  QList<QTextLayout::FormatRange> out;
  const int base = block.position();
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment f = it.fragment();
    const int s = f.position() - base, e = s + f.length();
    if (e <= from || s >= to) continue;
    QTextLayout::FormatRange r;
    r.start = std::max(s, from) - from;
    r.length = std::min(e, to) - std::max(s, from);
    r.format = f.charFormat();
    out << r;
  }
  return out;
}

void LayOutOneLine(QTextLayout &layout, qreal x) {
  QTextOption option = layout.textOption();
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLeadingIncluded(true);
  line.setLineWidth(1e9);
  line.setPosition(QPointF(x, 0));
  layout.endLayout();
}

QString AsciiUpper(QString s) {
  for (QChar &c : s)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
  return s;
}

}  // namespace

TRichView::TRichView(QWidget *parent) : QPlainTextEdit(parent), insertFamily_(QStringLiteral("Courier New")) {
  // Bars that repaint cheaply: they change with nearly every received line.
  TViewScrollBar::installIn(this);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  // A change of the viewport's width makes Qt lay out every line in view again
  // (over 700 ms for a screen of 90,000-character lines): keep the vertical
  // bar, so the width does not change when the text first outgrows the view.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  QFont f(insertFamily_, 9);
  f.setStyleHint(QFont::TypeWriter);
  setFont(f);
  viewport()->setMouseTracking(true);
  repaintTimer_.setSingleShot(true);
  repaintTimer_.setInterval(kRepaintMs);
  connect(&repaintTimer_, &QTimer::timeout, this, &TRichView::flushUpdates);
  connect(this, &QPlainTextEdit::textChanged, this, &TRichView::changed);
  // Follow the end only while the user is there: a scroll by the user decides,
  // a longer range (new lines) does not.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!adjusting_) atEnd_ = value >= verticalScrollBar()->maximum();
  });
}

// --- Appending ---

QTextCharFormat TRichView::runFormat(const QColor &colour) {
  const QRgb key = colour.isValid() ? colour.rgb() : 0;  // 0 (transparent black): no colour
  auto it = formats_.constFind(key);
  if (it != formats_.constEnd()) return *it;
  QTextCharFormat f;
  f.setFontFamilies(QStringList{insertFamily_});
  f.setFontStyleHint(QFont::TypeWriter);
  if (colour.isValid()) f.setForeground(colour);
  formats_.insert(key, f);
  return f;
}

void TRichView::append(const QList<Run> &runs) {
  QTextDocument *doc = document();
  // Appends are never undoable; where undo is on (a view the user edits), an
  // append ends the history, which could not be undone past it anyway.
  const bool undo = doc->isUndoRedoEnabled();
  if (undo) doc->setUndoRedoEnabled(false);
  // Text after a quiet period is shown with updates on, painting only its
  // lines (the document's layout would ask for the whole viewport); text that
  // follows before it is shown switches to batching.
  const bool alone = !batching_ && pendingFrom_ < 0 && (!lastShown_.isValid() || lastShown_.hasExpired(kRepaintMs));
  const int firstLine = doc->blockCount() - 1;
  QWidget *view = viewport();
  const bool hold = alone && view->updatesEnabled();
  if (hold) view->setAttribute(Qt::WA_UpdatesDisabled, true);  // not setUpdatesEnabled(): no update() after
  QTextCursor c(doc);
  c.movePosition(QTextCursor::End);
  c.beginEditBlock();
  for (const Run &r : runs) c.insertText(r.text, runFormat(r.colour));
  c.endEditBlock();
  if (hold) view->setAttribute(Qt::WA_UpdatesDisabled, false);
  if (undo) doc->setUndoRedoEnabled(true);
  const int before = textLength();
  enforceBound();
  if (alone && textLength() == before) {
    // Shown by the timer as a batch is: the append and the paint stay apart.
    pendingFrom_ = firstLine;
    repaintTimer_.start();
  } else {
    textArrived();
  }
}

void TRichView::append(const QString &text, const QColor &colour) { append(QList<Run>{{text, colour}}); }

// Switches updates off while text keeps arriving; the timer shows it all at once.
void TRichView::textArrived() {
  if (batching_) return;
  batching_ = true;
  setUpdatesEnabled(false);
  if (!repaintTimer_.isActive()) repaintTimer_.start();
}

// Asks for a paint of the lines from line first to the end, where in view.
void TRichView::showLinesFrom(int first) {
  QWidget *view = viewport();
  const QTextBlock from = document()->findBlockByNumber(first);
  if (!from.isValid()) return;
  const QPointF offset = contentOffset();
  const qreal top = blockBoundingGeometry(from).translated(offset).top();
  const qreal bottom = blockBoundingGeometry(document()->lastBlock()).translated(offset).bottom();
  const QRect r(0, static_cast<int>(std::floor(top)) - 1, view->width(),
                static_cast<int>(std::ceil(bottom - top)) + 2);
  view->update(r.intersected(view->rect()));
}

void TRichView::flushUpdates() {
  if (!batching_ && pendingFrom_ < 0) return;
  repaintTimer_.stop();
  const int from = pendingFrom_;
  pendingFrom_ = -1;
  if (batching_) {
    batching_ = false;
    setUpdatesEnabled(true);
    if (atEnd_) scrollToEnd();
    repaint();
  } else {
    // Following the end scrolls the viewport (a blit), then the new lines are painted.
    if (atEnd_) scrollToEnd();
    showLinesFrom(from);
  }
  lastShown_.start();
}

void TRichView::scrollToEnd() {
  QScrollBar *bar = verticalScrollBar();
  if (lineWrapMode() != NoWrap) {
    // Lay out the last lines first, so that the range counts their rows.
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    qreal height = 0;
    for (QTextBlock b = document()->lastBlock(); b.isValid() && height < viewport()->height(); b = b.previous())
      height += layout->blockBoundingRect(b).height();
  }
  adjusting_ = true;
  bar->setValue(bar->maximum());
  adjusting_ = false;
  atEnd_ = true;
}

// --- Selection and caret ---

int TRichView::selStart() const { return textCursor().selectionStart(); }

int TRichView::selLength() const {
  const QTextCursor c = textCursor();
  return c.selectionEnd() - c.selectionStart();
}

QString TRichView::selText() const {
  QString s = textCursor().selectedText();
  s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return s;
}

void TRichView::setSelection(int start, int length) {
  const int len = textLength();
  start = std::clamp(start, 0, len);
  const int end = std::clamp(start + std::max(length, 0), start, len);
  QTextCursor c(document());
  c.setPosition(start);
  c.setPosition(end, QTextCursor::KeepAnchor);
  setTextCursor(c);
}

void TRichView::replaceSelection(const QString &text) {
  QTextCursor c = textCursor();
  c.insertText(text);
  setTextCursor(c);
  enforceBound();
}

void TRichView::replaceSelectionRtf(const QByteArray &rtf) {
  QTextCursor c = textCursor();
  InsertRtf(c, rtf);
  setTextCursor(c);
  enforceBound();
}

void TRichView::setSelectionColour(const QColor &colour) {
  QTextCursor c = textCursor();
  if (!c.hasSelection()) return;
  QTextCharFormat f;
  f.setForeground(colour);
  c.mergeCharFormat(f);
}

int TRichView::caretLine() const { return document()->findBlock(textCursor().selectionEnd()).blockNumber(); }

int TRichView::caretColumn() const {
  const int pos = textCursor().selectionEnd();
  return pos - document()->findBlock(pos).position();
}

// --- Lines ---

int TRichView::lineCount() const { return document()->blockCount(); }

QString TRichView::lineText(int i) const {
  if (i < 0) return QString();
  return document()->findBlockByNumber(i).text();
}

int TRichView::lineStart(int i) const {
  if (i <= 0) return 0;
  const QTextBlock b = document()->findBlockByNumber(i);
  return b.isValid() ? b.position() : textLength();
}

int TRichView::lineAt(int position) const {
  const QTextBlock b = document()->findBlock(std::clamp(position, 0, textLength()));
  return b.isValid() ? b.blockNumber() : lineCount() - 1;
}

int TRichView::textLength() const { return document()->characterCount() - 1; }

void TRichView::deleteFirstLines(int count) {
  if (count <= 0) return;
  removeFront(count >= lineCount() ? textLength() : lineStart(count));
}

void TRichView::clearText() {
  QTextCursor c(document());
  c.select(QTextCursor::Document);
  c.removeSelectedText();
  atEnd_ = true;
}

// Removes the text before position end in one deletion.
void TRichView::removeFront(int end) {
  if (end <= 0) return;
  QScrollBar *bar = verticalScrollBar();
  const bool follow = atEnd_;
  // Rows that disappear above what the user looks at.
  const QTextBlock kept = document()->findBlock(end);
  const int rowsGone = kept.isValid() && kept.position() == end ? kept.firstLineNumber() : 0;
  const int oldValue = bar->value();
  QTextCursor c(document());
  c.beginEditBlock();
  c.setPosition(end, QTextCursor::KeepAnchor);
  c.removeSelectedText();
  c.endEditBlock();
  adjusting_ = true;
  if (follow) bar->setValue(bar->maximum());
  else bar->setValue(std::max(0, oldValue - rowsGone));
  adjusting_ = false;
  atEnd_ = follow;
}

void TRichView::enforceBound() {
  const int bound = characterBound();
  const int len = textLength();
  if (len <= bound) return;
  // Go below the bound by a sixth at once (as 20,000 of 120,000 lines), so
  // that a stream at the bound trims rarely, and cut at a line start.
  const int target = len - bound + bound / 6;
  const QTextBlock b = document()->findBlock(target);
  int cut = target;
  if (b.isValid() && b.position() != target && b.next().isValid()) cut = b.next().position();
  removeFront(std::min(cut, len));
}

// --- Find ---

int TRichView::find(const QString &what, int from, bool matchCase) const {
  if (what.isEmpty() || from < 0 || from > textLength()) return -1;
  const QString needle = matchCase ? what : AsciiUpper(what);
  for (QTextBlock b = document()->findBlock(from); b.isValid(); b = b.next()) {
    const QString text = matchCase ? b.text() : AsciiUpper(b.text());
    const int start = std::max(0, from - b.position());
    const qsizetype hit = text.indexOf(needle, start);
    if (hit >= 0) return b.position() + static_cast<int>(hit);
  }
  return -1;
}

// --- Look ---

void TRichView::setBackgroundColour(const QColor &colour) {
  QPalette p = palette();
  p.setColor(QPalette::Base, colour);
  setPalette(p);
}

QColor TRichView::backgroundColour() const { return palette().color(QPalette::Base); }

void TRichView::setTextColour(const QColor &colour) {
  QPalette p = palette();
  p.setColor(QPalette::Text, colour);
  setPalette(p);
}

QColor TRichView::textColour() const { return palette().color(QPalette::Text); }

void TRichView::setWordWrap(bool on) { setLineWrapMode(on ? WidgetWidth : NoWrap); }

bool TRichView::wordWrap() const { return lineWrapMode() != NoWrap; }

void TRichView::setMaxLength(int length) {
  maxLength_ = std::max(length, 0);
  enforceBound();
}

int TRichView::characterBound() const { return std::min(maxLength_, kCharacterBound); }

// --- Files ---

QByteArray TRichView::toRtf() const { return WriteRtf(*document()); }

void TRichView::saveRtf(const QString &path) const {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(toRtf()) < 0 || !f.commit())
    throw ERichText(QStringLiteral("Cannot write %1: %2").arg(path, f.errorString()).toStdString());
}

void TRichView::loadFile(const QString &path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    throw ERichText(QStringLiteral("Cannot read %1: %2").arg(path, f.errorString()).toStdString());
  if (f.size() > kMaxFileBytes)
    throw ERichText(QStringLiteral("Cannot open %1: the file is larger than %2 MB")
                        .arg(path)
                        .arg(kMaxFileBytes >> 20)
                        .toStdString());
  const QByteArray data = f.readAll();
  if (f.error() != QFileDevice::NoError)
    throw ERichText(QStringLiteral("Cannot read %1: %2").arg(path, f.errorString()).toStdString());
  loadData(data);
}

void TRichView::loadData(QByteArrayView data) {
  QTextCursor c(document());
  c.beginEditBlock();
  c.select(QTextCursor::Document);
  c.removeSelectedText();
  c.setCharFormat(QTextCharFormat());
  InsertFileContent(c, data);
  c.endEditBlock();
  enforceBound();
  QTextCursor top(document());
  setTextCursor(top);
  adjusting_ = true;
  verticalScrollBar()->setValue(0);
  adjusting_ = false;
  atEnd_ = verticalScrollBar()->maximum() == 0;
}

// --- Mouse ---

void TRichView::mousePressEvent(QMouseEvent *event) {
  QPlainTextEdit::mousePressEvent(event);
  Q_EMIT mousePressed(event);
}

void TRichView::mouseMoveEvent(QMouseEvent *event) {
  QPlainTextEdit::mouseMoveEvent(event);
  Q_EMIT mouseMoved(event);
}

void TRichView::mouseReleaseEvent(QMouseEvent *event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  Q_EMIT mouseReleased(event);
}

// --- Painting ---

// QPlainTextEdit's own painting, except that long lines without wrap are drawn
// from the slice in view: its layout would shape and draw all of such a line on
// every repaint.
void TRichView::paintEvent(QPaintEvent *event) {
  QPainter painter(viewport());
  QPointF offset(contentOffset());
  QRect er = event->rect();
  const QRect viewportRect = viewport()->rect();
  const qreal maximumWidth = document()->documentLayout()->documentSize().width();
  painter.setBrushOrigin(offset);
  const int maxX = static_cast<int>(offset.x() + std::max<qreal>(viewportRect.width(), maximumWidth) -
                                    document()->documentMargin() + cursorWidth());
  er.setRight(std::min(er.right(), maxX));
  painter.setClipRect(er);

  const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();
  painter.setPen(context.palette.text().color());
  const bool editable = !isReadOnly();
  const bool sliced = lineWrapMode() == NoWrap;

  for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
    const QRectF r = blockBoundingRect(block).translated(offset);
    if (!block.isVisible()) {
      offset.ry() += r.height();
      continue;
    }
    if (r.bottom() >= er.top() && r.top() <= er.bottom()) {
      const QBrush bg = block.blockFormat().background();
      if (bg != Qt::NoBrush) {
        QRectF contents = r;
        contents.setWidth(std::max(r.width(), maximumWidth));
        painter.fillRect(contents, bg);
      }
      QList<QTextLayout::FormatRange> selections;
      const int blpos = block.position();
      const int bllen = block.length();
      for (const QAbstractTextDocumentLayout::Selection &range : context.selections) {
        const int selStart = range.cursor.selectionStart() - blpos;
        const int selEnd = range.cursor.selectionEnd() - blpos;
        if (selStart < bllen && selEnd > 0 && selEnd > selStart) {
          QTextLayout::FormatRange o;
          o.start = selStart;
          o.length = selEnd - selStart;
          o.format = range.format;
          selections << o;
        }
      }
      const bool drawCursor = (editable || (textInteractionFlags() & Qt::TextSelectableByKeyboard)) &&
                              context.cursorPosition >= blpos && context.cursorPosition < blpos + bllen;
      const int cursorPos = drawCursor ? context.cursorPosition - blpos : -1;
      if (sliced && bllen > kLongLine) {
        paintLongBlock(painter, block, offset, er, selections, cursorPos);
      } else {
        QTextLayout *layout = block.layout();
        layout->draw(&painter, offset, selections, er);
        if (cursorPos >= 0) layout->drawCursor(&painter, offset, cursorPos, cursorWidth());
      }
    }
    offset.ry() += r.height();
    if (offset.y() > viewportRect.height()) break;
  }
}

void TRichView::paintLongBlock(QPainter &painter, const QTextBlock &block, const QPointF &offset, const QRect &clip,
                               const QList<QTextLayout::FormatRange> &selections, int cursorPos) {
  const QString text = block.text();
  const int length = static_cast<int>(text.size());
  const QFont font = document()->defaultFont();
  const qreal margin = document()->documentMargin();

  auto *positions = static_cast<ChunkPositions *>(block.userData());
  if (!positions || positions->revision != block.revision() || positions->length != length ||
      positions->fontKey != font.key()) {
    if (!positions) {
      positions = new ChunkPositions;
      const_cast<QTextBlock &>(block).setUserData(positions);
    }
    positions->revision = block.revision();
    positions->length = length;
    positions->fontKey = font.key();
    positions->x.assign(1, 0.0);
    for (int s = 0; s < length; s += kChunk) {
      const int e = std::min(length, s + kChunk);
      QTextLayout chunk(text.mid(s, e - s), font);
      chunk.setFormats(FormatsOf(block, s, e));
      LayOutOneLine(chunk, 0);
      positions->x.push_back(positions->x.back() + chunk.lineAt(0).horizontalAdvance());
    }
  }
  const std::vector<qreal> &x = positions->x;
  const int chunks = static_cast<int>(x.size()) - 1;
  if (chunks <= 0) return;

  // Chunks that reach into the clip, with one more on each side for overhangs.
  const qreal left = clip.left() - offset.x() - margin;
  const qreal right = clip.right() - offset.x() - margin;
  int first = static_cast<int>(std::upper_bound(x.begin(), x.end(), left) - x.begin()) - 2;
  int last = static_cast<int>(std::upper_bound(x.begin(), x.end(), right) - x.begin()) + 1;
  first = std::clamp(first, 0, chunks - 1);
  last = std::clamp(last, first + 1, chunks);
  const int from = first * kChunk;
  const int to = std::min(length, last * kChunk);

  QTextLayout slice(text.mid(from, to - from), font);
  slice.setFormats(FormatsOf(block, from, to));
  LayOutOneLine(slice, margin + x[static_cast<size_t>(first)]);
  QList<QTextLayout::FormatRange> sliceSelections;
  for (const QTextLayout::FormatRange &s : selections) {
    const int a = std::max(s.start, from), b = std::min(s.start + s.length, to + 1);
    if (b <= a) continue;
    QTextLayout::FormatRange o = s;
    o.start = a - from;
    o.length = b - a;
    sliceSelections << o;
  }
  slice.draw(&painter, offset, sliceSelections, clip);
  if (cursorPos >= from && cursorPos <= to) slice.drawCursor(&painter, offset, cursorPos - from, cursorWidth());
}
