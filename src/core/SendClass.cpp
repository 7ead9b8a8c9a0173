#include "SendClass.h"

#include "NumberConvert.h"

#include "AppCommon.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "RuntimeSteps.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <exception>

namespace {

std::string Latin1(const QString &Text)
{
    const QByteArray Bytes = Text.toLatin1();
    return std::string(Bytes.constData(), static_cast<std::size_t>(Bytes.size()));
}

QString FromLatin1(const std::string &Text)
{
    // Sized, so a character of code 0 in a character-mode line is kept.
    return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));
}

QColor ColourOf(uint32_t Value)
{
    return QColor(
        static_cast<int>(Value & 0xFF), static_cast<int>((Value >> 8) & 0xFF), static_cast<int>((Value >> 16) & 0xFF));
}

}  // namespace

// ---------------------------------------------------------------------------
// Pure text rules

TDisplayParts SplitMonitorLine(const std::string &Line, bool ShowTime, bool ShowRxTx)
{
    TDisplayParts Parts;
    Parts.Received = !Line.empty() && Line[0] == 'R';
    const std::size_t Close = Line.find(']');
    Parts.Data = Close == std::string::npos ? Line : Line.substr(Close + 1);
    if (ShowTime) {
        const std::size_t Open = Line.find('[');
        std::string Head;
        if (Open != std::string::npos && Close != std::string::npos && Open < Close)
            Head = Line.substr(Open, Close - Open);
        if (ShowRxTx)
            Parts.Tag = Head + (Parts.Received ? " Rx] " : " Tx] ");
        else
            Parts.Tag = Head + "] ";
    } else if (ShowRxTx) {
        Parts.Tag = Parts.Received ? "[R x] " : "[T x] ";
    }
    return Parts;
}

int32_t CaretColumn(const QString &TextBeforeCaret, bool HexUnits)
{
    QString Text = TextBeforeCaret;
    if (Text.size() > 1 && Text[0] == u'[') {
        if (Text.size() >= 3 && Text[1] == u'>' && Text[2] == u'>') {
            Text = Text.mid(3);
        } else {
            const qsizetype Close = Text.indexOf(u']');
            // No "]" yet: the caret stands inside the tag.
            Text = Close < 0 ? QString() : Text.mid(Close + 2);
        }
    }
    if (HexUnits)
        return HexByteCount(Latin1(Text), 1);
    return static_cast<int32_t>(Text.size());
}

int32_t SelectionSize(const QString &Selected, bool HexUnits)
{
    if (HexUnits) {
        THexByteCounter Counter;
        Counter.Add(Selected);
        return Counter.Bytes();
    }
    return static_cast<int32_t>(Selected.size());
}

// HexByteCount of the trimmed Latin-1 text, one character at a time: blanks
// at the end count only once something that is not blank follows them.
void THexByteCounter::Add(QStringView Piece)
{
    for (const QChar C : Piece) {
        // As Latin-1: a character beyond it is a '?', which is not blank.
        const char16_t U = C.unicode() < 256 ? C.unicode() : u'?';
        const bool Blank = U <= 32;
        if (!FStarted) {
            if (Blank)
                continue;
            FStarted = true;
        }
        // A lone character followed by a space, before anything else has
        // been counted, is forgotten (the direction letter of a line).
        if (FCount == 1 && U == u' ')
            FCount = 0;
        if (U != u' ' && FCount < INT32_MAX)
            ++FCount;
        if (!Blank)
            FSettled = FCount;
    }
}

bool SelectionValues(const QString &Selected, QString &Dec, QString &Bin)
{
    return SelectionNumber(Selected, true, Dec, Bin);
}

QString CaretSendText(const std::function<QString(int)> &LineAt, int LineCount, int CaretLine)
{
    if (CaretLine < 0 || CaretLine >= LineCount)
        return {};
    const QString First = LineAt(CaretLine);
    if (!First.startsWith(QStringLiteral("[>>")))
        return First;
    // The end is looked for from the block's start, not from the caret: a
    // caret behind the "<<]" of its own line must still send that block.
    // Lines are read one at a time; the view's text is never copied whole.
    static const QString End = QStringLiteral("<<]");
    QString Text;
    qsizetype Scanned = 0;
    for (int I = CaretLine; I < LineCount; ++I) {
        const QString Segment = I == CaretLine ? First.mid(3) : LineAt(I);
        const qsizetype At = Segment.indexOf(End);
        if (At >= 0)
            return Scanned + At + End.size() <= BlockSearchLimit ? Text + Segment.left(At) : QString();
        Scanned += Segment.size() + 1;
        if (Scanned >= BlockSearchLimit)
            return {};
        Text += Segment;
        Text += LineBreak;
    }
    return {};
}

