// The commands of the main window that are more than a flag and
// ApplyOptions: docked windows, sending, edit keys, placement, colours,
// web pages.
#include "main.h"

#include "ColourButton.h"
#include "FindUnit.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"

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
    QDesktopServices::openUrl(QUrl(Url));
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

void TMainForm::DockCommand(TGetter Get, TSetter Set, QWidget *Window)
{
    FlipOption(Get, Set);
    if ((Settings.*Get)())
        ShowDocked(Window);
    else
        HideDocked(Window);
}

void TMainForm::SendDataCommand()
{
    if (!FDataRT)
        return;
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
    const QRect Screen = screen() ? screen()->geometry() : QRect(0, 0, 1024, 768);
    const int W = Screen.width(), H = Screen.height();
    struct {
        int Width, Height, Left, Top;
    } const Places[] = {
        {600, 400, 250, 100}, // Center
        {W, H / 2, 0, 0},     // Top
        {W, H / 2, 0, H / 2}, // Bottom
        {W / 2, H, 0, 0},     // Left
        {W / 2, H, W / 2, 0}, // Right
    };
    const auto &P = Places[Command];
    setWindowState(Qt::WindowNoState);
    setGeometry(Screen.left() + P.Left, Screen.top() + P.Top, P.Width, P.Height);
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
    if (Event->type() == QEvent::ActivationChange && isActiveWindow() && FDataRT) {
        // Activating the main window puts the reports back on the receive
        // view, unless the focus is in a docked view of its own.
        QWidget *Focus = QApplication::focusWidget();
        const bool InDock = Focus && (SendForm->isAncestorOf(Focus) || FindForm->isAncestorOf(Focus));
        if (!InDock) {
            FDataRT->ActiveView = RichShow;
            RichShow->setFocus();
        }
    }
}
