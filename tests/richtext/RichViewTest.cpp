// The rich-text view: appends that leave the user's selection and scroll
// position alone, lines, caret, find, trimming, the character bound, files,
// the sliced painting of long lines (compared with Qt's own painting), what
// a stream of long lines and wrapped text look like, and its scroll bars.
// Some of it runs again with a screen reader's accessibility active (see
// CMakeLists.txt).
#include "RichView.h"
#include "TextMirror.h"
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
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace {

const QColor Grey(128, 128, 128);
const QColor Blue(0, 0, 200);

void AppendLines(TRichView &V, int From, int Count, int Width = 20)
{
    for (int I = From; I < From + Count; ++I) {
        const QString Tag = QStringLiteral("[%1] ").arg(I, 6, 10, QLatin1Char('0'));
        V.Append({{Tag, Grey}, {QString(Width, QLatin1Char('A' + I % 26)) + QLatin1Char('\n'), Blue}});
    }
}

QString AllBytes()
{
    QByteArray Bytes;
    for (int C = 0; C < 256; ++C)
        if (C != '\n' && C != '\r')
            Bytes += char(C);
    return QString::fromLatin1(Bytes);
}

// Counts the paint events of the widgets it watches.
struct TPaintCounter : QObject {
    QHash<QObject *, int> Paints;
    explicit TPaintCounter(const QList<QWidget *> &Widgets)
    {
        for (QWidget *W : Widgets)
            W->installEventFilter(this);
    }
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() == QEvent::Paint)
            ++Paints[Watched];
        return false;
    }
    int total() const
    {
        int N = 0;
        for (int P : Paints)
            N += P;
        return N;
    }
};

// Lets queued layouts and repaints run.
void Settle()
{
    for (int I = 0; I < 3; ++I)
        QTest::qWait(15);
}

// Where the style puts a part of the bar, from the bar's public state only.
QRect StyleRect(const QScrollBar *Bar, QStyle::SubControl Part)
{
    QStyleOptionSlider O;
    O.initFrom(Bar);
    O.subControls = QStyle::SC_All;
    O.orientation = Bar->orientation();
    if (Bar->orientation() == Qt::Horizontal)
        O.state |= QStyle::State_Horizontal;
    O.minimum = Bar->minimum();
    O.maximum = Bar->maximum();
    O.sliderPosition = O.sliderValue = Bar->value();
    O.singleStep = Bar->singleStep();
    O.pageStep = Bar->pageStep();
    return Bar->style()->subControlRect(QStyle::CC_ScrollBar, &O, Part, Bar);
}

void SendMouse(QWidget *W, QEvent::Type Type, const QPoint &Pos, Qt::MouseButtons Buttons)
{
    QMouseEvent E(Type, QPointF(Pos), QPointF(W->mapToGlobal(Pos)),
        Type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Buttons, Qt::NoModifier);
    QApplication::sendEvent(W, &E);
}

// A received hex line of about width characters, its number first, as the
// receive window shows it.
QString HexLine(int Number, int Width)
{
    QString Line = QStringLiteral("%1 ").arg(Number, 6, 10, QLatin1Char('0'));
    for (int I = Number; Line.size() < Width; I = I * 7 + 3)
        Line += QStringLiteral("%1 ").arg(I & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    return Line;
}

// Pixels of an image that differ from its top-left corner (the background).
int InkIn(const QImage &Image, const QRect &Band)
{
    const QRgb Background = Image.pixel(0, 0);
    int N = 0;
    const QRect R = Band.intersected(Image.rect());
    for (int Y = R.top(); Y <= R.bottom(); ++Y)
        for (int X = R.left(); X <= R.right(); ++X)
            N += Image.pixel(X, Y) != Background;
    return N;
}

// The smallest rectangle that holds every pixel where two images differ.
QRect DiffRect(const QImage &A, const QImage &B)
{
    QRect R;
    if (A.size() != B.size())
        return A.rect().united(B.rect());
    for (int Y = 0; Y < A.height(); ++Y)
        for (int X = 0; X < A.width(); ++X)
            if (A.pixel(X, Y) != B.pixel(X, Y))
                R = R.united(QRect(X, Y, 1, 1));
    return R;
}

// Qt's own view of what a rich view holds, for pixel comparisons: same font,
// size, wrap and text, formats included; no caret.
struct QtView {
    struct TEdit : QPlainTextEdit {
        using QPlainTextEdit::blockBoundingGeometry;
        using QPlainTextEdit::contentOffset;
    } Edit;
    explicit QtView(const TRichView &Mine)
    {
        Edit.setFont(Mine.font());
        Edit.document()->setDefaultFont(Mine.document()->defaultFont());
        Edit.setWordWrapMode(Mine.wordWrapMode());
        Edit.setLineWrapMode(Mine.lineWrapMode());
        Edit.setVerticalScrollBarPolicy(Mine.verticalScrollBarPolicy());
        Edit.setCursorWidth(0);
        Edit.resize(Mine.size());
        Edit.show();
    }
    // Copies the lines of the rich view from line first up to its last line
    // break, with their formats.
    void copyLines(const TRichView &Mine, int First)
    {
        QTextCursor C(Edit.document());
        C.movePosition(QTextCursor::End);
        for (QTextBlock B = Mine.document()->findBlockByNumber(First); B.isValid() && B.next().isValid();
             B = B.next()) {
            for (QTextBlock::iterator It = B.begin(); !It.atEnd(); ++It)
                C.insertText(It.fragment().text(), It.fragment().charFormat());
            C.insertBlock();
        }
    }
    // The viewport as Qt draws it with the end of the text in view.
    QImage atEnd()
    {
        Edit.verticalScrollBar()->setValue(Edit.verticalScrollBar()->maximum());
        return Edit.viewport()->grab().toImage();
    }
    // Where the last line with text is in the viewport.
    QRect lastLineRect()
    {
        const QTextBlock Last = Edit.document()->lastBlock().previous();
        return Edit.blockBoundingGeometry(Last).translated(Edit.contentOffset()).toAlignedRect();
    }
};

}  // namespace

class RichViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Run again by tests/screen-reader.sh: accessibility must then be active.
        if (qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"))
            QVERIFY2(
                QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000), "accessibility did not become active");
    }

    void appendLeavesSelectionAndRecordsNoUndo()
    {
        TRichView V;
        AppendLines(V, 0, 10);
        V.SetSelection(V.LineStart(2) + 3, 5);
        const QString Selected = V.SelText();
        QSignalSpy Changed(&V, &TRichView::Changed);
        AppendLines(V, 10, 50);
        QCOMPARE(Changed.count(), 50);  // one notification per appended line
        QCOMPARE(V.SelStart(), V.LineStart(2) + 3);
        QCOMPARE(V.SelLength(), 5);
        QCOMPARE(V.SelText(), Selected);
        QCOMPARE(V.CaretLine(), 2);
        QCOMPARE(V.CaretColumn(), 8);
        QVERIFY(!V.document()->isUndoAvailable());
        QCOMPARE(V.document()->availableUndoSteps(), 0);
        QCOMPARE(V.LineCount(), 61);  // 60 lines and the empty one after the last break
        QCOMPARE(V.LineText(59), QStringLiteral("[000059] ") + QString(20, QLatin1Char('A' + 59 % 26)));
        QCOMPARE(V.LineText(60), QString());
        QCOMPARE(V.LineText(1000), QString());
        QCOMPARE(V.LineAt(V.LineStart(7) + 3), 7);
        // Tag and data keep their colours and the insertion font.
        QTextCursor C(V.document());
        C.setPosition(V.LineStart(3) + 1);
        QCOMPARE(C.charFormat().foreground().color(), Grey);
        QCOMPARE(C.charFormat().fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
        C.setPosition(V.LineStart(3) + 10);
        QCOMPARE(C.charFormat().foreground().color(), Blue);

        // Where undo is on, the user's edits are undoable but appends are not.
        V.setUndoRedoEnabled(true);
        V.SetSelection(0, 0);
        V.ReplaceSelection(QStringLiteral("typed"));
        QVERIFY(V.document()->isUndoAvailable());
        AppendLines(V, 60, 1);
        QVERIFY(!V.document()->isUndoAvailable());
        QCOMPARE(V.LineText(60).left(8), QStringLiteral("[000060]"));
    }

    void everyByteValueSurvivesViewAndFile()
    {
        QTemporaryDir Dir;
        TRichView V;
        const QString Line = AllBytes();
        V.Append({{QStringLiteral("[R x] "), Grey}, {Line + QLatin1Char('\n'), Blue}});
        V.Append(QString(QChar(0)) + QStringLiteral("zero first\r\nnext\rlast"), Blue);
        QCOMPARE(V.LineText(0), QStringLiteral("[R x] ") + Line);  // code 0 does not cut the line
        QCOMPARE(V.LineText(1), QString(QChar(0)) + QStringLiteral("zero first"));
        QCOMPARE(V.LineText(2), QStringLiteral("next"));
        QCOMPARE(V.LineText(3), QStringLiteral("last"));
        V.SetSelection(0, V.TextLength());
        QCOMPARE(V.SelText(),
            QStringLiteral("[R x] ") + Line + QLatin1Char('\n') + QChar(0) + QStringLiteral("zero first\nnext\nlast"));

        const QString Path = Dir.filePath(QStringLiteral("all.rtf"));
        V.SaveRtf(Path);
        TRichView Back;
        Back.LoadFile(Path);
        QCOMPARE(Back.LineCount(), V.LineCount());
        for (int I = 0; I < V.LineCount(); ++I)
            QCOMPARE(Back.LineText(I), V.LineText(I));
        QTextCursor C(Back.document());
        C.setPosition(Back.LineStart(0) + 10);
        QCOMPARE(C.charFormat().foreground().color(), Blue);
    }

    void caretSelectionAndReplace()
    {
        TRichView V;
        V.Append(QStringLiteral("first\n  01 03 00 00 00 0A  \nlast"));
        V.SetSelection(V.LineStart(1) + 2, 17);
        QCOMPARE(V.SelText(), QStringLiteral("01 03 00 00 00 0A"));
        QCOMPARE(V.CaretLine(), 1);
        QCOMPARE(V.CaretColumn(), 19);
        QFile Fragment(QStringLiteral(RTF_TEST_DATA "/checksum-fragment.rtf"));
        QVERIFY(Fragment.open(QIODevice::ReadOnly));
        V.ReplaceSelectionRtf(Fragment.readAll());
        QCOMPARE(V.LineText(1), QStringLiteral("  01 03 00 00 00 0A C5 CD  "));
        QCOMPARE(V.LineCount(), 3);
        QCOMPARE(V.CaretColumn(), 25);  // behind the checksum
        QCOMPARE(V.SelLength(), 0);

        V.SetSelection(V.LineStart(2), 4);
        V.ReplaceSelection(QStringLiteral("one\ntwo"));
        QCOMPARE(V.LineText(2), QStringLiteral("one"));
        QCOMPARE(V.LineText(3), QStringLiteral("two"));
        QCOMPARE(V.CaretLine(), 3);

        V.SetSelection(0, 5);
        V.SetSelectionColour(QColor(255, 0, 0));
        QTextCursor C(V.document());
        C.setPosition(3);
        QCOMPARE(C.charFormat().foreground().color(), QColor(255, 0, 0));
        V.SetSelection(-5, 1000000);  // clamped to the text
        QCOMPARE(V.SelStart(), 0);
        QCOMPARE(V.SelLength(), V.TextLength());
    }

    void find()
    {
        TRichView V;
        V.Append(QStringLiteral("[10:00:01 ---] 01 02 03\n[10:00:02  15] 02 03 04 ab\nAB 02 03\n"));
        const int Second = V.LineStart(1);
        QCOMPARE(V.Find(QStringLiteral("02 03"), 0, true), 18);
        QCOMPARE(V.Find(QStringLiteral("02 03"), 19, true), Second + 15);
        QCOMPARE(V.Find(QStringLiteral("02 03"), Second + 16, true), V.LineStart(2) + 3);
        QCOMPARE(V.Find(QStringLiteral("02 03"), V.LineStart(2) + 4, true), -1);
        QCOMPARE(V.Find(QStringLiteral("AB"), 0, true), V.LineStart(2));
        QCOMPARE(V.Find(QStringLiteral("AB"), 0, false), Second + 24);
        QCOMPARE(V.Find(QStringLiteral("aB"), Second + 25, false), V.LineStart(2));
        QCOMPARE(V.Find(QString(), 0, false), -1);
        QCOMPARE(V.Find(QStringLiteral("x"), 100000, false), -1);
    }

    // The copy that Find searches follows every kind of change: appends (a
    // long line in slices too), cuts at the front by count and by the
    // character bound, the user's edits, clearing and loading. After each,
    // it equals the text and finds what walking the lines finds: the last
    // line's text, never text that was cut.
    void findCopyFollowsEveryChange()
    {
        TRichView V;
        V.KeepFindCopy();
        TTextMirror Check(V.document());
        const auto Walk = [&](const QString &What, int From, bool MatchCase) {
            const auto Up = [&](QString S) { return MatchCase ? S : S.toUpper(); };
            for (int L = V.LineAt(From); L < V.LineCount(); ++L) {
                const qsizetype Hit = Up(V.LineText(L)).indexOf(Up(What), std::max(0, From - V.LineStart(L)));
                if (Hit >= 0)
                    return V.LineStart(L) + int(Hit);
            }
            return -1;
        };
        // ASCII only folds in either case, so the needles avoid other letters
        // whose case differs.
        const QStringList Needles = {QStringLiteral("DDDD"), QStringLiteral("dddd"), QStringLiteral("needle"),
            QStringLiteral("\u20ACuro"), QStringLiteral("\u20AC"), QString(QChar(0x1A)), QStringLiteral("caf\u00E9"),
            QStringLiteral("LAST"), QStringLiteral("[000003]"), QStringLiteral("in\nserted")};
        const auto Same = [&](const char *Step) {
            QVERIFY2(Check.Matches(), Step);
            for (const QString &What : Needles)
                for (int From : {0, V.TextLength() / 2, V.TextLength()})
                    for (bool MatchCase : {false, true})
                        QVERIFY2(V.Find(What, From, MatchCase) == Walk(What, From, MatchCase),
                            qPrintable(QStringLiteral("%1: %2 from %3").arg(QLatin1String(Step), What).arg(From)));
        };
        AppendLines(V, 0, 40);
        Same("appended");
        const QByteArray BeforeCompact = V.ToRtf();
        const int LengthBefore = V.TextLength();
        QVERIFY(V.CompactText());
        QCOMPARE(V.TextLength(), LengthBefore);
        QCOMPARE(V.ToRtf(), BeforeCompact);
        Same("compacted");
        V.Append(QString(TRichView::SliceChars * 2 + 5, QLatin1Char('x')) + QStringLiteral("needle\n"), Blue);
        V.Append(QStringLiteral("\u20ACuro \x1A sub \u03A9 caf\u00E9 \u20ACURO\n"), Grey);
        V.FlushUpdates();
        Same("a long line in slices, characters beyond Latin-1");
        QVERIFY(V.Find(QStringLiteral("[000003]"), 0, true) >= 0);
        V.DeleteFirstLines(10);
        Same("first lines deleted");
        QCOMPARE(V.Find(QStringLiteral("[000003]"), 0, true), -1);
        V.SetMaxLength(TRichView::SliceChars * 2 + 3000);
        AppendLines(V, 100, 30, 60);
        V.Append(QStringLiteral("the LAST line\n"));
        Same("cut by the character bound");
        QCOMPARE(V.Find(QStringLiteral("needle"), 0, true), -1);
        QCOMPARE(V.Find(QStringLiteral("last"), 0, false), V.LineStart(V.LineCount() - 2) + 4);
        V.SetSelection(5, 20);
        V.ReplaceSelection(QStringLiteral("in\nserted"));
        V.SetSelection(0, 40);
        V.SetSelectionColour(QColor(255, 0, 0));
        Same("edited");
        const QByteArray Rtf = V.ToRtf();
        V.ClearText();
        Same("cleared");
        QCOMPARE(V.Find(QStringLiteral("LAST"), 0, false), -1);
        V.LoadData(Rtf);
        Same("loaded");
        QVERIFY(V.Find(QStringLiteral("LAST"), 0, false) >= 0);
    }

    void followsTheEndOnlyWhileTheUserIsThere()
    {
        TRichView V;
        V.resize(400, 300);
        V.show();
        QVERIFY(QTest::qWaitForWindowExposed(&V));
        QScrollBar *Bar = V.verticalScrollBar();
        AppendLines(V, 0, 500);
        V.FlushUpdates();
        QVERIFY(Bar->maximum() > 400);
        QCOMPARE(Bar->value(), Bar->maximum());

        Bar->setValue(100);  // the user scrolls up
        QVERIFY(!V.FollowsEnd());
        const QString Top = V.LineText(V.FirstVisibleLine());
        AppendLines(V, 500, 300);
        V.FlushUpdates();
        QCOMPARE(Bar->value(), 100);
        QCOMPARE(V.LineText(V.FirstVisibleLine()), Top);

        V.DeleteFirstLines(40);  // what the user looks at stays in view
        V.FlushUpdates();
        QCOMPARE(V.LineText(V.FirstVisibleLine()), Top);
        QCOMPARE(V.LineText(0).left(8), QStringLiteral("[000040]"));

        Bar->setValue(Bar->maximum());  // back at the end: follow again
        AppendLines(V, 800, 10);
        V.FlushUpdates();
        QCOMPARE(Bar->value(), Bar->maximum());
        QVERIFY(V.FirstVisibleLine() > 700);
        V.DeleteFirstLines(100);
        QCOMPARE(Bar->value(), Bar->maximum());

        // The batch timer shows appended lines by itself.
        AppendLines(V, 810, 5);
        QVERIFY(!V.updatesEnabled());
        QTRY_VERIFY(V.updatesEnabled());
        QCOMPARE(Bar->value(), Bar->maximum());

        // With word wrap the end is followed too, long lines included.
        V.SetWordWrap(true);
        V.Append(QString(5000, QLatin1Char('x')) + QLatin1Char('\n'), Blue);
        V.Append(QStringLiteral("last line\n"), Blue);
        V.FlushUpdates();
        QCOMPARE(Bar->value(), Bar->maximum());
        QCOMPARE(V.document()->lastBlock().previous().text(), QStringLiteral("last line"));
        const QRectF LastRect = V.document()->documentLayout()->blockBoundingRect(V.document()->lastBlock().previous());
        QVERIFY(LastRect.isValid());
    }

    void showsALineAfterAQuietPeriodWithUpdatesOn()
    {
        TRichView V;
        V.resize(400, 300);
        V.show();
        QVERIFY(QTest::qWaitForWindowExposed(&V));
        QScrollBar *Bar = V.verticalScrollBar();
        AppendLines(V, 0, 100);
        V.FlushUpdates();

        // A line alone keeps updates on; the timer shows it, following the end.
        QTest::qWait(TRichView::RepaintMs + 20);
        AppendLines(V, 100, 1);
        QVERIFY(V.updatesEnabled());
        QTRY_COMPARE(Bar->value(), Bar->maximum());
        QVERIFY(V.FollowsEnd());
        // Lines that keep arriving are batched.
        QTest::qWait(TRichView::RepaintMs + 20);
        AppendLines(V, 101, 2);
        QVERIFY(!V.updatesEnabled());
        // Polled every few ms (QTRY polls every 50): "right after" below must be
        // well within RepaintMs of the batch's repaint.
        QVERIFY(QTest::qWaitFor([&V] { return V.updatesEnabled(); }));
        QCOMPARE(Bar->value(), Bar->maximum());
        V.FlushUpdates();
        AppendLines(V, 103, 1);  // right after a repaint
        QVERIFY(!V.updatesEnabled());
        V.FlushUpdates();
        QCOMPARE(Bar->value(), Bar->maximum());

        // Scrolled up by the user, a line alone leaves the view where it is.
        Bar->setValue(10);
        QTest::qWait(TRichView::RepaintMs + 20);
        const QString Top = V.LineText(V.FirstVisibleLine());
        AppendLines(V, 104, 1);
        QVERIFY(V.updatesEnabled());
        V.FlushUpdates();
        QCOMPARE(Bar->value(), 10);
        QCOMPARE(V.LineText(V.FirstVisibleLine()), Top);
        QVERIFY(!V.FollowsEnd());
    }

    // Both bars draw their handle where the style hit-tests it (the groove on
    // either side, the handle's own colour inside, a pressed colour while
    // dragged), and arrows, page clicks, the wheel and dragging scroll the view.
    void scrollBarsDrawWhereTheyAreHitAndScroll()
    {
        TRichView V;
        V.resize(400, 300);
        AppendLines(V, 0, 300, 150);
        V.FlushUpdates();
        V.show();
        QVERIFY(QTest::qWaitForWindowExposed(&V));
        for (QScrollBar *Bar : {V.verticalScrollBar(), V.horizontalScrollBar()}) {
            const bool vertical = Bar->orientation() == Qt::Vertical;
            QVERIFY(qobject_cast<TViewScrollBar *>(Bar));
            QVERIFY(Bar->isVisible());
            Bar->setValue(Bar->maximum() / 3);
            const QRect Handle = StyleRect(Bar, QStyle::SC_ScrollBarSlider);
            const QRect Groove = StyleRect(Bar, QStyle::SC_ScrollBarGroove);
            QVERIFY(Groove.contains(Handle));
            const QString Where = QStringLiteral("handle %1,%2 %3x%4 in groove %5,%6 %7x%8")
                                      .arg(Handle.x())
                                      .arg(Handle.y())
                                      .arg(Handle.width())
                                      .arg(Handle.height())
                                      .arg(Groove.x())
                                      .arg(Groove.y())
                                      .arg(Groove.width())
                                      .arg(Groove.height());
            if (vertical)
                QVERIFY2(Handle.top() - Groove.top() > 4 && Groove.bottom() - Handle.bottom() > 4, qPrintable(Where));
            else
                QVERIFY2(Handle.left() - Groove.left() > 4 && Groove.right() - Handle.right() > 4, qPrintable(Where));

            // Sampled across the middle of the bar, along its length.
            const auto Along = [&](int At) {
                return vertical ? QPoint(Handle.center().x(), At) : QPoint(At, Handle.center().y());
            };
            const int First = vertical ? Handle.top() : Handle.left();
            const int Last = vertical ? Handle.bottom() : Handle.right();
            const QImage Idle = Bar->grab().toImage();
            const QRgb HandleColour = Idle.pixel(Along((First + Last) / 2));
            const QRgb GrooveColour = Idle.pixel(Along(First - 3));
            QVERIFY(HandleColour != GrooveColour);
            QCOMPARE(Idle.pixel(Along(Last + 3)), GrooveColour);
            QCOMPARE(Idle.pixel(Along(First + 2)), HandleColour);
            QCOMPARE(Idle.pixel(Along(Last - 2)), HandleColour);

            // Dragging the handle by a quarter of the free groove.
            const int Value = Bar->value();
            const QPoint Start = Handle.center();
            const int Shift = ((vertical ? Groove.height() - Handle.height() : Groove.width() - Handle.width())) / 4;
            const QPoint End = Start + (vertical ? QPoint(0, Shift) : QPoint(Shift, 0));
            SendMouse(Bar, QEvent::MouseButtonPress, Start, Qt::LeftButton);
            QVERIFY(Bar->isSliderDown());
            SendMouse(Bar, QEvent::MouseMove, End, Qt::LeftButton);
            const QImage Pressed = Bar->grab().toImage();
            SendMouse(Bar, QEvent::MouseButtonRelease, End, Qt::NoButton);
            QVERIFY(!Bar->isSliderDown());
            const int Expected = Value + Bar->maximum() / 4;
            QVERIFY2(std::abs(Bar->value() - Expected) <= std::max(2, Bar->maximum() / 50),
                qPrintable(QStringLiteral("value %1, expected about %2").arg(Bar->value()).arg(Expected)));
            const QRect Moved = StyleRect(Bar, QStyle::SC_ScrollBarSlider);
            QVERIFY(Moved.contains(End));
            const QRgb PressedColour = Pressed.pixel(Moved.center());
            QVERIFY(PressedColour != HandleColour && PressedColour != GrooveColour);
            // Released, the pointer still over the handle: lit; gone: as before.
            const QRgb HoverColour = Bar->grab().toImage().pixel(Moved.center());
            QVERIFY(HoverColour != PressedColour && HoverColour != GrooveColour);
            QHoverEvent Leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), QPointF(End));
            QApplication::sendEvent(Bar, &Leave);
            QCOMPARE(Bar->grab().toImage().pixel(Moved.center()), HandleColour);
            if (vertical)
                QCOMPARE(V.FirstVisibleLine(), Bar->value());

            // An arrow, the groove past the handle, the wheel.
            const auto Click = [Bar](const QPoint &At) {
                SendMouse(Bar, QEvent::MouseButtonPress, At, Qt::LeftButton);
                SendMouse(Bar, QEvent::MouseButtonRelease, At, Qt::NoButton);
            };
            int Before = Bar->value();
            Click(StyleRect(Bar, QStyle::SC_ScrollBarAddLine).center());
            QCOMPARE(Bar->value(), Before + Bar->singleStep());
            Before = Bar->value();
            Click(StyleRect(Bar, QStyle::SC_ScrollBarSubLine).center());
            QCOMPARE(Bar->value(), Before - Bar->singleStep());
            Before = Bar->value();
            Click(StyleRect(Bar, QStyle::SC_ScrollBarAddPage).center());
            QCOMPARE(Bar->value(), std::min(Before + Bar->pageStep(), Bar->maximum()));
            Before = Bar->value();
            QWheelEvent Wheel(QPointF(Handle.center()), QPointF(Bar->mapToGlobal(Handle.center())), QPoint(),
                QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(Bar, &Wheel);
            QVERIFY(Bar->value() < Before);
        }
    }

    // A bar repaints when its handle moves or changes size, and not when a
    // change of range and value leaves it as it was (a long stream of lines at
    // the end); neither the other bar nor the view's frame is painted with it.
    void scrollBarRepaintsOnlyWhatChanged()
    {
        TRichView V;
        V.resize(400, 300);
        AppendLines(V, 0, 20, 150);
        V.FlushUpdates();
        V.show();
        QVERIFY(QTest::qWaitForWindowExposed(&V));
        QScrollBar *Bar = V.verticalScrollBar();
        QScrollBar *Other = V.horizontalScrollBar();
        QVERIFY(Other->isVisible());
        TPaintCounter Counter({Bar, Other, &V});
        const auto AppendAlone = [&V](int From) {
            QTest::qWait(TRichView::RepaintMs + 10);  // a line after a quiet period
            AppendLines(V, From, 1, 150);
            V.FlushUpdates();
            Settle();
        };

        // Few lines: each new line shortens the handle.
        Settle();
        Counter.Paints.clear();
        const QRect Handle = StyleRect(Bar, QStyle::SC_ScrollBarSlider);
        AppendAlone(20);
        QVERIFY(StyleRect(Bar, QStyle::SC_ScrollBarSlider) != Handle);
        QVERIFY(Counter.Paints.value(Bar) >= 1);
        QCOMPARE(Counter.Paints.value(Other), 0);
        QCOMPARE(Counter.Paints.value(&V), 0);

        // Thousands of lines: the smallest handle stays at the bottom.
        AppendLines(V, 21, 3000, 150);
        V.FlushUpdates();
        Settle();
        const int Maximum = Bar->maximum();
        Counter.Paints.clear();
        AppendAlone(3021);
        QCOMPARE(Bar->maximum(), Maximum + 1);
        QCOMPARE(Bar->value(), Bar->maximum());
        QCOMPARE(Counter.total(), 0);

        // The user moves it.
        Bar->setValue(Bar->maximum() / 2);
        Settle();
        QVERIFY(Counter.Paints.value(Bar) >= 1);
        QCOMPARE(Counter.Paints.value(Other), 0);
        QCOMPARE(Counter.Paints.value(&V), 0);

        // Where the policy lets the vertical bar come and go, it still does.
        TRichView W;
        W.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        W.resize(300, 200);
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        Settle();
        QVERIFY(!W.verticalScrollBar()->isVisible());
        AppendLines(W, 0, 100);
        W.FlushUpdates();
        QTRY_VERIFY(W.verticalScrollBar()->isVisible());
        W.ClearText();
        W.FlushUpdates();
        QTRY_VERIFY(!W.verticalScrollBar()->isVisible());
    }

    void boundedByCharacters()
    {
        TRichView V;
        V.SetMaxLength(6000);
        QCOMPARE(V.CharacterBound(), 6000);
        for (int I = 0; I < 200; ++I) {
            AppendLines(V, I, 1, 90);  // 100 characters with the tag and the line break
            QVERIFY(V.TextLength() <= 6000);
        }
        QCOMPARE(V.LineText(V.LineCount() - 2).left(8), QStringLiteral("[000199]"));
        QVERIFY(V.LineText(0).startsWith(QLatin1Char('[')));  // cut at a line start
        QVERIFY(V.TextLength() % 100 == 0);

        // One line longer than the bound keeps its newest characters.
        V.Append(QString(3000, QLatin1Char('a')) + QString(7000, QLatin1Char('b')), Blue);
        QVERIFY(V.TextLength() <= 6000);
        QVERIFY(V.LineText(V.LineCount() - 1).endsWith(QStringLiteral("bbbb")));

        TRichView Unbounded;
        Unbounded.SetMaxLength(2147482623);
        QCOMPARE(Unbounded.CharacterBound(), TRichView::MostCharacters);
    }

    void filesAndErrors()
    {
        QTemporaryDir Dir;
        TRichView V;
        V.SetTextColour(Qt::black);
        const QString Plain = Dir.filePath(QStringLiteral("plain.txt"));
        QFile F(Plain);
        QVERIFY(F.open(QIODevice::WriteOnly));
        F.write("one\r\ntwo \xff\n");
        F.close();
        V.LoadFile(Plain);
        QCOMPARE(V.LineText(0), QStringLiteral("one"));
        QCOMPARE(V.LineText(1), QStringLiteral("two \u00FF"));
        QTextCursor C(V.document());
        C.setPosition(1);
        QCOMPARE(C.charFormat().foreground().style(), Qt::NoBrush);  // the view's own colour
        QCOMPARE(V.CaretLine(), 0);

        QSignalSpy Changed(&V, &TRichView::Changed);
        QVERIFY_THROWS_EXCEPTION(ERichText, V.LoadFile(Dir.filePath(QStringLiteral("missing.rtf"))));
        QCOMPARE(V.LineText(0), QStringLiteral("one"));  // nothing changed
        QCOMPARE(Changed.count(), 0);
        QFile Huge(Dir.filePath(QStringLiteral("huge.rtf")));  // sparse: no disk space used
        QVERIFY(Huge.open(QIODevice::WriteOnly) && Huge.resize(TRichView::MaxFileBytes + 1));
        Huge.close();
        QVERIFY_THROWS_EXCEPTION(ERichText, V.LoadFile(Huge.fileName()));
        QCOMPARE(V.LineText(0), QStringLiteral("one"));
        QVERIFY_THROWS_EXCEPTION(ERichText, V.SaveRtf(Dir.filePath(QStringLiteral("no/such/dir/x.rtf"))));
        V.ClearText();
        QCOMPARE(V.TextLength(), 0);
        QCOMPARE(Changed.count(), 1);
    }

    // A disk that fills while the text is saved: the error is reported and
    // the file keeps its previous whole content instead of an empty one.
    void saveOntoAFullDiskKeepsTheOldFile()
    {
        QTemporaryDir Dir;
        const QString Path = Dir.filePath(QStringLiteral("send"));
        TRichView V;
        V.Append(QStringLiteral("old\n"));
        V.SaveRtf(Path);
        QFile Old(Path);
        QVERIFY(Old.open(QIODevice::ReadOnly));
        const QByteArray Before = Old.readAll();
        Old.close();
        for (int Line = 0; Line < 2000; ++Line)
            V.Append(QStringLiteral("line %1 of a text larger than the space left\n").arg(Line));
        // A file size limit stands in for the full disk: writes past it fail
        // with EFBIG, as they would with ENOSPC.
        rlimit Saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &Saved), 0);
        const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit Small = Saved;
        Small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &Small), 0);
        bool Threw = false;
        try {
            V.SaveRtf(Path);
        } catch (const ERichText &) {
            Threw = true;
        }
        setrlimit(RLIMIT_FSIZE, &Saved);
        std::signal(SIGXFSZ, OldHandler);
        QVERIFY(Threw);
        QVERIFY(Old.open(QIODevice::ReadOnly));
        QCOMPARE(Old.readAll(), Before);
    }

    void mouseSignalsComeAfterTheCaretMoved()
    {
        TRichView v;
        v.resize(400, 300);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        AppendLines(v, 0, 5);
        v.FlushUpdates();
        int LineAtPress = -1, LineAtRelease = -1, Moves = 0;
        connect(&v, &TRichView::MousePressed, this, [&] { LineAtPress = v.CaretLine(); });
        connect(&v, &TRichView::MouseReleased, this, [&] { LineAtRelease = v.CaretLine(); });
        connect(&v, &TRichView::MouseMoved, this, [&] { ++Moves; });
        QTextCursor C(v.document());
        C.setPosition(v.LineStart(3) + 4);
        const QPoint At = v.cursorRect(C).center();
        QTest::mouseMove(v.viewport(), At - QPoint(0, 20));  // no button pressed
        QTest::mousePress(v.viewport(), Qt::LeftButton, Qt::NoModifier, At);
        QTest::mouseRelease(v.viewport(), Qt::LeftButton, Qt::ControlModifier, At);
        QCOMPARE(LineAtPress, 3);
        QCOMPARE(LineAtRelease, 3);
        QVERIFY(Moves >= 1);
    }

    void looks()
    {
        TRichView V;
        V.SetBackgroundColour(QColor(0xE6, 0xE6, 0xE6));
        V.SetTextColour(QColor(1, 2, 3));
        QCOMPARE(V.BackgroundColour(), QColor(0xE6, 0xE6, 0xE6));
        QCOMPARE(V.TextColour(), QColor(1, 2, 3));
        QVERIFY(!V.WordWrap());
        V.SetWordWrap(true);
        QVERIFY(V.WordWrap());
        QCOMPARE(V.lineWrapMode(), QPlainTextEdit::WidgetWidth);
    }

    // A long line is painted from its visible slice; the picture must be the one
    // Qt paints from the whole line, at the start, in the middle (with a
    // selection) and at the end.
    void longLinesPaintAsQtWould()
    {
        QString Line;
        for (int I = 0; Line.size() < 30000; ++I)
            Line += QStringLiteral("%1 ").arg(I % 256, 2, 16, QLatin1Char('0')).toUpper();
        TRichView Mine;
        QPlainTextEdit Theirs;
        for (QPlainTextEdit *E : {static_cast<QPlainTextEdit *>(&Mine), &Theirs}) {
            E->setLineWrapMode(QPlainTextEdit::NoWrap);
            E->setFont(Mine.font());
            E->resize(500, 200);
            E->setCursorWidth(0);
            E->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            E->show();
            QTextCursor C(E->document());
            QTextCharFormat GreyFormat, BlueFormat;
            GreyFormat.setForeground(Grey);
            BlueFormat.setForeground(Blue);
            for (int L = 0; L < 3; ++L) {
                C.insertText(QStringLiteral("[12:00:0%1 ---] ").arg(L), GreyFormat);
                C.insertText(Line + QLatin1Char('\n'), BlueFormat);
            }
        }
        QVERIFY(QTest::qWaitForWindowExposed(&Mine));
        QVERIFY(QTest::qWaitForWindowExposed(&Theirs));
        Mine.FlushUpdates();
        for (int Step = 0; Step < 3; ++Step) {
            for (QPlainTextEdit *E : {static_cast<QPlainTextEdit *>(&Mine), &Theirs}) {
                QScrollBar *H = E->horizontalScrollBar();
                H->setValue(Step == 0 ? 0 : Step == 1 ? H->maximum() / 2 : H->maximum());
                if (Step == 1) {
                    QTextCursor Sel(E->document());
                    Sel.setPosition(15000);
                    Sel.setPosition(15200, QTextCursor::KeepAnchor);
                    E->setTextCursor(Sel);
                }
            }
            QCOMPARE(Mine.horizontalScrollBar()->value(), Theirs.horizontalScrollBar()->value());
            const QImage A = Mine.viewport()->grab().toImage();
            const QImage B = Theirs.viewport()->grab().toImage();
            QCOMPARE(A.size(), B.size());
            QVERIFY2(A == B, qPrintable(QStringLiteral("step %1 differs").arg(Step)));
        }
    }

    // A long hex line is not laid out for appending, painting or scrolling, yet
    // a click lands on the character under the mouse and the caret placed in it
    // is scrolled into view.
    void longLineAnswersClicksWithoutLayout()
    {
        QString Line;
        for (int I = 0; Line.size() < 60000; ++I)
            Line += QStringLiteral("%1 ").arg(I % 256, 2, 16, QLatin1Char('0')).toUpper();
        TRichView V;
        V.resize(500, 200);
        V.show();
        QVERIFY(QTest::qWaitForWindowExposed(&V));
        for (int L = 0; L < 3; ++L)
            V.Append({{QStringLiteral("[%1] ").arg(L), Grey}, {Line + QLatin1Char('\n'), Blue}});
        V.FlushUpdates();
        QScrollBar *H = V.horizontalScrollBar();
        const qreal Advance = QFontMetricsF(V.document()->defaultFont()).horizontalAdvance(QLatin1Char('0'));
        const qreal Margin = V.document()->documentMargin();
        // The range reaches the end of the line as if Qt had laid it out.
        const int Expected = qRound(2 * Margin + Advance * V.LineText(1).size()) - V.viewport()->width();
        QVERIFY2(qAbs(H->maximum() - Expected) <= 1,
            qPrintable(QStringLiteral("%1, not %2").arg(H->maximum()).arg(Expected)));
        H->setValue(H->maximum() / 3);
        V.viewport()->repaint();
        for (int L = 0; L < 3; ++L)
            QCOMPARE(V.document()->findBlockByNumber(L).layout()->lineCount(), 0);

        const int Column = 20011;
        const QTextBlock Block = V.document()->findBlockByNumber(1);
        const int Y = V.cursorRect(QTextCursor(Block)).top() + 4;
        const QPoint At(qRound(Margin - H->value() + (Column + 0.25) * Advance), Y);
        QTest::mouseClick(V.viewport(), Qt::LeftButton, Qt::NoModifier, At);
        QCOMPARE(V.CaretLine(), 1);
        QCOMPARE(V.CaretColumn(), Column);

        // A selection far along the last line, set by the program, comes into view.
        const int Target = V.LineStart(2) + 55000;
        V.SetSelection(Target, 2);
        const QRect Caret = V.cursorRect();
        QVERIFY2(
            V.viewport()->rect().contains(Caret.center()), qPrintable(QStringLiteral("caret at %1").arg(Caret.x())));
    }

    // A stream of long lines is drawn while it arrives and after it, wrap off
    // and on: the viewport shows what Qt's own view of the same text shows, the
    // last line received included. Lines of 1,750 characters (115,200 baud in
    // hex), 100,000 (1 MB/s) and one of 300,000 that goes in slices.
    void longLineStreamIsDrawn()
    {
        for (const bool wrap : {false, true}) {
            TRichView v;
            v.SetWordWrap(wrap);
            v.resize(500, 300);
            v.show();
            QVERIFY(QTest::qWaitForWindowExposed(&v));
            QtView Theirs(v);
            QVERIFY(QTest::qWaitForWindowExposed(&Theirs.Edit));
            int copied = 0;
            const auto Check = [&](const QString &When) {
                Theirs.copyLines(v, copied);
                copied = v.LineCount() - 1;
                Settle();  // Qt's view shows its horizontal bar
                const QImage Want = Theirs.atEnd();
                const QImage Got = v.viewport()->grab().toImage();
                const QRect Last = Theirs.lastLineRect();
                const QRect Diff = DiffRect(Got, Want);
                const QString What = QStringLiteral("wrap %1, %2: %3 pixels of text where the last line is (Qt: %4), "
                                                    "pictures differ in %5,%6 %7x%8")
                                         .arg(wrap ? QStringLiteral("on") : QStringLiteral("off"), When)
                                         .arg(InkIn(Got, Last))
                                         .arg(InkIn(Want, Last))
                                         .arg(Diff.x())
                                         .arg(Diff.y())
                                         .arg(Diff.width())
                                         .arg(Diff.height());
                QVERIFY2(InkIn(Want, Last) > 100, qPrintable(What));
                QVERIFY2(Got == Want, qPrintable(What));
            };
            for (int I = 0; I < 45; ++I) {
                const int Width = I < 30 ? 1750 : I < 43 ? 100'000 : I == 43 ? 300'000 : 1750;
                v.Append({{QStringLiteral("[12:00:00 ---] "), Grey}, {HexLine(I, Width) + QLatin1Char('\n'), Blue}});
                QCoreApplication::processEvents();
                if (I % 15 == 14) {
                    // The view shows what arrived by itself, at its next batch tick.
                    QTest::qWait(3 * TRichView::RepaintMs);
                    Check(QStringLiteral("after line %1").arg(I));
                    if (QTest::currentTestFailed())
                        return;
                }
            }
            v.FlushUpdates();
            Check(QStringLiteral("at the end"));
            if (QTest::currentTestFailed())
                return;
        }
    }

    // With word wrap on there is nothing to scroll sideways: no horizontal
    // range and no offset, also when wrap is switched on while scrolled right
    // and for lines that came while it was off; the arrows move nothing and the
    // rows are drawn as Qt's own view draws them.
    void wrappedTextDoesNotScrollSideways()
    {
        TRichView V;
        V.resize(500, 300);
        V.show();
        QVERIFY(QTest::qWaitForWindowExposed(&V));
        // A 512-byte burst in hex, and short lines around it.
        AppendLines(V, 0, 3);
        V.Append({{QStringLiteral("[12:00:00 ---] "), Grey}, {HexLine(0, 3 * 512) + QLatin1Char('\n'), Blue}});
        AppendLines(V, 3, 3);
        V.FlushUpdates();
        QScrollBar *H = V.horizontalScrollBar();
        QVERIFY(H->maximum() > 1000);
        for (const int Scrolled : {0, 1}) {
            V.SetWordWrap(false);
            Settle();
            H->setValue(Scrolled ? H->maximum() / 2 : 0);
            V.SetWordWrap(true);
            Settle();
            const QString When =
                Scrolled ? QStringLiteral("switched on while scrolled right") : QStringLiteral("at the left");
            QVERIFY2(H->maximum() == 0 && H->value() == 0,
                qPrintable(QStringLiteral("%1: range %2, offset %3").arg(When).arg(H->maximum()).arg(H->value())));
            // The bar's right arrow, and a wheel turned sideways.
            H->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            QWheelEvent Wheel(QPointF(50, 50), QPointF(V.viewport()->mapToGlobal(QPoint(50, 50))), QPoint(),
                QPoint(-120, 0), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(V.viewport(), &Wheel);
            QCOMPARE(H->value(), 0);
            QtView Theirs(V);
            Theirs.copyLines(V, 0);
            QVERIFY(QTest::qWaitForWindowExposed(&Theirs.Edit));
            Theirs.Edit.verticalScrollBar()->setValue(V.verticalScrollBar()->value());
            Settle();
            const QImage Got = V.viewport()->grab().toImage();
            const QImage Want = Theirs.Edit.viewport()->grab().toImage();
            const QRect Diff = DiffRect(Got, Want);
            QVERIFY2(Got == Want,
                qPrintable(QStringLiteral("%1: pictures differ in %2,%3 %4x%5")
                               .arg(When)
                               .arg(Diff.x())
                               .arg(Diff.y())
                               .arg(Diff.width())
                               .arg(Diff.height())));
        }
        // Lines that arrive with wrap on add no range either, and a line a little
        // wider than the view takes two rows.
        V.Append({{HexLine(1, 5000) + QLatin1Char('\n'), Blue}});
        V.Append(
            {{QStringLiteral("[12:00:00 ---] "), Grey}, {QString(63, QLatin1Char('x')) + QLatin1Char('\n'), Blue}});
        V.FlushUpdates();
        Settle();
        QCOMPARE(H->maximum(), 0);
        QCOMPARE(V.document()->lastBlock().previous().layout()->lineCount(), 2);
    }

    // A very long append goes in slices at the next turns of the event loop,
    // before any later line, and a slice never splits a "\r\n".
    void longAppendGoesInSlicesInOrder()
    {
        TRichView V;
        const int N = TRichView::SliceChars;
        const QString Big =
            QString(N - 1, QLatin1Char('A')) + QStringLiteral("\r\n") + QString(2 * N, QLatin1Char('B'));
        V.Append({{Big + QStringLiteral("\r\n"), Blue}});
        V.Append(QStringLiteral("next\n"), Grey);
        QVERIFY(V.TextLength() < N + 1);  // the rest follows later
        QTRY_COMPARE(V.LineCount(), 4);
        QCOMPARE(V.LineText(0), QString(N - 1, QLatin1Char('A')));
        QCOMPARE(V.LineText(1), QString(2 * N, QLatin1Char('B')));
        QCOMPARE(V.LineText(2), QStringLiteral("next"));
        QCOMPARE(V.LineText(3), QString());

        // FlushUpdates() puts everything in at once.
        V.Append({{QString(3 * N, QLatin1Char('C')) + QLatin1Char('\n'), Blue}});
        V.FlushUpdates();
        QCOMPARE(V.LineText(3), QString(3 * N, QLatin1Char('C')));
        QCOMPARE(V.LineCount(), 5);
    }
};

QTEST_MAIN(RichViewTest)
#include "RichViewTest.moc"
