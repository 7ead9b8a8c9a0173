// The plot window under a monitor's load, in a real window (run it under
// Xvfb: xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/PlotBench).
//
// 1. Repaint of a 1000x500 plot holding a ring of 1,000,000 samples per
//    series (1 and 8 series, all of them in view): median and worst of 40
//    repaints. With Qt Charts built in (qt6-charts-dev), the same samples
//    in a QChartView of QLineSeries, the alternative the plot was weighed
//    against.
// 2. 8 series at 1,000 samples/s each (one "a:.. b:.. .. h:.." line per
//    millisecond, handed over as the data runtime hands received lines) for
//    60 s with the plot shown and repainting, against the same feed with the
//    plot closed (the lines are not handed over, as when the hook is unset):
//    CPU added in % of one core, event-loop stalls (p50, p99, worst lateness
//    of a 1 ms timer), memory after the ring is full and at the end.
// --quick: 10 s runs; --repaint: part 1 alone.
#include "PlotForm.h"
#include "PlotView.h"
#include "RunLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QTimer>

#ifdef PLOT_BENCH_CHARTS
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {
long RssBytes()
{
    QFile F(QStringLiteral("/proc/self/statm"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> Parts = F.readAll().split(' ');
    return Parts.size() > 1 ? Parts[1].toLong() * 4096 : 0;
}

double CpuSeconds()
{
    rusage U {};
    getrusage(RUSAGE_SELF, &U);
    return U.ru_utime.tv_sec + U.ru_stime.tv_sec + (U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> V, double P)
{
    if (V.empty())
        return 0;
    std::sort(V.begin(), V.end());
    return V[std::min(V.size() - 1, std::size_t(P * double(V.size())))];
}

// "s0:.. s1:.. ..\n": Count sines of sample I.
std::string ValuesLine(int64_t I, int Count, double Step, double Add)
{
    std::string Line;
    for (int K = 0; K < Count; ++K) {
        char Value[48];
        const int N =
            std::snprintf(Value, sizeof Value, "s%d:%.4f ", K, std::sin(double(I) * Step * (K + 1)) * 100 + Add);
        Line.append(Value, std::size_t(std::clamp(N, 0, int(sizeof Value) - 1)));
    }
    Line.back() = '\n';
    return Line;
}

// Median and worst of Count repaints of Widget on the screen (through the X
// server), and median of Count drawings into an image (the drawing alone),
// in ms.
struct TRepaint {
    double Median = 0, Worst = 0, Drawing = 0;
};
TRepaint Repaints(QWidget *Widget, int Count)
{
    std::vector<double> Times, Drawings;
    QImage Image(Widget->size(), QImage::Format_ARGB32_Premultiplied);
    for (int I = 0; I < Count; ++I) {
        QElapsedTimer T;
        T.start();
        Widget->repaint();
        QApplication::sync();
        Times.push_back(T.nsecsElapsed() / 1e6);
        T.restart();
        Widget->render(&Image);
        Drawings.push_back(T.nsecsElapsed() / 1e6);
    }
    return {Percentile(Times, 0.5), *std::max_element(Times.begin(), Times.end()), Percentile(Drawings, 0.5)};
}

void RepaintPart()
{
    std::printf("1. Repaint, 1000x500, a ring of 1,000,000 samples per series, all in view\n");
    for (const int SeriesCount : {1, 8}) {
        TPlotForm Form;
        TPlotSettings S;
        S.Window = TWindowKind::All;
        S.Capacity = 1000000;
        Form.SetSettings(S);
        for (int I = 0; I < 1000000; ++I) {
            Form.TakeLine("R[12:00:00   1]", ValuesLine(I, SeriesCount, 0.0001, (I % 97) * 0.1), false);
        }
        Form.View()->setFixedSize(1000, 500);
        Form.View()->setParent(nullptr);
        Form.View()->show();
        RunEventLoop(200);
        const TRepaint R = Repaints(Form.View(), 40);
        std::printf("   our QPainter view, %d series: repaint median %.2f ms, worst %.2f ms (target < 16 ms); "
                    "drawing alone %.2f ms\n",
            SeriesCount, R.Median, R.Worst, R.Drawing);
        delete Form.View();
    }
#ifdef PLOT_BENCH_CHARTS
    for (const int SeriesCount : {1, 8}) {
        auto *Chart = new QChart;
        Chart->legend()->hide();
        auto *X = new QValueAxis;
        auto *Y = new QValueAxis;
        X->setRange(0, 1000000);
        Y->setRange(-120, 120);
        Chart->addAxis(X, Qt::AlignBottom);
        Chart->addAxis(Y, Qt::AlignLeft);
        for (int K = 0; K < SeriesCount; ++K) {
            auto *Line = new QLineSeries;
            QList<QPointF> Points;
            Points.reserve(1000000);
            for (int I = 0; I < 1000000; ++I)
                Points.append(QPointF(I, std::sin(I * 0.0001 * (K + 1)) * 100 + (I % 97) * 0.1));
            Line->replace(Points);
            Chart->addSeries(Line);
            Line->attachAxis(X);
            Line->attachAxis(Y);
        }
        QChartView View(Chart);
        View.setFixedSize(1000, 500);
        View.show();
        RunEventLoop(200);
        const TRepaint R = Repaints(View.viewport(), SeriesCount == 1 ? 10 : 3);
        std::printf("   Qt Charts QChartView, %d series: repaint median %.2f ms, worst %.2f ms\n", SeriesCount,
            R.Median, R.Worst);
    }
#else
    std::printf("   (Qt Charts not built in: install qt6-charts-dev and configure again for its figures)\n");
#endif
}

struct TFeedResult {
    double CpuPercent = 0;
    double P50 = 0, P99 = 0, Worst = 0;
    long RssFull = 0, RssEnd = 0;
};

// Feeds 8 series at 1,000 samples/s for Seconds; Shown: the plot is open and
// takes the lines.
TFeedResult Feed(bool Shown, int Seconds, int Capacity)
{
    QMainWindow Main;
    auto *Form = new TPlotForm(&Main);
    Main.addDockWidget(Qt::BottomDockWidgetArea, Form);
    TPlotSettings S;
    S.Capacity = Capacity;
    S.WindowSize = 5000;
    Form->SetSettings(S);
    Main.resize(1100, 700);
    Main.show();
    if (!Shown)
        Form->hide();
    RunEventLoop(300);

    TFeedResult R;
    std::vector<double> Late;
    QElapsedTimer Clock;
    Clock.start();
    int64_t Sent = 0;
    double LastTick = 0;
    const double Cpu0 = CpuSeconds();
    const int64_t FullAt = int64_t(Capacity) + 2000;  // samples per series when the ring is full
    QTimer Tick;
    Tick.setTimerType(Qt::PreciseTimer);
    Tick.setInterval(1);
    QObject::connect(&Tick, &QTimer::timeout, [&] {
        const double Now = Clock.nsecsElapsed() / 1e6;
        if (LastTick > 0)
            Late.push_back(std::max(0.0, Now - LastTick - 1));
        LastTick = Now;
        // Every line due by now, as a backlog would be handed over.
        const auto Due = int64_t(Now);
        for (; Sent < Due; ++Sent) {
            const std::string Data = ValuesLine(Sent, 8, 0.002, 0);
            if (Form->isVisible())
                Form->TakeLine("R[12:00:00   1]", Data, false);
        }
        if (R.RssFull == 0 && Sent >= FullAt)
            R.RssFull = RssBytes();
    });
    Tick.start();
    RunEventLoop(Seconds * 1000);
    Tick.stop();
    const double Wall = Clock.nsecsElapsed() / 1e9;
    R.CpuPercent = (CpuSeconds() - Cpu0) / Wall * 100;
    R.P50 = Percentile(Late, 0.5);
    R.P99 = Percentile(Late, 0.99);
    R.Worst = Late.empty() ? 0 : *std::max_element(Late.begin(), Late.end());
    R.RssEnd = RssBytes();
    return R;
}
}  // namespace

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    const bool Quick = argc > 1 && QByteArray(argv[1]) == "--quick";
    if (argc > 1 && QByteArray(argv[1]) == "--repaint") {
        RepaintPart();
        return 0;
    }
    const int Seconds = Quick ? 10 : 60;
    // The ring fills within the run, so memory after it is full can be seen
    // to stay.
    const int Capacity = Quick ? 3000 : 20000;
    std::printf("2. 8 series at 1,000 samples/s each for %d s, ring of %d per series\n", Seconds, Capacity);
    const TFeedResult Closed = Feed(false, Seconds, Capacity);
    const TFeedResult Open = Feed(true, Seconds, Capacity);
    for (const auto &[Name, R] : {std::pair<const char *, const TFeedResult &> {"plot closed (baseline)", Closed},
             std::pair<const char *, const TFeedResult &> {"plot shown", Open}})
        std::printf("   %-22s CPU %5.1f %% of a core; stalls p50 %.2f ms, p99 %.2f ms, worst %.1f ms\n", Name,
            R.CpuPercent, R.P50, R.P99, R.Worst);
    std::printf("   CPU added by the plot: %.1f %% of one core (target <= 5 %%); stall p99 %.2f ms (target < 20 ms)\n",
        Open.CpuPercent - Closed.CpuPercent, Open.P99);
    std::printf("   memory with the plot shown: %.1f MB when the ring was full, %.1f MB at the end\n",
        Open.RssFull / 1e6, Open.RssEnd / 1e6);
    // After the feed, so that its memory figures are not the big rings'.
    RepaintPart();
    return 0;
}
