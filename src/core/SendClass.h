// The data runtime: the user-interface half of the monitoring core. It drains
// the link's line queue into the receive view one line per 1 ms tick, sends
// lines of the send view through the link, and keeps the cursor report that
// the status bar shows.
//
// Everything here runs on the user-interface thread. The only contact with
// the reader thread is TQuillScomm::FetchLine, which waits at most 200 ms;
// sends are handed to the link's writer thread and never wait for the port.
#pragma once

#include "DisplayWake.h"
#include "SendSteps.h"

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class QTimer;
class QWidget;
class TQuillScomm;
class TRichView;
class TRuntimeSteps;
class TSettingsRecord;

// ---------------------------------------------------------------------------
// Pure text rules of the display and the cursor report, kept apart from the
// widgets so that they can be checked case by case.

// A queued line cut into what the display shows: the grey tag and the data
// (everything after the first "]", the whole line when there is none).
struct TDisplayParts {
    bool Received = false;  // first character "R"; anything else is a sent line
    std::string Tag;
    std::string Data;
};
TDisplayParts SplitMonitorLine(const std::string &Line, bool ShowTime, bool ShowRxTx);
// A line the program queues itself among the received and sent ones (the
// mark of a gap in the port's life) starts with "---", as no R or T line
// does; it is shown whole in the tag colour, whatever the filter or pause.
inline bool IsNoteLine(const std::string &Line)
{
    return Line.rfind("---", 0) == 0;
}

// Caret column for the text of its line in front of the caret: the display
// tag or a send block's "[>>" is not counted; in hex units the column is the
// number of the byte the caret stands in or right behind.
int32_t CaretColumn(const QString &TextBeforeCaret, bool HexUnits);

// Selection size: characters, or whole bytes of the trimmed selection.
int32_t SelectionSize(const QString &Selected, bool HexUnits);

// The whole bytes of a hex selection (as SelectionSize), counted from its
// text handed over in pieces, so that a large selection is never copied.
class THexByteCounter {
public:
    void Add(QStringView Piece);
    int32_t Bytes() const { return FSettled / 2; }

private:
    bool FStarted = false;  // past the blanks at the front
    int32_t FCount = 0;     // characters counted so far, blanks at the end included
    int32_t FSettled = 0;   // FCount at the last character that is not blank
};

// The decimal and binary texts the converter pop-up shows for a selection of
// at most four hex bytes. False when the selection does not qualify (not hex,
// more than 8 digits). A hex selection that still holds a line break once
// its spaces are gone throws EConvertError ("'$…' is not a valid integer
// value").
bool SelectionValues(const QString &Selected, QString &Dec, QString &Bin);

// What SendCaretLine sends for a caret on line CaretLine, given the view's
// lines through LineAt (0 .. LineCount - 1). A line beginning "[>>" opens a
// block that runs to the first "<<]" after it within BlockSearchLimit
// characters; the lines inside are joined by LineBreak. Empty when the block
// has no end.
inline constexpr int BlockSearchLimit = 100000;
inline const QString LineBreak = QStringLiteral("\r\n");
QString CaretSendText(const std::function<QString(int)> &LineAt, int LineCount, int CaretLine);

// 0x00BBGGRR, as the settings record stores colours.
uint32_t ColourValue(uint8_t Red, uint8_t Green, uint8_t Blue);

// ---------------------------------------------------------------------------
// What the runtime hands to the rest of the program.

// Messages to the user. The default shows modal message boxes; tests and the
// main window may put their own in.
class QMessageBox;

class TRuntimeMessages {
public:
    virtual ~TRuntimeMessages() = default;
    // A refusal: warning icon, OK button, owned by Owner.
    virtual void Warning(QWidget *Owner, const QString &Caption, const QString &Text);
    // An error nobody else handled; the program goes on.
    virtual void StandardError(const QString &Text);
    // A warning about a state that may end by itself (a device gone): it
    // waits for the user without stopping the program, one box per Key
    // (told again, the open box takes the new text), and Withdraw(Key)
    // closes it when the state has ended.
    virtual void Notice(QWidget *Owner, const QString &Key, const QString &Caption, const QString &Text);
    virtual void Withdraw(const QString &Key);

private:
    QHash<QString, QPointer<QMessageBox>> FNotices;
};

// The converter pop-up. It places itself with its left edge at MouseGlobal's
// x and its bottom 10 pixels above MouseGlobal's y.
class TPopUpTarget {
public:
    virtual ~TPopUpTarget() = default;
    virtual void ShowValues(const QString &Dec, const QString &Bin, const QPoint &MouseGlobal) = 0;
};

class TDataRT : public QObject {
    Q_OBJECT
public:
    // Views and link are not owned and must outlive the runtime; so must the
    // settings record, whose message colours are read at every display.
    TDataRT(TRichView *SendView, TRichView *ReceiveView, TRichView *FindView, TQuillScomm *Link,
        const TSettingsRecord &Settings, QObject *Parent = nullptr);
    ~TDataRT() override;

    // Grey of every tag.
    static constexpr uint32_t TagColour = 0x808080;

    TRichView *const SendView;
    TRichView *const ReceiveView;
    TRichView *const FindView;
    // The view the cursor report, the text colour button and the converter
    // commands act on; set by the windows' activation handlers.
    TRichView *ActiveView;
    TQuillScomm *const Link;