uint32_t ColourValue(uint8_t Red, uint8_t Green, uint8_t Blue)
{
    return uint32_t(Red) | (uint32_t(Green) << 8) | (uint32_t(Blue) << 16);
}

// ---------------------------------------------------------------------------
// Messages

void TRuntimeMessages::Warning(QWidget *Owner, const QString &Caption, const QString &Text)
{
    QString Shown = Text;
    Shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox Box(QMessageBox::Warning, Caption, Shown, QMessageBox::Ok, Owner);
    // So that a path or an address in it can be copied.
    Box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Box.exec();
}

void TRuntimeMessages::StandardError(const QString &Text)
{
    QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(), Text);
}

void TRuntimeMessages::Notice(QWidget *Owner, const QString &Key, const QString &Caption, const QString &Text)
{
    QPointer<QMessageBox> &Box = FNotices[Key];
    if (!Box) {
        Box = new QMessageBox(QMessageBox::Warning, Caption, QString(), QMessageBox::Ok, Owner);
        Box->setAttribute(Qt::WA_DeleteOnClose);
        Box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    Box->setWindowTitle(Caption);
    Box->setText(QString(Text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // Modal to its window, but no event loop of its own: the program goes
    // on, and the box can be closed for the user.
    Box->open();
}

void TRuntimeMessages::Withdraw(const QString &Key)
{
    if (QPointer<QMessageBox> Box = FNotices.take(Key))
        Box->close();
}

// ---------------------------------------------------------------------------
// The view operations the runtime needs, in one place.

namespace {

QWidget *ViewWidget(TRichView *View)
{
    return View;
}

bool TakesTyping(TRichView *View)
{
    return View->UserEditable();
}

int LineCount(TRichView *View)
{
    return View->LineCount();
}

QString LineText(TRichView *View, int Index)
{
    return View->LineText(Index);
}

// The caret is the end of the selection, whichever way it was made.
void SelectionEnd(TRichView *View, int &Line, int &Column)
{
    Line = View->CaretLine();
    Column = View->CaretColumn();
}

QString SelectedText(TRichView *View)
{
    return View->SelText();
}

// One change for tag and data: the view's change handler (automatic save or
// clear) never sees a tag without its data.
void AppendAtEnd(
    TRichView *View, const QString &Tag, const QColor &TagColour, const QString &Data, const QColor &DataColour)
{
    // The line break as a run of its own: appending it to the data would copy
    // a received block of up to a mebibyte once more.
    View->Append(QList<TRichView::TRun> {{Tag, TagColour}, {Data, DataColour}, {QStringLiteral("\r\n"), DataColour}});
}

}  // namespace

// ---------------------------------------------------------------------------
// TDataRT

TDataRT::TDataRT(TRichView *SendView, TRichView *ReceiveView, TRichView *FindView, TQuillScomm *Link,
    const TSettingsRecord &Settings, QObject *Parent)
    : QObject(Parent),
      SendView(SendView),
      ReceiveView(ReceiveView),
      FindView(FindView),
      ActiveView(ReceiveView),
      Link(Link),
      CycleTimer(new TCycleTimer(this)),
      DisplayTimer(new QTimer(this)),
      Steps(new TRuntimeSteps(*this,
          [this](const TStepFailure &Failure) {
              if (SendStopped)
                  SendStopped();
              if (Failure.Kind == TStepFailure::Refusal)
                  Warn(QStringLiteral("Send"), Failure.Text);
              else
                  Messages->StandardError(Failure.Text);
          })),
      Wake(this, [this] { DisplayWoken(); }),
      FailWake(this, [this] { ReportSendFailure(); }),
      Settings(Settings)
{
    CycleTick = [this] { Steps->CycleTick(); };
    ReceiveTriggerStep = [this](const std::string &LastRxData) { Steps->Trigger->LineTaken(LastRxData); };
    CycleTimer->setInterval(10);
    connect(CycleTimer, &TCycleTimer::timeout, this, [this] {
        Guarded([this] {
            if (CycleTick)
                CycleTick();
        });
    });

    DisplayTimer->setTimerType(Qt::PreciseTimer);
    DisplayTimer->setInterval(1);
    connect(DisplayTimer, &QTimer::timeout, this, [this] { Guarded([this] { DisplayTick(); }); });
    DisplayTimer->start();
    if (Link) {
        Link->SetLineQueuedHandler([this] { WakeDisplay(); });
        // Queued: the box is shown on this thread, once the writer has let go.
        Link->SetSendFailedHandler([this] { FailWake.Post(); });
    }

    InstallMouseHandlers(SendView);
    InstallMouseHandlers(ReceiveView);
    InstallMouseHandlers(FindView);
}

TDataRT::~TDataRT()
{
    if (Link) {
        Link->SetLineQueuedHandler(nullptr);
        Link->SetSendFailedHandler(nullptr);
    }
}

void TDataRT::ReportSendFailure()
{
    // The box's own event loop may bring the next failure; it is told when
    // this box is closed, not in a box on top of it.
    if (ReportingFailure || !Link)
        return;
    ReportingFailure = true;
    for (std::string Failure = Link->TakeSendFailure(); !Failure.empty(); Failure = Link->TakeSendFailure())
        Messages->StandardError(QString::fromLocal8Bit(Failure.c_str()));
    ReportingFailure = false;
}

void TDataRT::WakeDisplay()
{
    Wake.Post();
}

void TDataRT::DisplayWoken()
{
    // The line is shown now: a tick a millisecond later would only wake the
    // thread once more. The timer runs on while more lines wait.
    Guarded([this] { DisplayTick(); });
    if (!DisplayTimer->isActive() && Link && Link->LinesWaiting())
        DisplayTimer->start();
    if (LinesWoken)
        LinesWoken();
}

void TDataRT::SetMessages(TRuntimeMessages *NewMessages)
{
    Messages = NewMessages ? NewMessages : &DefaultMessages;
}

// The view signals its mouse events after handling them, so the handlers
// measure the caret and selection the event left behind.
void TDataRT::InstallMouseHandlers(TRichView *View)
{
    if (!View)
        return;
    connect(View, &TRichView::MousePressed, this, [this](QMouseEvent *) { Guarded([this] { ViewMouseDown(); }); });
    connect(View, &TRichView::MouseMoved, this, [this](QMouseEvent *) { Guarded([this] { ViewMouseMove(); }); });
    connect(View, &TRichView::MouseReleased, this, [this](QMouseEvent *Event) {
        const Qt::KeyboardModifiers Modifiers = Event->modifiers();
        const QPoint Global = Event->globalPosition().toPoint();
        Guarded([&] { ViewMouseUp(Modifiers, Global); });
    });
}

void TDataRT::Guarded(const std::function<void()> &Step)
{
    try {
        Step();
    } catch (const std::exception &Error) {
        Messages->StandardError(QString::fromLocal8Bit(Error.what()));
    } catch (...) {
        Messages->StandardError(QStringLiteral("Unknown error"));
    }
}

void TDataRT::DisplayTick()
{
    const std::string Line = Link ? Link->FetchLine() : std::string();
    std::string LastRxData;
    if (!Line.empty() && ReceiveView) {
        // A receive view that takes typing and holds the focus would put
        // what the user types into the stream of appended lines. One that
        // does not keeps the focus: the user may be selecting with the keys.
        QWidget *Receive = ViewWidget(ReceiveView);
        if (Receive->hasFocus() && TakesTyping(ReceiveView)) {
            if (FocusTarget)
                FocusTarget->setFocus(Qt::OtherFocusReason);
            else
                Receive->clearFocus();
        }
        RxTriggerState = 1;
        const TDisplayParts Parts = SplitMonitorLine(Line, ShowTime, ShowRxTx);
        if (IsNoteLine(Line)) {
            AppendLine(ReceiveView, std::string(), TagColour, Line);
        } else if (Parts.Received) {
            if (ShowReceive && (!PassesReceiveFilter || PassesReceiveFilter(Parts.Data))) {
                AppendLine(ReceiveView, Parts.Tag, Settings.ReceiveMessageColour(), Parts.Data);
                if (ReceivedShown)
                    ReceivedShown(Line, Parts.Data);
            }
            if (TriggerOn)  // only the receive trigger looks at it
                LastRxData = Parts.Data;
        } else if (ShowSending) {
            AppendLine(ReceiveView, Parts.Tag, Settings.SendMessageColour(), Parts.Data);
        }
    }
    if (!Line.empty() && TriggerOn && TriggerOptions.ReceiveTriggerOn && ReceiveTriggerStep)
        ReceiveTriggerStep(LastRxData);
    // Nothing more to show: sleep until the next line wakes the timer. The
    // triggers wake the thread themselves when they have something to do.
    if (!(Link && Link->LinesWaiting()))
        DisplayTimer->stop();
}

void TDataRT::AppendLine(TRichView *View, const std::string &Tag, uint32_t Colour, const std::string &Data)
{
    if (!View)
        return;
    AppendAtEnd(View, FromLatin1(Tag), ColourOf(TagColour), FromLatin1(Data), ColourOf(Colour));
}

bool TDataRT::CanSend() const
{
    return SendView && Link && Link->Port.Connected() && !Link->Opening();
}

void TDataRT::SendLine(int Index)
{
    if (!CanSend())
        return;
    const QString Text = Index >= 0 && Index < LineCount(SendView) ? LineText(SendView, Index) : QString();
    Link->SendData(Latin1(Text));
}

void TDataRT::SendCaretLine()
{
    if (!CanSend())
        return;
    int Line = 0;
    int Column = 0;
    SelectionEnd(SendView, Line, Column);
    const QString Text = CaretSendText([this](int I) { return LineText(SendView, I); }, LineCount(SendView), Line);
    Link->SendData(Latin1(Text));
}

void TDataRT::Warn(const QString &Caption, const QString &Text)
{
    Messages->Warning(SendView ? ViewWidget(SendView)->window() : nullptr, Caption, Text);
}

void TDataRT::SendCurrentLine()
{
    int Line = 0;
    int Column = 0;
    if (SendView)
        SelectionEnd(SendView, Line, Column);
    try {
        SendCaretLine();
    } catch (const ECom &) {
        Messages->Warning(SendView ? ViewWidget(SendView)->window() : nullptr, QStringLiteral("Send"),
            QStringLiteral("Line ") + QString::number(Line + 1) +
                QStringLiteral(" is not the Hex format.\r\n\r\n"
                               "If send ASCII data, please switch to ASCII mode."));
    } catch (const ESendBusy &Busy) {
        Messages->Warning(SendView ? ViewWidget(SendView)->window() : nullptr, QStringLiteral("Send"),
            QString::fromLocal8Bit(Busy.what()));
    }
}

void TDataRT::SetCycleOptions(const TSettingsRecord &Record)
{
    CycleOptions.Mode = Record.CycleMode();
    CycleOptions.LineChoice = Record.CycleLineChoice();
    CycleOptions.FixedLine = Record.CycleFixedLine();
    CycleOptions.RangeFirst = Record.CycleRangeFirst();
    CycleOptions.RangeLast = Record.CycleRangeLast();
    CycleOptions.Interval = Record.CycleInterval();
}

void TDataRT::SetTriggerOptions(const TSettingsRecord &Record)
{
    TriggerOptions.TimingTriggerOn = Record.TimingTriggerOn();
    TriggerOptions.TriggerTime = Record.TriggerTime();
    TriggerOptions.TimingMode = Record.TimingMode();
    TriggerOptions.TimingLineChoice = Record.TimingLineChoice();
    TriggerOptions.TimingFixedLine = Record.TimingFixedLine();
    TriggerOptions.TimingRangeFirst = Record.TimingRangeFirst();
    TriggerOptions.TimingRangeLast = Record.TimingRangeLast();
    TriggerOptions.TimingInterval = Record.TimingInterval();
    TriggerOptions.ReceiveTriggerOn = Record.ReceiveTriggerOn();
    for (int Row = 0; Row < TSettingsRecord::TriggerRows; ++Row) {
        TriggerOptions.RecLine[Row] = Record.TriggerRecLine(Row);
        TriggerOptions.TrigLine[Row] = Record.TriggerTrigLine(Row);
    }
    TriggerOptions.TriggerDelay = Record.TriggerDelay();
    Steps->Trigger->OptionsChanged();
}

void TDataRT::ViewMouseDown()
{
    if (!ActiveView)
        return;
    HexUnits = Link && (ActiveView == SendView ? Link->HexSend.load() : Link->HexReceive.load());
    int Line = 0;
    int Column = 0;
    SelectionEnd(ActiveView, Line, Column);
    CursorCol = CaretColumn(LineText(ActiveView, Line).left(Column), HexUnits);
    CursorLine = Line + 1;
}

void TDataRT::ViewMouseMove()
{
    if (!ActiveView)
        return;
    // Counted in place: every move over a view would otherwise copy the
    // whole selection.
    if (!HexUnits) {
        SelCount = ActiveView->SelLength();
        return;
    }
    if (FCountedView != ActiveView || FCountedRevision != ActiveView->SelectionRevision()) {
        THexByteCounter Counter;
        ActiveView->VisitSelection([&Counter](QStringView Piece) { Counter.Add(Piece); });
        FCountedView = ActiveView;
        FCountedRevision = ActiveView->SelectionRevision();
        FCountedBytes = Counter.Bytes();
    }
    SelCount = FCountedBytes;
}

void TDataRT::ViewMouseUp(Qt::KeyboardModifiers Modifiers, const QPoint &MouseGlobal)
{
    if (!ActiveView || !(Modifiers & Qt::ControlModifier))
        return;
    QString Dec;
    QString Bin;
    if (SelectionValues(SelectedText(ActiveView), Dec, Bin) && PopUp)
        PopUp->ShowValues(Dec, Bin, MouseGlobal);
}

void TDataRT::ToDecBin(const QPoint &MouseGlobal)
{
    QString Dec;
    QString Bin;
    if (ActiveView && SelectionNumber(SelectedText(ActiveView), false, Dec, Bin) && PopUp)
        PopUp->ShowValues(Dec, Bin, MouseGlobal);
}
