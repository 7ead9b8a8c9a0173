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

QStringList Lines(const QTextDocument &doc) {
  QStringList out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) out << b.text();
  return out;
}

QTextCharFormat FormatAt(const QTextDocument &doc, int position) {
  QTextCursor c(const_cast<QTextDocument *>(&doc));
  c.setPosition(position + 1);  // the format of the character before the cursor
  return c.charFormat();
}

// Position of the first occurrence of text in the document's raw text.
int Find(const QTextDocument &doc, const QString &text) {
  return static_cast<int>(doc.toRawText().indexOf(text));
}

void Read(QTextDocument &doc, const QByteArray &data) {
  QTextCursor c(&doc);
  InsertFileContent(c, data);
}

QByteArray ReadFile(const QString &name) {
  QFile f(QStringLiteral(RTF_TEST_DATA "/") + name);
  if (!f.open(QIODevice::ReadOnly)) qFatal("missing test file %s", qPrintable(name));
  return f.readAll();
}

// A document with every Latin-1 code but the two line breaks, and some wider
// characters, in runs of different formats.
void FillRich(QTextDocument &doc) {
  QString all;
  for (int c = 0; c < 256; ++c)
    if (c != '\n' && c != '\r') all += QChar(c);
  QTextCursor c(&doc);
  QTextCharFormat grey;
  grey.setForeground(QColor(128, 128, 128));
  grey.setFontFamilies({QStringLiteral("Courier New")});
  QTextCharFormat data;
  data.setForeground(QColor(0, 0, 200));
  data.setFontFamilies({QStringLiteral("Courier New")});
  data.setFontPointSize(9);
  c.insertText(QStringLiteral("[14:03:07  15 Rx] "), grey);
  c.insertText(all, data);
  c.insertBlock();
  c.insertBlock();  // an empty line
  QTextCharFormat styled;
  styled.setFontFamilies({QStringLiteral("Liberation Serif")});
  styled.setFontPointSize(14.5);
  styled.setFontWeight(QFont::Bold);
  styled.setFontItalic(true);
  styled.setFontUnderline(true);
  styled.setBackground(QColor(255, 255, 0));
  c.insertText(QStringLiteral("{bold} \\ \u20AC \u4F60\u597D \U0001F600 \u2028 end"), styled);
  c.insertText(QStringLiteral(" plain"), QTextCharFormat());
  c.insertBlock();
  c.insertText(QString(QChar(0)) + QStringLiteral("after zero"), data);
}

}  // namespace

class RtfTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void roundTripKeepsEveryCharacterAndFormat() {
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Courier New"), 9));
    FillRich(doc);
    const QByteArray rtf = WriteRtf(doc);
    QVERIFY(IsRtf(rtf));
    for (char ch : rtf) QVERIFY2(static_cast<unsigned char>(ch) < 0x80, "RTF must be 7-bit");

