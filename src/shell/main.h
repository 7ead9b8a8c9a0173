#pragma once
// The main window: the program's frame. It owns the start-up and shutdown
// sequences, the menus and tool bars, the docks of the send and search
// windows, the settings record and the three core objects, and turns every
// command into a flag of the settings record plus ApplyOptions, a window, or
// a call into the core.

#include "SettingsRecord.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPoint>
#include <QSize>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class TAscForm;
class TBColorSetForm;
class TComComboBox;
class TDataRT;
class TFilterForm;
class TFindDialog;
class TFindForm;
class THexDecForm;
class TPopForm;
class TPrintForm;
class TQuillComThread;
class TQuillScomm;
class TRichView;
class TRuntimeMessages;
class TSendForm;
class TSetForm;
class TStatusBarMY;
class TTimeSaveForm;
class TaboutForm;
class TColourButton;

// The five line-setting controls, in tool-bar order.
struct TLineCombos {
    QComboBox *Port;
    TComComboBox *BaudRate, *Parity, *DataBits, *StopBits;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // FormCreate: reads "data" into the settings record and fills the port
    // list. Ports come from the machine's discovery unless Ports is given.
    explicit TMainForm(QWidget *Parent = nullptr, const QStringList *Ports = nullptr);
    ~TMainForm() override;

    // The rest of the start-up before the window is shown: the other
    // windows in their order, the views' length limit, the command-line file.
    void CreateForms(const QStringList &Arguments);

    // Operations other windows call.
    void ApplyOptions();
    void ApplyPause();
    void TogglePort();
    void SaveSettings();
    // Once, when the window is first shown (idempotent).
    void InitWorkspace();

    // Writes the window geometry and the dock arrangement as config.ini
    // holds them. False when the file could not be written.
    bool WriteLayout(const QString &Path);
    // Bumped when the docks change, so that an older layout is not misapplied.
    static constexpr int LayoutVersion = 1;

    // The send window floated for the first time: client size, and the
    // outer top left on the work area.
    static constexpr QSize SendFloatSize{455, 337};
    static constexpr QPoint SendFloatPlace{219, 38};

    // Shows or hides a docked window in the place the layout gave it.
    static void ShowDocked(QWidget *Window);
    static void HideDocked(QWidget *Window);

    // Messages to the user go through here (not owned; nullptr = boxes).
    // The data runtime gets the same.
    void SetMessages(TRuntimeMessages *Messages);

    TSettingsRecord Settings;
    bool Paused = false;

    // The windows, created once in this order and never freed before exit.
    TSendForm *SendForm = nullptr;
    TSetForm *SetForm = nullptr;
    TPopForm *PopForm = nullptr;
    TFindForm *FindForm = nullptr;
    TFilterForm *FilterForm = nullptr;
    TFindDialog *FindDialog = nullptr;
    TBColorSetForm *BColorSetForm = nullptr;
    TTimeSaveForm *TimeSaveForm = nullptr;
    TPrintForm *PrintForm = nullptr;
    THexDecForm *HexDecForm = nullptr;
    TAscForm *AscForm = nullptr;
    TaboutForm *aboutForm = nullptr;

    // The core, made by InitWorkspace; it lives until the window goes.
    TQuillScomm *Link() const { return FLink.get(); }
    TQuillComThread *ComThread() const { return FComThread.get(); }
    TDataRT *DataRT() const { return FDataRT.get(); }

    // Controls, by their design names.
    TRichView *RichShow = nullptr;
    QComboBox *CBoxPort = nullptr;
    TComComboBox *CBoxBaudRate = nullptr;
    TComComboBox *CBoxParityBits = nullptr;
    TComComboBox *CBoxDataBits = nullptr;
    TComComboBox *CBoxStopBits = nullptr;
    QToolBar *CoolBand1 = nullptr;
    QToolBar *CoolBand2 = nullptr;
    QToolBar *ReceBar = nullptr;
    QTimer *Timer1 = nullptr;
    TStatusBarMY *StatusBarMY1 = nullptr;
    TColourButton *ColorButton = nullptr;
    QMenu *ViewPopup = nullptr;

