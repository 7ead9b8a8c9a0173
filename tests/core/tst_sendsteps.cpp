// Cycle send and the triggers on clocks the test moves: which line goes out
// at which moment, and when each one wants the thread woken.
#include "AppCommon.h"
#include "MilliClock.h"
#include "QuillScomm.h"
#include "SendSteps.h"

#include <QtTest>

#include <map>

namespace {

uint32_t FakeTick = 0;
QTime FakeTime;
uint32_t FakeMilliClock()
{
    return FakeTick;
}
QTime FakeTimeOfDay()
{
    return FakeTime;
}

// A send view of numbered lines; "sent" lists 1-based numbers, 0 for the
// caret line. A line that is not hex text is refused as the link refuses it.
class TFakeTarget : public TSendTarget {
public:
    std::map<int, std::string> Lines;
    QList<int> Sent;
    int Caret = 0;
    void SendLine(int Index) override
    {
        const std::string Text = LineText(Index);
        if (!Text.empty() && !IsHexText(Text))
            throw ECom("not hex");
        if (Index >= 0)
            Sent << Index + 1;
    }
    void SendCaretLine() override { Sent << 0; }
    int CaretLine() override { return Caret; }
    std::string LineText(int Index) override
    {
        const auto It = Lines.find(Index + 1);
        return It == Lines.end() ? std::string() : It->second;
    }
};

}  // namespace

