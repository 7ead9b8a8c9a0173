#include "PrintUnit.h"

#include "MessageCommands.h"
#include "NicePreview.h"
#include "RichView.h"
#include "SendClass.h"

#include <QApplication>
#include <QBackingStore>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

const QRectF TPrintForm::TextArea(30, 30, 816 - 60, 1056 - 60);

bool RunPrintJobs(TNicePreview &Preview, QPrinter &Printer, const TPrintChoice &Choice)
{
    // Copies are separate jobs: the printer is asked for one each time.
    Printer.setCopyCount(1);
    for (int Copy = 0; Copy < Choice.Copies; ++Copy) {
        if (Copy > 0 && Preview.BetweenPages && !Preview.BetweenPages())
            return false;
        switch (Choice.Range) {
        case TPrintChoice::AllPages:
            if (!Preview.PrintAllPages(Printer))
                return false;
            break;
        case TPrintChoice::PageRange:
            if (Choice.To < Choice.From)
                break;
            for (int Page = Choice.From - 1; Page <= Choice.To - 1; ++Page) {
                if (Page > Choice.From - 1 && Preview.BetweenPages && !Preview.BetweenPages())
                    return false;
                if (!Preview.PrintOnePage(Printer, Page))
                    return false;
            }
            break;
        case TPrintChoice::Selection:
            break;
        }
    }
    return true;
}

TPrintForm::TPrintForm(TRichView *View, QWidget *Parent) : QDialog(Parent), FView(View), FRenderer(View->document())
{
    setObjectName(QStringLiteral("PrintForm"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(false);
    resize(703, 512);

    auto *Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);

    auto *Strip = new QWidget(this);
    Strip->setFixedHeight(25);
    auto *StripLayout = new QHBoxLayout(Strip);
    StripLayout->setContentsMargins(0, 0, 0, 0);
    StripLayout->setSpacing(0);
    FPreview = new TNicePreview(this);
    auto Button = [&](const char *Caption, const char *Name, std::function<void()> Action) {
        auto *B = new QPushButton(QString::fromLatin1(Caption), Strip);
        B->setObjectName(QLatin1String(Name));
        B->setAutoDefault(false);
        B->setFixedHeight(25);
        connect(B, &QPushButton::clicked, this, std::move(Action));
        StripLayout->addWidget(B);
    };
    Button("Print", "PrintButton", [this] { PrintShownPages(); });
    Button("Actual Size", "ActualSizeButton", [this] {
        FPreview->ZoomActualSize();
        FPreview->SetMouseTool(0);
    });
    Button("Full Page", "FullPageButton", [this] {
        FPreview->ZoomFullPage();
        FPreview->SetMouseTool(0);
    });
    Button("Zoom In", "ZoomInButton", [this] { FPreview->SetMouseTool(2); });
    Button("Zoom Out", "ZoomOutButton", [this] { FPreview->SetMouseTool(3); });
    Button("Cancel", "CancelButton", [this] { close(); });
    StripLayout->addStretch(1);
    Layout->addWidget(Strip);
    Layout->addWidget(FPreview, 1);

    auto *Bar = new QStatusBar(this);
    Bar->setObjectName(QStringLiteral("PrintStatusBar"));
    Bar->setSizeGripEnabled(false);
    FStatus = new QLabel(Bar);
    FStatus->setObjectName(QStringLiteral("PrintStatus"));
    Bar->addWidget(FStatus, 1);
    FProgress = new QProgressBar(Bar);
    FProgress->setObjectName(QStringLiteral("LayoutProgress"));
    FProgress->setAccessibleName(QStringLiteral("Laying out pages"));
    FProgress->setRange(0, 1000);
    FProgress->setMaximumWidth(200);
    FProgress->hide();
    Bar->addPermanentWidget(FProgress);
    FCancelBuild = new QPushButton(QStringLiteral("Stop"), Bar);
    FCancelBuild->setObjectName(QStringLiteral("StopLayoutButton"));
    FCancelBuild->setToolTip(QStringLiteral("Stop laying out pages"));
    FCancelBuild->setAutoDefault(false);
    FCancelBuild->hide();
    connect(FCancelBuild, &QPushButton::clicked, this, &TPrintForm::CancelBuild);
    Bar->addPermanentWidget(FCancelBuild);
    Layout->addWidget(Bar);

    FSliceTimer = new QTimer(this);
    FSliceTimer->setInterval(0);
    connect(FSliceTimer, &QTimer::timeout, this, &TPrintForm::Slice);

    connect(FPreview, &TNicePreview::OnChange, this, &TPrintForm::ShowStatus);
    connect(View->document(), &QTextDocument::contentsChange, this, &TPrintForm::DocumentChanged);
    ShowStatus();
    // A label of fixed size changes its text without laying the window out
    // again, which a build does several times a second.
    FStatus->setFixedSize(
        FStatus->fontMetrics().horizontalAdvance(QStringLiteral("    Page 0000000    Total 0000000")) + 8,
        FStatus->sizeHint().height());
}

TPrintForm::~TPrintForm() = default;

void TPrintForm::Prepare()
{
    if (FPrepared || isVisible())
        return;
    FPrepared = true;
    QScreen *S = screen();
    if (!S)
        return;
    setGeometry(S->availableGeometry());
    // The preview's buffer, at the most its viewport takes.
    FPreview->PrepareBuffer(S->availableGeometry().size());
    // The window's own backing store, painted once at the size it is shown.
    winId();
    if (QBackingStore *Store = backingStore()) {
        const QRect All(QPoint(0, 0), size());
        Store->resize(size());
        Store->beginPaint(All);
        if (QPaintDevice *Device = Store->paintDevice()) {
            QPainter P(Device);
            P.fillRect(All, palette().color(QPalette::Window));
        }
        Store->endPaint();
    }
}

void TPrintForm::showEvent(QShowEvent *Event)
{
    // The window fills the work area whenever it is shown.
    if (QScreen *S = screen())
        setGeometry(S->availableGeometry());
    QDialog::showEvent(Event);
}

void TPrintForm::changeEvent(QEvent *Event)
{
    QDialog::changeEvent(Event);
    // The build starts from the event loop, so that the window's first paint
    // and the start of the build are not one long wait.
    if (Event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isActiveWindow() && isVisible())
                BuildPreview();
        });
}

