// The main window's life: creation, the workspace, options, the port, and
// the shutdown. Menus and tool bars are built in MainMenus.cpp; the commands
// behind them are in MainCommands.cpp.
#include "main.h"

#include "AscUnit.h"
#include "BColorSetUnit.h"
#include "CPortCtl.h"
#include "ColourButton.h"
#include "DataFolder.h"
#include "FilterUnit.h"
#include "FindDiaUnit.h"
#include "FindUnit.h"
#include "HexUnit.h"
#include "PopUnit.h"
#include "PortDiscovery.h"
#include "PrintUnit.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"
#include "SetUnit.h"
#include "StatusBarMY.h"
#include "TimeSaveUnit.h"
#include "ToolIcons.h"
#include "aboutUnit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

// The embedded default layout lives in this static library.
static void InitResources()
{
    Q_INIT_RESOURCE(tallyscope);
}

namespace {
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

void SelectIndex(QComboBox *Box, int Index)
{
    if (Index >= 0 && Index < Box->count())
        Box->setCurrentIndex(Index);
}

uint8_t StoredIndex(const QComboBox *Box)
{
    const int I = Box->currentIndex();
    return uint8_t(I < 0 || I > 255 ? 0 : I);
}
} // namespace

TMainForm::TMainForm(QWidget *Parent, const QStringList *Ports)
    : QMainWindow(Parent), FDefaultMessages(std::make_unique<TRuntimeMessages>())
{
    InitResources();
    FMessages = FDefaultMessages.get();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Corvane Tallyscope"));
    QFont Ui(QStringLiteral("Tahoma"));
    Ui.setPointSize(8);
    setFont(Ui);
    setDockNestingEnabled(true);

    // An unreadable "data" keeps the "New" values the record starts with
    // (every colour black would hide the text) and the port list is still
    // filled: a damaged file must not leave the program unusable.
    try {
        ReadDataFile(Settings);
    } catch (const std::exception &) {
    }

    CreateReceiveView();
    CreateToolBars();
    CreateMenus();
    FillPortList(Ports);

    StatusBarMY1 = new TStatusBarMY(this);
    StatusBarMY1->setObjectName(QStringLiteral("StatusBarMY1"));
    setStatusBar(StatusBarMY1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
    Timer1->start();
    // The tick shows a waiting received line (Timer1Timer); the view's own
    // timer is only the fallback.
    RichShow->setQuietDelay(Timer1->interval() + 20);
    qApp->installEventFilter(this);
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
    qApp->removeEventFilter(this);
    if (FLink)
        FLink->SetStateChangedHandler(nullptr);
    Timer1->stop();
    StatusBarMY1->Sources = TStatusSources{};
    FDataRT.reset();
    FComThread.reset();
    for (TComComboBox *Box : {CBoxBaudRate, CBoxParityBits, CBoxDataBits, CBoxStopBits})
        Box->SetComPort(nullptr);
    FLink.reset();
}

void TMainForm::FillPortList(const QStringList *Ports)
{
    // Device names are case-sensitive and shown as they are; the combo is
    // editable so that a path such as /dev/pts/7 can be typed in.
    QStringList Names;
    if (Ports) {
        Names = *Ports;
    } else {
        std::vector<std::string> Found;
        try {
            AddSerialCommPorts(Found);
            AddModemEntries(Found);
        } catch (const std::exception &) {
            // Go on with what was found.
        }
        for (const std::string &N : Found)
            Names << QString::fromStdString(N);
    }
    CBoxPort->addItems(Names);
    if (Settings.PortIndex() >= CBoxPort->count())
        Settings.SetPortIndex(0);
    SelectIndex(CBoxPort, Settings.PortIndex());
}

void TMainForm::CreateForms(const QStringList &Arguments)
{
    SendForm = new TSendForm(this);
    SetForm = new TSetForm(this);
    PopForm = new TPopForm(this);
    FindForm = new TFindForm(this);
    FilterForm = new TFilterForm(this);
    FindDialog = new TFindDialog(this);
    BColorSetForm = new TBColorSetForm(this);
    TimeSaveForm = new TTimeSaveForm(this);
    PrintForm = new TPrintForm(this);
    HexDecForm = new THexDecForm(this);
    AscForm = new TAscForm(this);
    aboutForm = new TaboutForm(this);
    ConnectForms();

    for (TRichView *V : {RichShow, SendForm->RichSend, FindForm->RichFind})
        V->setMaxLength(ViewMaxLength);

    if (!Arguments.isEmpty() && !Arguments.first().isEmpty() && QFileInfo(Arguments.first()).isFile()) {
        try {
            RichShow->loadFile(Arguments.first());
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

    connect(SendForm, &TSendForm::Closed, this, [this] {
        Settings.SetSendWindowShown(false);
        ApplyOptions();
    });
    connect(FindForm, &TFindForm::Closed, this, [this] {
        Settings.SetSearchWindowShown(false);
        ApplyOptions();
    });
    connect(SendForm->ToolButton1, &QAction::triggered, this, &TMainForm::SendDataCommand);
    connect(SendForm->ToolButton8, &QAction::triggered, this,
            [this] { FlipOption(&TSettingsRecord::AsciiSend, &TSettingsRecord::SetAsciiSend); });
    // The settings dialog's panels come with cycle and trigger send; until
    // then a click only puts the button back to its flag.
    connect(SendForm->ToolButton2, &QAction::triggered, this, &TMainForm::ApplyOptions);
    connect(SendForm->ToolButton3, &QAction::triggered, this, &TMainForm::ApplyOptions);

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
}

bool TMainForm::eventFilter(QObject *Watched, QEvent *Event)
{
    // Anything but timers and painting may change what the status bar shows
    // (input, a received line's wake-up, the reader's news): the sleeping
    // tick wakes.
    switch (Event->type()) {
    case QEvent::Timer:
    case QEvent::Paint:
    case QEvent::UpdateRequest:
    case QEvent::UpdateLater:
    case QEvent::LayoutRequest:
    case QEvent::DeferredDelete:
    case QEvent::SockAct:
    case QEvent::SockClose:
        break;
    default:
        if (Timer1 && !Timer1->isActive())
            WakeStatus();
    }
    if (Event->type() == QEvent::MouseButtonPress && !isActiveWindow() && Watched->isWidgetType()
        && static_cast<QWidget *>(Watched)->window() == this)
        FClickWhileInactive.start();
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
    if (Visible)
        InitWorkspace();
    QMainWindow::setVisible(Visible);
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
        FLink->SetStateChangedHandler(
            [this] { QMetaObject::invokeMethod(this, [this] { WakeStatus(); }, Qt::QueuedConnection); });
        FComThread = std::make_unique<TQuillComThread>(*FLink);
        FDataRT = std::make_unique<TDataRT>(SendForm->RichSend, RichShow, FindForm->RichFind, FLink.get(),
                                            Settings);
        FDataRT->FocusTarget = ColorButton;
        // A click into a view makes it the active one before the runtime's
        // own mouse handler measures it (filters installed later run first).
        for (TRichView *V : {RichShow, SendForm->RichSend, FindForm->RichFind})
            V->viewport()->installEventFilter(this);
        TStatusSources &Sources = StatusBarMY1->Sources;
        Sources.Link = FLink.get();
        Sources.Runtime = FDataRT.get();
        Sources.Settings = &Settings;
        Sources.SetSendCaption = [this](const QString &Caption) { SendForm->setWindowTitle(Caption); };
        // Only the marks of the two stopped functions follow; a full options
        // step would take the focus from the view the user types in.
        Sources.ApplyOptions = [this] {
            SendForm->ToolButton2->setChecked(Settings.CycleSendOn());
            CycleItem->setChecked(Settings.CycleSendOn());
            const bool Trigger = Settings.TimingTriggerOn() || Settings.ReceiveTriggerOn();
            SendForm->ToolButton3->setChecked(Trigger);
            TriggerItem->setChecked(Trigger);
        };
        if (FMessages != FDefaultMessages.get())
            FDataRT->SetMessages(FMessages);

        for (TComComboBox *Box : {CBoxBaudRate, CBoxParityBits, CBoxDataBits, CBoxStopBits})
            Box->SetComPort(&FLink->Port);

        DtrButton->setEnabled(false);
        RtsButton->setEnabled(false);

        Settings.SetCycleSendOn(false);
        Settings.SetTimingTriggerOn(false);
        Settings.SetReceiveTriggerOn(false);
        Settings.SetFilterOn(false);

        SelectIndex(CBoxPort, Settings.PortIndex());
        SelectIndex(CBoxBaudRate, Settings.BaudIndex());
        SelectIndex(CBoxParityBits, Settings.ParityIndex());
        SelectIndex(CBoxDataBits, Settings.DataBitsIndex());
        SelectIndex(CBoxStopBits, Settings.StopBitsIndex());

        ColorButton->SetColour(ColourOfValue(Settings.TextColour()));
        RichShow->setBackgroundColour(ColourOfValue(Settings.ReceiveViewBackground()));
        SendForm->RichSend->setBackgroundColour(ColourOfValue(Settings.SendViewBackground()));
        FindForm->RichFind->setBackgroundColour(ColourOfValue(Settings.SearchViewBackground()));

        // A file given on the command line keeps its own colours.
        if (RichShow->textLength() == 0)
            RichShow->setTextColour(Qt::black);
        SendForm->RichSend->setTextColour(Qt::black);
        FindForm->RichFind->setTextColour(Qt::black);

        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        AlwaysOnTopItem->setChecked(false);
        RichShow->setFocus();

        ApplyOptions();

        try {
            if (QFileInfo::exists(SendFilePath()))
                SendForm->RichSend->loadFile(SendFilePath());
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
        const QString Path = LayoutFilePath();
        if (!QFileInfo::exists(Path)) {
            CreateDataFolder();
            QFile Default(QStringLiteral(":/config"));
            QFile Out(Path);
            if (!Default.open(QIODevice::ReadOnly) || !Out.open(QIODevice::WriteOnly))
                return;
            Out.write(Default.readAll());
            if (!Out.flush())
                return;
        }
        QSettings Ini(Path, QSettings::IniFormat);
        // Qt's own record of the geometry handles frames and screens, but
        // refuses one made on a screen of another width; the plain keys
        // (the default layout has only those) stand in for it then.
        if (!restoreGeometry(Ini.value(QStringLiteral("MainForm/Geometry")).toByteArray())) {
            const QRect Normal(Ini.value(QStringLiteral("MainForm/Left"), x()).toInt(),
                               Ini.value(QStringLiteral("MainForm/Top"), y()).toInt(),
                               Ini.value(QStringLiteral("MainForm/Width"), width()).toInt(),
                               Ini.value(QStringLiteral("MainForm/Height"), height()).toInt());
            if (Normal.isValid())
                setGeometry(Normal);
            if (Ini.value(QStringLiteral("MainForm/Maximized")).toBool())
                setWindowState(windowState() | Qt::WindowMaximized);
        }
        restoreState(Ini.value(QStringLiteral("MainForm/DockState")).toByteArray(), LayoutVersion);
    } catch (const std::exception &) {
        // The windows keep their designed places.
    }
}

void TMainForm::SaveLayout()
{
    try {
        CreateDataFolder();
        WriteLayout(LayoutFilePath());
    } catch (const std::exception &) {
        // A layout that cannot be saved is not worth stopping the exit for.
    }
}

bool TMainForm::WriteLayout(const QString &Path)
{
    QSettings Ini(Path, QSettings::IniFormat);
    Ini.clear();
    Ini.setValue(QStringLiteral("Forms/FormNames"), QStringLiteral("SendForm;FindForm;MainForm"));
    const QRect Normal = isMaximized() || isMinimized() || isFullScreen() ? normalGeometry() : geometry();
    Ini.setValue(QStringLiteral("MainForm/Left"), Normal.x());
    Ini.setValue(QStringLiteral("MainForm/Top"), Normal.y());
    Ini.setValue(QStringLiteral("MainForm/Width"), Normal.width());
    Ini.setValue(QStringLiteral("MainForm/Height"), Normal.height());
    Ini.setValue(QStringLiteral("MainForm/Maximized"), isMaximized());
    Ini.setValue(QStringLiteral("MainForm/Geometry"), saveGeometry());
    Ini.setValue(QStringLiteral("MainForm/DockState"), saveState(LayoutVersion));
    Ini.sync();
    return Ini.status() == QSettings::NoError;
}

void TMainForm::ApplyOptions()
{
    const TSettingsRecord &S = Settings;
    DtrButton->setChecked(S.DtrOn());
    RtsButton->setChecked(S.RtsOn());

    ShowTimeItem->setChecked(S.ShowTime());
    ShowTimeItem2->setChecked(S.ShowTime());
    ShowRxTxItem->setChecked(S.ShowRxTx());
    ShowRxTxItem2->setChecked(S.ShowRxTx());
    DisplaySendingButton->setChecked(S.ShowSending());
    ShowSendingItem->setChecked(S.ShowSending());
    WordWrapButton->setChecked(S.WordWrap());
    WordWrapItem->setChecked(S.WordWrap());
    FilterButton->setChecked(S.FilterOn());
    FilterItem->setChecked(S.FilterOn());
    AsciiReceiveButton->setChecked(S.AsciiReceive());
    AsciiReceiveItem->setChecked(S.AsciiReceive());
    AsciiSendItem->setChecked(S.AsciiSend());
    CycleItem->setChecked(S.CycleSendOn());
    SendWinButton->setChecked(S.SendWindowShown());
    SendWindowItem->setChecked(S.SendWindowShown());
    FindWinButton->setChecked(S.SearchWindowShown());
    FindWindowItem->setChecked(S.SearchWindowShown());
    if (SendForm) {
        SendForm->ToolButton8->setChecked(S.AsciiSend());
        SendForm->ToolButton2->setChecked(S.CycleSendOn());
    }

    const bool Trigger = S.TimingTriggerOn() || S.ReceiveTriggerOn();
    if (FDataRT)
        FDataRT->TriggerOn = Trigger;
    TriggerItem->setChecked(Trigger);
    if (SendForm)
        SendForm->ToolButton3->setChecked(Trigger);

    if (FDataRT) {
        try {
            FLink->Port.FlowControl().SetControlDTR(S.DtrOn() ? dtrEnable : dtrDisable);
            FLink->Port.FlowControl().SetControlRTS(S.RtsOn() ? rtsEnable : rtsDisable);
            FDataRT->ShowTime = S.ShowTime();
            FDataRT->ShowRxTx = S.ShowRxTx();
            FDataRT->ShowSending = S.ShowSending();
            RichShow->setWordWrap(S.WordWrap());
            FLink->HexReceive = !S.AsciiReceive();
            if (S.CycleSendOn())
                FDataRT->CycleTimer->start(int(std::max<uint32_t>(1, std::min<uint32_t>(S.CycleInterval(), INT32_MAX))));
            else
                FDataRT->CycleTimer->stop();
            FDataRT->SetCycleOptions(S);
            FDataRT->SetTriggerOptions(S);
            FLink->HexSend = !S.AsciiSend();
        } catch (const std::exception &) {
            // The rest of the step is skipped; the marks above stand.
        }
    }
    RichShow->setFocus();
}

void TMainForm::ApplyPause()
{
    if (FLink)
        FLink->Monitoring = !Paused;
    if (FDataRT)
        FDataRT->ShowReceive = !Paused;
    PauseButton->setChecked(Paused);
    PauseItem->setChecked(Paused);
}

void TMainForm::TogglePort()
{
    if (!FLink)
        return;
    if (FLink->Port.Connected()) {
        FLink->ClosePort();
        FComThread->Park();
    } else {
        FLink->Port.SetPort(CBoxPort->currentText().toStdString());
        FLink->Port.SetBaudRate(TextToBaudRate(CBoxBaudRate->Text().toStdString()));
        FLink->Port.Parity().SetBits(TextToParity(CBoxParityBits->Text().toStdString()));
        FLink->Port.SetDataBits(TextToDataBits(CBoxDataBits->Text().toStdString()));
        FLink->Port.SetStopBits(TextToStopBits(CBoxStopBits->Text().toStdString()));
        try {
            FLink->OpenPort();
        } catch (const ECom &E) {
            Warn(QStringLiteral("Open Port"), QString::fromLocal8Bit(E.what()));
            return;
        }
        if (FLink->Port.Connected())
            FComThread->Release();
    }
    ShowPortState();
}

void TMainForm::ShowPortState()
{
    const bool Open = FLink && FLink->Port.Connected();
    const QString Caption = Open ? QStringLiteral("Close Port") : QStringLiteral("Open Port");
    const QIcon Image = ToolIcon(Open ? TToolIcon::PortClose : TToolIcon::PortOpen);
    for (QAction *A : {PortButton, PortItem}) {
        A->setText(Caption);
        A->setIcon(Image);
    }
    PortButton->setToolTip(Caption);
    if (QWidget *W = CoolBand1->widgetForAction(PortButton))
        W->setAccessibleName(Caption);
    for (QWidget *W : {static_cast<QWidget *>(CBoxPort), static_cast<QWidget *>(CBoxBaudRate),
                       static_cast<QWidget *>(CBoxParityBits), static_cast<QWidget *>(CBoxDataBits),
                       static_cast<QWidget *>(CBoxStopBits)})
        W->setEnabled(!Open);
    DtrButton->setEnabled(Open);
    RtsButton->setEnabled(Open);
}

void TMainForm::Timer1Timer()
{
    if (!FDataRT)
        return;
    // A line waiting for the receive view's next repaint goes to the screen
    // with the counters: one pass instead of two (each costs an exchange
    // with the display server).
    RichShow->showPending();
    const bool Changed = StatusBarMY1->Tick();
    DeviceGoneCheck();
    // With nothing shown changing and nothing running that could change it
    // unseen, the tick sleeps until an event wakes it (WakeStatus): an idle
    // monitor then does not wake the interface thread twenty times a second.
    const bool Running = FDataRT->CycleTimer->isActive() || FDataRT->TriggerOn;
    IdleTicks = Changed || Running ? 0 : IdleTicks + 1;
    if (IdleTicks >= IdleTicksBeforeSleep)
        Timer1->stop();
}

void TMainForm::WakeStatus()
{
    IdleTicks = 0;
    if (Timer1 && !Timer1->isActive())
        Timer1->start();
}

void TMainForm::DeviceGoneCheck()
{
    // The reader stops touching a vanished device at once; here the port is
    // closed so that the controls show it and the user can open it again.
    if (!FLink->Port.Connected() || !FLink->DeviceGone())
        return;
    const QString Name = QString::fromStdString(FLink->Port.Port());
    try {
        FLink->ClosePort();
    } catch (const std::exception &) {
        // It is gone; closing what is left cannot be done better.
    }
    FComThread->Park();
    ShowPortState();
    Warn(QStringLiteral("Port"),
         QStringLiteral("The device %1 is gone (unplugged or closed at the other end). The port was closed.")
             .arg(Name));
}

void TMainForm::SaveSettings()
{
    Settings.SetPortIndex(StoredIndex(CBoxPort));
    Settings.SetBaudIndex(StoredIndex(CBoxBaudRate));
    Settings.SetParityIndex(StoredIndex(CBoxParityBits));
    Settings.SetDataBitsIndex(StoredIndex(CBoxDataBits));
    Settings.SetStopBitsIndex(StoredIndex(CBoxStopBits));
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
    SaveLayout();
    try {
        SaveSettings();
    } catch (const std::exception &E) {
        Warn(QStringLiteral("Save"), QStringLiteral("The settings could not be saved.\n%1")
                                         .arg(QString::fromLocal8Bit(E.what())));
    }
    try {
        CreateDataFolder();
        SendForm->RichSend->saveRtf(SendFilePath());
    } catch (const std::exception &E) {
        Warn(QStringLiteral("Save"), QStringLiteral("The send window's text could not be saved.\n%1")
                                         .arg(QString::fromLocal8Bit(E.what())));
    }
    hide();
    // Floating docks and open tool windows must not keep the program alive.
    QCoreApplication::quit();
}

std::unique_ptr<TMainForm> CreateProgram(const QStringList &Arguments, const QStringList *Ports)
{
    QApplication::setApplicationName(QStringLiteral("Tallyscope"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    auto Main = std::make_unique<TMainForm>(nullptr, Ports);
    Main->CreateForms(Arguments);
    return Main;
}
