#include "RichView.h"

#include "RtfReader.h"
#include "RtfWriter.h"
#include "ViewScrollBar.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPaintEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// Lines are painted in slices of whole chunks; the x position of every chunk
// start is measured once per line and kept with the line.
constexpr int kChunk = 256;

// What is known of a long line's geometry without laying it out, kept with the
// line until it changes.
struct LineGeometry : QTextBlockUserData {
  int revision = -1;
  int length = -1;
  QString fontKey;        // the document's default font when measured
  qreal advance = 0;      // > 0: every character is this wide (one fixed-pitch font, printable ASCII)
  qreal height = 0;       // the line's height as Qt lays it out (when advance > 0)
  std::vector<qreal> x;   // otherwise, once painted: start of chunk k, the line's width last
  qreal width() const { return advance > 0 ? advance * length : x.empty() ? 0 : x.back(); }
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

// The width every printable ASCII character has in a fixed-pitch font, or 0
// when they differ (a proportional font, kerning).
qreal UniformAdvance(const QFont &font) {
  static QHash<QString, qreal> known;
  const QString key = font.key();
  const auto it = known.constFind(key);
  if (it != known.constEnd()) return *it;
  qreal advance = 0;
  if (QFontInfo(font).fixedPitch()) {
    const QFontMetricsF metrics(font);
    QString sample;
    for (char16_t c = 0x20; c < 0x7F; ++c) sample += QChar(c);
    const qreal one = metrics.horizontalAdvance(QLatin1Char('0'));
    bool uniform = one > 0 && std::abs(metrics.horizontalAdvance(sample) - one * sample.size()) < 1e-3;
    for (const QChar c : sample) uniform = uniform && metrics.inFont(c) && metrics.horizontalAdvance(c) == one;
    if (uniform) advance = one;
  }
  known.insert(key, advance);
  return advance;
}

bool PrintableAscii(QStringView text, bool breaks = false) {
  for (const QChar c : text)
    if ((c.unicode() < 0x20 || c.unicode() > 0x7E) && !(breaks && (c == u'\n' || c == u'\r'))) return false;
  return true;
}

// The geometry kept with a long line, brought up to date. The fast case needs
// no shaping at all: one fixed-pitch font over the whole line and nothing but
// printable ASCII, where character i starts at i times the advance.
LineGeometry &Geometry(const QTextBlock &block, bool knownPrintable = false) {
  const QTextDocument *doc = block.document();
  const QFont base = doc->defaultFont();
  auto *g = static_cast<LineGeometry *>(block.userData());
  const int length = block.length() - 1;
  if (g && g->revision == block.revision() && g->length == length && g->fontKey == base.key()) return *g;
  if (!g) {
    g = new LineGeometry;
    const_cast<QTextBlock &>(block).setUserData(g);
  }
  g->revision = block.revision();
  g->length = length;
  g->fontKey = base.key();
  g->advance = 0;
  g->height = 0;
  g->x.clear();
  std::optional<QFont> font;
  bool single = true;
  for (QTextBlock::iterator it = block.begin(); single && !it.atEnd(); ++it) {
    const QFont f = it.fragment().charFormat().font().resolve(base);
    if (!font) font = f;
    else single = f == *font;
  }
  if (!single || !font) return *g;
  const qreal advance = UniformAdvance(*font);
  if (advance <= 0 || !(knownPrintable || PrintableAscii(block.text()))) return *g;
  // The height of a few of its characters laid out as Qt lays out a line.
  const int n = std::min(length, 8);
  QTextLayout sample(block.text().left(n), base);
  sample.setFormats(FormatsOf(block, 0, n));
  LayOutOneLine(sample, 0);
  g->height = sample.boundingRect().height();
  g->advance = advance;
  return *g;
}

// Control characters other than tab and the line breaks: each takes a
// character's room in a line but shows nothing of its own.
bool IsControl(char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0x7F; }

// Draws a mark for every control character of a line in the room the layout
// gives it: the letter of its caret notation (^A: 'A', ^@: '@', ^?: '?') in
// reverse, which needs no font that has control pictures. The text keeps the
// characters themselves for saving, copying, finding and sending. The layout
// holds the line's characters from position from to position to; selections
// are in the layout's positions.
void DrawControlMarks(QPainter &painter, const QTextLayout &layout, const QTextBlock &block, int from, int to,
                         const QPointF &offset, const QRect &clip,
                         const QList<QTextLayout::FormatRange> &selections, const QColor &textColour,
                         const QColor &baseColour) {
  const int base = block.position();
  const QFont docFont = block.document()->defaultFont();
  bool saved = false;
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment f = it.fragment();
    const int s = std::max(f.position() - base, from), e = std::min(f.position() - base + f.length(), to);
    if (e <= s) continue;
    const QString text = f.text();
    const int textStart = f.position() - base;
    for (int i = s; i < e; ++i) {
      const char16_t c = text[i - textStart].unicode();
      if (!IsControl(c)) continue;
      const int at = i - from;
      const QTextLine line = layout.lineForTextPosition(at);
      if (!line.isValid()) continue;
      const qreal x0 = line.cursorToX(at), x1 = line.cursorToX(at + 1);
      const QRectF cell(offset.x() + layout.position().x() + std::min(x0, x1),
                        offset.y() + layout.position().y() + line.y(), std::abs(x1 - x0), line.height());
      if (cell.width() <= 0 || !cell.intersects(clip)) continue;
      if (!saved) {
        painter.save();
        saved = true;
      }
      const QTextCharFormat format = f.charFormat();
      QColor colour = format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : textColour;
      QColor letter = baseColour;
      for (const QTextLayout::FormatRange &r : selections)
        if (at >= r.start && at < r.start + r.length) {
          if (r.format.hasProperty(QTextFormat::ForegroundBrush)) colour = r.format.foreground().color();
          if (r.format.hasProperty(QTextFormat::BackgroundBrush)) letter = r.format.background().color();
        }
      // A pixel of the background on either side keeps neighbouring marks apart.
      const QRectF box = cell.width() > 3 ? cell.adjusted(0.5, 1, -0.5, -1) : cell;
      painter.fillRect(box, colour);
      painter.setPen(letter);
      painter.setFont(format.font().resolve(docFont));
      painter.drawText(cell, Qt::AlignCenter | Qt::TextDontClip, QString(QChar(c == 0x7F ? u'?' : char16_t(u'@' + c))));
    }
  }
  if (saved) painter.restore();
}

