// The main window's life: creation, the workspace, options, the port, and
// the shutdown. Menus and tool bars are built in MainMenus.cpp; the commands
// behind them are in MainCommands.cpp.
#include "main.h"

#include "AscUnit.h"
#include "AutoSave.h"
#include "BColorSetUnit.h"
#include "ButtonAccessible.h"
#include "CPortCtl.h"
#include "ColourButton.h"
#include "CommandLine.h"
#include "DataFolder.h"
#include "DeviceReturn.h"
#include "FilterUnit.h"
#include "FindDiaUnit.h"
#include "FindUnit.h"
#include "HexUnit.h"
#include "LayoutFile.h"
#include "LineCombos.h"
#include "MessageCommands.h"
#include "NetComDevice.h"
#include "PlotForm.h"
#include "PopUnit.h"
#include "PortList.h"
#include "PortSession.h"
#include "PrintUnit.h"
#include "QuillScomm.h"
#include "ReceiveFilter.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"
#include "SetUnit.h"
#include "StatusBarMY.h"
#include "StatusTick.h"
#include "TimeSaveUnit.h"
#include "ToolIcons.h"
#include "aboutUnit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include <utility>

// The embedded default layout lives in this static library.
static void InitResources()
{
    Q_INIT_RESOURCE(tallyscope);
}

namespace {
// The box that says the device is gone, closed when the port is open again.
const QString DeviceGoneNotice = QStringLiteral("DeviceGone");

// The views' length limit asked for at start (the view caps it at its own
// character bound).
constexpr int ViewMaxLength = 2147482623;

QColor ColourOfValue(uint32_t V)
{
    return QColor(int(V & 0xFF), int((V >> 8) & 0xFF), int((V >> 16) & 0xFF));
}

uint32_t ValueOfColour(const QColor &C)
{
    return uint32_t(C.red()) | (uint32_t(C.green()) << 8) | (uint32_t(C.blue()) << 16);
}
}  // namespace

TMainForm::TMainForm(QWidget *Parent, const QStringList *Ports)
    : QMainWindow(Parent),
      FOverrides(std::make_unique<TStartOverrides>()),
      FDefaultMessages(std::make_unique<TRuntimeMessages>())
{
    InitResources();
    FMessages = FDefaultMessages.get();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Corvane Tallyscope"));
    QFont Ui(QStringLiteral("Tahoma"));
    Ui.setPointSize(8);
    setFont(Ui);
    setDockNestingEnabled(true);
    // Commands wake the tick from the start; it refreshes nothing until the
    // core exists.
    FTick = new TStatusTick([this] { return StatusStep(); }, this);
    FTick->Start();

    // An unreadable "data" keeps the "New" values the record starts with
    // (every colour black would hide the text) and the port list is still
    // filled: a damaged file must not leave the program unusable.
    try {
        ReadDataFile(Settings);
    } catch (const std::exception &) {
    }
    // A damaged record (all 0xFF, say) must not start with invisible text;
    // what was stored is told once the window is up.
    if (Settings.ColoursHideText()) {
        Settings.SetDefaultColours();
        FColoursReset = true;
    }

    CreateReceiveView();
    CreateToolBars();
    CreateMenus();
    FillPortList(Ports);

    StatusBarMY1 = new TStatusBarMY(this);
    StatusBarMY1->setObjectName(QStringLiteral("StatusBarMY1"));
    setStatusBar(StatusBarMY1);

    // The tick shows a waiting received line (StatusStep); the view's own
    // timer is only the fallback.
    RichShow->SetQuietDelay(TStatusTick::Interval + 20);
    resize(614, 425);
    move(360, 169);
}

TMainForm::~TMainForm()
{
    // The status bar lets go of the core, the runtime goes (its timers
    // stop), the reader thread stops in order, then the link closes the
    // port; the views go with the window. Focus changes while the children
    // go must not reach the handlers that look at them.
    disconnect(qApp, nullptr, this, nullptr);
    if (FLink)
        FLink->SetStateChangedHandler(nullptr);
    FTick->Stop();
    StatusBarMY1->Sources = TStatusSources {};
    FDataRT.reset();
    FReturn.reset();
    FSession.reset();
    FComThread.reset();
    FCombos->Bind(nullptr);
    FLink.reset();
}

void TMainForm::SetStartOptions(const TStartOptions &Options)
{
    FOverrides = std::make_unique<TStartOverrides>(Options);
}

