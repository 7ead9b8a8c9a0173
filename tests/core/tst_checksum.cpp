// The send view's checksums against their published check values and the
// user's examples.
#include "AppCommon.h"
#include "Checksum.h"

#include <QtTest>

class TestChecksum : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void values_data()
    {
        QTest::addColumn<QString>("Text");
        QTest::addColumn<int>("Kind");
        QTest::addColumn<QString>("Checksum");
        const QString Check = QStringLiteral("31 32 33 34 35 36 37 38 39");  // "123456789"
        const struct {
            int Kind;
            const char *Check, *FFFF, *OneTwoThree;
        } Rows[] = {
            {0, "DD", "FE", "06"},
            {1, "DD 01", "FE 01", "06 00"},
            {2, "01 DD", "01 FE", "00 06"},
            {3, "31", "00", "00"},
            {5, "37 4B", "00 00", ""},
            {6, "23", "02", "FA"},
            {7, "37 4B", "00 00", ""},
            {8, "31 C3", "1D 0F", ""},
            {9, "0B", "DB", "B7"},
        };
        for (const auto &R : Rows) {
            QTest::addRow("%d check", R.Kind) << Check << R.Kind << QString::fromLatin1(R.Check);
            QTest::addRow("%d FF FF", R.Kind) << "ff ff" << R.Kind << QString::fromLatin1(R.FFFF);
            if (*R.OneTwoThree)
                QTest::addRow("%d 01 02 03", R.Kind) << "01 02 03" << R.Kind << QString::fromLatin1(R.OneTwoThree);
        }
        QTest::newRow("modbus frame") << "01 03 00 00 00 0A" << 5 << "C5 CD";
        QTest::newRow("blanks around, odd digit") << "  01 02 3 " << 0 << "03";
        QTest::newRow("no bytes") << "" << 0 << "00";
    }
    void values()
    {
        QFETCH(QString, Text);
        QFETCH(int, Kind);
        QFETCH(QString, Checksum);
        QCOMPARE(QString::fromStdString(CalcChecksum(Text.toStdString(), TChecksumKind(Kind))), Checksum);
    }

    void lineBreakIsNoDigit()
    {
        try {
            CalcChecksum("01\n02", TChecksumKind::Sum);
            QFAIL("no error");
        } catch (const EConvertError &E) {
            QCOMPARE(QString::fromLatin1(E.what()), QStringLiteral("'$\n0' is not a valid integer value"));
        }
    }

    void kinds()
    {
        for (int P = -1; P <= 10; ++P)
            QCOMPARE(IsChecksumKind(P), P >= 0 && P <= 9 && P != 4);
    }
};

QTEST_GUILESS_MAIN(TestChecksum)
#include "tst_checksum.moc"