// Gives the control characters of a loaded text the room their marks are
// drawn in (see runFormat()).
void ShapeControls(QTextDocument *doc) {
  QTextCharFormat shaped;
  shaped.setFontStyleStrategy(QFont::PreferDefault);
  QTextCursor c(doc);
  bool open = false;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    const QString text = b.text();
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (!IsControl(text[i].unicode())) continue;
      qsizetype j = i + 1;
      while (j < text.size() && IsControl(text[j].unicode())) ++j;
      if (!open) c.beginEditBlock();
      open = true;
      c.setPosition(b.position() + static_cast<int>(i));
      c.setPosition(b.position() + static_cast<int>(j), QTextCursor::KeepAnchor);
      c.mergeCharFormat(shaped);
      i = j;
    }
  }
  if (open) c.endEditBlock();
}

}  // namespace

// The plain-text layout, except that with word wrap off a long line of the
// fast kind is not laid out until something needs its characters' places (a
// click, a key, the caret): Qt would shape all of it, over 40 ms for a
// 300,000-character line, only to learn its width. Painting, scrolling and the
// scroll bars go by the kept geometry instead.
class TViewLayout : public QPlainTextDocumentLayout {
 public:
  explicit TViewLayout(QTextDocument *doc) : QPlainTextDocumentLayout(doc) {}

  // While positive, every line is laid out as Qt does (the view's input,
  // the caret): their places must be exact.
  int exact = 0;
  // Set while text known to be printable ASCII and line breaks goes in after
  // an empty last line, so that its lines need not be copied to be checked.
  bool printableText = false;

  // Lines may be left unlaid-out now: word wrap off, nothing asking for
  // exact places. A screen reader asks for characters' places at any time: it
  // gets them exact, at the cost of the layout.
  bool mayDefer() const {
    return exact == 0 && !QAccessible::isActive() &&
           document()->defaultTextOption().wrapMode() == QTextOption::NoWrap;
  }

  bool deferred(const QTextBlock &block) const {
    return block.length() > TRichView::kLongLine && block.isVisible() && mayDefer() &&
           block.layout()->lineCount() == 0;
  }