void TMainForm::FillPortList(const QStringList *Ports)
{
    if (Ports)
        FCombos->AddPorts(*Ports, Settings);
    else
        WatchPorts(TPortRoots());
}

void TMainForm::WatchPorts(const TPortRoots &Roots)
{
    FPortWatch = std::make_unique<TPortWatch>(Roots, [this] { FCombos->SetPorts(FPortWatch->List()); });
    FCombos->AddPorts(FPortWatch->List(), Settings);
}

void TMainForm::CreateForms(const QStringList &Arguments)
{
    SendForm = new TSendForm(this);
    SetForm = new TSetForm(this);
    PopForm = new TPopForm(this);
    FindForm = new TFindForm(this);
    PlotForm = new TPlotForm(this);
    FilterForm = new TFilterForm(Settings, this);
    FindDialog = new TFindDialog(RichShow, FindForm, this);
    BColorSetForm = new TBColorSetForm(Settings, this);
    FAutoSave = new TAutoSave(RichShow, Settings, this);
    FAutoSave->Warn = [this](const QString &Caption, const QString &Text) { Warn(Caption, Text); };
    TimeSaveForm = new TTimeSaveForm(FAutoSave, Settings, this);
    FMessageCommands = new TMessageCommands(Settings, this);
    FMessageCommands->Warn = [this](const QString &Caption, const QString &Text) { Warn(Caption, Text); };
    PrintForm = new TPrintForm(RichShow, this);
    // After the main window has been drawn.
    QTimer::singleShot(300, PrintForm, &TPrintForm::Prepare);
    HexDecForm = new THexDecForm(this);
    AscForm = new TAscForm(this);
    aboutForm = new TaboutForm(this);
    ConnectForms();

    for (TRichView *V : {RichShow, SendForm->RichSend, FindForm->RichFind})
        V->SetMaxLength(ViewMaxLength);

    if (!Arguments.isEmpty() && !Arguments.first().isEmpty() && QFileInfo(Arguments.first()).isFile()) {
        try {
            RichShow->LoadFile(Arguments.first());
            SetDocumentFile(RichShow, Arguments.first());
        } catch (const std::exception &E) {
            Warn(QStringLiteral("Open"), QString::fromLocal8Bit(E.what()));
        }
    }
}