void TPrintForm::BuildPreview()
{
    if (FSendingJobs)
        return;
    FSliceTimer->stop();
    FPreview->ClearPages();
    FStarts.clear();
    FRenderer.Reset();
    FBuildEnd = FRenderer.End();
    FPreview->SetPageSource([this](int Page, QPainter &Painter) {
        if (Page < 0 || Page >= int(FStarts.size()))
            return;
        const int Stop = Page + 1 < int(FStarts.size()) ? FStarts[size_t(Page) + 1] : FRenderer.LaidOutTo();
        FRenderer.DrawPage(Painter, TextArea, FStarts[size_t(Page)], Stop, TPlacement::Top);
    });
    FProgress->setValue(0);
    FBuildClock.start();
    FSliceTimer->start();
    ShowStatus();
}

bool TPrintForm::Building() const
{
    return FSliceTimer->isActive();
}

void TPrintForm::Slice()
{
    QElapsedTimer Clock;
    Clock.start();
    bool More = true;
    while (Clock.elapsed() < SliceMs) {
        // A page that does not lay out is skipped; the start always moves on,
        // so the loop ends. Asking HasMorePages() first would lay each page
        // out twice.
        if (FRenderer.PageStart() >= FRenderer.End()) {
            More = false;
            break;
        }
        const int Start = FRenderer.RenderNextPage(nullptr, TextArea);
        if (Start < 0) {
            More = false;
            break;
        }
        FStarts.push_back(Start);
        // The first page is shown as soon as it is known.
        if (FPreview->PageCount() == 0)
            break;
    }
    if (!More)
        EndBuild();
    else if (FPreview->PageCount() == 0 || FSinceShown.elapsed() >= ShowEveryMs)
        ShowLaidOutPages();
}

void TPrintForm::ShowLaidOutPages()
{
    // Handing pages over a few times a second, not after every slice, keeps
    // the window's layout and scroll bars from being redone all the time.
    FPreview->AppendSourcePages(int(FStarts.size()) - FPreview->PageCount());
    // The progress and the way to stop come once the build lasts: a short
    // one does not flash them, and the first page is not kept waiting for
    // what showing a control asks of the display server.
    if (Building() && FProgress->isHidden() && FBuildClock.elapsed() >= ShowEveryMs) {
        FProgress->show();
        FCancelBuild->show();
    }
    if (FBuildEnd > 0)
        FProgress->setValue(int(qint64(FRenderer.LaidOutTo()) * 1000 / FBuildEnd));
    ShowStatus();
    FSinceShown.start();
}

void TPrintForm::EndBuild()
{
    FSliceTimer->stop();
    ShowLaidOutPages();
    FProgress->hide();
    FCancelBuild->hide();
    ShowStatus();
    Q_EMIT BuildEnded();
}

void TPrintForm::CancelBuild()
{
    if (Building())
        EndBuild();
}

