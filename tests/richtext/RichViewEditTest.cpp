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
int InkInCell(TRichView &v, const QImage &image, int position) {
  QTextCursor c(v.document());
  c.setPosition(position);
  const QRect a = v.cursorRect(c);
  c.setPosition(position + 1);
  const QRect b = v.cursorRect(c);
  const QColor background = v.backgroundColour();
  int ink = 0;
  for (int y = a.top(); y <= a.bottom(); ++y)
    for (int x = a.left() + 1; x < b.left() - 1; ++x) {
      const QColor p = image.pixelColor(x, y);
      if (std::abs(p.red() - background.red()) + std::abs(p.green() - background.green()) +
              std::abs(p.blue() - background.blue()) > 120)
        ++ink;
    }
  return ink;
}

}  // namespace

class RichViewEditTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void setSelectionSaturates_data() {
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

  void setSelectionSaturates() {
    QFETCH(int, start);
    QFETCH(int, length);
    TRichView v;
    v.append(QStringLiteral("0123456789"));
    v.setSelection(start, length);
    QTEST(v.selStart(), "selStart");
    QTEST(v.selLength(), "selLength");
  }

  // Pieces joined give the selected text, whatever the selection's ends and
  // the runs and lines in between, short lines and a long one.
  void visitSelectionGivesTheSelectedText() {
    TRichView v;
    v.append({{QStringLiteral("[R x] "), QColor(128, 128, 128)},
              {QStringLiteral("AA BB\n"), QColor(0, 0, 200)},
              {QStringLiteral("\n[T x] "), QColor(128, 128, 128)},
              {QStringLiteral("CC DD\n"), QColor(200, 0, 0)},
              {QString(TRichView::kLongLine, QLatin1Char('E')), QColor(0, 0, 200)},
              {QString(20, QLatin1Char('F')) + QStringLiteral("\nGG"), QColor(200, 0, 0)}});
    const int length = v.textLength();
    const auto check = [&v](int start, int end) {
      v.setSelection(start, end - start);
      QString joined;
      v.visitSelection([&](QStringView piece) { joined += piece; });
      QVERIFY2(joined == v.selText(), qPrintable(QStringLiteral("%1 to %2").arg(start).arg(end)));
    };
    for (int start = 0; start <= length; start += start < 40 || start > length - 40 ? 1 : 97)
      for (int end = start; end <= length; end += end < 40 || end > length - 40 ? 1 : 89) check(start, end);
  }

  // A received line with control bytes shows a mark for each of them, on a
  // short line and on a long one (drawn in slices), wrapped or not; what is
  // copied, found and saved keeps the bytes.
  void controlCharactersShowAsMarks_data() {
    QTest::addColumn<int>("padding");
    QTest::addColumn<bool>("wrap");
    QTest::newRow("short") << 0 << false;
    QTest::newRow("short wrapped") << 0 << true;
    QTest::newRow("long") << TRichView::kLongLine + 10 << false;
  }

  void controlCharactersShowAsMarks() {
    QFETCH(int, padding);
    QFETCH(bool, wrap);
    TRichView v;
    v.resize(500, 200);
    v.setWordWrap(wrap);
    v.setBackgroundColour(Qt::white);
    v.setTextColour(Qt::black);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    const QString controls = QString(QChar(0)) + QChar(1) + QChar(0x1B) + QChar(0x7F);
    const QString line = QStringLiteral("x ") + controls + QStringLiteral(" y") + QString(padding, QLatin1Char('.'));
    v.append(line + QStringLiteral("\r\n"), QColor(0, 0, 200));
    v.flushUpdates();
    QApplication::processEvents();
    const QImage image = v.viewport()->grab().toImage();
    QVERIFY(InkInCell(v, image, 0) > 0);   // 'x' as a yardstick
    QCOMPARE(InkInCell(v, image, 1), 0);   // a space shows nothing
    for (int i = 2; i < 6; ++i) QVERIFY2(InkInCell(v, image, i) > 0, qPrintable(QStringLiteral("character %1").arg(i)));

    QCOMPARE(v.lineText(0), line);
    QCOMPARE(v.find(QString(QChar(0x1B)), 0, true), 4);
    QCOMPARE(v.find(QString(QChar(0x241B)), 0, true), -1);
    v.setSelection(2, 4);
    QCOMPARE(v.selText(), controls);
    v.copy();
    QCOMPARE(QApplication::clipboard()->text(), controls);
    // A screen reader gets all of the line, the control characters as their
    // pictures (a code 0 would end the text on its way to the reader).
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(&v);
    QVERIFY(a && a->textInterface());
    QAccessibleTextInterface *t = a->textInterface();
    QCOMPARE(t->characterCount(), v.textLength());
    const QString read = t->text(0, t->characterCount());
    const QString pictures = QStringLiteral("\u2400\u2401\u241B\u2421");
    QCOMPARE(read, QStringLiteral("x ") + pictures + QStringLiteral(" y") + QString(padding, QLatin1Char('.')) +
                       QLatin1Char('\n'));
    QCOMPARE(a->text(QAccessible::Value), read);
    int start = -1, end = -1;
    QCOMPARE(t->textAtOffset(3, QAccessible::LineBoundary, &start, &end), read);
    QCOMPARE(start, 0);
    QCOMPARE(t->textAtOffset(3, QAccessible::CharBoundary, &start, &end), QStringLiteral("\u2401"));
    QCOMPARE(t->textAtOffset(7, QAccessible::WordBoundary, &start, &end), QStringLiteral("y"));
    QCOMPARE(t->textAfterOffset(1, QAccessible::CharBoundary, &start, &end), QStringLiteral("\u2400"));
    QCOMPARE(t->textBeforeOffset(1, QAccessible::CharBoundary, &start, &end), QStringLiteral("x"));
    t->setSelection(0, 2, 6);
    QCOMPARE(v.selText(), controls);
    a->editableTextInterface()->insertText(0, QStringLiteral("z"));
    QCOMPARE(v.lineText(0), QStringLiteral("z") + line);
    a->editableTextInterface()->deleteText(0, 1);

    QTemporaryDir dir;
    v.saveRtf(dir.filePath(QStringLiteral("c.rtf")));
    // A log saved and opened again shows the marks too.
    TRichView back;
    back.resize(500, 200);
    back.setWordWrap(wrap);
    back.setBackgroundColour(Qt::white);
    back.setTextColour(Qt::black);
    back.loadFile(dir.filePath(QStringLiteral("c.rtf")));
    QCOMPARE(back.lineText(0), line);
    back.show();
    QVERIFY(QTest::qWaitForWindowExposed(&back));
    const QImage reopened = back.viewport()->grab().toImage();
    for (int i = 2; i < 6; ++i) QVERIFY2(InkInCell(back, reopened, i) > 0, qPrintable(QStringLiteral("character %1").arg(i)));
  }

