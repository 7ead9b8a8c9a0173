// The status bar and its 50 ms tick, with the real link (over the fake
// device, which has modem lines), the real data runtime and real views.
#include "FakeComDevice.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SettingsRecord.h"
#include "StatusBarMY.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The objects a main window would hand to the bar.
struct TRig {
    std::shared_ptr<TFakeComState> Device = std::make_shared<TFakeComState>();
    TQuillScomm Link {std::make_unique<TFakeComDevice>(Device)};
    TSettingsRecord Settings;
    TRichView SendView;
    TRichView ReceiveView;
    TRichView FindView;
    TDataRT Runtime {&SendView, &ReceiveView, &FindView, &Link, Settings};
    TStatusBarMY Bar;
    QString SendCaption = QStringLiteral("Send");
    int Applies = 0;

    TRig()
    {
        Link.Port.SetPort("fake0");
        Bar.Sources.Link = &Link;
        Bar.Sources.Runtime = &Runtime;
        Bar.Sources.Settings = &Settings;
        Bar.Sources.SetSendCaption = [this](const QString &Caption) { SendCaption = Caption; };
        Bar.Sources.ApplyOptions = [this] { ++Applies; };
    }

    QString PanelText(int I) const { return Bar.Panel(I)->text(); }
    QList<bool> SignalsOn() const
    {
        QList<bool> On;
        for (int S = 0; S < TStatusBarMY::SignalCount; ++S)
            On << Bar.SignalLabel(static_cast<TStatusBarMY::TSignal>(S))->isEnabled();
        return On;
    }
};

const QList<bool> AllOff {false, false, false, false, false};

}  // namespace

class TStatusBarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void designTextsAndNames();
    void nothingBeforeTheRuntime();
    void signalsClosedAreGrey();
    void signalsOpen_data();
    void signalsOpen();
    void countersUnsigned();
    void doubleClickResets();
    void caretReportMovesToSendCaption();
    void cycleAndTriggerReleased();
    void cycleReleasedWithinATick();
    void signalPanelFollowsWideWindow();
};

void TStatusBarTest::designTextsAndNames()
{
    TStatusBarMY Bar;
    const char *Texts[] = {"F1 for help", "TX: 65536 ", "RX: 65536", "Hex: Ln:     Col:     Sel:       ", ""};
    for (int I = 0; I < TStatusBarMY::PanelCount; ++I) {
        QCOMPARE(Bar.Panel(I)->text(), QLatin1String(Texts[I]));
        QCOMPARE(Bar.Panel(I)->accessibleName(), QLatin1String(Texts[I]));
    }
    const char *Signals[] = {"DTR", "RTS", "DSR", "CTS", "RLSD"};
    for (int S = 0; S < TStatusBarMY::SignalCount; ++S) {
        QLabel *Label = Bar.SignalLabel(static_cast<TStatusBarMY::TSignal>(S));
        QCOMPARE(Label->text(), QLatin1String(Signals[S]));
        QCOMPARE(Label->accessibleName(), QLatin1String(Signals[S]));
        QVERIFY(!Label->isEnabled());
    }
    QCOMPARE(Bar.SignalPanel()->size(), QSize(145, 20));
}

void TStatusBarTest::nothingBeforeTheRuntime()
{
    TRig Rig;
    Rig.Bar.Sources.Runtime = nullptr;
    Rig.Link.TxCount = 7;
    Rig.Settings.SetCycleSendOn(true);
    Rig.Bar.Tick();
    QCOMPARE(Rig.PanelText(1), QStringLiteral("TX: 65536 "));
    QVERIFY(Rig.Settings.CycleSendOn());
    QCOMPARE(Rig.Applies, 0);
}

void TStatusBarTest::signalsClosedAreGrey()
{
    // Whatever the DTR/RTS control and the last seen input flags say.
    TRig Rig;
    Rig.Link.Port.FlowControl().SetControlDTR(dtrEnable);
    Rig.Link.Port.FlowControl().SetControlRTS(rtsEnable);
    Rig.Link.CtsOn = true;
    Rig.Link.DsrOn = true;
    Rig.Link.RlsdOn = true;
    Rig.Bar.Tick();
    QCOMPARE(Rig.SignalsOn(), AllOff);
}

void TStatusBarTest::signalsOpen_data()
{
    QTest::addColumn<bool>("Dtr");
    QTest::addColumn<bool>("Rts");
    QTest::addColumn<uint>("Modem");
    QTest::addColumn<QList<bool>>("Expected");
    QTest::newRow("DTR set, lines quiet") << true << false << 0u << QList<bool> {true, false, false, false, false};
    QTest::newRow("RTS set, DSR and RLSD up")
        << false << true << uint(MS_DSR_ON | MS_RLSD_ON) << QList<bool> {false, true, true, false, true};
    QTest::newRow("all up") << true << true << uint(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON)
                            << QList<bool> {true, true, true, true, true};
    QTest::newRow("ring is not shown") << false << false << uint(MS_RING_ON) << AllOff;
}

