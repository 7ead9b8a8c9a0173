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
    {"DTR", 7},
    {"RTS", 32},
    {"DSR", 63},
    {"CTS", 89},
    {"RLSD", 114},
};
constexpr int LabelTop = 3;
constexpr int DividerLeft = 55;

// What the first four panels usually hold; narrow, a panel keeps room for
// this much of its text.
constexpr const char *CompactText[TStatusBarMY::PanelCount - 1] = {
    "F1 for help", "TX: 999999", "RX: 999999", "Hex: Ln:999  Col:99  Sel:99"};
// Between two panels.
constexpr int PanelGap = 4;

}  // namespace

// The row of panels inside the bar: its size hints are the designed and
// the least widths, whatever the panels show, and it places the panels only
// when its own size changes.
class TPanelRow : public QWidget {
public:
    explicit TPanelRow(TStatusBarMY *Bar) : QWidget(Bar), FBar(Bar) { }

    QSize sizeHint() const override { return QSize(Width(&TStatusBarMY::DesignWidth), FBar->FRowHeight); }
    QSize minimumSizeHint() const override { return QSize(Width(&TStatusBarMY::CompactWidth), FBar->FRowHeight); }

protected:
    void resizeEvent(QResizeEvent *Event) override
    {
        QWidget::resizeEvent(Event);
        FBar->LayOutPanels();
    }

private:
    int Width(int (TStatusBarMY::*PanelWidth)(int) const) const
    {
        int Sum = (TStatusBarMY::PanelCount - 1) * PanelGap + TStatusBarMY::SignalPanelWidth;
        for (int I = 0; I + 1 < TStatusBarMY::PanelCount; ++I)
            Sum += (FBar->*PanelWidth)(I);
        return Sum;
    }

    TStatusBarMY *FBar;
};

TStatusBarMY::TStatusBarMY(QWidget *Parent) : QStatusBar(Parent)
{
    setObjectName(QStringLiteral("StatusBarMY1"));
    setAccessibleName(QStringLiteral("Status bar"));
    FRow = new TPanelRow(this);
    FRow->setObjectName(QStringLiteral("StatusPanels"));
    for (int I = 0; I < PanelCount; ++I) {
        const TPanelDesign &Design = PanelDesign[I];
        auto *Label = new QLabel(FRow);
        Label->setObjectName(QStringLiteral("StatusPanel%1").arg(I));
        if (Design.Lowered)
            Label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        SetText(Label, QLatin1String(Design.Text));
        Panels[static_cast<std::size_t>(I)] = Label;
    }
    addWidget(FRow, 1);

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
    // A passing message is read out too (the bar's name stays).
    connect(this, &QStatusBar::messageChanged, this, [this](const QString &Text) { setAccessibleDescription(Text); });
}

void TStatusBarMY::FixPanelHeights()
{
    // A label whose size is not fixed asks for a new layout with every new
    // text (20 times a second while data arrives). The panels get fixed
    // sizes: the height of the bar's row (worked out as a status bar does)
    // here, their widths in LayOutPanels.
    int Row = fontMetrics().height();
    for (QLabel *Label : Panels) {
        Label->setMinimumSize(0, 0);
        Label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        Row = std::max(Row, Label->sizeHint().height());
    }
    if (const auto *Grip = findChild<QSizeGrip *>())
        Row = std::max(Row, Grip->sizeHint().height());
    FRowHeight = Row;
    FRow->updateGeometry();
    LayOutPanels();
}

int TStatusBarMY::DesignWidth(int Index) const
{
    return std::max(PanelDesign[Index].Width, CompactWidth(Index));
}

int TStatusBarMY::CompactWidth(int Index) const
{
    const QLabel *Label = Panels[static_cast<std::size_t>(Index)];
    const QFontMetrics Metrics(Label->font());
    // The label indents its text by half an 'x' inside its frame; another
    // half keeps the last character off the right edge.
    return Metrics.horizontalAdvance(QLatin1String(CompactText[Index])) + 2 * Label->frameWidth() +
        Metrics.horizontalAdvance(QLatin1Char('x'));
}

void TStatusBarMY::LayOutPanels()
{
    // The first four panels keep their designed widths while the row has
    // room for them and the signal panel; narrower, each gives up its share
    // of the missing room from what it has beyond its usual text.
    constexpr int Shrinking = PanelCount - 1;
    std::array<int, Shrinking> Width {};
    int Design = 0, Slack = 0;
    for (int I = 0; I < Shrinking; ++I) {
        Width[I] = DesignWidth(I);
        Design += Width[I];
        Slack += Width[I] - CompactWidth(I);
    }
    const int Room = FRow->width() - Shrinking * PanelGap - SignalPanelWidth;
    int Missing = std::min(Design - Room, Slack);
    if (Missing > 0) {
        int Left = Missing;
        for (int I = 0; I < Shrinking; ++I) {
            const int Cut = Missing * (Width[I] - CompactWidth(I)) / Slack;
            Width[I] -= Cut;
            Left -= Cut;
        }
        // What rounding left over comes off the widest room first.
        for (int I = Shrinking - 1; I >= 0 && Left > 0; --I) {
            const int Cut = std::min(Left, Width[I] - CompactWidth(I));
            Width[I] -= Cut;
            Left -= Cut;
        }
    }
    const int Height = FRow->height() > 0 ? FRow->height() : FRowHeight;
    int X = 0;
    for (int I = 0; I < PanelCount; ++I) {
        QLabel *Label = Panels[static_cast<std::size_t>(I)];
        const int W = I < Shrinking ? Width[I] : std::max(0, FRow->width() - X);
        Label->setFixedSize(W, Height);
        Label->move(X, 0);
        X += W + PanelGap;
    }
    PlaceSignalPanel();
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

    const TCaretReport Report {Runtime->HexUnits, Runtime->ActiveView && Runtime->ActiveView == Runtime->SendView,
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
            SetText(Panels[3],
                QStringLiteral("%1: Ln:%2  Col:%3  Sel:%4").arg(Mode).arg(Report.Line).arg(Report.Col).arg(Report.Sel));
        }
        ShownReport = Report;
        ReportShown = true;
    }

    std::array<bool, SignalCount> On {};
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
    int Left = SignalPanelLeft;
    // The outer width of the window the bar sits in (the bar itself when it
    // stands alone).
    if (width() > FollowWidth)
        Left = window()->frameGeometry().width() - SignalPanelWidth - RightMargin;
    // A window frame or a narrow window may put it elsewhere: it stays over
    // the last panel, clear of the size grip.
    const QLabel *Last = Panels[PanelCount - 1];
    int Right = width();
    if (const auto *Grip = findChild<QSizeGrip *>(QString(), Qt::FindDirectChildrenOnly); Grip && Grip->isVisible())
        Right = Grip->x();
    Left = std::min(Left, Right - SignalPanelWidth);
    Left = std::max(Left, FRow->x() + Last->x());
    FSignalPanel->move(Left, FSignalPanel->y());
    FSignalPanel->raise();
}
