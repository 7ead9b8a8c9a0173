#pragma once
// The plot window: a dockable tool window that plots the numbers of the
// received lines the receive view shows, as text columns, name:value pairs
// or binary fields of hex frames.

#include "PlotData.h"

#include <QDockWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTimer;
class QToolButton;
class TPlotView;

class TPlotForm : public QDockWidget {
    Q_OBJECT
public:
    explicit TPlotForm(QWidget *Parent = nullptr);

    // One received line as shown: the queued line (its head gives the
    // arrival time) and its data, hex text when Hex.
    void TakeLine(const std::string &Line, const std::string &Data, bool Hex);

    TPlotSettings Settings() const;
    void SetSettings(const TPlotSettings &Settings);

    const TPlotData &Data() const { return FData; }
    TPlotView *View() const { return FView; }
    bool Paused() const;
    void SetPaused(bool Paused);
    void Clear();
    // False with the reason told through Warn.
    bool ExportCsv(const QString &Path);
    bool ExportPng(const QString &Path);

    // The file dialogs and the message box, replaceable by tests.
    std::function<QString(const QString &Filter)> AskSaveName;
    std::function<void(const QString &Caption, const QString &Text)> Warn;

Q_SIGNALS:
    // The user closed the window by its own close box.
    void Closed();

protected:
    void closeEvent(QCloseEvent *Event) override;
    void showEvent(QShowEvent *Event) override;
    void hideEvent(QHideEvent *Event) override;

private:
    void ApplyControls();
    void ApplyFields();
    void Tick();
    void UpdateLegend();
    void UpdateNotice();

    TPlotData FData;
    TPlotView *FView = nullptr;
    QComboBox *FFormat = nullptr;
    QComboBox *FXAxis = nullptr;
    QComboBox *FWindow = nullptr;
    QDoubleSpinBox *FWindowSize = nullptr;
    QCheckBox *FAutoScale = nullptr;
    QDoubleSpinBox *FYMin = nullptr;
    QDoubleSpinBox *FYMax = nullptr;
    QSpinBox *FCapacity = nullptr;
    QLineEdit *FFields = nullptr;
    QToolButton *FPause = nullptr;
    QListWidget *FLegend = nullptr;
    QLabel *FNotice = nullptr;
    QLabel *FCursor = nullptr;
    QTimer *FTimer = nullptr;
    QStringList FHidden;
    uint64_t FTickRevision = 0;
    bool FLoading = false;
};
