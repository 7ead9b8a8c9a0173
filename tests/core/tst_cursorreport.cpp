// The text rules of the display and the cursor report, case by case: tags,
// caret columns behind a tag or a block marker, selection sizes, the values
// of a Ctrl-release, and the text a caret line or "[>>" block sends.
#include "AppCommon.h"
#include "SendClass.h"

#include <QtTest>

class TestCursorReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void Tags_data();
    void Tags();
    void Column_data();
    void Column();
    void Selection_data();
    void Selection();
    void SelectionInPieces();
    void CtrlValues_data();
    void CtrlValues();
    void CtrlValuesLineBreak();
    void SendText_data();
    void SendText();
    void SendTextSearchLimit();
    void Colour();
};

void TestCursorReport::Tags_data()
{
    QTest::addColumn<QString>("Line");
    QTest::addColumn<bool>("ShowTime");
    QTest::addColumn<bool>("ShowRxTx");
    QTest::addColumn<bool>("Received");
    QTest::addColumn<QString>("Tag");
    QTest::addColumn<QString>("Data");

    const QString R = QStringLiteral("R[14:03:07  15]01 02");
    QTest::newRow("R time+dir") << R << true << true << true << "[14:03:07  15 Rx] "
                                << "01 02";
    QTest::newRow("R time") << R << true << false << true << "[14:03:07  15] "
                            << "01 02";
    QTest::newRow("R dir") << R << false << true << true << "[R x] "
                           << "01 02";
    QTest::newRow("R none") << R << false << false << true << ""
                            << "01 02";
    const QString T = QStringLiteral("T[14:03:08 120]hello");
    QTest::newRow("T time+dir") << T << true << true << false << "[14:03:08 120 Tx] "
                                << "hello";
    QTest::newRow("T time") << T << true << false << false << "[14:03:08 120] "
                            << "hello";
    QTest::newRow("T dir") << T << false << true << false << "[T x] "
                           << "hello";
    QTest::newRow("gap ---") << "R[09:15:00 ---]AA BB" << true << true << true << "[09:15:00 --- Rx] "
                             << "AA BB";
    // Only the first "]" ends the head: data may hold brackets of its own.
    QTest::newRow("] in data") << "T[09:15:00   0]a]b" << false << false << false << ""
                               << "a]b";
    QTest::newRow("no ]") << "Xabc" << false << true << false << "[T x] "
                          << "Xabc";
}

void TestCursorReport::Tags()
{
    QFETCH(QString, Line);
    QFETCH(bool, ShowTime);
    QFETCH(bool, ShowRxTx);
    const TDisplayParts P = SplitMonitorLine(Line.toStdString(), ShowTime, ShowRxTx);
    QTEST(P.Received, "Received");
    QTEST(QString::fromStdString(P.Tag), "Tag");
    QTEST(QString::fromStdString(P.Data), "Data");
}

void TestCursorReport::Column_data()
{
    QTest::addColumn<QString>("Before");
    QTest::addColumn<bool>("Hex");
    QTest::addColumn<int>("Column");

    const QString Tagged = QStringLiteral("[14:03:07  15 Rx] AA BB CC");
    QTest::newRow("hex inside byte") << Tagged.left(22) << true << 2;
    QTest::newRow("hex data start") << Tagged.left(18) << true << 0;
    QTest::newRow("hex on ]") << Tagged.left(17) << true << 0;
    QTest::newRow("hex in tag") << Tagged.left(6) << true << 0;
    QTest::newRow("hex line end") << Tagged << true << 3;
    QTest::newRow("chars inside") << Tagged.left(22) << false << 4;
    QTest::newRow("chars in tag") << Tagged.left(6) << false << 0;
    QTest::newRow("no tag hex") << "AA B" << true << 2;
    QTest::newRow("no tag chars") << "AA B" << false << 4;
    QTest::newRow("dir tag") << "[R x] 41 42" << true << 2;
    QTest::newRow("block hex") << "[>>01 0" << true << 2;
    QTest::newRow("block chars") << "[>>01 0" << false << 4;
    QTest::newRow("empty") << "" << true << 0;
    // A lone "[" is no tag: it counts as it stands.
    QTest::newRow("lone [") << "[" << false << 1;
}

