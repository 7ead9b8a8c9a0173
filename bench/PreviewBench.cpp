// The print preview and printing of a full receive view, in the program's own
// windows under Xvfb: 10,000 and 120,000 received lines of 100 bytes in hex,
// shown the way received lines are shown. For each size: the time until the
// first page is on the screen (read back from the screen, the page must hold
// text), until every page is laid out, the lateness of a 1 ms timer meanwhile
// (p99 and max), the memory the preview adds (resident after, and peak), and
// scrolling to the last page. Then the 120,000 lines printed through the
// program's Print command to the default queue, the PDF the scheduler
// received read back with pdftotext, word for word against the view.
// Baselines in the same run: the same timer while the program idles, laying
// every page out in one loop, drawing the first page alone into an image,
// and Qt's own QTextDocument::print of the same text to a PDF file.
// Run: bash bench/run-preview.sh [--quick] (a private CUPS queue, Xvfb).
#include "NicePreview.h"
#include "PageRender.h"
#include "PrintUnit.h"
#include "RichView.h"
#include "RunLoop.h"
#include "SendClass.h"
#include "main.h"

#include <cups/cups.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
// Received lines as the display tick hands them to the view: a time tag and
// the data in hex; the tag numbers every line, so the printed text shows
// which line is where.
std::string Tag(int I)
{
    const int Ms = I * 10;
    char Buffer[32];
    std::snprintf(
        Buffer, sizeof Buffer, "[%02d:%02d:%02d.%03d Rx] ", Ms / 3600000, Ms / 60000 % 60, Ms / 1000 % 60, Ms % 1000);
    return Buffer;
}

std::string HexData(int Seed)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string S;
    S.reserve(300);
    for (int I = 0; I < 100; ++I) {
        const int B = (Seed * 31 + I * 7) & 0xFF;
        S += Hex[B >> 4];
        S += Hex[B & 15];
        if (I < 99)
            S += ' ';
    }
    return S;
}

void Fill(TMainForm &Main, int Lines)
{
    TRichView *View = Main.ReceiveView();
    View->ClearText();
    const uint32_t Colour = 0x00C80000;  // dark blue, as 0x00BBGGRR
    for (int I = 0; I < Lines; ++I) {
        Main.DataRT()->AppendLine(View, Tag(I), Colour, HexData(I));
        if (I % 5000 == 0)
            QApplication::processEvents();
    }
    View->FlushUpdates();
    QApplication::processEvents();
}

long StatusKb(const char *Field)
{
    QFile F(QStringLiteral("/proc/self/status"));
    if (!F.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &Line : F.readAll().split('\n'))
        if (Line.startsWith(Field))
            return Line.mid(int(qstrlen(Field))).trimmed().split(' ').first().toLong();
    return -1;
}

double Mb(long Kb)
{
    return Kb / 1024.0;
}

// Peak resident size counts from here on (Linux: 5 into clear_refs).
void ResetPeak()
{
    QFile F(QStringLiteral("/proc/self/clear_refs"));
    if (F.open(QIODevice::WriteOnly))
        F.write("5");
}

double Ms(const QElapsedTimer &T)
{
    return T.nsecsElapsed() / 1e6;
}

// How late a 1 ms timer fires: what a repaint or a received line waits for.
struct TStallMeter {
    QTimer Timer;
    QElapsedTimer Since;
    std::vector<double> Late;
    QElapsedTimer Clock;
    std::vector<std::pair<double, double>> Worst;  // (when, lateness) above 20 ms
    TStallMeter()
    {
        Timer.setTimerType(Qt::PreciseTimer);
        Timer.setInterval(1);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            Late.push_back(std::max(0.0, Since.nsecsElapsed() / 1e6 - 1.0));
            if (Late.back() > 20 && qEnvironmentVariableIsSet("PREVIEW_BENCH_TRACE"))
                std::printf("    late %.0f ms at %.0f ms\n", Late.back(), Clock.nsecsElapsed() / 1e6);
            Since.start();
        });
    }
    void Start()
    {
        Late.clear();
        Since.start();
        Clock.start();
        Timer.start();
    }
    void Stop() { Timer.stop(); }
    double Quantile(double Q) const
    {
        if (Late.empty())
            return 0;
        std::vector<double> S = Late;
        std::sort(S.begin(), S.end());
        return S[std::min(S.size() - 1, size_t(Q * double(S.size())))];
    }
    double Max() const { return Late.empty() ? 0 : *std::max_element(Late.begin(), Late.end()); }
};

