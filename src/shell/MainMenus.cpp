// The main window's controls: receive view, tool bars and menus. Every
// check-style control is flipped back to its flag by ApplyOptions, so the
// click handlers only change flags.
#include "main.h"

#include "AscUnit.h"
#include "BColorSetUnit.h"
#include "ColourButton.h"
#include "FindUnit.h"
#include "HexUnit.h"
#include "LineCombos.h"
#include "MessageCommands.h"
#include "PlotForm.h"
#include "PrintUnit.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"
#include "TimeSaveUnit.h"
#include "ToolIcons.h"
#include "aboutUnit.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// A tool-bar button with its hint; screen readers know it by the hint.
QAction *ToolButton(QToolBar *Bar, const char *Name, const QIcon &Icon, const QString &Hint, bool Check)
{
    QAction *A = Bar->addAction(Icon, Hint);
    A->setObjectName(QLatin1String(Name));
    A->setToolTip(Hint);
    A->setCheckable(Check);
    if (QWidget *W = Bar->widgetForAction(A)) {
        W->setObjectName(QLatin1String(Name));
        W->setAccessibleName(Hint);
    }
    return A;
}

// Items with state or a shortcut carry their design name as object name.
QAction *MenuItem(QMenu *Menu, const QString &Caption, bool Check = false,
    const QKeySequence &Shortcut = QKeySequence(), const char *Name = nullptr)
{
    QAction *A = Menu->addAction(Caption);
    if (Name)
        A->setObjectName(QLatin1String(Name));
    A->setCheckable(Check);
    if (!Shortcut.isEmpty()) {
        A->setShortcut(Shortcut);
        // Also while a floating send or search window has the focus.
        A->setShortcutContext(Qt::ApplicationShortcut);
    }
    return A;
}

}  // namespace

void TMainForm::CreateReceiveView()
{
    auto *Client = new QWidget(this);
    auto *Layout = new QVBoxLayout(Client);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);

    RichShow = new TRichView(Client);
    RichShow->setObjectName(QStringLiteral("RichShow"));
    RichShow->setAccessibleName(QStringLiteral("Receive view"));
    QFont Mono(QStringLiteral("Courier New"));
    Mono.setPixelSize(12);
    Mono.setStyleHint(QFont::Monospace);
    RichShow->setFont(Mono);
    RichShow->SetWordWrap(false);
    // Received text is evidence: a stray keystroke must not change it
    // ("Edit Received Text" allows it).
    RichShow->SetUserEditable(false);
    RichShow->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichShow, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &At) { ViewPopup->popup(RichShow->viewport()->mapToGlobal(At)); });
    Layout->addWidget(RichShow, 1);

    auto *ReceBar = new QToolBar(QStringLiteral("ReceBar"), Client);
    ReceBar->setObjectName(QStringLiteral("ReceBar"));
    ReceBar->setIconSize(QSize(18, 18));
    Layout->addWidget(ReceBar);

    auto *Divider = new QFrame(Client);
    Divider->setFrameShape(QFrame::HLine);
    Divider->setFrameShadow(QFrame::Sunken);
    Divider->setFixedHeight(2);
    Layout->addWidget(Divider);
    setCentralWidget(Client);
}

