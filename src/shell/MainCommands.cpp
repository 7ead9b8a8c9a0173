// The commands of the main window that are more than a flag and
// ApplyOptions: docked windows, sending, edit keys, placement, colours,
// web pages.
#include "main.h"

#include "ColourButton.h"
#include "FilterUnit.h"
#include "FindDiaUnit.h"
#include "FindUnit.h"
#include "PlotForm.h"
#include "PortSession.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"
#include "StatusBarMY.h"
#include "TimeSaveUnit.h"
#include "WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDockWidget>
#include <QKeyEvent>
#include <QScreen>
#include <QUrl>

const QString TMainForm::GuideUrl = QStringLiteral("https://corvane.example.com/tallyscope/guide/");
const QString TMainForm::ProductUrl = QStringLiteral("https://corvane.example.com/tallyscope/");
const QString TMainForm::FeedbackUrl = QStringLiteral("https://corvane.example.com/feedback?App=Tallyscope");

void TMainForm::OpenWebPage(const QString &Url)
{
    // A browser that the desktop starts may still fail on its own, unseen:
    // the address stays in sight for a while.
    StatusBarMY1->showMessage(Url, 10000);
    if (!QDesktopServices::openUrl(QUrl(Url)))
        Warn(QStringLiteral("Help"), QStringLiteral("No web browser could be started. The page is at:\n\n%1").arg(Url));
}

void TMainForm::FlipOption(TGetter Get, TSetter Set)
{
    (Settings.*Set)(!(Settings.*Get)());
    ApplyOptions();
}

void TMainForm::Mark(QAction *Control, std::function<bool()> Flag)
{
    FMarks.emplace_back(Control, std::move(Flag));
}

void TMainForm::Mark(QAction *Control, TGetter Get)
{
    Mark(Control, [this, Get] { return (Settings.*Get)(); });
}

void TMainForm::FlagCommand(QAction *Control, TGetter Get, TSetter Set)
{
    Mark(Control, Get);
    connect(Control, &QAction::triggered, this, [this, Get, Set] { FlipOption(Get, Set); });
}

void TMainForm::ShowMarks()
{
    for (const auto &[Control, Flag] : FMarks)
        Control->setChecked(Flag());
}

void TMainForm::ShowDocked(QWidget *Window)
{
    // A dock keeps its area, size, tab and floating place while hidden.
    Window->show();
    Window->raise();
}

void TMainForm::HideDocked(QWidget *Window)
{
    Window->hide();
}

void TMainForm::DockCommand(TSetter Set, QWidget *Window, TRichView *View)
{
    // What the user sees decides, not a flag that may disagree with it; a
    // window behind another tab comes forward.
    const bool Show = !Window->isVisible();
    (Settings.*Set)(Show);
    ApplyOptions();
    if (Show) {
        ShowDocked(Window);
        Window->activateWindow();
        View->setFocus(Qt::OtherFocusReason);
    } else {
        HideDocked(Window);
        activateWindow();
        RichShow->setFocus(Qt::OtherFocusReason);
    }
}

void TMainForm::FollowDockVisibility()
{
    const bool SendShown = !SendForm->isHidden(), FindShown = !FindForm->isHidden();
    if (SendShown == Settings.SendWindowShown() && FindShown == Settings.SearchWindowShown())
        return;
    Settings.SetSendWindowShown(SendShown);
    Settings.SetSearchWindowShown(FindShown);
    ShowMarks();
}

void TMainForm::FollowPlotVisibility()
{
    if (FDataRT) {
        if (PlotForm->isHidden())
            FDataRT->ReceivedShown = nullptr;
        else
            FDataRT->ReceivedShown = [this](const std::string &Line, const std::string &Data) {
                PlotForm->TakeLine(Line, Data, FLink && FLink->HexReceive);
            };
    }
    ShowMarks();
}

void TMainForm::FocusNextView(int Step)
{
    std::vector<std::pair<TRichView *, QWidget *>> Shown {{RichShow, nullptr}};
    for (const auto &[View, Window] : {std::pair<TRichView *, QWidget *> {SendForm->RichSend, SendForm},
             std::pair<TRichView *, QWidget *> {FindForm->RichFind, FindForm}})
        if (!Window->isHidden())
            Shown.emplace_back(View, Window);
    // Anywhere in the send or search window counts as its view; anywhere
    // else as the receive view.
    QWidget *Focus = QApplication::focusWidget();
    int At = 0;
    for (int I = 1; I < int(Shown.size()); ++I)
        if (Focus && (Focus == Shown[I].second || Shown[I].second->isAncestorOf(Focus)))
            At = I;
    const int N = int(Shown.size());
    const auto &[View, Window] = Shown[((At + Step) % N + N) % N];
    // A window behind another tab or a floating one comes forward first.
    if (Window)
        Window->raise();
    View->window()->activateWindow();
    View->setFocus(Step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void TMainForm::WatchSendFloating()
{
    // Floated for the first time, the send window would keep its docked
    // size (a narrow strip over the main window); it gets its designed size
    // and place instead: above and left of the receive tool bar of the
    // designed main window. Later floats go back to where the user last had
    // it floating; a layout that has it floating already keeps its place.
    FSendFloatPlaced = SendForm->isFloating();
    connect(SendForm, &QDockWidget::topLevelChanged, this, [this](bool Floating) {
        if (!Floating || FSendFloatPlaced)
            return;
        FSendFloatPlaced = true;
        SendForm->resize(SendFloatSize);
        // Dragged out, the window follows the mouse.
        if (QApplication::mouseButtons() == Qt::NoButton) {
            const QRect Area = screen() ? screen()->availableGeometry() : QRect();
            SendForm->move(Area.topLeft() + SendFloatPlace);
        }
    });
}

void TMainForm::SendDataCommand()
{
    if (!FDataRT)
        return;
    if (!FLink->Port.Connected() || FSession->Opening()) {
        // Nothing can go out; say so where it does not stop the user.
        StatusBarMY1->showMessage(QStringLiteral("The port is closed: open it to send."), 5000);
        return;
    }
    // A port write error and the like: told, and the program goes on.
    Guarded([this] { FDataRT->SendCurrentLine(); });
}

void TMainForm::SynthesiseKey(int Key)
{
    QWidget *Target = QApplication::focusWidget();
    if (!Target)
        return;
    QApplication::postEvent(Target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier));
    QApplication::postEvent(Target, new QKeyEvent(QEvent::KeyPress, Key, Qt::ControlModifier));
    QApplication::postEvent(Target, new QKeyEvent(QEvent::KeyRelease, Key, Qt::ControlModifier));
    QApplication::postEvent(Target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier));
}

