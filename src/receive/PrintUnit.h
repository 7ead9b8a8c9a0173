#pragma once
// The print preview window and the printing of the receive view. Pages are
// laid out in slices between events, so a full view never stops the program:
// received lines go on being shown and the build can be cancelled.

#include "PageRender.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QPrinter;
class QProgressBar;
class QPushButton;
class QTimer;
class TNicePreview;
class TRichView;
class TRuntimeMessages;

// What the print dialog asked for.
struct TPrintChoice {
    enum TRange { AllPages, PageRange, Selection };
    TRange Range = AllPages;
    int From = 1;
    int To = 1;
    int Copies = 1;
};

// Sends the print jobs of a choice: per copy, all pages as one job, or each
// page of the range as its own job; a selection prints nothing. False when a
// job failed or the preview's BetweenPages stopped it (the rest are not sent).
bool RunPrintJobs(TNicePreview &Preview, QPrinter &Printer, const TPrintChoice &Choice);

class TPrintForm : public QDialog {
    Q_OBJECT

public:
    // The text area of a preview page, in page units.
    static const QRectF TextArea;
    // Time one slice of the layout may take before events are handled.
    static constexpr int SliceMs = 12;
    // How often pages laid out are handed to the preview during a build.
    static constexpr int ShowEveryMs = 100;

    explicit TPrintForm(TRichView *View, QWidget *Parent = nullptr);
    ~TPrintForm() override;

    void SetMessages(TRuntimeMessages *Messages) { FMessages = Messages; }
    // Replaces the platform's print dialog (tests and scripted runs): fills in
    // the printer and the choice and answers false for cancel.
    std::function<bool(QPrinter &, TPrintChoice &)> ChoosePrint;

    TNicePreview *Preview() const { return FPreview; }
    // Readies the window for its first show while the program is idle: it
    // fills the work area, and its first show would otherwise stall the
    // program for tens of milliseconds on two screenfuls of new memory
    // (about 10 MB at 1280 x 1024, held from then on). Once only.
    void Prepare();
    // Starts laying the receive view out into pages again.
    void BuildPreview();
    bool Building() const;
    // Stops the build; the pages laid out so far stay.
    void CancelBuild();
    // Waits, handling events, until the build has ended.
    void WaitForBuild();
    QString StatusText() const;

    // "Print" in the main window's File menu: rebuilds the pages without
    // showing this window, then prints them.
    void PrintReceiveView();
    // The window's "Print" button: prints the pages as last built.
    void PrintShownPages();

Q_SIGNALS:
    // The build has laid out every page or was cancelled.
    void BuildEnded();

protected:
    void changeEvent(QEvent *Event) override;
    void showEvent(QShowEvent *Event) override;

private:
    void Slice();
    void EndBuild();
    void ShowLaidOutPages();
    void ShowStatus();
    void DocumentChanged(int Position, int Removed, int Added);
    // The text under the pages moved: they are laid out again (window in
    // front) or dropped.
    void TextMoved();
    bool HavePrinter();
    void Print();
    void Warn(const QString &Text);

    TRichView *FView;
    TNicePreview *FPreview;
    QLabel *FStatus;
    QProgressBar *FProgress;
    QPushButton *FCancelBuild;
    QTimer *FSliceTimer;
    TPageRenderer FRenderer;
    std::vector<int> FStarts;
    int FBuildEnd = 0;
    QElapsedTimer FSinceShown;
    QElapsedTimer FBuildClock;
    bool FPrinting = false;
    // Print jobs are being drawn; the text under the pages moved meanwhile.
    bool FSendingJobs = false;
    bool FPrepared = false;
    bool FTextMoved = false;
    TRuntimeMessages *FMessages = nullptr;
};
