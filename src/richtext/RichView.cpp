#include "RichView.h"

#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextMirror.h"
#include "ViewScrollBar.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// Lines are painted in slices of whole chunks; the x position of every chunk
// start is measured once per line and kept with the line.
constexpr int Chunk = 256;

// What is known of a long line's geometry without laying it out, kept with the
// line until it changes.
struct TLineGeometry : QTextBlockUserData {
    int Revision = -1;
    int Length = -1;
    QString FontKey;       // the document's default font when measured
    qreal Advance = 0;     // > 0: every character is this wide (one fixed-pitch font, printable ASCII)
    qreal Height = 0;      // the line's height as Qt lays it out (when advance > 0)
    std::vector<qreal> X;  // otherwise, once painted: start of chunk k, the line's width last
    qreal Width() const { return Advance > 0 ? Advance * Length : X.empty() ? 0 : X.back(); }
};

QList<QTextLayout::FormatRange> FormatsOf(const QTextBlock &Block, int From, int To)
{
    QList<QTextLayout::FormatRange> Out;
    const int Base = Block.position();
    for (QTextBlock::iterator It = Block.begin(); !It.atEnd(); ++It) {
        const QTextFragment F = It.fragment();
        const int S = F.position() - Base, E = S + F.length();
        if (E <= From || S >= To)
            continue;
        QTextLayout::FormatRange R;
        R.start = std::max(S, From) - From;
        R.length = std::min(E, To) - std::max(S, From);
        R.format = F.charFormat();
        Out << R;
    }
    return Out;
}

void LayOutOneLine(QTextLayout &Layout, qreal X)
{
    QTextOption Option = Layout.textOption();
    Option.setWrapMode(QTextOption::NoWrap);
    Layout.setTextOption(Option);
    Layout.beginLayout();
    QTextLine Line = Layout.createLine();
    Line.setLeadingIncluded(true);
    Line.setLineWidth(1e9);
    Line.setPosition(QPointF(X, 0));
    Layout.endLayout();
}

// The width every printable ASCII character has in a fixed-pitch font, or 0
// when they differ (a proportional font, kerning).
qreal UniformAdvance(const QFont &Font)
{
    static QHash<QString, qreal> Known;
    const QString Key = Font.key();
    const auto It = Known.constFind(Key);
    if (It != Known.constEnd())
        return *It;
    qreal Advance = 0;
    if (QFontInfo(Font).fixedPitch()) {
        const QFontMetricsF Metrics(Font);
        QString Sample;
        for (char16_t C = 0x20; C < 0x7F; ++C)
            Sample += QChar(C);
        const qreal One = Metrics.horizontalAdvance(QLatin1Char('0'));
        bool Uniform = One > 0 && std::abs(Metrics.horizontalAdvance(Sample) - One * Sample.size()) < 1e-3;
        for (const QChar C : Sample)
            Uniform = Uniform && Metrics.inFont(C) && Metrics.horizontalAdvance(C) == One;
        if (Uniform)
            Advance = One;
    }
    Known.insert(Key, Advance);
    return Advance;
}

bool PrintableAscii(QStringView Text, bool Breaks = false)
{
    for (const QChar C : Text)
        if ((C.unicode() < 0x20 || C.unicode() > 0x7E) && !(Breaks && (C == u'\n' || C == u'\r')))
            return false;
    return true;
}

// The geometry kept with a long line, brought up to date. The fast case needs
// no shaping at all: one fixed-pitch font over the whole line and nothing but
// printable ASCII, where character i starts at i times the advance.
TLineGeometry &Geometry(const QTextBlock &Block, bool KnownPrintable = false)
{
    const QTextDocument *Doc = Block.document();
    const QFont Base = Doc->defaultFont();
    auto *G = static_cast<TLineGeometry *>(Block.userData());
    const int Length = Block.length() - 1;
    if (G && G->Revision == Block.revision() && G->Length == Length && G->FontKey == Base.key())
        return *G;
    if (!G) {
        G = new TLineGeometry;
        const_cast<QTextBlock &>(Block).setUserData(G);
    }
    G->Revision = Block.revision();
    G->Length = Length;
    G->FontKey = Base.key();
    G->Advance = 0;
    G->Height = 0;
    G->X.clear();
    std::optional<QFont> Font;
    bool Single = true;
    for (QTextBlock::iterator It = Block.begin(); Single && !It.atEnd(); ++It) {
        const QFont F = It.fragment().charFormat().font().resolve(Base);
        if (!Font)
            Font = F;
        else
            Single = F == *Font;
    }
    if (!Single || !Font)
        return *G;
    const qreal Advance = UniformAdvance(*Font);
    if (Advance <= 0 || !(KnownPrintable || PrintableAscii(Block.text())))
        return *G;
    // The height of a few of its characters laid out as Qt lays out a line.
    const int N = std::min(Length, 8);
    QTextLayout Sample(Block.text().left(N), Base);
    Sample.setFormats(FormatsOf(Block, 0, N));
    LayOutOneLine(Sample, 0);
    G->Height = Sample.boundingRect().height();
    G->Advance = Advance;
    return *G;
}

// Control characters other than tab and the line breaks: each takes a
// character's room in a line but shows nothing of its own.
bool IsControl(char16_t C)
{
    return (C < 0x20 && C != u'\t' && C != u'\n' && C != u'\r') || C == 0x7F;
}

// Draws a mark for every control character of a line in the room the layout
// gives it: the letter of its caret notation (^A: 'A', ^@: '@', ^?: '?') in
// reverse, which needs no font that has control pictures. The text keeps the
// characters themselves for saving, copying, finding and sending. The layout
// holds the line's characters from position from to position to; selections
// are in the layout's positions.
void DrawControlMarks(QPainter &Painter, const QTextLayout &Layout, const QTextBlock &Block, int From, int To,
    const QPointF &Offset, const QRect &Clip, const QList<QTextLayout::FormatRange> &Selections,
    const QColor &TextColour, const QColor &BaseColour)
{
    const int Base = Block.position();
    const QFont DocFont = Block.document()->defaultFont();
    bool Saved = false;
    for (QTextBlock::iterator It = Block.begin(); !It.atEnd(); ++It) {
        const QTextFragment F = It.fragment();
        const int S = std::max(F.position() - Base, From), E = std::min(F.position() - Base + F.length(), To);
        if (E <= S)
            continue;
        const QString Text = F.text();
        const int TextStart = F.position() - Base;
        for (int I = S; I < E; ++I) {
            const char16_t C = Text[I - TextStart].unicode();
            if (!IsControl(C))
                continue;
            const int At = I - From;
            const QTextLine Line = Layout.lineForTextPosition(At);
            if (!Line.isValid())
                continue;
            const qreal X0 = Line.cursorToX(At), X1 = Line.cursorToX(At + 1);
            const QRectF Cell(Offset.x() + Layout.position().x() + std::min(X0, X1),
                Offset.y() + Layout.position().y() + Line.y(), std::abs(X1 - X0), Line.height());
            if (Cell.width() <= 0 || !Cell.intersects(Clip))
                continue;
            if (!Saved) {
                Painter.save();
                Saved = true;
            }
            const QTextCharFormat Format = F.charFormat();
            QColor Colour = Format.hasProperty(QTextFormat::ForegroundBrush) ? Format.foreground().color() : TextColour;
            QColor Letter = BaseColour;
            for (const QTextLayout::FormatRange &R : Selections)
                if (At >= R.start && At < R.start + R.length) {
                    if (R.format.hasProperty(QTextFormat::ForegroundBrush))
                        Colour = R.format.foreground().color();
                    if (R.format.hasProperty(QTextFormat::BackgroundBrush))
                        Letter = R.format.background().color();
                }
            // A pixel of the background on either side keeps neighbouring marks apart.
            const QRectF Box = Cell.width() > 3 ? Cell.adjusted(0.5, 1, -0.5, -1) : Cell;
            Painter.fillRect(Box, Colour);
            Painter.setPen(Letter);
            Painter.setFont(Format.font().resolve(DocFont));
            Painter.drawText(
                Cell, Qt::AlignCenter | Qt::TextDontClip, QString(QChar(C == 0x7F ? u'?' : char16_t(u'@' + C))));
        }
    }
    if (Saved)
        Painter.restore();
}