void TMainForm::CreateToolBars()
{
    using R = TSettingsRecord;
    CoolBand1 = addToolBar(QStringLiteral("Port"));
    CoolBand1->setObjectName(QStringLiteral("CoolBand1"));
    // The second band goes under the first: both do not fit the designed
    // width side by side.
    addToolBarBreak();
    QToolBar *CoolBand2 = addToolBar(QStringLiteral("Windows"));
    CoolBand2->setObjectName(QStringLiteral("CoolBand2"));
    for (QToolBar *Bar : {CoolBand1, CoolBand2}) {
        Bar->setMovable(false);
        Bar->setFloatable(false);
        Bar->setIconSize(QSize(20, 20));
    }

    QAction *SaveButton =
        ToolButton(CoolBand1, "SaveButton", ToolIcon(TToolIcon::Save), QStringLiteral("Save Receiving Message"), false);
    CoolBand1->addSeparator();
    PortButton = ToolButton(CoolBand1, "PortButton", ToolIcon(TToolIcon::PortOpen), QStringLiteral("Open Port"), false);
    connect(PortButton, &QAction::triggered, this, [this] { Guarded([this] { TogglePort(); }); });
    PauseButton = ToolButton(CoolBand1, "PauseButton", ToolIcon(TToolIcon::Pause),
        QString::fromUtf8("\u6682\u505c\u62a5\u6587\u76d1\u89c6"), true);
    // Screen readers get the English name of the command as well.
    CoolBand1->widgetForAction(PauseButton)->setAccessibleDescription(QStringLiteral("Pause Monitoring"));
    CoolBand1->addSeparator();

    FCombos = std::make_unique<TLineCombos>(CoolBand1);
    CoolBand1->addSeparator();
    DtrButton = ToolButton(CoolBand1, "DtrButton", QIcon(), QStringLiteral("DTR"), true);
    RtsButton = ToolButton(CoolBand1, "RtsButton", QIcon(), QStringLiteral("RTS"), true);
    for (QAction *A : {DtrButton, RtsButton})
        qobject_cast<QToolButton *>(CoolBand1->widgetForAction(A))->setToolButtonStyle(Qt::ToolButtonTextOnly);
    FlagCommand(DtrButton, &R::DtrOn, &R::SetDtrOn);
    FlagCommand(RtsButton, &R::RtsOn, &R::SetRtsOn);

    QAction *SendWinButton =
        ToolButton(CoolBand2, "SendWinButton", ToolIcon(TToolIcon::SendWindow), QStringLiteral("Send Window"), true);
    QAction *FindWinButton =
        ToolButton(CoolBand2, "FindWinButton", ToolIcon(TToolIcon::FindWindow), QStringLiteral("Find Window"), true);
    DockCommands(SendWinButton, FindWinButton);
    PlotCommand(
        ToolButton(CoolBand2, "PlotWinButton", ToolIcon(TToolIcon::PlotWindow), QStringLiteral("Plot Window"), true));
    CoolBand2->addSeparator();
    QAction *ConverterButton = ToolButton(
        CoolBand2, "ConverterButton", ToolIcon(TToolIcon::Converter), QStringLiteral("HexDecBin Converter"), false);
    CoolBand2->addSeparator();
    ColorButton = new TColourButton(CoolBand2);
    CoolBand2->addWidget(ColorButton);
    connect(ColorButton, &TColourButton::Picked, this, &TMainForm::ApplyTextColour);

    // The receive tool bar under the view.
    QToolBar *ReceBar = findChild<QToolBar *>(QStringLiteral("ReceBar"));
    auto *DisplayTimeButton = new QToolButton(ReceBar);
    DisplayTimeButton->setObjectName(QStringLiteral("DisplayTimeButton"));
    DisplayTimeButton->setIcon(ToolIcon(TToolIcon::DisplayTime));
    DisplayTimeButton->setToolTip(QStringLiteral("Display Time"));
    DisplayTimeButton->setAccessibleName(QStringLiteral("Display Time"));
    DisplayTimeButton->setPopupMode(QToolButton::MenuButtonPopup);
    auto *TimeMenu = new QMenu(DisplayTimeButton);
    FlagCommand(
        MenuItem(TimeMenu, QStringLiteral("Show Time"), true, {}, "ShowTimeItem2"), &R::ShowTime, &R::SetShowTime);
    FlagCommand(
        MenuItem(TimeMenu, QStringLiteral("Show RxTx"), true, {}, "ShowRxTxItem2"), &R::ShowRxTx, &R::SetShowRxTx);
    DisplayTimeButton->setMenu(TimeMenu);
    ReceBar->addWidget(DisplayTimeButton);
    FlagCommand(ToolButton(ReceBar, "DisplaySendingButton", ToolIcon(TToolIcon::DisplaySending),
                    QStringLiteral("Display Sending Message"), true),
        &R::ShowSending, &R::SetShowSending);
    ReceBar->addSeparator();
    FlagCommand(ToolButton(ReceBar, "WordWrapButton", ToolIcon(TToolIcon::WordWrap), QStringLiteral("Word Wrap"), true),
        &R::WordWrap, &R::SetWordWrap);
    ReceBar->addSeparator();
    QAction *FilterButton =
        ToolButton(ReceBar, "FilterButton", ToolIcon(TToolIcon::Filter), QStringLiteral("Filter Settings"), true);
    Mark(FilterButton, &R::FilterOn);
    ReceBar->addSeparator();
    FlagCommand(ToolButton(ReceBar, "AsciiReceiveButton", ToolIcon(TToolIcon::AsciiReceive),
                    QStringLiteral("ASCII Receive"), true),
        &R::AsciiReceive, &R::SetAsciiReceive);
    ReceBar->addSeparator();
    QAction *ClearButton =
        ToolButton(ReceBar, "ClearButton", ToolIcon(TToolIcon::Clear), QStringLiteral("Clear Screen"), false);
    connect(ClearButton, &QAction::triggered, this, [this] { RichShow->ClearText(); });
    connect(SaveButton, &QAction::triggered, this, [this] { FMessageCommands->SaveFile(RichShow); });
    connect(ConverterButton, &QAction::triggered, this, [this] { HexDecForm->ShowAtCursor(); });
}