    QTextDocument back;
    back.setDefaultFont(doc.defaultFont());
    Read(back, rtf);
    QCOMPARE(Lines(back), Lines(doc));
    QCOMPARE(back.toRawText(), doc.toRawText());
    // Formats of every character: colours, family, size, style.
    const int n = doc.characterCount() - 1;
    for (int i = 0; i < n; ++i) {
      const QTextCharFormat a = FormatAt(doc, i), b = FormatAt(back, i);
      if (doc.characterAt(i) == QChar::ParagraphSeparator) continue;
      QCOMPARE(b.foreground().style() != Qt::NoBrush, a.foreground().style() != Qt::NoBrush);
      if (a.foreground().style() != Qt::NoBrush) QCOMPARE(b.foreground().color(), a.foreground().color());
      QCOMPARE(b.background().style() != Qt::NoBrush, a.background().style() != Qt::NoBrush);
      if (a.background().style() != Qt::NoBrush) QCOMPARE(b.background().color(), a.background().color());
      const QString family = a.fontFamilies().toStringList().value(0, QStringLiteral("Courier New"));
      QCOMPARE(b.fontFamilies().toStringList().value(0), family);
      QCOMPARE(b.fontPointSize(), a.hasProperty(QTextFormat::FontPointSize) ? a.fontPointSize() : 9.0);
      QCOMPARE(b.fontWeight() >= QFont::DemiBold, a.fontWeight() >= QFont::DemiBold);
      QCOMPARE(b.fontItalic(), a.fontItalic());
      QCOMPARE(b.fontUnderline(), a.fontUnderline());
    }
    // Written again, the file is the same: nothing drifts over repeated saves.
    QCOMPARE(WriteRtf(back), rtf);
  }

  void unrtfReadsWhatWeWrite() {
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    QVERIFY2(!unrtf.isEmpty(), "unrtf is installed by scripts/setup.sh");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Courier New"), 9));
    FillRich(doc);
    QTextCursor c(&doc);
    c.movePosition(QTextCursor::End);
    c.insertBlock();
    c.insertText(QStringLiteral("caf\u00E9 {braces} back\\slash"));
    const QString path = dir.filePath(QStringLiteral("out.rtf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(WriteRtf(doc));
    f.close();

    for (const char *mode : {"--text", "--html"}) {
      QProcess p;
      p.start(unrtf, {QString::fromLatin1(mode), path});
      QVERIFY(p.waitForFinished(30000));
      QCOMPARE(p.exitStatus(), QProcess::NormalExit);
      QCOMPARE(p.exitCode(), 0);
      const QString out = QString::fromUtf8(p.readAllStandardOutput());
      QVERIFY2(out.contains(QStringLiteral("[14:03:07")) && out.contains(QStringLiteral("15 Rx]")),
               qPrintable(out.left(2000)));
      QVERIFY2(out.contains(QStringLiteral("after zero")), qPrintable(out.right(2000)));
      QVERIFY2(out.contains(QStringLiteral("{braces}")), qPrintable(out.right(2000)));
      if (QByteArray(mode) == "--html") {
        QVERIFY2(out.contains(QStringLiteral("#0000c8")), "unrtf sees the data colour");
        QVERIFY2(out.contains(QStringLiteral("#808080")), "unrtf sees the tag colour");
      }
    }
  }

  void otherEditorsFiles() {
    {
      QTextDocument doc;
      Read(doc, ReadFile(QStringLiteral("wordpad.rtf")));
      QCOMPARE(Lines(doc), (QStringList{QStringLiteral("Plain red bold italic under"),
                                        QStringLiteral("caf\u00E9 \u20AC marked\tx"), QStringLiteral("y"),
                                        QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442 \u20AC\u20AC end"),
                                        QString()}));
      const QTextCharFormat plain = FormatAt(doc, Find(doc, QStringLiteral("Plain")));
      QCOMPARE(plain.fontFamilies().toStringList().value(0), QStringLiteral("Arial"));
      QCOMPARE(plain.fontPointSize(), 10.0);
      QCOMPARE(plain.foreground().style(), Qt::NoBrush);
      QCOMPARE(FormatAt(doc, Find(doc, QStringLiteral("red"))).foreground().color(), QColor(255, 0, 0));
      QVERIFY(FormatAt(doc, Find(doc, QStringLiteral("bold"))).fontWeight() >= QFont::Bold);
      QVERIFY(FormatAt(doc, Find(doc, QStringLiteral(" italic"))).fontWeight() < QFont::Bold);
      QVERIFY(FormatAt(doc, Find(doc, QStringLiteral("italic"))).fontItalic());
      QVERIFY(FormatAt(doc, Find(doc, QStringLiteral("under"))).fontUnderline());
      const QTextCharFormat marked = FormatAt(doc, Find(doc, QStringLiteral("marked")));
      QCOMPARE(marked.background().color(), QColor(255, 255, 0));
      QCOMPARE(marked.fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
      QCOMPARE(marked.fontPointSize(), 9.0);
      QCOMPARE(FormatAt(doc, Find(doc, QStringLiteral("\tx"))).background().style(), Qt::NoBrush);
      QCOMPARE(FormatAt(doc, Find(doc, QStringLiteral("\u041F"))).fontFamilies().toStringList().value(0),
               QStringLiteral("Times New Roman Cyr"));
    }
    {
      QTextDocument doc;
      Read(doc, ReadFile(QStringLiteral("libreoffice.rtf")));
      QCOMPARE(Lines(doc), (QStringList{QStringLiteral("Hello blue bold \u20AC and \uF0B7"),
                                        QStringLiteral("link mono"), QString()}));
      QCOMPARE(FormatAt(doc, Find(doc, QStringLiteral("blue"))).foreground().color(), QColor(0, 0, 255));
      QCOMPARE(FormatAt(doc, 0).fontFamilies().toStringList().value(0), QStringLiteral("Liberation Serif"));
      QCOMPARE(FormatAt(doc, 0).fontPointSize(), 12.0);
      const QTextCharFormat mono = FormatAt(doc, Find(doc, QStringLiteral("mono")));
      QCOMPARE(mono.fontFamilies().toStringList().value(0), QStringLiteral("Liberation Mono"));
      QCOMPARE(mono.fontPointSize(), 10.0);
    }
    {
      QTextDocument doc;  // a double-byte code page, where \'hh pairs make one character
      Read(doc, QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'c4\\'e3\\'ba\\'c3 ok}"));
      QCOMPARE(doc.toRawText(), QStringLiteral("\u4F60\u597D ok"));
    }
    {
      QTextDocument doc;  // UTF-8 as the code page, bytes escaped and raw
      Read(doc, QByteArray("{\\rtf1\\ansi\\ansicpg65001 \\'e2\\'82\\'ac \xc3\xa9}"));
      QCOMPARE(doc.toRawText(), QStringLiteral("\u20AC \u00E9"));
    }
  }

  // The send window writes a checksum as this fragment over the selected bytes;
  // its outermost group is never closed.
  void checksumFragmentReplacesSelection() {
    const QByteArray fragment = ReadFile(QStringLiteral("checksum-fragment.rtf"));
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("first\n  01 03 00 00 00 0A  \nlast"));
    const int start = Find(doc, QStringLiteral("01"));
    c.setPosition(start);
    c.setPosition(start + 17, QTextCursor::KeepAnchor);
    InsertRtf(c, fragment);
    QCOMPARE(Lines(doc), (QStringList{QStringLiteral("first"), QStringLiteral("  01 03 00 00 00 0A C5 CD  "),
                                      QStringLiteral("last")}));
    QCOMPARE(c.position(), start + 23);  // the caret ends behind the checksum
    const QTextCharFormat bytes = FormatAt(doc, start);
    QCOMPARE(bytes.foreground().color(), QColor(0, 0, 0));
    QCOMPARE(bytes.fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
    QCOMPARE(bytes.fontPointSize(), 9.0);
    for (int i = start + 18; i < start + 23; ++i) QCOMPARE(FormatAt(doc, i).foreground().color(), QColor(0, 0, 255));
    QCOMPARE(FormatAt(doc, start + 23).foreground().style(), Qt::NoBrush);  // the blanks after keep theirs
  }

  void malformedInputIsData_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("text");
    QTest::newRow("unclosed groups") << QByteArray("{\\rtf1 abc{\\b def") << QStringLiteral("abcdef");
    QTest::newRow("extra closing braces end the document") << QByteArray("{\\rtf1 a}}}b") << QStringLiteral("a");
    QTest::newRow("truncated hex escape") << QByteArray("{\\rtf1 x\\'4") << QStringLiteral("x4");
    QTest::newRow("bad hex escape") << QByteArray("{\\rtf1 x\\'zz y}") << QStringLiteral("xzz y");
    QTest::newRow("truncated control word") << QByteArray("{\\rtf1 x\\") << QStringLiteral("x");
    QTest::newRow("huge numbers") << QByteArray("{\\rtf1\\fs99999999999999999999\\cf-99999999999999 a\\u99999999999?b\\f4294967296 c}")
                                  << (QStringLiteral("a") + QChar(0xFFFF) + QStringLiteral("bc"));
    QTest::newRow("negative unicode") << QByteArray("{\\rtf1 \\u-4064?}") << QString(QChar(0xF020));
    QTest::newRow("unknown control words") << QByteArray("{\\rtf1\\foo123\\bar x\\zz-5 y}") << QStringLiteral("xy");
    QTest::newRow("ignorable destination") << QByteArray("{\\rtf1 {\\*\\unknown hidden {nested}} shown}")
                                           << QStringLiteral(" shown");
    QTest::newRow("binary data skipped") << QByteArray("{\\rtf1 a{\\*\\blob\\bin5 }}{\\x}c}") << QStringLiteral("ac");
    QTest::newRow("binary length past the end") << QByteArray("{\\rtf1 a\\bin999999999 bcd") << QStringLiteral("a");
    QTest::newRow("fallback count") << QByteArray("{\\rtf1\\uc3\\u8364abcd\\uc999\\u65xyz}")
                                    << QStringLiteral("\u20ACdA");
    QTest::newRow("colour index past the table") << QByteArray("{\\rtf1{\\colortbl;}\\cf7 a\\highlight9 b}")
                                                 << QStringLiteral("ab");
    QTest::newRow("no document group") << QByteArray("{\\rtf") << QString();
    QTest::newRow("raw 8-bit bytes") << QByteArray("{\\rtf1\\ansi caf\xe9}") << QStringLiteral("caf\u00E9");
    QTest::newRow("nul and controls in the file") << QByteArray("{\\rtf1 a\0b\x01" "c}", 13) << QStringLiteral("abc");
    QByteArray deep = "{\\rtf1 start";
    deep += QByteArray(200000, '{') + "deep" + QByteArray(100000, '}') + " tail";
    QTest::newRow("deep nesting") << deep << QStringLiteral("startdeep tail");
    QByteArray deepClosed = "{\\rtf1 a" + QByteArray(5000, '{') + "\\b b" + QByteArray(5000, '}') + "c}";
    QTest::newRow("deep nesting closed") << deepClosed << QStringLiteral("abc");
  }

  void malformedInputIsData() {
    QFETCH(QByteArray, input);
    QFETCH(QString, text);
    QTextDocument doc;
    Read(doc, input);
    QCOMPARE(doc.toRawText(), text);
  }

  void formatsDoNotLeakOutOfGroups() {
    QTextDocument doc;
    Read(doc, "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}a{\\cf1\\b b{\\i c}d}e}");
    QCOMPARE(doc.toRawText(), QStringLiteral("abcde"));
    QCOMPARE(FormatAt(doc, 0).foreground().style(), Qt::NoBrush);
    QCOMPARE(FormatAt(doc, 1).foreground().color(), QColor(255, 0, 0));
    QVERIFY(FormatAt(doc, 2).fontItalic());
    QVERIFY(FormatAt(doc, 3).fontWeight() >= QFont::Bold && !FormatAt(doc, 3).fontItalic());
    QVERIFY(FormatAt(doc, 4).fontWeight() < QFont::Bold);
    QCOMPARE(FormatAt(doc, 4).foreground().style(), Qt::NoBrush);
  }

  void filesThatAreNotRtfLoadAsPlainText_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii lines") << QByteArray("one\r\ntwo\nthree") << QStringLiteral("one\u2029two\u2029three");
    QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac") << QStringLiteral("caf\u00E9 \u20AC");
    QTest::newRow("utf-8 with bom") << QByteArray("\xef\xbb\xbfx") << QStringLiteral("x");
    QTest::newRow("latin-1 bytes") << QByteArray("\xff\x80\x00z", 4) << (QStringLiteral("\u00FF\u0080") + QChar(0) + u'z');
    QTest::newRow("looks almost like rtf") << QByteArray("{\\rt x}") << QStringLiteral("{\\rt x}");
    QTest::newRow("empty") << QByteArray() << QString();
  }

  void filesThatAreNotRtfLoadAsPlainText() {
    QFETCH(QByteArray, input);
    QFETCH(QString, text);
    QTextDocument doc;
    Read(doc, input);
    QCOMPARE(doc.toRawText(), text);
  }

  void isRtf() {
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
