// The hex text codec, driven by tables of the rules' examples and odd cases,
// plus exhaustive checks over every byte value and over small generated texts.
#include "AppCommon.h"
#include "MilliClock.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cctype>
#include <limits>

namespace {

std::string S(const QByteArray &B)
{
    return std::string(B.constData(), static_cast<std::size_t>(B.size()));
}

QByteArray B(const std::string &S)
{
    return QByteArray(S.data(), static_cast<qsizetype>(S.size()));
}

}  // namespace

class TestAppCommon : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void isHexText_data();
    void isHexText();
    void formatHexText_data();
    void formatHexText();
    void formatThenCheckRejectsExactlyTheBadTexts();
    void hexTextToBytes_data();
    void hexTextToBytes();
    void hexTextToBytesEveryByteValue();
    void hexByteCount_data();
    void hexByteCount();
    void hexToBinText_data();
    void hexToBinText();
    void hexToBinTextPrependsToOutput();
    void binTextToValue_data();
    void binTextToValue();
    void removeSpaces_data();
    void removeSpaces();
    void clockCanBeReplaced();
};

void TestAppCommon::isHexText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("spaced bytes") << QByteArray("01 02 03") << true;
    QTest::newRow("packed bytes") << QByteArray("0A0B0C") << true;
    QTest::newRow("mixed grouping") << QByteArray("0102 03") << true;
    QTest::newRow("lower case") << QByteArray("ab cd") << true;
    QTest::newRow("across line break") << QByteArray("12\n34") << true;
    QTest::newRow("pair split by CRLF") << QByteArray("1\r\n2") << true;
    QTest::newRow("one byte") << QByteArray("12") << true;
    QTest::newRow("spaces around") << QByteArray(" 12 ") << true;
    QTest::newRow("NUL and tab trimmed") << QByteArray("\t12\0", 4) << true;
    QTest::newRow("split by space") << QByteArray("1 2") << false;
    QTest::newRow("lone digits") << QByteArray("12 3 4") << false;
    QTest::newRow("lone digit inside") << QByteArray("01 0 203") << false;
    QTest::newRow("odd count") << QByteArray("123") << false;
    QTest::newRow("one digit") << QByteArray("A") << false;
    QTest::newRow("tab inside") << QByteArray("12\t34") << false;
    QTest::newRow("non-digit") << QByteArray("AG") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("spaces only") << QByteArray("    ") << false;
    QTest::newRow("high byte") << QByteArray("1\xC1") << false;
}

void TestAppCommon::isHexText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, expected);
    QCOMPARE(IsHexText(S(text)), expected);
}

void TestAppCommon::formatHexText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("even, trailing space") << QByteArray("0a0b0c") << QByteArray("0A 0B 0C ");
    QTest::newRow("odd, lone last") << QByteArray(" 1a2b3 ") << QByteArray("1A 2B 3");
    QTest::newRow("non-digits carried") << QByteArray("12\t34") << QByteArray("12 \t3 4");
    QTest::newRow("line breaks dropped") << QByteArray("0102\r\n0304") << QByteArray("01 02 03 04 ");
    QTest::newRow("regrouped") << QByteArray("0 1 0 2") << QByteArray("01 02 ");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("separators only") << QByteArray(" \r\n ") << QByteArray();
}

void TestAppCommon::formatHexText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(B(FormatHexText(S(text))), expected);
}

