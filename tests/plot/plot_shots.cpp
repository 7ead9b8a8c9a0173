// Screenshots of the plot window, fed by a pseudo-terminal, under Xvfb (see
// README, development):
//   xvfb-run -a -s "-screen 0 1280x900x24" build/tests/plot/plot_shots DIR
// Writes DIR/plot-text.png (a sine and a ramp as name:value lines, the
// value under the mouse) and DIR/plot-binary.png (a register of Modbus-like
// replies as a big-endian field, scaled, on the arrival-time axis).
#include "../support/Shoot.h"
#include "SocatPair.h"

#include "PlotForm.h"
#include "PlotView.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "main.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>

namespace {
class TQuiet : public TRuntimeMessages {
public:
    void Warning(QWidget *, const QString &, const QString &) override { }
    void StandardError(const QString &) override { }
};
}  // namespace

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    const QString Out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(Out);
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    TSocatPair Cable;
    if (!Cable.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(Cable.Error));
        return 1;
    }
    const QStringList Ports {QString::fromStdString(Cable.Near())};
    auto Main = CreateProgram({}, &Ports);
    TQuiet Quiet;
    Main->SetMessages(&Quiet);
    Main->resize(1100, 820);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;
    Main->Settings.SetAsciiReceive(true);
    Main->ApplyOptions();
    Main->TogglePort();
    Main->findChild<QAction *>(QStringLiteral("PlotWindowItem"))->trigger();
    TPlotForm *Plot = Main->PlotForm;
    Plot->SetSettings(TPlotSettings());
    Main->resizeDocks({Plot}, {480}, Qt::Vertical);

    for (int I = 0; I < 600; ++I) {
        char Line[64];
        std::snprintf(Line, sizeof Line, "sine:%.3f ramp:%d\r\n", 50 * std::sin(I * 0.05), I % 200 - 100);
        Cable.WriteFar(Line);
        if (I % 20 == 19)
            QTest::qWait(15);
    }
    for (int I = 0; I < 100 && Plot->Data().Samples() < 600; ++I)
        QTest::qWait(50);
    QTest::qWait(100);
    TPlotView *View = Plot->View();
    const QPoint At(View->width() * 2 / 3, View->height() / 2);
    QMouseEvent Move(QEvent::MouseMove, At, View->mapToGlobal(At), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(View, &Move);
    Shoot(Main.get(), Out + QStringLiteral("/plot-text.png"));

    // Replies of a register read: slave 1, function 3, 2 bytes, the value, a
    // check sum; the register is a temperature in tenths of a degree.
    Main->Settings.SetAsciiReceive(false);
    Main->ApplyOptions();
    TPlotSettings Binary;
    Binary.Format = TPlotFormat::Binary;
    Binary.XAxis = TXAxis::Time;
    Binary.Window = TWindowKind::All;
    Binary.Fields = QStringLiteral("temperature=3:i16be:0.1");
    Plot->SetSettings(Binary);
    // Each reply apart from the next by more than the reader's read time, so
    // that it is a received line of its own.
    for (int I = 0; I < 30; ++I) {
        const int Value = int(215 + 30 * std::sin(I * 0.3) + (I % 5) * 2);
        const std::string Frame {
            char(1), char(3), char(2), char(Value >> 8), char(Value & 0xFF), char(0x12), char(0x34)};
        Cable.WriteFar(Frame);
        QTest::qWait(180);
    }
    for (int I = 0; I < 100 && Plot->Data().Samples() < 30; ++I)
        QTest::qWait(50);
    Shoot(Main.get(), Out + QStringLiteral("/plot-binary.png"));
    Main->close();
    return 0;
}