void TestCursorReport::Column()
{
    QFETCH(QString, Before);
    QFETCH(bool, Hex);
    QTEST(int(CaretColumn(Before, Hex)), "Column");
}

void TestCursorReport::Selection_data()
{
    QTest::addColumn<QString>("Selected");
    QTest::addColumn<bool>("Hex");
    QTest::addColumn<int>("Size");

    QTest::newRow("hex part byte") << "AA BB C" << true << 2;
    QTest::newRow("chars") << "AA BB C" << false << 7;
    QTest::newRow("hex trimmed") << "  AA BB \r\n" << true << 2;
    QTest::newRow("hex empty") << "" << true << 0;
    QTest::newRow("chars empty") << "" << false << 0;
}

void TestCursorReport::Selection()
{
    QFETCH(QString, Selected);
    QFETCH(bool, Hex);
    QTEST(int(SelectionSize(Selected, Hex)), "Size");
}

// A hex selection counted from pieces (as a view hands over a large one, a
// line at a time) gives what the whole text gives, wherever it is cut.
void TestCursorReport::SelectionInPieces()
{
    const QString Texts[] = {QStringLiteral("AA BB C"), QStringLiteral("  AA BB \r\n"), QStringLiteral("R AA BB"),
        QStringLiteral("R \nAA"), QStringLiteral("A\n B C"), QStringLiteral(" \n A  \n"),
        QStringLiteral("AA\n\nBB\nC "), QStringLiteral("\u0100 AB"), QStringLiteral("A"), QStringLiteral("   ")};
    for (const QString &Text : Texts) {
        const int32_t Whole = HexByteCount(Text.toLatin1().toStdString(), 2);
        QCOMPARE(SelectionSize(Text, true), Whole);
        for (qsizetype A = 0; A <= Text.size(); ++A)
            for (qsizetype B = A; B <= Text.size(); ++B) {
                THexByteCounter Counter;
                Counter.Add(QStringView(Text).first(A));
                Counter.Add(QStringView(Text).sliced(A, B - A));
                Counter.Add(QStringView(Text).sliced(B));
                QVERIFY2(Counter.Bytes() == Whole, qPrintable(Text + QStringLiteral(" cut at %1, %2").arg(A).arg(B)));
            }
    }
}

void TestCursorReport::CtrlValues_data()
{
    QTest::addColumn<QString>("Selected");
    QTest::addColumn<bool>("Shown");
    QTest::addColumn<QString>("Dec");
    QTest::addColumn<QString>("Bin");

    QTest::newRow("four FF") << "FF FF FF FF" << true << "-1"
                             << "1111 1111 1111 1111 1111 1111 1111 1111 ";
    QTest::newRow("00 01") << "00 01" << true << "1"
                           << "0000 0000 0000 0001 ";
    QTest::newRow("7FFFFFFF") << "7fffffff" << true << "2147483647"
                              << "0111 1111 1111 1111 1111 1111 1111 1111 ";
    QTest::newRow("80000000") << "80 00 00 00" << true << "-2147483648"
                              << "1000 0000 0000 0000 0000 0000 0000 0000 ";
    QTest::newRow("five bytes") << "FF FF FF FF 00" << false << ""
                                << "";
    QTest::newRow("odd digits") << "ABC" << false << ""
                                << "";
    QTest::newRow("not hex") << "hello" << false << ""
                             << "";
    QTest::newRow("empty") << "" << false << ""
                           << "";
}

void TestCursorReport::CtrlValues()
{
    QFETCH(QString, Selected);
    QString Dec, Bin;
    QTEST(SelectionValues(Selected, Dec, Bin), "Shown");
    QTEST(Dec, "Dec");
    QTEST(Bin, "Bin");
}