// Gives the control characters of a loaded text the room their marks are
// drawn in (see RunFormat()).
void ShapeControls(QTextDocument *Doc)
{
    QTextCharFormat Shaped;
    Shaped.setFontStyleStrategy(QFont::PreferDefault);
    QTextCursor C(Doc);
    bool Open = false;
    for (QTextBlock B = Doc->begin(); B.isValid(); B = B.next()) {
        const QString Text = B.text();
        for (qsizetype I = 0; I < Text.size(); ++I) {
            if (!IsControl(Text[I].unicode()))
                continue;
            qsizetype J = I + 1;
            while (J < Text.size() && IsControl(Text[J].unicode()))
                ++J;
            if (!Open)
                C.beginEditBlock();
            Open = true;
            C.setPosition(B.position() + static_cast<int>(I));
            C.setPosition(B.position() + static_cast<int>(J), QTextCursor::KeepAnchor);
            C.mergeCharFormat(Shaped);
            I = J;
        }
    }
    if (Open)
        C.endEditBlock();
}

}  // namespace

// The plain-text layout, except that with word wrap off a long line of the
// fast kind is not laid out until something needs its characters' places (a
// click, a key, the caret): Qt would shape all of it, over 40 ms for a
// 300,000-character line, only to learn its width. Painting, scrolling and the
// scroll bars go by the kept geometry instead.
class TViewLayout : public QPlainTextDocumentLayout {
public:
    explicit TViewLayout(QTextDocument *Doc) : QPlainTextDocumentLayout(Doc) { }

    // While positive, every line is laid out as Qt does (the view's input,
    // the caret): their places must be exact.
    int Exact = 0;
    // Set while text known to be printable ASCII and line breaks goes in after
    // an empty last line, so that its lines need not be copied to be checked.
    bool PrintableText = false;

    // Lines may be left unlaid-out now: word wrap off, nothing asking for
    // exact places. A screen reader asks for characters' places at any time: it
    // gets them exact, at the cost of the layout.
    bool MayDefer() const
    {
        return Exact == 0 && !QAccessible::isActive() &&
            document()->defaultTextOption().wrapMode() == QTextOption::NoWrap;
    }

    bool Deferred(const QTextBlock &Block) const
    {
        return Block.length() > TRichView::LongLine && Block.isVisible() && MayDefer() &&
            Block.layout()->lineCount() == 0;
    }

    QRectF blockBoundingRect(const QTextBlock &Block) const override
    {
        if (!Block.isValid() || !Deferred(Block))
            return QPlainTextDocumentLayout::blockBoundingRect(Block);
        const TLineGeometry &G = Geometry(Block);
        if (G.Advance <= 0)
            return QPlainTextDocumentLayout::blockBoundingRect(Block);
        const qreal Margin = document()->documentMargin();
        const qreal TextWidth = G.Width();
        const_cast<TViewLayout *>(this)->NoteWidth(TextWidth + 2 * Margin);
        // As Qt's rectangle (such a line is always wider than the view), with the
        // margin below the last line.
        QRectF R(0, 0, Margin + TextWidth + Margin, G.Height);
        if (!Block.next().isValid())
            R.adjust(0, 0, 0, Margin);
        return R;
    }

    // With word wrap on, lines are as wide as the view: nothing to scroll
    // sideways, whatever lines were measured while it was off.
    QSizeF documentSize() const override
    {
        const QSizeF Size = QPlainTextDocumentLayout::documentSize();
        if (document()->defaultTextOption().wrapMode() != QTextOption::NoWrap)
            return Size;
        return QSizeF(std::max(Size.width(), FWidest), Size.height());
    }

protected:
    void documentChanged(int From, int Removed, int Added) override
    {
        QTextDocument *Doc = document();
        const bool SameBlocks = Doc->blockCount() == FBlocks;
        if (Doc->blockCount() < FBlocks) {
            // Lines went: the widest may have gone with them.
            FWidest = 0;
            for (QTextBlock B = Doc->firstBlock(); B.isValid(); B = B.next()) {
                const auto *G = static_cast<const TLineGeometry *>(B.userData());
                if (G && G->Advance > 0 && G->Revision == B.revision() && B.layout()->lineCount() == 0)
                    FWidest = std::max(FWidest, G->Width() + 2 * Doc->documentMargin());
            }
        }
        FBlocks = Doc->blockCount();
        // The new lines' widths first, so that the size the base announces has them.
        if (Doc->defaultTextOption().wrapMode() == QTextOption::NoWrap) {
            const QTextBlock Last = Doc->findBlock(From + Added);
            for (QTextBlock B = Doc->findBlock(From); B.isValid(); B = B.next()) {
                if (B.length() > TRichView::LongLine) {
                    const TLineGeometry &G = Geometry(B, PrintableText);
                    if (G.Advance > 0)
                        FWidest = std::max(FWidest, G.Width() + 2 * Doc->documentMargin());
                }
                if (B == Last)
                    break;
            }
        }
        // Text added to one long line that stays unlaid-out (a long append goes
        // in slices): Qt would lay the whole line out again for every slice.
        if (SameBlocks && MayDefer()) {
            const QTextBlock B = Doc->findBlock(From);
            if (B.isValid() && B == Doc->findBlock(std::max(0, From + Removed + Added - 1)) &&
                B.length() > TRichView::LongLine && Geometry(B).Advance > 0) {
                B.layout()->clearLayout();
                Q_EMIT updateBlock(B);
                return;
            }
        }
        QPlainTextDocumentLayout::documentChanged(From, Removed, Added);
    }

private:
    void NoteWidth(qreal Width)
    {
        if (Width <= FWidest)
            return;
        FWidest = Width;
        Q_EMIT documentSizeChanged(documentSize());
    }

