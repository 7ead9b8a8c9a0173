#include "StatusBarMY.h"

#include "QuillScomm.h"
#include "SendClass.h"
#include "SettingsRecord.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QSizeGrip>
#include <QTimer>

#include <algorithm>

namespace {

struct TPanelDesign {
    int Width;
    bool Lowered;
    const char *Text;
};

// Design widths, bevels and texts; the last panel takes the rest of the bar
// and the signal panel sits over it.
constexpr TPanelDesign PanelDesign[TStatusBarMY::PanelCount] = {
    {110, true, "F1 for help"},
    {100, true, "TX: 65536 "},
    {100, true, "RX: 65536"},
    {200, true, "Hex: Ln:     Col:     Sel:       "},
    {100, false, ""},
};

struct TSignalDesign {
    const char *Text;
    int Left;
};

constexpr TSignalDesign SignalDesign[TStatusBarMY::SignalCount] = {
    {"DTR", 7}, {"RTS", 32}, {"DSR", 63}, {"CTS", 89}, {"RLSD", 114},
};
constexpr int LabelTop = 3;
constexpr int DividerLeft = 55;

} // namespace

TStatusBarMY::TStatusBarMY(QWidget *Parent) : QStatusBar(Parent)
{
    setObjectName(QStringLiteral("StatusBarMY1"));
    setAccessibleName(QStringLiteral("Status bar"));
    for (int I = 0; I < PanelCount; ++I) {
        const TPanelDesign &Design = PanelDesign[I];
        auto *Label = new QLabel(this);
        Label->setObjectName(QStringLiteral("StatusPanel%1").arg(I));
        if (Design.Lowered)
            Label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        Label->setMinimumWidth(Design.Width);
        SetText(Label, QLatin1String(Design.Text));
        if (I == PanelCount - 1) {
            addWidget(Label, 1);
        } else {
            Label->setFixedWidth(Design.Width);
            addWidget(Label);
        }
        Panels[static_cast<std::size_t>(I)] = Label;
    }

    // Not in the bar's layout: the panel is placed by hand over the last
    // panel and follows the window's right edge (resizeEvent).
    FSignalPanel = new QWidget(this);
    FSignalPanel->setObjectName(QStringLiteral("SignalPanel"));
    FSignalPanel->setAccessibleName(QStringLiteral("Line signals"));
    FSignalPanel->setGeometry(SignalPanelLeft, SignalPanelTop, SignalPanelWidth, SignalPanelHeight);
    for (int I = 0; I < SignalCount; ++I) {
        auto *Label = new QLabel(QLatin1String(SignalDesign[I].Text), FSignalPanel);
        Label->setObjectName(QLatin1String(SignalDesign[I].Text));
        Label->setAccessibleName(Label->text());
        Label->move(SignalDesign[I].Left, LabelTop);
        Label->adjustSize();
        // Off until a tick sees the port open.
        Label->setEnabled(false);
        Signals[static_cast<std::size_t>(I)] = Label;
    }
    Divider = new QFrame(FSignalPanel);
    Divider->setObjectName(QStringLiteral("SignalDivider"));
    Divider->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    Divider->setLineWidth(1);
    Divider->setGeometry(DividerLeft, 0, 2, SignalPanelHeight);
    FSignalPanel->raise();
    FixPanelHeights();
}

void TStatusBarMY::FixPanelHeights()
{
    // A label whose size is not fixed asks for a new layout with every new
    // text; the status bar then builds its layout anew, repaints whole, and
    // the main window lays out again: 20 times a second while data arrives.
    // The panels with fixed widths get the height of the bar's row (worked
    // out as the bar does) as a fixed height too.
    int Row = fontMetrics().height();
    for (QLabel *Label : Panels) {
        Label->setMinimumHeight(0);
        Label->setMaximumHeight(QWIDGETSIZE_MAX);
        Row = std::max(Row, Label->sizeHint().height());
    }
    if (const auto *Grip = findChild<QSizeGrip *>())
        Row = std::max(Row, Grip->sizeHint().height());
    for (std::size_t I = 0; I + 1 < Panels.size(); ++I)
        Panels[I]->setFixedHeight(Row);
}

void TStatusBarMY::changeEvent(QEvent *Event)
{
    QStatusBar::changeEvent(Event);
    if (Event->type() == QEvent::FontChange || Event->type() == QEvent::StyleChange)
        FixPanelHeights();
}

