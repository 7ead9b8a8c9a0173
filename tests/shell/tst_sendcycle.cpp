// Cycle send, the triggers and their settings dialog in the whole program,
// offscreen, on a socat cable whose far end the test reads and writes.
#include "ProgramRun.h"

#include "DataFolder.h"
#include "MilliClock.h"
#include "SendSteps.h"
#include "SendUnit.h"
#include "SetUnit.h"
#include "SettingsRecord.h"
#include "SocatPair.h"

#include <QCheckBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeEdit>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

// What the far end received within TimeoutMs (Count bytes at most), read
// while the program's event loop runs.
std::string ReadFar(TSocatPair &Cable, std::size_t Count, int TimeoutMs)
{
    std::string Got;
    QElapsedTimer Waited;
    Waited.start();
    while (Got.size() < Count && Waited.elapsed() < TimeoutMs) {
        pollfd P {Cable.Far(), POLLIN, 0};
        if (::poll(&P, 1, 0) > 0) {
            char Buffer[256];
            const ssize_t N = ::read(Cable.Far(), Buffer, std::min(sizeof Buffer, Count - Got.size()));
            if (N > 0)
                Got.append(Buffer, std::size_t(N));
            continue;
        }
        QTest::qWait(2);
    }
    return Got;
}

std::string Bytes(std::initializer_list<int> Values)
{
    std::string S;
    for (int V : Values)
        S += char(V);
    return S;
}

// The wall clock and the millisecond counter of the program, moved: the
// time of day starts at FakeStart, the counter just before it wraps.
uint32_t RealAtStart = 0;
QTime FakeStart;
QTime MovedTimeOfDay()
{
    return FakeStart.addMSecs(int(SystemMilliClock() - RealAtStart));
}
uint32_t MovedMilliClock()
{
    return SystemMilliClock() - RealAtStart + 0xFFFFFE00u;
}

}  // namespace