void TestCursorReport::CtrlValuesLineBreak()
{
    // Hex across a line break passes the hex test but is no number.
    QString Dec, Bin;
    try {
        SelectionValues(QStringLiteral("0\r\n1"), Dec, Bin);
        QFAIL("no conversion error");
    } catch (const EConvertError &E) {
        QCOMPARE(QString::fromLatin1(E.what()), QStringLiteral("'$0\r\n1' is not a valid integer value"));
    }
    QVERIFY(Dec.isEmpty());
}

static QStringList Lines(std::initializer_list<const char *> Texts)
{
    QStringList List;
    for (const char *T : Texts)
        List << QString::fromLatin1(T);
    return List;
}

void TestCursorReport::SendText_data()
{
    QTest::addColumn<QStringList>("Lines");
    QTest::addColumn<int>("Caret");
    QTest::addColumn<QString>("Text");

    const QStringList Plain = Lines({"01 02", "hello", "03"});
    QTest::newRow("middle line") << Plain << 1 << "hello";
    QTest::newRow("last line") << Plain << 2 << "03";
    QTest::newRow("past end") << Plain << 3 << "";
    QTest::newRow("empty view") << QStringList() << 0 << "";
    QTest::newRow("two-line block") << Lines({"[>>01 02", "03<<]", "04"}) << 0 << "01 02\r\n03";
    QTest::newRow("one-line block") << Lines({"[>>01 02<<] tail"}) << 0 << "01 02";
    QTest::newRow("empty block") << Lines({"[>><<]"}) << 0 << "";
    QTest::newRow("first end wins") << Lines({"[>>01", "02<<]", "[>>03<<]"}) << 0 << "01\r\n02";
    QTest::newRow("no end") << Lines({"[>>01 02", "03"}) << 0 << "";
    // A block marker not at the start of the line is plain text.
    QTest::newRow("marker inside") << Lines({"x[>>01<<]"}) << 0 << "x[>>01<<]";
    // The end inside the caret line's own marker is not an end.
    QTest::newRow("marker only") << Lines({"[>>", "41<<]"}) << 0 << "\r\n41";
}

void TestCursorReport::SendText()
{
    QFETCH(QStringList, Lines);
    QFETCH(int, Caret);
    const auto LineAt = [&Lines](int I) { return Lines.value(I); };
    QTEST(CaretSendText(LineAt, int(Lines.size()), Caret), "Text");
}

void TestCursorReport::SendTextSearchLimit()
{
    // The end must lie within BlockSearchLimit characters of the block start.
    const auto Block = [](int Filler) {
        return QStringList {QStringLiteral("[>>") + QString(Filler, u'A') + QStringLiteral("<<]")};
    };
    const QStringList Fits = Block(BlockSearchLimit - 3);
    const QStringList TooFar = Block(BlockSearchLimit - 2);
    QCOMPARE(CaretSendText([&](int I) { return Fits.value(I); }, 1, 0).size(), BlockSearchLimit - 3);
    QCOMPARE(CaretSendText([&](int I) { return TooFar.value(I); }, 1, 0), QString());

    // Across lines each line break counts as one character.
    QStringList Lines(QStringLiteral("[>>"));
    for (int I = 0; I < 2000; ++I)
        Lines << QString(99, u'B');
    Lines << QStringLiteral("<<]");
    QCOMPARE(CaretSendText([&](int I) { return Lines.value(I); }, int(Lines.size()), 0), QString());
    Lines.resize(500);
    Lines << QStringLiteral("<<]");
    QCOMPARE(CaretSendText([&](int I) { return Lines.value(I); }, int(Lines.size()), 0).count(u'B'), 499 * 99);
}

void TestCursorReport::Colour()
{
    QCOMPARE(ColourValue(0x80, 0x80, 0x80), TDataRT::TagColour);
    QCOMPARE(ColourValue(0x12, 0x34, 0x56), 0x563412u);
}

QTEST_GUILESS_MAIN(TestCursorReport)
#include "tst_cursorreport.moc"