  QRectF blockBoundingRect(const QTextBlock &block) const override {
    if (!block.isValid() || !deferred(block)) return QPlainTextDocumentLayout::blockBoundingRect(block);
    const LineGeometry &g = Geometry(block);
    if (g.advance <= 0) return QPlainTextDocumentLayout::blockBoundingRect(block);
    const qreal margin = document()->documentMargin();
    const qreal textWidth = g.width();
    const_cast<TViewLayout *>(this)->noteWidth(textWidth + 2 * margin);
    // As Qt's rectangle (such a line is always wider than the view), with the
    // margin below the last line.
    QRectF r(0, 0, margin + textWidth + margin, g.height);
    if (!block.next().isValid()) r.adjust(0, 0, 0, margin);
    return r;
  }

  // With word wrap on, lines are as wide as the view: nothing to scroll
  // sideways, whatever lines were measured while it was off.
  QSizeF documentSize() const override {
    const QSizeF size = QPlainTextDocumentLayout::documentSize();
    if (document()->defaultTextOption().wrapMode() != QTextOption::NoWrap) return size;
    return QSizeF(std::max(size.width(), widest_), size.height());
  }

 protected:
  void documentChanged(int from, int removed, int added) override {
    QTextDocument *doc = document();
    const bool sameBlocks = doc->blockCount() == blocks_;
    if (doc->blockCount() < blocks_) {
      // Lines went: the widest may have gone with them.
      widest_ = 0;
      for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next()) {
        const auto *g = static_cast<const LineGeometry *>(b.userData());
        if (g && g->advance > 0 && g->revision == b.revision() && b.layout()->lineCount() == 0)
          widest_ = std::max(widest_, g->width() + 2 * doc->documentMargin());
      }
    }
    blocks_ = doc->blockCount();
    // The new lines' widths first, so that the size the base announces has them.
    if (doc->defaultTextOption().wrapMode() == QTextOption::NoWrap) {
      const QTextBlock last = doc->findBlock(from + added);
      for (QTextBlock b = doc->findBlock(from); b.isValid(); b = b.next()) {
        if (b.length() > TRichView::kLongLine) {
          const LineGeometry &g = Geometry(b, printableText);
          if (g.advance > 0) widest_ = std::max(widest_, g.width() + 2 * doc->documentMargin());
        }
        if (b == last) break;
      }
    }
    // Text added to one long line that stays unlaid-out (a long append goes
    // in slices): Qt would lay the whole line out again for every slice.
    if (sameBlocks && mayDefer()) {
      const QTextBlock b = doc->findBlock(from);
      if (b.isValid() && b == doc->findBlock(std::max(0, from + removed + added - 1)) &&
          b.length() > TRichView::kLongLine && Geometry(b).advance > 0) {
        b.layout()->clearLayout();
        Q_EMIT updateBlock(b);
        return;
      }
    }
    QPlainTextDocumentLayout::documentChanged(from, removed, added);
  }

 private:
  void noteWidth(qreal width) {
    if (width <= widest_) return;
    widest_ = width;
    Q_EMIT documentSizeChanged(documentSize());
  }

  qreal widest_ = 0;
  int blocks_ = 1;
};

namespace {

// Lays every line out exactly while the view handles input or places the caret.
class ExactScope {
 public:
  explicit ExactScope(TViewLayout *layout) : layout_(layout) { ++layout_->exact; }
  ~ExactScope() { --layout_->exact; }
  ExactScope(const ExactScope &) = delete;
  ExactScope &operator=(const ExactScope &) = delete;

 private:
  TViewLayout *layout_;
};

// Characters from..to of a line, without copying all of it.
QString SliceText(const QTextBlock &block, int from, int to) {
  const QTextDocument *doc = block.document();
  const int base = block.position();
  QString s;
  s.reserve(to - from);
  for (int i = from; i < to; ++i) s += doc->characterAt(base + i);
  return s;
}

// The program's own changes (appends, loads, trims) are never undo steps.
// Switching undo off drops the history, which could not be undone past such a
// change anyway; a view the user edits gets undo back for the next edits.
class NoUndo {
 public:
  explicit NoUndo(QTextDocument *doc) : doc_(doc), on_(doc->isUndoRedoEnabled()) {
    if (on_) doc_->setUndoRedoEnabled(false);
  }
  ~NoUndo() {
    if (on_) doc_->setUndoRedoEnabled(true);
  }
  NoUndo(const NoUndo &) = delete;
  NoUndo &operator=(const NoUndo &) = delete;

 private:
  QTextDocument *doc_;
  bool on_;
};

QString AsciiUpper(QString s) {
  for (QChar &c : s)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
  return s;
}

}  // namespace