    qreal FWidest = 0;
    int FBlocks = 1;
};

namespace {

// Lays every line out exactly while the view handles input or places the caret.
class TExactScope {
public:
    explicit TExactScope(TViewLayout *Layout) : FLayout(Layout) { ++FLayout->Exact; }
    ~TExactScope() { --FLayout->Exact; }
    TExactScope(const TExactScope &) = delete;
    TExactScope &operator=(const TExactScope &) = delete;

private:
    TViewLayout *FLayout;
};

// Characters from..to of a line, without copying all of it.
QString SliceText(const QTextBlock &Block, int From, int To)
{
    const QTextDocument *Doc = Block.document();
    const int Base = Block.position();
    QString S;
    S.reserve(To - From);
    for (int I = From; I < To; ++I)
        S += Doc->characterAt(Base + I);
    return S;
}

// The program's own changes (appends, loads, trims) are never undo steps.
// Switching undo off drops the history, which could not be undone past such a
// change anyway; a view the user edits gets undo back for the next edits.
class TNoUndo {
public:
    explicit TNoUndo(QTextDocument *Doc) : FDoc(Doc), FOn(Doc->isUndoRedoEnabled())
    {
        if (FOn)
            FDoc->setUndoRedoEnabled(false);
    }
    ~TNoUndo()
    {
        if (FOn)
            FDoc->setUndoRedoEnabled(true);
    }
    TNoUndo(const TNoUndo &) = delete;
    TNoUndo &operator=(const TNoUndo &) = delete;

private:
    QTextDocument *FDoc;
    bool FOn;
};

QString AsciiUpper(QString S)
{
    for (QChar &C : S)
        if (C >= u'a' && C <= u'z')
            C = QChar(C.unicode() - 32);
    return S;
}

}  // namespace

namespace {

// What a screen reader gets of a view: the text with each control character
// as its Unicode control picture (U+2400 + code, U+2421 for 127), position for
// position, so that a code 0 does not end the text on its way to the reader
// and the reader names what the view marks.
QString Pictured(QString Text)
{
    for (QChar &C : Text)
        if (IsControl(C.unicode()))
            C = QChar(C.unicode() == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + C.unicode()));
    return Text;
}

class TRichViewAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleEditableTextInterface {
public:
    explicit TRichViewAccessible(TRichView *View) : QAccessibleWidget(View, QAccessible::EditableText) { }

    static QAccessibleInterface *Factory(const QString &ClassName, QObject *Object)
    {
        if (ClassName == QLatin1String("TRichView") && Object && Object->isWidgetType())
            return new TRichViewAccessible(static_cast<TRichView *>(Object));
        return nullptr;
    }

    void *interface_cast(QAccessible::InterfaceType T) override
    {
        if (T == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (T == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(T);
    }

    QAccessible::State state() const override
    {
        QAccessible::State St = QAccessibleWidget::state();
        St.multiLine = true;
        St.selectableText = true;
        if (View()->isReadOnly())
            St.readOnly = true;
        else
            St.editable = true;
        return St;
    }

    QString text(QAccessible::Text T) const override
    {
        if (T == QAccessible::Value)
            return Pictured(View()->toPlainText());
        return QAccessibleWidget::text(T);
    }

    // --- Text ---
    int characterCount() const override { return View()->TextLength(); }
    int cursorPosition() const override { return View()->textCursor().position(); }
    void setCursorPosition(int Position) override { setSelection(0, Position, Position); }
    int selectionCount() const override { return View()->textCursor().hasSelection() ? 1 : 0; }
    void selection(int Index, int *Start, int *End) const override
    {
        const QTextCursor C = View()->textCursor();
        *Start = *End = 0;
        if (Index != 0 || !C.hasSelection())
            return;
        *Start = C.selectionStart();
        *End = C.selectionEnd();
    }
    void addSelection(int Start, int End) override { setSelection(0, Start, End); }
    void removeSelection(int Index) override
    {
        if (Index != 0)
            return;
        QTextCursor C = View()->textCursor();
        C.clearSelection();
        View()->setTextCursor(C);
    }
    void setSelection(int Index, int Start, int End) override
    {
        if (Index != 0)
            return;
        const int Length = characterCount();
        QTextCursor C(View()->document());
        C.setPosition(std::clamp(Start, 0, Length));
        C.setPosition(std::clamp(End, 0, Length), QTextCursor::KeepAnchor);
        View()->setTextCursor(C);
    }

    QString text(int Start, int End) const override
    {
        const int Length = characterCount();
        Start = std::clamp(Start, 0, Length);
        End = std::clamp(End, Start, Length);
        if (Start == End)
            return QString();
        QTextCursor C(View()->document());
        C.setPosition(Start);
        C.setPosition(End, QTextCursor::KeepAnchor);
        QString S = C.selectedText();
        S.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        return Pictured(S);
    }

    // Units are looked for within the line (paragraph) at the offset, so that
    // a long log is not copied for every question.
    QString textAtOffset(int Offset, QAccessible::TextBoundaryType Type, int *Start, int *End) const override
    {
        const int Length = characterCount();
        *Start = *End = -1;
        if (Length == 0 || Offset < 0 || Offset > Length)
            return QString();
        if (Offset == Length)
            --Offset;
        if (Type == QAccessible::NoBoundary) {
            *Start = 0;
            *End = Length;
            return text(0, Length);
        }
        const QTextBlock B = View()->document()->findBlock(Offset);
        const int Base = B.position();
        const int LineEnd = Base + B.length() - (B.next().isValid() ? 0 : 1);  // with its line break
        int S = Offset, E = Offset + 1;
        if (Type == QAccessible::LineBoundary || Type == QAccessible::ParagraphBoundary) {
            S = Base;
            E = LineEnd;
        } else if (Type == QAccessible::WordBoundary || Type == QAccessible::SentenceBoundary) {
            const QString Line = B.text();
            const int At = Offset - Base;
            if (At < Line.size()) {
                QTextBoundaryFinder Finder(
                    Type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word : QTextBoundaryFinder::Sentence,
                    Line);
                Finder.setPosition(At);
                const qsizetype From = Finder.isAtBoundary() ? At : Finder.toPreviousBoundary();
                Finder.setPosition(At);
                const qsizetype To = Finder.toNextBoundary();
                S = Base + static_cast<int>(std::max<qsizetype>(From, 0));
                E = Base + static_cast<int>(To < 0 ? Line.size() : To);
            }
        }
        *Start = S;
        *End = std::max(E, S);
        return text(*Start, *End);
    }
    QString textBeforeOffset(int Offset, QAccessible::TextBoundaryType Type, int *Start, int *End) const override
    {
        int S = 0, E = 0;
        textAtOffset(Offset, Type, &S, &E);
        *Start = *End = -1;
        if (S <= 0)
            return QString();
        return textAtOffset(S - 1, Type, Start, End);
    }
    QString textAfterOffset(int Offset, QAccessible::TextBoundaryType Type, int *Start, int *End) const override
    {
        int S = 0, E = 0;
        textAtOffset(Offset, Type, &S, &E);
        *Start = *End = -1;
        if (E < 0 || E >= characterCount())
            return QString();
        return textAtOffset(E, Type, Start, End);
    }

    QRect characterRect(int Offset) const override
    {
        QTextCursor C(View()->document());
        C.setPosition(std::clamp(Offset, 0, characterCount()));
        const QRect R = View()->cursorRect(C);
        const int Width = View()->fontMetrics().averageCharWidth();
        return QRect(View()->viewport()->mapToGlobal(R.topLeft()), QSize(Width, R.height()));
    }
    int offsetAtPoint(const QPoint &Point) const override
    {
        const QPoint At = View()->viewport()->mapFromGlobal(Point);
        if (!View()->viewport()->rect().contains(At))
            return -1;
        return View()->cursorForPosition(At).position();
    }
    void scrollToSubstring(int, int) override { }
    QString attributes(int, int *Start, int *End) const override
    {
        *Start = 0;
        *End = characterCount();
        return QString();
    }

    // --- Editing (the send view) ---
    void deleteText(int Start, int End) override { replaceText(Start, End, QString()); }
    void insertText(int Offset, const QString &Text) override { replaceText(Offset, Offset, Text); }
    void replaceText(int Start, int End, const QString &Text) override
    {
        if (View()->isReadOnly())
            return;
        setSelection(0, Start, End);
        View()->ReplaceSelection(Text);
    }

private:
    TRichView *View() const { return static_cast<TRichView *>(widget()); }
};

}  // namespace

TRichView::TRichView(QWidget *Parent) : QPlainTextEdit(Parent), FInsertFamily(QStringLiteral("Courier New"))
{
    static const bool Accessible = [] {
        QAccessible::installFactory(&TRichViewAccessible::Factory);
        return true;
    }();
    Q_UNUSED(Accessible);
    auto *Doc = new QTextDocument(this);
    FLayout = new TViewLayout(Doc);
    Doc->setDocumentLayout(FLayout);
    setDocument(Doc);
    // Bars that repaint cheaply: they change with nearly every received line.
    TViewScrollBar::InstallIn(this);
    if (auto *Bar = qobject_cast<TViewScrollBar *>(verticalScrollBar()))
        Bar->SetCorrection([this](int &Maximum, int &PageStep) { CountRows(Maximum, PageStep); });
    setUndoRedoEnabled(false);
    // Tab and Shift+Tab move through the window's controls, so the keyboard
    // alone can leave a view.
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // A change of the viewport's width makes Qt lay out every line in view again
    // (over 700 ms for a screen of 90,000-character lines): keep the vertical
    // bar, so the width does not change when the text first outgrows the view.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QFont F(FInsertFamily, 9);
    F.setStyleHint(QFont::TypeWriter);
    setFont(F);
    viewport()->setMouseTracking(true);
    FRepaintTimer.setSingleShot(true);
    FRepaintTimer.setInterval(RepaintMs);
    connect(&FRepaintTimer, &QTimer::timeout, this, &TRichView::ShowArrived);
    FSliceTimer.setSingleShot(true);
    FSliceTimer.setInterval(0);
    connect(&FSliceTimer, &QTimer::timeout, this, &TRichView::InsertQueued);
    connect(this, &QPlainTextEdit::textChanged, this, &TRichView::Changed);
    connect(this, &QPlainTextEdit::selectionChanged, this, [this] { ++FSelectionRevision; });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { ++FSelectionRevision; });
    // Appends after the selection leave it as it is.
    connect(Doc, &QTextDocument::contentsChange, this, [this](int From, int, int) {
        if (From <= textCursor().selectionEnd())
            ++FSelectionRevision;
    });
    // Follow the end only while the user is there: a scroll by the user decides,
    // a longer range (new lines) does not.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int Value) {
        if (!FAdjusting)
            FAtEnd = Value >= verticalScrollBar()->maximum();
    });
}