void TMainForm::ConnectForms()
{
    // The designed places, kept when no layout can be loaded.
    addDockWidget(Qt::LeftDockWidgetArea, SendForm);
    addDockWidget(Qt::BottomDockWidgetArea, FindForm);
    FindForm->hide();
    addDockWidget(Qt::BottomDockWidgetArea, PlotForm);
    PlotForm->hide();
    PlotForm->Warn = [this](const QString &Caption, const QString &Text) { Warn(Caption, Text); };

    // The colour dialog stored new colours: the backgrounds change at once,
    // the line colours with the next lines appended.
    connect(BColorSetForm, &TBColorSetForm::Applied, this, [this] {
        RichShow->SetBackgroundColour(ColourOfValue(Settings.ReceiveViewBackground()));
        SendForm->RichSend->SetBackgroundColour(ColourOfValue(Settings.SendViewBackground()));
        FindForm->RichFind->SetBackgroundColour(ColourOfValue(Settings.SearchViewBackground()));
    });
    HexDecForm->SetMessages(FMessages);
    PrintForm->SetMessages(FMessages);
    aboutForm->OpenLink = [this](const QString &Url) { OpenWebPage(Url); };

    connect(SendForm, &TSendForm::Closed, this, [this] {
        Settings.SetSendWindowShown(false);
        ApplyOptions();
    });
    connect(FindForm, &TFindForm::Closed, this, [this] {
        Settings.SetSearchWindowShown(false);
        ApplyOptions();
    });
    ConnectReceiveTools();
    SendForm->Settings = &Settings;
    SendForm->Warn = [this](const QString &Caption, const QString &Text) { Warn(Caption, Text); };
    SendForm->StandardError = [this](const QString &Text) { FMessages->StandardError(Text); };
    SendForm->ToolButton1->setIcon(ToolIcon(TToolIcon::SendLine));
    SendForm->ToolButton2->setIcon(ToolIcon(TToolIcon::CycleSend));
    SendForm->ToolButton3->setIcon(ToolIcon(TToolIcon::TriggerSend));
    SendForm->ToolButton7->setIcon(ToolIcon(TToolIcon::Checksum));
    SendForm->ToolButton8->setIcon(ToolIcon(TToolIcon::AsciiSend));
    connect(SendForm->ToolButton1, &QAction::triggered, this, &TMainForm::SendDataCommand);
    FlagCommand(SendForm->ToolButton8, &TSettingsRecord::AsciiSend, &TSettingsRecord::SetAsciiSend);
    // A click never changes what the two buttons show: they are put back to
    // the stored flags, then open the settings dialog on their panel.
    Mark(SendForm->ToolButton2, &TSettingsRecord::CycleSendOn);
    Mark(SendForm->ToolButton3, [this] { return Settings.TimingTriggerOn() || Settings.ReceiveTriggerOn(); });
    for (QAction *A : {SendForm->ToolButton2, findChild<QAction *>(QStringLiteral("CycleItem"))})
        connect(A, &QAction::triggered, this, [this] {
            ApplyOptions();
            SetForm->ShowPanel(TSetPanel::Cycle);
        });
    for (QAction *A : {SendForm->ToolButton3, findChild<QAction *>(QStringLiteral("TriggerItem"))})
        connect(A, &QAction::triggered, this, [this] {
            ApplyOptions();
            SetForm->ShowPanel(TSetPanel::Trigger);
        });
    SetForm->Settings = &Settings;
    SetForm->ApplyOptions = [this] { ApplyOptions(); };
    SetForm->StandardError = [this](const QString &Text) { FMessages->StandardError(Text); };

    for (TRichView *V : {SendForm->RichSend, FindForm->RichFind}) {
        V->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(V, &QWidget::customContextMenuRequested, this,
            [this, V](const QPoint &At) { ViewPopup->popup(V->viewport()->mapToGlobal(At)); });
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *Now) {
        for (TRichView *V : {RichShow, SendForm->RichSend, FindForm->RichFind})
            if (Now && (Now == V || V->isAncestorOf(Now)))
                ViewFocused(V);
    });
    // Ctrl+Tab and Ctrl+Shift+Tab go from view to view, also from a floating
    // window (a tab character is typed with the views' own Tab).
    const std::pair<const char *, QList<QKeySequence>> ViewKeys[] = {
        {"NextViewAction", {QKeySequence(Qt::CTRL | Qt::Key_Tab)}},
        {"PreviousViewAction",
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)}}};
    for (const auto &[Name, Keys] : ViewKeys) {
        auto *A = new QAction(this);
        A->setObjectName(QLatin1String(Name));
        A->setShortcuts(Keys);
        A->setShortcutContext(Qt::ApplicationShortcut);
        addAction(A);
        const int Step = A->objectName() == QLatin1String("NextViewAction") ? 1 : -1;
        connect(A, &QAction::triggered, this, [this, Step] { FocusNextView(Step); });
    }
    for (QWidget *Dock :
        {static_cast<QWidget *>(SendForm), static_cast<QWidget *>(FindForm), static_cast<QWidget *>(PlotForm)})
        Dock->installEventFilter(this);
    SetTabOrder();
    // However a command is invoked (a screen reader needs no input event),
    // the status bar shows what it did.
    for (QAction *A : findChildren<QAction *>())
        connect(A, &QAction::triggered, FTick, &TStatusTick::Wake);
}

