// The plot's policy without a window: what numbers a line gives, how binary
// fields decode, the arrival clock, the rings, the reduction per pixel
// column, the series cap, the CSV and the kept settings.
#include "PlotData.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {
QString Values(std::string_view Line)
{
    std::vector<TTextValue> Out;
    ParseTextLine(Line, Out);
    QStringList Parts;
    for (const TTextValue &V : Out)
        Parts << QStringLiteral("%1=%2").arg(QString::fromStdString(V.Name)).arg(V.Value);
    return Parts.join(u' ');
}

std::string Bytes(std::initializer_list<int> List)
{
    std::string S;
    for (const int B : List)
        S.push_back(static_cast<char>(B));
    return S;
}
}  // namespace

class TestPlotData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textLinesGiveTheirNumbers_data()
    {
        QTest::addColumn<QString>("Line");
        QTest::addColumn<QString>("Expected");
        const std::pair<const char *, const char *> Cases[] = {
            {"1 2 3", "=1 =2 =3"},
            {"1,2;3\t4", "=1 =2 =3 =4"},
            {"  -1.5e3 ,, +7 .5 ", "=-1500 =7 =0.5"},
            {"temp:21.5 hum:40", "temp=21.5 hum=40"},
            {"temp: 21.5, hum: 40", "temp=21.5 hum=40"},
            {"a:1 5 b:2", "a=1 =5 b=2"},
            {"hello world", ""},
            {"", ""},
            // Not numbers: NaN and infinities, beyond the double range, hex,
            // trailing text, a bare sign.
            {"nan inf -inf NaN 1e999 -1e999 0x10 12abc - +", ""},
            {"x:nan y:1e400 z:3", "z=3"},
            // A huge integer is still a number; a tiny one becomes 0 or a
            // denormal, both finite.
            {"123456789012345678901234567890", "=1.23457e+29"},
            // A pair without a name, a name without a value.
            {":5 x: y", ""},
            // A name longer than a series name may be.
            {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa:1 b:2", "b=2"},
            // The last colon splits: a time-like name keeps its colons.
            {"t:12:5", "t:12=5"},
        };
        for (const auto &[Line, Expected] : Cases)
            QTest::newRow(Line) << QString::fromLatin1(Line) << QString::fromLatin1(Expected);
    }
    void textLinesGiveTheirNumbers()
    {
        QFETCH(QString, Line);
        QFETCH(QString, Expected);
        QCOMPARE(Values(Line.toStdString()), Expected);
    }

    // Received blocks end anywhere: lines are cut at CR and LF, an
    // unfinished one waits for the next block, an over-long one is dropped
    // whole and the line after it is read again.
    void receivedTextIsCutIntoLines()
    {
        TLineSplitter Splitter;
        QStringList Lines;
        const auto Take = [&](std::string_view L) { Lines << QString::fromLatin1(L.data(), qsizetype(L.size())); };
        Splitter.Add("1 2\r\n3", Take);
        Splitter.Add(" 4\n\n5", Take);
        QCOMPARE(Lines, QStringList({QStringLiteral("1 2"), QStringLiteral("3 4")}));
        QCOMPARE(Splitter.Pending(), std::size_t(1));
        Lines.clear();
        Splitter.Add(std::string(3 * MaxLineLength, '7'), Take);
        QVERIFY(Splitter.Pending() <= MaxLineLength);
        Splitter.Add("\n8\n", Take);
        QCOMPARE(Lines, QStringList({QStringLiteral("8")}));
    }

    void binaryFieldsDecode_data()
    {
        QTest::addColumn<QString>("List");
        QTest::addColumn<double>("Expected");
        QTest::addColumn<bool>("Ok");
        // Frame: 01 03 04 FF 38 00 0A 3F C0 00 00
        QTest::newRow("u8") << "0:u8" << 1.0 << true;
        QTest::newRow("i8 negative") << "3:i8" << -1.0 << true;
        QTest::newRow("u16be") << "3:u16be" << 65336.0 << true;
        QTest::newRow("i16be") << "3:i16be" << -200.0 << true;
        QTest::newRow("u16le") << "3:u16le" << double(0x38FF) << true;
        QTest::newRow("i16 scaled") << "3:i16be:0.1:5" << -15.0 << true;
        QTest::newRow("u32be") << "3:u32be" << double(0xFF38000Au) << true;
        QTest::newRow("i32be") << "3:i32be" << double(int32_t(0xFF38000Au)) << true;
        QTest::newRow("i32le") << "3:i32le" << double(int32_t(0x0A0038FF)) << true;
        QTest::newRow("f32be") << "7:f32be" << 1.5 << true;
        QTest::newRow("f32le") << "7:f32" << double(std::bit_cast<float>(uint32_t(0x0000C03F))) << true;
        QTest::newRow("last byte") << "10:u8" << 0.0 << true;
        QTest::newRow("past the end") << "10:u16" << 0.0 << false;
        QTest::newRow("far past") << "1000:u8" << 0.0 << false;
    }
    void binaryFieldsDecode()
    {
        QFETCH(QString, List);
        QFETCH(double, Expected);
        QFETCH(bool, Ok);
        std::vector<TBinaryField> Fields;
        QString Error;
        QVERIFY2(ParseFieldList(List, Fields, Error), qPrintable(Error));
        QCOMPARE(Fields.size(), std::size_t(1));
        const std::string Frame = Bytes({0x01, 0x03, 0x04, 0xFF, 0x38, 0x00, 0x0A, 0x3F, 0xC0, 0x00, 0x00});
        double Value = -12345;
        QCOMPARE(DecodeField(Frame, Fields[0], Value), Ok);
        if (Ok)
            QCOMPARE(Value, Expected);
    }

    // A NaN or infinite float is not a sample; a scale that overflows
    // neither.
    void nonFiniteFieldsAreNoSamples()
    {
        double Value = 0;
        const TBinaryField F {"f", 0, TFieldType::F32, true, 1, 0};
        QVERIFY(!DecodeField(Bytes({0x7F, 0xC0, 0x00, 0x00}), F, Value));
        QVERIFY(!DecodeField(Bytes({0x7F, 0x80, 0x00, 0x00}), F, Value));
        const TBinaryField Big {"u", 0, TFieldType::U32, false, 1e308, 0};
        QVERIFY(!DecodeField(Bytes({0xFF, 0xFF, 0xFF, 0xFF}), Big, Value));
    }

    void fieldListsAreReadOrRefused()
    {
        std::vector<TBinaryField> Fields;
        QString Error;
        QVERIFY(ParseFieldList(QStringLiteral(" temp = 3:I16BE:0.1:-40 ;\n 5:u8 ; "), Fields, Error));
        QCOMPARE(Fields.size(), std::size_t(2));
        QCOMPARE(Fields[0].Name, std::string("temp"));
        QCOMPARE(Fields[0].Offset, 3);
        QVERIFY(Fields[0].Type == TFieldType::I16 && Fields[0].BigEndian);
        QCOMPARE(Fields[0].Scale, 0.1);
        QCOMPARE(Fields[0].Add, -40.0);
        QCOMPARE(Fields[1].Name, std::string("5:u8"));
        for (const char *Bad : {"3", "x:u8", "-1:u8", "3:u24", "3:u8:abc", "3:u8:1:2:3", "3:u8:inf"}) {
            Fields = {TBinaryField {}};
            QVERIFY2(!ParseFieldList(QLatin1String(Bad), Fields, Error), Bad);
            QVERIFY(Error.contains(QLatin1String(Bad)));
            QCOMPARE(Fields.size(), std::size_t(1));  // left as it was
        }
        QString Many;
        for (int I = 0; I <= MaxSeries; ++I)
            Many += QStringLiteral("%1:u8;").arg(I);
        QVERIFY(!ParseFieldList(Many, Fields, Error));
    }

    // Seconds from the head, milliseconds from the gaps where they agree
    // with it; a gap of a second or more (" ---") is at least a second
    // after the last line; one that disagrees falls back to the head; midnight runs on; the clock never goes back.
    void arrivalTimeComesFromTheHeads()
    {
        TArrivalClock Clock;
        const double Start = 10 * 3600 + 5 * 60 + 7;
        QCOMPARE(Clock.Next("R[10:05:07 ---]x"), Start);
        QCOMPARE(Clock.Next("T[10:05:07 250]"), Start + 0.25);
        QCOMPARE(Clock.Next("R[10.05.07 500]"), Start + 0.75);  // another separator
        QCOMPARE(Clock.Next("R[10:05:08 400]"), Start + 1.15);
        QCOMPARE(Clock.Next("R[10:05:09 ---]"), Start + 2.15);  // a second after the last at least
        QCOMPARE(Clock.Next("R[10:05:20  10]"), Start + 13);    // the gap disagrees
        QCOMPARE(Clock.Next("garbage"), Start + 13);
        QCOMPARE(Clock.Next("R[10:05:19   0]"), Start + 13);  // never back
        TArrivalClock Night;
        QCOMPARE(Night.Next("R[23:59:59 ---]"), 86399.0);
        QCOMPARE(Night.Next("R[00:00:00 ---]"), 86400.0);
        QCOMPARE(TimeOfDayText(86400 + 3661.25), std::string("01:01:01.250"));
    }

    void ringsKeepTheNewestInOrder()
    {
        TSampleRing Ring(4);
        for (int I = 0; I < 10; ++I)
            Ring.Push(I, 10 * I);
        QCOMPARE(Ring.Size(), std::size_t(4));
        for (std::size_t I = 0; I < 4; ++I)
            QCOMPARE(Ring.At(I).X, double(6 + I));
        QCOMPARE(Ring.LowerBound(7.5), std::size_t(2));
        QCOMPARE(Ring.LowerBound(-1), std::size_t(0));
        QCOMPARE(Ring.LowerBound(100), std::size_t(4));
        Ring.Push(5, 0);  // an x that goes back is held at the last one
        QCOMPARE(Ring.At(3).X, 9.0);
        Ring.SetCapacity(2);
        QCOMPARE(Ring.Size(), std::size_t(2));
        QCOMPARE(Ring.At(0).X, 9.0);
        QCOMPARE(Ring.At(1).Y, 0.0);
        Ring.SetCapacity(8);
        Ring.Push(20, 1);
        QCOMPARE(Ring.Size(), std::size_t(3));
        QCOMPARE(Ring.At(2).X, 20.0);
    }

    // Each column holds the first, least, greatest and last of exactly the
    // samples that fall in it, as a plain pass over the samples finds them:
    // rings that wrapped or not, block summaries used or not (a capacity
    // that is no multiple of the block, the block being written); a million
    // samples give no more columns than pixels.
    void decimationKeepsEachColumnsExtremes_data()
    {
        QTest::addColumn<int>("Capacity");
        QTest::addColumn<int>("Pushed");
        QTest::addColumn<double>("X0");
        QTest::addColumn<double>("X1");
        QTest::addColumn<int>("Width");
        QTest::newRow("a million, no wrap") << 1000000 << 1000000 << 1234.5 << 987654.0 << 333;
        QTest::newRow("wrapped, odd capacity") << 1000 << 2537 << 0.0 << 3000.0 << 7;
        QTest::newRow("wrapped, part in view") << 1000 << 2537 << 1800.0 << 2300.0 << 50;
        QTest::newRow("more columns than samples") << 1000 << 2537 << 1500.0 << 2600.0 << 5000;
        QTest::newRow("block being written") << 640 << 700 << 0.0 << 800.0 << 3;
    }
    void decimationKeepsEachColumnsExtremes()
    {
        QFETCH(int, Capacity);
        QFETCH(int, Pushed);
        QFETCH(double, X0);
        QFETCH(double, X1);
        QFETCH(int, Width);
        TSampleRing Ring {std::size_t(Capacity)};
        for (int I = 0; I < Pushed; ++I)
            Ring.Push(I, std::sin(I * 0.001) * 100 + (I % 7 == 0 ? 50 : 0) - (I % 13 == 0 ? 70 : 0));
        std::vector<TColumn> Plain;
        for (std::size_t I = 0; I < Ring.Size(); ++I) {
            const TSample &S = Ring.At(I);
            if (S.X < X0 || S.X > X1)
                continue;
            const int Col = std::min(Width - 1, int((S.X - X0) * (Width / (X1 - X0))));
            if (Plain.empty() || Plain.back().Column != Col)
                Plain.push_back({Col, S.Y, S.Y, S.Y, S.Y});
            Plain.back().Low = std::min(Plain.back().Low, S.Y);
            Plain.back().High = std::max(Plain.back().High, S.Y);
            Plain.back().Last = S.Y;
        }
        std::vector<TColumn> Columns;
        Decimate(Ring, X0, X1, Width, Columns);
        QVERIFY(Columns.size() <= std::size_t(Width));
        QCOMPARE(Columns.size(), Plain.size());
        for (std::size_t I = 0; I < Plain.size(); ++I) {
            QCOMPARE(Columns[I].Column, Plain[I].Column);
            QCOMPARE(Columns[I].First, Plain[I].First);
            QCOMPARE(Columns[I].Low, Plain[I].Low);
            QCOMPARE(Columns[I].High, Plain[I].High);
            QCOMPARE(Columns[I].Last, Plain[I].Last);
        }
        Decimate(Ring, 5, 5, Width, Columns);
        QVERIFY(Columns.empty());
        Decimate(Ring, X0, X1, 0, Columns);
        QVERIFY(Columns.empty());
    }

    // Columns and pairs become series; a thousand names keep at most
    // MaxSeries and count the rest; an unfinished line waits; hex text is
    // read as its bytes.
    void textSeriesAppearAndAreCapped()
    {
        TPlotData Plot;
        Plot.Add("R[12:00:00 ---]", "1 2\n3 4\nte", false);
        Plot.Add("R[12:00:00 100]", "mp:5\n", false);
        QCOMPARE(Plot.Series().size(), std::size_t(3));
        QCOMPARE(Plot.Series()[0].Name, std::string("1"));
        QCOMPARE(Plot.Series()[0].Ring.Size(), std::size_t(2));
        QCOMPARE(Plot.Series()[2].Name, std::string("temp"));
        QCOMPARE(Plot.Series()[2].Ring.At(0).X, 2.0);      // the third sample
        Plot.Add("R[12:00:00 100]", "36 3A 37 0A", true);  // "6:7\n"
        QCOMPARE(Plot.Series().back().Name, std::string("6"));
        QCOMPARE(Plot.Series().back().Ring.At(0).Y, 7.0);

        Plot.Clear();
        std::string Many;
        for (int I = 0; I < 1000; ++I)
            Many += "n" + std::to_string(I) + ":" + std::to_string(I) + "\n";
        Plot.Add("R[12:00:00 ---]", Many, false);
        QCOMPARE(Plot.Series().size(), std::size_t(MaxSeries));
        QCOMPARE(Plot.LeftOut(), MaxSeries);  // "at least"
        Plot.Clear();
        Plot.Add("R[12:00:00 ---]", "a:1 b:2\n", false);
        QCOMPARE(Plot.LeftOut(), 0);
    }

    void binaryFramesGiveOneSampleEach()
    {
        TPlotData Plot;
        Plot.Format = TPlotFormat::Binary;
        QString Error;
        QVERIFY(ParseFieldList(QStringLiteral("reg=3:u16be; 9:u8"), Plot.Fields, Error));
        Plot.SetXAxis(TXAxis::Time);
        Plot.Add("R[08:00:00 ---]", "01 03 02 01 F4 B8 FA", true);
        Plot.Add("R[08:00:00 200]", "01 03 02 01 F5 79 3A", true);
        Plot.Add("R[08:00:00 200]", "01 03", true);  // too short: no sample
        QCOMPARE(Plot.Series().size(), std::size_t(1));
        const TSampleRing &R = Plot.Series()[0].Ring;
        QCOMPARE(R.Size(), std::size_t(2));
        QCOMPARE(R.At(0).Y, 500.0);
        QCOMPARE(R.At(1).Y, 501.0);
        QVERIFY(std::abs(R.At(1).X - R.At(0).X - 0.2) < 1e-9);
        QCOMPARE(Plot.Samples(), 2);
    }

    // Rows merge the series by x; a name with quotes is quoted; a
    // value missing in a row leaves its cell empty; time is a time of day.
    void csvHoldsEverySampleOnce()
    {
        TPlotData Plot;
        Plot.AddText("a:1 \"c\":2", 0);
        Plot.AddText("a:3", 0);
        Plot.AddText("a:0.1 \"c\":-4e-7", 0);
        QCOMPARE(QString::fromStdString(PlotCsv(Plot)),
            QStringLiteral("sample,a,\"\"\"c\"\"\"\r\n0,1,2\r\n1,3,\r\n2,0.1,-4e-07\r\n"));
        Plot.SetXAxis(TXAxis::Time);
        Plot.AddText("5", 3600.5);
        QCOMPARE(QString::fromStdString(PlotCsv(Plot)), QStringLiteral("time,1\r\n01:00:00.500,5\r\n"));
    }

    void settingsSurviveTheirKeys()
    {
        TPlotSettings S;
        S.Format = TPlotFormat::Binary;
        S.XAxis = TXAxis::Time;
        S.Fields = QStringLiteral("t=3:i16be:0.1");
        S.Window = TWindowKind::Seconds;
        S.WindowSize = 30;
        S.AutoScale = false;
        S.YMin = -2.5;
        S.YMax = 7;
        S.Capacity = 5000;
        S.Hidden = {QStringLiteral("a"), QStringLiteral("b c")};
        const TPlotSettings Back = TPlotSettings::FromMap(S.ToMap());
        QCOMPARE(Back.ToMap(), S.ToMap());
        // Damaged or missing keys keep the defaults.
        const QMap<QString, QString> Bad {{QStringLiteral("Format"), QStringLiteral("pie")},
            {QStringLiteral("WindowSize"), QStringLiteral("-3")}, {QStringLiteral("YMin"), QStringLiteral("9")},
            {QStringLiteral("YMax"), QStringLiteral("1")}, {QStringLiteral("Capacity"), QStringLiteral("1e12")}};
        QCOMPARE(TPlotSettings::FromMap(Bad).ToMap(), TPlotSettings().ToMap());
    }
};

QTEST_GUILESS_MAIN(TestPlotData)
#include "tst_plotdata.moc"