void TMainForm::PlaceWindow(int Command)
{
    const QRect Area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    // The frame as the window manager draws it now (none before mapping).
    const QRect Outer = frameGeometry(), Inner = geometry();
    const QMargins Frame(Inner.left() - Outer.left(), Inner.top() - Outer.top(), Outer.right() - Inner.right(),
        Outer.bottom() - Inner.bottom());
    setWindowState(Qt::WindowNoState);
    setGeometry(
        PlacementRect(static_cast<TPlacement>(Command), Area, minimumSizeHint().expandedTo(minimumSize()), Frame));
}

void TMainForm::KeepOnScreen(QWidget *Window)
{
    // The frame as the window manager draws it (none known before the
    // window is mapped: then a second look follows the first show).
    const QRect Outer = Window->frameGeometry(), Inner = Window->geometry();
    const QMargins Frame(Inner.left() - Outer.left(), Inner.top() - Outer.top(), Outer.right() - Inner.right(),
        Outer.bottom() - Inner.bottom());
    QScreen *On = QGuiApplication::screenAt(Outer.center());
    if (!On)
        On = Window->screen() ? Window->screen() : QGuiApplication::primaryScreen();
    if (!On)
        return;
    const QSize Minimum = Window->minimumSizeHint().expandedTo(Window->minimumSize()).grownBy(Frame);
    const QRect Fitted = FitToArea(Outer, On->availableGeometry(), Minimum);
    if (Fitted != Outer)
        Window->setGeometry(Fitted.marginsRemoved(Frame));
}

void TMainForm::AlwaysOnTopCommand()
{
    // Not a stored flag: the mark itself holds the state.
    const bool OnTop = AlwaysOnTopItem->isChecked();
    const bool WasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, OnTop);
    if (WasVisible)
        show();
}

void TMainForm::ApplyTextColour()
{
    if (FDataRT && FDataRT->ActiveView)
        FDataRT->ActiveView->SetSelectionColour(ColorButton->Colour());
}

void TMainForm::changeEvent(QEvent *Event)
{
    QMainWindow::changeEvent(Event);
    if (Event->type() != QEvent::ActivationChange)
        return;
    if (!isActiveWindow() || !FDataRT)
        return;
    // Qt gives the focus back to the control of this window that had it
    // before a dialog or a box took it (or to the one a click aims at); the
    // reports follow the view that has it, and the receive view's when no
    // view has it.
    QWidget *Focus = focusWidget();
    for (TRichView *V : {SendForm->RichSend, FindForm->RichFind})
        if (Focus && (Focus == V || V->isAncestorOf(Focus)))
            return;
    FDataRT->ActiveView = RichShow;
    if (!Focus)
        RichShow->setFocus();
}

void TMainForm::ConnectReceiveTools()
{
    // The filter button shows the filter-on flag, whatever a click did to it.
    for (const char *Name : {"FilterButton", "FilterItem"})
        connect(findChild<QAction *>(QLatin1String(Name)), &QAction::triggered, this, [this] {
            FilterForm->show();
            FilterForm->raise();
            ApplyOptions();
        });
    FilterForm->Warn = [this](QWidget *Owner, const QString &Caption, const QString &Text) {
        FMessages->Warning(Owner, Caption, Text);
    };
    connect(FilterForm, &TFilterForm::Closed, this, &TMainForm::ApplyOptions);
    TimeSaveForm->StandardError = [this](const QString &Text) { FMessages->StandardError(Text); };

    FindDialog->Warn = FilterForm->Warn;
    FindDialog->ReceivedColour = [this] {
        const uint32_t V = Settings.ReceiveMessageColour();  // 0x00BBGGRR
        return QColor(int(V & 0xFF), int((V >> 8) & 0xFF), int((V >> 16) & 0xFF));
    };
    FindDialog->ShowOutput = [this] {
        Settings.SetSearchWindowShown(true);
        ShowDocked(FindForm);
        ApplyOptions();
    };
    connect(findChild<QAction *>(QStringLiteral("FindItem")), &QAction::triggered, this, [this] {
        FindDialog->show();
        FindDialog->raise();
        FindDialog->activateWindow();
    });
    connect(
        findChild<QAction *>(QStringLiteral("FindNextItem")), &QAction::triggered, FindDialog, &TFindDialog::RunFind);
    connect(FindDialog, &TFindDialog::Note, StatusBarMY1,
        [this](const QString &Text) { StatusBarMY1->showMessage(Text, 5000); });
}
