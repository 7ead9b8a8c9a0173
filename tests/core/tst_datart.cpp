// The data runtime through real parts: three real views in a window
// (offscreen), a real link with its reader thread on a socat pseudo-terminal,
// the settings record for the colours. Message boxes and the converter
// pop-up are captured through their interfaces.
#include "AppCommon.h"
#include "FakeComDevice.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "RuntimeSteps.h"
#include "SendClass.h"
#include "SettingsRecord.h"
#include "SocatPair.h"
#include "UndrainedPty.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QThread>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

struct TMessage {
    QWidget *Owner;
    QString Caption;
    QString Text;
};

class TCapturedMessages : public TRuntimeMessages {
public:
    void Warning(QWidget *Owner, const QString &Caption, const QString &Text) override
    {
        Warnings.push_back({Owner, Caption, Text});
    }
    void StandardError(const QString &Text) override { Errors << Text; }
    std::vector<TMessage> Warnings;
    QStringList Errors;
};

class TCapturedPopUp : public TPopUpTarget {
public:
    void ShowValues(const QString &D, const QString &B, const QPoint &At) override
    {
        ++Shown;
        Dec = D;
        Bin = B;
        MouseGlobal = At;
    }
    int Shown = 0;
    QString Dec;
    QString Bin;
    QPoint MouseGlobal;
};

// The runs of one line of a view: text and colour of each.
QList<QPair<QString, QRgb>> Runs(const TRichView &View, int Line)
{
    QList<QPair<QString, QRgb>> List;
    const QTextBlock Block = View.document()->findBlockByNumber(Line);
    for (auto It = Block.begin(); !It.atEnd(); ++It) {
        const QTextFragment F = It.fragment();
        List.append({F.text(), F.charFormat().foreground().color().rgb()});
    }
    return List;
}

QRgb Rgb(uint32_t Value)
{
    return qRgb(int(Value & 0xFF), int((Value >> 8) & 0xFF), int((Value >> 16) & 0xFF));
}

// Point in a view's viewport at the caret position Position.
QPoint PointAt(TRichView &View, int Position)
{
    QTextCursor C(View.document());
    C.setPosition(Position);
    const QRect R = View.cursorRect(C);
    return QPoint(R.left(), R.center().y());
}

}  // namespace

class TestDataRT : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void DrainsOneLinePerTick_data();
    void DrainsOneLinePerTick();
    void ColourReadAtEveryDisplay();
    void HiddenSendLinesStillSetTriggerState();
    void PauseDropsReceivedLines();
    void FocusLeavesReceiveView();
    void NulCharacterKeepsItsLine();
    void TimerDrainsQueue();

    void SendCaretLine_data();
    void SendCaretLine();
    void SendLineIndexAndClosedPort();
    void SendCurrentLineMessage();
    void SendCurrentLineWhileTheBacklogIsFull();
    void WriteFailureToldOneBoxAtATime();
    void HooksAndOptions();

    void CursorReportByMouse();
    void SelectionByMouseMove();
    void CtrlReleasePopUp();

private:
    // Waits until Count lines wait in the link's queue.
    bool WaitQueued(std::size_t Count, int TimeoutMs = 5000);
    std::size_t Queued();
    // An R line of Bytes through the real port and reader thread.
    bool Receive(const std::string &Bytes);
    // Waits until the link's writer has written (and echoed) all it was given.
    bool Sent(int TimeoutMs = 5000);

    TSocatPair Pair;
    std::unique_ptr<TQuillScomm> Link;
    std::unique_ptr<TQuillComThread> Reader;
    TSettingsRecord Settings;
    QWidget Window;
    TRichView *Send = nullptr;
    TRichView *Show = nullptr;
    TRichView *Find = nullptr;
    QPushButton *ColourButton = nullptr;
    std::unique_ptr<TDataRT> Rt;
    TCapturedMessages Messages;
    TCapturedPopUp PopUp;
};

std::size_t TestDataRT::Queued()
{
    return Link->QueuedLines();
}

