// RTF reader and writer: round trips of every character and format, files as
// other editors write them, the send window's checksum fragment, malformed
// input, and a second program (unrtf) reading our output.
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QFile>
#include <QFont>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

QStringList Lines(const QTextDocument &Doc)
{
    QStringList Out;
    for (QTextBlock B = Doc.begin(); B.isValid(); B = B.next())
        Out << B.text();
    return Out;
}

QTextCharFormat FormatAt(const QTextDocument &Doc, int Position)
{
    QTextCursor C(const_cast<QTextDocument *>(&Doc));
    C.setPosition(Position + 1);  // the format of the character before the cursor
    return C.charFormat();
}

// Position of the first occurrence of text in the document's raw text.
int Find(const QTextDocument &Doc, const QString &Text)
{
    return static_cast<int>(Doc.toRawText().indexOf(Text));
}

void Read(QTextDocument &Doc, const QByteArray &Data)
{
    QTextCursor C(&Doc);
    InsertFileContent(C, Data);
}

QByteArray ReadFile(const QString &Name)
{
    QFile F(QStringLiteral(RTF_TEST_DATA "/") + Name);
    if (!F.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(Name));
    return F.readAll();
}

// A document with every Latin-1 code but the two line breaks, and some wider
// characters, in runs of different formats.
void FillRich(QTextDocument &Doc)
{
    QString All;
    for (int C = 0; C < 256; ++C)
        if (C != '\n' && C != '\r')
            All += QChar(C);
    QTextCursor C(&Doc);
    QTextCharFormat Grey;
    Grey.setForeground(QColor(128, 128, 128));
    Grey.setFontFamilies({QStringLiteral("Courier New")});
    QTextCharFormat Data;
    Data.setForeground(QColor(0, 0, 200));
    Data.setFontFamilies({QStringLiteral("Courier New")});
    Data.setFontPointSize(9);
    C.insertText(QStringLiteral("[14:03:07  15 Rx] "), Grey);
    C.insertText(All, Data);
    C.insertBlock();
    C.insertBlock();  // an empty line
    QTextCharFormat Styled;
    Styled.setFontFamilies({QStringLiteral("Liberation Serif")});
    Styled.setFontPointSize(14.5);
    Styled.setFontWeight(QFont::Bold);
    Styled.setFontItalic(true);
    Styled.setFontUnderline(true);
    Styled.setBackground(QColor(255, 255, 0));
    C.insertText(QStringLiteral("{bold} \\ \u20AC \u4F60\u597D \U0001F600 \u2028 end"), Styled);
    C.insertText(QStringLiteral(" plain"), QTextCharFormat());
    C.insertBlock();
    C.insertText(QString(QChar(0)) + QStringLiteral("after zero"), Data);
}

}  // namespace

class RtfTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTripKeepsEveryCharacterAndFormat()
    {
        QTextDocument Doc;
        Doc.setDefaultFont(QFont(QStringLiteral("Courier New"), 9));
        FillRich(Doc);
        const QByteArray Rtf = WriteRtf(Doc);
        QVERIFY(IsRtf(Rtf));
        for (char Ch : Rtf)
            QVERIFY2(static_cast<unsigned char>(Ch) < 0x80, "RTF must be 7-bit");

        QTextDocument Back;
        Back.setDefaultFont(Doc.defaultFont());
        Read(Back, Rtf);
        QCOMPARE(Lines(Back), Lines(Doc));
        QCOMPARE(Back.toRawText(), Doc.toRawText());
        // Formats of every character: colours, family, size, style.
        const int N = Doc.characterCount() - 1;
        for (int I = 0; I < N; ++I) {
            const QTextCharFormat A = FormatAt(Doc, I), B = FormatAt(Back, I);
            if (Doc.characterAt(I) == QChar::ParagraphSeparator)
                continue;
            QCOMPARE(B.foreground().style() != Qt::NoBrush, A.foreground().style() != Qt::NoBrush);
            if (A.foreground().style() != Qt::NoBrush)
                QCOMPARE(B.foreground().color(), A.foreground().color());
            QCOMPARE(B.background().style() != Qt::NoBrush, A.background().style() != Qt::NoBrush);
            if (A.background().style() != Qt::NoBrush)
                QCOMPARE(B.background().color(), A.background().color());
            const QString Family = A.fontFamilies().toStringList().value(0, QStringLiteral("Courier New"));
            QCOMPARE(B.fontFamilies().toStringList().value(0), Family);
            QCOMPARE(B.fontPointSize(), A.hasProperty(QTextFormat::FontPointSize) ? A.fontPointSize() : 9.0);
            QCOMPARE(B.fontWeight() >= QFont::DemiBold, A.fontWeight() >= QFont::DemiBold);
            QCOMPARE(B.fontItalic(), A.fontItalic());
            QCOMPARE(B.fontUnderline(), A.fontUnderline());
        }
        // Written again, the file is the same: nothing drifts over repeated saves.
        QCOMPARE(WriteRtf(Back), Rtf);
    }

    // A copy taken a few characters at a time, while lines in new colours
    // are added after it, writes the document as it was when the copy
    // began, whether written whole or a piece at a time as it is taken; a
    // whole copy writes what the document does.
    void copyInSlicesWritesTheDocumentAsItWas()
    {
        QTextDocument Doc;
        Doc.setDefaultFont(QFont(QStringLiteral("Courier New"), 9));
        FillRich(Doc);
        QCOMPARE(WriteRtf(TRtfSnapshot(Doc)), WriteRtf(Doc));
        QTextCursor End(&Doc);
        End.movePosition(QTextCursor::End);
        End.insertBlock();
        const QByteArray Before = WriteRtf(Doc);
        TRtfSnapshot Copy(Doc, Doc.characterCount() - 1);
        TRtfSnapshot Streamed(Doc, Doc.characterCount() - 1);
        TRtfPieceWriter Pieces(Streamed);
        QByteArray Written = Pieces.Begin();
        int Slices = 0;
        for (bool Whole = false; !Whole;) {
            Whole = Streamed.CopyMore(Doc, 7);
            Written += Pieces.Piece(Streamed.TakePiece());
        }
        Written += TRtfPieceWriter::End();
        QCOMPARE(Written, Before);
        while (!Copy.CopyMore(Doc, 7)) {
            ++Slices;
            QTextCharFormat Later;
            Later.setForeground(QColor(Slices, 100, 0));
            End.movePosition(QTextCursor::End);
            End.insertText(QStringLiteral("later %1").arg(Slices), Later);
            End.insertBlock();
        }
        QVERIFY(Slices >= 3);
        QCOMPARE(WriteRtf(Copy), Before);
        QVERIFY(WriteRtf(Doc) != Before);
    }

    void unrtfReadsWhatWeWrite()
    {
        const QString Unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
        QVERIFY2(!Unrtf.isEmpty(), "unrtf is installed by scripts/setup.sh");
        QTemporaryDir Dir;
        QVERIFY(Dir.isValid());
        QTextDocument Doc;
        Doc.setDefaultFont(QFont(QStringLiteral("Courier New"), 9));
        FillRich(Doc);
        QTextCursor C(&Doc);
        C.movePosition(QTextCursor::End);
        C.insertBlock();
        C.insertText(QStringLiteral("caf\u00E9 {braces} back\\slash"));
        const QString Path = Dir.filePath(QStringLiteral("out.rtf"));
        QFile F(Path);
        QVERIFY(F.open(QIODevice::WriteOnly));
        F.write(WriteRtf(Doc));
        F.close();

        for (const char *Mode : {"--text", "--html"}) {
            QProcess P;
            P.start(Unrtf, {QString::fromLatin1(Mode), Path});
            QVERIFY(P.waitForFinished(30000));
            QCOMPARE(P.exitStatus(), QProcess::NormalExit);
            QCOMPARE(P.exitCode(), 0);
            const QString Out = QString::fromUtf8(P.readAllStandardOutput());
            QVERIFY2(Out.contains(QStringLiteral("[14:03:07")) && Out.contains(QStringLiteral("15 Rx]")),
                qPrintable(Out.left(2000)));
            QVERIFY2(Out.contains(QStringLiteral("after zero")), qPrintable(Out.right(2000)));
            QVERIFY2(Out.contains(QStringLiteral("{braces}")), qPrintable(Out.right(2000)));
            if (QByteArray(Mode) == "--html") {
                QVERIFY2(Out.contains(QStringLiteral("#0000c8")), "unrtf sees the data colour");
                QVERIFY2(Out.contains(QStringLiteral("#808080")), "unrtf sees the tag colour");
            }
        }
    }

    void otherEditorsFiles()
    {
        {
            QTextDocument Doc;
            Read(Doc, ReadFile(QStringLiteral("wordpad.rtf")));
            QCOMPARE(Lines(Doc),
                (QStringList {QStringLiteral("Plain red bold italic under"),
                    QStringLiteral("caf\u00E9 \u20AC marked\tx"), QStringLiteral("y"),
                    QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442 \u20AC\u20AC end"), QString()}));
            const QTextCharFormat Plain = FormatAt(Doc, Find(Doc, QStringLiteral("Plain")));
            QCOMPARE(Plain.fontFamilies().toStringList().value(0), QStringLiteral("Arial"));
            QCOMPARE(Plain.fontPointSize(), 10.0);
            QCOMPARE(Plain.foreground().style(), Qt::NoBrush);
            QCOMPARE(FormatAt(Doc, Find(Doc, QStringLiteral("red"))).foreground().color(), QColor(255, 0, 0));
            QVERIFY(FormatAt(Doc, Find(Doc, QStringLiteral("bold"))).fontWeight() >= QFont::Bold);
            QVERIFY(FormatAt(Doc, Find(Doc, QStringLiteral(" italic"))).fontWeight() < QFont::Bold);
            QVERIFY(FormatAt(Doc, Find(Doc, QStringLiteral("italic"))).fontItalic());
            QVERIFY(FormatAt(Doc, Find(Doc, QStringLiteral("under"))).fontUnderline());
            const QTextCharFormat Marked = FormatAt(Doc, Find(Doc, QStringLiteral("marked")));
            QCOMPARE(Marked.background().color(), QColor(255, 255, 0));
            QCOMPARE(Marked.fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
            QCOMPARE(Marked.fontPointSize(), 9.0);
            QCOMPARE(FormatAt(Doc, Find(Doc, QStringLiteral("\tx"))).background().style(), Qt::NoBrush);
            QCOMPARE(FormatAt(Doc, Find(Doc, QStringLiteral("\u041F"))).fontFamilies().toStringList().value(0),
                QStringLiteral("Times New Roman Cyr"));
        }
        {
            QTextDocument Doc;
            Read(Doc, ReadFile(QStringLiteral("libreoffice.rtf")));
            QCOMPARE(Lines(Doc),
                (QStringList {
                    QStringLiteral("Hello blue bold \u20AC and \uF0B7"), QStringLiteral("link mono"), QString()}));
            QCOMPARE(FormatAt(Doc, Find(Doc, QStringLiteral("blue"))).foreground().color(), QColor(0, 0, 255));
            QCOMPARE(FormatAt(Doc, 0).fontFamilies().toStringList().value(0), QStringLiteral("Liberation Serif"));
            QCOMPARE(FormatAt(Doc, 0).fontPointSize(), 12.0);
            const QTextCharFormat Mono = FormatAt(Doc, Find(Doc, QStringLiteral("mono")));
            QCOMPARE(Mono.fontFamilies().toStringList().value(0), QStringLiteral("Liberation Mono"));
            QCOMPARE(Mono.fontPointSize(), 10.0);
        }
        {
            QTextDocument Doc;  // a double-byte code page, where \'hh pairs make one character
            Read(Doc, QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'c4\\'e3\\'ba\\'c3 ok}"));
            QCOMPARE(Doc.toRawText(), QStringLiteral("\u4F60\u597D ok"));
        }
        {
            QTextDocument Doc;  // UTF-8 as the code page, bytes escaped and raw
            Read(Doc, QByteArray("{\\rtf1\\ansi\\ansicpg65001 \\'e2\\'82\\'ac \xc3\xa9}"));
            QCOMPARE(Doc.toRawText(), QStringLiteral("\u20AC \u00E9"));
        }
    }

    // The send window writes a checksum as this fragment over the selected bytes;
    // its outermost group is never closed.
    void checksumFragmentReplacesSelection()
    {
        const QByteArray Fragment = ReadFile(QStringLiteral("checksum-fragment.rtf"));
        QTextDocument Doc;
        QTextCursor C(&Doc);
        C.insertText(QStringLiteral("first\n  01 03 00 00 00 0A  \nlast"));
        const int Start = Find(Doc, QStringLiteral("01"));
        C.setPosition(Start);
        C.setPosition(Start + 17, QTextCursor::KeepAnchor);
        InsertRtf(C, Fragment);
        QCOMPARE(Lines(Doc),
            (QStringList {
                QStringLiteral("first"), QStringLiteral("  01 03 00 00 00 0A C5 CD  "), QStringLiteral("last")}));
        QCOMPARE(C.position(), Start + 23);  // the caret ends behind the checksum
        const QTextCharFormat Bytes = FormatAt(Doc, Start);
        QCOMPARE(Bytes.foreground().color(), QColor(0, 0, 0));
        QCOMPARE(Bytes.fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
        QCOMPARE(Bytes.fontPointSize(), 9.0);
        for (int I = Start + 18; I < Start + 23; ++I)
            QCOMPARE(FormatAt(Doc, I).foreground().color(), QColor(0, 0, 255));
        QCOMPARE(FormatAt(Doc, Start + 23).foreground().style(), Qt::NoBrush);  // the blanks after keep theirs
    }

    void malformedInputIsData_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("text");
        QTest::newRow("unclosed groups") << QByteArray("{\\rtf1 abc{\\b def") << QStringLiteral("abcdef");
        QTest::newRow("extra closing braces end the document") << QByteArray("{\\rtf1 a}}}b") << QStringLiteral("a");
        QTest::newRow("truncated hex escape") << QByteArray("{\\rtf1 x\\'4") << QStringLiteral("x4");
        QTest::newRow("bad hex escape") << QByteArray("{\\rtf1 x\\'zz y}") << QStringLiteral("xzz y");
        QTest::newRow("truncated control word") << QByteArray("{\\rtf1 x\\") << QStringLiteral("x");
        QTest::newRow("huge numbers")
            << QByteArray("{\\rtf1\\fs99999999999999999999\\cf-99999999999999 a\\u99999999999?b\\f4294967296 c}")
            << (QStringLiteral("a") + QChar(0xFFFF) + QStringLiteral("bc"));
        QTest::newRow("negative unicode") << QByteArray("{\\rtf1 \\u-4064?}") << QString(QChar(0xF020));
        QTest::newRow("unknown control words") << QByteArray("{\\rtf1\\foo123\\bar x\\zz-5 y}") << QStringLiteral("xy");
        QTest::newRow("ignorable destination")
            << QByteArray("{\\rtf1 {\\*\\unknown hidden {nested}} shown}") << QStringLiteral(" shown");
        QTest::newRow("binary data skipped")
            << QByteArray("{\\rtf1 a{\\*\\blob\\bin5 }}{\\x}c}") << QStringLiteral("ac");
        QTest::newRow("binary length past the end") << QByteArray("{\\rtf1 a\\bin999999999 bcd") << QStringLiteral("a");
        QTest::newRow("fallback count") << QByteArray("{\\rtf1\\uc3\\u8364abcd\\uc999\\u65xyz}")
                                        << QStringLiteral("\u20ACdA");
        QTest::newRow("colour index past the table")
            << QByteArray("{\\rtf1{\\colortbl;}\\cf7 a\\highlight9 b}") << QStringLiteral("ab");
        QTest::newRow("no document group") << QByteArray("{\\rtf") << QString();
        QTest::newRow("raw 8-bit bytes") << QByteArray("{\\rtf1\\ansi caf\xe9}") << QStringLiteral("caf\u00E9");
        QTest::newRow("nul and controls in the file") << QByteArray("{\\rtf1 a\0b\x01"
                                                                    "c}",
                                                             13)
                                                      << QStringLiteral("abc");
        QByteArray Deep = "{\\rtf1 start";
        Deep += QByteArray(200000, '{') + "deep" + QByteArray(100000, '}') + " tail";
        QTest::newRow("deep nesting") << Deep << QStringLiteral("startdeep tail");
        QByteArray DeepClosed = "{\\rtf1 a" + QByteArray(5000, '{') + "\\b b" + QByteArray(5000, '}') + "c}";
        QTest::newRow("deep nesting closed") << DeepClosed << QStringLiteral("abc");
    }

    void malformedInputIsData()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, text);
        QTextDocument Doc;
        Read(Doc, input);
        QCOMPARE(Doc.toRawText(), text);
    }

    void formatsDoNotLeakOutOfGroups()
    {
        QTextDocument Doc;
        Read(Doc, "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}a{\\cf1\\b b{\\i c}d}e}");
        QCOMPARE(Doc.toRawText(), QStringLiteral("abcde"));
        QCOMPARE(FormatAt(Doc, 0).foreground().style(), Qt::NoBrush);
        QCOMPARE(FormatAt(Doc, 1).foreground().color(), QColor(255, 0, 0));
        QVERIFY(FormatAt(Doc, 2).fontItalic());
        QVERIFY(FormatAt(Doc, 3).fontWeight() >= QFont::Bold && !FormatAt(Doc, 3).fontItalic());
        QVERIFY(FormatAt(Doc, 4).fontWeight() < QFont::Bold);
        QCOMPARE(FormatAt(Doc, 4).foreground().style(), Qt::NoBrush);
    }

    void filesThatAreNotRtfLoadAsPlainText_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii lines") << QByteArray("one\r\ntwo\nthree") << QStringLiteral("one\u2029two\u2029three");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac") << QStringLiteral("caf\u00E9 \u20AC");
        QTest::newRow("utf-8 with bom") << QByteArray("\xef\xbb\xbfx") << QStringLiteral("x");
        QTest::newRow("latin-1 bytes") << QByteArray("\xff\x80\x00z", 4)
                                       << (QStringLiteral("\u00FF\u0080") + QChar(0) + u'z');
        QTest::newRow("looks almost like rtf") << QByteArray("{\\rt x}") << QStringLiteral("{\\rt x}");
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void filesThatAreNotRtfLoadAsPlainText()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, text);
        QTextDocument Doc;
        Read(Doc, input);
        QCOMPARE(Doc.toRawText(), text);
    }

    void isRtf()
    {
        QVERIFY(IsRtf("{\\rtf1}"));
        QVERIFY(IsRtf("\r\n  {\\rtf"));
        QVERIFY(IsRtf("\xef\xbb\xbf{\\rtf1"));
        QVERIFY(!IsRtf("{\\rt"));
        QVERIFY(!IsRtf("x{\\rtf1"));
        QVERIFY(!IsRtf(""));
    }
};

QTEST_MAIN(RtfTest)
#include "RtfTest.moc"