void TStatusBarMY::SetText(QLabel *Label, const QString &Text)
{
    // Only real changes reach the label and screen readers.
    if (Label->text() == Text)
        return;
    Label->setText(Text);
    Label->setAccessibleName(Text);
}

bool TStatusBarMY::Tick()
{
    bool Changed = false;
    TDataRT *Runtime = Sources.Runtime;
    if (!Runtime)
        return false;
    TQuillScomm *Link = Sources.Link;

    if (Link) {
        // Unsigned 32-bit counters: past 2147483647 they stay positive.
        const uint32_t Tx = Link->TxCount.load();
        const uint32_t Rx = Link->RxCount.load();
        Changed = !CountersShown || Tx != ShownTx || Rx != ShownRx;
        if (!CountersShown || Tx != ShownTx)
            SetText(Panels[1], QStringLiteral("TX: ") + QString::number(Tx));
        if (!CountersShown || Rx != ShownRx)
            SetText(Panels[2], QStringLiteral("RX: ") + QString::number(Rx));
        ShownTx = Tx;
        ShownRx = Rx;
        CountersShown = true;
    }

    const TCaretReport Report{Runtime->HexUnits, Runtime->ActiveView && Runtime->ActiveView == Runtime->SendView,
                              Runtime->CursorLine, Runtime->CursorCol, Runtime->SelCount};
    if (!ReportShown || Report != ShownReport) {
        Changed = true;
        const QString Mode = Report.Hex ? QStringLiteral("Hex") : QStringLiteral("Asc");
        if (Report.InSend) {
            if (Sources.SetSendCaption)
                Sources.SetSendCaption(QStringLiteral("Send [%1: Ln:%2 Col:%3 Sel:%4]")
                                           .arg(Mode)
                                           .arg(Report.Line)
                                           .arg(Report.Col)
                                           .arg(Report.Sel));
        } else {
            SetText(Panels[3], QStringLiteral("%1: Ln:%2  Col:%3  Sel:%4")
                                   .arg(Mode)
                                   .arg(Report.Line)
                                   .arg(Report.Col)
                                   .arg(Report.Sel));
        }
        ShownReport = Report;
        ReportShown = true;
    }

    std::array<bool, SignalCount> On{};
    if (Link && Link->Port.Connected()) {
        On[sigDTR] = Link->Port.FlowControl().ControlDTR() == dtrEnable;
        On[sigRTS] = Link->Port.FlowControl().ControlRTS() == rtsEnable;
        On[sigDSR] = Link->DsrOn.load();
        On[sigCTS] = Link->CtsOn.load();
        On[sigRLSD] = Link->RlsdOn.load();
    }
    for (std::size_t I = 0; I < Signals.size(); ++I) {
        if (Signals[I]->isEnabled() != On[I]) {
            Signals[I]->setEnabled(On[I]);
            Changed = true;
        }
    }

    // The core stops cycle send and the triggers on a send error; the flags
    // and the marks that mirror them follow here.
    bool Released = false;
    if (TSettingsRecord *Settings = Sources.Settings) {
        if (!Runtime->CycleTimer->isActive() && Settings->CycleSendOn()) {
            Settings->SetCycleSendOn(false);
            Released = true;
        }
        if (!Runtime->TriggerOn && (Settings->TimingTriggerOn() || Settings->ReceiveTriggerOn())) {
            Settings->SetTimingTriggerOn(false);
            Settings->SetReceiveTriggerOn(false);
            Released = true;
        }
    }
    if (Released && Sources.ApplyOptions)
        Sources.ApplyOptions();
    return Changed || Released;
}

void TStatusBarMY::ResetCounters()
{
    if (!Sources.Link)
        return;
    Sources.Link->RxCount = 0;
    Sources.Link->TxCount = 0;
    Q_EMIT CountersReset();
}

void TStatusBarMY::mouseDoubleClickEvent(QMouseEvent *Event)
{
    // Double-clicks on the panels and labels come here too: they do not
    // handle them and pass them on to the bar.
    ResetCounters();
    Event->accept();
}

void TStatusBarMY::resizeEvent(QResizeEvent *Event)
{
    QStatusBar::resizeEvent(Event);
    PlaceSignalPanel();
}

void TStatusBarMY::PlaceSignalPanel()
{
    if (width() <= FollowWidth)
        return;
    // The outer width of the window the bar sits in (the bar itself when it
    // stands alone).
    const int Outer = window()->frameGeometry().width();
    FSignalPanel->move(Outer - SignalPanelWidth - RightMargin, FSignalPanel->y());
    FSignalPanel->raise();
}