void TPrintForm::WaitForBuild()
{
    if (!Building())
        return;
    QEventLoop Loop;
    connect(this, &TPrintForm::BuildEnded, &Loop, &QEventLoop::quit);
    Loop.exec();
}

void TPrintForm::DocumentChanged(int Position, int Removed, int Added)
{
    Q_UNUSED(Added);
    // Text added after what the pages hold does not touch them; anything
    // else (a cut from the top, a clear) moves the text under them.
    if (Position >= FBuildEnd && Removed == 0)
        return;
    if (FStarts.empty() && !Building())
        return;
    // The pages being printed stay until the job is closed: it stops at the
    // next page, and they are laid out again after.
    if (FSendingJobs) {
        FTextMoved = true;
        return;
    }
    TextMoved();
}

void TPrintForm::TextMoved()
{
    if (isVisible() && isActiveWindow())
        QTimer::singleShot(0, this, &TPrintForm::BuildPreview);
    else {
        FSliceTimer->stop();
        FProgress->hide();
        FCancelBuild->hide();
        FStarts.clear();
        FPreview->ClearPages();
        FRenderer.Reset();
        FBuildEnd = 0;
        ShowStatus();
    }
}

QString TPrintForm::StatusText() const
{
    return FStatus->text();
}

void TPrintForm::ShowStatus()
{
    const int Count = FPreview->PageCount();
    const int Page = FPreview->CurrentPage() >= 0 ? FPreview->CurrentPage() + 1 : (Count ? 1 : 0);
    FStatus->setText(QStringLiteral("    Page %1    Total %2").arg(Page).arg(Count));
}

void TPrintForm::Warn(const QString &Text)
{
    QWidget *Owner = parentWidget() ? parentWidget() : this;
    if (FMessages)
        FMessages->Warning(Owner, QStringLiteral("Print"), Text);
    else
        TRuntimeMessages().Warning(Owner, QStringLiteral("Print"), Text);
}

bool TPrintForm::HavePrinter()
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        return true;
    Warn(QStringLiteral("Printers have not yet installed."));
    return false;
}

void TPrintForm::PrintReceiveView()
{
    if (FPrinting || !HavePrinter())
        return;
    FPrinting = true;
    FPreview->ClearPages();
    FPreview->ZoomActualSize();
    BuildPreview();
    WaitForBuild();
    FPrinting = false;
    Print();
}

void TPrintForm::PrintShownPages()
{
    FPreview->SetMouseTool(0);
    if (FPrinting || !HavePrinter())
        return;
    Print();
}

void TPrintForm::Print()
{
    if (FPreview->PageCount() == 0) {
        Warn(QStringLiteral("There is not content to print."));
        return;
    }
    FPrinting = true;
    QPrinter Printer(QPrinter::HighResolution);
    Printer.setFullPage(false);
    TPrintChoice Choice;
    bool Go = false;
    if (ChoosePrint) {
        Go = ChoosePrint(Printer, Choice);
    } else {
        QPrintDialog Dialog(&Printer, this);
        Dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        Dialog.setOption(QAbstractPrintDialog::PrintSelection, true);
        Dialog.setMinMax(1, FPreview->PageCount());
        Dialog.setFromTo(1, 1);
        Dialog.setPrintRange(QAbstractPrintDialog::AllPages);
        Go = Dialog.exec() == QDialog::Accepted;
        if (Go) {
            Choice.Copies = std::max(1, Printer.copyCount());
            if (Dialog.printRange() == QAbstractPrintDialog::PageRange) {
                Choice.Range = TPrintChoice::PageRange;
                Choice.From = Dialog.fromPage();
                Choice.To = Dialog.toPage();
            } else if (Dialog.printRange() == QAbstractPrintDialog::Selection) {
                Choice.Range = TPrintChoice::Selection;
            }
        }
    }
    // Errors while printing end it without a message.
    if (Go) {
        // Jobs are titled after the document, as a print queue lists them.
        const QString Name = DocumentName(FView);
        FPreview->SetTitle(Name.isEmpty() ? QStringLiteral("Receive view") : Name);
        FSendingJobs = true;
        FTextMoved = false;
        FPreview->BetweenPages = [this] {
            // Drawing a thousand pages takes a while: received lines and
            // repaints go on meanwhile, commands wait for the end.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return !FTextMoved;
        };
        RunPrintJobs(*FPreview, Printer, Choice);
        FPreview->BetweenPages = nullptr;
        FSendingJobs = false;
    }
    FPrinting = false;
    if (FTextMoved) {
        FTextMoved = false;
        Warn(QStringLiteral("The receive view changed while printing: the pages after it were not printed."));
        TextMoved();
    }
}
