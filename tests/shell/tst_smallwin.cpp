// The small windows in the whole program, offscreen: colour settings, the
// number converter and its pop-up, the about window and the ASCII table.
#include "ProgramRun.h"
#include "SocatPair.h"

#include "AscUnit.h"
#include "BColorSetUnit.h"
#include "HexUnit.h"
#include "PopUnit.h"
#include "SendUnit.h"
#include "SettingsRecord.h"
#include "aboutUnit.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

namespace {
// A menu command by its caption, wherever it is in the menu bar.
QAction *Command(TMainForm *Main, const QString &Caption)
{
    for (QAction *M : Main->menuBar()->actions())
        for (QAction *A : M->menu()->actions())
            if (A->text() == Caption)
                return A;
    return nullptr;
}

class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public Q_SLOTS:
    void Open(const QUrl &Url) { Urls.append(Url); }
};
}  // namespace

class TestSmallWindows : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;
    QStringList Ports;

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

    void converterFields_data()
    {
        QTest::addColumn<int>("Field");
        QTest::addColumn<QString>("Typed");
        QTest::addColumn<bool>("Paste");
        QTest::addColumn<QString>("Hex");
        QTest::addColumn<QString>("Dec");
        QTest::addColumn<QString>("Bin");
        QTest::addColumn<QString>("Warning");
        const int H = int(TNumberField::Hex), D = int(TNumberField::Dec), B = int(TNumberField::Bin);
        QTest::newRow("hex 1a") << H << "1a" << false << "1A"
                                << "26"
                                << "0001 1010 "
                                << "";
        QTest::newRow("dec 255") << D << "255" << false << "FF"
                                 << "255"
                                 << "1111 1111 "
                                 << "";
        QTest::newRow("bin 1010") << B << "1010" << false << "A"
                                  << "10"
                                  << "1010"
                                  << "";
        QTest::newRow("largest hex") << H << "FFFFFFFFF" << false << "FFFFFFFFF"
                                     << "68719476735" << QString(QStringLiteral("1111 ").repeated(9)) << "";
        QTest::newRow("keys refused") << H << "1xG2" << false << "12"
                                      << "18"
                                      << "0001 0010 "
                                      << "";
        QTest::newRow("bin of 45") << B << QString(45, QLatin1Char('1')) << false << "1FFFFFFFFFFF"
                                   << "35184372088831" << QString(45, QLatin1Char('1')) << "";
        QTest::newRow("hex too long") << H << "1234567890" << false << "123456789"
                                      << "4886718345"
                                      << "0001 0010 0011 0100 0101 0110 0111 1000 1001 "
                                      << "";
        QTest::newRow("pasted 12G") << H << "12G" << true << ""
                                    << ""
                                    << ""
                                    << "What you input is not Hex.";
        QTest::newRow("pasted dec") << D << "2x" << true << ""
                                    << ""
                                    << ""
                                    << "What you input is not dec.";
        QTest::newRow("pasted bin") << B << "102" << true << ""
                                    << ""
                                    << ""
                                    << "What you input is not bin.";
        QTest::newRow("bin blanks") << B << "   " << false << "0"
                                    << "0"
                                    << "   "
                                    << "";
    }
    void converterFields()
    {
        QFETCH(int, Field);
        QFETCH(QString, Typed);
        QFETCH(bool, Paste);
        QFETCH(QString, Hex);
        QFETCH(QString, Dec);
        QFETCH(QString, Bin);
        QFETCH(QString, Warning);
        TRun Run(Ports);
        Run.Action("ConverterButton")->trigger();
        THexDecForm *Form = Run->HexDecForm;
        QVERIFY(Form->isVisible());
        QLineEdit *Edit = Form->Field(TNumberField(Field));
        // Something in the other fields first: a paste that is refused
        // empties all three.
        QTest::keyClicks(Form->Field(TNumberField::Dec), QStringLiteral("7"));
        Edit->setFocus();
        Edit->clear();
        if (Paste) {
            QGuiApplication::clipboard()->setText(Typed);
            Edit->paste();
        } else {
            QTest::keyClicks(Edit, Typed);
        }
        QCOMPARE(Form->Field(TNumberField::Hex)->text(), Hex);
        QCOMPARE(Form->Field(TNumberField::Dec)->text(), Dec);
        QCOMPARE(Form->Field(TNumberField::Bin)->text(), Bin);
        if (Warning.isEmpty()) {
            QVERIFY(Run.Messages.List.isEmpty());
        } else {
            QCOMPARE(Run.Messages.List.size(), 1);
            QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("HexDecBin"));
            QCOMPARE(Run.Messages.List[0].Text, Warning);
        }
        QCOMPARE(THexDecForm::LongestInput(TNumberField::Bin), 45);
        for (const char *Name : {"Hex", "Dec", "Bin"})
            QCOMPARE(AccessibleName(Form->findChild<QLineEdit *>(QLatin1String(Name))), QLatin1String(Name));
    }

    void blankHexIsAConversionError()
    {
        TRun Run(Ports);
        Run.Action("ConverterButton")->trigger();
        THexDecForm *Form = Run->HexDecForm;
        QTest::keyClicks(Form->Field(TNumberField::Dec), QStringLiteral("5"));
        Form->Field(TNumberField::Hex)->selectAll();
        QTest::keyClicks(Form->Field(TNumberField::Hex), QStringLiteral(" "));
        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Text, QStringLiteral("'$' is not a valid integer value"));
        // The other two keep their texts.
        QCOMPARE(Form->Field(TNumberField::Dec)->text(), QStringLiteral("5"));
        QCOMPARE(Form->Field(TNumberField::Bin)->text(), QStringLiteral("0101 "));
    }

    void colourSettings()
    {
        TRun Run(Ports);
        TSettingsRecord &S = Run->Settings;
        const QList<uint32_t> Mine {0x102030, 0x405060, 0x708090, 0x00FF00, 0xFF00FF};
        S.SetReceiveViewBackground(Mine[0]);
        S.SetSendViewBackground(Mine[1]);
        S.SetSearchViewBackground(Mine[2]);
        S.SetReceiveMessageColour(Mine[3]);
        S.SetSendMessageColour(Mine[4]);
        const QColor Before = Run->ReceiveView()->palette().color(QPalette::Base);
        auto Stored = [&S] {
            return QList<uint32_t> {S.ReceiveViewBackground(), S.SendViewBackground(), S.SearchViewBackground(),
                S.ReceiveMessageColour(), S.SendMessageColour()};
        };
        TBColorSetForm *Form = Run->BColorSetForm;
        Command(Run.Main.get(), QStringLiteral("Color Settings"))->trigger();
        QVERIFY(Form->isVisible());
        QCOMPARE(Form->SwatchColour(0), Mine[0]);

        // A cancelled picker leaves the swatch; a picked colour changes it,
        // but not the record.
        Form->PickColour = [](const QColor &, QWidget *) { return QColor(); };
        Form->Swatch(0)->click();
        QCOMPARE(Form->SwatchColour(0), Mine[0]);
        Form->PickColour = [](const QColor &, QWidget *) { return QColor(1, 2, 3); };
        Form->Swatch(0)->click();
        QCOMPARE(Form->SwatchColour(0), 0x030201u);
        QCOMPARE(Stored(), Mine);

        // Default, then Cancel: nothing changes.
        Form->findChild<QPushButton *>(QStringLiteral("DefaultButton"))->click();
        QCOMPARE(Form->SwatchColour(3), 0xC80000u);
        Form->findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
        QVERIFY(!Form->isVisible());
        QCOMPARE(Stored(), Mine);
        QCOMPARE(Run->ReceiveView()->palette().color(QPalette::Base), Before);

        // Default, then Ok: the backgrounds at once, the line colours for
        // the next lines.
        Command(Run.Main.get(), QStringLiteral("Color Settings"))->trigger();
        Form->findChild<QPushButton *>(QStringLiteral("DefaultButton"))->click();
        Form->findChild<QPushButton *>(QStringLiteral("OkButton"))->click();
        const QList<uint32_t> Defaults(TBColorSetForm::Defaults.begin(), TBColorSetForm::Defaults.end());
        QCOMPARE(Stored(), Defaults);
        QCOMPARE(Run->ReceiveView()->palette().color(QPalette::Base), QColor(0xE6, 0xE6, 0xE6));
        QCOMPARE(Run->SendForm->RichSend->palette().color(QPalette::Base), QColor(0xF0, 0xF0, 0xF0));

        QVERIFY(Run.OpenPort(QString::fromStdString(Cable->Near())));
        QVERIFY(Cable->WriteFar(std::string("\x5A\xA5", 2)));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("5A A5")) >= 0);
        TRichView *View = Run->ReceiveView();
        int Line = LineWith(View, QStringLiteral("5A A5"));
        QCOMPARE(ColourAt(View, View->LineStart(Line) + int(View->LineText(Line).indexOf(QStringLiteral("5A A5")))),
            QColor(0, 0, 200));
        TRichView *Send = Run->SendForm->RichSend;
        Send->setPlainText(QStringLiteral("C3 3C"));
        Send->SetSelection(0, 0);
        Run.Action("SendDataItem")->trigger();
        QCOMPARE(Cable->ReadFar(2), std::string("\xC3\x3C", 2));
        QTRY_VERIFY(LineWith(View, QStringLiteral("C3 3C")) >= 0);
        Line = LineWith(View, QStringLiteral("C3 3C"));
        QCOMPARE(ColourAt(View, View->LineStart(Line) + int(View->LineText(Line).indexOf(QStringLiteral("C3 3C")))),
            QColor(200, 0, 0));
        // The swatches are known to a screen reader by their rows.
        QCOMPARE(AccessibleName(Form->Swatch(3)), QStringLiteral("Receive Message Font"));
    }

    void popUp_data()
    {
        QTest::addColumn<QString>("Selected");
        QTest::addColumn<bool>("CtrlRelease");
        QTest::addColumn<QString>("Dec");
        QTest::addColumn<QString>("Bin");
        QTest::newRow("01 02") << "01 02" << false << "258"
                               << "0000 0001 0000 0010 ";
        QTest::newRow("unsigned") << "FF FF FF FF" << false << "4294967295"
                                  << QString(QStringLiteral("1111 ").repeated(8));
        QTest::newRow("signed") << "FF FF FF FF" << true << "-1" << QString(QStringLiteral("1111 ").repeated(8));
        QTest::newRow("one digit") << "1" << false << ""
                                   << "";
        QTest::newRow("odd count") << "01 0" << false << ""
                                   << "";
        QTest::newRow("nine bytes") << "01 02 03 04 05 06 07 08 09" << false << ""
                                    << "";
    }
    void popUp()
    {
        QFETCH(QString, Selected);
        QFETCH(bool, CtrlRelease);
        QFETCH(QString, Dec);
        QFETCH(QString, Bin);
        TRun Run(Ports);
        TRichView *View = Run->ReceiveView();
        View->Append({{Selected, Qt::black}});
        View->SetSelection(0, int(Selected.size()));
        Run->DataRT()->ActiveView = View;
        const QPoint Mouse(400, 300);
        if (CtrlRelease)
            Run->DataRT()->ViewMouseUp(Qt::ControlModifier, Mouse);
        else
            Run.Action("ToDecBinItem")->trigger();
        TPopForm *Pop = Run->PopForm;
        QCOMPARE(Pop->isVisible(), !Dec.isEmpty());
        QVERIFY(Run.Messages.List.isEmpty());
        if (Dec.isEmpty())
            return;
        QCOMPARE(Pop->DecField()->text(), Dec);
        QCOMPARE(Pop->BinField()->text(), Bin);
        const int Bytes = int(Bin.size() / 10);
        // Sized by the selection, and never cutting the value off.
        QVERIFY(Pop->BinField()->width() >= Bytes * TPopForm::ByteWidth);
        QVERIFY(Pop->BinField()->width() >= Pop->BinField()->fontMetrics().horizontalAdvance(Bin.trimmed()));
        QCOMPARE(Pop->DecField()->width(), Pop->BinField()->width());
        if (!CtrlRelease)
            return;
        // Its bottom 10 pixels above the pointer, its left edge at it.
        QCOMPARE(Pop->geometry().left(), Mouse.x());
        QCOMPARE(Pop->geometry().bottom() + 1, Mouse.y() - 10);
        // A click anywhere else hides it.
        QTest::mouseClick(Pop, Qt::LeftButton, {}, QPoint(-20, -20));
        QTRY_VERIFY(!Pop->isVisible());
    }

    void asciiChart()
    {
        const QStringList Controls {
            QStringLiteral("NUL"), QStringLiteral("BEL"), QStringLiteral("ESC"), QStringLiteral("US")};
        QCOMPARE(TAscForm::CharText(0), Controls[0]);
        QCOMPARE(TAscForm::CharText(7), Controls[1]);
        QCOMPARE(TAscForm::CharText(27), Controls[2]);
        QCOMPARE(TAscForm::CharText(31), Controls[3]);
        QCOMPARE(TAscForm::CharText(32), QStringLiteral("(space)"));
        QCOMPARE(TAscForm::CharText(65), QStringLiteral("A"));
        QCOMPARE(TAscForm::CharText(126), QStringLiteral("~"));
        QCOMPARE(TAscForm::CharText(127), QStringLiteral("DEL"));

        // Drawn at twice the pixels: each checked cell holds ink, and the
        // same text drawn alone gives the same pixels (nothing clipped or
        // shifted by the grid).
        QImage Chart(TAscForm::ChartWidth * 2, TAscForm::ChartHeight * 2, QImage::Format_RGB32);
        Chart.setDevicePixelRatio(2);
        {
            QPainter P(&Chart);
            TAscForm::DrawChart(P);
        }
        for (const auto &[Code, Column] : {std::pair {0, 1}, std::pair {32, 1}, std::pair {65, 1}, std::pair {65, 0},
                 std::pair {127, 1}, std::pair {96, 0}}) {
            const QRect Cell = TAscForm::CellRect(Code, Column).adjusted(1, 1, -1, -1);
            const QImage Got = Chart.copy(QRect(Cell.topLeft() * 2, Cell.size() * 2));
            QImage Alone(Cell.size() * 2, QImage::Format_RGB32);
            Alone.setDevicePixelRatio(2);
            Alone.fill(Qt::white);
            {
                QPainter P(&Alone);
                QFont Text(QStringLiteral("Tahoma"));
                Text.setPixelSize(12);
                P.setFont(Text);
                P.setPen(Qt::black);
                P.drawText(QRect(QPoint(-1, -1), TAscForm::CellRect(Code, Column).size()), Qt::AlignCenter,
                    Column == 0 ? QString::number(Code) : TAscForm::CharText(Code));
            }
            QVERIFY2(Got.convertToFormat(QImage::Format_RGB32) == Alone, qPrintable(QString::number(Code)));
            QVERIFY(Got.allGray() && Got != QImage(Got.size(), QImage::Format_RGB32));
        }
    }

    void aboutAndAsciiWindows()
    {
        TRun Run(Ports);
        TUrlCatcher Catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &Catcher, "Open");
        Command(Run.Main.get(), QStringLiteral("About"))->trigger();
        TaboutForm *About = Run->aboutForm;
        QVERIFY(About->isVisible());
        QStringList Texts;
        for (QLabel *L : About->findChildren<QLabel *>())
            Texts << L->text();
        QVERIFY(Texts.contains(QStringLiteral("Tallyscope")));
        QVERIFY(Texts.contains(QStringLiteral("Version:  3.2")));
        QVERIFY(Texts.contains(QStringLiteral("Web Site:")));
        QVERIFY(!About->findChild<QLabel *>(QStringLiteral("ProgramIcon"))->pixmap().isNull());
        Q_EMIT About->Link()->linkActivated(TaboutForm::WebSite);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(Catcher.Urls, QList<QUrl> {QUrl(TaboutForm::WebSite)});

        Command(Run.Main.get(), QStringLiteral("ASCII Table"))->trigger();
        QVERIFY(Run->AscForm->isVisible());
        QCOMPARE(Run->AscForm->windowTitle(), QStringLiteral("ASCII"));

        // Every command of the menus and tool bars that opens one of these
        // windows is available.
        // (The converter's menu item is hidden; its tool button opens it.)
        for (const char *Caption : {"Color Settings", "ASCII Table", "About"})
            QVERIFY2(Command(Run.Main.get(), QLatin1String(Caption))->isEnabled(), Caption);
        QVERIFY(Run.Action("ConverterButton")->isEnabled() && Run.Action("ToDecBinItem")->isEnabled());
    }
};

QTEST_MAIN(TestSmallWindows)
#include "tst_smallwin.moc"