namespace {

// What a screen reader gets of a view: the text with each control character
// as its Unicode control picture (U+2400 + code, U+2421 for 127), position for
// position, so that a code 0 does not end the text on its way to the reader
// and the reader names what the view marks.
QString Pictured(QString text) {
  for (QChar &c : text)
    if (IsControl(c.unicode())) c = QChar(c.unicode() == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + c.unicode()));
  return text;
}

class TRichViewAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleEditableTextInterface {
 public:
  explicit TRichViewAccessible(TRichView *view) : QAccessibleWidget(view, QAccessible::EditableText) {}

  static QAccessibleInterface *factory(const QString &className, QObject *object) {
    if (className == QLatin1String("TRichView") && object && object->isWidgetType())
      return new TRichViewAccessible(static_cast<TRichView *>(object));
    return nullptr;
  }

  void *interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface *>(this);
    if (t == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  QAccessible::State state() const override {
    QAccessible::State st = QAccessibleWidget::state();
    st.multiLine = true;
    st.selectableText = true;
    if (view()->isReadOnly()) st.readOnly = true;
    else st.editable = true;
    return st;
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Pictured(view()->toPlainText());
    return QAccessibleWidget::text(t);
  }

  // --- Text ---
  int characterCount() const override { return view()->textLength(); }
  int cursorPosition() const override { return view()->textCursor().position(); }
  void setCursorPosition(int position) override { setSelection(0, position, position); }
  int selectionCount() const override { return view()->textCursor().hasSelection() ? 1 : 0; }
  void selection(int index, int *start, int *end) const override {
    const QTextCursor c = view()->textCursor();
    *start = *end = 0;
    if (index != 0 || !c.hasSelection()) return;
    *start = c.selectionStart();
    *end = c.selectionEnd();
  }
  void addSelection(int start, int end) override { setSelection(0, start, end); }
  void removeSelection(int index) override {
    if (index != 0) return;
    QTextCursor c = view()->textCursor();
    c.clearSelection();
    view()->setTextCursor(c);
  }
  void setSelection(int index, int start, int end) override {
    if (index != 0) return;
    const int length = characterCount();
    QTextCursor c(view()->document());
    c.setPosition(std::clamp(start, 0, length));
    c.setPosition(std::clamp(end, 0, length), QTextCursor::KeepAnchor);
    view()->setTextCursor(c);
  }

  QString text(int start, int end) const override {
    const int length = characterCount();
    start = std::clamp(start, 0, length);
    end = std::clamp(end, start, length);
    if (start == end) return QString();
    QTextCursor c(view()->document());
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    QString s = c.selectedText();
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return Pictured(s);
  }

  // Units are looked for within the line (paragraph) at the offset, so that
  // a long log is not copied for every question.
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override {
    const int length = characterCount();
    *start = *end = -1;
    if (length == 0 || offset < 0 || offset > length) return QString();
    if (offset == length) --offset;
    if (type == QAccessible::NoBoundary) {
      *start = 0;
      *end = length;
      return text(0, length);
    }
    const QTextBlock b = view()->document()->findBlock(offset);
    const int base = b.position();
    const int lineEnd = base + b.length() - (b.next().isValid() ? 0 : 1);  // with its line break
    int s = offset, e = offset + 1;
    if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
      s = base;
      e = lineEnd;
    } else if (type == QAccessible::WordBoundary || type == QAccessible::SentenceBoundary) {
      const QString line = b.text();
      const int at = offset - base;
      if (at < line.size()) {
        QTextBoundaryFinder finder(type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                     : QTextBoundaryFinder::Sentence,
                                   line);
        finder.setPosition(at);
        const qsizetype from = finder.isAtBoundary() ? at : finder.toPreviousBoundary();
        finder.setPosition(at);
        const qsizetype to = finder.toNextBoundary();
        s = base + static_cast<int>(std::max<qsizetype>(from, 0));
        e = base + static_cast<int>(to < 0 ? line.size() : to);
      }
    }
    *start = s;
    *end = std::max(e, s);
    return text(*start, *end);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override {
    int s = 0, e = 0;
    textAtOffset(offset, type, &s, &e);
    *start = *end = -1;
    if (s <= 0) return QString();
    return textAtOffset(s - 1, type, start, end);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override {
    int s = 0, e = 0;
    textAtOffset(offset, type, &s, &e);
    *start = *end = -1;
    if (e < 0 || e >= characterCount()) return QString();
    return textAtOffset(e, type, start, end);
  }

  QRect characterRect(int offset) const override {
    QTextCursor c(view()->document());
    c.setPosition(std::clamp(offset, 0, characterCount()));
    const QRect r = view()->cursorRect(c);
    const int width = view()->fontMetrics().averageCharWidth();
    return QRect(view()->viewport()->mapToGlobal(r.topLeft()), QSize(width, r.height()));
  }
  int offsetAtPoint(const QPoint &point) const override {
    const QPoint at = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(at)) return -1;
    return view()->cursorForPosition(at).position();
  }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int *start, int *end) const override {
    *start = 0;
    *end = characterCount();
    return QString();
  }

