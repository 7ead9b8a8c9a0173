// The rich-text view of the receive, send and search windows.
//
// A QPlainTextEdit with what the windows need of a rich-text control: coloured
// runs appended at the end without touching the user's caret, selection or
// scroll position; the caret's line and column; lines as paragraphs; find;
// RTF load and save. Built for a monitor that appends a line every
// millisecond for days:
// - appends go through a private cursor in one edit block each, so one change
//   notification per append and the user's selection survives;
// - repaints are batched: a single-shot timer, re-armed only after the
//   previous repaint, shows new text about 25 times a second (following the end
//   only while the user is at the end); a line after a quiet period costs a
//   scroll and the new line's paint, but while lines keep arriving updates stay
//   off and each tick repaints the whole view once;
// - with word wrap off, lines longer than kLongLine characters are painted from
//   the visible slice only, so a 90,000-character line does not make every
//   repaint shape and draw it whole; such a line in one fixed-pitch font and
//   printable ASCII (a hex stream) is not even laid out until input or the
//   caret needs its characters' places;
// - text is drawn without typographic shaping (a monitor's text needs none,
//   and shaping is most of the cost of drawing it);
// - undo is off (a history would hold every appended and trimmed line) unless
//   the owner turns it on for a view the user edits (setUndoRedoEnabled()):
//   there the user's edits are undo steps, and the program's own changes
//   (appends, loads, trims, clearing) are not: they end the history;
// - the text is bounded by characters (characterBound()): past the bound the
//   oldest lines go in one step, so no stream can exhaust memory or the int
//   positions of the document. The line bound (120,000 lines) is the receive
//   window's, applied with deleteFirstLines().
// Positions are 0-based character positions in the text, where every line
// break counts one character.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTimer>

#include <functional>
#include <stdexcept>

// A file could not be read or written.
class ERichText : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TViewLayout;

class TRichView : public QPlainTextEdit {
  Q_OBJECT

 public:
  // A run of appended text; an invalid colour means the view's text colour.
  struct Run {
    QString text;
    QColor colour;
  };

  // Lines at least this long are painted in slices when word wrap is off.
  static constexpr int kLongLine = 1000;
  // Most characters any view holds: 120,000 lines of 400 characters, about
  // 200 MB at the measured 2.2 to 4.1 bytes per character, and far below
  // the 2^31 positions of the document.
  static constexpr int kCharacterBound = 48'000'000;
  // Largest file loadFile() reads: far more than the character bound can
  // hold (an RTF file of kCharacterBound characters is at most about 450 MB).
  static constexpr qint64 kMaxFileBytes = qint64(1) << 30;
  // Longest piece of appended text inserted in one go.
  static constexpr int kSliceChars = 262'144;
  // Interval of the batched repaints while text arrives (about 25 a second).
  static constexpr int kRepaintMs = 40;

  explicit TRichView(QWidget *parent = nullptr);

  // --- Appending (receive and search views) ---
  // Appends the runs at the end of the text as one change, recording no undo
  // step, in the insertion font (insertFontFamily()) and each run's colour.
  // Text beyond kSliceChars characters goes in as several changes, the rest
  // at the next turns of the event loop (flushUpdates() inserts it at once).
  // Line breaks ("\n", "\r\n" or "\r") in the texts end lines; every other
  // character, code 0 included, is held as it is. Control characters (codes
  // 0 to 31 but tab and the breaks, and 127) show as marks: the letter of
  // their caret notation in reverse (^A as 'A', 127 as '?'); screen readers
  // get their Unicode control pictures.
  void append(const QList<Run> &runs);
  void append(const QString &text, const QColor &colour = QColor());
  void setInsertFontFamily(const QString &family) { insertFamily_ = family; formats_.clear(); }
  QString insertFontFamily() const { return insertFamily_; }

  // --- Selection and caret ---
  int selStart() const;
  int selLength() const;
  // The selected text, line breaks as "\n".
  QString selText() const;
  // Hands the selected text to visit piece by piece, in order, each line
  // break as a piece "\n": a large selection is never copied whole.
  void visitSelection(const std::function<void(QStringView)> &visit) const;
  // Changes whenever the selected text may have changed (the selection, or
  // the text at or before its end), so that a count of it can be kept.
  quint64 selectionRevision() const { return selectionRevision_; }
  // Selects length characters from start (clamped to the text, whatever the
  // values); the caret is at the end of the selection.
  void setSelection(int start, int length);
  // Replaces the selection with plain text in the format at the caret, or with
  // an RTF document or fragment (its outermost group may be left open).
  void replaceSelection(const QString &text);
  void replaceSelectionRtf(const QByteArray &rtf);
  // Sets the text colour of the selected characters.
  void setSelectionColour(const QColor &colour);
  // The caret is the end of the selection: its 0-based line and its column
  // (characters from the start of its line).
  int caretLine() const;
  int caretColumn() const;