  // A file far beyond the bound ends in the view as it did when all of it was
  // inserted and the front trimmed, but the view never holds more than a
  // little over the bound while loading: plain text (one byte or several a
  // character, "\n" or "\r\n", not UTF-8) and RTF.
  void largeFileKeepsOnlyWhatTheViewKeeps_data() {
    QTest::addColumn<QByteArray>("content");
    QByteArray ascii, crlf, utf8, latin1, rtf("{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue200;\\red128\\green128\\blue128;}");
    QByteArray oneRun("{\\rtf1\\ansi ");
    for (int i = 0; i < 3000; ++i) {
      const QByteArray n = QByteArray::number(i);
      ascii += "[R x] " + n + " 01 02 03 04 05 06\n";
      crlf += n + "\r\n\r\n";
      utf8 += "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC " + n + " \xF0\x9F\x98\x80\n";
      latin1 += "caf\xE9 " + n + "\n";
      rtf += "\\cf2 [R x] \\cf1 " + n + " AA BB \\'e9\\par\n";
      oneRun += n + " AA BB\\line ";
    }
    latin1[0] = '\xFF';  // not UTF-8, though the end alone would be
    rtf += "}";
    QTest::newRow("ascii") << ascii;
    QTest::newRow("crlf") << crlf;
    QTest::newRow("utf-8") << utf8;
    QTest::newRow("latin-1") << latin1;
    QTest::newRow("rtf") << rtf;
    QTest::newRow("rtf, one run") << oneRun + "}";
  }

  void largeFileKeepsOnlyWhatTheViewKeeps() {
    QFETCH(QByteArray, content);
    const int bound = 3000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();

    // All of it in, then the front trimmed to the bound.
    TRichView whole;
    whole.loadFile(path);
    QVERIFY(whole.textLength() > 4 * bound);
    whole.setMaxLength(bound);

    TRichView v;
    v.setMaxLength(bound);
    int most = 0;
    connect(v.document(), &QTextDocument::contentsChange, &v,
            [&] { most = std::max(most, v.document()->characterCount()); });
    v.loadFile(path);
    QVERIFY2(most <= (bound + 2) * 5 / 4 + 2, qPrintable(QString::number(most)));
    QCOMPARE(v.lineCount(), whole.lineCount());
    for (int i = 0; i < v.lineCount(); ++i) QCOMPARE(v.lineText(i), whole.lineText(i));
    for (int at = 0; at < v.textLength(); at += 7) {
      QTextCursor a(v.document()), b(whole.document());
      a.setPosition(at + 1);
      b.setPosition(at + 1);
      QCOMPARE(a.charFormat().foreground(), b.charFormat().foreground());
    }
    QCOMPARE(v.caretLine(), 0);

    // From memory, the same.
    TRichView data;
    data.setMaxLength(bound);
    data.loadData(content);
    QCOMPARE(data.document()->toPlainText(), whole.document()->toPlainText());
  }
};

QTEST_MAIN(RichViewEditTest)
#include "RichViewEditTest.moc"
