// The main window's status bar: byte counters, the caret report of the
// active view and the five modem line signals.
//
// Its owner's 50 ms timer calls Tick(), which brings every text up to date
// from the sources named in TStatusSources (building a text only when what it
// shows has changed since the last tick) and brings the cycle-send and trigger flags of the settings record back in line
// with the core when the core has stopped them.
#pragma once

#include <QStatusBar>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QFrame;
class QLabel;
class TDataRT;
class TQuillScomm;
class TSettingsRecord;

// What the tick reads and whom it tells. Nothing here is owned; each object
// must outlive the bar or be taken out (set to nullptr) before it goes.
struct TStatusSources {
    // Counters, line-signal flags and the port (its open state and DTR/RTS
    // control). Without a link the counters and signals are left alone.
    TQuillScomm *Link = nullptr;
    // Cursor report, ActiveView, CycleTimer, TriggerOn. The tick does
    // nothing at all until the runtime exists.
    TDataRT *Runtime = nullptr;
    // Cycle-send and trigger flags, cleared when the core stopped them.
    TSettingsRecord *Settings = nullptr;
    // Sets the send window's caption (the caret report of the send view).
    std::function<void(const QString &Caption)> SetSendCaption;
    // Called once after a tick cleared a cycle-send or trigger flag that was
    // set, so the owner can release the Cycle To Send and Trigger Send
    // buttons and marks (its options step sets every mark from the record).
    std::function<void()> ApplyOptions;
};

class TStatusBarMY : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int PanelCount = 5;
    static constexpr int SignalCount = 5;
    static constexpr int SignalPanelWidth = 145;
    static constexpr int SignalPanelHeight = 20;
    // Designed position of the signal panel, kept until the bar is wide
    // enough for the resize rule.
    static constexpr int SignalPanelLeft = 594;
    static constexpr int SignalPanelTop = 2;
    // Wider than this, the signal panel follows the window's right edge,
    // this far (the size grip's room) from it. Wherever the rule puts it,
    // it stays over the last panel: never over the caret report, never
    // past the panels' right end.
    static constexpr int FollowWidth = 665;
    static constexpr int RightMargin = 23;

    // Signal labels, left to right.
    enum TSignal { sigDTR, sigRTS, sigDSR, sigCTS, sigRLSD };

    explicit TStatusBarMY(QWidget *Parent = nullptr);

    TStatusSources Sources;

    // One refresh, in this order: counters, caret report, line signals, the
    // cycle-send flag, the trigger flags.
    // True when anything shown changed.
    bool Tick();

    QLabel *Panel(int Index) const { return Panels[static_cast<std::size_t>(Index)]; }
    QLabel *SignalLabel(TSignal Signal) const { return Signals[static_cast<std::size_t>(Signal)]; }
    QWidget *SignalPanel() const { return FSignalPanel; }

Q_SIGNALS:
    // After a double-click has set the link's counters to 0.
    void CountersReset();

protected:
    void changeEvent(QEvent *Event) override;
    void mouseDoubleClickEvent(QMouseEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;

private:
    void ResetCounters();
    friend class TPanelRow;
    void PlaceSignalPanel();
    void FixPanelHeights();
    // Gives the panels their widths and places for the row's width.
    void LayOutPanels();
    // Widths of the first four panels: as designed, or where the text
    // cannot fit the design, as wide as it needs.
    int DesignWidth(int Index) const;
    // The least width of one of the first four panels: room for the text
    // it usually holds.
    int CompactWidth(int Index) const;
    static void SetText(QLabel *Label, const QString &Text);

    // What the last tick showed, so that a tick with nothing new (the port
    // open and idle, 20 times a second) builds no strings. The texts are the
    // bar's own: nothing else sets them.
    struct TCaretReport {
        bool Hex = false;
        bool InSend = false;
        int Line = 0;
        int Col = 0;
        int Sel = 0;
        bool operator==(const TCaretReport &) const = default;
    };
    bool CountersShown = false;
    bool ReportShown = false;
    uint32_t ShownTx = 0;
    uint32_t ShownRx = 0;
    TCaretReport ShownReport;

    std::array<QLabel *, PanelCount> Panels {};
    std::array<QLabel *, SignalCount> Signals {};
    // Holds the five panels side by side. The bar's own layout would lay
    // them out anew at every new text; the row places them only when its
    // width changes.
    QWidget *FRow = nullptr;
    int FRowHeight = 0;
    QWidget *FSignalPanel = nullptr;
    QFrame *Divider = nullptr;
};
