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
// - with word wrap off, lines longer than LongLine characters are painted from
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
// - the text is bounded by characters (CharacterBound()): past the bound the
//   oldest lines go in one step, so no stream can exhaust memory or the int
//   positions of the document. The line bound (120,000 lines) is the receive
//   window's, applied with DeleteFirstLines().
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

class TTextMirror;
class TViewLayout;

class TRichView : public QPlainTextEdit {
    Q_OBJECT

public:
    // A run of appended text; an invalid colour means the view's text colour.
    struct TRun {
        QString Text;
        QColor Colour;
    };

    // Lines at least this long are painted in slices when word wrap is off.
    static constexpr int LongLine = 1000;
    // Most characters any view holds: 120,000 lines of 400 characters, about
    // 200 MB at the measured 2.2 to 4.1 bytes per character, and far below
    // the 2^31 positions of the document.
    static constexpr int MostCharacters = 48'000'000;
    // Largest file LoadFile() reads: far more than the character bound can
    // hold (an RTF file of MostCharacters characters is at most about 450 MB).
    static constexpr qint64 MaxFileBytes = qint64(1) << 30;
    // Longest piece of appended text inserted in one go.
    static constexpr int SliceChars = 262'144;
    // Interval of the batched repaints while text arrives (about 25 a second).
    static constexpr int RepaintMs = 40;

    explicit TRichView(QWidget *Parent = nullptr);

    // --- Appending (receive and search views) ---
    // Appends the runs at the end of the text as one change, recording no undo
    // step, in the insertion font (InsertFontFamily()) and each run's colour.
    // Text beyond SliceChars characters goes in as several changes, the rest
    // at the next turns of the event loop (FlushUpdates() inserts it at once).
    // Line breaks ("\n", "\r\n" or "\r") in the texts end lines; every other
    // character, code 0 included, is held as it is. Control characters (codes
    // 0 to 31 but tab and the breaks, and 127) show as marks: the letter of
    // their caret notation in reverse (^A as 'A', 127 as '?'); screen readers
    // get their Unicode control pictures.
    void Append(const QList<TRun> &Runs);
    void Append(const QString &Text, const QColor &Colour = QColor());
    void SetInsertFontFamily(const QString &Family)
    {
        FInsertFamily = Family;
        FFormats.clear();
    }
    QString InsertFontFamily() const { return FInsertFamily; }

    // --- Selection and caret ---
    int SelStart() const;
    int SelLength() const;
    // The selected text, line breaks as "\n".
    QString SelText() const;
    // Hands the selected text to visit piece by piece, in order, each line
    // break as a piece "\n": a large selection is never copied whole.
    void VisitSelection(const std::function<void(QStringView)> &Visit) const;
    // Changes whenever the selected text may have changed (the selection, or
    // the text at or before its end), so that a count of it can be kept.
    quint64 SelectionRevision() const { return FSelectionRevision; }
    // Selects length characters from start (clamped to the text, whatever the
    // values); the caret is at the end of the selection.
    void SetSelection(int Start, int Length);
    // Replaces the selection with plain text in the format at the caret, or with
    // an RTF document or fragment (its outermost group may be left open).
    void ReplaceSelection(const QString &Text);
    void ReplaceSelectionRtf(const QByteArray &Rtf);
    // Sets the text colour of the selected characters.
    void SetSelectionColour(const QColor &Colour);
    // The caret is the end of the selection: its 0-based line and its column
    // (characters from the start of its line).
    int CaretLine() const;
    int CaretColumn() const;

    // --- Lines ---
    // Number of lines (paragraphs), in constant time. A text that ends with a
    // line break has an empty last line, which this counts.
    int LineCount() const;
    // Text of line i without its line break; empty past the last line.
    QString LineText(int I) const;
    // Position of the first character of line i (the text's length past the end).
    int LineStart(int I) const;
    // The line that holds a position.
    int LineAt(int Position) const;
    // The first line in view (at least partly).
    int FirstVisibleLine() const { return firstVisibleBlock().blockNumber(); }
    // Number of characters of the text, line breaks included.
    int TextLength() const;
    // Deletes the first count lines in one step, keeping what the user looks at
    // in place (or the end in view while the user follows it).
    void DeleteFirstLines(int Count);
    // Empties the view.
    void ClearText();
    // The document keeps removed text in its buffer until the buffer is
    // nearly full. Once most of a full view has been removed (an automatic
    // save), this moves the little text left, at most CompactMost
    // characters, into a fresh buffer: the text, its colours and the view's
    // place at the end stay as they were. False when there was too much.
    static constexpr int CompactMost = 1 << 18;
    bool CompactText();

    // --- Find ---
    // Position of the first occurrence of what at or after from, or -1. Without
    // matchCase, ASCII letters match either case. An occurrence does not span
    // a line break. Walks the lines, unless the view keeps a copy for finding.
    int Find(const QString &What, int From, bool MatchCase) const;
    // Keeps a copy of the text, a byte a character, for Find(): about 40 ms
    // instead of over 100 ms to search 120,000 lines, for one more byte per
    // character held (a view that is searched often: the receive view).
    void KeepFindCopy();

