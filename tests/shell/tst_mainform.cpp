// The whole program in-process, offscreen: real windows, a real settings
// folder (a temporary XDG_DATA_HOME) and a socat pseudo-terminal as the
// device. Messages to the user are captured instead of shown.
#include "../core/UndrainedPty.h"
#include "ProgramRun.h"
#include "SocatPair.h"

#include "AutoSave.h"
#include "CPortCtl.h"
#include "ColourButton.h"
#include "DataFolder.h"
#include "FindUnit.h"
#include "PosixComDevice.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"
#include "StatusBarMY.h"
#include "StatusTick.h"
#include "WindowPlacement.h"
#include "main.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QUrlQuery>
#include <QWidgetAction>
#include <QWindow>

namespace {
QAction *Item(TMainForm *Main, const QString &Menu, const QString &Caption)
{
    // By the caption as shown, without the '&' of its Alt key.
    for (QAction *M : Main->menuBar()->actions())
        if (QString(M->text()).remove(QLatin1Char('&')) == Menu)
            for (QAction *A : M->menu()->actions())
                if (A->text() == Caption)
                    return A;
    return nullptr;
}

// What a screen reader calls a control: its name, or for a combo box (whose
// name is its value on Linux) the label that names it.
QString ScreenReaderName(QWidget *W)
{
    QAccessibleInterface *I = QAccessible::queryAccessibleInterface(W);
    if (!I)
        return QString();
    if (qobject_cast<QComboBox *>(W)) {
        const auto Labels = I->relations(QAccessible::Label);
        return Labels.isEmpty() ? QString() : Labels.first().first->text(QAccessible::Name);
    }
    return I->text(QAccessible::Name);
}

// While it lives, no event reaches anything: a command invoked then is
// reached the way a screen reader may reach it, with no event at all.
class TNoEvents : public QObject {
public:
    TNoEvents() { qApp->installEventFilter(this); }
    ~TNoEvents() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject *, QEvent *) override { return true; }
};

bool Exists(const QString &Path)
{
    return QFileInfo::exists(Path);
}
}  // namespace

class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public Q_SLOTS:
    void Open(const QUrl &Url) { Urls.append(Url); }
};