bool TestDataRT::WaitQueued(std::size_t Count, int TimeoutMs)
{
    QElapsedTimer T;
    T.start();
    while (Queued() < Count) {
        if (T.elapsed() > TimeoutMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

bool TestDataRT::Sent(int TimeoutMs)
{
    QElapsedTimer T;
    T.start();
    while (Link->Sending()) {
        if (T.elapsed() > TimeoutMs)
            return false;
        QThread::msleep(2);
    }
    return true;
}

bool TestDataRT::Receive(const std::string &Bytes)
{
    const std::size_t Before = Queued();
    return Pair.WriteFar(Bytes) && WaitQueued(Before + 1);
}

void TestDataRT::initTestCase()
{
    QVERIFY2(Pair.Start(), qPrintable(Pair.Error));
    Link = std::make_unique<TQuillScomm>();
    Link->Port.SetPort(Pair.Near());
    Link->OpenPort();
    Reader = std::make_unique<TQuillComThread>(*Link);
    Reader->Release();

    auto *Layout = new QVBoxLayout(&Window);
    Send = new TRichView;
    Show = new TRichView;
    Find = new TRichView;
    ColourButton = new QPushButton(QStringLiteral("Colour"));
    for (QWidget *W : {static_cast<QWidget *>(Send), static_cast<QWidget *>(Show), static_cast<QWidget *>(Find),
             static_cast<QWidget *>(ColourButton)})
        Layout->addWidget(W);
    Window.resize(900, 700);
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
}

void TestDataRT::init()
{
    Settings.SetNew();
    Send->ClearText();
    Show->ClearText();
    Find->ClearText();
    Link->HexSend = true;
    Link->HexReceive = true;
    Link->Monitoring = true;
    if (!Link->Port.Connected()) {  // a test before failed with the port closed
        Link->OpenPort();
        Reader->Release();
    }
    Rt = std::make_unique<TDataRT>(Send, Show, Find, Link.get(), Settings);
    // Ticks are driven by hand unless a test wants the timer, so queued
    // lines must not wake it either.
    Rt->DisplayTimer->stop();
    Link->SetLineQueuedHandler(nullptr);
    Rt->FocusTarget = ColourButton;
    Rt->SetMessages(&Messages);
    Rt->PopUp = &PopUp;
    Messages = TCapturedMessages();
    PopUp = TCapturedPopUp();
    // Nothing left over from the test before.
    QVERIFY(Sent());
    Pair.ReadFar(1 << 20, 50);
    while (!Link->FetchLine().empty()) { }
}

void TestDataRT::cleanup()
{
    Rt.reset();
}

void TestDataRT::DrainsOneLinePerTick_data()
{
    QTest::addColumn<bool>("ShowTime");
    QTest::addColumn<bool>("ShowRxTx");
    QTest::addColumn<QString>("RxTag");
    QTest::addColumn<QString>("TxTag");

    const QString Time = QStringLiteral(R"(\[\d\d:\d\d:\d\d (?:[ \d]{3}|---))");
    QTest::newRow("time+dir") << true << true << Time + QStringLiteral(R"( Rx\] )")
                              << Time + QStringLiteral(R"( Tx\] )");
    QTest::newRow("time") << true << false << Time + QStringLiteral(R"(\] )") << Time + QStringLiteral(R"(\] )");
    QTest::newRow("dir") << false << true << QStringLiteral(R"(\[R x\] )") << QStringLiteral(R"(\[T x\] )");
    QTest::newRow("none") << false << false << QString() << QString();
}

void TestDataRT::DrainsOneLinePerTick()
{
    QFETCH(bool, ShowTime);
    QFETCH(bool, ShowRxTx);
    QFETCH(QString, RxTag);
    QFETCH(QString, TxTag);
    Rt->ShowTime = ShowTime;
    Rt->ShowRxTx = ShowRxTx;
    Rt->ShowSending = true;
    Settings.SetReceiveMessageColour(0x0000C000);
    Settings.SetSendMessageColour(0x00FF0000);

    QVERIFY(Receive("\x01\x02"));
    Link->SendData("aa bb");
    QVERIFY(Sent());
    QCOMPARE(Pair.ReadFar(2, 2000), std::string("\xAA\xBB"));
    QVERIFY(Receive("\x03"));
    QCOMPARE(Queued(), std::size_t(3));

    const QStringList Data {QStringLiteral("01 02"), QStringLiteral("AA BB "), QStringLiteral("03")};
    const QList<QRgb> Colours {Rgb(0x0000C000), Rgb(0x00FF0000), Rgb(0x0000C000)};
    for (int I = 0; I < 3; ++I) {
        Rt->DisplayTick();
        QCOMPARE(Queued(), std::size_t(2 - I));
        QCOMPARE(Show->LineCount(), I + 2);  // every line ends with its break
        const auto Line = Runs(*Show, I);
        const QString Tag = I == 1 ? TxTag : RxTag;
        if (Tag.isEmpty()) {
            QCOMPARE(Line.size(), 1);
        } else {
            QCOMPARE(Line.size(), 2);
            QVERIFY2(
                QRegularExpression(QStringLiteral("^") + Tag + QStringLiteral("$")).match(Line[0].first).hasMatch(),
                qPrintable(Line[0].first));
            QCOMPARE(Line[0].second, Rgb(TDataRT::TagColour));
        }
        QCOMPARE(Line.last().first, Data[I]);
        QCOMPARE(Line.last().second, Colours[I]);
    }
    QVERIFY(Show->LineText(3).isEmpty());
}

void TestDataRT::ColourReadAtEveryDisplay()
{
    Settings.SetReceiveMessageColour(0x000000FF);
    QVERIFY(Receive("\x11"));
    Rt->DisplayTick();
    Settings.SetReceiveMessageColour(0x00FF00FF);
    QVERIFY(Receive("\x22"));
    Rt->DisplayTick();
    QCOMPARE(Runs(*Show, 0).last(), qMakePair(QStringLiteral("11"), qRgb(255, 0, 0)));
    QCOMPARE(Runs(*Show, 1).last(), qMakePair(QStringLiteral("22"), qRgb(255, 0, 255)));
}

void TestDataRT::HiddenSendLinesStillSetTriggerState()
{
    QStringList Seen;
    Rt->TriggerOn = true;
    Rt->TriggerOptions.ReceiveTriggerOn = true;
    Rt->ReceiveTriggerStep = [&](const std::string &Data) { Seen << QString::fromStdString(Data); };
    Rt->ShowSending = false;

    Link->SendData("41");
    QVERIFY(Sent());
    QCOMPARE(Queued(), std::size_t(1));
    Rt->DisplayTick();
    QCOMPARE(Queued(), std::size_t(0));
    QCOMPARE(Show->TextLength(), 0);
    QCOMPARE(Rt->RxTriggerState, 1);
    QCOMPARE(Seen, QStringList {QString()});

    // A tick that took nothing leaves the receive trigger alone: a pending
    // send wakes on its own.
    Rt->RxTriggerState = 2;
    Rt->DisplayTick();
    QCOMPARE(Rt->RxTriggerState, 2);
    QCOMPARE(Seen.size(), 1);

    // An R line hands its data over.
    QVERIFY(Receive("\x42"));
    Rt->DisplayTick();
    QCOMPARE(Seen.last(), QStringLiteral("42"));
    QCOMPARE(Rt->RxTriggerState, 1);

    // Only while the receive trigger and TriggerOn are on.
    Rt->TriggerOptions.ReceiveTriggerOn = false;
    QVERIFY(Receive("\x43"));
    Rt->DisplayTick();
    QCOMPARE(Seen.size(), 2);
    Rt->TriggerOptions.ReceiveTriggerOn = true;
    Rt->TriggerOn = false;
    QVERIFY(Receive("\x44"));
    Rt->DisplayTick();
    QCOMPARE(Seen.size(), 2);
    QCOMPARE(Rt->RxTriggerState, 1);
}

void TestDataRT::PauseDropsReceivedLines()
{
    std::string LastRx;
    Rt->TriggerOn = true;
    Rt->TriggerOptions.ReceiveTriggerOn = true;
    Rt->ReceiveTriggerStep = [&](const std::string &Data) { LastRx = Data; };

    // Formed before the pause, taken while paused: dropped, but handed on.
    QVERIFY(Receive("\x01"));
    Rt->ShowReceive = false;
    Link->Monitoring = false;
    Rt->DisplayTick();
    QCOMPARE(Show->TextLength(), 0);
    QCOMPARE(LastRx, std::string("01"));

    // Sent lines still show while paused (none is queued by the link then).
    Rt->ShowSending = true;
    Link->SendData("02");
    QVERIFY(Sent());
    QCOMPARE(Queued(), std::size_t(0));

    // Queued when the pause ends: shown.
    Link->Monitoring = true;
    QVERIFY(Receive("\x03"));
    Rt->ShowReceive = true;
    Rt->DisplayTick();
    QCOMPARE(Show->LineText(0), QStringLiteral("03"));
    QCOMPARE(Show->LineCount(), 2);
    Pair.ReadFar(1, 500);
}

void TestDataRT::FocusLeavesReceiveView()
{
    Show->setFocus();
    QTRY_VERIFY(Show->hasFocus());
    Rt->DisplayTick();  // nothing taken: the focus stays
    QVERIFY(Show->hasFocus());

    // A line that is not shown moves it as well.
    Rt->ShowSending = false;
    Link->SendData("01");
    QVERIFY(Sent());
    Rt->DisplayTick();
    QVERIFY(ColourButton->hasFocus());
    QCOMPARE(Show->TextLength(), 0);

    // The send view keeps its focus.
    Send->setFocus();
    Link->SendData("02");
    QVERIFY(Sent());
    Rt->DisplayTick();
    QVERIFY(Send->hasFocus());
    Pair.ReadFar(2, 500);
}

void TestDataRT::NulCharacterKeepsItsLine()
{
    Link->HexReceive = false;
    QVERIFY(Receive(std::string("A\0B", 3)));
    QVERIFY(Receive("C"));
    Rt->DisplayTick();
    Rt->DisplayTick();
    QCOMPARE(Show->LineCount(), 3);
    QCOMPARE(Show->LineText(0), QString::fromLatin1("A\0B", 3));
    QCOMPARE(Show->LineText(1), QStringLiteral("C"));
}

void TestDataRT::TimerDrainsQueue()
{
    {
        // Without the link: a second runtime would take over its wake-ups.
        const TDataRT Fresh(Send, Show, Find, nullptr, Settings);
        QVERIFY(Fresh.DisplayTimer->isActive());
        QCOMPARE(Fresh.ActiveView, Show);
        QVERIFY(Fresh.ShowReceive && !Fresh.ShowSending && !Fresh.ShowTime && !Fresh.ShowRxTx);
        QVERIFY(!Fresh.TriggerOn && Fresh.CursorLine == 0 && Fresh.SelCount == 0 && !Fresh.HexUnits);
    }

    // The real 1 ms timer drains lines as they come ...
    Link->SetLineQueuedHandler([R = Rt.get()] { R->WakeDisplay(); });
    Rt->DisplayTimer->start();
    QCOMPARE(Rt->DisplayTimer->interval(), 1);
    QCOMPARE(Rt->DisplayTimer->timerType(), Qt::PreciseTimer);
    QVERIFY(!Rt->CycleTimer->isActive());
    QCOMPARE(Rt->CycleTimer->interval(), 10);
    for (int I = 0; I < 5; ++I) {
        QVERIFY(Pair.WriteFar(std::string(1, char(0x30 + I))));
        QTRY_COMPARE(Show->LineCount(), I + 2);
        QCOMPARE(Show->LineText(I), QStringLiteral("3%1").arg(I));
    }
    QCOMPARE(Queued(), std::size_t(0));

    // ... and a backlog in order, none lost.
    Rt->DisplayTimer->stop();
    for (const char *Byte : {"\x41", "\x42", "\x43"})
        QVERIFY(Receive(Byte));
    Rt->DisplayTimer->start();
    QTRY_COMPARE(Show->LineCount(), 9);
    QCOMPARE(Show->LineText(5) + Show->LineText(6) + Show->LineText(7), QStringLiteral("414243"));

    // With nothing to show the timer sleeps; the next line wakes it, and a
    // send's echo does too.
    QTRY_VERIFY(!Rt->DisplayTimer->isActive());
    QVERIFY(Pair.WriteFar("\x44"));
    QTRY_COMPARE(Show->LineCount(), 10);
    QCOMPARE(Show->LineText(8), QStringLiteral("44"));
    QTRY_VERIFY(!Rt->DisplayTimer->isActive());
    Rt->ShowSending = true;
    Link->SendData("45");
    QTRY_COMPARE(Show->LineCount(), 11);
    QCOMPARE(Show->LineText(9), QStringLiteral("45 "));

    // An armed timing trigger and a waiting receive trigger wake the
    // thread themselves: the display goes on sleeping.
    QTRY_VERIFY(!Rt->DisplayTimer->isActive());
    Settings.SetTimingTriggerOn(true);
    Settings.SetTriggerTime(0.25);
    Settings.SetReceiveTriggerOn(true);
    Rt->TriggerOn = true;
    Rt->SetTriggerOptions(Settings);
    QTest::qWait(50);
    QVERIFY(!Rt->DisplayTimer->isActive());
    const int Wait = Rt->Steps->Trigger->TimingWait();
    QVERIFY2(Wait > 0 && Wait <= 1000, qPrintable(QString::number(Wait)));
    QCOMPARE(Rt->Steps->Trigger->ReceiveWait(), -1);
    Rt->TriggerOn = false;
    Settings.SetTimingTriggerOn(false);
    Settings.SetReceiveTriggerOn(false);
    Rt->SetTriggerOptions(Settings);
}

void TestDataRT::SendCaretLine_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("Caret");
    QTest::addColumn<bool>("Hex");
    QTest::addColumn<QByteArray>("Sent");

    const QString Three = QStringLiteral("01\n02 03\n04");
    QTest::newRow("middle line") << Three << 4 << true << QByteArray("\x02\x03");
    QTest::newRow("unterminated last") << Three << 9 << true << QByteArray("\x04");
    QTest::newRow("chars") << QStringLiteral("x\nhello") << 5 << false << QByteArray("hello");
    const QString Block = QStringLiteral("[>>01 02\n03<<]\n05");
    QTest::newRow("block hex") << Block << 2 << true << QByteArray("\x01\x02\x03");
    QTest::newRow("block chars") << Block << 8 << false << QByteArray("01 02\r\n03");
    QTest::newRow("caret behind own end") << QStringLiteral("[>>41<<]\n[>>42<<]") << 8 << true << QByteArray("\x41");
    QTest::newRow("no end") << QStringLiteral("[>>01 02\n03") << 3 << true << QByteArray();
    QTest::newRow("empty line") << QStringLiteral("01\n\n02") << 3 << true << QByteArray();
}

void TestDataRT::SendCaretLine()
{
    QFETCH(QString, Text);
    QFETCH(int, Caret);
    QFETCH(bool, Hex);
    QFETCH(QByteArray, Sent);
    Link->HexSend = Hex;
    Send->ReplaceSelection(Text);
    Send->SetSelection(Caret, 0);
    const uint32_t Before = Link->TxCount;
    Rt->SendCaretLine();
    const std::size_t Want = Sent.isEmpty() ? 1 : std::size_t(Sent.size());
    QCOMPARE(QByteArray::fromStdString(Pair.ReadFar(Want, Sent.isEmpty() ? 200 : 2000)), Sent);
    QVERIFY(this->Sent());
    QCOMPARE(Link->TxCount - Before, uint32_t(Sent.size()));
}

void TestDataRT::SendLineIndexAndClosedPort()
{
    Send->ReplaceSelection(QStringLiteral("01\n02"));
    Rt->SendLine(1);
    QCOMPARE(Pair.ReadFar(2, 1000), std::string("\x02"));
    Rt->SendLine(2);
    Rt->SendLine(-1);
    QCOMPARE(Pair.ReadFar(1, 200), std::string());
    QVERIFY(Sent());
    QCOMPARE(Queued(), std::size_t(1));

    // With the port closed every send silently does nothing, even bad hex.
    Link->ClosePort();
    Reader->Park();
    Send->SetSelection(0, 0);
    Send->ReplaceSelection(QStringLiteral("zz\n"));
    Rt->SendLine(0);
    Rt->SendCaretLine();
    Rt->SendCurrentLine();
    QVERIFY(Messages.Warnings.empty());
    QCOMPARE(Queued(), std::size_t(1));
    Link->OpenPort();
    Reader->Release();
}

void TestDataRT::SendCurrentLineMessage()
{
    Send->ReplaceSelection(QStringLiteral("01\n02\nhello\n04"));
    Send->SetSelection(8, 0);  // inside 'hello', line 3
    Rt->SendCurrentLine();
    QCOMPARE(int(Messages.Warnings.size()), 1);
    QCOMPARE(Messages.Warnings[0].Caption, QStringLiteral("Send"));
    QCOMPARE(Messages.Warnings[0].Text,
        QStringLiteral("Line 3 is not the Hex format.\r\n\r\nIf send ASCII data, please switch to ASCII mode."));
    QCOMPARE(Messages.Warnings[0].Owner, Send->window());
    QCOMPARE(Queued(), std::size_t(0));
    QCOMPARE(Pair.ReadFar(1, 200), std::string());

    // In character mode the same line goes out.
    Link->HexSend = false;
    Rt->SendCurrentLine();
    QCOMPARE(Pair.ReadFar(5, 1000), std::string("hello"));
    QCOMPARE(int(Messages.Warnings.size()), 1);

    // A block's message names the caret line.
    Link->HexSend = true;
    Send->ClearText();
    Send->ReplaceSelection(QStringLiteral("01\n[>>01\nxx<<]"));
    Send->SetSelection(4, 0);
    Rt->SendCurrentLine();
    QCOMPARE(int(Messages.Warnings.size()), 2);
    QVERIFY(Messages.Warnings[1].Text.startsWith(QStringLiteral("Line 2 is")));
}

void TestDataRT::SendCurrentLineWhileTheBacklogIsFull()
{
    // A device that takes nothing: the first F5 stays stuck in its write.
    TUndrainedPty Pty;
    QVERIFY(Pty.Ready());
    TQuillScomm Stuck;
    Stuck.Port.SetPort(Pty.Path());
    Stuck.OpenPort();
    TDataRT Runtime(Send, Show, Find, &Stuck, Settings);
    Runtime.SetMessages(&Messages);
    QString Line;
    for (int I = 0; I < 65536; ++I)
        Line += QStringLiteral("55 ");
    Send->ReplaceSelection(Line);
    Send->SetSelection(0, 0);
    Runtime.SendCurrentLine();
    QVERIFY(Pty.WaitWritten());
    QVERIFY(Stuck.Sending());

    // What waits behind it fills the backlog; the next F5 is refused with a
    // message, not blocked.
    Stuck.HexSend = false;
    Stuck.SendData(std::string(TQuillScomm::MaxWaitingBytes, 'w'));
    Stuck.HexSend = true;
    Runtime.SendCurrentLine();
    QCOMPARE(int(Messages.Warnings.size()), 1);
    QCOMPARE(Messages.Warnings[0].Caption, QStringLiteral("Send"));
    QCOMPARE(Messages.Warnings[0].Owner, Send->window());
    QVERIFY(Messages.Warnings[0].Text.startsWith(QStringLiteral("The port is still sending")));
    QVERIFY(Messages.Errors.isEmpty());

    // Closing ends it all without a failure to tell.
    Stuck.ClosePort();
    QVERIFY(!Stuck.Sending());
    QTest::qWait(50);
    QVERIFY(Messages.Errors.isEmpty());
    QCOMPARE(Stuck.TxCount.load(), 0u);
}

void TestDataRT::WriteFailureToldOneBoxAtATime()
{
    // Every write fails on the writer thread; the runtime tells it on this
    // thread with the port's message, as an error no command caught.
    auto State = std::make_shared<TFakeComState>();
    TQuillScomm Failing(std::make_unique<TFakeComDevice>(State));
    Failing.OpenPort();
    State->LostError = EIO;
    TDataRT Runtime(Send, Show, Find, &Failing, Settings);

    // A message box runs its own event loop: while the first is open, the
    // second failure must wait for it instead of opening a box on top.
    class TModalMessages : public TCapturedMessages {
    public:
        std::function<void()> WhileOpen;
        int Open = 0;
        int MostOpen = 0;
        void StandardError(const QString &Text) override
        {
            TCapturedMessages::StandardError(Text);
            MostOpen = std::max(MostOpen, ++Open);
            if (WhileOpen)
                std::exchange(WhileOpen, nullptr)();
            QTest::qWait(100);
            --Open;
        }
    } Modal;
    Modal.WhileOpen = [&Failing] { Failing.SendData("02"); };
    Runtime.SetMessages(&Modal);
    Send->ReplaceSelection(QStringLiteral("01"));
    Runtime.SendLine(0);
    QTRY_COMPARE(Modal.Errors.size(), 2);
    const QString Text = QString::fromLocal8Bit(EComPort(CError_WriteFailed, EIO).what());
    QCOMPARE(Modal.Errors, QStringList({Text, Text}));
    QCOMPARE(Modal.MostOpen, 1);
    QCOMPARE(Failing.TxCount.load(), 0u);
    QVERIFY(Failing.FetchLine().empty());
}

void TestDataRT::HooksAndOptions()
{
    // The filter decides only while R lines are shown.
    int Asked = 0;
    Rt->PassesReceiveFilter = [&](const std::string &Data) {
        ++Asked;
        return Data != "BB";
    };
    QVERIFY(Receive("\xAA"));
    QVERIFY(Receive("\xBB"));
    Rt->DisplayTick();
    Rt->DisplayTick();
    QCOMPARE(Asked, 2);
    QCOMPARE(Show->LineCount(), 2);
    QCOMPARE(Show->LineText(0), QStringLiteral("AA"));
    Rt->ShowReceive = false;
    QVERIFY(Receive("\xCC"));
    Rt->DisplayTick();
    QCOMPARE(Asked, 2);

    // The cycle timer runs its step; an error leaving it is reported.
    int Cycles = 0;
    Rt->CycleTick = [&] {
        if (++Cycles == 2)
            throw std::runtime_error("port write failed");
    };
    Rt->CycleTimer->start();
    QTRY_VERIFY(Cycles >= 3);
    Rt->CycleTimer->stop();
    QCOMPARE(Messages.Errors, QStringList {QStringLiteral("port write failed")});

    TSettingsRecord R;
    R.SetCycleMode(1);
    R.SetCycleLineChoice(1);
    R.SetCycleFixedLine(4);
    R.SetCycleRangeFirst(2);
    R.SetCycleRangeLast(9);
    R.SetCycleInterval(250);
    R.SetTimingTriggerOn(true);
    R.SetTriggerTime(0.5);
    R.SetTimingMode(1);
    R.SetTimingLineChoice(1);
    R.SetTimingFixedLine(3);
    R.SetTimingRangeFirst(5);
    R.SetTimingRangeLast(6);
    R.SetTimingInterval(40);
    R.SetReceiveTriggerOn(true);
    R.SetTriggerRecLine(9, 7);
    R.SetTriggerTrigLine(9, 8);
    R.SetTriggerDelay(123);
    Rt->SetCycleOptions(R);
    Rt->SetTriggerOptions(R);
    const auto &C = Rt->CycleOptions;
    QCOMPARE(std::tuple(C.Mode, C.LineChoice, C.FixedLine, C.RangeFirst, C.RangeLast, C.Interval),
        std::tuple(uint8_t(1), uint8_t(1), 4, 2, 9, 250u));
    const auto &T = Rt->TriggerOptions;
    QVERIFY(T.TimingTriggerOn && T.ReceiveTriggerOn);
    QCOMPARE(T.TriggerTime, 0.5);
    QCOMPARE(std::tuple(T.TimingMode, T.TimingLineChoice, T.TimingFixedLine, T.TimingRangeFirst, T.TimingRangeLast,
                 T.TimingInterval, T.TriggerDelay),
        std::tuple(uint8_t(1), uint8_t(1), 3, 5, 6, 40u, 123u));
    QCOMPARE(T.RecLine[9], 7);
    QCOMPARE(T.TrigLine[9], 8);
    QCOMPARE(T.RecLine[0], 0);
}

void TestDataRT::CursorReportByMouse()
{
    const QString Line = QStringLiteral("[14:03:07  15 Rx] AA BB CC");
    Show->Append(QStringLiteral("first\n") + Line + QStringLiteral("\n"));
    Show->FlushUpdates();
    const int Start = Show->LineStart(1);
    struct TCase {
        int Column;  // caret column in the line
        bool Hex;
        int Expected;
    };
    const TCase Cases[] = {{22, true, 2}, {18, true, 0}, {5, true, 0}, {26, true, 3}, {22, false, 4}};
    for (const TCase &C : Cases) {
        Link->HexReceive = C.Hex;
        QTest::mouseClick(Show->viewport(), Qt::LeftButton, {}, PointAt(*Show, Start + C.Column));
        QCOMPARE(Show->CaretColumn(), C.Column);
        QCOMPARE(Rt->CursorLine, 2);
        QCOMPARE(Rt->CursorCol, C.Expected);
        QCOMPARE(Rt->HexUnits, C.Hex);
    }

    // The send view counts in the send mode, behind its block marker; the
    // report follows the active view, whichever view is clicked.
    Send->ReplaceSelection(QStringLiteral("[>>01 02 03<<]"));
    Send->FlushUpdates();
    Rt->ActiveView = Send;
    Link->HexSend = true;
    Link->HexReceive = false;
    QTest::mouseClick(Send->viewport(), Qt::LeftButton, {}, PointAt(*Send, 7));
    QCOMPARE(Rt->CursorCol, 2);
    QCOMPARE(Rt->CursorLine, 1);
    QVERIFY(Rt->HexUnits);
    QTest::mouseClick(Show->viewport(), Qt::LeftButton, {}, PointAt(*Show, 3));
    QCOMPARE(Rt->CursorCol, 2);  // the send view's caret, unchanged
    QCOMPARE(Rt->CursorLine, 1);
}

void TestDataRT::SelectionByMouseMove()
{
    Show->Append(QStringLiteral("AA BB CC\n"));
    Show->FlushUpdates();
    Link->HexReceive = true;
    // Drag over 'AA BB C'.
    QTest::mousePress(Show->viewport(), Qt::LeftButton, {}, PointAt(*Show, 0));
    QTest::mouseMove(Show->viewport(), PointAt(*Show, 7));
    QCOMPARE(Show->SelText(), QStringLiteral("AA BB C"));
    QCOMPARE(Rt->SelCount, 2);
    QTest::mouseRelease(Show->viewport(), Qt::LeftButton, {}, PointAt(*Show, 7));
    QCOMPARE(PopUp.Shown, 0);

    // Units come from the last mouse-down, not from a move.
    Link->HexReceive = false;
    QTest::mouseMove(Show->viewport(), PointAt(*Show, 3));
    QCOMPARE(Rt->SelCount, 2);
    QTest::mouseClick(Show->viewport(), Qt::LeftButton, {}, PointAt(*Show, 0));
    Show->SetSelection(0, 7);
    QTest::mouseMove(Show->viewport(), PointAt(*Show, 4));
    QCOMPARE(Rt->SelCount, 7);

    // A selection over several lines and runs, counted in place: line breaks
    // count as characters, and in hex units as the text's do.
    Show->Append({{QStringLiteral("[R x] "), Qt::gray}, {QStringLiteral("DD EE\n"), Qt::blue},
        {QStringLiteral("\nF"), Qt::red}, {QStringLiteral("F 11 2\n"), Qt::blue}});
    Show->FlushUpdates();
    int At = 0;
    for (const bool Hex : {false, true}) {
        Link->HexReceive = Hex;
        QTest::mouseClick(Show->viewport(), Qt::LeftButton, {}, PointAt(*Show, 0));
        for (const int Start : {3, Show->LineStart(1) + 2, Show->LineStart(2)}) {
            Show->SetSelection(Start, Show->TextLength());
            QTest::mouseMove(Show->viewport(), PointAt(*Show, ++At));  // a move to a new place
            QCOMPARE(Rt->SelCount, SelectionSize(Show->SelText(), Hex));
        }
    }
    QCOMPARE(Rt->SelCount, 2);  // 'FF 11 2' over two runs: FF 11

    // The count follows what the selection holds: text appended after it,
    // text replaced inside it, a selection that reaches the end as text
    // arrives.
    Show->SetSelection(Show->LineStart(1), 12);
    const auto Counted = [&] {
        QTest::mouseMove(Show->viewport(), PointAt(*Show, ++At));
        return Rt->SelCount == SelectionSize(Show->SelText(), true);
    };
    QVERIFY(Counted());
    Show->Append(QStringLiteral("AA BB CC\n"));
    Show->FlushUpdates();
    QVERIFY(Counted());
    QTextCursor Inside(Show->document());
    Inside.setPosition(Show->LineStart(1) + 6);
    Inside.insertText(QStringLiteral("12 34 "));
    QVERIFY(Counted());
    Inside.setPosition(Show->LineStart(1) + 6);
    Inside.setPosition(Show->LineStart(1) + 8, QTextCursor::KeepAnchor);
    Inside.insertText(QStringLiteral("  "));  // the same length: the selection stays where it is
    QVERIFY(Counted());
    Show->SetSelection(Show->LineStart(1), Show->TextLength());
    QVERIFY(Counted());
    Show->Append(QStringLiteral("AA BB CC DD\n"));
    Show->FlushUpdates();
    QVERIFY(Counted());
}

void TestDataRT::CtrlReleasePopUp()
{
    Show->Append(QStringLiteral("FF FF FF FF 00\n00 01\n0\n1\n"));
    Show->FlushUpdates();
    const auto Drag = [this](int From, int To, Qt::KeyboardModifiers AtRelease) {
        QTest::mousePress(Show->viewport(), Qt::LeftButton, {}, PointAt(*Show, From));
        QTest::mouseMove(Show->viewport(), PointAt(*Show, To));
        QTest::mouseRelease(Show->viewport(), Qt::LeftButton, AtRelease, PointAt(*Show, To));
    };

    Drag(0, 11, Qt::ControlModifier);
    QCOMPARE(Show->SelText(), QStringLiteral("FF FF FF FF"));
    QCOMPARE(PopUp.Shown, 1);
    QCOMPARE(PopUp.Dec, QStringLiteral("-1"));
    QCOMPARE(PopUp.Bin, QStringLiteral("1111 1111 1111 1111 1111 1111 1111 1111 "));
    QCOMPARE(PopUp.MouseGlobal, Show->viewport()->mapToGlobal(PointAt(*Show, 11)));

    Drag(0, 11, {});                   // without Ctrl
    Drag(0, 14, Qt::ControlModifier);  // five bytes
    Drag(1, 4, Qt::ControlModifier);   // 'F F': not hex
    QCOMPARE(PopUp.Shown, 1);

    const int Second = Show->LineStart(1);
    Drag(Second, Second + 5, Qt::ControlModifier);
    QCOMPARE(PopUp.Shown, 2);
    QCOMPARE(PopUp.Dec, QStringLiteral("1"));
    QCOMPARE(PopUp.Bin, QStringLiteral("0000 0000 0000 0001 "));

    // Hex across a line break is no number: reported, nothing shown.
    const int Third = Show->LineStart(2);
    Drag(Third, Third + 3, Qt::ControlModifier);
    QCOMPARE(Show->SelText(), QStringLiteral("0\n1"));
    QCOMPARE(PopUp.Shown, 2);
    QCOMPARE(Messages.Errors, QStringList {QStringLiteral("'$0\n1' is not a valid integer value")});
}

QTEST_MAIN(TestDataRT)
#include "tst_datart.moc"