  // --- Lines ---
  // Number of lines (paragraphs), in constant time. A text that ends with a
  // line break has an empty last line, which this counts.
  int lineCount() const;
  // Text of line i without its line break; empty past the last line.
  QString lineText(int i) const;
  // Position of the first character of line i (the text's length past the end).
  int lineStart(int i) const;
  // The line that holds a position.
  int lineAt(int position) const;
  // The first line in view (at least partly).
  int firstVisibleLine() const { return firstVisibleBlock().blockNumber(); }
  // Number of characters of the text, line breaks included.
  int textLength() const;
  // Deletes the first count lines in one step, keeping what the user looks at
  // in place (or the end in view while the user follows it).
  void deleteFirstLines(int count);
  // Empties the view.
  void clearText();

  // --- Find ---
  // Position of the first occurrence of what at or after from, or -1. Without
  // matchCase, ASCII letters match either case. Walks the lines (an occurrence
  // does not span a line break).
  int find(const QString &what, int from, bool matchCase) const;

  // --- Look ---
  void setBackgroundColour(const QColor &colour);
  QColor backgroundColour() const;
  // The colour of text whose runs have none of their own.
  void setTextColour(const QColor &colour);
  QColor textColour() const;
  void setWordWrap(bool on);
  bool wordWrap() const;
  // The length limit asked for by the program; the view holds at most
  // characterBound() = min(maxLength, kCharacterBound) characters.
  void setMaxLength(int length);
  int maxLength() const { return maxLength_; }
  int characterBound() const;

  // --- Files ---
  // The whole content as an RTF document.
  QByteArray toRtf() const;
  // Writes toRtf() to a file; throws ERichText when it cannot.
  void saveRtf(const QString &path) const;
  // Replaces the content with a file's: RTF when it is RTF, otherwise plain
  // text in the view's font and text colour. Throws ERichText, changing
  // nothing, when the file cannot be read or is larger than kMaxFileBytes.
  // A file beyond the character bound keeps its end, and no more of its text
  // is held while loading than the view keeps (an RTF file is read whole, as
  // it is parsed from its start; of plain text only the end is read).
  void loadFile(const QString &path);
  void loadData(QByteArrayView data);

  // Inserts what is still queued and paints what arrived since the last
  // repaint now instead of at the next batch tick (tests and benchmarks).
  void flushUpdates();
  // Paints what was inserted since the last repaint now, if anything (an
  // owner that repaints something else anyway: one pass to the screen).
  void showPending() { showArrived(); }
  // How long a line after a quiet period waits for its paint (kRepaintMs
  // unless an owner that calls showPending() more often asks for longer).
  void setQuietDelay(int ms) { quietDelay_ = ms; }
  // The view follows new lines (the user is at the end).
  bool followsEnd() const { return atEnd_; }

 Q_SIGNALS:
  // After every change of the text, whatever made it.
  void changed();
  // Mouse events on the text, sent after the view has handled them (so a
  // press has already moved the caret). Moves are sent with or without a
  // pressed button.
  void mousePressed(QMouseEvent *event);
  void mouseMoved(QMouseEvent *event);
  void mouseReleased(QMouseEvent *event);

 protected:
  bool event(QEvent *event) override;
  bool viewportEvent(QEvent *event) override;
  void changeEvent(QEvent *event) override;
  void doSetTextCursor(const QTextCursor &cursor) override;
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

 private:
  QTextCharFormat runFormat(const QColor &colour, bool controls = false);
  void insertRun(QTextCursor &cursor, const Run &run);
  void insertQueued();
  void insertRuns(const QList<Run> &runs);
  void showArrived();
  void textArrived();
  void showLinesFrom(int first);
  void scrollToEnd();
  void countRows(int &maximum, int &pageStep) const;
  void removeFront(int end);
  void enforceBound();
  qsizetype keptCharacters() const;
  void loadText(const std::function<void(QTextCursor &)> &insert);
  void paintLongBlock(QPainter &painter, const QTextBlock &block, const QPointF &offset, const QRect &clip,
                      const QList<QTextLayout::FormatRange> &selections, int cursorPos);

  TViewLayout *layout_ = nullptr;
  QString insertFamily_;
  QHash<quint64, QTextCharFormat> formats_;  // by colour, and for control characters
  QList<Run> queued_;             // appended, not yet inserted
  qsizetype queuedOffset_ = 0;    // characters of the first queued run already inserted
  QTimer sliceTimer_;
  QTimer repaintTimer_;
  int quietDelay_ = kRepaintMs;
  QElapsedTimer lastShown_;  // since text was last shown (invalid: never)
  int pendingFrom_ = -1;     // first line of text held for a paint of its lines only
  bool batching_ = false;
  bool atEnd_ = true;
  bool adjusting_ = false;
  int maxLength_ = kCharacterBound;
  quint64 selectionRevision_ = 0;
};