    // --- Look ---
    void SetBackgroundColour(const QColor &Colour);
    QColor BackgroundColour() const;
    // The colour of text whose runs have none of their own.
    void SetTextColour(const QColor &Colour);
    QColor TextColour() const;
    void SetWordWrap(bool Wrap);
    bool WordWrap() const;
    // Whether the keyboard, a paste or a drop may change the text. A view
    // that only shows what the program puts there (received data) still
    // lets the user select, copy, find and move the caret; the program's
    // own changes (appends, trims, loads, clearing) go on either way.
    void SetUserEditable(bool Editable);
    bool UserEditable() const { return !isReadOnly(); }
    // The length limit asked for by the program; the view holds at most
    // CharacterBound() = min(maxLength, MostCharacters) characters.
    void SetMaxLength(int Length);
    int MaxLength() const { return FMaxLength; }
    int CharacterBound() const;
    // While held, the character bound cuts nothing below twice its size: an
    // automatic save copying and writing the oldest lines holds it, so they
    // are not cut before they are in the file.
    void HoldBound(bool Hold) { FBoundHeld = Hold; }

    // --- Files ---
    // The whole content as an RTF document.
    QByteArray ToRtf() const;
    // Writes ToRtf() to a file; throws ERichText when it cannot.
    void SaveRtf(const QString &Path) const;
    // Replaces the content with a file's: RTF when it is RTF, otherwise plain
    // text in the view's font and text colour. Throws ERichText, changing
    // nothing, when the file cannot be read or is larger than MaxFileBytes.
    // A file beyond the character bound keeps its end, and no more of its text
    // is held while loading than the view keeps (an RTF file is read whole, as
    // it is parsed from its start; of plain text only the end is read).
    void LoadFile(const QString &Path);
    void LoadData(QByteArrayView Data);

    // Inserts what is still queued and paints what arrived since the last
    // repaint now instead of at the next batch tick (tests and benchmarks).
    void FlushUpdates();
    // Paints what was inserted since the last repaint now, if anything (an
    // owner that repaints something else anyway: one pass to the screen).
    void ShowPending() { ShowArrived(); }
    // How long a line after a quiet period waits for its paint (RepaintMs
    // unless an owner that calls ShowPending() more often asks for longer).
    void SetQuietDelay(int Ms) { FQuietDelay = Ms; }
    // The view follows new lines (the user is at the end).
    bool FollowsEnd() const { return FAtEnd; }

Q_SIGNALS:
    // After every change of the text, whatever made it.
    void Changed();
    // Mouse events on the text, sent after the view has handled them (so a
    // press has already moved the caret). Moves are sent with or without a
    // pressed button.
    void MousePressed(QMouseEvent *Event);
    void MouseMoved(QMouseEvent *Event);
    void MouseReleased(QMouseEvent *Event);

protected:
    bool event(QEvent *Event) override;
    bool viewportEvent(QEvent *Event) override;
    void changeEvent(QEvent *Event) override;
    void doSetTextCursor(const QTextCursor &Cursor) override;
    void paintEvent(QPaintEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;

private:
    QTextCharFormat RunFormat(const QColor &Colour, bool Controls = false);
    void InsertRun(QTextCursor &Cursor, const TRun &Run);
    void InsertQueued();
    void InsertRuns(const QList<TRun> &Runs);
    void ShowArrived();
    void TextArrived();
    void ShowLinesFrom(int First);
    void ScrollToEnd();
    void CountRows(int &Maximum, int &PageStep) const;
    void RemoveFront(int End);
    void EnforceBound();
    qsizetype KeptCharacters() const;
    void LoadText(const std::function<void(QTextCursor &)> &Insert);
    void PaintLongBlock(QPainter &Painter, const QTextBlock &Block, const QPointF &Offset, const QRect &Clip,
        const QList<QTextLayout::FormatRange> &Selections, int CursorPos);

    TViewLayout *FLayout = nullptr;
    TTextMirror *FMirror = nullptr;  // for Find(), when kept
    QString FInsertFamily;
    QHash<quint64, QTextCharFormat> FFormats;  // by colour, and for control characters
    QList<TRun> FQueued;                       // appended, not yet inserted
    qsizetype FQueuedOffset = 0;               // characters of the first queued run already inserted
    QTimer FSliceTimer;
    QTimer FRepaintTimer;
    int FQuietDelay = RepaintMs;
    QElapsedTimer FLastShown;  // since text was last shown (invalid: never)
    int FPendingFrom = -1;     // first line of text held for a paint of its lines only
    bool FBatching = false;
    bool FAtEnd = true;
    bool FAdjusting = false;
    int FMaxLength = MostCharacters;
    bool FBoundHeld = false;
    quint64 FSelectionRevision = 0;
};