// --- Appending ---

QTextCharFormat TRichView::RunFormat(const QColor &Colour, bool Controls)
{
    const QRgb Rgb = Colour.isValid() ? Colour.rgb() : 0;  // 0 (transparent black): no colour
    const quint64 Key = (quint64(Controls) << 32) | Rgb;
    auto It = FFormats.constFind(Key);
    if (It != FFormats.constEnd())
        return *It;
    QTextCharFormat F;
    F.setFontFamilies(QStringList {FInsertFamily});
    // Control characters are shaped: unshaped, they take no room, and their
    // marks are drawn in that room.
    F.setFontStyleHint(QFont::TypeWriter, Controls ? QFont::PreferDefault : QFont::PreferNoShaping);
    if (Colour.isValid())
        F.setForeground(Colour);
    FFormats.insert(Key, F);
    return F;
}

// Inserts a run, its control characters in a format of their own.
void TRichView::InsertRun(QTextCursor &Cursor, const TRun &Run)
{
    const QString &Text = Run.Text;
    qsizetype Start = 0;
    for (qsizetype I = 0; I < Text.size();) {
        if (!IsControl(Text[I].unicode())) {
            ++I;
            continue;
        }
        qsizetype J = I + 1;
        while (J < Text.size() && IsControl(Text[J].unicode()))
            ++J;
        if (I > Start)
            Cursor.insertText(Text.sliced(Start, I - Start), RunFormat(Run.Colour));
        Cursor.insertText(Text.sliced(I, J - I), RunFormat(Run.Colour, true));
        Start = I = J;
    }
    if (Start == 0)
        Cursor.insertText(Text, RunFormat(Run.Colour));
    else if (Start < Text.size())
        Cursor.insertText(Text.sliced(Start), RunFormat(Run.Colour));
}

void TRichView::Append(const QList<TRun> &Runs)
{
    FQueued += Runs;
    if (!FSliceTimer.isActive())
        InsertQueued();
}

// Inserts what was appended, at most SliceChars characters at a time: a
// mebibyte line does not hold the program in one event, and its rest follows
// at the next turns of the event loop, before any later line.
void TRichView::InsertQueued()
{
    QList<TRun> Part;
    qsizetype Room = SliceChars;
    while (!FQueued.isEmpty() && Room > 0) {
        TRun &R = FQueued.front();
        const qsizetype Left = R.Text.size() - FQueuedOffset;
        if (Left <= Room) {
            Part += FQueuedOffset == 0 ? std::move(R) : TRun {R.Text.mid(FQueuedOffset), R.Colour};
            FQueued.pop_front();
            FQueuedOffset = 0;
            Room -= Left;
            continue;
        }
        // A slice that has ended a line ends there: while lines arrive faster
        // than slices go in, the view still stands at line ends now and then,
        // where automatic save may save it.
        qsizetype LineEnd = Part.size();
        while (LineEnd > 0 && !Part[LineEnd - 1].Text.endsWith(u'\n'))
            --LineEnd;
        if (LineEnd > 0) {
            // The runs after it were taken whole; they go back in front.
            while (Part.size() > LineEnd)
                FQueued.prepend(Part.takeLast());
            break;
        }
        qsizetype Cut = Room;
        // Never between the two characters of a "\r\n" line break.
        if (R.Text[FQueuedOffset + Cut - 1] == u'\r' && R.Text[FQueuedOffset + Cut] == u'\n')
            --Cut;
        if (Cut == 0)
            break;
        Part += TRun {R.Text.mid(FQueuedOffset, Cut), R.Colour};
        FQueuedOffset += Cut;
        Room = 0;
    }
    if (!Part.isEmpty())
        InsertRuns(Part);
    if (!FQueued.isEmpty())
        FSliceTimer.start();
}