void TMainForm::DockCommands(QAction *SendWindow, QAction *FindWindow)
{
    using R = TSettingsRecord;
    Mark(SendWindow, &R::SendWindowShown);
    Mark(FindWindow, &R::SearchWindowShown);
    connect(SendWindow, &QAction::triggered, this,
        [this] { DockCommand(&R::SetSendWindowShown, SendForm, SendForm->RichSend); });
    connect(FindWindow, &QAction::triggered, this,
        [this] { DockCommand(&R::SetSearchWindowShown, FindForm, FindForm->RichFind); });
}

void TMainForm::PlotCommand(QAction *PlotWindow)
{
    Mark(PlotWindow, [this] { return PlotForm && !PlotForm->isHidden(); });
    connect(PlotWindow, &QAction::triggered, this, [this] {
        if (PlotForm->isVisible()) {
            HideDocked(PlotForm);
            activateWindow();
            RichShow->setFocus(Qt::OtherFocusReason);
        } else {
            ShowDocked(PlotForm);
            PlotForm->activateWindow();
        }
        ShowMarks();
    });
}

void TMainForm::CreateMenus()
{
    using R = TSettingsRecord;
    QMenuBar *Bar = menuBar();
    // Each menu opens with Alt and its first letter (no two alike).

    QMenu *File = Bar->addMenu(QStringLiteral("&File"));
    QAction *OpenReceiving = MenuItem(File, QStringLiteral("Open Receiving  Message"));
    QAction *SaveReceiving =
        MenuItem(File, QStringLiteral("Save Receiving  Message"), false, QKeySequence(Qt::CTRL | Qt::Key_S));
    File->addSeparator();
    QAction *OpenSending = MenuItem(File, QStringLiteral("Open Sending Message"));
    QAction *SaveSending = MenuItem(File, QStringLiteral("Save Sending Message"));
    File->addSeparator();
    QAction *Print = MenuItem(File, QStringLiteral("Print"));
    QAction *Preview = MenuItem(File, QStringLiteral("Print Preview"));
    File->addSeparator();
    connect(MenuItem(File, QStringLiteral("Exit")), &QAction::triggered, this, &QWidget::close);

    QMenu *Edit = Bar->addMenu(QStringLiteral("&Edit"));
    const std::pair<const char *, int> EditKeys[] = {{"Undo     Ctrl+Z", Qt::Key_Z}, {nullptr, 0},
        {"Cut      Ctrl+X", Qt::Key_X}, {"Copy     Ctrl+C", Qt::Key_C}, {"Paste    Ctrl+V", Qt::Key_V}, {nullptr, 0},
        {"Select All", Qt::Key_A}, {nullptr, 0}};
    for (const auto &[Caption, Key] : EditKeys) {
        if (!Caption) {
            Edit->addSeparator();
            continue;
        }
        connect(MenuItem(Edit, QLatin1String(Caption)), &QAction::triggered, this,
            [this, Key = Key] { SynthesiseKey(Key); });
    }
    MenuItem(Edit, QStringLiteral("Find"), false, QKeySequence(Qt::CTRL | Qt::Key_F), "FindItem");
    MenuItem(Edit, QStringLiteral("Find Next "), false, QKeySequence(Qt::Key_F3), "FindNextItem");

    QMenu *View = Bar->addMenu(QStringLiteral("&View"));
    FlagCommand(MenuItem(View, QStringLiteral("Show Time"), true, {}, "ShowTimeItem"), &R::ShowTime, &R::SetShowTime);
    FlagCommand(MenuItem(View, QStringLiteral("Show RxTx"), true, {}, "ShowRxTxItem"), &R::ShowRxTx, &R::SetShowRxTx);
    FlagCommand(MenuItem(View, QStringLiteral("Word Wrap"), true, {}, "WordWrapItem"), &R::WordWrap, &R::SetWordWrap);
    FlagCommand(MenuItem(View, QStringLiteral("Show Sending"), true, {}, "ShowSendingItem"), &R::ShowSending,
        &R::SetShowSending);
    QAction *FilterItem = MenuItem(View, QStringLiteral("Filter Settings"), true, {}, "FilterItem");
    FilterItem->setVisible(false);
    Mark(FilterItem, &R::FilterOn);
    View->addSeparator();
    QAction *SendWindowItem =
        MenuItem(View, QStringLiteral("Send Window"), true, QKeySequence(Qt::Key_F8), "SendWindowItem");
    DockCommands(SendWindowItem, MenuItem(View, QStringLiteral("Find Window"), true, {}, "FindWindowItem"));
    PlotCommand(MenuItem(View, QStringLiteral("Plot Window"), true, {}, "PlotWindowItem"));
    View->addSeparator();
    QAction *ColourSettings = MenuItem(View, QStringLiteral("Color Settings"));
    // Not a flag of the settings record: kept in config.ini with the layout.
    EditReceivedItem = MenuItem(View, QStringLiteral("Edit Received Text"), true, {}, "EditReceivedItem");
    connect(EditReceivedItem, &QAction::toggled, this, [this](bool On) { RichShow->SetUserEditable(On); });

    QMenu *Tools = Bar->addMenu(QStringLiteral("&Tools "));
    PortItem = MenuItem(Tools, QStringLiteral("Open Port"), false, {}, "PortItem");
    connect(PortItem, &QAction::triggered, this, [this] { Guarded([this] { TogglePort(); }); });
    ReopenItem = MenuItem(Tools, QStringLiteral("Reopen When Device Returns"), true, {}, "ReopenItem");
    ReopenItem->setChecked(true);
    connect(ReopenItem, &QAction::toggled, this, [this](bool On) { ReopenWhenDeviceReturns(On); });
    PauseItem = MenuItem(Tools, QStringLiteral("Pause Monitoring"), true, {}, "PauseItem");
    connect(MenuItem(Tools, QStringLiteral("Send Data"), false, QKeySequence(Qt::Key_F5), "SendDataItem"),
        &QAction::triggered, this, &TMainForm::SendDataCommand);
    Tools->addSeparator();
    FlagCommand(MenuItem(Tools, QStringLiteral("ASCII Receive"), true, {}, "AsciiReceiveItem"), &R::AsciiReceive,
        &R::SetAsciiReceive);
    FlagCommand(
        MenuItem(Tools, QStringLiteral("ASCII Send"), true, {}, "AsciiSendItem"), &R::AsciiSend, &R::SetAsciiSend);
    Tools->addSeparator();
    QAction *CycleItem = MenuItem(Tools, QStringLiteral("Cycle To Send"), true, {}, "CycleItem");
    QAction *TriggerItem = MenuItem(Tools, QStringLiteral("Trigger Send"), true, {}, "TriggerItem");
    Mark(CycleItem, &R::CycleSendOn);
    Mark(TriggerItem, [this] { return Settings.TimingTriggerOn() || Settings.ReceiveTriggerOn(); });
    // Hidden: the send window's buttons are their faces. A screen reader
    // still finds them, and they do what the buttons do (ConnectForms).
    for (QAction *A : {CycleItem, TriggerItem})
        A->setVisible(false);
    Tools->addSeparator()->setVisible(false);
    QAction *AutoSave = MenuItem(Tools, QStringLiteral("Auto Save or Clear"));
    QAction *Converter = MenuItem(Tools, QStringLiteral("HexDecBin Converter"));
    Converter->setVisible(false);
    QAction *AsciiTable = MenuItem(Tools, QStringLiteral("ASCII Table"));
    for (QAction *A : {PauseItem, PauseButton})
        connect(A, &QAction::triggered, this, [this] {
            Paused = !Paused;
            ApplyPause();
        });

    QMenu *Window = Bar->addMenu(QStringLiteral("&Window"));
    const char *Places[] = {"Center", "Top", "Bottom", "Left", "Right"};
    for (int I = 0; I < 5; ++I)
        connect(MenuItem(Window, QLatin1String(Places[I])), &QAction::triggered, this, [this, I] { PlaceWindow(I); });
    Window->addSeparator();
    AlwaysOnTopItem = MenuItem(Window, QStringLiteral("Always On Top"), true, {}, "AlwaysOnTopItem");
    connect(AlwaysOnTopItem, &QAction::triggered, this, &TMainForm::AlwaysOnTopCommand);

    QMenu *Help = Bar->addMenu(QStringLiteral("&Help "));
    connect(MenuItem(Help, QStringLiteral("Help Online"), false, QKeySequence(Qt::Key_F1)), &QAction::triggered, this,
        [this] { OpenWebPage(GuideUrl); });
    Help->addSeparator();
    connect(MenuItem(Help, QStringLiteral("Check For Updates")), &QAction::triggered, this,
        [this] { OpenWebPage(ProductUrl); });
    connect(
        MenuItem(Help, QStringLiteral("Online Support")), &QAction::triggered, this, [this] { OpenWebPage(GuideUrl); });
    connect(
        MenuItem(Help, QStringLiteral("Feedback")), &QAction::triggered, this, [this] { OpenWebPage(FeedbackUrl); });
    Help->addSeparator();
    QAction *About = MenuItem(Help, QStringLiteral("About"));

    // The views' shared context menu.
    ViewPopup = new QMenu(this);
    ViewPopup->setObjectName(QStringLiteral("ViewPopup"));
    for (const auto &[Caption, Key] : {std::pair {"Cut     Ctrl+X", Qt::Key_X}, std::pair {"Copy    Ctrl+C", Qt::Key_C},
             std::pair {"Paste   Ctrl+V", Qt::Key_V}})
        connect(ViewPopup->addAction(QLatin1String(Caption)), &QAction::triggered, this,
            [this, Key = Key] { SynthesiseKey(Key); });
    ViewPopup->addSeparator();
    QAction *ToDecBin = ViewPopup->addAction(QStringLiteral("To Dec Bin"));

    connect(ColourSettings, &QAction::triggered, this, [this] { BColorSetForm->ShowBeside(this); });
    connect(Converter, &QAction::triggered, this, [this] { HexDecForm->ShowAtCursor(); });
    connect(AsciiTable, &QAction::triggered, this, [this] { AscForm->ShowAtPlace(); });
    connect(About, &QAction::triggered, this, [this] { aboutForm->ShowBeside(this); });
    connect(ToDecBin, &QAction::triggered, this, [this] {
        // The menu's own place would cover the selection: the pop-up goes
        // where the pointer is now.
        Guarded([this] { FDataRT->ToDecBin(QCursor::pos()); });
    });
    ToDecBin->setObjectName(QStringLiteral("ToDecBinItem"));
    connect(OpenReceiving, &QAction::triggered, this, [this] { FMessageCommands->OpenFile(RichShow); });
    connect(SaveReceiving, &QAction::triggered, this, [this] { FMessageCommands->SaveFile(RichShow); });
    connect(OpenSending, &QAction::triggered, this, [this] { FMessageCommands->OpenFile(SendForm->RichSend); });
    connect(SaveSending, &QAction::triggered, this, [this] { FMessageCommands->SaveFile(SendForm->RichSend); });
    connect(AutoSave, &QAction::triggered, this, [this] {
        TimeSaveForm->show();
        TimeSaveForm->raise();
        TimeSaveForm->activateWindow();
    });
    Print->setObjectName(QStringLiteral("PrintItem"));
    Preview->setObjectName(QStringLiteral("PrintPreviewItem"));
    connect(Print, &QAction::triggered, this, [this] { PrintForm->PrintReceiveView(); });
    connect(Preview, &QAction::triggered, this, [this] {
        PrintForm->show();
        PrintForm->raise();
        PrintForm->activateWindow();
    });
}