    // Owned by the cycle send step; kept here because the runtime lives as
    // long as the program.
    uint32_t CycleIndex = 0;

    // Copies of the settings record's cycle and trigger fields, taken at
    // every options step; the cycle and trigger steps read only these.
    TCycleOptions CycleOptions;
    TTriggerOptions TriggerOptions;

    bool TriggerOn = false;
    bool ShowTime = false;
    bool ShowRxTx = false;
    bool ShowSending = false;
    bool ShowReceive = true;

    // Cursor report, read by the status timer; changed only by the mouse
    // handlers.
    int32_t CursorLine = 0;
    int32_t CursorCol = 0;
    int32_t SelCount = 0;
    bool HexUnits = false;

    // Receive trigger state (0 idle, 1 a line was taken, 2 waiting for the
    // delay): the trigger step owns its meaning, the display tick sets 1.
    int32_t RxTriggerState = 0;

    TCycleTimer *const CycleTimer;
    QTimer *const DisplayTimer;

    // Where the keyboard focus goes when a line is taken while the receive
    // view has it (the main window's text colour button). Without one the
    // receive view just loses the focus.
    QWidget *FocusTarget = nullptr;

    // Steps plugged in: the receiving filter (unset, it accepts every
    // line), the receive trigger's look at each line taken and the cycle
    // tick (set to the runtime's own steps; cleared, they do nothing).
    std::function<bool(const std::string &Data)> PassesReceiveFilter;
    std::function<void(const std::string &LastRxData)> ReceiveTriggerStep;
    std::function<void()> CycleTick;
    // Told each received line the receive view shows: the queued line (its
    // head holds the arrival time) and its data. Unset while nothing watches
    // (the plot window is closed), so the display pays nothing for it.
    std::function<void(const std::string &Line, const std::string &Data)> ReceivedShown;

    // Cycle send and the triggers; the timing trigger and a pending
    // receive-trigger send wake themselves.
    TRuntimeSteps *const Steps;
    // A failed send stopped cycle send or the triggers (called before the
    // user is told), so the status tick can release their buttons.
    std::function<void()> SendStopped;
    // Run after each hand-over of received lines: the counts they change are
    // shown by a tick that sleeps while nothing happens.
    std::function<void()> LinesWoken;

    // Not owned; nullptr puts the message boxes back.
    void SetMessages(TRuntimeMessages *Messages);
    // A refusal owned by the send window's window.
    void Warn(const QString &Caption, const QString &Text);
    // Not owned; the converter pop-up (nothing is shown without one).
    TPopUpTarget *PopUp = nullptr;

    // One display step: at most one queued line, handed to the receive
    // trigger when it is on. With nothing more queued it stops DisplayTimer;
    // the link's next queued line starts it again, so an idle monitor does
    // not wake a thousand times a second.
    void DisplayTick();
    // Starts DisplayTimer if it sleeps (any thread may call it).
    void WakeDisplay();
    // Appends the grey Tag and Data in Colour (0x00BBGGRR) plus a line break
    // at the end of View.
    void AppendLine(TRichView *View, const std::string &Tag, uint32_t Colour, const std::string &Data);
    // Sends the send view's line of 0-based Index. Does nothing while the
    // port is closed. ECom and ESendBusy reach the caller; a write that fails
    // later is told through the standard error report (ReportSendFailure).
    void SendLine(int Index);
    // Sends the caret line of the send view, or the "[>>" … "<<]" block that
    // begins on it. Errors as SendLine.
    void SendCaretLine();
    // The F5 command: SendCaretLine, with a message naming the line when the
    // text is not hexadecimal, and one when the link's backlog is full.
    // Other errors reach the caller.
    void SendCurrentLine();
    // Tells the user about a write that failed on the link's writer thread,
    // as the standard error report tells a port error.
    void ReportSendFailure();

    void SetCycleOptions(const TSettingsRecord &Record);
    void SetTriggerOptions(const TSettingsRecord &Record);

    // Mouse handlers installed on the three views; they measure ActiveView.
    void ViewMouseDown();
    void ViewMouseMove();
    void ViewMouseUp(Qt::KeyboardModifiers Modifiers, const QPoint &MouseGlobal);
    // "To Dec Bin" of the views' context menu: the active view's selection
    // as an unsigned number in the pop-up (the Ctrl-release shows it signed).
    void ToDecBin(const QPoint &MouseGlobal);

private:
    // Hands the link's "line queued" and "send failed" over to the UI thread.
    TDisplayWake Wake;
    TDisplayWake FailWake;
    // The hand-over, on the UI thread: shows a line, restarts the timer.
    void DisplayWoken();
    // A send failure's box is open: the next one waits for it.
    bool ReportingFailure = false;
    void InstallMouseHandlers(TRichView *View);
    // Runs Step; an exception that would leave a timer tick or an event
    // handler is reported and the program goes on.
    void Guarded(const std::function<void()> &Step);
    bool CanSend() const;

    // The last hex count of a selection, kept while the selected text stays.
    const TRichView *FCountedView = nullptr;
    quint64 FCountedRevision = 0;
    int32_t FCountedBytes = 0;

    const TSettingsRecord &Settings;
    TRuntimeMessages DefaultMessages;
    TRuntimeMessages *Messages = &DefaultMessages;
};