void TRichView::InsertRuns(const QList<TRun> &Runs)
{
    QTextDocument *Doc = document();
    TNoUndo NoUndo(Doc);
    // Text after a quiet period is shown with updates on, painting only its
    // lines (the document's layout would ask for the whole viewport); text that
    // follows before it is shown switches to batching.
    const bool Alone = !FBatching && FPendingFrom < 0 && (!FLastShown.isValid() || FLastShown.hasExpired(RepaintMs));
    const int FirstLine = Doc->blockCount() - 1;
    QWidget *View = viewport();
    const bool Hold = Alone && View->updatesEnabled();
    if (Hold)
        View->setAttribute(Qt::WA_UpdatesDisabled, true);  // not setUpdatesEnabled(): no update() after
    auto *Bar = qobject_cast<TViewScrollBar *>(verticalScrollBar());
    if (Alone && Bar)
        Bar->HoldChecks(true);  // released with the line's paint
    const QTextBlock Last = Doc->lastBlock();
    const auto *LastGeometry = static_cast<const TLineGeometry *>(Last.userData());
    bool Printable = Last.length() == 1 ||
        (LastGeometry && LastGeometry->Advance > 0 && LastGeometry->Revision == Last.revision() &&
            LastGeometry->Length == Last.length() - 1);
    for (const TRun &R : Runs)
        Printable = Printable && PrintableAscii(R.Text, true);
    FLayout->PrintableText = Printable;
    // Placed inside the edit block: a cursor moved outside one makes Qt itemize
    // the whole line it starts on (the first line, possibly a long one).
    QTextCursor C(Doc);
    C.beginEditBlock();
    C.setPosition(Doc->characterCount() - 1);
    for (const TRun &R : Runs) {
        if (Printable)
            C.insertText(R.Text, RunFormat(R.Colour));
        else
            InsertRun(C, R);
    }
    C.endEditBlock();
    FLayout->PrintableText = false;
    if (Hold)
        View->setAttribute(Qt::WA_UpdatesDisabled, false);
    const int Before = TextLength();
    EnforceBound();
    if (Alone && TextLength() == Before) {
        // Shown by the timer as a batch is: the append and the paint stay apart.
        FPendingFrom = FirstLine;
        FRepaintTimer.start(FQuietDelay);
    } else {
        if (Bar)
            Bar->HoldChecks(false);
        TextArrived();
    }
}

void TRichView::Append(const QString &Text, const QColor &Colour)
{
    Append(QList<TRun> {{Text, Colour}});
}

// Switches updates off while text keeps arriving; the timer shows it all at once.
void TRichView::TextArrived()
{
    if (FBatching)
        return;
    FBatching = true;
    setUpdatesEnabled(false);
    if (!FRepaintTimer.isActive())
        FRepaintTimer.start(RepaintMs);
}

// Asks for a paint of the lines from line first to the end, where in view.
void TRichView::ShowLinesFrom(int First)
{
    QWidget *View = viewport();
    const QTextBlock From = document()->findBlockByNumber(First);
    if (!From.isValid())
        return;
    const QPointF Offset = contentOffset();
    const qreal Top = blockBoundingGeometry(From).translated(Offset).top();
    const qreal Bottom = blockBoundingGeometry(document()->lastBlock()).translated(Offset).bottom();
    const QRect R(
        0, static_cast<int>(std::floor(Top)) - 1, View->width(), static_cast<int>(std::ceil(Bottom - Top)) + 2);
    View->update(R.intersected(View->rect()));
}

void TRichView::FlushUpdates()
{
    while (!FQueued.isEmpty())
        InsertQueued();
    FSliceTimer.stop();
    ShowArrived();
}

void TRichView::ShowArrived()
{
    if (!FBatching && FPendingFrom < 0)
        return;
    FRepaintTimer.stop();
    const int From = FPendingFrom;
    FPendingFrom = -1;
    if (FBatching) {
        FBatching = false;
        setUpdatesEnabled(true);
        if (FAtEnd)
            ScrollToEnd();
        repaint();
    } else {
        // Following the end scrolls the viewport (a blit), then the new lines are painted.
        if (FAtEnd)
            ScrollToEnd();
        ShowLinesFrom(From);
    }
    if (auto *Bar = qobject_cast<TViewScrollBar *>(verticalScrollBar()))
        Bar->HoldChecks(false);
    FLastShown.start();
}

// Qt counts the rows of the last lines in view from their layouts, and a line
// left unlaid-out has none: its range would end at the last line, the view
// showing nothing but the empty line after the last line break. Without word
// wrap every line is one row.
void TRichView::CountRows(int &Maximum, int &PageStep) const
{
    if (lineWrapMode() != NoWrap || !isVisible() || centerOnScroll())
        return;
    const QTextDocument *Doc = document();
    const QAbstractTextDocumentLayout *Layout = Doc->documentLayout();
    // As Qt does: the lines that fit whole above the bottom margin.
    const qreal Visible = viewport()->rect().height() - Doc->documentMargin() - 1;
    qreal Y = 0;
    int Rows = 0;
    for (QTextBlock B = Doc->lastBlock(); B.isValid(); B = B.previous()) {
        if (!B.isVisible())
            continue;
        Y += Layout->blockBoundingRect(B).height();
        if (Y > Visible)
            break;
        ++Rows;
    }
    Maximum = std::max(0, Doc->lineCount() - Rows);
    PageStep = Rows;
}

void TRichView::ScrollToEnd()
{
    QScrollBar *Bar = verticalScrollBar();
    if (lineWrapMode() != NoWrap) {
        // Lay out the last lines first, so that the range counts their rows.
        QAbstractTextDocumentLayout *Layout = document()->documentLayout();
        qreal Height = 0;
        for (QTextBlock B = document()->lastBlock(); B.isValid() && Height < viewport()->height(); B = B.previous())
            Height += Layout->blockBoundingRect(B).height();
    }
    FAdjusting = true;
    Bar->setValue(Bar->maximum());
    FAdjusting = false;
    FAtEnd = true;
}

// --- Selection and caret ---

int TRichView::SelStart() const
{
    return textCursor().selectionStart();
}

int TRichView::SelLength() const
{
    const QTextCursor C = textCursor();
    return C.selectionEnd() - C.selectionStart();
}