  // --- Editing (the send view) ---
  void deleteText(int start, int end) override { replaceText(start, end, QString()); }
  void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
  void replaceText(int start, int end, const QString &text) override {
    if (view()->isReadOnly()) return;
    setSelection(0, start, end);
    view()->replaceSelection(text);
  }

 private:
  TRichView *view() const { return static_cast<TRichView *>(widget()); }
};

}  // namespace

TRichView::TRichView(QWidget *parent) : QPlainTextEdit(parent), insertFamily_(QStringLiteral("Courier New")) {
  static const bool accessible = [] {
    QAccessible::installFactory(&TRichViewAccessible::factory);
    return true;
  }();
  Q_UNUSED(accessible);
  auto *doc = new QTextDocument(this);
  layout_ = new TViewLayout(doc);
  doc->setDocumentLayout(layout_);
  setDocument(doc);
  // Bars that repaint cheaply: they change with nearly every received line.
  TViewScrollBar::installIn(this);
  if (auto *bar = qobject_cast<TViewScrollBar *>(verticalScrollBar()))
    bar->setCorrection([this](int &maximum, int &pageStep) { countRows(maximum, pageStep); });
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
  connect(&repaintTimer_, &QTimer::timeout, this, &TRichView::showArrived);
  sliceTimer_.setSingleShot(true);
  sliceTimer_.setInterval(0);
  connect(&sliceTimer_, &QTimer::timeout, this, &TRichView::insertQueued);
  connect(this, &QPlainTextEdit::textChanged, this, &TRichView::changed);
  connect(this, &QPlainTextEdit::selectionChanged, this, [this] { ++selectionRevision_; });
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { ++selectionRevision_; });
  // Appends after the selection leave it as it is.
  connect(doc, &QTextDocument::contentsChange, this, [this](int from, int, int) {
    if (from <= textCursor().selectionEnd()) ++selectionRevision_;
  });
  // Follow the end only while the user is there: a scroll by the user decides,
  // a longer range (new lines) does not.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!adjusting_) atEnd_ = value >= verticalScrollBar()->maximum();
  });
}

// --- Appending ---

QTextCharFormat TRichView::runFormat(const QColor &colour, bool controls) {
  const QRgb rgb = colour.isValid() ? colour.rgb() : 0;  // 0 (transparent black): no colour
  const quint64 key = (quint64(controls) << 32) | rgb;
  auto it = formats_.constFind(key);
  if (it != formats_.constEnd()) return *it;
  QTextCharFormat f;
  f.setFontFamilies(QStringList{insertFamily_});
  // Control characters are shaped: unshaped, they take no room, and their
  // marks are drawn in that room.
  f.setFontStyleHint(QFont::TypeWriter, controls ? QFont::PreferDefault : QFont::PreferNoShaping);
  if (colour.isValid()) f.setForeground(colour);
  formats_.insert(key, f);
  return f;
}

// Inserts a run, its control characters in a format of their own.
void TRichView::insertRun(QTextCursor &cursor, const Run &run) {
  const QString &text = run.text;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size();) {
    if (!IsControl(text[i].unicode())) {
      ++i;
      continue;
    }
    qsizetype j = i + 1;
    while (j < text.size() && IsControl(text[j].unicode())) ++j;
    if (i > start) cursor.insertText(text.sliced(start, i - start), runFormat(run.colour));
    cursor.insertText(text.sliced(i, j - i), runFormat(run.colour, true));
    start = i = j;
  }
  if (start == 0) cursor.insertText(text, runFormat(run.colour));
  else if (start < text.size()) cursor.insertText(text.sliced(start), runFormat(run.colour));
}

void TRichView::append(const QList<Run> &runs) {
  queued_ += runs;
  if (!sliceTimer_.isActive()) insertQueued();
}

