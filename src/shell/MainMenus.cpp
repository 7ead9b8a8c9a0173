// The main window's controls: receive view, tool bars and menus. Every
// check-style control is flipped back to its flag by ApplyOptions, so the
// click handlers only change flags.
#include "main.h"

#include "CPortCtl.h"
#include "ColourButton.h"
#include "RichView.h"
#include "ToolIcons.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
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

QAction *MenuItem(QMenu *Menu, const QString &Caption, bool Check = false,
                  const QKeySequence &Shortcut = QKeySequence())
{
    QAction *A = Menu->addAction(Caption);
    A->setCheckable(Check);
    if (!Shortcut.isEmpty()) {
        A->setShortcut(Shortcut);
        // Also while a floating send or search window has the focus.
        A->setShortcutContext(Qt::ApplicationShortcut);
    }
    return A;
}

// On Linux a combo box's accessible name is its value; what it sets comes
// from the label that names it. The tool bar shows no labels, so each combo
// gets a hidden one.
void NameForScreenReaders(QComboBox *Box, const QString &Name)
{
    auto *Label = new QLabel(Name, Box->parentWidget());
    Label->setBuddy(Box);
    Label->hide();
}

// Commands whose windows come with later work stay visible but unavailable.
void Pending(std::initializer_list<QAction *> Actions)
{
    for (QAction *A : Actions)
        A->setEnabled(false);
}
} // namespace

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
    RichShow->setWordWrap(false);
    RichShow->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichShow, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &At) { ViewPopup->popup(RichShow->viewport()->mapToGlobal(At)); });
    Layout->addWidget(RichShow, 1);

    ReceBar = new QToolBar(QStringLiteral("ReceBar"), Client);
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
    CoolBand1 = addToolBar(QStringLiteral("Port"));
    CoolBand1->setObjectName(QStringLiteral("CoolBand1"));
    // The second band goes under the first: both do not fit the designed
    // width side by side.
    addToolBarBreak();
    CoolBand2 = addToolBar(QStringLiteral("Windows"));
    CoolBand2->setObjectName(QStringLiteral("CoolBand2"));
    for (QToolBar *Bar : {CoolBand1, CoolBand2}) {
        Bar->setMovable(false);
        Bar->setFloatable(false);
        Bar->setIconSize(QSize(20, 20));
    }

    SaveButton = ToolButton(CoolBand1, "SaveButton", ToolIcon(TToolIcon::Save),
                            QStringLiteral("Save Receiving Message"), false);
    CoolBand1->addSeparator();
    PortButton = ToolButton(CoolBand1, "PortButton", ToolIcon(TToolIcon::PortOpen), QStringLiteral("Open Port"),
                            false);
    connect(PortButton, &QAction::triggered, this, [this] { Guarded([this] { TogglePort(); }); });
    PauseButton = ToolButton(CoolBand1, "PauseButton", ToolIcon(TToolIcon::Pause),
                             QString::fromUtf8("\u6682\u505c\u62a5\u6587\u76d1\u89c6"), true);
    // Screen readers get the English name of the command as well.
    CoolBand1->widgetForAction(PauseButton)->setAccessibleDescription(QStringLiteral("Pause Monitoring"));
    CoolBand1->addSeparator();

    CBoxPort = new QComboBox(CoolBand1);
    CBoxPort->setObjectName(QStringLiteral("CBoxPort"));
    CBoxPort->setEditable(true);
    CBoxPort->setInsertPolicy(QComboBox::NoInsert);
    // Room for the usual names (/dev/ttyUSB0, /dev/ttyACM10, /dev/pts/12);
    // a longer one (/dev/serial/by-id/...) shows its distinctive end, the
    // list shows it whole, and so does the tool tip.
    CBoxPort->setMinimumContentsLength(15);
    CBoxPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    CBoxPort->setAccessibleName(QStringLiteral("Port"));
    CBoxPort->setToolTip(QStringLiteral("Port"));
    connect(CBoxPort, &QComboBox::currentTextChanged, this, [this](const QString &Text) {
        CBoxPort->setToolTip(Text.isEmpty() ? QStringLiteral("Port") : Text);
    });
    // The drop-down list is as wide as its longest name.
    const auto FitList = [this] {
        QAbstractItemView *List = CBoxPort->view();
        List->setMinimumWidth(List->sizeHintForColumn(0) + 2 * List->frameWidth()
                              + List->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, List));
    };
    connect(CBoxPort->model(), &QAbstractItemModel::rowsInserted, this, FitList);
    connect(CBoxPort->model(), &QAbstractItemModel::rowsRemoved, this, FitList);
    CoolBand1->addWidget(CBoxPort);
    CBoxPort->lineEdit()->setAccessibleName(QStringLiteral("Port"));
    NameForScreenReaders(CBoxPort, QStringLiteral("Port"));
    struct {
        TComComboBox *&Box;
        TComProperty Kind;
        const char *Name;
        const char *Accessible;
    } Combos[] = {{CBoxBaudRate, cpBaudRate, "CBoxBaudRate", "Baud rate"},
                  {CBoxParityBits, cpParity, "CBoxParityBits", "Parity"},
                  {CBoxDataBits, cpDataBits, "CBoxDataBits", "Data bits"},
                  {CBoxStopBits, cpStopBits, "CBoxStopBits", "Stop bits"}};
    for (auto &C : Combos) {
        C.Box = new TComComboBox(CoolBand1);
        C.Box->setObjectName(QLatin1String(C.Name));
        C.Box->SetComProperty(C.Kind);
        C.Box->setAccessibleName(QLatin1String(C.Accessible));
        C.Box->setToolTip(QLatin1String(C.Accessible));
        CoolBand1->addWidget(C.Box);
        NameForScreenReaders(C.Box, QLatin1String(C.Accessible));
    }
    // The design texts, until the stored entries are selected.
    CBoxBaudRate->SetText(QStringLiteral("9600"));
    CBoxParityBits->SetText(QStringLiteral("None"));
    CBoxDataBits->SetText(QStringLiteral("8"));
    CBoxStopBits->SetText(QStringLiteral("1"));
    CoolBand1->addSeparator();
    DtrButton = ToolButton(CoolBand1, "DtrButton", QIcon(), QStringLiteral("DTR"), true);
    RtsButton = ToolButton(CoolBand1, "RtsButton", QIcon(), QStringLiteral("RTS"), true);
    for (QAction *A : {DtrButton, RtsButton})
        qobject_cast<QToolButton *>(CoolBand1->widgetForAction(A))->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(DtrButton, &QAction::triggered, this,
            [this] { FlipOption(&TSettingsRecord::DtrOn, &TSettingsRecord::SetDtrOn); });
    connect(RtsButton, &QAction::triggered, this,
            [this] { FlipOption(&TSettingsRecord::RtsOn, &TSettingsRecord::SetRtsOn); });

    SendWinButton = ToolButton(CoolBand2, "SendWinButton", ToolIcon(TToolIcon::SendWindow),
                               QStringLiteral("Send Window"), true);
    connect(SendWinButton, &QAction::triggered, this, &TMainForm::SendWindowCommand);
    FindWinButton = ToolButton(CoolBand2, "FindWinButton", ToolIcon(TToolIcon::FindWindow),
                               QStringLiteral("Find Window"), true);
    connect(FindWinButton, &QAction::triggered, this, &TMainForm::FindWindowCommand);
    CoolBand2->addSeparator();
    ConverterButton = ToolButton(CoolBand2, "ConverterButton", ToolIcon(TToolIcon::Converter),
                                 QStringLiteral("HexDecBin Converter"), false);
    CoolBand2->addSeparator();
    ColorButton = new TColourButton(CoolBand2);
    CoolBand2->addWidget(ColorButton);
    connect(ColorButton, &TColourButton::Picked, this, &TMainForm::ApplyTextColour);

    // The receive tool bar under the view.
    DisplayTimeButton = new QToolButton(ReceBar);
    DisplayTimeButton->setObjectName(QStringLiteral("DisplayTimeButton"));
    DisplayTimeButton->setIcon(ToolIcon(TToolIcon::DisplayTime));
    DisplayTimeButton->setToolTip(QStringLiteral("Display Time"));
    DisplayTimeButton->setAccessibleName(QStringLiteral("Display Time"));
    DisplayTimeButton->setPopupMode(QToolButton::MenuButtonPopup);
    auto *TimeMenu = new QMenu(DisplayTimeButton);
    ShowTimeItem2 = MenuItem(TimeMenu, QStringLiteral("Show Time"), true);
    ShowRxTxItem2 = MenuItem(TimeMenu, QStringLiteral("Show RxTx"), true);
    DisplayTimeButton->setMenu(TimeMenu);
    ReceBar->addWidget(DisplayTimeButton);
    DisplaySendingButton = ToolButton(ReceBar, "DisplaySendingButton", ToolIcon(TToolIcon::DisplaySending),
                                      QStringLiteral("Display Sending Message"), true);
    ReceBar->addSeparator();
    WordWrapButton = ToolButton(ReceBar, "WordWrapButton", ToolIcon(TToolIcon::WordWrap),
                                QStringLiteral("Word Wrap"), true);
    ReceBar->addSeparator();
    FilterButton = ToolButton(ReceBar, "FilterButton", ToolIcon(TToolIcon::Filter),
                              QStringLiteral("Filter Settings"), true);
    ReceBar->addSeparator();
    AsciiReceiveButton = ToolButton(ReceBar, "AsciiReceiveButton", ToolIcon(TToolIcon::AsciiReceive),
                                    QStringLiteral("ASCII Receive"), true);
    ReceBar->addSeparator();
    ClearButton = ToolButton(ReceBar, "ClearButton", ToolIcon(TToolIcon::Clear), QStringLiteral("Clear Screen"),
                             false);
    connect(ClearButton, &QAction::triggered, this, [this] { RichShow->clearText(); });

    using R = TSettingsRecord;
    connect(DisplaySendingButton, &QAction::triggered, this,
            [this] { FlipOption(&R::ShowSending, &R::SetShowSending); });
    connect(WordWrapButton, &QAction::triggered, this, [this] { FlipOption(&R::WordWrap, &R::SetWordWrap); });
    connect(AsciiReceiveButton, &QAction::triggered, this,
            [this] { FlipOption(&R::AsciiReceive, &R::SetAsciiReceive); });
    connect(ShowTimeItem2, &QAction::triggered, this, [this] { FlipOption(&R::ShowTime, &R::SetShowTime); });
    connect(ShowRxTxItem2, &QAction::triggered, this, [this] { FlipOption(&R::ShowRxTx, &R::SetShowRxTx); });
}