bool TMainForm::eventFilter(QObject *Watched, QEvent *Event)
{
    if ((Event->type() == QEvent::Show || Event->type() == QEvent::Hide) && FWorkspaceReady &&
        (Watched == SendForm || Watched == FindForm))
        FollowDockVisibility();
    if ((Event->type() == QEvent::Show || Event->type() == QEvent::Hide) && Watched == PlotForm)
        FollowPlotVisibility();
    if (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonDblClick)
        for (TRichView *V : {RichShow, SendForm->RichSend, FindForm->RichFind})
            if (Watched == V->viewport())
                ViewFocused(V);
    return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::ViewFocused(TRichView *View)
{
    if (FDataRT)
        FDataRT->ActiveView = View;
}

void TMainForm::SetMessages(TRuntimeMessages *Messages)
{
    FMessages = Messages ? Messages : FDefaultMessages.get();
    if (HexDecForm)
        HexDecForm->SetMessages(FMessages);
    if (PrintForm)
        PrintForm->SetMessages(FMessages);
    if (FDataRT)
        FDataRT->SetMessages(Messages);
}

void TMainForm::Guarded(const std::function<void()> &Step)
{
    // What no command caught is told, and the program goes on.
    try {
        Step();
    } catch (const std::exception &E) {
        FMessages->StandardError(QString::fromLocal8Bit(E.what()));
    }
}

void TMainForm::Warn(const QString &Caption, const QString &Text)
{
    FMessages->Warning(isVisible() ? this : nullptr, Caption, Text);
}

void TMainForm::setVisible(bool Visible)
{
    // Before the window reaches the screen, so that the restored geometry
    // is the one it is mapped with.
    const bool First = Visible && !FWorkspaceReady;
    if (Visible)
        InitWorkspace();
    QMainWindow::setVisible(Visible);
    // Once mapped, the frame the window manager adds is known: the windows
    // are kept on the screen with it.
    if (First)
        QTimer::singleShot(0, this, [this] { KeepWindowsOnScreen(); });
}

void TMainForm::KeepWindowsOnScreen()
{
    if (!isMaximized() && !isFullScreen())
        KeepOnScreen(this);
    for (QWidget *Dock :
        {static_cast<QWidget *>(SendForm), static_cast<QWidget *>(FindForm), static_cast<QWidget *>(PlotForm)})
        if (Dock && Dock->isWindow())
            KeepOnScreen(Dock);
}

void TMainForm::InitWorkspace()
{
    if (FWorkspaceReady || !SendForm)
        return;
    FWorkspaceReady = true;
    try {
        LoadLayout();
        WatchSendFloating();

        FLink = std::make_unique<TQuillScomm>();
        // Modem lines and a vanished device change the status bar without a
        // line or any input: they wake the tick.
        FLink->SetStateChangedHandler([this] { FTick->WakeLater(); });
        FComThread = std::make_unique<TQuillComThread>(*FLink);
        FSession = std::make_unique<TPortSession>(*FLink, *FComThread);
        FReturn = std::make_unique<TDeviceReturn>(*FSession);
        FReturn->Reopened = [this](const std::string &Port) { DeviceReturned(QString::fromStdString(Port)); };
        FReturn->OpenEnded = [this] { ShowPortState(); };
        FDataRT = std::make_unique<TDataRT>(SendForm->RichSend, RichShow, FindForm->RichFind, FLink.get(), Settings);
        FollowPlotVisibility();
        FDataRT->FocusTarget = ColorButton;
        FDataRT->SendStopped = [this] { FTick->Wake(); };
        FDataRT->LinesWoken = [this] { FTick->Wake(); };
        FDataRT->PopUp = PopForm;
        FDataRT->PassesReceiveFilter = [this](const std::string &Data) { return PassesReceiveFilter(Settings, Data); };
        // A click into a view makes it the active one before the runtime's
        // own mouse handler measures it (filters installed later run first).
        for (TRichView *V : {RichShow, SendForm->RichSend, FindForm->RichFind})
            V->viewport()->installEventFilter(this);
        TStatusSources &Sources = StatusBarMY1->Sources;
        Sources.Link = FLink.get();
        Sources.Runtime = FDataRT.get();
        Sources.Settings = &Settings;
        Sources.SetSendCaption = [this](const QString &Caption) { SendForm->setWindowTitle(Caption); };
        // Only the marks follow the stopped functions; a full options step
        // would take the focus from the view the user types in.
        Sources.ApplyOptions = [this] { ShowMarks(); };
        if (FMessages != FDefaultMessages.get())
            FDataRT->SetMessages(FMessages);

        FCombos->Bind(&FLink->Port);

        DtrButton->setEnabled(false);
        RtsButton->setEnabled(false);

        Settings.SetCycleSendOn(false);
        Settings.SetTimingTriggerOn(false);
        Settings.SetReceiveTriggerOn(false);
        Settings.SetFilterOn(false);

        FCombos->Select(Settings, FStoredPort, FStoredBaud);
        FOverrides->Apply(Settings, FStoredPort);
        FCombos->SetChoice(FOverrides->Choice(FCombos->Choice()));
        if (!FOverrides->Options().LogDir.isEmpty())
            FAutoSave->AutoSaveOn = true;
        // Once the window is up, so that a port that does not open is told
        // over it.
        if (FOverrides->Options().Open)
            QTimer::singleShot(0, this, [this] {
                if (FSession && !FSession->IsOpen())
                    TogglePort();
            });

        if (std::exchange(FColoursReset, false))
            StatusBarMY1->showMessage(
                QStringLiteral("The stored colors made text the color of its background: the default colors are used."),
                15000);
        ColorButton->SetColour(ColourOfValue(Settings.TextColour()));
        RichShow->SetBackgroundColour(ColourOfValue(Settings.ReceiveViewBackground()));
        SendForm->RichSend->SetBackgroundColour(ColourOfValue(Settings.SendViewBackground()));
        FindForm->RichFind->SetBackgroundColour(ColourOfValue(Settings.SearchViewBackground()));

        // A file given on the command line keeps its own colours.
        if (RichShow->TextLength() == 0)
            RichShow->SetTextColour(Qt::black);
        SendForm->RichSend->SetTextColour(Qt::black);
        FindForm->RichFind->SetTextColour(Qt::black);

        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        AlwaysOnTopItem->setChecked(false);
        RichShow->setFocus();

        // The marks of the two windows say whether the layout shows them.
        Settings.SetSendWindowShown(!SendForm->isHidden());
        Settings.SetSearchWindowShown(!FindForm->isHidden());
        ApplyOptions();

        try {
            if (QFileInfo::exists(SendFilePath()))
                SendForm->RichSend->LoadFile(SendFilePath());
        } catch (const std::exception &) {
            // The send view starts empty.
        }
    } catch (const std::exception &) {
        // The program starts with what it has.
    }
    ShowPortState();
}

void TMainForm::LoadLayout()
{
    try {
        const TLayoutFile File(LayoutFilePath());
        if (!File.EnsureExists(QStringLiteral(":/config")))
            return;
        const TLayout Layout = File.Read(TLayout {QRect(x(), y(), width(), height()), false, {}, {}, {}});
        FStoredPort = Layout.PortName;
        FStoredBaud = Layout.BaudRate;
        ReopenItem->setChecked(Layout.ReopenOnReturn);
        EditReceivedItem->setChecked(Layout.EditReceived);
        PlotForm->SetSettings(TPlotSettings::FromMap(Layout.Plot));
        // Qt's own record of the geometry handles frames and screens, but
        // refuses one made on a screen of another width; the plain keys
        // (the default layout has only those) stand in for it then.
        if (!restoreGeometry(Layout.Geometry)) {
            if (Layout.Normal.isValid())
                setGeometry(Layout.Normal);
            if (Layout.Maximized)
                setWindowState(windowState() | Qt::WindowMaximized);
        }
        restoreState(Layout.DockState, TLayoutFile::LayoutVersion);
        // Stored on another screen or at another scale, a place may lie off
        // this screen, or a size exceed it.
        KeepWindowsOnScreen();
    } catch (const std::exception &) {
        // The windows keep their designed places.
    }
}

bool TMainForm::WriteLayout(const QString &Path)
{
    TLayout Layout;
    Layout.Normal = isMaximized() || isMinimized() || isFullScreen() ? normalGeometry() : geometry();
    Layout.Maximized = isMaximized();
    Layout.Geometry = saveGeometry();
    Layout.DockState = saveState(TLayoutFile::LayoutVersion);
    Layout.PortName = FOverrides->PortNameToStore(FCombos->PortName());
    Layout.BaudRate = FOverrides->BaudRateToStore(FCombos->TypedBaudRate(), FStoredBaud);
    Layout.ReopenOnReturn = ReopenItem->isChecked();
    Layout.EditReceived = EditReceivedItem->isChecked();
    Layout.Plot = PlotForm->Settings().ToMap();
    return TLayoutFile(Path).Write(Layout);
}

void TMainForm::ApplyOptions()
{
    const TSettingsRecord &S = Settings;
    ShowMarks();
    // While a connection is being made the port is the opening thread's:
    // the flags reach it when the opening ends.
    if (FDataRT && !FSession->Opening()) {
        FDataRT->TriggerOn = S.TimingTriggerOn() || S.ReceiveTriggerOn();
        try {
            FLink->Port.FlowControl().SetControlDTR(S.DtrOn() ? dtrEnable : dtrDisable);
            FLink->Port.FlowControl().SetControlRTS(S.RtsOn() ? rtsEnable : rtsDisable);
            FDataRT->ShowTime = S.ShowTime();
            FDataRT->ShowRxTx = S.ShowRxTx();
            FDataRT->ShowSending = S.ShowSending();
            RichShow->SetWordWrap(S.WordWrap());
            FLink->HexReceive = !S.AsciiReceive();
            ApplyCycleTimer(FDataRT->CycleTimer, S.CycleSendOn(), S.CycleInterval());
            FDataRT->SetCycleOptions(S);
            FDataRT->SetTriggerOptions(S);
            FLink->HexSend = !S.AsciiSend();
        } catch (const std::exception &) {
            // The rest of the step is skipped; the marks above stand.
        }
    }
    // The keys go to the receive view when nothing of this window has them;
    // otherwise they stay where the user works (a button pressed with
    // Space, the send view), and come back there after a dialog.
    if (!focusWidget())
        RichShow->setFocus();
    // Also when no input led here (a screen reader, another window): the
    // status bar shows what changed.
    FTick->Wake();
}

void TMainForm::ApplyPause()
{
    if (FLink)
        FLink->Monitoring = !Paused;
    if (FDataRT)
        FDataRT->ShowReceive = !Paused;
    PauseButton->setChecked(Paused);
    PauseItem->setChecked(Paused);
    FTick->Wake();
}

void TMainForm::TogglePort()
{
    if (!FSession)
        return;
    // Pressed again while a connection is being made: it is given up.
    if (FSession->Opening()) {
        FSession->CancelOpen();
        FReturn->Cancel();
        return;
    }
    // The user's own choice ends any wait for a vanished device.
    FReturn->Cancel();
    if (FSession->IsOpen()) {
        FSession->Close();
    } else {
        const TPortChoice Choice = FCombos->Choice();
        // A port on another machine may take seconds to answer: the window
        // goes on meanwhile, and the button gives the connection up.
        if (IsNetPortName(Choice.Port)) {
            FSession->OpenInBackground(Choice, [this](const std::string &Error, bool Cancelled) {
                QMetaObject::invokeMethod(
                    this, [this, Error, Cancelled] { PortOpenEnded(Error, Cancelled); }, Qt::QueuedConnection);
            });
            StatusBarMY1->showMessage(
                QStringLiteral("Connecting to %1 ...").arg(QString::fromStdString(Choice.Port)), 30000);
            ShowPortState();
            return;
        }
        try {
            FSession->Open(Choice);
        } catch (const ECom &E) {
            Warn(QStringLiteral("Open Port"), QString::fromLocal8Bit(E.what()));
            return;
        }
        if (FSession->IsOpen())
            FMessages->Withdraw(DeviceGoneNotice);
        ShowLineSettingsNote();
    }
    ShowPortState();
}

void TMainForm::PortOpenEnded(const std::string &Error, bool Cancelled)
{
    FSession->FinishOpen();
    StatusBarMY1->clearMessage();
    // What was set while the connection was made reaches the port now.
    ApplyOptions();
    ShowPortState();
    if (Cancelled) {
        StatusBarMY1->showMessage(QStringLiteral("The connection was given up."), 5000);
        return;
    }
    if (!Error.empty()) {
        Warn(QStringLiteral("Open Port"), QString::fromLocal8Bit(Error.c_str()));
        return;
    }
    FMessages->Withdraw(DeviceGoneNotice);
    ShowLineSettingsNote();
}

void TMainForm::ShowLineSettingsNote()
{
    // Short enough to stay clear of the counters at the status bar's right.
    if (!FSession->LineSettingsReachDevice())
        StatusBarMY1->showMessage(
            QStringLiteral("Raw socket: line settings and DTR/RTS cannot reach the device."), 10000);
}

void TMainForm::ReopenWhenDeviceReturns(bool On)
{
    if (!On && FReturn)
        FReturn->Cancel();
}

void TMainForm::DeviceReturned(const QString &Port)
{
    FMessages->Withdraw(DeviceGoneNotice);
    ShowPortState();
    StatusBarMY1->showMessage(QStringLiteral("The device %1 returned: the port was reopened.").arg(Port), 10000);
    ShowLineSettingsNote();
}

void TMainForm::ShowPortState()
{
    const bool Opening = FSession && FSession->Opening();
    const bool Open = FSession && FSession->IsOpen() && !Opening;
    const QString Caption = Opening ? QStringLiteral("Stop Connecting")
        : Open                      ? QStringLiteral("Close Port")
                                    : QStringLiteral("Open Port");
    const QIcon Image = ToolIcon(Open || Opening ? TToolIcon::PortClose : TToolIcon::PortOpen);
    for (QAction *A : {PortButton, PortItem}) {
        A->setText(Caption);
        A->setIcon(Image);
    }
    PortButton->setToolTip(Caption);
    if (QWidget *W = CoolBand1->widgetForAction(PortButton))
        W->setAccessibleName(Caption);
    FCombos->SetEnabled(!Open && !Opening);
    DtrButton->setEnabled(Open);
    RtsButton->setEnabled(Open);
    FTick->Wake();
}

bool TMainForm::StatusStep()
{
    // The port is the opening thread's until it ends.
    if (!FDataRT || FSession->Opening())
        return false;
    bool Changed = true;
    Guarded([&] {
        // A line waiting for the receive view's next repaint goes to the
        // screen with the counters: one pass instead of two (each costs an
        // exchange with the display server).
        RichShow->ShowPending();
        // Every control shows the closed port before the user is told, and
        // the box waits for the tick to end: a box shown from here would
        // stop the tick while it is open.
        const QString Gone = QString::fromStdString(FSession->CloseVanished());
        if (!Gone.isEmpty()) {
            const bool Reopen = ReopenItem->isChecked();
            if (Reopen)
                FReturn->Await(FSession->LastChoice());
            ShowPortState();
            // One box, whatever the number of vanishes while nobody looks;
            // it goes when the port is open again.
            QMetaObject::invokeMethod(
                this,
                [this, Gone, Reopen] {
                    FMessages->Notice(isVisible() ? this : nullptr, DeviceGoneNotice, QStringLiteral("Port"),
                        QStringLiteral("The device %1 is gone (unplugged or closed at the "
                                       "other end). The port was closed.%2")
                            .arg(Gone,
                                Reopen ? QStringLiteral("\nIt is reopened when the device returns.") : QString()));
                },
                Qt::QueuedConnection);
        }
        // A cycle or trigger stopped by a failed send wakes the tick itself
        // (SendStopped), so an armed trigger lets it sleep.
        Changed = StatusBarMY1->Tick() || !Gone.isEmpty();
    });
    return Changed;
}

void TMainForm::SaveSettings()
{
    FCombos->Store(Settings);
    FOverrides->KeepStored(Settings, FCombos->Choice());
    Settings.SetTextColour(ValueOfColour(ColorButton->Colour()));
    hide();
    Settings.SetProgramPath(QCoreApplication::applicationFilePath().toLocal8Bit().toStdString());
    WriteDataFile(Settings);
}

void TMainForm::closeEvent(QCloseEvent *Event)
{
    Event->accept();
    if (!FWorkspaceReady) {
        QMainWindow::closeEvent(Event);
        return;
    }
    // Saved also while minimised: the geometry saved is the normal one, and
    // what was typed and set in this session is not lost.
    // A layout that cannot be saved does not stop the exit, but the user
    // is told, as for the settings: the next start would not find it.
    QString LayoutError;
    try {
        CreateDataFolder();
        if (!WriteLayout(LayoutFilePath()))
            LayoutError = QStringLiteral("The file could not be written: %1").arg(LayoutFilePath());
    } catch (const std::exception &E) {
        LayoutError = QString::fromLocal8Bit(E.what());
    }
    if (!LayoutError.isEmpty())
        Warn(QStringLiteral("Save"), QStringLiteral("The window layout could not be saved.\n%1").arg(LayoutError));
    try {
        SaveSettings();
    } catch (const std::exception &E) {
        Warn(QStringLiteral("Save"),
            QStringLiteral("The settings could not be saved.\n%1").arg(QString::fromLocal8Bit(E.what())));
    }
    try {
        CreateDataFolder();
        SendForm->RichSend->SaveRtf(SendFilePath());
    } catch (const std::exception &E) {
        Warn(QStringLiteral("Save"),
            QStringLiteral("The send window's text could not be saved.\n%1").arg(QString::fromLocal8Bit(E.what())));
    }
    hide();
    // Floating docks and open tool windows must not keep the program alive.
    QCoreApplication::quit();
}

std::unique_ptr<TMainForm> CreateProgram(const QStringList &Arguments, const QStringList *Ports)
{
    QApplication::setApplicationName(QStringLiteral("Tallyscope"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    InstallButtonAccessibility();
    auto Main = std::make_unique<TMainForm>(nullptr, Ports);
    Main->CreateForms(Arguments);
    return Main;
}