void TMainForm::SetTabOrder()
{
    // Tool-bar buttons are out of Tab's reach in Qt: a keyboard user needs
    // them all.
    QList<QToolBar *> Bars = findChildren<QToolBar *>();
    for (QToolBar *Bar : Bars)
        for (QAction *A : Bar->actions())
            if (auto *B = qobject_cast<QToolButton *>(Bar->widgetForAction(A)); B && B->focusPolicy() == Qt::NoFocus)
                B->setFocusPolicy(Qt::TabFocus);
    // The port and its line settings, the buttons of the two bands, the
    // receive view and its bar, the send view and its bar, the search view.
    auto Buttons = [](QToolBar *Bar) {
        QList<QWidget *> List;
        for (QAction *A : Bar->actions())
            if (QWidget *W = Bar->widgetForAction(A); W && !A->isSeparator() && !qobject_cast<QComboBox *>(W))
                List.append(W);
        return List;
    };
    QList<QWidget *> Order;
    for (const char *Name : {"CBoxPort", "CBoxBaudRate", "CBoxParityBits", "CBoxDataBits", "CBoxStopBits"})
        Order.append(findChild<QComboBox *>(QLatin1String(Name)));
    Order += Buttons(CoolBand1);
    Order += Buttons(findChild<QToolBar *>(QStringLiteral("CoolBand2")));
    Order.append(RichShow);
    Order += Buttons(findChild<QToolBar *>(QStringLiteral("ReceBar")));
    Order.append(SendForm->RichSend);
    Order += Buttons(SendForm->SendBar);
    Order.append(FindForm->RichFind);
    for (int I = 1; I < Order.size(); ++I)
        setTabOrder(Order[I - 1], Order[I]);
}
