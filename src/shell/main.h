#pragma once
// The main window: the program's frame. It owns the start-up and shutdown
// sequences, the menus and tool bars, the docks of the send and search
// windows, the settings record and the three core objects, and turns every
// command into a flag of the settings record plus ApplyOptions, a window, or
// a call into the core. What is not drawing lives in classes of its own that
// need no window: the port's opening and closing (TPortSession), the status
// tick's sleep and wake (TStatusTick) and the layout file (TLayoutFile); the
// window wires its commands to them and shows their state.

#include "SettingsRecord.h"

#include <QMainWindow>
#include <QPoint>
#include <QSize>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QToolBar;
class TAscForm;
class TAutoSave;
class TBColorSetForm;
class TDataRT;
class TDeviceReturn;
class TFilterForm;
class TFindDialog;
class TFindForm;
class TPlotForm;
class THexDecForm;
class TLineCombos;
class TMessageCommands;
class TPopForm;
class TPortSession;
class TPortWatch;
struct TPortRoots;
class TPrintForm;
class TQuillComThread;
class TQuillScomm;
class TRichView;
class TRuntimeMessages;
class TSendForm;
class TSetForm;
class TStatusBarMY;
class TStartOverrides;
struct TStartOptions;
class TStatusTick;
class TTimeSaveForm;
class TaboutForm;
class TColourButton;

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

    // What the command line sets for this run, over the stored settings;
    // given before the window is first shown.
    void SetStartOptions(const TStartOptions &Options);

    // Operations other windows call.
    void ApplyOptions();
    void ApplyPause();
    void TogglePort();
    void SaveSettings();
    // Once, when the window is first shown (idempotent).
    void InitWorkspace();

    // Fills the port list from the devices under Roots and follows them as
    // they come and go (the machine's own unless a test gives others).
    void WatchPorts(const TPortRoots &Roots);
    // Waiting for a vanished device to return, to reopen it.
    TDeviceReturn *DeviceReturn() const { return FReturn.get(); }

    // Writes the window geometry, the dock arrangement and the port as
    // config.ini holds them. False when the file could not be written.
    bool WriteLayout(const QString &Path);

    // The send window floated for the first time: client size, and the
    // outer top left on the work area.
    static constexpr QSize SendFloatSize {455, 337};
    static constexpr QPoint SendFloatPlace {219, 38};

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
    TPlotForm *PlotForm = nullptr;
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

    // What other windows use of this one. Its other controls and commands
    // are found by object name (their design names) or menu caption.
    TRichView *ReceiveView() const { return RichShow; }
    TStatusBarMY *StatusBar() const { return StatusBarMY1; }
    TStatusTick *StatusTick() const { return FTick; }
    // The receive view's automatic save, clear and line bound; message files.
    TAutoSave *AutoSave() const { return FAutoSave; }
    TMessageCommands *MessageCommands() const { return FMessageCommands; }

    // Web pages of the Help commands.
    static const QString GuideUrl, ProductUrl, FeedbackUrl;
    // Hands an address to the desktop's browser; nothing waits for it. The
    // status bar shows the address; with no browser to start, a message
    // gives it to copy.
    void OpenWebPage(const QString &Url);

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
    void ConnectReceiveTools();

    // Check marks mirror flags: Mark binds a control to its flag for
    // ShowMarks, FlagCommand also makes a click flip the flag.
    using TGetter = bool (TSettingsRecord::*)() const;
    using TSetter = void (TSettingsRecord::*)(bool);
    void Mark(QAction *Control, std::function<bool()> Flag);
    void Mark(QAction *Control, TGetter Get);
    void FlagCommand(QAction *Control, TGetter Get, TSetter Set);
    void ShowMarks();

    // Commands.
    void FlipOption(TGetter Get, TSetter Set);
    // Flips a window's flag, then shows or hides the window to match.
    // The keyboard goes to the window's view when it is shown, back to the
    // receive view when it is hidden.
    void DockCommand(TSetter Set, QWidget *Window, TRichView *View);
    // The send and search windows' flags and marks follow whether the
    // windows are shown, however that changed (a command, a close box, the
    // layout).
    void FollowDockVisibility();
    // The plot window's marks, and its feed from the data runtime: only
    // while it is open.
    void FollowPlotVisibility();
    // Ctrl+Tab and Ctrl+Shift+Tab: the next or previous shown view.
    void FocusNextView(int Step);
    // Every control in reach of Tab, in the order the window shows them.
    void SetTabOrder();
    // The send and search windows' commands on a tool button or menu item.
    void DockCommands(QAction *SendWindow, QAction *FindWindow);
    void PlotCommand(QAction *PlotWindow);
    // Gives the send window its floating size and place the first time it
    // floats.
    void WatchSendFloating();
    bool FSendFloatPlaced = false;
    void SendDataCommand();
    void SynthesiseKey(int Key);
    void PlaceWindow(int Command);
    void AlwaysOnTopCommand();
    void ApplyTextColour();
    // One refresh of the status tick; true when anything shown changed or
    // something runs that may change it.
    bool StatusStep();
    void ShowPortState();
    // A port opened in the background (another machine's) opened or failed.
    void PortOpenEnded(const std::string &Error, bool Cancelled);
    // Tells on the status bar when the line settings cannot reach the device.
    void ShowLineSettingsNote();
    void ReopenWhenDeviceReturns(bool On);
    void DeviceReturned(const QString &Port);
    void LoadLayout();
    // Moves a window restored from the layout onto the screen it is on,
    // shrunk to fit it.
    static void KeepOnScreen(QWidget *Window);
    void KeepWindowsOnScreen();
    void Warn(const QString &Caption, const QString &Text);
    // Runs a command or tick; an exception it lets out is shown in the
    // standard error box.
    void Guarded(const std::function<void()> &Step);
    void ViewFocused(TRichView *View);

    // Controls, by their design names.
    TRichView *RichShow = nullptr;
    std::unique_ptr<TLineCombos> FCombos;
    QToolBar *CoolBand1 = nullptr;
    TStatusBarMY *StatusBarMY1 = nullptr;
    TColourButton *ColorButton = nullptr;
    QMenu *ViewPopup = nullptr;
    QAction *PortButton = nullptr, *PortItem = nullptr, *PauseButton = nullptr, *PauseItem = nullptr;
    QAction *DtrButton = nullptr, *RtsButton = nullptr, *AlwaysOnTopItem = nullptr, *ReopenItem = nullptr;
    QAction *EditReceivedItem = nullptr;
    std::vector<std::pair<QAction *, std::function<bool()>>> FMarks;

    TStatusTick *FTick = nullptr;
    TAutoSave *FAutoSave = nullptr;
    TMessageCommands *FMessageCommands = nullptr;
    std::unique_ptr<TQuillScomm> FLink;
    std::unique_ptr<TQuillComThread> FComThread;
    std::unique_ptr<TDataRT> FDataRT;
    std::unique_ptr<TPortSession> FSession;
    std::unique_ptr<TPortWatch> FPortWatch;
    std::unique_ptr<TDeviceReturn> FReturn;
    // The port named in config.ini, selected with the stored entries.
    QString FStoredPort;
    // A baud rate typed in, named in config.ini, which wins over the stored index.
    QString FStoredBaud;
    std::unique_ptr<TStartOverrides> FOverrides;
    TRuntimeMessages *FMessages = nullptr;
    std::unique_ptr<TRuntimeMessages> FDefaultMessages;
    bool FWorkspaceReady = false;
    // The stored colours hid text and were replaced; the status bar says so.
    bool FColoursReset = false;
};

// The program's start: the application title, the main window's creation
// and the rest of the windows; the caller shows the window and runs the loop.
// Ports replaces the machine's port discovery (tests).
std::unique_ptr<TMainForm> CreateProgram(const QStringList &Arguments, const QStringList *Ports = nullptr);