class TestSendSteps : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        SetMilliClock(&FakeMilliClock);
        SetTimeOfDay(&FakeTimeOfDay);
        // Close to the wrap of the 32-bit counter: every wait must be an
        // unsigned difference.
        FakeTick = 0xFFFFFC00u;
    }
    void cleanup()
    {
        SetMilliClock(nullptr);
        SetTimeOfDay(nullptr);
    }

    void cycleRange_data()
    {
        QTest::addColumn<int>("First");
        QTest::addColumn<int>("Last");
        QTest::addColumn<uint>("Cursor");
        QTest::addColumn<QList<int>>("Sent");
        QTest::newRow("3 to 5 repeats") << 3 << 5 << 0u << QList<int> {3, 4, 5, 3, 4, 5, 3};
        QTest::newRow("5 to 3 sends 5") << 5 << 3 << 0u << QList<int> {5, 5, 5};
        QTest::newRow("resumes where it stood") << 3 << 5 << 5u << QList<int> {5, 3, 4};
        QTest::newRow("range moved past the cursor") << 10 << 12 << 4u << QList<int> {10, 11, 12, 10};
        QTest::newRow("range moved below the cursor") << 1 << 2 << 7u << QList<int> {1, 2, 1};
    }
    void cycleRange()
    {
        QFETCH(int, First);
        QFETCH(int, Last);
        QFETCH(uint, Cursor);
        QFETCH(QList<int>, Sent);
        TFakeTarget Target;
        TCycleOptions Options;
        Options.Mode = 1;
        Options.RangeFirst = First;
        Options.RangeLast = Last;
        uint32_t Index = Cursor;
        for (int I = 0; I < Sent.size(); ++I)
            QVERIFY(!CycleStep(Options, Index, Target));
        QCOMPARE(Target.Sent, Sent);
    }

    void cycleFailureNamesTheLine()
    {
        TFakeTarget Target;
        Target.Lines = {{3, "01"}, {4, "hello"}, {7, "hello"}};
        TCycleOptions Options;
        Options.FixedLine = 7;
        uint32_t Index = 0;
        auto Failure = CycleStep(Options, Index, Target);
        QVERIFY(Failure);
        QCOMPARE(Failure->Kind, TStepFailure::Refusal);
        QCOMPARE(Failure->Text, QStringLiteral("Line 7 is not the right format."));

        // In a range the cursor stays on the refused line: mended, it goes
        // out first. Empty and missing lines are no error.
        Options.Mode = 1;
        Options.RangeFirst = 3;
        Options.RangeLast = 6;
        QVERIFY(!CycleStep(Options, Index, Target));
        Failure = CycleStep(Options, Index, Target);
        QVERIFY(Failure);
        QCOMPARE(Failure->Text, QStringLiteral("Line 4 is not the right format."));
        Target.Lines[4] = "04";
        QVERIFY(!CycleStep(Options, Index, Target));
        QVERIFY(!CycleStep(Options, Index, Target));
        QCOMPARE(Target.Sent, (QList<int> {3, 4, 5}));

        // The caret line is named by the caret's line.
        Options.Mode = 0;
        Options.LineChoice = 1;
        Target.Caret = 8;
        QVERIFY(!CycleStep(Options, Index, Target));
        QCOMPARE(Target.Sent.last(), 0);
        QVERIFY(!TrySend(9, [] { throw ESendBusy("busy"); }));
        QVERIFY(TrySend(9, [] { throw std::runtime_error("gone"); })->Kind == TStepFailure::Error);
    }

    void timingTrigger_data()
    {
        QTest::addColumn<int>("Mode");
        QTest::addColumn<int>("First");
        QTest::addColumn<int>("Last");
        QTest::addColumn<int>("Interval");
        // Milliseconds after the trigger second began at which a line went
        // out, and its number.
        QTest::addColumn<QList<int>>("At");
        QTest::addColumn<QList<int>>("Sent");
        QTest::newRow("fixed line once") << 0 << 0 << 0 << 500 << QList<int> {500} << QList<int> {2};
        QTest::newRow("range at an interval")
            << 1 << 4 << 6 << 1000 << QList<int> {1000, 2000, 3000} << QList<int> {4, 5, 6};
        QTest::newRow("range 6 to 4") << 1 << 6 << 4 << 200 << QList<int> {} << QList<int> {};
    }
    void timingTrigger()
    {
        QFETCH(int, Mode);
        QFETCH(int, First);
        QFETCH(int, Last);
        QFETCH(int, Interval);
        QFETCH(QList<int>, At);
        QFETCH(QList<int>, Sent);
        TFakeTarget Target;
        TTriggerOptions Options;
        Options.TimingTriggerOn = true;
        Options.TriggerTime = TriggerTimeValue(QTime(12, 0, 0)) + 46000;  // any date
        Options.TimingMode = uint8_t(Mode);
        Options.TimingFixedLine = 2;
        Options.TimingRangeFirst = First;
        Options.TimingRangeLast = Last;
        Options.TimingInterval = uint32_t(Interval);
        bool On = true;
        int32_t RxState = 0;
        TTriggerSend Trigger(Target, Options, On, RxState);

        // Armed before the second: asleep until its boundary.
        const QTime Second(12, 0, 0);
        FakeTime = Second.addMSecs(-600);
        Trigger.OptionsChanged();
        Trigger.TimingStep();
        QCOMPARE(Trigger.TimingState, int(TTriggerSend::Armed));
        QCOMPARE(Trigger.TimingWait(), 600);

        // Stepping every 50 ms over five seconds, as a wake could come at
        // any moment: lines go out only when the interval is over.
        const uint32_t Start = FakeTick + 600;
        QList<int> SentAt;
        for (int Ms = -550; Ms <= 5000; Ms += 50) {
            FakeTime = Second.addMSecs(Ms);
            FakeTick = Start + uint32_t(Ms);
            const auto Before = Target.Sent.size();
            Trigger.TimingStep();
            if (Target.Sent.size() != Before)
                SentAt << Ms;
            const int Wait = Trigger.TimingWait();
            if (Trigger.TimingState == TTriggerSend::Firing)
                QVERIFY(Wait <= Interval);
            else
                QCOMPARE(Wait, 1000 - FakeTime.msec());
        }
        QCOMPARE(Target.Sent, Sent);
        QCOMPARE(SentAt, At);
        // The same second the next day fires again.
        QVERIFY(Trigger.TimingState == TTriggerSend::Armed);
    }

    void receiveTrigger()
    {
        TFakeTarget Target;
        Target.Lines = {{1, "01 03 00 00 00 0a"}, {2, "AA"}, {3, "BB"}, {4, "o k"}, {5, "CC"}};
        TTriggerOptions Options;
        Options.ReceiveTriggerOn = true;
        Options.TriggerDelay = 100;
        // Rows: a pattern past the end (never matches), two rows on line 1,
        // the text pattern.
        Options.RecLine[0] = 9;
        Options.TrigLine[0] = 5;
        Options.RecLine[2] = 1;
        Options.TrigLine[2] = 2;
        Options.RecLine[3] = 1;
        Options.TrigLine[3] = 3;
        Options.RecLine[5] = 4;
        Options.TrigLine[5] = 5;
        bool On = true;
        int32_t RxState = 0;
        TTriggerSend Trigger(Target, Options, On, RxState);
        auto Take = [&](const std::string &Data) {
            RxState = 1;  // as the display tick does for any line
            Trigger.LineTaken(Data);
        };

        // A longer frame is no match; the matching one waits for its delay,
        // then the first matching row's line goes out.
        Take("01 03 00 00 00 0A 00");
        QCOMPARE(RxState, 1);
        QCOMPARE(Trigger.ReceiveWait(), -1);
        Take("01 03 00 00 00 0A");
        QCOMPARE(RxState, 2);
        QCOMPARE(Trigger.RxTriggerRow, 3);
        QCOMPARE(Trigger.ReceiveWait(), 100);
        FakeTick += 99;
        Trigger.ReceiveStep();
        QVERIFY(Target.Sent.isEmpty());
        QCOMPARE(Trigger.ReceiveWait(), 1);
        FakeTick += 1;
        Trigger.ReceiveStep();
        QCOMPARE(Target.Sent, QList<int> {2});
        QCOMPARE(RxState, 0);

        // Another line before the delay is over drops the pending send.
        Take("01030000000A");
        FakeTick += 50;
        Take("FF");
        QCOMPARE(Trigger.ReceiveWait(), -1);
        FakeTick += 100;
        Trigger.ReceiveStep();
        QCOMPARE(Target.Sent, QList<int> {2});

        // Text, letter case and blanks aside; a sent line (no data) is no
        // match either.
        Take("");
        QCOMPARE(RxState, 1);
        Take("OK");
        QCOMPARE(Trigger.RxTriggerRow, 6);
        FakeTick += 100;
        Trigger.ReceiveStep();
        QCOMPARE(Target.Sent, (QList<int> {2, 5}));

        // Switched off while waiting, it waits on; on again, it sends.
        Take("01 03 00 00 00 0A");
        On = false;
        FakeTick += 500;
        Trigger.ReceiveStep();
        QCOMPARE(Target.Sent.size(), 2);
        QCOMPARE(Trigger.ReceiveWait(), -1);
        On = true;
        QCOMPARE(Trigger.ReceiveWait(), 0);
        Trigger.ReceiveStep();
        QCOMPARE(Target.Sent, (QList<int> {2, 5, 2}));
    }

    void failedTriggerSendStopsBoth()
    {
        TFakeTarget Target;
        Target.Lines = {{1, "AA"}, {2, "hello"}};
        TTriggerOptions Options;
        Options.ReceiveTriggerOn = true;
        Options.TimingTriggerOn = true;
        Options.TriggerTime = TriggerTimeValue(QTime(3, 0, 0));
        Options.RecLine[0] = 1;
        Options.TrigLine[0] = 2;
        bool On = true;
        int32_t RxState = 1;
        TTriggerSend Trigger(Target, Options, On, RxState);
        QList<TStepFailure> Told;
        Trigger.Failed = [&](const TStepFailure &F) {
            // Stopped before the user is told.
            QVERIFY(!On);
            Told << F;
        };
        FakeTime = QTime(1, 0, 0);
        Trigger.LineTaken("aa");
        QCOMPARE(Trigger.ReceiveWait(), 0);
        Trigger.ReceiveStep();
        QCOMPARE(Told.size(), 1);
        QCOMPARE(Told[0].Text, QStringLiteral("Line 2 is not the right format."));
        QCOMPARE(RxState, 0);
        QCOMPARE(Trigger.TimingWait(), -1);
        QCOMPARE(Trigger.ReceiveWait(), -1);
    }

    void timeTexts()
    {
        QCOMPARE(TriggerTimeOfDay(0.0), QTime(0, 0));
        QCOMPARE(TriggerTimeOfDay(46000.5), QTime(12, 0));
        QCOMPARE(TriggerTimeOfDay(-1.25), QTime(6, 0));
        QCOMPARE(TriggerTimeOfDay(TriggerTimeValue(QTime(23, 59, 59))), QTime(23, 59, 59));
        // Whole seconds decide, in the user's locale.
        QCOMPARE(TimeText(QTime(8, 30, 0, 1)), TimeText(QTime(8, 30, 0, 999)));
        QVERIFY(TimeText(QTime(8, 30, 0)) != TimeText(QTime(8, 30, 1)));
    }
};

QTEST_GUILESS_MAIN(TestSendSteps)
#include "tst_sendsteps.moc"