QString TRichView::SelText() const
{
    QString S = textCursor().selectedText();
    S.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return S;
}

void TRichView::VisitSelection(const std::function<void(QStringView)> &Visit) const
{
    const QTextCursor C = textCursor();
    const int Start = C.selectionStart(), End = C.selectionEnd();
    if (Start >= End)
        return;
    for (QTextBlock B = document()->findBlock(Start); B.isValid(); B = B.next()) {
        const int Base = B.position();
        const int From = std::max(Start - Base, 0), To = std::min(End - Base, B.length() - 1);
        if (To > From && B.length() <= LongLine) {
            Visit(QStringView(B.text()).sliced(From, To - From));
        } else if (To > From) {
            // Of a long line, only the runs (fragments) that hold selected text.
            for (QTextBlock::iterator It = B.begin(); !It.atEnd(); ++It) {
                const QTextFragment F = It.fragment();
                const int S = std::max(Start, F.position()), E = std::min(End, F.position() + F.length());
                if (E > S)
                    Visit(QStringView(F.text()).sliced(S - F.position(), E - S));
            }
        }
        if (End < Base + B.length())
            break;  // its line break is not selected
        Visit(u"\n");
    }
}

void TRichView::SetSelection(int Start, int Length)
{
    const int Len = TextLength();
    Start = std::clamp(Start, 0, Len);
    // Saturated: start + length may be past the largest int.
    const int End = Length >= Len - Start ? Len : Start + std::max(Length, 0);
    QTextCursor C(document());
    C.setPosition(Start);
    C.setPosition(End, QTextCursor::KeepAnchor);
    setTextCursor(C);
}

void TRichView::ReplaceSelection(const QString &Text)
{
    QTextCursor C = textCursor();
    C.insertText(Text);
    setTextCursor(C);
    EnforceBound();
}

void TRichView::ReplaceSelectionRtf(const QByteArray &Rtf)
{
    QTextCursor C = textCursor();
    InsertRtf(C, Rtf);
    setTextCursor(C);
    EnforceBound();
}

void TRichView::SetSelectionColour(const QColor &Colour)
{
    QTextCursor C = textCursor();
    if (!C.hasSelection())
        return;
    QTextCharFormat F;
    F.setForeground(Colour);
    C.mergeCharFormat(F);
}

int TRichView::CaretLine() const
{
    return document()->findBlock(textCursor().selectionEnd()).blockNumber();
}

int TRichView::CaretColumn() const
{
    const int Pos = textCursor().selectionEnd();
    return Pos - document()->findBlock(Pos).position();
}

// --- Lines ---

int TRichView::LineCount() const
{
    return document()->blockCount();
}

QString TRichView::LineText(int I) const
{
    if (I < 0)
        return QString();
    return document()->findBlockByNumber(I).text();
}

int TRichView::LineStart(int I) const
{
    if (I <= 0)
        return 0;
    const QTextBlock B = document()->findBlockByNumber(I);
    return B.isValid() ? B.position() : TextLength();
}

int TRichView::LineAt(int Position) const
{
    const QTextBlock B = document()->findBlock(std::clamp(Position, 0, TextLength()));
    return B.isValid() ? B.blockNumber() : LineCount() - 1;
}

int TRichView::TextLength() const
{
    return document()->characterCount() - 1;
}

void TRichView::DeleteFirstLines(int Count)
{
    if (Count <= 0)
        return;
    RemoveFront(Count >= LineCount() ? TextLength() : LineStart(Count));
}

void TRichView::ClearText()
{
    TNoUndo NoUndo(document());
    QTextCursor C(document());
    C.beginEditBlock();
    C.setPosition(TextLength(), QTextCursor::KeepAnchor);
    C.removeSelectedText();
    C.endEditBlock();
    // The document keeps removed text in its buffer until the buffer is
    // nearly full: emptied by automatic save, a full view would take twice
    // its memory before that. Clearing the emptied document frees it; it
    // changes nothing anyone sees, so nobody is told twice.
    {
        const QSignalBlocker Quiet(document());
        document()->clear();
    }
    FAtEnd = true;
}

bool TRichView::CompactText()
{
    const int Len = TextLength();
    if (Len > CompactMost)
        return false;
    const bool Follow = FAtEnd;
    QTextCursor All(document());
    All.setPosition(Len, QTextCursor::KeepAnchor);
    const QTextDocumentFragment Kept(All);
    ClearText();
    if (Len > 0) {
        TNoUndo NoUndo(document());
        QTextCursor C(document());
        C.beginEditBlock();
        C.insertFragment(Kept);
        C.endEditBlock();
    }
    FAtEnd = Follow;
    if (Follow) {
        FAdjusting = true;
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        FAdjusting = false;
    }
    return true;
}

// Removes the text before position end in one deletion.
void TRichView::RemoveFront(int End)
{
    if (End <= 0)
        return;
    QScrollBar *Bar = verticalScrollBar();
    const bool Follow = FAtEnd;
    // Rows that disappear above what the user looks at.
    const QTextBlock Kept = document()->findBlock(End);
    const int RowsGone = Kept.isValid() && Kept.position() == End ? Kept.firstLineNumber() : 0;
    const int OldValue = Bar->value();
    TNoUndo NoUndo(document());
    QTextCursor C(document());
    C.beginEditBlock();
    C.setPosition(End, QTextCursor::KeepAnchor);
    C.removeSelectedText();
    C.endEditBlock();
    FAdjusting = true;
    if (Follow)
        Bar->setValue(Bar->maximum());
    else
        Bar->setValue(std::max(0, OldValue - RowsGone));
    FAdjusting = false;
    FAtEnd = Follow;
}

void TRichView::EnforceBound()
{
    const int Bound = CharacterBound();
    const int Len = TextLength();
    if (Len <= Bound || (FBoundHeld && Len <= Bound * 2))
        return;
    // Go below the bound by a sixth at once (as 20,000 of 120,000 lines), so
    // that a stream at the bound trims rarely, and cut at a line start.
    const int Target = Len - Bound + Bound / 6;
    const QTextBlock B = document()->findBlock(Target);
    int Cut = Target;
    if (B.isValid() && B.position() != Target && B.next().isValid())
        Cut = B.next().position();
    RemoveFront(std::min(Cut, Len));
}

// --- Find ---

int TRichView::Find(const QString &What, int From, bool MatchCase) const
{
    if (What.isEmpty() || From < 0 || From > TextLength())
        return -1;
    if (FMirror)
        return FMirror->Find(What, From, MatchCase);
    const QString Needle = MatchCase ? What : AsciiUpper(What);
    for (QTextBlock B = document()->findBlock(From); B.isValid(); B = B.next()) {
        const QString Text = MatchCase ? B.text() : AsciiUpper(B.text());
        const int Start = std::max(0, From - B.position());
        const qsizetype Hit = Text.indexOf(Needle, Start);
        if (Hit >= 0)
            return B.position() + static_cast<int>(Hit);
    }
    return -1;
}