// Inserts what was appended, at most kSliceChars characters at a time: a
// mebibyte line does not hold the program in one event, and its rest follows
// at the next turns of the event loop, before any later line.
void TRichView::insertQueued() {
  QList<Run> part;
  qsizetype room = kSliceChars;
  while (!queued_.isEmpty() && room > 0) {
    Run &r = queued_.front();
    const qsizetype left = r.text.size() - queuedOffset_;
    if (left <= room) {
      part += queuedOffset_ == 0 ? std::move(r) : Run{r.text.mid(queuedOffset_), r.colour};
      queued_.pop_front();
      queuedOffset_ = 0;
      room -= left;
      continue;
    }
    qsizetype cut = room;
    // Never between the two characters of a "\r\n" line break.
    if (r.text[queuedOffset_ + cut - 1] == u'\r' && r.text[queuedOffset_ + cut] == u'\n') --cut;
    if (cut == 0) break;
    part += Run{r.text.mid(queuedOffset_, cut), r.colour};
    queuedOffset_ += cut;
    room = 0;
  }
  if (!part.isEmpty()) insertRuns(part);
  if (!queued_.isEmpty()) sliceTimer_.start();
}

void TRichView::insertRuns(const QList<Run> &runs) {
  QTextDocument *doc = document();
  NoUndo noUndo(doc);
  // Text after a quiet period is shown with updates on, painting only its
  // lines (the document's layout would ask for the whole viewport); text that
  // follows before it is shown switches to batching.
  const bool alone = !batching_ && pendingFrom_ < 0 && (!lastShown_.isValid() || lastShown_.hasExpired(kRepaintMs));
  const int firstLine = doc->blockCount() - 1;
  QWidget *view = viewport();
  const bool hold = alone && view->updatesEnabled();
  if (hold) view->setAttribute(Qt::WA_UpdatesDisabled, true);  // not setUpdatesEnabled(): no update() after
  auto *bar = qobject_cast<TViewScrollBar *>(verticalScrollBar());
  if (alone && bar) bar->holdChecks(true);  // released with the line's paint
  const QTextBlock last = doc->lastBlock();
  const auto *lastGeometry = static_cast<const LineGeometry *>(last.userData());
  bool printable = last.length() == 1 || (lastGeometry && lastGeometry->advance > 0 &&
                                          lastGeometry->revision == last.revision() &&
                                          lastGeometry->length == last.length() - 1);
  for (const Run &r : runs) printable = printable && PrintableAscii(r.text, true);
  layout_->printableText = printable;
  // Placed inside the edit block: a cursor moved outside one makes Qt itemize
  // the whole line it starts on (the first line, possibly a long one).
  QTextCursor c(doc);
  c.beginEditBlock();
  c.setPosition(doc->characterCount() - 1);
  for (const Run &r : runs) {
    if (printable) c.insertText(r.text, runFormat(r.colour));
    else insertRun(c, r);
  }
  c.endEditBlock();
  layout_->printableText = false;
  if (hold) view->setAttribute(Qt::WA_UpdatesDisabled, false);
  const int before = textLength();
  enforceBound();
  if (alone && textLength() == before) {
    // Shown by the timer as a batch is: the append and the paint stay apart.
    pendingFrom_ = firstLine;
    repaintTimer_.start(quietDelay_);
  } else {
    if (bar) bar->holdChecks(false);
    textArrived();
  }
}

void TRichView::append(const QString &text, const QColor &colour) { append(QList<Run>{{text, colour}}); }

// Switches updates off while text keeps arriving; the timer shows it all at once.
void TRichView::textArrived() {
  if (batching_) return;
  batching_ = true;
  setUpdatesEnabled(false);
  if (!repaintTimer_.isActive()) repaintTimer_.start(kRepaintMs);
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
  while (!queued_.isEmpty()) insertQueued();
  sliceTimer_.stop();
  showArrived();
}

void TRichView::showArrived() {
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
  if (auto *bar = qobject_cast<TViewScrollBar *>(verticalScrollBar())) bar->holdChecks(false);
  lastShown_.start();
}

