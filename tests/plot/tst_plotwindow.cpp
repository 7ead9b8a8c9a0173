// The plot window in the whole program (offscreen, a temporary
// XDG_DATA_HOME, a socat cable): text and binary formats, series appearing,
// pause, exports read back, nothing taken while closed, settings kept.
#include "ProgramRun.h"
#include "SocatPair.h"

#include "PlotForm.h"
#include "PlotView.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class TestPlotWindow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;
    QStringList Ports;

    // Sends Bytes from the device and waits until the receive view shows
    // them as a line of their own, so each write is a block of its own.
    void Receive(TRun &Run, const std::string &Bytes)
    {
        const QString Shown =
            QStringLiteral("] ") + QString::fromLatin1(QByteArray::fromStdString(Bytes).toHex(' ').toUpper());
        QVERIFY(Cable->WriteFar(Bytes));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), Shown) >= 0);
    }
    static const TSeries *Named(TPlotForm *Plot, const char *Name)
    {
        for (const TSeries &S : Plot->Data().Series())
            if (S.Name == Name)
                return &S;
        return nullptr;
    }
    TPlotForm *OpenPlot(TRun &Run)
    {
        Run.Action("PlotWindowItem")->trigger();
        return Run->PlotForm;
    }

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
        Cable = std::make_unique<TSocatPair>();
        QVERIFY2(Cable->Start(), qPrintable(Cable->Error));
        Ports = {QString::fromStdString(Cable->Near())};
    }
    void cleanup()
    {
        Cable.reset();
        Home.reset();
    }

    // Columns and name:value pairs become series with legend entries as
    // they appear, from hex-mode lines too; pause freezes the picture but
    // not the collecting; the CSV and PNG written are what was plotted.
    void textLinesArePlottedPausedAndExported()
    {
        TRun Run(Ports);
        QVERIFY(Run.OpenPort(Ports.first()));
        TPlotForm *Plot = OpenPlot(Run);
        QVERIFY(Plot->isVisible());
        QVERIFY(Run.Action("PlotWinButton")->isChecked());
        QVERIFY(Run.Action("PlotWindowItem")->isChecked());

        Receive(Run, "1 10\r\n2 2");
        Receive(Run, "0\r\n");
        QTRY_COMPARE(Plot->Data().Series().size(), std::size_t(2));
        QTRY_COMPARE(Named(Plot, "2")->Ring.Size(), std::size_t(2));
        QCOMPARE(Named(Plot, "2")->Ring.At(1).Y, 20.0);  // the line cut across two blocks
        Receive(Run, "temp:21.5 hum:40\n");
        auto *Legend = Run.Find<QListWidget>("PlotLegend");
        QTRY_COMPARE(Legend->count(), 4);
        QCOMPARE(Legend->item(2)->text(), QStringLiteral("temp"));
        QCOMPARE(Named(Plot, "temp")->Ring.At(0).X, 2.0);

        // Hiding a series in the legend leaves its samples.
        Legend->item(3)->setCheckState(Qt::Unchecked);
        QCOMPARE(Plot->View()->Hidden, std::vector<bool>({false, false, false, true}));
        QCOMPARE(Plot->Settings().Hidden, QStringList({QStringLiteral("hum")}));

        Run.Find<QToolButton>("PlotPause")->click();
        QVERIFY(Plot->Paused());
        QVERIFY(!Plot->View()->IsLive());
        const QRectF Frozen = Plot->View()->Range();
        Receive(Run, "temp:30\n");
        QTRY_COMPARE(Named(Plot, "temp")->Ring.Size(), std::size_t(2));
        Plot->View()->repaint();
        QCOMPARE(Plot->View()->Range(), Frozen);
        Run.Find<QToolButton>("PlotPause")->click();
        QVERIFY(Plot->View()->IsLive());

        const QString Csv = Home->filePath(QStringLiteral("plot.csv"));
        const QString Png = Home->filePath(QStringLiteral("plot.png"));
        Plot->AskSaveName = [&](const QString &Filter) { return Filter.startsWith(u'C') ? Csv : Png; };
        Run.Find<QToolButton>("PlotCsv")->click();
        Run.Find<QToolButton>("PlotPng")->click();
        QFile File(Csv);
        QVERIFY(File.open(QIODevice::ReadOnly));
        QCOMPARE(
            File.readAll(), QByteArray("sample,1,2,temp,hum\r\n0,1,10,,\r\n1,2,20,,\r\n2,,,21.5,40\r\n3,,,30,\r\n"));
        const QImage Picture(Png);
        QCOMPARE(Picture.size(), Plot->View()->size() * Plot->View()->devicePixelRatio());
        // The first series' colour is on the picture: the line was drawn.
        bool Drawn = false;
        for (int Y = 0; Y < Picture.height() && !Drawn; ++Y)
            for (int X = 0; X < Picture.width() && !Drawn; ++X)
                Drawn = Picture.pixelColor(X, Y) == TPlotView::SeriesColour(0);
        QVERIFY(Drawn);

        // A file that cannot be written is told, not taken for done.
        Plot->AskSaveName = [&](const QString &) { return Home->filePath(QStringLiteral("no/such/dir/x.csv")); };
        Run.Find<QToolButton>("PlotCsv")->click();
        QCOMPARE(Run.Messages.List.size(), 1);
        QVERIFY(Run.Messages.List.first().Text.contains(QStringLiteral("no/such/dir")));

        Run.Find<QToolButton>("PlotClear")->click();
        QVERIFY(Plot->Data().Series().empty());
        QCOMPARE(Legend->count(), 0);
    }

    // Closed, the plot is not fed at all; opened again, it takes the next
    // lines.
    void aClosedPlotTakesNothing()
    {
        TRun Run(Ports);
        QVERIFY(Run.OpenPort(Ports.first()));
        QVERIFY(!Run->DataRT()->ReceivedShown);
        Receive(Run, "1 2\n");
        TPlotForm *Plot = OpenPlot(Run);
        QVERIFY(Run->DataRT()->ReceivedShown);
        QVERIFY(Plot->Data().Series().empty());
        Run.Action("PlotWindowItem")->trigger();
        QVERIFY(Plot->isHidden());
        QVERIFY(!Run.Action("PlotWinButton")->isChecked());
        QVERIFY(!Run->DataRT()->ReceivedShown);
        Receive(Run, "3 4\n");
        QVERIFY(Plot->Data().Series().empty());
        // Its own close box closes it too.
        OpenPlot(Run);
        Plot->close();
        QVERIFY(!Run->DataRT()->ReceivedShown);
        QVERIFY(!Run.Action("PlotWindowItem")->isChecked());
    }

    // A register of a Modbus-like reply, big endian and scaled, one sample
    // per received frame; a frame too short for the field gives none.
    void binaryFieldsOfHexFramesArePlotted()
    {
        TRun Run(Ports);
        QVERIFY(Run.OpenPort(Ports.first()));
        TPlotForm *Plot = OpenPlot(Run);
        Run.Find<QComboBox>("PlotFormat")->setCurrentIndex(int(TPlotFormat::Binary));
        auto *Fields = Run.Find<QLineEdit>("PlotFields");
        QVERIFY(Fields->isEnabled());
        Fields->setText(QStringLiteral("temp=3:i16be:0.1; raw=4:u8"));
        Q_EMIT Fields->editingFinished();
        Receive(Run, std::string("\x01\x03\x02\x00\xFA\x38\x07", 7));
        Receive(Run, std::string("\x01\x03\x02\xFF\x38\x00\x00", 7));
        Receive(Run, std::string("\x01\x83", 2));
        QTRY_COMPARE(Plot->Data().Samples(), 2);
        QCOMPARE(Named(Plot, "temp")->Ring.At(0).Y, 25.0);
        QCOMPARE(Named(Plot, "temp")->Ring.At(1).Y, -20.0);
        QCOMPARE(Named(Plot, "raw")->Ring.At(1).Y, 56.0);

        // A field list that cannot be read is said and changes nothing.
        Fields->setText(QStringLiteral("3:u24"));
        Q_EMIT Fields->editingFinished();
        QVERIFY(Run.Find<QLabel>("PlotNotice")->text().contains(QStringLiteral("3:u24")));
        QCOMPARE(Plot->Data().Fields.size(), std::size_t(2));
    }

    // The settings and the window's place come back at the next start.
    void settingsAreKeptInConfigIni()
    {
        {
            TRun Run(Ports);
            OpenPlot(Run);
            Run.Find<QComboBox>("PlotFormat")->setCurrentIndex(int(TPlotFormat::Binary));
            Run.Find<QComboBox>("PlotXAxis")->setCurrentIndex(int(TXAxis::Time));
            Run.Find<QComboBox>("PlotWindow")->setCurrentIndex(int(TWindowKind::Seconds));
            auto *Fields = Run.Find<QLineEdit>("PlotFields");
            Fields->setText(QStringLiteral("v=1:f32be"));
            Q_EMIT Fields->editingFinished();
        }
        TRun Run(Ports);
        QTRY_VERIFY(Run->PlotForm->isVisible());
        QVERIFY(Run.Action("PlotWindowItem")->isChecked());
        QVERIFY(Run->DataRT()->ReceivedShown);
        const TPlotSettings S = Run->PlotForm->Settings();
        QCOMPARE(S.Format, TPlotFormat::Binary);
        QCOMPARE(S.XAxis, TXAxis::Time);
        QCOMPARE(S.Window, TWindowKind::Seconds);
        QCOMPARE(S.Fields, QStringLiteral("v=1:f32be"));
        QCOMPARE(Run->PlotForm->Data().Fields.size(), std::size_t(1));
    }
};

QTEST_MAIN(TestPlotWindow)
#include "tst_plotwindow.moc"