// The first page as the X server shows it: the grey of the work area above
// it, the page white, and text on it.
bool FirstPageOnScreen(TNicePreview *Preview)
{
    if (!Preview->isVisible() || Preview->PageCount() == 0)
        return false;
    QWidget *Port = Preview->viewport();
    const QRect Page =
        Preview->Geometry().PageRect(0, Preview->horizontalScrollBar()->value(), Preview->verticalScrollBar()->value());
    // The top of the page with the gap above it, and the first lines.
    const QRect Area = QRect(Page.left(), 0, Page.width(), Page.top() + 200).intersected(Port->rect());
    if (Area.height() <= Page.top() + 20)
        return false;
    const QPoint At = Port->mapToGlobal(Area.topLeft());
    const QImage Shot = Port->screen()->grabWindow(0, At.x(), At.y(), Area.width(), Area.height()).toImage();
    const QRgb Dark = Preview->palette().color(QPalette::Dark).rgb();
    const int Top = Page.top() - Area.top();
    int GapGrey = 0, White = 0, Ink = 0;
    for (int X = 0; X < Shot.width(); X += 2)
        GapGrey += (Shot.pixel(X, Top / 2) & 0xFFFFFF) == (Dark & 0xFFFFFF);
    for (int Y = Top + 10; Y < Shot.height(); ++Y)
        for (int X = 10; X < Shot.width() - 10; ++X) {
            const QRgb C = Shot.pixel(X, Y) & 0xFFFFFF;
            if (C == 0xFFFFFF)
                ++White;
            else if (qGray(C) < 160)
                ++Ink;
        }
    const int Pixels = (Shot.height() - Top - 10) * (Shot.width() - 20);
    return GapGrey > Shot.width() / 4 && White > Pixels / 2 && Ink > Pixels / 100;
}

struct TPreviewFigures {
    double FirstPageMs = -1, AllPagesMs = -1, StallP99 = 0, StallMax = 0;
    double AddedMb = 0, PeakMb = 0, ScrollMs = 0, ScrollAddedMb = 0;
    int Pages = 0, Recorded = 0, Ticks = 0;
};