void TRichView::KeepFindCopy()
{
    if (!FMirror)
        FMirror = new TTextMirror(document());
}

// --- Look ---

void TRichView::SetBackgroundColour(const QColor &Colour)
{
    QPalette P = palette();
    P.setColor(QPalette::Base, Colour);
    setPalette(P);
}

QColor TRichView::BackgroundColour() const
{
    return palette().color(QPalette::Base);
}

void TRichView::SetTextColour(const QColor &Colour)
{
    QPalette P = palette();
    P.setColor(QPalette::Text, Colour);
    setPalette(P);
}

QColor TRichView::TextColour() const
{
    return palette().color(QPalette::Text);
}

void TRichView::SetWordWrap(bool Wrap)
{
    setLineWrapMode(Wrap ? WidgetWidth : NoWrap);
}

void TRichView::SetUserEditable(bool Editable)
{
    setReadOnly(!Editable);
    if (!Editable)
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

bool TRichView::WordWrap() const
{
    return lineWrapMode() != NoWrap;
}

void TRichView::SetMaxLength(int Length)
{
    FMaxLength = std::max(Length, 0);
    EnforceBound();
}

int TRichView::CharacterBound() const
{
    return std::min(FMaxLength, MostCharacters);
}

// --- Files ---

QByteArray TRichView::ToRtf() const
{
    return WriteRtf(*document());
}

void TRichView::SaveRtf(const QString &Path) const
{
    // The buffer is flushed and checked here: a write that fails only when
    // QSaveFile's close flushes it (a full disk) is otherwise committed as
    // success, renaming a short file over the old one.
    QSaveFile F(Path);
    const QByteArray Rtf = ToRtf();
    if (!F.open(QIODevice::WriteOnly) || F.write(Rtf) != Rtf.size() || !F.flush()) {
        const QString Reason = F.errorString();
        F.cancelWriting();
        throw ERichText(QStringLiteral("Cannot write %1: %2").arg(Path, Reason).toStdString());
    }
    if (!F.commit())
        throw ERichText(QStringLiteral("Cannot write %1: %2").arg(Path, F.errorString()).toStdString());
}

void TRichView::LoadFile(const QString &Path)
{
    QFile F(Path);
    const auto Fail = [&](const QString &What) {
        throw ERichText(QStringLiteral("Cannot read %1: %2").arg(Path, What).toStdString());
    };
    if (!F.open(QIODevice::ReadOnly))
        Fail(F.errorString());
    if (F.size() > MaxFileBytes)
        throw ERichText(QStringLiteral("Cannot open %1: the file is larger than %2 MB")
                            .arg(Path)
                            .arg(MaxFileBytes >> 20)
                            .toStdString());
    // RTF is read from its start; of plain text only the end the view keeps is
    // read (after a pass that decides its encoding), not the whole file.
    const qsizetype Keep = KeptCharacters();
    const qint64 Size = F.size();
    const QByteArray Head = F.peek(std::min<qint64>(Size, 4096));
    if (F.isSequential() || Size <= Keep || IsRtf(Head) || Head.trimmed().isEmpty()) {
        const QByteArray Data = F.readAll();
        if (F.error() != QFileDevice::NoError)
            Fail(F.errorString());
        LoadData(Data);
        return;
    }
    TUtf8Check Check;
    QByteArray Piece;
    while (!F.atEnd()) {
        Piece = F.read(qint64(1) << 20);
        if (F.error() != QFileDevice::NoError)
            Fail(F.errorString());
        if (Piece.isEmpty())
            break;
        Check.Add(Piece);
    }
    const bool Utf8 = Check.Valid();
    QString Text;
    // Mostly a byte a character: more is read only when that was short.
    for (qint64 Bytes = std::min<qint64>(Size, Keep + 3);; Bytes = std::min<qint64>(Size, 2 * Bytes)) {
        Text = QString();
        if (!F.seek(Size - Bytes))
            Fail(F.errorString());
        const QByteArray Tail = F.read(Bytes);
        if (F.error() != QFileDevice::NoError || Tail.size() != Bytes)
            Fail(F.errorString());
        Text = DecodePlainTail(Tail, Bytes == Size, Utf8, Keep);
        if (Bytes == Size || DocumentLength(Text) >= Keep)
            break;
    }
    LoadText([&](QTextCursor &C) { C.insertText(Text); });
}

// Enough characters for the view to end as it would with all of a file: the
// bound and the character in front of where it cuts.
qsizetype TRichView::KeptCharacters() const
{
    return qsizetype(CharacterBound()) + 2;
}

void TRichView::LoadData(QByteArrayView data)
{
    const qsizetype keep = KeptCharacters();
    LoadText([&](QTextCursor &C) { InsertFileContent(C, data, keep); });
}

void TRichView::LoadText(const std::function<void(QTextCursor &)> &Insert)
{
    TNoUndo NoUndo(document());
    QTextCursor C(document());
    C.beginEditBlock();
    C.select(QTextCursor::Document);
    C.removeSelectedText();
    C.setCharFormat(QTextCharFormat());
    Insert(C);
    C.endEditBlock();
    EnforceBound();
    ShapeControls(document());
    QTextCursor Top(document());
    setTextCursor(Top);
    FAdjusting = true;
    verticalScrollBar()->setValue(0);
    FAdjusting = false;
    FAtEnd = verticalScrollBar()->maximum() == 0;
}

// --- Events ---

bool TRichView::event(QEvent *Event)
{
    switch (Event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::Timer: {  // the caret's blink
        TExactScope Exact(FLayout);
        return QPlainTextEdit::event(Event);
    }
    default:
        return QPlainTextEdit::event(Event);
    }
}

bool TRichView::viewportEvent(QEvent *Event)
{
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        TExactScope Exact(FLayout);
        return QPlainTextEdit::viewportEvent(Event);
    }
    case QEvent::MouseMove:
        // Hovering needs no places; a drag that selects does.
        if (static_cast<QMouseEvent *>(Event)->buttons() != Qt::NoButton) {
            TExactScope Exact(FLayout);
            return QPlainTextEdit::viewportEvent(Event);
        }
        return QPlainTextEdit::viewportEvent(Event);
    default:
        return QPlainTextEdit::viewportEvent(Event);
    }
}

void TRichView::doSetTextCursor(const QTextCursor &Cursor)
{
    TExactScope Exact(FLayout);
    QPlainTextEdit::doSetTextCursor(Cursor);
}

void TRichView::changeEvent(QEvent *Event)
{
    QPlainTextEdit::changeEvent(Event);
    if (Event->type() != QEvent::FontChange)
        return;
    QFont F = document()->defaultFont();
    if (F.styleStrategy() & QFont::PreferNoShaping)
        return;
    F.setStyleStrategy(QFont::StyleStrategy(F.styleStrategy() | QFont::PreferNoShaping));
    document()->setDefaultFont(F);
}

// --- Mouse ---