// Normalising and then checking must accept exactly the texts with an even
// number (at least two) of non-separator characters, all of them digits.
void TestAppCommon::formatThenCheckRejectsExactlyTheBadTexts()
{
    const char Alphabet[] = {'0', '9', 'a', 'F', 'G', ' ', '\r', '\n', '\t'};
    QRandomGenerator Rng(20261210);
    for (int Round = 0; Round < 20000; ++Round) {
        std::string Text;
        const int Length = static_cast<int>(Rng.bounded(9));
        for (int I = 0; I < Length; ++I)
            Text += Alphabet[Rng.bounded(static_cast<int>(sizeof Alphabet))];
        int Kept = 0;
        bool AllDigits = true;
        // What survives: trimmed ends (tab included), then separators dropped.
        const auto First = Text.find_first_not_of(" \r\n\t");
        const auto Last = Text.find_last_not_of(" \r\n\t");
        if (First != std::string::npos)
            for (auto I = First; I <= Last; ++I) {
                const char C = Text[I];
                if (C == ' ' || C == '\r' || C == '\n')
                    continue;
                ++Kept;
                AllDigits = AllDigits && std::isxdigit(static_cast<unsigned char>(C));
            }
        const bool Expected = Kept >= 2 && Kept % 2 == 0 && AllDigits;
        if (IsHexText(FormatHexText(Text)) != Expected)
            QFAIL(qPrintable(
                QStringLiteral("wrong verdict for '%1'").arg(QString::fromLatin1(B(Text).toPercentEncoding()))));
    }
}

void TestAppCommon::hexTextToBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("spaced") << QByteArray("01 02 03") << QByteArray("\x01\x02\x03");
    QTest::newRow("packed") << QByteArray("0A0B0C") << QByteArray("\x0A\x0B\x0C");
    QTest::newRow("odd: lone last digit") << QByteArray("123") << QByteArray("\x12\x03");
    QTest::newRow("digit before space dropped") << QByteArray("1 23") << QByteArray("\x03");
    QTest::newRow("pair across line break") << QByteArray("1\n2") << QByteArray();
    QTest::newRow("upper FF") << QByteArray("FF") << QByteArray("\xFF");
    QTest::newRow("lower ff") << QByteArray("ff") << QByteArray("\xFF");
    QTest::newRow("bad pair dropped") << QByteArray("0G 41") << QByteArray("\x41");
    QTest::newRow("lone non-digit last") << QByteArray("41 G") << QByteArray("\x41");
    QTest::newRow("zero byte kept") << QByteArray("00 01") << QByteArray("\x00\x01", 2);
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestAppCommon::hexTextToBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(B(HexTextToBytes(S(text))), expected);
}

void TestAppCommon::hexTextToBytesEveryByteValue()
{
    std::string Upper, Lower, Expected;
    for (int V = 0; V < 256; ++V) {
        Upper += QByteArray::number(V, 16).rightJustified(2, '0').toUpper().toStdString() + ' ';
        Lower += QByteArray::number(V, 16).rightJustified(2, '0').toStdString();
        Expected += static_cast<char>(V);
    }
    QCOMPARE(B(HexTextToBytes(Upper)), B(Expected));
    QCOMPARE(B(HexTextToBytes(Lower)), B(Expected));
    QVERIFY(IsHexText(Upper));
    QCOMPARE(HexByteCount(Upper, 2), 256);
}

void TestAppCommon::hexByteCount_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("expected");
    QTest::newRow("three bytes, mode 1") << QByteArray("AA BB CC") << 1 << 3;
    QTest::newRow("three bytes, mode 2") << QByteArray("AA BB CC") << 2 << 3;
    QTest::newRow("lone last, mode 1") << QByteArray("AA B") << 1 << 2;
    QTest::newRow("lone last, mode 2") << QByteArray("AA B") << 2 << 1;
    QTest::newRow("direction letter dropped") << QByteArray("R AA BB") << 2 << 2;
    QTest::newRow("CRLF counts twice") << QByteArray("AA BB\r\nCC") << 2 << 4;
    QTest::newRow("empty, mode 1") << QByteArray() << 1 << 0;
    QTest::newRow("empty, mode 2") << QByteArray() << 2 << 0;
    QTest::newRow("one digit, mode 1") << QByteArray("A") << 1 << 1;
    QTest::newRow("one digit, mode 2") << QByteArray("A") << 2 << 0;
    QTest::newRow("split, mode 1") << QByteArray("1 2") << 1 << 1;
    QTest::newRow("split, mode 2") << QByteArray("1 2") << 2 << 0;
    QTest::newRow("other mode rounds down") << QByteArray("AAB") << 0 << 1;
}