TPreviewFigures MeasurePreview(TMainForm &Main)
{
    TPreviewFigures F;
    TPrintForm *Form = Main.PrintForm;
    Form->hide();
    QApplication::processEvents();
    const long Before = StatusKb("VmRSS:");
    ResetPeak();
    TStallMeter Meter;
    bool Ended = false;
    QElapsedTimer T;
    auto Conn = QObject::connect(Form, &TPrintForm::BuildEnded, [&] {
        if (!Ended)
            F.AllPagesMs = Ms(T);
        Ended = true;
    });
    // Looks at the screen every 5 ms until the first page is there.
    QTimer Look;
    Look.setInterval(5);
    QObject::connect(&Look, &QTimer::timeout, [&] {
        if (F.FirstPageMs < 0 && FirstPageOnScreen(Form->Preview())) {
            F.FirstPageMs = Ms(T);
            Look.stop();
        }
    });
    Meter.Start();
    T.start();
    Look.start();
    Main.findChild<QAction *>(QStringLiteral("PrintPreviewItem"))->trigger();
    QElapsedTimer Guard;
    Guard.start();
    while ((!Ended || F.FirstPageMs < 0) && Guard.elapsed() < 600000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    Meter.Stop();
    Look.stop();
    QObject::disconnect(Conn);
    F.StallP99 = Meter.Quantile(0.99);
    F.StallMax = Meter.Max();
    F.Ticks = int(Meter.Late.size());
    F.Pages = Form->Preview()->PageCount();
    F.AddedMb = Mb(StatusKb("VmRSS:") - Before);
    F.PeakMb = Mb(StatusKb("VmHWM:") - Before);

    // Down to the last page in 40 steps, each drawn.
    QScrollBar *Bar = Form->Preview()->verticalScrollBar();
    T.start();
    for (int Step = 1; Step <= 40; ++Step) {
        Bar->setValue(int(qint64(Bar->maximum()) * Step / 40));
        Form->Preview()->viewport()->repaint();
        QApplication::processEvents();
    }
    F.ScrollMs = Ms(T);
    F.ScrollAddedMb = Mb(StatusKb("VmRSS:") - Before);
    F.Recorded = Form->Preview()->RecordedPages();
    Bar->setValue(0);
    return F;
}

// The baselines of a size: every page laid out in one loop without events,
// asking HasMorePages() before each page as a plain pagination loop does, and
// the first page drawn into an image on its own.
void Baselines(TRichView *View, double *LayoutMs, double *FirstDrawMs)
{
    QElapsedTimer T;
    T.start();
    TPageRenderer R(View->document());
    while (R.HasMorePages())
        R.RenderNextPage(nullptr, TPrintForm::TextArea);
    *LayoutMs = Ms(T);
    T.start();
    TPageRenderer First(View->document());
    QImage Page(816, 1056, QImage::Format_RGB32);
    Page.fill(Qt::white);
    QPainter P(&Page);
    First.RenderNextPage(&P, TPrintForm::TextArea);
    P.end();
    *FirstDrawMs = Ms(T);
}

double IdleStallP99(double *Max, int Ms)
{
    TStallMeter Meter;
    Meter.Start();
    RunEventLoop(Ms);
    Meter.Stop();
    *Max = Meter.Max();
    return Meter.Quantile(0.99);
}

QStringList Words(const QString &Text)
{
    return Text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// The job's state once the scheduler has finished it, waiting for it.
bool WaitForJobs(const char *Queue, int Timeout)
{
    QElapsedTimer T;
    T.start();
    while (T.elapsed() < Timeout) {
        cups_job_t *Jobs = nullptr;
        const int Active = cupsGetJobs(&Jobs, Queue, 0, CUPS_WHICHJOBS_ACTIVE);
        cupsFreeJobs(Active, Jobs);
        if (Active == 0)
            return true;
        RunEventLoop(100);
    }
    return false;
}

// The newest job document the scheduler keeps (d<job>-<file>).
QString NewestJobFile(const QString &Spool)
{
    const QStringList Files = QDir(Spool).entryList({QStringLiteral("d*")}, QDir::Files, QDir::Name);
    return Files.isEmpty() ? QString() : QDir(Spool).filePath(Files.last());
}

int Print(TMainForm &Main, const QString &Spool)
{
    const QStringList Printers = QPrinterInfo::availablePrinterNames();
    if (Printers.isEmpty() || Spool.isEmpty()) {
        std::printf("printing: no queue (run through bench/run-preview.sh)\n");
        return 0;
    }
    TPrintForm *Form = Main.PrintForm;
    Form->hide();
    QApplication::processEvents();
    const QString Older = NewestJobFile(Spool);
    const QString Queue = QPrinterInfo::defaultPrinter().printerName();
    Form->ChoosePrint = [&](QPrinter &Printer, TPrintChoice &) {
        Printer.setPrinterName(Queue);
        return true;
    };
    const long Before = StatusKb("VmRSS:");
    ResetPeak();
    TStallMeter Meter;
    Meter.Start();
    QElapsedTimer T;
    T.start();
    Main.findChild<QAction *>(QStringLiteral("PrintItem"))->trigger();
    const double SentMs = Ms(T);
    // The timer's next turn tells how long the command held the loop.
    RunEventLoop(20);
    Meter.Stop();
    const double PeakMb = Mb(StatusKb("VmHWM:") - Before);
    const bool Done = WaitForJobs(Queue.toUtf8().constData(), 600000);
    const double DoneMs = Ms(T);
    const QString OutPdf = NewestJobFile(Spool);
    if (OutPdf == Older) {
        std::printf("print: no job reached the queue\n");
        return 1;
    }
    const int Pages = Form->Preview()->PageCount();
    std::printf("print %d lines (%d pages) to queue %s: handed to the scheduler after %.0f ms, job done after %.0f "
                "ms%s; UI stall meanwhile p99 %.1f ms, max %.0f ms; peak memory added %.0f MB; PDF %.1f MB\n",
        Main.ReceiveView()->LineCount() - 1, Pages, qPrintable(Queue), SentMs, DoneMs, Done ? "" : " (NOT DONE)",
        Meter.Quantile(0.99), Meter.Max(), PeakMb, QFile(OutPdf).size() / 1e6);

    // The printed words, in order, are the view's.
    QProcess Text;
    T.start();
    Text.start(QStringLiteral("pdftotext"), {OutPdf, QStringLiteral("-")});
    Text.waitForFinished(600000);
    const QStringList Printed = Words(QString::fromUtf8(Text.readAllStandardOutput()));
    const QStringList Shown = Words(Main.ReceiveView()->toPlainText());
    int Same = 0;
    while (Same < Printed.size() && Same < Shown.size() && Printed[Same] == Shown[Same])
        ++Same;
    const bool Match = Same == Printed.size() && Same == Shown.size() && !Shown.isEmpty();
    std::printf("  pdftotext %.0f ms: %lld words printed, %lld shown, %s\n", Ms(T), qlonglong(Printed.size()),
        qlonglong(Shown.size()),
        Match ? "the same, in order"
              : qPrintable(QStringLiteral("DIFFER from word %1 (printed \"%2\", shown \"%3\")")
                               .arg(Same)
                               .arg(Same < Printed.size() ? Printed[Same] : QString())
                               .arg(Same < Shown.size() ? Shown[Same] : QString())));
    return Match && Done ? 0 : 1;
}

// Qt's own printing of the same text, as plain text, to a PDF file.
void PrintBaseline(TRichView *View, const QString &Path)
{
    QTextDocument Doc;
    Doc.setDefaultFont(View->document()->defaultFont());
    Doc.setPlainText(View->toPlainText());
    QPrinter Printer(QPrinter::HighResolution);
    Printer.setOutputFormat(QPrinter::PdfFormat);
    Printer.setOutputFileName(Path);
    QElapsedTimer T;
    T.start();
    Doc.print(&Printer);
    std::printf("  baseline: QTextDocument::print of the plain text to a PDF file: %.0f ms, %.1f MB\n", Ms(T),
        QFile(Path).size() / 1e6);
}
}  // namespace

// With PREVIEW_BENCH_TRACE set, events that hold the loop for 10 ms or more
// are named.
class TTracedApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *Receiver, QEvent *Event) override
    {
        if (!Trace)
            return QApplication::notify(Receiver, Event);
        QElapsedTimer T;
        T.start();
        const int Type = Event->type();
        const bool R = QApplication::notify(Receiver, Event);
        if (T.elapsed() >= 10)
            std::printf("    event %d to %s %s: %lld ms\n", Type, Receiver->metaObject()->className(),
                qPrintable(Receiver->objectName()), T.elapsed());
        return R;
    }
    bool Trace = qEnvironmentVariableIsSet("PREVIEW_BENCH_TRACE");
};