void TStatusBarTest::signalsOpen()
{
    QFETCH(bool, Dtr);
    QFETCH(bool, Rts);
    QFETCH(uint, Modem);
    QFETCH(QList<bool>, Expected);
    TRig Rig;
    Rig.Device->SetModemStatus(Modem);
    Rig.Link.Port.FlowControl().SetControlDTR(Dtr ? dtrEnable : dtrDisable);
    Rig.Link.Port.FlowControl().SetControlRTS(Rts ? rtsEnable : rtsDisable);
    Rig.Link.OpenPort();
    Rig.Bar.Tick();
    QCOMPARE(Rig.SignalsOn(), Expected);

    // Dropping DTR while open shows at the next tick.
    Rig.Link.Port.FlowControl().SetControlDTR(dtrDisable);
    Rig.Bar.Tick();
    QVERIFY(!Rig.Bar.SignalLabel(TStatusBarMY::sigDTR)->isEnabled());

    Rig.Link.ClosePort();
    Rig.Bar.Tick();
    QCOMPARE(Rig.SignalsOn(), AllOff);
}

void TStatusBarTest::countersUnsigned()
{
    TRig Rig;
    Rig.Link.TxCount = 2147483648u;
    Rig.Link.RxCount = 4294967295u;
    Rig.Bar.Tick();
    QCOMPARE(Rig.PanelText(1), QStringLiteral("TX: 2147483648"));
    QCOMPARE(Rig.PanelText(2), QStringLiteral("RX: 4294967295"));
    QCOMPARE(Rig.Bar.Panel(2)->accessibleName(), QStringLiteral("RX: 4294967295"));
    // Wrapping past 2^32 starts again at 0.
    Rig.Link.RxCount += 2;
    Rig.Bar.Tick();
    QCOMPARE(Rig.PanelText(2), QStringLiteral("RX: 1"));
}

void TStatusBarTest::doubleClickResets()
{
    TRig Rig;
    Rig.Bar.resize(800, 24);
    Rig.Bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Rig.Bar));
    QSignalSpy Resets(&Rig.Bar, &TStatusBarMY::CountersReset);

    // On the bar, on a panel, on a greyed signal label: all reset.
    QWidget *Targets[] = {&Rig.Bar, Rig.Bar.Panel(1), Rig.Bar.SignalLabel(TStatusBarMY::sigCTS)};
    for (QWidget *Target : Targets) {
        Rig.Link.TxCount = 12;
        Rig.Link.RxCount = 3000000000u;
        Rig.Bar.Tick();
        QCOMPARE(Rig.PanelText(1), QStringLiteral("TX: 12"));
        QTest::mouseDClick(Target, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(Rig.Link.TxCount.load(), 0u);
        QCOMPARE(Rig.Link.RxCount.load(), 0u);
        Rig.Bar.Tick();
        QCOMPARE(Rig.PanelText(1), QStringLiteral("TX: 0"));
        QCOMPARE(Rig.PanelText(2), QStringLiteral("RX: 0"));
    }
    QCOMPARE(Resets.count(), 3);
}

void TStatusBarTest::caretReportMovesToSendCaption()
{
    QWidget Window;  // outlives the views it shows
    TRig Rig;
    Rig.ReceiveView.Append(QStringLiteral("[14:03:07  15] AA BB CC\n[14:03:07  16] 01 02\n"));
    Rig.SendView.setPlainText(QStringLiteral("hello\nworld"));
    auto *Layout = new QHBoxLayout(&Window);
    Layout->addWidget(&Rig.ReceiveView);
    Layout->addWidget(&Rig.SendView);
    Window.resize(800, 300);
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));

    // A click after "AA B" on line 1 of the receive view (hex receive).
    Rig.Runtime.ActiveView = &Rig.ReceiveView;
    Rig.ReceiveView.SetSelection(Rig.ReceiveView.LineStart(0) + 19, 0);
    const QPoint Caret = Rig.ReceiveView.cursorRect().center();
    QTest::mouseClick(Rig.ReceiveView.viewport(), Qt::LeftButton, {}, Caret);
    Rig.Bar.Tick();
    const QString ReceiveReport = QStringLiteral("Hex: Ln:1  Col:2  Sel:0");
    QCOMPARE(Rig.PanelText(3), ReceiveReport);
    QCOMPARE(Rig.Bar.Panel(3)->accessibleName(), ReceiveReport);
    QCOMPARE(Rig.SendCaption, QStringLiteral("Send"));

    // Clicking into the send view (ASCII send) moves the report to the send
    // window's caption; panel 3 keeps the receive view's last position.
    Rig.Link.HexSend = false;
    Rig.Runtime.ActiveView = &Rig.SendView;
    QTextCursor Cursor = Rig.SendView.textCursor();
    Cursor.setPosition(9);  // "wor" on line 2
    Rig.SendView.setTextCursor(Cursor);
    QTest::mouseClick(Rig.SendView.viewport(), Qt::LeftButton, {}, Rig.SendView.cursorRect().center());
    Rig.Bar.Tick();
    QCOMPARE(Rig.SendCaption, QStringLiteral("Send [Asc: Ln:2 Col:3 Sel:0]"));
    QCOMPARE(Rig.PanelText(3), ReceiveReport);

    // Back in the receive view: the caption keeps its last text.
    Rig.Runtime.ActiveView = &Rig.ReceiveView;
    Rig.Runtime.CursorLine = 2;
    Rig.Bar.Tick();
    QCOMPARE(Rig.SendCaption, QStringLiteral("Send [Asc: Ln:2 Col:3 Sel:0]"));
    QVERIFY(Rig.PanelText(3).startsWith(QStringLiteral("Asc: Ln:2  Col:")));
}