void TestAppCommon::hexByteCount()
{
    QFETCH(QByteArray, text);
    QFETCH(int, mode);
    QFETCH(int, expected);
    QCOMPARE(HexByteCount(S(text), mode), expected);
}

void TestAppCommon::hexToBinText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("error");
    QTest::newRow("1A") << QByteArray("1A") << QByteArray("0001 1010 ") << QString();
    QTest::newRow("odd, used as given") << QByteArray("ABC") << QByteArray("1010 1011 1100 ") << QString();
    QTest::newRow("lower case") << QByteArray("ff") << QByteArray("1111 1111 ") << QString();
    QTest::newRow("single 0") << QByteArray("0") << QByteArray("0000 ") << QString();
    QTest::newRow("well-formed, spaces removed")
        << QByteArray(" 12 34 ") << QByteArray("0001 0010 0011 0100 ") << QString();
    QTest::newRow("F F fails on the space")
        << QByteArray("F F") << QByteArray("1111 ") << QStringLiteral("'$ ' is not a valid integer value");
    QTest::newRow("line break left in") << QByteArray("12\n34") << QByteArray("0011 0100 ")
                                        << QStringLiteral("'$\n' is not a valid integer value");
    QTest::newRow("non-digit") << QByteArray("G1") << QByteArray("0001 ")
                               << QStringLiteral("'$G' is not a valid integer value");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QString();
}

void TestAppCommon::hexToBinText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QFETCH(QString, error);
    std::string Output;
    QString Raised;
    try {
        HexToBinText(S(text), Output);
    } catch (const EConvertError &E) {
        Raised = QString::fromLatin1(E.what());
    }
    QCOMPARE(Raised, error);
    QCOMPARE(B(Output), expected);
}

void TestAppCommon::hexToBinTextPrependsToOutput()
{
    std::string Output = "tail";
    QCOMPARE(&HexToBinText("5", Output), &Output);
    QCOMPARE(Output, std::string("0101 tail"));
}

void TestAppCommon::binTextToValue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("1010") << QByteArray("1010") << qint64(10);
    QTest::newRow("empty") << QByteArray() << qint64(0);
    QTest::newRow("64 ones") << QByteArray(64, '1') << qint64(-1);
    QTest::newRow("65 ones, top lost") << QByteArray(65, '1') << qint64(-1);
    QTest::newRow("top bit only") << (QByteArray("1") + QByteArray(63, '0')) << std::numeric_limits<qint64>::min();
    QTest::newRow("a 2 adds 2") << QByteArray("12") << qint64(4);
    QTest::newRow("a space adds -16") << QByteArray("1 ") << qint64(-14);
    QTest::newRow("no trimming") << QByteArray(" 1") << qint64(-31);
}

void TestAppCommon::binTextToValue()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, expected);
    QCOMPARE(BinTextToValue(S(text)), expected);
}

void TestAppCommon::removeSpaces_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("inner spaces") << QByteArray(" 12 34 56 ") << QByteArray("123456");
    QTest::newRow("breaks and tabs stay") << QByteArray("\t1 2\r\n3\t4\n") << QByteArray("12\r\n3\t4");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestAppCommon::removeSpaces()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(B(RemoveSpaces(S(text))), expected);
}

namespace {
uint32_t FixedClock()
{
    return 0xFFFFFFF0u;
}
}  // namespace

void TestAppCommon::clockCanBeReplaced()
{
    const uint32_t Before = MilliClock();
    const TMilliClockFn Previous = SetMilliClock(&FixedClock);
    QVERIFY(Previous == &SystemMilliClock);
    QCOMPARE(MilliClock(), 0xFFFFFFF0u);
    QVERIFY(SetMilliClock(nullptr) == &FixedClock);
    // The system counter moves forward (modulo 2^32) and never by much here.
    QVERIFY(uint32_t(MilliClock() - Before) < 60000u);
}

QTEST_GUILESS_MAIN(TestAppCommon)
#include "tst_appcommon.moc"