int main(int argc, char *argv[])
{
    TTracedApp App(argc, argv);
    const bool Quick = App.arguments().contains(QStringLiteral("--quick"));
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    const QStringList Ports;
    std::unique_ptr<TMainForm> Main = CreateProgram({}, &Ports);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;
    // What the program does on its own shortly after start, done before the
    // idle baseline.
    Main->PrintForm->Prepare();
    std::printf("screen %dx%d, device pixel ratio %.1f\n", Main->screen()->size().width(),
        Main->screen()->size().height(), Main->devicePixelRatioF());

    double IdleMax = 0;
    const double IdleP99 = IdleStallP99(&IdleMax, 2000);
    std::printf("baseline: 1 ms timer lateness with the program idle: p99 %.1f ms, max %.1f ms\n", IdleP99, IdleMax);

    int Failed = 0;
    const std::vector<int> Sizes = Quick ? std::vector<int> {10000} : std::vector<int> {10000, 120000};
    for (const int Lines : Sizes) {
        Main->PrintForm->hide();
        const long Empty = StatusKb("VmRSS:");
        QElapsedTimer T;
        T.start();
        Fill(*Main, Lines);
        std::printf("\n%d lines of 100 bytes in hex: filled in %.0f ms, the view holds %.0f MB\n", Lines, Ms(T),
            Mb(StatusKb("VmRSS:") - Empty));
        const TPreviewFigures F = MeasurePreview(*Main);
        double LayoutMs = 0, FirstDrawMs = 0;
        Baselines(Main->ReceiveView(), &LayoutMs, &FirstDrawMs);
        const bool Met =
            F.FirstPageMs >= 0 && F.FirstPageMs < 300 && F.StallP99 < 50 && (Lines < 120000 || F.PeakMb < 200);
        Failed += !Met;
        std::printf("  preview: first page on screen %.0f ms (target < 300; baseline: drawing it alone %.0f ms)\n",
            F.FirstPageMs, FirstDrawMs);
        std::printf("  all %d pages laid out %.0f ms (baseline: a HasMorePages() loop without events %.0f ms)\n",
            F.Pages, F.AllPagesMs, LayoutMs);
        std::printf("  1 ms timer lateness meanwhile: p99 %.1f ms (target < 50), max %.1f ms, %d ticks\n", F.StallP99,
            F.StallMax, F.Ticks);
        std::printf("  memory added: %.1f MB resident after, %.1f MB peak (target < 200)\n", F.AddedMb, F.PeakMb);
        std::printf("  scrolled to the last page in 40 drawn steps: %.0f ms; %d pages recorded, %.1f MB added\n",
            F.ScrollMs, F.Recorded, F.ScrollAddedMb);
        std::printf("  %s\n", Met ? "targets met" : "TARGET MISSED");
    }

    if (!App.arguments().contains(QStringLiteral("--no-print"))) {
        Failed += Print(*Main, qEnvironmentVariable("TALLYSCOPE_CUPS_SPOOL"));
        PrintBaseline(Main->ReceiveView(), Home.filePath(QStringLiteral("baseline.pdf")));
    }
    Main->PrintForm->hide();
    Main->close();
    return Failed ? 1 : 0;
}
