// The rich-text view's editing side: selections at the limits of int, the
// selection handed over piece by piece, control characters shown as marks
// while the text keeps them, and large files read only as far as the view
// keeps them.
#include "RichView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <climits>
#include <cstdlib>

namespace {

// Pixels of the view's viewport inside a character's cell (its first and last
// columns left out) that are not the background.
int InkInCell(TRichView &V, const QImage &Image, int Position)
{
    QTextCursor C(V.document());
    C.setPosition(Position);
    const QRect A = V.cursorRect(C);
    C.setPosition(Position + 1);
    const QRect B = V.cursorRect(C);
    const QColor Background = V.BackgroundColour();
    int Ink = 0;
    for (int Y = A.top(); Y <= A.bottom(); ++Y)
        for (int X = A.left() + 1; X < B.left() - 1; ++X) {
            const QColor P = Image.pixelColor(X, Y);
            if (std::abs(P.red() - Background.red()) + std::abs(P.green() - Background.green()) +
                    std::abs(P.blue() - Background.blue()) >
                120)
                ++Ink;
        }
    return Ink;
}

}  // namespace

class RichViewEditTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void setSelectionSaturates_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        // The text is "0123456789" (10 characters).
        QTest::newRow("inside") << 2 << 3 << 2 << 3;
        QTest::newRow("length INT_MAX") << 2 << INT_MAX << 2 << 8;
        QTest::newRow("length INT_MAX - 1") << 9 << INT_MAX - 1 << 9 << 1;
        QTest::newRow("start INT_MAX") << INT_MAX << INT_MAX << 10 << 0;
        QTest::newRow("start INT_MIN") << INT_MIN << INT_MAX << 0 << 10;
        QTest::newRow("length INT_MIN") << 4 << INT_MIN << 4 << 0;
    }

    void setSelectionSaturates()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        TRichView V;
        V.Append(QStringLiteral("0123456789"));
        V.SetSelection(start, length);
        QTEST(V.SelStart(), "selStart");
        QTEST(V.SelLength(), "selLength");
    }

    // Pieces joined give the selected text, whatever the selection's ends and
    // the runs and lines in between, short lines and a long one.
    void visitSelectionGivesTheSelectedText()
    {
        TRichView V;
        V.Append({{QStringLiteral("[R x] "), QColor(128, 128, 128)}, {QStringLiteral("AA BB\n"), QColor(0, 0, 200)},
            {QStringLiteral("\n[T x] "), QColor(128, 128, 128)}, {QStringLiteral("CC DD\n"), QColor(200, 0, 0)},
            {QString(TRichView::LongLine, QLatin1Char('E')), QColor(0, 0, 200)},
            {QString(20, QLatin1Char('F')) + QStringLiteral("\nGG"), QColor(200, 0, 0)}});
        const int Length = V.TextLength();
        const auto Check = [&V](int Start, int End) {
            V.SetSelection(Start, End - Start);
            QString Joined;
            V.VisitSelection([&](QStringView Piece) { Joined += Piece; });
            QVERIFY2(Joined == V.SelText(), qPrintable(QStringLiteral("%1 to %2").arg(Start).arg(End)));
        };
        for (int Start = 0; Start <= Length; Start += Start < 40 || Start > Length - 40 ? 1 : 97)
            for (int End = Start; End <= Length; End += End < 40 || End > Length - 40 ? 1 : 89)
                Check(Start, End);
    }

    // A received line with control bytes shows a mark for each of them, on a
    // short line and on a long one (drawn in slices), wrapped or not; what is
    // copied, found and saved keeps the bytes.
    void controlCharactersShowAsMarks_data()
    {
        QTest::addColumn<int>("padding");
        QTest::addColumn<bool>("wrap");
        QTest::newRow("short") << 0 << false;
        QTest::newRow("short wrapped") << 0 << true;
        QTest::newRow("long") << TRichView::LongLine + 10 << false;
    }

    void controlCharactersShowAsMarks()
    {
        QFETCH(int, padding);
        QFETCH(bool, wrap);
        TRichView V;
        V.resize(500, 200);
        V.SetWordWrap(wrap);
        V.SetBackgroundColour(Qt::white);
        V.SetTextColour(Qt::black);
        V.show();
        QVERIFY(QTest::qWaitForWindowExposed(&V));
        const QString Controls = QString(QChar(0)) + QChar(1) + QChar(0x1B) + QChar(0x7F);
        const QString Line =
            QStringLiteral("x ") + Controls + QStringLiteral(" y") + QString(padding, QLatin1Char('.'));
        V.Append(Line + QStringLiteral("\r\n"), QColor(0, 0, 200));
        V.FlushUpdates();
        QApplication::processEvents();
        const QImage Image = V.viewport()->grab().toImage();
        QVERIFY(InkInCell(V, Image, 0) > 0);  // 'x' as a yardstick
        QCOMPARE(InkInCell(V, Image, 1), 0);  // a space shows nothing
        for (int I = 2; I < 6; ++I)
            QVERIFY2(InkInCell(V, Image, I) > 0, qPrintable(QStringLiteral("character %1").arg(I)));

        QCOMPARE(V.LineText(0), Line);
        QCOMPARE(V.Find(QString(QChar(0x1B)), 0, true), 4);
        QCOMPARE(V.Find(QString(QChar(0x241B)), 0, true), -1);
        V.SetSelection(2, 4);
        QCOMPARE(V.SelText(), Controls);
        V.copy();
        QCOMPARE(QApplication::clipboard()->text(), Controls);
        // A screen reader gets all of the line, the control characters as their
        // pictures (a code 0 would end the text on its way to the reader).
        QAccessibleInterface *A = QAccessible::queryAccessibleInterface(&V);
        QVERIFY(A && A->textInterface());
        QAccessibleTextInterface *T = A->textInterface();
        QCOMPARE(T->characterCount(), V.TextLength());
        const QString Read = T->text(0, T->characterCount());
        const QString Pictures = QStringLiteral("\u2400\u2401\u241B\u2421");
        QCOMPARE(Read,
            QStringLiteral("x ") + Pictures + QStringLiteral(" y") + QString(padding, QLatin1Char('.')) +
                QLatin1Char('\n'));
        QCOMPARE(A->text(QAccessible::Value), Read);
        int Start = -1, End = -1;
        QCOMPARE(T->textAtOffset(3, QAccessible::LineBoundary, &Start, &End), Read);
        QCOMPARE(Start, 0);
        QCOMPARE(T->textAtOffset(3, QAccessible::CharBoundary, &Start, &End), QStringLiteral("\u2401"));
        QCOMPARE(T->textAtOffset(7, QAccessible::WordBoundary, &Start, &End), QStringLiteral("y"));
        QCOMPARE(T->textAfterOffset(1, QAccessible::CharBoundary, &Start, &End), QStringLiteral("\u2400"));
        QCOMPARE(T->textBeforeOffset(1, QAccessible::CharBoundary, &Start, &End), QStringLiteral("x"));
        T->setSelection(0, 2, 6);
        QCOMPARE(V.SelText(), Controls);
        A->editableTextInterface()->insertText(0, QStringLiteral("z"));
        QCOMPARE(V.LineText(0), QStringLiteral("z") + Line);
        A->editableTextInterface()->deleteText(0, 1);

        QTemporaryDir Dir;
        V.SaveRtf(Dir.filePath(QStringLiteral("c.rtf")));
        // A log saved and opened again shows the marks too.
        TRichView Back;
        Back.resize(500, 200);
        Back.SetWordWrap(wrap);
        Back.SetBackgroundColour(Qt::white);
        Back.SetTextColour(Qt::black);
        Back.LoadFile(Dir.filePath(QStringLiteral("c.rtf")));
        QCOMPARE(Back.LineText(0), Line);
        Back.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Back));
        const QImage Reopened = Back.viewport()->grab().toImage();
        for (int I = 2; I < 6; ++I)
            QVERIFY2(InkInCell(Back, Reopened, I) > 0, qPrintable(QStringLiteral("character %1").arg(I)));
    }

    // A file far beyond the bound ends in the view as it did when all of it was
    // inserted and the front trimmed, but the view never holds more than a
    // little over the bound while loading: plain text (one byte or several a
    // character, "\n" or "\r\n", not UTF-8) and RTF.
    void largeFileKeepsOnlyWhatTheViewKeeps_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray Ascii, Crlf, Utf8, Latin1,
            Rtf("{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue200;\\red128\\green128\\blue128;}");
        QByteArray OneRun("{\\rtf1\\ansi ");
        for (int I = 0; I < 3000; ++I) {
            const QByteArray N = QByteArray::number(I);
            Ascii += "[R x] " + N + " 01 02 03 04 05 06\n";
            Crlf += N + "\r\n\r\n";
            Utf8 += "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC " + N + " \xF0\x9F\x98\x80\n";
            Latin1 += "caf\xE9 " + N + "\n";
            Rtf += "\\cf2 [R x] \\cf1 " + N + " AA BB \\'e9\\par\n";
            OneRun += N + " AA BB\\line ";
        }
        Latin1[0] = '\xFF';  // not UTF-8, though the end alone would be
        Rtf += "}";
        QTest::newRow("ascii") << Ascii;
        QTest::newRow("crlf") << Crlf;
        QTest::newRow("utf-8") << Utf8;
        QTest::newRow("latin-1") << Latin1;
        QTest::newRow("rtf") << Rtf;
        QTest::newRow("rtf, one run") << OneRun + "}";
    }

    void largeFileKeepsOnlyWhatTheViewKeeps()
    {
        QFETCH(QByteArray, content);
        const int Bound = 3000;
        QTemporaryDir Dir;
        const QString Path = Dir.filePath(QStringLiteral("big"));
        QFile F(Path);
        QVERIFY(F.open(QIODevice::WriteOnly) && F.write(content) == content.size());
        F.close();

        // All of it in, then the front trimmed to the bound.
        TRichView Whole;
        Whole.LoadFile(Path);
        QVERIFY(Whole.TextLength() > 4 * Bound);
        Whole.SetMaxLength(Bound);

        TRichView v;
        v.SetMaxLength(Bound);
        int Most = 0;
        connect(v.document(), &QTextDocument::contentsChange, &v,
            [&] { Most = std::max(Most, v.document()->characterCount()); });
        v.LoadFile(Path);
        QVERIFY2(Most <= (Bound + 2) * 5 / 4 + 2, qPrintable(QString::number(Most)));
        QCOMPARE(v.LineCount(), Whole.LineCount());
        for (int I = 0; I < v.LineCount(); ++I)
            QCOMPARE(v.LineText(I), Whole.LineText(I));
        for (int At = 0; At < v.TextLength(); At += 7) {
            QTextCursor A(v.document()), B(Whole.document());
            A.setPosition(At + 1);
            B.setPosition(At + 1);
            QCOMPARE(A.charFormat().foreground(), B.charFormat().foreground());
        }
        QCOMPARE(v.CaretLine(), 0);

        // From memory, the same.
        TRichView Data;
        Data.SetMaxLength(Bound);
        Data.LoadData(content);
        QCOMPARE(Data.document()->toPlainText(), Whole.document()->toPlainText());
    }
};

QTEST_MAIN(RichViewEditTest)
#include "RichViewEditTest.moc"