// Qt counts the rows of the last lines in view from their layouts, and a line
// left unlaid-out has none: its range would end at the last line, the view
// showing nothing but the empty line after the last line break. Without word
// wrap every line is one row.
void TRichView::countRows(int &maximum, int &pageStep) const {
  if (lineWrapMode() != NoWrap || !isVisible() || centerOnScroll()) return;
  const QTextDocument *doc = document();
  const QAbstractTextDocumentLayout *layout = doc->documentLayout();
  // As Qt does: the lines that fit whole above the bottom margin.
  const qreal visible = viewport()->rect().height() - doc->documentMargin() - 1;
  qreal y = 0;
  int rows = 0;
  for (QTextBlock b = doc->lastBlock(); b.isValid(); b = b.previous()) {
    if (!b.isVisible()) continue;
    y += layout->blockBoundingRect(b).height();
    if (y > visible) break;
    ++rows;
  }
  maximum = std::max(0, doc->lineCount() - rows);
  pageStep = rows;
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

void TRichView::visitSelection(const std::function<void(QStringView)> &visit) const {
  const QTextCursor c = textCursor();
  const int start = c.selectionStart(), end = c.selectionEnd();
  if (start >= end) return;
  for (QTextBlock b = document()->findBlock(start); b.isValid(); b = b.next()) {
    const int base = b.position();
    const int from = std::max(start - base, 0), to = std::min(end - base, b.length() - 1);
    if (to > from && b.length() <= kLongLine) {
      visit(QStringView(b.text()).sliced(from, to - from));
    } else if (to > from) {
      // Of a long line, only the runs (fragments) that hold selected text.
      for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        const int s = std::max(start, f.position()), e = std::min(end, f.position() + f.length());
        if (e > s) visit(QStringView(f.text()).sliced(s - f.position(), e - s));
      }
    }
    if (end < base + b.length()) break;  // its line break is not selected
    visit(u"\n");
  }
}

void TRichView::setSelection(int start, int length) {
  const int len = textLength();
  start = std::clamp(start, 0, len);
  // Saturated: start + length may be past the largest int.
  const int end = length >= len - start ? len : start + std::max(length, 0);
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
  NoUndo noUndo(document());
  QTextCursor c(document());
  c.beginEditBlock();
  c.setPosition(textLength(), QTextCursor::KeepAnchor);
  c.removeSelectedText();
  c.endEditBlock();
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
  NoUndo noUndo(document());
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
  const auto fail = [&](const QString &what) {
    throw ERichText(QStringLiteral("Cannot read %1: %2").arg(path, what).toStdString());
  };
  if (!f.open(QIODevice::ReadOnly)) fail(f.errorString());
  if (f.size() > kMaxFileBytes)
    throw ERichText(QStringLiteral("Cannot open %1: the file is larger than %2 MB")
                        .arg(path)
                        .arg(kMaxFileBytes >> 20)
                        .toStdString());
  // RTF is read from its start; of plain text only the end the view keeps is
  // read (after a pass that decides its encoding), not the whole file.
  const qsizetype keep = keptCharacters();
  const qint64 size = f.size();
  const QByteArray head = f.peek(std::min<qint64>(size, 4096));
  if (f.isSequential() || size <= keep || IsRtf(head) || head.trimmed().isEmpty()) {
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError) fail(f.errorString());
    loadData(data);
    return;
  }
  Utf8Check check;
  QByteArray piece;
  while (!f.atEnd()) {
    piece = f.read(qint64(1) << 20);
    if (f.error() != QFileDevice::NoError) fail(f.errorString());
    if (piece.isEmpty()) break;
    check.add(piece);
  }
  const bool utf8 = check.valid();
  QString text;
  // Mostly a byte a character: more is read only when that was short.
  for (qint64 bytes = std::min<qint64>(size, keep + 3);; bytes = std::min<qint64>(size, 2 * bytes)) {
    text = QString();
    if (!f.seek(size - bytes)) fail(f.errorString());
    const QByteArray tail = f.read(bytes);
    if (f.error() != QFileDevice::NoError || tail.size() != bytes) fail(f.errorString());
    text = DecodePlainTail(tail, bytes == size, utf8, keep);
    if (bytes == size || DocumentLength(text) >= keep) break;
  }
  loadText([&](QTextCursor &c) { c.insertText(text); });
}

// Enough characters for the view to end as it would with all of a file: the
// bound and the character in front of where it cuts.
qsizetype TRichView::keptCharacters() const { return qsizetype(characterBound()) + 2; }

void TRichView::loadData(QByteArrayView data) {
  const qsizetype keep = keptCharacters();
  loadText([&](QTextCursor &c) { InsertFileContent(c, data, keep); });
}

void TRichView::loadText(const std::function<void(QTextCursor &)> &insert) {
  NoUndo noUndo(document());
  QTextCursor c(document());
  c.beginEditBlock();
  c.select(QTextCursor::Document);
  c.removeSelectedText();
  c.setCharFormat(QTextCharFormat());
  insert(c);
  c.endEditBlock();
  enforceBound();
  ShapeControls(document());
  QTextCursor top(document());
  setTextCursor(top);
  adjusting_ = true;
  verticalScrollBar()->setValue(0);
  adjusting_ = false;
  atEnd_ = verticalScrollBar()->maximum() == 0;
}

