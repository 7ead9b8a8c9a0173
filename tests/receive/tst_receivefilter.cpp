// Which received lines the filter lets through, and which grids the dialog
// may store.
#include "ReceiveFilter.h"
#include "SettingsRecord.h"

#include <QTest>

namespace {
struct TCondition {
    int32_t Byte;
    const char *Value;
};

TSettingsRecord Filter(std::initializer_list<TCondition> Rows, bool On = true)
{
    TSettingsRecord S;
    int Row = 0;
    for (const TCondition &C : Rows) {
        S.SetFilterByteNumber(Row, C.Byte);
        S.SetFilterValue(Row, C.Value);
        ++Row;
    }
    S.SetFilterOn(On);
    return S;
}
}  // namespace

class TestReceiveFilter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesPass_data()
    {
        QTest::addColumn<TSettingsRecord>("Settings");
        QTest::addColumn<QString>("Data");
        QTest::addColumn<bool>("Passes");
        const auto Two = Filter({{1, "01"}, {2, "03"}});
        QTest::newRow("both bytes match") << Two << "01 03 00 0A" << true;
        QTest::newRow("second byte differs") << Two << "01 04 00 0A" << false;
        QTest::newRow("first byte differs") << Two << "02 03 00 0A" << false;
        QTest::newRow("off shows all") << Filter({{1, "01"}}, false) << "02 03" << true;
        QTest::newRow("on, no rows") << Filter({}) << "02 03" << true;
        QTest::newRow("byte 5 of 4 bytes") << Filter({{5, "00"}}) << "01 03 00 0A" << false;
        QTest::newRow("byte 5 present") << Filter({{5, "A5"}}) << "01 03 00 0A A5" << true;
        QTest::newRow("last byte, no trailing blank") << Filter({{4, "0A"}}) << "01 03 00 0A" << true;
        QTest::newRow("empty value tests nothing") << Filter({{1, ""}}) << "02" << true;
        QTest::newRow("byte 0 tests nothing") << Filter({{0, "01"}}) << "02" << true;
        QTest::newRow("case sensitive") << Filter({{1, "A5"}}) << "a5" << false;
        QTest::newRow("empty line") << Filter({{1, "01"}}) << "" << false;
        // With ASCII receiving the characters as shown are compared.
        QTest::newRow("ascii OK vs 4F") << Filter({{1, "4F"}}) << "OK" << false;
        QTest::newRow("ascii 4F text") << Filter({{1, "4F"}}) << "4F and more" << true;
        // Numbers that would wrap round in 32 bits, or point before the line.
        QTest::newRow("huge byte number") << Filter({{INT32_MAX, "01"}}) << "01 01 01" << false;
        QTest::newRow("negative byte number") << Filter({{-2, "01"}}) << "01 01 01" << false;
    }
    void linesPass()
    {
        QFETCH(TSettingsRecord, Settings);
        QFETCH(QString, Data);
        QFETCH(bool, Passes);
        QCOMPARE(PassesReceiveFilter(Settings, Data.toStdString()), Passes);
    }

    void gridChecked_data()
    {
        QTest::addColumn<QString>("Byte");
        QTest::addColumn<QString>("Value");
        QTest::addColumn<int>("RefusedColumn");  // 0: accepted
        QTest::addColumn<int>("StoredByte");
        QTest::addColumn<QString>("StoredValue");
        QTest::newRow("upper-cased") << "3"
                                     << "a5" << 0 << 3 << "A5";
        QTest::newRow("empty byte clears row") << ""
                                               << "zz" << 0 << 0 << "";
        QTest::newRow("byte 0 is an empty row") << "0"
                                                << "12" << 0 << 0 << "";
        QTest::newRow("one digit") << "1"
                                   << "5" << 2 << 0 << "";
        QTest::newRow("blank inside") << "1"
                                      << "A 5" << 2 << 0 << "";
        QTest::newRow("three digits") << "1"
                                      << "0A5" << 2 << 0 << "";
        QTest::newRow("empty value") << "1"
                                     << "" << 2 << 0 << "";
        QTest::newRow("not hex") << "1"
                                 << "GG" << 2 << 0 << "";
        QTest::newRow("fraction") << "1.5"
                                  << "01" << 1 << 0 << "";
        QTest::newRow("letter") << "x"
                                << "01" << 1 << 0 << "";
        QTest::newRow("too large") << "99999999999"
                                   << "01" << 1 << 0 << "";
    }
    void gridChecked()
    {
        QFETCH(QString, Byte);
        QFETCH(QString, Value);
        QFETCH(int, RefusedColumn);
        QFETCH(int, StoredByte);
        QFETCH(QString, StoredValue);
        TFilterGrid Grid;
        Grid[0] = {"2", "01"};  // a valid row before the one under test
        Grid[2] = {Byte.toStdString(), Value.toStdString()};
        const TFilterCheck Check = CheckFilterGrid(Grid);
        if (RefusedColumn) {
            QVERIFY(!Check.Rows);
            QCOMPARE(Check.Refusal.Row, 2);
            QCOMPARE(Check.Refusal.Column, RefusedColumn);
            QCOMPARE(QString::fromLatin1(Check.Refusal.Text),
                QString::fromLatin1(RefusedColumn == 1 ? FilterNotInteger : FilterNotHex));
        } else {
            QVERIFY(Check.Rows);
            QCOMPARE((*Check.Rows)[0].ByteNumber, 2);
            QCOMPARE((*Check.Rows)[2].ByteNumber, StoredByte);
            QCOMPARE(QString::fromStdString((*Check.Rows)[2].Value), StoredValue);
        }
    }

    void firstRefusalIsReported()
    {
        TFilterGrid Grid;
        Grid[1] = {"1", "5"};
        Grid[3] = {"x", "01"};
        const TFilterCheck Check = CheckFilterGrid(Grid);
        QVERIFY(!Check.Rows);
        QCOMPARE(Check.Refusal.Row, 1);
        QCOMPARE(Check.Refusal.Column, 2);
    }
};

QTEST_GUILESS_MAIN(TestReceiveFilter)
#include "tst_receivefilter.moc"