void TMainForm::CreateMenus()
{
    using R = TSettingsRecord;
    QMenuBar *Bar = menuBar();
    // Each menu opens with Alt and its first letter (no two alike).

    QMenu *File = Bar->addMenu(QStringLiteral("&File"));
    QAction *OpenReceiving = MenuItem(File, QStringLiteral("Open Receiving  Message"));
    QAction *SaveReceiving = MenuItem(File, QStringLiteral("Save Receiving  Message"), false,
                                      QKeySequence(Qt::CTRL | Qt::Key_S));
    File->addSeparator();
    QAction *OpenSending = MenuItem(File, QStringLiteral("Open Sending Message"));
    QAction *SaveSending = MenuItem(File, QStringLiteral("Save Sending Message"));
    File->addSeparator();
    QAction *Print = MenuItem(File, QStringLiteral("Print"));
    QAction *Preview = MenuItem(File, QStringLiteral("Print Preview"));
    File->addSeparator();
    connect(MenuItem(File, QStringLiteral("Exit")), &QAction::triggered, this, &QWidget::close);

    QMenu *Edit = Bar->addMenu(QStringLiteral("&Edit"));
    connect(MenuItem(Edit, QStringLiteral("Undo     Ctrl+Z")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_Z); });
    Edit->addSeparator();
    connect(MenuItem(Edit, QStringLiteral("Cut      Ctrl+X")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_X); });
    connect(MenuItem(Edit, QStringLiteral("Copy     Ctrl+C")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_C); });
    connect(MenuItem(Edit, QStringLiteral("Paste    Ctrl+V")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_V); });
    Edit->addSeparator();
    connect(MenuItem(Edit, QStringLiteral("Select All")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_A); });
    Edit->addSeparator();
    QAction *Find = MenuItem(Edit, QStringLiteral("Find"), false, QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction *FindNext = MenuItem(Edit, QStringLiteral("Find Next "), false, QKeySequence(Qt::Key_F3));

    QMenu *View = Bar->addMenu(QStringLiteral("&View"));
    ShowTimeItem = MenuItem(View, QStringLiteral("Show Time"), true);
    ShowRxTxItem = MenuItem(View, QStringLiteral("Show RxTx"), true);
    WordWrapItem = MenuItem(View, QStringLiteral("Word Wrap"), true);
    ShowSendingItem = MenuItem(View, QStringLiteral("Show Sending"), true);
    FilterItem = MenuItem(View, QStringLiteral("Filter Settings"), true);
    FilterItem->setVisible(false);
    View->addSeparator();
    SendWindowItem = MenuItem(View, QStringLiteral("Send Window"), true, QKeySequence(Qt::Key_F8));
    FindWindowItem = MenuItem(View, QStringLiteral("Find Window"), true);
    View->addSeparator();
    QAction *ColourSettings = MenuItem(View, QStringLiteral("Color Settings"));
    connect(ShowTimeItem, &QAction::triggered, this, [this] { FlipOption(&R::ShowTime, &R::SetShowTime); });
    connect(ShowRxTxItem, &QAction::triggered, this, [this] { FlipOption(&R::ShowRxTx, &R::SetShowRxTx); });
    connect(WordWrapItem, &QAction::triggered, this, [this] { FlipOption(&R::WordWrap, &R::SetWordWrap); });
    connect(ShowSendingItem, &QAction::triggered, this,
            [this] { FlipOption(&R::ShowSending, &R::SetShowSending); });
    connect(SendWindowItem, &QAction::triggered, this, &TMainForm::SendWindowCommand);
    connect(FindWindowItem, &QAction::triggered, this, &TMainForm::FindWindowCommand);

    QMenu *Tools = Bar->addMenu(QStringLiteral("&Tools "));
    PortItem = MenuItem(Tools, QStringLiteral("Open Port"));
    connect(PortItem, &QAction::triggered, this, [this] { Guarded([this] { TogglePort(); }); });
    PauseItem = MenuItem(Tools, QStringLiteral("Pause Monitoring"), true);
    SendDataItem = MenuItem(Tools, QStringLiteral("Send Data"), false, QKeySequence(Qt::Key_F5));
    connect(SendDataItem, &QAction::triggered, this, &TMainForm::SendDataCommand);
    Tools->addSeparator();
    AsciiReceiveItem = MenuItem(Tools, QStringLiteral("ASCII Receive"), true);
    AsciiSendItem = MenuItem(Tools, QStringLiteral("ASCII Send"), true);
    Tools->addSeparator();
    CycleItem = MenuItem(Tools, QStringLiteral("Cycle To Send"), true);
    CycleItem->setVisible(false);
    TriggerItem = MenuItem(Tools, QStringLiteral("Trigger Send"), true);
    TriggerItem->setVisible(false);
    Tools->addSeparator()->setVisible(false);
    QAction *AutoSave = MenuItem(Tools, QStringLiteral("Auto Save or Clear"));
    QAction *Converter = MenuItem(Tools, QStringLiteral("HexDecBin Converter"));
    Converter->setVisible(false);
    QAction *AsciiTable = MenuItem(Tools, QStringLiteral("ASCII Table"));
    auto FlipPause = [this] {
        Paused = !Paused;
        ApplyPause();
    };
    connect(PauseItem, &QAction::triggered, this, FlipPause);
    connect(PauseButton, &QAction::triggered, this, FlipPause);
    connect(AsciiReceiveItem, &QAction::triggered, this,
            [this] { FlipOption(&R::AsciiReceive, &R::SetAsciiReceive); });
    connect(AsciiSendItem, &QAction::triggered, this, [this] { FlipOption(&R::AsciiSend, &R::SetAsciiSend); });
    // The settings dialog comes with cycle and trigger send; until then the
    // marks stay as their flags.
    connect(CycleItem, &QAction::triggered, this, &TMainForm::ApplyOptions);
    connect(TriggerItem, &QAction::triggered, this, &TMainForm::ApplyOptions);

    QMenu *Window = Bar->addMenu(QStringLiteral("&Window"));
    const char *Places[] = {"Center", "Top", "Bottom", "Left", "Right"};
    for (int I = 0; I < 5; ++I)
        connect(MenuItem(Window, QLatin1String(Places[I])), &QAction::triggered, this,
                [this, I] { PlaceWindow(I); });
    Window->addSeparator();
    AlwaysOnTopItem = MenuItem(Window, QStringLiteral("Always On Top"), true);
    connect(AlwaysOnTopItem, &QAction::triggered, this, &TMainForm::AlwaysOnTopCommand);

    QMenu *Help = Bar->addMenu(QStringLiteral("&Help "));
    connect(MenuItem(Help, QStringLiteral("Help Online"), false, QKeySequence(Qt::Key_F1)), &QAction::triggered,
            this, [this] { OpenWebPage(GuideUrl); });
    Help->addSeparator();
    connect(MenuItem(Help, QStringLiteral("Check For Updates")), &QAction::triggered, this,
            [this] { OpenWebPage(ProductUrl); });
    connect(MenuItem(Help, QStringLiteral("Online Support")), &QAction::triggered, this,
            [this] { OpenWebPage(GuideUrl); });
    connect(MenuItem(Help, QStringLiteral("Feedback")), &QAction::triggered, this,
            [this] { OpenWebPage(FeedbackUrl); });
    Help->addSeparator();
    QAction *About = MenuItem(Help, QStringLiteral("About"));

    // The views' shared context menu.
    ViewPopup = new QMenu(this);
    ViewPopup->setObjectName(QStringLiteral("ViewPopup"));
    connect(ViewPopup->addAction(QStringLiteral("Cut     Ctrl+X")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_X); });
    connect(ViewPopup->addAction(QStringLiteral("Copy    Ctrl+C")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_C); });
    connect(ViewPopup->addAction(QStringLiteral("Paste   Ctrl+V")), &QAction::triggered, this,
            [this] { SynthesiseKey(Qt::Key_V); });
    ViewPopup->addSeparator();
    QAction *ToDecBin = ViewPopup->addAction(QStringLiteral("To Dec Bin"));

    // Their windows and operations are built by later work.
    Pending({OpenReceiving, SaveReceiving, SaveButton, OpenSending, SaveSending, Print, Preview, Find, FindNext,
             FilterItem, FilterButton, ColourSettings, AutoSave, Converter, ConverterButton, AsciiTable, About,
             ToDecBin});
}