    // Tool buttons (the actions behind them).
    QAction *SaveButton = nullptr, *PortButton = nullptr, *PauseButton = nullptr;
    QAction *DtrButton = nullptr, *RtsButton = nullptr;
    QAction *SendWinButton = nullptr, *FindWinButton = nullptr, *ConverterButton = nullptr;
    QToolButton *DisplayTimeButton = nullptr;
    QAction *DisplaySendingButton = nullptr, *WordWrapButton = nullptr, *FilterButton = nullptr;
    QAction *AsciiReceiveButton = nullptr, *ClearButton = nullptr;

    // Menu items with state or shortcuts; the rest are found by caption.
    QAction *ShowTimeItem = nullptr, *ShowRxTxItem = nullptr;        // View
    QAction *ShowTimeItem2 = nullptr, *ShowRxTxItem2 = nullptr;      // Display Time
    QAction *ShowSendingItem = nullptr, *WordWrapItem = nullptr, *FilterItem = nullptr;
    QAction *SendWindowItem = nullptr, *FindWindowItem = nullptr;
    QAction *PortItem = nullptr, *PauseItem = nullptr, *SendDataItem = nullptr;
    QAction *AsciiReceiveItem = nullptr, *AsciiSendItem = nullptr;
    QAction *CycleItem = nullptr, *TriggerItem = nullptr;
    QAction *AlwaysOnTopItem = nullptr;

    // Web pages of the Help commands.
    static const QString GuideUrl, ProductUrl, FeedbackUrl;
    // Hands an address to the desktop's browser; nothing waits for it. The
    // status bar shows the address; with no browser to start, a message
    // gives it to copy.
    void OpenWebPage(const QString &Url);

public:
    // Showing the window runs InitWorkspace first.
    void setVisible(bool Visible) override;

protected:
    void closeEvent(QCloseEvent *Event) override;
    void changeEvent(QEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    // Construction, split by concern.
    void CreateMenus();
    void CreateToolBars();
    void CreateReceiveView();
    void FillPortList(const QStringList *Ports);
    void ConnectForms();

    // Commands.
    void FlipOption(bool (TSettingsRecord::*Get)() const, void (TSettingsRecord::*Set)(bool));
    // Flips a window's flag, then shows or hides the window to match.
    void DockCommand(bool (TSettingsRecord::*Get)() const, void (TSettingsRecord::*Set)(bool), QWidget *Window);
    void SendWindowCommand();
    // Gives the send window its floating size and place the first time it
    // floats.
    void WatchSendFloating();
    bool FSendFloatPlaced = false;
    void FindWindowCommand();
    void SendDataCommand();
    void SynthesiseKey(int Key);
    void PlaceWindow(int Command);
    void AlwaysOnTopCommand();
    void ApplyTextColour();
    void Timer1Timer();
    // Starts the status tick again after it went to sleep (Timer1Timer).
    void WakeStatus();
    int IdleTicks = 0;  // status ticks in a row that changed nothing
    static constexpr int IdleTicksBeforeSleep = 20;
    void DeviceGoneCheck();
    void ShowPortState();
    void LoadLayout();
    void SaveLayout();
    void Warn(const QString &Caption, const QString &Text);
    // Runs a command or tick; an exception it lets out is shown in the
    // standard error box.
    void Guarded(const std::function<void()> &Step);
    void ViewFocused(TRichView *View);
    // A press into this window while another was active: the activation
    // that follows it leaves the focus where the click put it.
    QElapsedTimer FClickWhileInactive;
    static constexpr int ClickActivationTime = 1000; // ms

    std::unique_ptr<TQuillScomm> FLink;
    std::unique_ptr<TQuillComThread> FComThread;
    std::unique_ptr<TDataRT> FDataRT;
    TRuntimeMessages *FMessages = nullptr;
    std::unique_ptr<TRuntimeMessages> FDefaultMessages;
    bool FWorkspaceReady = false;
};

// The program's start: the application title, the main window's creation
// and the rest of the windows; the caller shows the window and runs the loop.
// Ports replaces the machine's port discovery (tests).
std::unique_ptr<TMainForm> CreateProgram(const QStringList &Arguments, const QStringList *Ports = nullptr);
