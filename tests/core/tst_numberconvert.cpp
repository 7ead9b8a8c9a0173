// The number converter's arithmetic and the selection pop-up's value, as
// tables of the user's examples and the edges of each base.
#include "AppCommon.h"
#include "NumberConvert.h"

#include <QtTest>

class TestNumberConvert : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void convert_data()
    {
        QTest::addColumn<int>("Field");
        QTest::addColumn<QString>("Text");
        QTest::addColumn<QString>("Hex");
        QTest::addColumn<QString>("Dec");
        QTest::addColumn<QString>("Bin");
        QTest::addColumn<QString>("Warning");
        const int H = int(TNumberField::Hex), D = int(TNumberField::Dec), B = int(TNumberField::Bin);
        QTest::newRow("hex") << H << "1a"
                             << "1A"
                             << "26"
                             << "0001 1010 "
                             << "";
        QTest::newRow("hex with blanks") << H << " 1 a"
                                         << " 1 A"
                                         << "26"
                                         << "0001 1010 "
                                         << "";
        QTest::newRow("dec") << D << "255"
                             << "FF"
                             << "255"
                             << "1111 1111 "
                             << "";
        QTest::newRow("dec zero") << D << "0"
                                  << "0"
                                  << "0"
                                  << "0000 "
                                  << "";
        QTest::newRow("largest dec") << D << "9999999999"
                                     << "2540BE3FF"
                                     << "9999999999"
                                     << "0010 0101 0100 0000 1011 1110 0011 1111 1111 "
                                     << "";
        QTest::newRow("bin") << B << "1010"
                             << "A"
                             << "10"
                             << "1010"
                             << "";
        QTest::newRow("bin blanks") << B << "  "
                                    << "0"
                                    << "0"
                                    << "  "
                                    << "";
        QTest::newRow("largest hex") << H << "FFFFFFFFF"
                                     << "FFFFFFFFF"
                                     << "68719476735" << QString(QStringLiteral("1111 ").repeated(9)) << "";
        QTest::newRow("emptied") << H << ""
                                 << ""
                                 << ""
                                 << ""
                                 << "";
        QTest::newRow("not hex") << H << "12G"
                                 << ""
                                 << ""
                                 << ""
                                 << "What you input is not Hex.";
        QTest::newRow("not dec") << D << "1A"
                                 << ""
                                 << ""
                                 << ""
                                 << "What you input is not dec.";
        QTest::newRow("not bin") << B << "12"
                                 << ""
                                 << ""
                                 << ""
                                 << "What you input is not bin.";
        QTest::newRow("not latin-1") << H << QString::fromUtf8("1\u20ac") << ""
                                     << ""
                                     << ""
                                     << "What you input is not Hex.";
    }
    void convert()
    {
        QFETCH(int, Field);
        QFETCH(QString, Text);
        QFETCH(QString, Hex);
        QFETCH(QString, Dec);
        QFETCH(QString, Bin);
        QFETCH(QString, Warning);
        const TConversion R = ConvertNumber(TNumberField(Field), Text);
        QCOMPARE(R.Hex, Hex);
        QCOMPARE(R.Dec, Dec);
        QCOMPARE(R.Bin, Bin);
        QCOMPARE(R.Warning, Warning);
    }

    void blanksOnlyAreNotANumber()
    {
        for (const auto &[Field, Message] : {std::pair {TNumberField::Hex, "'$' is not a valid integer value"},
                 std::pair {TNumberField::Dec, "'' is not a valid integer value"}}) {
            try {
                ConvertNumber(Field, QStringLiteral("   "));
                QFAIL("no error");
            } catch (const EConvertError &E) {
                QCOMPARE(QString::fromLatin1(E.what()), QLatin1String(Message));
            }
        }
    }

    void selection_data()
    {
        QTest::addColumn<QString>("Selected");
        QTest::addColumn<bool>("Signed");
        QTest::addColumn<bool>("Shown");
        QTest::addColumn<QString>("Dec");
        QTest::newRow("01 02") << " 01 02 " << false << true << "258";
        QTest::newRow("unsigned") << "FF FF FF FF" << false << true << "4294967295";
        QTest::newRow("signed") << "FF FF FF FF" << true << true << "-1";
        QTest::newRow("signed positive") << "7F FF FF FF" << true << true << "2147483647";
        QTest::newRow("one digit") << "1" << false << false << "";
        QTest::newRow("odd count") << "01 0" << false << false << "";
        QTest::newRow("nine bytes") << "01 02 03 04 05 06 07 08 09" << false << false << "";
        QTest::newRow("not hex") << "GG" << false << false << "";
    }
    void selection()
    {
        QFETCH(QString, Selected);
        QFETCH(bool, Signed);
        QFETCH(bool, Shown);
        QFETCH(QString, Dec);
        QString GotDec, GotBin;
        QCOMPARE(SelectionNumber(Selected, Signed, GotDec, GotBin), Shown);
        if (Shown)
            QCOMPARE(GotDec, Dec);
    }
};

QTEST_GUILESS_MAIN(TestNumberConvert)
#include "tst_numberconvert.moc"