class TestSendCycle : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;
    QStringList Ports;

    void Open(TRun &Run, const QString &SendText)
    {
        QVERIFY(Run.OpenPort(QString::fromStdString(Cable->Near())));
        Run->SendForm->RichSend->setPlainText(SendText);
    }
    // The cycle panel through the send window's button: range or fixed
    // line, the interval, Enable; then "Ok".
    static void ConfirmCycle(TRun &Run, bool Range, const QString &First, const QString &Last, const QString &Fixed,
        const QString &Interval, bool On)
    {
        Run->SendForm->ToolButton2->trigger();
        TSetForm *Form = Run->SetForm;
        QVERIFY(Form->isVisible() && Form->Panel1->isVisible() && !Form->Panel3->isVisible());
        (Range ? Form->RadioButton2 : Form->RadioButton1)->click();
        Form->RadioButton5->setChecked(true);
        Form->Edit2->setText(Fixed);
        Form->Edit3->setText(First);
        Form->Edit4->setText(Last);
        Form->Edit10->setText(Interval);
        Form->CheckBox1->setChecked(On);
        Form->Button3->click();
        QVERIFY(!Form->isVisible());
    }

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
        Cable = std::make_unique<TSocatPair>();
        QVERIFY2(Cable->Start(), qPrintable(Cable->Error));
        Ports = {QString::fromStdString(Cable->Near())};
    }
    void cleanup()
    {
        SetMilliClock(nullptr);
        SetTimeOfDay(nullptr);
        Cable.reset();
        Home.reset();
    }

    void cycleSendsARangeAndResumesWhereItStopped()
    {
        TRun Run(Ports);
        Open(Run, QStringLiteral("01\n02\n03\n04\n05\n06"));
        ConfirmCycle(
            Run, true, QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("0"), QStringLiteral("5"), true);
        // Stored as confirmed: 0 as line 1, 5 ms as 20; the button follows.
        QCOMPARE(Run->Settings.CycleInterval(), 20u);
        QCOMPARE(Run->Settings.CycleFixedLine(), 1);
        QVERIFY(Run->Settings.CycleSendOn() && Run->SendForm->ToolButton2->isChecked());
        QCOMPARE(Run->DataRT()->CycleTimer->interval(), 20);
        QCOMPARE(ReadFar(*Cable, 6, 5000), Bytes({3, 4, 5, 3, 4, 5}));

        // Stopped and started again, it goes on after the last line sent.
        ConfirmCycle(
            Run, true, QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("1"), QStringLiteral("20"), false);
        QVERIFY(!Run->DataRT()->CycleTimer->isActive() && !Run->SendForm->ToolButton2->isChecked());
        std::string Sent = Bytes({5});
        for (std::string More = ReadFar(*Cable, 64, 300); !More.empty(); More = ReadFar(*Cable, 64, 300))
            Sent += More;
        const int Last = Sent.back();
        ConfirmCycle(
            Run, true, QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("1"), QStringLiteral("20"), true);
        QCOMPARE(ReadFar(*Cable, 1, 3000), Bytes({Last == 5 ? 3 : Last + 1}));

        // From 5 to 3: line 5 at every tick.
        ConfirmCycle(
            Run, true, QStringLiteral("5"), QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("20"), true);
        ReadFar(*Cable, 64, 100);
        QCOMPARE(ReadFar(*Cable, 3, 3000), Bytes({5, 5, 5}));
        QVERIFY(Run.Messages.List.isEmpty());
    }

    // The interface thread is held for over three intervals: the sends after
    // it keep the phase of those before it (a period counted from the late
    // send would put them half an interval off).
    void cycleKeepsItsScheduleAfterAStall()
    {
        TRun Run(Ports);
        Open(Run, QStringLiteral("55"));
        // Arrival times at the far end, on a thread of its own: the test's
        // thread is the interface thread that is held.
        std::mutex Lock;
        std::vector<double> At;
        std::atomic<bool> Stop {false};
        const auto Origin = std::chrono::steady_clock::now();
        std::thread Far([&] {
            while (!Stop) {
                pollfd P {Cable->Far(), POLLIN, 0};
                if (::poll(&P, 1, 5) <= 0)
                    continue;
                const double Now =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Origin).count();
                char Buffer[64];
                const ssize_t N = ::read(Cable->Far(), Buffer, sizeof Buffer);
                std::lock_guard<std::mutex> G(Lock);
                for (ssize_t I = 0; I < N; ++I)
                    At.push_back(Now);
            }
        });
        auto Arrived = [&] {
            std::lock_guard<std::mutex> G(Lock);
            return At.size();
        };
        constexpr double Interval = 100;
        ConfirmCycle(
            Run, false, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("100"), true);
        QTRY_VERIFY_WITH_TIMEOUT(Arrived() >= 6, 5000);
        // Held until three and a half intervals after the last send, so that a
        // period counted from the late send is as far off as it can be.
        double Last = 0;
        {
            std::lock_guard<std::mutex> G(Lock);
            Last = At.back();
        }
        const double Now = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Origin).count();
        QThread::msleep(static_cast<unsigned long>(std::max(0.0, Last + 3.5 * Interval - Now)));
        QTRY_VERIFY_WITH_TIMEOUT(Arrived() >= 12, 5000);
        ConfirmCycle(
            Run, false, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("100"), false);
        Stop = true;
        Far.join();

        // The phase of the sends before the stall; the first one after it is
        // the late one, due while the thread was held.
        std::size_t Held = 0;
        for (std::size_t I = 1; I < At.size() && Held == 0; ++I)
            if (At[I] - At[I - 1] > 2 * Interval)
                Held = I;
        QVERIFY2(Held >= 6, "no stall between two sends");
        double Phase = 0;
        for (std::size_t I = 0; I < Held; ++I)
            Phase += At[I] - double(I) * Interval;
        Phase /= double(Held);
        auto Off = [&](double T) { return std::remainder(T - Phase, Interval); };
        QString Offsets;
        double Worst = 0;
        for (std::size_t I = Held + 1; I < At.size(); ++I) {
            Offsets += QStringLiteral(" %1").arg(Off(At[I]), 0, 'f', 1);
            Worst = std::max(Worst, std::abs(Off(At[I])));
        }
        QVERIFY2(Worst < Interval / 4, qPrintable(QStringLiteral("ms off the schedule:") + Offsets));
    }

    void malformedFixedLineStopsTheCycleOnce()
    {
        TRun Run(Ports);
        Open(Run, QStringLiteral("01\n02\n03\n04\n05\n06\nhello"));
        ConfirmCycle(
            Run, false, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("7"), QStringLiteral("20"), true);
        QTRY_COMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Send"));
        QCOMPARE(Run.Messages.List[0].Text, QStringLiteral("Line 7 is not the right format."));
        QVERIFY(!Run->DataRT()->CycleTimer->isActive());
        // The status tick, woken by the stop, releases the button.
        QTRY_VERIFY(!Run->SendForm->ToolButton2->isChecked());
        QVERIFY(!Run->Settings.CycleSendOn() && !Run.Action("CycleItem")->isChecked());
        QTest::qWait(200);
        QCOMPARE(Run.Messages.List.size(), 1);
        QVERIFY(ReadFar(*Cable, 1, 100).empty());

        // With ASCII sending the same line is text.
        Run.Action("AsciiSendItem")->trigger();
        ConfirmCycle(
            Run, false, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("7"), QStringLiteral("20"), true);
        QCOMPARE(ReadFar(*Cable, 10, 3000), std::string("hellohello"));
        QCOMPARE(Run.Messages.List.size(), 1);
    }

    void receiveTriggerAnswersAfterItsDelay()
    {
        TRun Run(Ports);
        Open(Run, QStringLiteral("01 03 00 00 00 0A\nAA BB\nCC"));
        auto Confirm = [&](const QString &Delay) {
            Run->SendForm->ToolButton3->trigger();
            TSetForm *Form = Run->SetForm;
            QVERIFY(Form->Panel3->isVisible() && !Form->Panel1->isVisible());
            QCOMPARE(Form->windowTitle(), QStringLiteral("Send data conditionally"));
            // Two rows on the same pattern: the first one answers.
            Form->StringGrid2->item(0, 1)->setText(QStringLiteral("1"));
            Form->StringGrid2->item(0, 2)->setText(QStringLiteral("2"));
            Form->StringGrid2->item(1, 1)->setText(QStringLiteral("1"));
            Form->StringGrid2->item(1, 2)->setText(QStringLiteral("3"));
            Form->Edit1->setText(Delay);
            Form->CheckBox3->setChecked(true);
            Form->Button1->click();
            QVERIFY(Run->DataRT()->TriggerOn && Run->SendForm->ToolButton3->isChecked());
        };
        Confirm(QStringLiteral("150"));
        QElapsedTimer Since;
        Since.start();
        QVERIFY(Cable->WriteFar(Bytes({1, 3, 0, 0, 0, 0x0A})));
        QCOMPARE(ReadFar(*Cable, 2, 5000), Bytes({0xAA, 0xBB}));
        QVERIFY2(Since.elapsed() >= 150, qPrintable(QString::number(Since.elapsed())));
        QVERIFY(ReadFar(*Cable, 1, 400).empty());

        // A longer frame is no match.
        QVERIFY(Cable->WriteFar(Bytes({1, 3, 0, 0, 0, 0x0A, 0})));
        QVERIFY(ReadFar(*Cable, 1, 600).empty());

        // Another line before the delay is over drops the pending answer.
        Confirm(QStringLiteral("1000"));
        QVERIFY(Cable->WriteFar(Bytes({1, 3, 0, 0, 0, 0x0A})));
        QTest::qWait(300);
        QVERIFY(Cable->WriteFar(Bytes({0xFF})));
        QVERIFY(ReadFar(*Cable, 1, 1800).empty());
        QVERIFY(Run.Messages.List.isEmpty());
        // Waiting, the display tick sleeps: the trigger wakes itself.
        QVERIFY(!Run->DataRT()->DisplayTimer->isActive());
    }

    void timingTriggerFiresOnceAtItsSecond()
    {
        TRun Run(Ports);
        Open(Run, QStringLiteral("01\n02\n03"));
        Run->SendForm->ToolButton3->trigger();
        TSetForm *Form = Run->SetForm;
        Form->DateTimePicker1->setTime(QTime(12, 0, 0));
        Form->RadioButton3->setChecked(true);
        Form->RadioButton7->setChecked(true);
        Form->Edit6->setText(QStringLiteral("2"));
        Form->Edit9->setText(QStringLiteral("100"));
        Form->CheckBox2->setChecked(true);
        // The program's clocks: 300 ms before the trigger second, the
        // millisecond counter about to wrap.
        RealAtStart = SystemMilliClock();
        FakeStart = QTime(11, 59, 59, 700);
        SetTimeOfDay(&MovedTimeOfDay);
        SetMilliClock(&MovedMilliClock);
        Form->Button1->click();
        QCOMPARE(ReadFar(*Cable, 1, 3000), Bytes({2}));
        QVERIFY(MovedTimeOfDay() >= QTime(12, 0, 0, 100));
        // Not again in that second, nor in the seconds after it.
        QVERIFY(ReadFar(*Cable, 1, 1800).empty());
        QVERIFY(Run->DataRT()->TriggerOn);
        QVERIFY(!Run->DataRT()->DisplayTimer->isActive());
        QVERIFY(Run.Messages.List.isEmpty());
    }

    void refusedConfirmationChangesNothing_data()
    {
        QTest::addColumn<bool>("Trigger");
        QTest::addColumn<QString>("Box");
        QTest::addColumn<QString>("Text");
        QTest::addColumn<QString>("Message");
        QTest::newRow("cycle interval") << false << "Edit10"
                                        << "12a"
                                        << "'12a' is not a valid integer value";
        QTest::newRow("timing fixed line") << true << "Edit6"
                                           << "x"
                                           << "'x' is not a valid integer value";
        QTest::newRow("grid cell") << true << "StringGrid2"
                                   << "1.5"
                                   << "'1.5' is not a valid integer value";
        QTest::newRow("delay, read last") << true << "Edit1"
                                          << ""
                                          << "'' is not a valid integer value";
        QTest::newRow("cycle range from") << false << "Edit3"
                                          << "-3"
                                          << "'-3' is out of range for From (1 to 2147483647)";
        QTest::newRow("timing fixed line below 0") << true << "Edit6"
                                                   << " -1"
                                                   << "'-1' is out of range for Fixed Line (1 to 2147483647)";
        QTest::newRow("line to send 0") << true << "StringGrid2"
                                        << "0"
                                        << "'0' is out of range for Trig.Line (1 to 2147483647)";
        QTest::newRow("negative delay") << true << "Edit1"
                                        << "-7"
                                        << "'-7' is out of range for Trigger Delay (0 to 2147483647)";
    }
    void refusedConfirmationChangesNothing()
    {
        QFETCH(bool, Trigger);
        QFETCH(QString, Box);
        QFETCH(QString, Text);
        QFETCH(QString, Message);
        TRun Run(Ports);
        const auto Before = QByteArray(reinterpret_cast<const char *>(Run->Settings.Image().data()), 1296);
        (Trigger ? Run->SendForm->ToolButton3 : Run->SendForm->ToolButton2)->trigger();
        TSetForm *Form = Run->SetForm;
        // Valid changes in boxes read before the refused one.
        Form->RadioButton2->click();
        Form->Edit2->setText(QStringLiteral("9"));
        Form->Edit3->setText(QStringLiteral("4"));
        Form->CheckBox1->setChecked(true);
        Form->CheckBox2->setChecked(true);
        Form->Edit7->setText(QStringLiteral("6"));
        Form->StringGrid2->item(0, 1)->setText(QStringLiteral("2"));
        Form->StringGrid2->item(0, 2)->setText(QStringLiteral("3"));
        if (Box == QLatin1String("StringGrid2"))
            Form->StringGrid2->item(4, 2)->setText(Text);
        else
            Form->findChild<QLineEdit *>(Box)->setText(Text);
        (Trigger ? Form->Button1 : Form->Button3)->click();

        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Text, Message);
        QVERIFY(Form->isVisible());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(Run->Settings.Image().data()), 1296), Before);
        QVERIFY(!QFile::exists(DataFilePath()));
        QVERIFY(!Run->DataRT()->CycleTimer->isActive() && !Run->DataRT()->TriggerOn);
        // The options step of any command applies nothing unconfirmed.
        Run.Action("ShowSendingItem")->trigger();
        QVERIFY(!Run->DataRT()->CycleTimer->isActive() && !Run->DataRT()->TriggerOn);
        QCOMPARE(Run->DataRT()->CycleOptions.FixedLine, 0);
    }

    // A negative line number sent nothing, silently, while the button
    // showed cycle send running. Refused, whichever panel confirms.
    void negativeLineNumberIsRefusedOnEitherPanel()
    {
        TRun Run(Ports);
        Open(Run, QStringLiteral("01\n02\n03"));
        Run->SendForm->ToolButton2->trigger();
        TSetForm *Form = Run->SetForm;
        Form->RadioButton1->click();
        Form->RadioButton5->setChecked(true);
        Form->Edit2->setText(QStringLiteral("-3"));
        Form->Edit10->setText(QStringLiteral("20"));
        Form->CheckBox1->setChecked(true);
        Form->Button3->click();
        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Text, QStringLiteral("'-3' is out of range for Fixed Line (1 to 2147483647)"));
        QVERIFY(Form->isVisible() && Form->focusWidget() == Form->Edit2);
        QCOMPARE(Form->Edit2->selectedText(), QStringLiteral("-3"));
        QVERIFY(!Run->Settings.CycleSendOn() && !Run->SendForm->ToolButton2->isChecked());
        QVERIFY(!Run->DataRT()->CycleTimer->isActive());
        QCOMPARE(Run->Settings.CycleFixedLine(), 0);

        // The trigger panel's "Ok" reads the cycle panel too: the refused
        // box is brought back into view.
        Run->SendForm->ToolButton3->trigger();
        QVERIFY(Form->Panel3->isVisibleTo(Form) && !Form->Panel1->isVisibleTo(Form));
        Form->Button1->click();
        QCOMPARE(Run.Messages.List.size(), 2);
        QCOMPARE(Run.Messages.List[1].Text, Run.Messages.List[0].Text);
        QVERIFY(Form->Panel1->isVisibleTo(Form) && !Form->Panel3->isVisibleTo(Form));
        QCOMPARE(Form->focusWidget(), Form->Edit2);
        QVERIFY(!Run->DataRT()->CycleTimer->isActive());
        QVERIFY(ReadFar(*Cable, 1, 100).empty());

        // Mended, it runs.
        Form->Edit2->setText(QStringLiteral("2"));
        Form->Button3->click();
        QVERIFY(!Form->isVisible());
        QCOMPARE(ReadFar(*Cable, 2, 3000), Bytes({2, 2}));
        QVERIFY(Run->SendForm->ToolButton2->isChecked());
        QCOMPARE(Run.Messages.List.size(), 2);
    }

    void settingsSurviveARestartWithTheirSwitchesOff()
    {
        {
            TRun Run(Ports);
            Run->SendForm->ToolButton3->trigger();
            TSetForm *Form = Run->SetForm;
            Form->RadioButton2->click();
            Form->Edit3->setText(QStringLiteral("2"));
            Form->Edit4->setText(QStringLiteral("0"));
            Form->Edit10->setText(QStringLiteral("250"));
            Form->CheckBox1->setChecked(true);
            Form->DateTimePicker1->setTime(QTime(8, 30, 5));
            Form->RadioButton8->setChecked(true);
            Form->Edit7->setText(QStringLiteral("4"));
            Form->Edit8->setText(QStringLiteral("6"));
            Form->Edit9->setText(QStringLiteral("19"));
            Form->CheckBox2->setChecked(true);
            Form->StringGrid2->item(0, 1)->setText(QStringLiteral("3"));
            Form->StringGrid2->item(0, 2)->setText(QStringLiteral("4"));
            // No line to send: the row is stored empty.
            Form->StringGrid2->item(1, 1)->setText(QStringLiteral("5"));
            Form->Edit1->setText(QStringLiteral("0"));
            Form->CheckBox3->setChecked(true);
            Form->Button1->click();
            QVERIFY(QFile::exists(DataFilePath()));
            QVERIFY(Run->SendForm->ToolButton2->isChecked() && Run->SendForm->ToolButton3->isChecked());
            QVERIFY(Run->DataRT()->CycleTimer->isActive() && Run->DataRT()->TriggerOn);
        }
        TRun Run(Ports);
        const TSettingsRecord &S = Run->Settings;
        QVERIFY(!S.CycleSendOn() && !S.TimingTriggerOn() && !S.ReceiveTriggerOn());
        QVERIFY(!Run->SendForm->ToolButton2->isChecked() && !Run->SendForm->ToolButton3->isChecked());
        QCOMPARE(std::tuple(S.CycleMode(), S.CycleRangeFirst(), S.CycleRangeLast(), S.CycleInterval()),
            std::tuple(uint8_t(1), 2, 1, 250u));
        QCOMPARE(TriggerTimeOfDay(S.TriggerTime()), QTime(8, 30, 5));
        QCOMPARE(std::tuple(S.TimingMode(), S.TimingRangeFirst(), S.TimingRangeLast(), S.TimingInterval()),
            std::tuple(uint8_t(1), 4, 6, 20u));
        QCOMPARE(std::tuple(S.TriggerRecLine(0), S.TriggerTrigLine(0), S.TriggerRecLine(1)), std::tuple(3, 4, 0));
        QCOMPARE(S.TriggerDelay(), 0u);

        // The dialog shows them; the switches are off.
        Run->SendForm->ToolButton3->trigger();
        TSetForm *Form = Run->SetForm;
        QVERIFY(Form->RadioButton2->isChecked() && Form->Edit3->isEnabled() && !Form->Edit2->isEnabled());
        QCOMPARE(Form->Edit4->text(), QStringLiteral("1"));
        QCOMPARE(Form->DateTimePicker1->time(), QTime(8, 30, 5));
        QVERIFY(Form->RadioButton8->isChecked());
        QCOMPARE(Form->Edit9->text(), QStringLiteral("20"));
        QVERIFY(!Form->CheckBox1->isChecked() && !Form->CheckBox2->isChecked() && !Form->CheckBox3->isChecked());
        QCOMPARE(Form->StringGrid2->item(0, 2)->text(), QStringLiteral("4"));
        QVERIFY(Form->StringGrid2->item(1, 1)->text().isEmpty() && Form->StringGrid2->item(1, 2)->text().isEmpty());
        // Cancel stores nothing.
        Form->Edit9->setText(QStringLiteral("777"));
        Form->Button2->click();
        QVERIFY(!Form->isVisible());
        QCOMPARE(S.TimingInterval(), 20u);
    }

    void dialogAtThePointerReachableByName()
    {
        TRun Run(Ports);
        TSetForm *Form = Run->SetForm;
        const QRect Screen = Run->screen()->geometry();
        QCursor::setPos(Screen.left() + 100, Screen.bottom() - 100);
        Run->SendForm->ToolButton2->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(Form));
        QCOMPARE(Form->windowTitle(), QStringLiteral("Cycle to Send data"));
        QVERIFY(Form->width() >= TSetForm::CycleSize.width() && Form->height() >= TSetForm::CycleSize.height());
        QCOMPARE(Form->frameGeometry().left(), Screen.left() + 100);
        QCOMPARE(Form->frameGeometry().bottom() + 1, Screen.bottom() - 100 - 20);
        Form->Button4->click();

        // Near the right edge and the top: kept on the screen.
        QCursor::setPos(Screen.right() - 10, Screen.top() + 10);
        Run->SendForm->ToolButton3->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(Form));
        QVERIFY(Form->width() >= TSetForm::TriggerSize.width() && Form->height() >= TSetForm::TriggerSize.height());
        QCOMPARE(Form->frameGeometry().right(), Screen.right());
        QCOMPARE(Form->frameGeometry().top(), 0);

        // Every control under its caption.
        for (QWidget *W : Form->findChildren<QWidget *>()) {
            if (!W->inherits("QAbstractButton") && !W->inherits("QLineEdit") && !W->inherits("QAbstractSpinBox") &&
                !W->inherits("QTableWidget"))
                continue;
            // Parts of Qt's own controls (the spin box's line, the grid's
            // corner) are reached through their control.
            if (W->objectName().isEmpty() || W->objectName().startsWith(QLatin1String("qt_")))
                continue;
            QVERIFY2(!AccessibleName(W).isEmpty(), qPrintable(W->objectName()));
        }
        QCOMPARE(AccessibleName(Form->Edit1), QStringLiteral("Trigger Delay: ms"));
        QCOMPARE(AccessibleName(Form->StringGrid2), QStringLiteral("Trigger List"));
        QCOMPARE(AccessibleName(Form->CheckBox3), QStringLiteral("Enable"));

        // The grid's cells take typing; its numbers and header stay.
        QTableWidget *Grid = Form->StringGrid2;
        QCOMPARE(Grid->horizontalHeaderItem(1)->text(), QStringLiteral("Rec.Line"));
        QCOMPARE(Grid->item(9, 0)->text(), QStringLiteral("10"));
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form));
        Grid->setFocus();
        // A cell made current opens for typing, as the arrow keys and Tab
        // move into it.
        Grid->setCurrentCell(2, 1);
        auto *Editor = qobject_cast<QLineEdit *>(Grid->indexWidget(Grid->currentIndex()));
        QVERIFY(Editor);
        QTest::keyClicks(Editor, QStringLiteral("12"));
        QTest::keyClick(Editor, Qt::Key_Tab);
        QTRY_COMPARE(Grid->item(2, 1)->text(), QStringLiteral("12"));
        QVERIFY(!(Grid->item(2, 0)->flags() & Qt::ItemIsEditable));
    }
};

QTEST_MAIN(TestSendCycle)
#include "tst_sendcycle.moc"