void TStatusBarTest::cycleAndTriggerReleased()
{
    TRig Rig;
    // Running: nothing changes.
    Rig.Settings.SetCycleSendOn(true);
    Rig.Settings.SetTimingTriggerOn(true);
    Rig.Settings.SetReceiveTriggerOn(true);
    Rig.Runtime.CycleTimer->start(1000);
    Rig.Runtime.TriggerOn = true;
    Rig.Bar.Tick();
    QVERIFY(Rig.Settings.CycleSendOn());
    QVERIFY(Rig.Settings.TimingTriggerOn());
    QCOMPARE(Rig.Applies, 0);

    // The core stops the triggers: both trigger flags clear, cycle stays.
    Rig.Runtime.TriggerOn = false;
    Rig.Bar.Tick();
    QVERIFY(!Rig.Settings.TimingTriggerOn());
    QVERIFY(!Rig.Settings.ReceiveTriggerOn());
    QVERIFY(Rig.Settings.CycleSendOn());
    QCOMPARE(Rig.Applies, 1);

    // The marks are released once, not on every tick after.
    Rig.Bar.Tick();
    QCOMPARE(Rig.Applies, 1);
    Rig.Runtime.CycleTimer->stop();
    Rig.Bar.Tick();
    QVERIFY(!Rig.Settings.CycleSendOn());
    QCOMPARE(Rig.Applies, 2);
    Rig.Bar.Tick();
    QCOMPARE(Rig.Applies, 2);
}

void TStatusBarTest::cycleReleasedWithinATick()
{
    // As the main window runs it: a 50 ms timer calls the tick, and the
    // release callback re-applies the options (here: the mark follows the flag).
    TRig Rig;
    bool CycleMark = true;
    Rig.Bar.Sources.ApplyOptions = [&] { CycleMark = Rig.Settings.CycleSendOn(); };
    QTimer Timer1;
    Timer1.setInterval(50);
    connect(&Timer1, &QTimer::timeout, &Rig.Bar, &TStatusBarMY::Tick);
    Rig.Settings.SetCycleSendOn(true);
    Rig.Runtime.CycleTimer->start(1000);
    Timer1.start();
    QTest::qWait(120);
    QVERIFY(CycleMark);
    Rig.Runtime.CycleTimer->stop();  // what a failed cycle send does
    QTRY_VERIFY_WITH_TIMEOUT(!CycleMark, 2000);
    QVERIFY(!Rig.Settings.CycleSendOn());
}

void TStatusBarTest::signalPanelFollowsWideWindow()
{
    QMainWindow Window;
    auto *Bar = new TStatusBarMY;
    Window.setStatusBar(Bar);
    Window.resize(800, 300);
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));

    // The rule counts the window's outer width, frame included.
    const int Frame = Window.frameGeometry().width() - Window.width();
    Window.resize(1000 - Frame, 300);
    QTRY_COMPARE(Window.frameGeometry().width(), 1000);
    QTRY_COMPARE(Bar->SignalPanel()->pos(), QPoint(1000 - 145 - 23, 2));
    Window.resize(700 - Frame, 300);
    QTRY_COMPARE(Bar->SignalPanel()->x(), 700 - 145 - 23);

    // At 665 or less the designed place (594) would leave labels off the
    // bar, and a panel left where a wider window put it would too: every
    // width the bar allows shows all five labels, over the last panel only.
    for (const int Width : {665, 660, 600, Bar->minimumSizeHint().width()}) {
        Window.resize(Width, 300);
        QTRY_COMPARE(Bar->width(), Width);
        const QRect Last(Bar->Panel(4)->mapTo(Bar, QPoint()), Bar->Panel(4)->size());
        for (int S = 0; S < TStatusBarMY::SignalCount; ++S) {
            const QLabel *Label = Bar->SignalLabel(static_cast<TStatusBarMY::TSignal>(S));
            const QRect At(Label->mapTo(Bar, QPoint()), Label->size());
            QVERIFY2(Bar->rect().contains(At), qPrintable(QStringLiteral("%1 at %2").arg(Label->text()).arg(Width)));
            QVERIFY2(At.left() >= Last.left(), qPrintable(QStringLiteral("%1 at %2").arg(Label->text()).arg(Width)));
        }
        for (int I = 0; I < TStatusBarMY::PanelCount; ++I)
            QVERIFY(Bar->rect().contains(QRect(Bar->Panel(I)->mapTo(Bar, QPoint()), Bar->Panel(I)->size())));
    }
}

QTEST_MAIN(TStatusBarTest)
#include "tst_statusbar.moc"