// --- Events ---

bool TRichView::event(QEvent *event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::Timer: {  // the caret's blink
      ExactScope exact(layout_);
      return QPlainTextEdit::event(event);
    }
    default:
      return QPlainTextEdit::event(event);
  }
}

bool TRichView::viewportEvent(QEvent *event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
      ExactScope exact(layout_);
      return QPlainTextEdit::viewportEvent(event);
    }
    case QEvent::MouseMove:
      // Hovering needs no places; a drag that selects does.
      if (static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton) {
        ExactScope exact(layout_);
        return QPlainTextEdit::viewportEvent(event);
      }
      return QPlainTextEdit::viewportEvent(event);
    default:
      return QPlainTextEdit::viewportEvent(event);
  }
}

void TRichView::doSetTextCursor(const QTextCursor &cursor) {
  ExactScope exact(layout_);
  QPlainTextEdit::doSetTextCursor(cursor);
}

void TRichView::changeEvent(QEvent *event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() != QEvent::FontChange) return;
  QFont f = document()->defaultFont();
  if (f.styleStrategy() & QFont::PreferNoShaping) return;
  f.setStyleStrategy(QFont::StyleStrategy(f.styleStrategy() | QFont::PreferNoShaping));
  document()->setDefaultFont(f);
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
        DrawControlMarks(painter, *layout, block, 0, bllen - 1, offset, er, selections, context.palette.text().color(),
                            context.palette.base().color());
        if (cursorPos >= 0) layout->drawCursor(&painter, offset, cursorPos, cursorWidth());
      }
    }
    offset.ry() += r.height();
    if (offset.y() > viewportRect.height()) break;
  }
}

void TRichView::paintLongBlock(QPainter &painter, const QTextBlock &block, const QPointF &offset, const QRect &clip,
                               const QList<QTextLayout::FormatRange> &selections, int cursorPos) {
  const int length = block.length() - 1;
  if (length <= 0) return;
  const QFont font = document()->defaultFont();
  const qreal margin = document()->documentMargin();
  LineGeometry &g = Geometry(block);
  const qreal left = clip.left() - offset.x() - margin;
  const qreal right = clip.right() - offset.x() - margin;
  int from = 0;
  int to = 0;
  qreal start = 0;
  if (g.advance > 0) {
    // Characters that reach into the clip, with two more on each side for overhangs.
    from = std::clamp(static_cast<int>(std::floor(left / g.advance)) - 2, 0, length - 1);
    to = std::clamp(static_cast<int>(std::ceil(right / g.advance)) + 2, from + 1, length);
    start = from * g.advance;
  } else {
    if (g.x.empty()) {
      const QString text = block.text();
      g.x.assign(1, 0.0);
      for (int s = 0; s < length; s += kChunk) {
        const int e = std::min(length, s + kChunk);
        QTextLayout chunk(text.mid(s, e - s), font);
        chunk.setFormats(FormatsOf(block, s, e));
        LayOutOneLine(chunk, 0);
        g.x.push_back(g.x.back() + chunk.lineAt(0).horizontalAdvance());
      }
    }
    const std::vector<qreal> &x = g.x;
    const int chunks = static_cast<int>(x.size()) - 1;
    // Chunks that reach into the clip, with one more on each side for overhangs.
    int first = static_cast<int>(std::upper_bound(x.begin(), x.end(), left) - x.begin()) - 2;
    int last = static_cast<int>(std::upper_bound(x.begin(), x.end(), right) - x.begin()) + 1;
    first = std::clamp(first, 0, chunks - 1);
    last = std::clamp(last, first + 1, chunks);
    from = first * kChunk;
    to = std::min(length, last * kChunk);
    start = x[static_cast<size_t>(first)];
  }

  QTextLayout slice(SliceText(block, from, to), font);
  slice.setFormats(FormatsOf(block, from, to));
  LayOutOneLine(slice, margin + start);
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
  if (g.advance <= 0)  // else printable ASCII only
    DrawControlMarks(painter, slice, block, from, to, offset, clip, sliceSelections, palette().color(QPalette::Text),
                     palette().color(QPalette::Base));
  if (cursorPos >= from && cursorPos <= to) slice.drawCursor(&painter, offset, cursorPos - from, cursorWidth());
}