void TRichView::mousePressEvent(QMouseEvent *Event)
{
    QPlainTextEdit::mousePressEvent(Event);
    Q_EMIT MousePressed(Event);
}

void TRichView::mouseMoveEvent(QMouseEvent *Event)
{
    QPlainTextEdit::mouseMoveEvent(Event);
    Q_EMIT MouseMoved(Event);
}

void TRichView::mouseReleaseEvent(QMouseEvent *Event)
{
    QPlainTextEdit::mouseReleaseEvent(Event);
    Q_EMIT MouseReleased(Event);
}

// --- Painting ---

// QPlainTextEdit's own painting, except that long lines without wrap are drawn
// from the slice in view: its layout would shape and draw all of such a line on
// every repaint.
void TRichView::paintEvent(QPaintEvent *Event)
{
    QPainter Painter(viewport());
    QPointF Offset(contentOffset());
    QRect Er = Event->rect();
    const QRect ViewportRect = viewport()->rect();
    const qreal MaximumWidth = document()->documentLayout()->documentSize().width();
    Painter.setBrushOrigin(Offset);
    const int MaxX = static_cast<int>(Offset.x() + std::max<qreal>(ViewportRect.width(), MaximumWidth) -
        document()->documentMargin() + cursorWidth());
    Er.setRight(std::min(Er.right(), MaxX));
    Painter.setClipRect(Er);

    const QAbstractTextDocumentLayout::PaintContext Context = getPaintContext();
    Painter.setPen(Context.palette.text().color());
    const bool Editable = !isReadOnly();
    const bool Sliced = lineWrapMode() == NoWrap;

    for (QTextBlock Block = firstVisibleBlock(); Block.isValid(); Block = Block.next()) {
        const QRectF R = blockBoundingRect(Block).translated(Offset);
        if (!Block.isVisible()) {
            Offset.ry() += R.height();
            continue;
        }
        if (R.bottom() >= Er.top() && R.top() <= Er.bottom()) {
            const QBrush Bg = Block.blockFormat().background();
            if (Bg != Qt::NoBrush) {
                QRectF Contents = R;
                Contents.setWidth(std::max(R.width(), MaximumWidth));
                Painter.fillRect(Contents, Bg);
            }
            QList<QTextLayout::FormatRange> Selections;
            const int Blpos = Block.position();
            const int Bllen = Block.length();
            for (const QAbstractTextDocumentLayout::Selection &Range : Context.selections) {
                const int SelStart = Range.cursor.selectionStart() - Blpos;
                const int SelEnd = Range.cursor.selectionEnd() - Blpos;
                if (SelStart < Bllen && SelEnd > 0 && SelEnd > SelStart) {
                    QTextLayout::FormatRange O;
                    O.start = SelStart;
                    O.length = SelEnd - SelStart;
                    O.format = Range.format;
                    Selections << O;
                }
            }
            const bool DrawCursor = (Editable || (textInteractionFlags() & Qt::TextSelectableByKeyboard)) &&
                Context.cursorPosition >= Blpos && Context.cursorPosition < Blpos + Bllen;
            const int CursorPos = DrawCursor ? Context.cursorPosition - Blpos : -1;
            if (Sliced && Bllen > LongLine) {
                PaintLongBlock(Painter, Block, Offset, Er, Selections, CursorPos);
            } else {
                QTextLayout *Layout = Block.layout();
                Layout->draw(&Painter, Offset, Selections, Er);
                DrawControlMarks(Painter, *Layout, Block, 0, Bllen - 1, Offset, Er, Selections,
                    Context.palette.text().color(), Context.palette.base().color());
                if (CursorPos >= 0)
                    Layout->drawCursor(&Painter, Offset, CursorPos, cursorWidth());
            }
        }
        Offset.ry() += R.height();
        if (Offset.y() > ViewportRect.height())
            break;
    }
}

void TRichView::PaintLongBlock(QPainter &Painter, const QTextBlock &Block, const QPointF &Offset, const QRect &Clip,
    const QList<QTextLayout::FormatRange> &Selections, int CursorPos)
{
    const int Length = Block.length() - 1;
    if (Length <= 0)
        return;
    const QFont Font = document()->defaultFont();
    const qreal Margin = document()->documentMargin();
    TLineGeometry &G = Geometry(Block);
    const qreal Left = Clip.left() - Offset.x() - Margin;
    const qreal Right = Clip.right() - Offset.x() - Margin;
    int From = 0;
    int To = 0;
    qreal Start = 0;
    if (G.Advance > 0) {
        // Characters that reach into the clip, with two more on each side for overhangs.
        From = std::clamp(static_cast<int>(std::floor(Left / G.Advance)) - 2, 0, Length - 1);
        To = std::clamp(static_cast<int>(std::ceil(Right / G.Advance)) + 2, From + 1, Length);
        Start = From * G.Advance;
    } else {
        if (G.X.empty()) {
            const QString Text = Block.text();
            G.X.assign(1, 0.0);
            for (int S = 0; S < Length; S += Chunk) {
                const int E = std::min(Length, S + Chunk);
                QTextLayout Chunk(Text.mid(S, E - S), Font);
                Chunk.setFormats(FormatsOf(Block, S, E));
                LayOutOneLine(Chunk, 0);
                G.X.push_back(G.X.back() + Chunk.lineAt(0).horizontalAdvance());
            }
        }
        const std::vector<qreal> &X = G.X;
        const int Chunks = static_cast<int>(X.size()) - 1;
        // Chunks that reach into the clip, with one more on each side for overhangs.
        int First = static_cast<int>(std::upper_bound(X.begin(), X.end(), Left) - X.begin()) - 2;
        int Last = static_cast<int>(std::upper_bound(X.begin(), X.end(), Right) - X.begin()) + 1;
        First = std::clamp(First, 0, Chunks - 1);
        Last = std::clamp(Last, First + 1, Chunks);
        From = First * Chunk;
        To = std::min(Length, Last * Chunk);
        Start = X[static_cast<size_t>(First)];
    }

    QTextLayout Slice(SliceText(Block, From, To), Font);
    Slice.setFormats(FormatsOf(Block, From, To));
    LayOutOneLine(Slice, Margin + Start);
    QList<QTextLayout::FormatRange> SliceSelections;
    for (const QTextLayout::FormatRange &S : Selections) {
        const int A = std::max(S.start, From), B = std::min(S.start + S.length, To + 1);
        if (B <= A)
            continue;
        QTextLayout::FormatRange O = S;
        O.start = A - From;
        O.length = B - A;
        SliceSelections << O;
    }
    Slice.draw(&Painter, Offset, SliceSelections, Clip);
    if (G.Advance <= 0)  // else printable ASCII only
        DrawControlMarks(Painter, Slice, Block, From, To, Offset, Clip, SliceSelections,
            palette().color(QPalette::Text), palette().color(QPalette::Base));
    if (CursorPos >= From && CursorPos <= To)
        Slice.drawCursor(&Painter, Offset, CursorPos - From, cursorWidth());
}