class TestMainForm : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;
    QStringList Ports;

    // Opens the cable's near end through the port combo and the port button.
    void OpenByCombo(TRun &Run)
    {
        Run.Find<QComboBox>("CBoxPort")
            ->setCurrentIndex(Run.Find<QComboBox>("CBoxPort")->findText(QString::fromStdString(Cable->Near())));
        Run.Action("PortButton")->trigger();
        QVERIFY(Run->Link()->Port.Connected());
    }

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
        Cable = std::make_unique<TSocatPair>();
        QVERIFY2(Cable->Start(), qPrintable(Cable->Error));
        // Port discovery as the machine would give it, with the cable's end.
        Ports = {QStringLiteral("ttyUSB0"), QString::fromStdString(Cable->Near())};
    }
    void cleanup()
    {
        Cable.reset();
        Home.reset();
    }

    void firstStart()
    {
        QVERIFY(!Exists(DataFolderPath()));
        TRun Run(Ports);
        // The default layout was written byte for byte, then loaded.
        QFile Default(QStringLiteral(":/config")), Written(LayoutFilePath());
        QVERIFY(Default.open(QIODevice::ReadOnly) && Written.open(QIODevice::ReadOnly));
        QCOMPARE(Written.readAll(), Default.readAll());
        QCOMPARE(Run->windowTitle(), QStringLiteral("Corvane Tallyscope"));
        QCOMPARE(Run->dockWidgetArea(Run->SendForm), Qt::LeftDockWidgetArea);
        QVERIFY(Run->SendForm->isVisible() && !Run->SendForm->isFloating());
        QVERIFY(qAbs(Run->SendForm->width() - 220) <= 8);
        QCOMPARE(Run->dockWidgetArea(Run->FindForm), Qt::BottomDockWidgetArea);
        QVERIFY(!Run->FindForm->isVisible());
        // The designed size at the designed place, moved left onto a work
        // area narrower than the place needs.
        const QRect Area = Run->screen()->availableGeometry();
        QCOMPARE(Run->size(), QSize(685, 506));
        QCOMPARE(Run->geometry().top(), 158);
        QVERIFY(Area.width() < 361 + 685);
        QTRY_COMPARE(Run->frameGeometry().right(), Area.right());

        // Marks: Show Time and Show Sending on, and Send Window as the layout
        // shows the window; everything else off.
        const QList<QAction *> On = {Run.Action("ShowTimeItem"), Run.Action("ShowTimeItem2"),
            Run.Action("ShowSendingItem"), Run.Action("DisplaySendingButton"), Run.Action("SendWindowItem"),
            Run.Action("SendWinButton")};
        const QList<QAction *> Off = {Run.Action("ShowRxTxItem"), Run.Action("ShowRxTxItem2"),
            Run.Action("WordWrapItem"), Run.Action("WordWrapButton"), Run.Action("FilterItem"),
            Run.Action("FilterButton"), Run.Action("AsciiReceiveItem"), Run.Action("AsciiReceiveButton"),
            Run.Action("AsciiSendItem"), Run->SendForm->ToolButton8, Run.Action("CycleItem"),
            Run->SendForm->ToolButton2, Run.Action("TriggerItem"), Run->SendForm->ToolButton3,
            Run.Action("FindWindowItem"), Run.Action("FindWinButton"), Run.Action("PauseItem"),
            Run.Action("PauseButton"), Run.Action("DtrButton"), Run.Action("RtsButton"), Run.Action("AlwaysOnTopItem")};
        for (QAction *A : On)
            QVERIFY2(A->isChecked(), qPrintable(A->text()));
        for (QAction *A : Off)
            QVERIFY2(!A->isChecked(), qPrintable(A->text()));

        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->currentIndex(), 0);
        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->currentText(), QStringLiteral("ttyUSB0"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxBaudRate")->Text(), QStringLiteral("9600"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxParityBits")->Text(), QStringLiteral("None"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxDataBits")->Text(), QStringLiteral("8"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxStopBits")->Text(), QStringLiteral("1"));
        // Closed state.
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Open Port"));
        QVERIFY(Run.Find<QComboBox>("CBoxPort")->isEnabled() && Run.Find<TComComboBox>("CBoxBaudRate")->isEnabled());
        QVERIFY(!Run.Action("DtrButton")->isEnabled() && !Run.Action("RtsButton")->isEnabled());
        QVERIFY(Run.Messages.List.isEmpty());

        // The first Send Window command hides the window it shows, the
        // second shows it in its place with the keys in its view.
        QVERIFY(Run->Settings.SendWindowShown());
        Run.Action("SendWinButton")->trigger();
        QVERIFY(!Run->Settings.SendWindowShown() && !Run.Action("SendWindowItem")->isChecked());
        QVERIFY(!Run->SendForm->isVisible());
        Run.Action("SendWindowItem")->trigger();
        QVERIFY(Run->SendForm->isVisible());
        QVERIFY(Run->Settings.SendWindowShown() && Run.Action("SendWinButton")->isChecked());
        QCOMPARE(Run->dockWidgetArea(Run->SendForm), Qt::LeftDockWidgetArea);
        // Find Window shows the search window at the bottom; its close box
        // clears the flag.
        Run.Action("FindWindowItem")->trigger();
        QVERIFY(Run->FindForm->isVisible() && Run.Action("FindWinButton")->isChecked());
        QCOMPARE(Run->dockWidgetArea(Run->FindForm), Qt::BottomDockWidgetArea);
        Run->FindForm->close();
        QVERIFY(!Run->Settings.SearchWindowShown() && !Run.Action("FindWindowItem")->isChecked());
    }

    void menusAndToolBars()
    {
        TRun Run(Ports);
        // Captions exactly ('&' before a menu's Alt key), "-" for a separator, "(hidden)" for items that
        // exist but are not visible, shortcuts after "=".
        const QStringList Expected = {
            QStringLiteral("&File: Open Receiving  Message|Save Receiving  Message=Ctrl+S|-|Open Sending Message|"
                           "Save Sending Message|-|Print|Print Preview|-|Exit"),
            QStringLiteral("&Edit: Undo     Ctrl+Z|-|Cut      Ctrl+X|Copy     Ctrl+C|Paste    Ctrl+V|-|Select All|-|"
                           "Find=Ctrl+F|Find Next =F3"),
            QStringLiteral("&View: Show Time|Show RxTx|Word Wrap|Show Sending|Filter Settings(hidden)|-|"
                           "Send Window=F8|Find Window|Plot Window|-|Color Settings|Edit Received Text"),
            QStringLiteral(
                "&Tools : Open Port|Reopen When Device Returns|Pause Monitoring|Send Data=F5|-|"
                "ASCII Receive|ASCII Send|-|Cycle To Send(hidden)|Trigger Send(hidden)|-(hidden)|Auto Save or Clear|"
                "HexDecBin Converter(hidden)|ASCII Table"),
            QStringLiteral("&Window: Center|Top|Bottom|Left|Right|-|Always On Top"),
            QStringLiteral("&Help : Help Online=F1|-|Check For Updates|Online Support|Feedback|-|About"),
        };
        QStringList Got;
        for (QAction *M : Run->menuBar()->actions()) {
            QStringList Items;
            for (QAction *A : M->menu()->actions()) {
                QString S = A->isSeparator() ? QStringLiteral("-") : A->text();
                if (!A->shortcut().isEmpty())
                    S += QLatin1Char('=') + A->shortcut().toString();
                if (!A->isVisible())
                    S += QStringLiteral("(hidden)");
                Items << S;
            }
            Got << M->text() + QStringLiteral(": ") + Items.join(QLatin1Char('|'));
        }
        QCOMPARE(Got, Expected);

        // Tool buttons in order, by hint ("|" a separator, "[w]" a widget).
        auto Bar = [](QToolBar *B) {
            QStringList Items;
            for (QAction *A : B->actions()) {
                if (A->isSeparator())
                    Items << QStringLiteral("|");
                else if (qobject_cast<QWidgetAction *>(A))
                    Items << QStringLiteral("[") + B->widgetForAction(A)->objectName() + QStringLiteral("]");
                else
                    Items << A->toolTip();
            }
            return Items.join(QLatin1Char(','));
        };
        QCOMPARE(Bar(Run.Find<QToolBar>("CoolBand1")),
            QStringLiteral("Save Receiving Message,|,Open Port,") +
                QString::fromUtf8("\u6682\u505c\u62a5\u6587\u76d1\u89c6") +
                QStringLiteral(",|,[CBoxPort],[CBoxBaudRate],[CBoxParityBits],[CBoxDataBits],"
                               "[CBoxStopBits],|,DTR,RTS"));
        QCOMPARE(Bar(Run.Find<QToolBar>("CoolBand2")),
            QStringLiteral("Send Window,Find Window,Plot Window,|,HexDecBin Converter,|,[ColorButton]"));
        QCOMPARE(Bar(Run.Find<QToolBar>("ReceBar")),
            QStringLiteral("[DisplayTimeButton],Display Sending Message,|,Word Wrap,|,"
                           "Filter Settings,|,ASCII Receive,|,Clear Screen"));
        QStringList Popup;
        for (QAction *A : Run.Find<QMenu>("ViewPopup")->actions())
            Popup << (A->isSeparator() ? QStringLiteral("-") : A->text());
        QCOMPARE(
            Popup.join(QLatin1Char('|')), QStringLiteral("Cut     Ctrl+X|Copy    Ctrl+C|Paste   Ctrl+V|-|To Dec Bin"));

        // The colour palette's entries and hints.
        QStringList Palette;
        for (QAction *A : Run.Find<TColourButton>("ColorButton")->Palette()->actions())
            if (!A->text().isEmpty())
                Palette << A->text() + QLatin1Char('/') + A->toolTip();
        QCOMPARE(Palette,
            QStringList({QStringLiteral("No Color/No Color"), QStringLiteral("Auto/Automatic"),
                QStringLiteral("Other Color.../Other Colors...")}));
        QCOMPARE(Run.Find<TColourButton>("ColorButton")->Palette()->title(), QStringLiteral("Color Window"));
    }

    void accessibleNames()
    {
        TRun Run(Ports);
        for (QToolBar *Bar : {Run.Find<QToolBar>("CoolBand1"), Run.Find<QToolBar>("CoolBand2"),
                 Run.Find<QToolBar>("ReceBar"), Run->SendForm->SendBar})
            for (QAction *A : Bar->actions())
                if (!A->isSeparator() && !qobject_cast<QWidgetAction *>(A))
                    QCOMPARE(ScreenReaderName(Bar->widgetForAction(A)), A->toolTip());
        QCOMPARE(ScreenReaderName(Run.Find<QToolButton>("DisplayTimeButton")), QStringLiteral("Display Time"));
        QCOMPARE(ScreenReaderName(Run.Find<TColourButton>("ColorButton")), QStringLiteral("Text Color"));
        const QList<QPair<QWidget *, QString>> Named = {
            {Run.Find<QComboBox>("CBoxPort"), QStringLiteral("Port")},
            {Run.Find<TComComboBox>("CBoxBaudRate"), QStringLiteral("Baud rate")},
            {Run.Find<TComComboBox>("CBoxParityBits"), QStringLiteral("Parity")},
            {Run.Find<TComComboBox>("CBoxDataBits"), QStringLiteral("Data bits")},
            {Run.Find<TComComboBox>("CBoxStopBits"), QStringLiteral("Stop bits")},
            {Run->ReceiveView(), QStringLiteral("Receive view")},
            {Run->SendForm->RichSend, QStringLiteral("Send view")},
            {Run->FindForm->RichFind, QStringLiteral("Search view")},
        };
        for (const auto &[W, Name] : Named)
            QCOMPARE(ScreenReaderName(W), Name);
        for (int I = 0; I < 4; ++I)
            QCOMPARE(ScreenReaderName(Run->StatusBar()->Panel(I)), Run->StatusBar()->Panel(I)->text());
    }

    void signalLabelsShownAtEveryWidth()
    {
        // A damaged config.ini: the window starts at its designed size, then
        // goes as narrow as it allows.
        QVERIFY(QDir().mkpath(DataFolderPath()));
        {
            QFile Damaged(LayoutFilePath());
            QVERIFY(Damaged.open(QIODevice::WriteOnly));
            Damaged.write("\x01[MainForm\nWidth=");
        }
        TRun Run(Ports);
        TStatusBarMY *Bar = Run->StatusBar();
        const auto InBar = [Bar](const QWidget *W) { return QRect(W->mapTo(Bar, QPoint()), W->size()); };
        const auto Check = [&] {
            const QString Width = QString::number(Run->width());
            QVERIFY(Run->rect().contains(Bar->geometry()));
            for (int S = 0; S < TStatusBarMY::SignalCount; ++S) {
                const QLabel *Label = Bar->SignalLabel(static_cast<TStatusBarMY::TSignal>(S));
                const QRect At = InBar(Label);
                const QString What = Label->text() + QStringLiteral(" at ") + Width;
                QVERIFY2(Bar->rect().contains(At), qPrintable(What));
                QVERIFY2(At.width() >= Label->sizeHint().width(), qPrintable(What));
                for (int I = 0; I + 1 < TStatusBarMY::PanelCount; ++I)
                    QVERIFY2(!At.intersects(InBar(Bar->Panel(I))), qPrintable(What));
                for (const QSizeGrip *Grip : Bar->findChildren<QSizeGrip *>())
                    QVERIFY2(!Grip->isVisible() || !At.intersects(InBar(Grip)), qPrintable(What));
            }
            for (int I = 0; I < TStatusBarMY::PanelCount; ++I)
                QVERIFY(Bar->rect().contains(InBar(Bar->Panel(I))));
        };
        Check();
        Run.Main->resize(0, Run->height());
        QTRY_COMPARE(Bar->width(), Run->minimumWidth());
        Check();
        // At exit the damaged file is replaced by the layout, silently.
        Run.Main->close();
        QVERIFY2(Run.Messages.List.isEmpty(), qPrintable(Run.Messages.List.value(0).Text));
        QCOMPARE(QSettings(LayoutFilePath(), QSettings::IniFormat).status(), QSettings::NoError);
    }

    void portComboFitsUsualNames()
    {
        const QString ById = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        TRun Run(Ports + QStringList {ById});
        QComboBox *Box = Run.Find<QComboBox>("CBoxPort");
        const QFontMetrics Metrics(Box->lineEdit()->font());
        // Usual names whole; of a by-id name, the end that tells two adapters
        // of one make apart (the line edit shows the end of a long text).
        for (const char *Name : {"/dev/ttyUSB0", "/dev/ttyACM10", "/dev/pts/12", "/dev/rfcomm0", "A50285BI-if00-port0"})
            QVERIFY2(Metrics.horizontalAdvance(QLatin1String(Name)) + 8 <= Box->lineEdit()->width(), Name);
        // The tool tip names the whole path, chosen or typed.
        Box->setCurrentIndex(Box->findText(ById));
        QCOMPARE(Box->toolTip(), ById);
        Box->setEditText(QStringLiteral("/dev/pts/77"));
        QCOMPARE(Box->toolTip(), QStringLiteral("/dev/pts/77"));
        // The list shows a long name whole.
        Box->showPopup();
        QTRY_VERIFY(Box->view()->isVisible());
        QVERIFY(Box->view()->viewport()->width() >= QFontMetrics(Box->view()->font()).horizontalAdvance(ById));
        Box->hidePopup();
    }

    void menuKeys()
    {
        TRun Run(Ports);
        // Every menu has an Alt key of its own; screen readers still get the
        // captions as they stand.
        QString Keys;
        for (QAction *M : Run->menuBar()->actions()) {
            const QString Text = M->text();
            const auto Amp = Text.indexOf(QLatin1Char('&'));
            QVERIFY2(Amp >= 0 && Amp + 1 < Text.size() && Text.at(Amp + 1).isLetter(), qPrintable(Text));
            QVERIFY2(Text.indexOf(QLatin1Char('&'), Amp + 1) < 0, qPrintable(Text));
            const QChar Key = Text.at(Amp + 1).toUpper();
            QVERIFY2(!Keys.contains(Key), qPrintable(Text));
            Keys += Key;
        }
        QCOMPARE(Keys, QStringLiteral("FEVTWH"));
        QAccessibleInterface *Bar = QAccessible::queryAccessibleInterface(Run->menuBar());
        QStringList Names;
        for (int I = 0; I < Bar->childCount(); ++I)
            Names << Bar->child(I)->text(QAccessible::Name);
        QCOMPARE(Names,
            QStringList({QStringLiteral("File"), QStringLiteral("Edit"), QStringLiteral("View"),
                QStringLiteral("Tools "), QStringLiteral("Window"), QStringLiteral("Help ")}));
        // Alt+W opens the Window menu.
        Run->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        QMenu *WindowMenu = nullptr;
        for (QAction *M : Run->menuBar()->actions())
            if (M->text() == QStringLiteral("&Window"))
                WindowMenu = M->menu();
        QVERIFY(WindowMenu);
        QTest::keyClick(Run.Main.get(), Qt::Key_W, Qt::AltModifier);
        QTRY_VERIFY(WindowMenu->isVisible());
        WindowMenu->close();
    }

    void sendWithThePortClosedSaysSo()
    {
        TRun Run(Ports);
        Run->SendForm->RichSend->setPlainText(QStringLiteral("01 02 03"));
        for (QAction *Send : {Run.Action("SendDataItem"), Run->SendForm->ToolButton1}) {
            Run->StatusBar()->clearMessage();
            if (Send == Run.Action("SendDataItem"))
                QTest::keyClick(Run.Main.get(), Qt::Key_F5);
            else
                Send->trigger();
            QCOMPARE(Run->StatusBar()->currentMessage(), QStringLiteral("The port is closed: open it to send."));
            QCOMPARE(Run->StatusBar()->accessibleDescription(), Run->StatusBar()->currentMessage());
        }
        QVERIFY(Run.Messages.List.isEmpty());
        QCOMPARE(Run->Link()->TxCount.load(), 0u);
        QCOMPARE(Cable->ReadFar(1, 100), std::string());
    }

    void receiveSendAndCount()
    {
        TRun Run(Ports);
        OpenByCombo(Run);
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Close Port"));
        QCOMPARE(Run.Action("PortItem")->text(), QStringLiteral("Close Port"));
        QVERIFY(!Run.Find<QComboBox>("CBoxPort")->isEnabled() && !Run.Find<TComComboBox>("CBoxBaudRate")->isEnabled() &&
            !Run.Find<TComComboBox>("CBoxStopBits")->isEnabled());
        QVERIFY(Run.Action("DtrButton")->isEnabled() && Run.Action("RtsButton")->isEnabled());

        // A received burst: one line, grey tag, data in the receive colour.
        QVERIFY(Cable->WriteFar(std::string("\x01\x02\xAB", 3)));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("01 02 AB")) >= 0);
        const int Line = LineWith(Run->ReceiveView(), QStringLiteral("01 02 AB"));
        const QString Text = Run->ReceiveView()->LineText(Line);
        // The time tag (Show Time on, Show RxTx off) and the data.
        QVERIFY2(QRegularExpression(QStringLiteral("^\\[\\d\\d.\\d\\d.\\d\\d( ---| [ \\d]{2}\\d)\\] 01 02 AB$"))
                     .match(Text)
                     .hasMatch(),
            qPrintable(Text));
        const int Start = Run->ReceiveView()->LineStart(Line);
        QCOMPARE(ColourAt(Run->ReceiveView(), Start), QColor(128, 128, 128));
        QCOMPARE(
            ColourAt(Run->ReceiveView(), Start + int(Text.indexOf(QStringLiteral("01 02 AB")))), QColor(0, 0, 200));

        // F5 sends the caret line; the echo is shown in the send colour.
        TRichView *Send = Run->SendForm->RichSend;
        Send->setPlainText(QStringLiteral("AA BB\n01 03 00 00 00 0A\nzz"));
        Send->SetSelection(Send->LineStart(1) + 3, 0);
        QTest::keyClick(Run.Main.get(), Qt::Key_F5);
        QCOMPARE(Cable->ReadFar(6), std::string("\x01\x03\x00\x00\x00\x0A", 6));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("01 03 00 00 00 0A")) >= 0);
        const int Echo = LineWith(Run->ReceiveView(), QStringLiteral("01 03 00 00 00 0A"));
        const int EchoData = Run->ReceiveView()->LineStart(Echo) +
            int(Run->ReceiveView()->LineText(Echo).indexOf(QStringLiteral("01 03")));
        QCOMPARE(ColourAt(Run->ReceiveView(), EchoData), QColor(200, 0, 0));

        // A malformed line is refused with a message naming it; nothing goes.
        Send->SetSelection(Send->LineStart(2), 0);
        Run.Action("SendDataItem")->trigger();
        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Send"));
        QVERIFY(Run.Messages.List[0].Text.startsWith(QStringLiteral("Line 3 ")));
        QCOMPARE(Cable->ReadFar(1, 200), std::string());

        // Counters on the status bar, and their reset by a double-click.
        QTRY_COMPARE(Run->StatusBar()->Panel(1)->text(), QStringLiteral("TX: 6"));
        QTRY_COMPARE(Run->StatusBar()->Panel(2)->text(), QStringLiteral("RX: 3"));
        QTest::mouseDClick(Run->StatusBar(), Qt::LeftButton, {}, QPoint(20, 5));
        QTRY_COMPARE(Run->StatusBar()->Panel(1)->text(), QStringLiteral("TX: 0"));
        QTRY_COMPARE(Run->StatusBar()->Panel(2)->text(), QStringLiteral("RX: 0"));

        // Pause: read and dropped, not shown; then shown again.
        Run.Action("PauseButton")->trigger();
        QVERIFY(Run->Paused && Run.Action("PauseItem")->isChecked() && Run.Action("PauseButton")->isChecked());
        QVERIFY(!Run->Link()->Monitoring && !Run->DataRT()->ShowReceive);
        QVERIFY(Cable->WriteFar("\x11\x22"));
        QTest::qWait(400);
        QCOMPARE(LineWith(Run->ReceiveView(), QStringLiteral("11 22")), -1);
        Run.Action("PauseItem")->trigger();
        QVERIFY(!Run->Paused && !Run.Action("PauseButton")->isChecked() && Run->Link()->Monitoring);
        QVERIFY(Cable->WriteFar("\x33\x44"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("33 44")) >= 0);

        // DTR and RTS reach the port; closing disables them again.
        Run.Action("DtrButton")->trigger();
        QVERIFY(Run->Settings.DtrOn() && Run.Action("DtrButton")->isChecked());
        QCOMPARE(Run->Link()->Port.FlowControl().ControlDTR(), dtrEnable);
        QTRY_VERIFY(Run->StatusBar()->SignalLabel(TStatusBarMY::sigDTR)->isEnabled());
        Run.Action("PortItem")->trigger();
        QVERIFY(!Run->Link()->Port.Connected());
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Open Port"));
        QVERIFY(!Run.Action("DtrButton")->isEnabled() && !Run.Action("RtsButton")->isEnabled());
        QVERIFY(Run.Find<QComboBox>("CBoxPort")->isEnabled() && Run.Find<TComComboBox>("CBoxBaudRate")->isEnabled());
        QTRY_VERIFY(Run->ComThread()->Parked());
        QTRY_VERIFY(!Run->StatusBar()->SignalLabel(TStatusBarMY::sigDTR)->isEnabled());
        QCOMPARE(Run.Messages.List.size(), 1);
    }

    void openFailureIsReported()
    {
        TRun Run(Ports);
        Run.Find<QComboBox>("CBoxPort")->setEditText(Home->filePath(QStringLiteral("no-such-device")));
        Run.Action("PortButton")->trigger();
        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Open Port"));
        // The fixed first line, then the cause and the cure.
        QVERIFY2(Run.Messages.List[0].Text.startsWith(
                     QStringLiteral("Open port failure,it may be opened by other procedures.\n")) &&
                Run.Messages.List[0].Text.contains(QStringLiteral("no such device")),
            qPrintable(Run.Messages.List[0].Text));
        QVERIFY(!Run->Link()->Port.Connected());
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Open Port"));
        QVERIFY(Run.Find<QComboBox>("CBoxPort")->isEnabled() && !Run.Action("DtrButton")->isEnabled());
        QVERIFY(Run->ComThread()->Parked());
    }

    void optionsAndTwins()
    {
        TRun Run(Ports);
        OpenByCombo(Run);
        using R = TSettingsRecord;
        TDataRT *Rt = Run->DataRT();
        TQuillScomm *Link = Run->Link();
        struct TOption {
            const char *Name;
            bool (R::*Get)() const;
            QList<QAction *> Controls;   // each flips the flag; all mirror it
            std::function<bool()> Core;  // the flag as the core sees it
        } Options[] = {
            {"Show Time", &R::ShowTime, {Run.Action("ShowTimeItem"), Run.Action("ShowTimeItem2")},
                [Rt] { return Rt->ShowTime; }},
            {"Show RxTx", &R::ShowRxTx, {Run.Action("ShowRxTxItem"), Run.Action("ShowRxTxItem2")},
                [Rt] { return Rt->ShowRxTx; }},
            {"Show Sending", &R::ShowSending, {Run.Action("ShowSendingItem"), Run.Action("DisplaySendingButton")},
                [Rt] { return Rt->ShowSending; }},
            {"Word Wrap", &R::WordWrap, {Run.Action("WordWrapItem"), Run.Action("WordWrapButton")},
                [&Run] { return Run->ReceiveView()->WordWrap(); }},
            {"ASCII Receive", &R::AsciiReceive, {Run.Action("AsciiReceiveItem"), Run.Action("AsciiReceiveButton")},
                [Link] { return !Link->HexReceive; }},
            {"ASCII Send", &R::AsciiSend, {Run.Action("AsciiSendItem"), Run->SendForm->ToolButton8},
                [Link] { return !Link->HexSend; }},
            {"DTR", &R::DtrOn, {Run.Action("DtrButton")},
                [Link] { return Link->Port.FlowControl().ControlDTR() == dtrEnable; }},
            {"RTS", &R::RtsOn, {Run.Action("RtsButton")},
                [Link] { return Link->Port.FlowControl().ControlRTS() == rtsEnable; }},
        };
        for (const TOption &O : Options) {
            for (QAction *Control : O.Controls) {
                const bool Before = (Run->Settings.*O.Get)();
                Control->trigger();
                const bool After = (Run->Settings.*O.Get)();
                QVERIFY2(After == !Before, O.Name);
                for (QAction *Twin : O.Controls)
                    QVERIFY2(Twin->isChecked() == After,
                        qPrintable(QLatin1String(O.Name) + QLatin1Char('/') + Twin->text()));
                QVERIFY2(O.Core() == After, O.Name);
            }
        }
        // The text arrives as characters once ASCII Receive is on.
        Run->Settings.SetAsciiReceive(false);
        Run.Action("AsciiReceiveButton")->trigger();
        QVERIFY(Cable->WriteFar("hello"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("hello")) >= 0);

        // A check button whose command only opens a dialog (or is refused)
        // ends in its flag's state, not toggled.
        for (QAction *A : {Run->SendForm->ToolButton2, Run->SendForm->ToolButton3, Run.Action("CycleItem"),
                 Run.Action("TriggerItem")}) {
            A->setEnabled(true);
            A->trigger();
            QVERIFY2(!A->isChecked(), qPrintable(A->toolTip()));
        }
        // The trigger flags reach the runtime.
        Run->Settings.SetReceiveTriggerOn(true);
        Run->ApplyOptions();
        QVERIFY(Rt->TriggerOn && Run->SendForm->ToolButton3->isChecked() && Run.Action("TriggerItem")->isChecked());
        Run->Settings.SetReceiveTriggerOn(false);
        Run->ApplyOptions();
        QVERIFY(!Rt->TriggerOn);
        QVERIFY(Run.Messages.List.isEmpty());
    }

    void vanishedDevice()
    {
        TRun Run(Ports);
        OpenByCombo(Run);
        // With nothing changing the status tick sleeps; a received line wakes
        // it, and so does the reader's news of the vanished device below.
        QTRY_VERIFY_WITH_TIMEOUT(Run->StatusTick()->Sleeping(), 5000);
        QVERIFY(Cable->WriteFar("\x55"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("55")) >= 0);
        QTRY_COMPARE(Run->StatusBar()->Panel(2)->text(), QStringLiteral("RX: 1"));
        QTRY_VERIFY_WITH_TIMEOUT(Run->StatusTick()->Sleeping(), 5000);
        Cable->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!Run->Link()->Port.Connected(), 5000);
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Open Port"));
        QVERIFY(Run.Find<QComboBox>("CBoxPort")->isEnabled() && Run.Find<TComComboBox>("CBoxBaudRate")->isEnabled());
        QVERIFY(!Run.Action("DtrButton")->isEnabled() && !Run.Action("RtsButton")->isEnabled());
        QTRY_VERIFY(Run->ComThread()->Parked());
        // Told after the tick that closed the port.
        QTRY_COMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Port"));
        QVERIFY(Run.Messages.List[0].Text.contains(QString::fromStdString(Cable->Near())));
        // Told once; the window stays usable and the port can be tried again.
        QTest::qWait(200);
        QCOMPARE(Run.Messages.List.size(), 1);
        Run.Action("PortButton")->trigger();
        QCOMPARE(Run.Messages.List.size(), 2);
        QCOMPARE(Run.Messages.List[1].Caption, QStringLiteral("Open Port"));
    }

    void goneBoxLeavesTheStatusBarLive()
    {
        TRun Run(Ports);
        OpenByCombo(Run);
        Run.Action("DtrButton")->trigger();
        Run.Action("RtsButton")->trigger();
        TStatusBarMY *Bar = Run->StatusBar();
        QTRY_VERIFY(Bar->SignalLabel(TStatusBarMY::sigDTR)->isEnabled());
        QTRY_VERIFY(Bar->SignalLabel(TStatusBarMY::sigRTS)->isEnabled());
        // While the box is open (its own event loop), the labels already
        // show the closed port and the tick goes on.
        bool DtrShown = true, RtsShown = true;
        QString CounterShown;
        Run.Messages.Shown = [&] {
            QTest::mouseDClick(Bar, Qt::LeftButton, {}, QPoint(20, 5));
            QTest::qWait(400);
            DtrShown = Bar->SignalLabel(TStatusBarMY::sigDTR)->isEnabled();
            RtsShown = Bar->SignalLabel(TStatusBarMY::sigRTS)->isEnabled();
            CounterShown = Bar->Panel(2)->text();
        };
        QVERIFY(Cable->WriteFar("\x55"));
        QTRY_COMPARE(Bar->Panel(2)->text(), QStringLiteral("RX: 1"));
        Cable->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(Run.Messages.List.size() == 1, 5000);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Port"));
        QVERIFY(!DtrShown && !RtsShown);
        QCOMPARE(CounterShown, QStringLiteral("RX: 0"));
    }

    void commandsWithoutInputWakeTheTick()
    {
        // A screen reader may invoke a command without any input event; the
        // sleeping tick must still show what it did.
        TRun Run(Ports);
        OpenByCombo(Run);
        TStatusBarMY *Bar = Run->StatusBar();
        for (QAction *A : {Run.Action("DtrButton"), Run.Action("RtsButton"), Run.Action("DtrButton")}) {
            QTRY_VERIFY_WITH_TIMEOUT(Run->StatusTick()->Sleeping(), 5000);
            {
                TNoEvents Quiet;
                A->trigger();
            }
            const auto Signal = A == Run.Action("DtrButton") ? TStatusBarMY::sigDTR : TStatusBarMY::sigRTS;
            const bool On = A == Run.Action("DtrButton") ? Run->Settings.DtrOn() : Run->Settings.RtsOn();
            QTRY_COMPARE(Bar->SignalLabel(Signal)->isEnabled(), On);
        }
        // Closing through the menu item greys every label.
        QTRY_VERIFY_WITH_TIMEOUT(Run->StatusTick()->Sleeping(), 5000);
        {
            TNoEvents Quiet;
            Run.Action("PortItem")->trigger();
        }
        QTRY_VERIFY(!Bar->SignalLabel(TStatusBarMY::sigRTS)->isEnabled());
        QTRY_VERIFY(!Bar->SignalLabel(TStatusBarMY::sigDTR)->isEnabled());
    }

    void typedPortComesBack()
    {
        // A path typed into the combo (here the cable's pseudo-terminal, which
        // discovery does not list) is the one selected at the next start.
        const QStringList Listed = {QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")};
        const QString Typed = QString::fromStdString(Cable->Near());
        {
            TRun Run(Listed);
            Run.Find<QComboBox>("CBoxPort")->setEditText(Typed);
            Run.Action("PortButton")->trigger();
            QVERIFY(Run->Link()->Port.Connected());
            Run.Main->close();
        }
        {
            TRun Run(Listed);
            QCOMPARE(Run.Find<QComboBox>("CBoxPort")->currentText(), Typed);
            QCOMPARE(Run.Find<QComboBox>("CBoxPort")->count(), 3);
            Run.Action("PortButton")->trigger();
            QVERIFY(Run->Link()->Port.Connected());
            // A listed port chosen by the user is found again by its name,
            // even when discovery lists it elsewhere.
            Run.Action("PortButton")->trigger();
            Run.Find<QComboBox>("CBoxPort")
                ->setCurrentIndex(Run.Find<QComboBox>("CBoxPort")->findText(QStringLiteral("ttyUSB1")));
            Run.Main->close();
        }
        TRun Run({QStringLiteral("ttyS0"), QStringLiteral("ttyUSB1")});
        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->currentText(), QStringLiteral("ttyUSB1"));
        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->count(), 2);
        QVERIFY(Run.Messages.List.isEmpty());
    }

    // Rates of today's adapters are listed after the design's; any other is
    // typed in, reaches the device, and comes back at the next start.
    void baudRatesBeyondTheListReachTheDevice()
    {
        auto DeviceRate = [](TRun &Run) {
            uint32_t Rate = 0;
            return GetCustomBaudRate(Run->Link()->Port.Device().Handle(), Rate) == 0 ? Rate : 0u;
        };
        {
            TRun Run(Ports);
            auto *Baud = Run.Find<TComComboBox>("CBoxBaudRate");
            QCOMPARE(Baud->count(), 26);
            QCOMPARE(Baud->itemText(15), QStringLiteral("256000"));
            QCOMPARE(Baud->itemText(16), QStringLiteral("230400"));
            QCOMPARE(Baud->itemText(25), QStringLiteral("4000000"));
            Baud->setCurrentIndex(Baud->findText(QStringLiteral("921600")));
            OpenByCombo(Run);
            QCOMPARE(DeviceRate(Run), 921600u);
            Run.Action("PortButton")->trigger();

            // Typed in as a user would.
            Baud->lineEdit()->selectAll();
            QTest::keyClicks(Baud->lineEdit(), QStringLiteral("250000"));
            OpenByCombo(Run);
            QCOMPARE(Run->Link()->Port.BaudRate(), brCustom);
            QCOMPARE(DeviceRate(Run), 250000u);
            Run.Action("PortButton")->trigger();

            // Not a rate: refused before the port is touched.
            for (const QString &Text : {QStringLiteral("fast"), QStringLiteral("0"), QStringLiteral("-9600")}) {
                Run.Messages.List.clear();
                Baud->SetText(Text);
                Run.Action("PortButton")->trigger();
                QVERIFY(!Run->Link()->Port.Connected());
                QCOMPARE(Run.Messages.List.size(), 1);
                QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Open Port"));
                QCOMPARE(Run.Messages.List[0].Text, QStringLiteral("'%1' is not a valid baud rate").arg(Text));
            }
            // Set as a command-line option sets it.
            Baud->SetText(QStringLiteral("31250"));
            QCOMPARE(Baud->Text(), QStringLiteral("31250"));
            Run.Main->close();
        }
        // The listed entry before it is the stored index; config.ini keeps
        // the typed rate, which wins.
        QFile Data(DataFilePath());
        QVERIFY(Data.open(QIODevice::ReadOnly));
        QCOMPARE(int(uchar(Data.readAll().at(201))), 20);
        QCOMPARE(QSettings(LayoutFilePath(), QSettings::IniFormat).value(QStringLiteral("Port/BaudRate")).toString(),
            QStringLiteral("31250"));
        {
            TRun Run(Ports);
            QCOMPARE(Run.Find<TComComboBox>("CBoxBaudRate")->Text(), QStringLiteral("31250"));
            OpenByCombo(Run);
            QCOMPARE(DeviceRate(Run), 31250u);
            Run.Action("PortButton")->trigger();
            // Back to a listed rate: nothing typed is kept.
            Run.Find<TComComboBox>("CBoxBaudRate")->SetText(QStringLiteral("460800"));
            Run.Main->close();
        }
        QVERIFY(!QSettings(LayoutFilePath(), QSettings::IniFormat).contains(QStringLiteral("Port/BaudRate")));
        TRun Run(Ports);
        QCOMPARE(Run.Find<TComComboBox>("CBoxBaudRate")->Text(), QStringLiteral("460800"));
        QCOMPARE(Run->Settings.BaudIndex(), 17);
    }

    // A damaged "data" of all 0xFF: every colour is white, text on white.
    void coloursThatHideTextStartAsDefaultsToldOnce()
    {
        QVERIFY(QDir().mkpath(QFileInfo(DataFilePath()).path()));
        {
            QFile Data(DataFilePath());
            QVERIFY(Data.open(QIODevice::WriteOnly));
            QVERIFY(Data.write(QByteArray(1296, char(0xFF))) == 1296);
        }
        {
            TRun Run(Ports);
            QCOMPARE(Run->Settings.ReceiveViewBackground(), 0xE6E6E6u);
            QCOMPARE(Run->Settings.ReceiveMessageColour(), 0xC80000u);
            QCOMPARE(Run->Settings.SendMessageColour(), 0x0000C8u);
            QCOMPARE(Run.Find<TColourButton>("ColorButton")->Colour(), QColor(0, 0x80, 0));
            QCOMPARE(Run->Settings.CycleInterval(), 0xFFFFFFFFu);  // the rest as stored
            QVERIFY2(Run->statusBar()->currentMessage().contains(QStringLiteral("default colors")),
                qPrintable(Run->statusBar()->currentMessage()));
            QVERIFY(Run.Messages.List.isEmpty());
            Run.Main->close();
        }
        TRun Run(Ports);
        QCOMPARE(Run->Settings.ReceiveViewBackground(), 0xE6E6E6u);
        QVERIFY(Run->statusBar()->currentMessage().isEmpty());
    }

    void exitSavesAndRestartRestores()
    {
        {
            TRun Run(Ports);
            QVERIFY(!Exists(DataFilePath()));
            Run->SendForm->RichSend->setPlainText(QStringLiteral("01 02 03\nsecond line"));
            Run.Action("ShowTimeItem")->trigger();   // off
            Run.Action("AsciiSendItem")->trigger();  // on
            Run.Find<QComboBox>("CBoxPort")->setCurrentIndex(1);
            Run.Find<TComComboBox>("CBoxBaudRate")->SetText(QStringLiteral("115200"));
            Run.Find<TComComboBox>("CBoxParityBits")->SetText(QStringLiteral("Even"));
            Run.Find<TColourButton>("ColorButton")->SetColour(QColor(0x12, 0x34, 0x56));
            // Stored on, yet off after every start; their other fields stay.
            Run->Settings.SetCycleSendOn(true);
            Run->Settings.SetCycleInterval(750);
            Run->Settings.SetTimingTriggerOn(true);
            Run->Settings.SetReceiveTriggerOn(true);
            Run->Settings.SetFilterOn(true);
            Run->removeDockWidget(Run->SendForm);
            Run->addDockWidget(Qt::RightDockWidgetArea, Run->SendForm);
            Run->SendForm->show();
            Run.Main->close();
            QVERIFY(!Run->isVisible());
        }
        QFile Data(DataFilePath());
        QVERIFY(Data.open(QIODevice::ReadOnly));
        QCOMPARE(Data.size(), qint64(1296));
        QVERIFY(Exists(SendFilePath()) && Exists(LayoutFilePath()));

        TRun Run(Ports);
        QCOMPARE(Run->SendForm->RichSend->toPlainText(), QStringLiteral("01 02 03\nsecond line"));
        QVERIFY(!Run->Settings.ShowTime() && !Run.Action("ShowTimeItem")->isChecked());
        QVERIFY(Run->Settings.AsciiSend() && Run->SendForm->ToolButton8->isChecked() && !Run->Link()->HexSend);
        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->currentIndex(), 1);
        QCOMPARE(Run.Find<TComComboBox>("CBoxBaudRate")->Text(), QStringLiteral("115200"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxParityBits")->Text(), QStringLiteral("Even"));
        QCOMPARE(Run.Find<TColourButton>("ColorButton")->Colour(), QColor(0x12, 0x34, 0x56));
        QVERIFY(!Run->Settings.CycleSendOn() && !Run->Settings.TimingTriggerOn());
        QVERIFY(!Run->Settings.ReceiveTriggerOn() && !Run->Settings.FilterOn());
        QCOMPARE(Run->Settings.CycleInterval(), 750u);
        QVERIFY(!Run->DataRT()->CycleTimer->isActive() && !Run->DataRT()->TriggerOn);
        QCOMPARE(Run->dockWidgetArea(Run->SendForm), Qt::RightDockWidgetArea);
        QVERIFY(Run.Messages.List.isEmpty());
    }

    void minimisedCloseStillSaves()
    {
        {
            TRun Run(Ports);
            Run->SendForm->RichSend->setPlainText(QStringLiteral("typed while minimised"));
            Run.Action("WordWrapItem")->trigger();
            Run.Main->showMinimized();
            QTRY_VERIFY(Run->isMinimized());
            Run.Main->close();
        }
        QVERIFY(Exists(DataFilePath()) && Exists(SendFilePath()));
        TRun Run(Ports);
        QVERIFY(Run->Settings.WordWrap());
        QCOMPARE(Run->SendForm->RichSend->toPlainText(), QStringLiteral("typed while minimised"));
        QVERIFY(!Run->isMinimized());
    }

    void failedSavesAreShownAndTheProgramEnds()
    {
        TRun Run(Ports);
        // Directories where the files must go: neither can be written.
        QFile::remove(LayoutFilePath());
        QVERIFY(QDir().mkpath(DataFilePath()) && QDir().mkpath(SendFilePath()) && QDir().mkpath(LayoutFilePath()));
        Run.Main->close();
        QVERIFY(!Run->isVisible());
        QCOMPARE(Run.Messages.List.size(), 3);
        for (const auto &M : Run.Messages.List)
            QCOMPARE(M.Caption, QStringLiteral("Save"));
        QVERIFY(Run.Messages.List[0].Text.contains(QStringLiteral("layout")));
        QVERIFY(Run.Messages.List[1].Text.contains(QStringLiteral("settings")));
        QVERIFY(Run.Messages.List[2].Text.contains(QStringLiteral("send")));
    }

    void unreadableDataStartsWithNewValues()
    {
        // A "data" that cannot be read (here a folder) leaves neither black
        // views nor an empty port list.
        QVERIFY(QDir().mkpath(DataFilePath()));
        TRun Run(Ports);
        QVERIFY(Run->Settings.ShowTime() && Run.Action("ShowTimeItem")->isChecked());
        QCOMPARE(Run->Settings.ReceiveMessageColour(), 0xC80000u);
        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->count(), 2);
        QCOMPARE(Run.Find<TComComboBox>("CBoxBaudRate")->Text(), QStringLiteral("9600"));
        QVERIFY(Run.Messages.List.isEmpty());
    }

    void exitsPromptlyWhileReceiving()
    {
        auto Run = std::make_unique<TRun>(Ports);
        OpenByCombo(*Run);
        QVERIFY(Cable->WriteFar(std::string(4000, '\x5A')));
        QTest::qWait(50);
        QElapsedTimer Took;
        Took.start();
        (*Run).Main->close();
        Run.reset();
        // The reader thread stops at its next read time-out; generous bound.
        QVERIFY2(Took.elapsed() < 3000, qPrintable(QString::number(Took.elapsed())));
    }

    void placementTable()
    {
        TRun Run(Ports);
        // The window's least size leaves room for the designed "Center" and
        // for halves of a 1280-pixel screen.
        const QSize Least = Run->minimumSizeHint().expandedTo(Run->minimumSize());
        QVERIFY2(Least.width() <= 600, qPrintable(QString::number(Least.width())));
        using P = TPlacement;
        const QSize Small(500, 300);
        const QMargins Framed(4, 30, 4, 4);
        const struct {
            const char *Case;
            P Command;
            QRect Area;
            QSize Minimum;
            QMargins Frame;
            QRect Expected;
        } Cases[] = {
            {"Top 1920", P::Top, QRect(0, 0, 1920, 1080), Small, {}, QRect(0, 0, 1920, 540)},
            {"Bottom 1920", P::Bottom, QRect(0, 0, 1920, 1080), Small, {}, QRect(0, 540, 1920, 540)},
            {"Right 1920", P::Right, QRect(0, 0, 1920, 1080), Small, {}, QRect(960, 0, 960, 1080)},
            {"Center", P::Center, QRect(0, 0, 1280, 800), Least, {}, QRect(250, 100, 600, 400)},
            {"Left 1280", P::Left, QRect(0, 0, 1280, 800), Least, {}, QRect(0, 0, 640, 800)},
            {"Right 1280", P::Right, QRect(0, 0, 1280, 800), Least, {}, QRect(640, 0, 640, 800)},
            {"odd height rounds down", P::Bottom, QRect(0, 0, 1280, 801), Small, {}, QRect(0, 400, 1280, 400)},
            {"below a top panel", P::Bottom, QRect(0, 32, 1280, 768), Small, {}, QRect(0, 416, 1280, 384)},
            {"second screen", P::Center, QRect(1920, 0, 1280, 1024), Small, {}, QRect(2170, 100, 600, 400)},
            // Half a screen narrower than the window can be: the least
            // width, still on the screen.
            {"Right 1024", P::Right, QRect(0, 0, 1024, 768), QSize(560, 300), {}, QRect(464, 0, 560, 768)},
            {"Left 1024", P::Left, QRect(0, 0, 1024, 768), QSize(560, 300), {}, QRect(0, 0, 560, 768)},
            // The frame stays on the work area too.
            {"Right framed", P::Right, QRect(0, 0, 1280, 800), Small, Framed, QRect(636, 30, 640, 766)},
            {"Top framed", P::Top, QRect(0, 0, 1280, 800), Small, Framed, QRect(4, 30, 1272, 400)},
            // An area smaller than the window: its top left corner shows.
            {"tiny area", P::Center, QRect(0, 0, 480, 280), Small, {}, QRect(0, 0, 500, 300)},
        };
        for (const auto &C : Cases)
            QVERIFY2(PlacementRect(C.Command, C.Area, C.Minimum, C.Frame) == C.Expected, C.Case);
    }

    void stuckSendLeavesTheWindowAlive()
    {
        // A device that takes nothing: a 65,536-byte line stays stuck in its
        // write for as long as the link's time-outs allow (1.8 hours).
        TUndrainedPty Pty;
        QVERIFY(Pty.Ready());
        const QString Path = QString::fromStdString(Pty.Path());
        auto Run = std::make_unique<TRun>(Ports + QStringList {Path});
        TMainForm *Main = Run->Main.get();
        QComboBox *PortBox = Run->Find<QComboBox>("CBoxPort");
        PortBox->setCurrentIndex(PortBox->findText(Path));
        Run->Action("PortButton")->trigger();
        QVERIFY(Main->Link()->Port.Connected());
        QString Line;
        for (int I = 0; I < 65536; ++I)
            Line += QStringLiteral("55 ");
        TRichView *Send = Main->SendForm->RichSend;
        Send->setPlainText(Line + QStringLiteral("\n01 02"));
        Send->SetSelection(0, 0);
        QLabel *Tx = Main->StatusBar()->Panel(1);

        int Ticks = 0;
        QTimer Probe;
        connect(&Probe, &QTimer::timeout, [&Ticks] { ++Ticks; });
        Probe.start(10);
        QTest::keyClick(Main, Qt::Key_F5);
        QVERIFY(Pty.WaitWritten());

        // The window goes on: timers fire and a received line is shown while
        // the write is stuck (not yet counted, not yet echoed).
        QVERIFY(Pty.Write("\x42\x43"));
        QTRY_VERIFY(LineWith(Main->ReceiveView(), QStringLiteral("42 43")) >= 0);
        QVERIFY(Ticks > 0);
        QCOMPARE(Tx->text(), QStringLiteral("TX: 0"));
        QCOMPARE(LineWith(Main->ReceiveView(), QStringLiteral("55 55")), -1);
        // A second F5 waits its turn behind it.
        Send->SetSelection(Send->LineStart(1), 0);
        QTest::keyClick(Main, Qt::Key_F5);

        // "Close Port" ends the write at once and drops the one waiting:
        // nothing is counted, echoed or told.
        Run->Action("PortItem")->trigger();
        QVERIFY(!Main->Link()->Port.Connected());
        QCOMPARE(Run->Action("PortButton")->text(), QStringLiteral("Open Port"));
        QTest::qWait(200);
        QCOMPARE(Main->Link()->TxCount.load(), 0u);
        QCOMPARE(LineWith(Main->ReceiveView(), QStringLiteral("55 55")), -1);
        QCOMPARE(LineWith(Main->ReceiveView(), QStringLiteral("01 02")), -1);
        QVERIFY(Run->Messages.List.isEmpty());

        // Paused, a write that ends while the status tick sleeps still shows
        // on the counter (no T line is queued to wake it).
        Pty.Read(1 << 20, 200);  // what the ended write had put out
        Run->Action("PortButton")->trigger();
        QVERIFY(Main->Link()->Port.Connected());
        Run->Action("PauseButton")->trigger();
        Send->SetSelection(0, 0);
        QTest::keyClick(Main, Qt::Key_F5);
        QVERIFY(Pty.WaitWritten());
        QTRY_VERIFY_WITH_TIMEOUT(Main->StatusTick()->Sleeping(), 5000);
        QCOMPARE(Tx->text(), QStringLiteral("TX: 0"));
        QCOMPARE(Pty.Read(65536, 2000).size(), std::size_t(65536));
        QTRY_COMPARE(Tx->text(), QStringLiteral("TX: 65536"));
        Run->Action("PauseButton")->trigger();
        Run->Action("PortItem")->trigger();

        // Quitting with a write stuck ends it too.
        Run->Action("PortButton")->trigger();
        QVERIFY(Main->Link()->Port.Connected());
        Send->SetSelection(0, 0);
        QTest::keyClick(Main, Qt::Key_F5);
        QTest::qWait(50);
        Main->close();
        Run.reset();
    }

    void windowCommands()
    {
        TRun Run(Ports);
        const QRect Area = Run->screen()->availableGeometry();
        const QStringList Captions = {QStringLiteral("Center"), QStringLiteral("Top"), QStringLiteral("Bottom"),
            QStringLiteral("Left"), QStringLiteral("Right")};
        for (int I = 0; I < Captions.size(); ++I) {
            Run.Main->showMaximized();
            Item(Run.Main.get(), QStringLiteral("Window"), Captions[I])->trigger();
            QVERIFY(!Run->isMaximized());
            const QRect Outer = Run->frameGeometry(), Inner = Run->geometry();
            const QMargins Frame(Inner.left() - Outer.left(), Inner.top() - Outer.top(), Outer.right() - Inner.right(),
                Outer.bottom() - Inner.bottom());
            const QRect Expected = PlacementRect(
                static_cast<TPlacement>(I), Area, Run->minimumSizeHint().expandedTo(Run->minimumSize()), Frame);
            QTRY_COMPARE(Run->geometry(), Expected);
            QVERIFY2(Area.contains(Run->frameGeometry()), qPrintable(Captions[I]));
        }
        // The designed "Center" size, on this small screen too.
        Item(Run.Main.get(), QStringLiteral("Window"), QStringLiteral("Center"))->trigger();
        QTRY_COMPARE(Run->geometry().size(), QSize(600, 400));
        Run.Action("AlwaysOnTopItem")->trigger();
        QVERIFY(Run->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(Run->isVisible());
        Run.Action("AlwaysOnTopItem")->trigger();
        QVERIFY(!(Run->windowFlags() & Qt::WindowStaysOnTopHint));

        // Help pages go to the desktop's browser; nothing else happens.
        TUrlCatcher Catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &Catcher, "Open");
        for (const char *Caption : {"Help Online", "Check For Updates", "Online Support", "Feedback"})
            Item(Run.Main.get(), QStringLiteral("Help "), QLatin1String(Caption))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(Catcher.Urls.size(), 4);
        QCOMPARE(Catcher.Urls[0], Catcher.Urls[2]);
        QVERIFY(Catcher.Urls[1] != Catcher.Urls[0]);
        QCOMPARE(QUrlQuery(Catcher.Urls[3]).queryItemValue(QStringLiteral("App")), QStringLiteral("Tallyscope"));
        QVERIFY(Run.Messages.List.isEmpty());

        // With no browser to start (the offscreen platform has none), F1
        // gives the address, in a message and on the status bar.
        QTest::keyClick(Run.Main.get(), Qt::Key_F1);
        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Help"));
        QVERIFY(Run.Messages.List[0].Text.contains(TMainForm::GuideUrl));
        QCOMPARE(Run->StatusBar()->currentMessage(), TMainForm::GuideUrl);
        // The message box lets the address be selected and copied.
        Run->SetMessages(nullptr);
        Qt::TextInteractionFlags Flags;
        QString Shown;
        QTimer::singleShot(0, [&] {
            auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!Box)
                return;
            Shown = Box->text();
            Flags = Box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))->textInteractionFlags();
            Box->accept();
        });
        Item(Run.Main.get(), QStringLiteral("Help "), QStringLiteral("Online Support"))->trigger();
        QVERIFY(Shown.contains(TMainForm::GuideUrl));
        QVERIFY(Flags & Qt::TextSelectableByMouse);
    }

    void editCommandsAndTextColour()
    {
        TRun Run(Ports);
        Run->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        TRichView *Send = Run->SendForm->RichSend;
        Send->setPlainText(QStringLiteral("AA BB CC"));
        Send->setFocus();
        QTRY_COMPARE(Run->DataRT()->ActiveView, Send);
        Item(Run.Main.get(), QStringLiteral("Edit"), QStringLiteral("Select All"))->trigger();
        QTRY_COMPARE(Send->SelText(), QStringLiteral("AA BB CC"));
        // The colour button colours the selection of the active view.
        Run.Find<TColourButton>("ColorButton")->SetColour(QColor(255, 0, 0));
        Run.Find<TColourButton>("ColorButton")->click();
        QCOMPARE(ColourAt(Send, 3), QColor(255, 0, 0));
        Send->setFocus();
        Item(Run.Main.get(), QStringLiteral("Edit"), QStringLiteral("Cut      Ctrl+X"))->trigger();
        QTRY_COMPARE(Send->toPlainText(), QString());
        Item(Run.Main.get(), QStringLiteral("Edit"), QStringLiteral("Paste    Ctrl+V"))->trigger();
        QTRY_COMPARE(Send->toPlainText(), QStringLiteral("AA BB CC"));
    }

    // The user's send list: what is deleted can be brought back with Edit >
    // Undo or Ctrl+Z, redone, and what is brought back is saved at exit. The
    // list loaded at start is not an undo step.
    void sendListUndo()
    {
        {
            TRun Run(Ports);
            Run->SendForm->RichSend->setPlainText(QStringLiteral("01 02 03\nsecond line"));
        }
        {
            TRun Run(Ports);
            Run->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
            TRichView *Send = Run->SendForm->RichSend;
            const QString List = QStringLiteral("01 02 03\nsecond line");
            QCOMPARE(Send->toPlainText(), List);
            Send->setFocus();
            QTRY_COMPARE(Run->DataRT()->ActiveView, Send);
            QTest::keyClick(Send, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(Send->toPlainText(), List);

            Item(Run.Main.get(), QStringLiteral("Edit"), QStringLiteral("Select All"))->trigger();
            QTRY_COMPARE(Send->SelLength(), List.size());
            QTest::keyClick(Send, Qt::Key_Delete);
            QCOMPARE(Send->toPlainText(), QString());
            Item(Run.Main.get(), QStringLiteral("Edit"), QStringLiteral("Undo     Ctrl+Z"))->trigger();
            QTRY_COMPARE(Send->toPlainText(), List);
            QTest::keySequence(Send, QKeySequence::Redo);
            QCOMPARE(Send->toPlainText(), QString());
            QTest::keyClick(Send, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(Send->toPlainText(), List);
            // The receive view keeps no history of what it shows.
            QVERIFY(!Run->ReceiveView()->document()->isUndoRedoEnabled());
        }
        TRun Run(Ports);
        QCOMPARE(Run->SendForm->RichSend->toPlainText(), QStringLiteral("01 02 03\nsecond line"));
    }

    void clickChoosesTheActiveView()
    {
        TRun Run(Ports);
        TRichView *Send = Run->SendForm->RichSend;
        Send->setPlainText(QStringLiteral("01 02 03\n04 05"));
        Run->ReceiveView()->setPlainText(QStringLiteral("[10:00:00 ---] 41 42"));
        QTest::mouseClick(Send->viewport(), Qt::LeftButton, {},
            Send->cursorRect(QTextCursor(Send->document()->findBlockByNumber(1))).center());
        QCOMPARE(Run->DataRT()->ActiveView, Send);
        // The caret report goes to the send window's caption.
        QTRY_VERIFY2(Run->SendForm->windowTitle().startsWith(QStringLiteral("Send [Hex: Ln:2 ")),
            qPrintable(Run->SendForm->windowTitle()));
        QTest::mouseClick(Run->ReceiveView()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(Run->DataRT()->ActiveView, Run->ReceiveView());
        QTRY_VERIFY(Run->StatusBar()->Panel(3)->text().contains(QStringLiteral("Ln:1 ")));
    }

    void clickIntoInactiveWindowLandsWhereAimed()
    {
        TRun Run(Ports);
        QWidget Other;
        Other.setGeometry(700, 500, 80, 60);
        Other.show();
        Other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Other));
        QVERIFY(!Run->isActiveWindow());
        // As X delivers a click into an inactive window: the press first,
        // then the window manager's activation.
        // Through the native window, as the window system delivers it.
        QLineEdit *Edit = Run.Find<QComboBox>("CBoxPort")->lineEdit();
        QWindow *Native = Run->windowHandle();
        const QPoint OnEdit = Edit->mapTo(Run.Main.get(), QPoint(4, Edit->height() / 2));
        QTest::mousePress(Native, Qt::LeftButton, {}, OnEdit);
        Run->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        QTest::mouseRelease(Native, Qt::LeftButton, {}, OnEdit);
        // Typing goes where the focus is, as the window system sends it.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("/dev/pts/9"));
        QVERIFY2(Run.Find<QComboBox>("CBoxPort")->currentText().contains(QStringLiteral("/dev/pts/9")),
            qPrintable(Run.Find<QComboBox>("CBoxPort")->currentText()));
        QCOMPARE(Run->ReceiveView()->TextLength(), 0);
        QCOMPARE(Run->DataRT()->ActiveView, Run->ReceiveView());

        // Coming back without a click (a window switcher) gives the focus
        // back to where it was; the reports stay on the receive view.
        QWidget *Had = QApplication::focusWidget();
        Other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Other));
        Run->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        QTRY_COMPARE(QApplication::focusWidget(), Had);
        QCOMPARE(Run->DataRT()->ActiveView, Run->ReceiveView());

        // A click into the send view of the inactive window lands there.
        Other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Other));
        TRichView *Send = Run->SendForm->RichSend;
        const QPoint OnSend = Send->viewport()->mapTo(Run.Main.get(), QPoint(5, 5));
        QTest::mousePress(Native, Qt::LeftButton, {}, OnSend);
        Run->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        QTest::mouseRelease(Native, Qt::LeftButton, {}, OnSend);
        QTRY_COMPARE(QApplication::focusWidget(), Send);
        QCOMPARE(Run->DataRT()->ActiveView, Send);
    }

    void floatedSendWindowGetsItsOwnSize()
    {
        TRun Run(Ports);
        TSendForm *Send = Run->SendForm;
        QVERIFY(Send->isVisible() && !Send->isFloating());
        const QRect Area = Run->screen()->availableGeometry();
        // Its float button, as the user would.
        auto *Float = Send->findChild<QAbstractButton *>(QStringLiteral("qt_dockwidget_floatbutton"));
        QVERIFY(Float);
        QTest::mouseClick(Float, Qt::LeftButton);
        QVERIFY(Send->isFloating());
        QTRY_COMPARE(Send->size(), QSize(455, 337));
        QCOMPARE(Send->frameGeometry().topLeft(), Area.topLeft() + QPoint(219, 38));
        // Beside the designed main window it leaves the receive tool bar
        // uncovered.
        QVERIFY(!Send->frameGeometry().intersects(
            QRect(Run.Find<QToolBar>("ReceBar")->mapToGlobal(QPoint()), Run.Find<QToolBar>("ReceBar")->size())));

        // Moved, docked and floated again: back where the user had it.
        Send->setGeometry(300, 200, 500, 350);
        Send->setFloating(false);
        QVERIFY(!Send->isFloating());
        Send->setFloating(true);
        QTRY_COMPARE(Send->geometry(), QRect(300, 200, 500, 350));
    }

    void startOptionsHoldForTheRunAndOnlyTheUsersChangesAreStored()
    {
        {
            TRun Run(Ports);
            Run.Find<TComComboBox>("CBoxBaudRate")->SetText(QStringLiteral("115200"));
            Run.Main->close();
        }
        QTemporaryDir Logs;
        TStartOptions Options;
        Options.Port = QString::fromStdString(Cable->Near());
        Options.BaudRate = QStringLiteral("250000");
        Options.Parity = QStringLiteral("Even");
        Options.DataBits = QStringLiteral("7");
        Options.StopBits = QStringLiteral("2");
        Options.Open = true;
        Options.AsciiReceive = true;
        Options.LogDir = Logs.path();
        {
            TRun Run(Ports, {}, Options);
            TComPort &Port = Run->Link()->Port;
            QTRY_VERIFY(Port.Connected());
            QCOMPARE(Port.Port(), Cable->Near());
            QCOMPARE(Port.BaudRate(), brCustom);
            QCOMPARE(Port.CustomBaudRate(), 250000);
            QCOMPARE(Port.Parity().Bits(), prEven);
            QCOMPARE(Port.DataBits(), dbSeven);
            QCOMPARE(Port.StopBits(), sbTwoStopBits);
            QCOMPARE(Run.Find<TComComboBox>("CBoxBaudRate")->Text(), QStringLiteral("250000"));
            QVERIFY(Run.Action("AsciiReceiveItem")->isChecked() && !Run->Link()->HexReceive);
            QVERIFY(Run->AutoSave()->AutoSaveOn);
            QCOMPARE(QString::fromLocal8Bit(Run->Settings.AutoSaveFolder()), Logs.path());
            // The user changes the parity; the rest stays as the options set it.
            Run.Action("PortButton")->trigger();
            Run.Find<TComComboBox>("CBoxParityBits")->SetText(QStringLiteral("Odd"));
            Run.Main->close();
            QVERIFY(Run.Messages.List.isEmpty());
        }
        TRun Run(Ports);
        QCOMPARE(Run.Find<QComboBox>("CBoxPort")->currentText(), QStringLiteral("ttyUSB0"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxBaudRate")->Text(), QStringLiteral("115200"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxParityBits")->Text(), QStringLiteral("Odd"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxDataBits")->Text(), QStringLiteral("8"));
        QCOMPARE(Run.Find<TComComboBox>("CBoxStopBits")->Text(), QStringLiteral("1"));
        QVERIFY(!Run->Settings.AsciiReceive() && !Run->AutoSave()->AutoSaveOn);
        QVERIFY(Run->Settings.AutoSaveFolder().empty());
        QVERIFY(!Run->Link()->Port.Connected());
    }

    void startOptionsPortThatDoesNotOpenIsToldOverTheWindow()
    {
        TStartOptions Options;
        Options.Port = QStringLiteral("/dev/tallyscope-no-such-port");
        Options.Open = true;
        TRun Run(Ports, {}, Options);
        QTRY_COMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List.first().Caption, QStringLiteral("Open Port"));
        QVERIFY(!Run->Link()->Port.Connected());
    }

    void commandLineFileKeepsItsColours()
    {
        QTemporaryDir Dir;
        const QString Path = Dir.filePath(QStringLiteral("log.rtf"));
        QFile F(Path);
        QVERIFY(F.open(QIODevice::WriteOnly));
        F.write("{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue200;}\\cf1 received\\par}");
        F.close();
        TRun Run(Ports, {Path});
        QCOMPARE(Run->ReceiveView()->LineText(0), QStringLiteral("received"));
        QCOMPARE(ColourAt(Run->ReceiveView(), 0), QColor(0, 0, 200));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
