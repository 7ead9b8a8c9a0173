// The traps a user meets in the first hour, through the whole program
// in-process (offscreen, a temporary XDG_DATA_HOME, a socat cable): the
// received log against stray keys, the keyboard alone, accessible actions
// against clicks, windows restored off screen, the send window's mark.
#include "ProgramRun.h"
#include "SocatPair.h"

#include "DataFolder.h"
#include "FilterUnit.h"
#include "FindUnit.h"
#include "RichView.h"
#include "SendUnit.h"
#include "StatusBarMY.h"
#include "main.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>

namespace {
// Presses a key where the keyboard is, as the window system delivers it.
void Press(int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier)
{
    QWidget *At = QApplication::focusWidget();
    QVERIFY(At);
    QTest::keyClick(At, Qt::Key(Key), Modifiers);
}

// Tabs (or Shift+Tabs) until Target has the focus; false when a round of
// the window's controls did not reach it.
bool TabTo(QWidget *Target, bool Back = false)
{
    for (int I = 0; I < 60 && QApplication::focusWidget() != Target; ++I)
        QTest::keyClick(QApplication::focusWidget(), Back ? Qt::Key_Backtab : Qt::Key_Tab,
            Back ? Qt::ShiftModifier : Qt::NoModifier);
    return QApplication::focusWidget() == Target;
}

QWidget *ButtonOf(TRun &Run, const char *Name)
{
    return Run.Find<QToolButton>(Name);
}

// What a click changes and an accessible action must change alike.
QStringList StateOf(TRun &Run)
{
    QStringList State;
    for (QAction *A : Run->findChildren<QAction *>())
        if (A->isCheckable() && !A->objectName().isEmpty())
            State << QStringLiteral("%1=%2").arg(A->objectName()).arg(A->isChecked());
    State << QStringLiteral("wrap=%1").arg(Run->ReceiveView()->WordWrap());
    const auto Image = Run->Settings.Image();
    State << QStringLiteral("record=%1")
                 .arg(QString::fromLatin1(
                     QByteArray(reinterpret_cast<const char *>(Image.data()), qsizetype(Image.size())).toHex()));
    for (QWidget *W : QApplication::topLevelWidgets())
        if (W->isVisible() && W != Run.Main.get())
            State << QStringLiteral("shown=%1").arg(W->objectName());
    State << QStringLiteral("send=%1 find=%2").arg(Run->SendForm->isVisible()).arg(Run->FindForm->isVisible());
    State.sort();
    return State;
}

// Hides the windows a command opened, so the next starts from the main window.
void HideOthers(TRun &Run)
{
    for (QWidget *W : QApplication::topLevelWidgets())
        if (W->isVisible() && W != Run.Main.get() && W != Run->SendForm && W != Run->FindForm)
            W->hide();
}
}  // namespace

class TestDailyUse : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;
    QStringList Ports;

    void Receive(TRun &Run, const std::string &Bytes, const QString &Shown)
    {
        QVERIFY(Cable->WriteFar(Bytes));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), Shown) >= 0);
    }

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
        Cable = std::make_unique<TSocatPair>();
        QVERIFY2(Cable->Start(), qPrintable(Cable->Error));
        Ports = {QStringLiteral("ttyUSB0"), QString::fromStdString(Cable->Near())};
    }
    void cleanup()
    {
        Cable.reset();
        Home.reset();
    }

    // Typing, pasting, cutting and deleting in the receive view change
    // nothing of what was received; selecting, copying and moving the caret
    // still work, and so do the program's own changes. "Edit Received Text"
    // gives the keyboard back, and is kept.
    void strayKeysLeaveTheReceivedLogAlone()
    {
        {
            TRun Run(Ports);
            QVERIFY(Run.OpenPort(QString::fromStdString(Cable->Near())));
            Receive(Run, "\x41\x42\x43", QStringLiteral("41 42 43"));
            Receive(Run, "\x44", QStringLiteral("44"));
            TRichView *View = Run->ReceiveView();
            Run->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
            QTRY_COMPARE(QApplication::focusWidget(), View);
            const QString Received = View->toPlainText();

            QApplication::clipboard()->setText(QStringLiteral("PASTED"));
            QTest::keyClicks(View, QStringLiteral("01 02 03"));
            for (int Key : {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Tab})
                QTest::keyClick(View, Qt::Key(Key));
            QTest::keyClick(View, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(View, QStringLiteral("x"));
            QTest::keyClick(View, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(View, Qt::Key_X, Qt::ControlModifier);
            QTest::keyClick(View, Qt::Key_Z, Qt::ControlModifier);
            QTest::keyClick(View, Qt::Key_Delete);
            QCOMPARE(View->toPlainText(), Received);
            // The same through the Edit menu and the views' context menu.
            for (QAction *A : Run->menuBar()->actions()[1]->menu()->actions())
                if (A->text().startsWith(QLatin1String("Cut")) || A->text().startsWith(QLatin1String("Paste")))
                    A->trigger();
            for (QAction *A : Run.Find<QMenu>("ViewPopup")->actions())
                if (A->text().startsWith(QLatin1String("Cut")) || A->text().startsWith(QLatin1String("Paste")))
                    A->trigger();
            QTest::qWait(50);
            QCOMPARE(View->toPlainText(), Received);

            // Selection, copy and the caret still work.
            QTest::keyClick(View, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(View->SelLength(), View->TextLength());
            QTest::keyClick(View, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QApplication::clipboard()->text(), View->SelText());
            QTest::keyClick(View, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(View, Qt::Key_Down);
            QCOMPARE(View->CaretLine(), 1);
            // The cursor report follows a click, as it always did.
            QTest::mouseClick(View->viewport(), Qt::LeftButton, {},
                View->cursorRect(QTextCursor(View->document()->findBlockByNumber(0))).center());
            QTRY_VERIFY(Run->StatusBar()->Panel(3)->text().contains(QStringLiteral("Ln:1 ")));
            // The program still appends.
            Receive(Run, "\x45", QStringLiteral("45"));

            // Asked for, the keyboard edits the log (to annotate it).
            QAction *Edit = Run.Action("EditReceivedItem");
            QVERIFY(!Edit->isChecked());
            Edit->trigger();
            QTest::keyClick(View, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(View, QStringLiteral("note"));
            QVERIFY(View->toPlainText().endsWith(QLatin1String("note")));
            // Clear Screen empties the view either way.
            Edit->trigger();
            Run.Action("ClearButton")->trigger();
            QCOMPARE(View->TextLength(), 0);
            Edit->trigger();
        }
        QCOMPARE(QSettings(LayoutFilePath(), QSettings::IniFormat).value(QStringLiteral("View/EditReceivedText")),
            QVariant(QStringLiteral("true")));
        TRun Run(Ports);
        QVERIFY(Run.Action("EditReceivedItem")->isChecked());
        QTest::keyClicks(Run->ReceiveView(), QStringLiteral("kept"));
        QCOMPARE(Run->ReceiveView()->toPlainText(), QStringLiteral("kept"));
    }

    // When a dialog closes, the keys go back to where they were, not to the
    // receive view.
    void focusComesBackWhereItWas()
    {
        TRun Run(Ports);
        Run->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        TRichView *Send = Run->SendForm->RichSend;
        Send->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), Send);
        Run.Action("FilterButton")->trigger();
        QVERIFY(QTest::qWaitForWindowActive(Run->FilterForm));
        Run->FilterForm->close();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        QTRY_COMPARE(QApplication::focusWidget(), Send);
        QCOMPARE(Run->DataRT()->ActiveView, Send);
    }

    // From start, with keys alone: open the port, send a line, wrap the
    // receive view, close the port; Tab leaves every view, Ctrl+Tab goes
    // from view to view, F8 takes the keys to the send view.
    void keyboardAloneRunsTheProgram()
    {
        TRun Run(Ports);
        Run->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Run.Main.get()));
        TRichView *Shown = Run->ReceiveView(), *Send = Run->SendForm->RichSend;
        QTRY_COMPARE(QApplication::focusWidget(), Shown);

        // The port combo and every line setting are in reach, then Open Port.
        QVERIFY(TabTo(Run.Find<QComboBox>("CBoxPort"), true));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(Cable->Near()));
        for (const char *Name : {"CBoxBaudRate", "CBoxParityBits", "CBoxDataBits", "CBoxStopBits"}) {
            Press(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(Name));
        }
        QVERIFY(TabTo(ButtonOf(Run, "PortButton")));
        Press(Qt::Key_Space);
        QTRY_VERIFY(Run->Link()->Port.Connected());
        QCOMPARE(QApplication::focusWidget(), ButtonOf(Run, "PortButton"));

        // Ctrl+Tab to the send view; Tab there moves on, it types no tab.
        QVERIFY(TabTo(Shown));
        Press(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), Send);
        QTest::keyClicks(Send, QStringLiteral("01 02 03"));
        Press(Qt::Key_F5);
        QCOMPARE(Cable->ReadFar(3), std::string("\x01\x02\x03"));
        Press(Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != Send);
        QCOMPARE(Send->toPlainText(), QStringLiteral("01 02 03"));
        Press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), Shown);
        Press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), Send);
        Press(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), Shown);

        // Word Wrap from its button.
        QVERIFY(TabTo(ButtonOf(Run, "WordWrapButton")));
        Press(Qt::Key_Space);
        QVERIFY(Shown->WordWrap());
        QVERIFY(Run.Action("WordWrapItem")->isChecked());

        // F8 hides the send window and shows it again with the keys in it.
        Press(Qt::Key_F8);
        QVERIFY(!Run->SendForm->isVisible());
        QCOMPARE(QApplication::focusWidget(), Shown);
        Press(Qt::Key_F8);
        QVERIFY(Run->SendForm->isVisible());
        QCOMPARE(QApplication::focusWidget(), Send);

        // Close Port, back from the send view.
        QVERIFY(TabTo(ButtonOf(Run, "PortButton"), true));
        Press(Qt::Key_Space);
        QVERIFY(!Run->Link()->Port.Connected());
        QVERIFY(Run.Messages.List.isEmpty());
    }

    // Every check-style button and every menu item that shows a window or
    // flips a mark does through its accessible action what a click does.
    // (The hidden menu items are told as unavailable, and do nothing.)
    void accessibleActionsDoWhatClicksDo()
    {
        struct TControl {
            const char *Name;
            bool Button;  // a tool button, else a menu item
        };
        const TControl Controls[] = {{"WordWrapButton", true}, {"WordWrapItem", false}, {"DisplaySendingButton", true},
            {"ShowSendingItem", false}, {"ShowTimeItem", false}, {"ShowRxTxItem", false}, {"AsciiReceiveButton", true},
            {"AsciiReceiveItem", false}, {"AsciiSendItem", false}, {"ToolButton8", true}, {"FilterButton", true},
            {"ToolButton2", true}, {"ToolButton3", true}, {"PauseButton", true}, {"PauseItem", false},
            {"DtrButton", true}, {"RtsButton", true}, {"SendWinButton", true}, {"SendWindowItem", false},
            {"FindWinButton", true}, {"FindWindowItem", false}, {"EditReceivedItem", false}, {"ReopenItem", false}};

        // One run clicks, the other acts through the accessible interfaces,
        // in process or, under a screen reader's set-up, over the AT-SPI bus
        // as an assistive technology does; both from the same start with the
        // port open.
        const QString Bus = qEnvironmentVariable("TALLYSCOPE_ATSPI_DO");
        if (!Bus.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);
        auto Steps = [&](bool Accessible) {
            QStringList States;
            TRun Run(Ports);
            if (!Run.OpenPort(QString::fromStdString(Cable->Near())))
                return QStringList {QStringLiteral("port did not open")};
            for (const TControl &C : Controls) {
                QObject *Target = nullptr;
                if (C.Button) {
                    auto *B = Run->findChild<QAbstractButton *>(QLatin1String(C.Name));
                    if (!B)
                        return QStringList {QStringLiteral("no button %1").arg(QLatin1String(C.Name))};
                    Target = B;
                    if (!Accessible)
                        B->click();
                } else {
                    QAction *A = Run.Action(C.Name);
                    if (!Accessible)
                        A->trigger();
                    Target = A;
                }
                if (Accessible && !Bus.isEmpty()) {
                    // A screen reader's request over the AT-SPI bus; the
                    // event loop runs meanwhile, to answer it.
                    const QString Name = C.Button ? AccessibleName(Target) : static_cast<QAction *>(Target)->text();
                    QProcess Hand;
                    Hand.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                    Hand.start(Bus,
                        {QString::number(QCoreApplication::applicationPid()),
                            C.Button ? QStringLiteral("button") : QStringLiteral("item"), Name,
                            QStringLiteral("Toggle"), QStringLiteral("Press")});
                    QElapsedTimer Waited;
                    Waited.start();
                    while (Hand.state() != QProcess::NotRunning && Waited.elapsed() < 60000)
                        QTest::qWait(10);
                    if (Hand.exitStatus() != QProcess::NormalExit || Hand.exitCode() != 0)
                        return QStringList {QStringLiteral("bus refused %1").arg(QLatin1String(C.Name))};
                } else if (Accessible) {
                    QAccessibleInterface *I = nullptr;
                    if (C.Button) {
                        I = QAccessible::queryAccessibleInterface(Target);
                    } else {
                        // The item as the menu bar's tree offers it.
                        QAccessibleInterface *Bar = QAccessible::queryAccessibleInterface(Run->menuBar());
                        for (int M = 0; M < Bar->childCount() && !I; ++M) {
                            QAccessibleInterface *Menu = Bar->child(M)->child(0);
                            for (int K = 0; Menu && K < Menu->childCount() && !I; ++K)
                                if (Menu->child(K)->object() == Target)
                                    I = Menu->child(K);
                        }
                    }
                    if (!I || !I->actionInterface())
                        return QStringList {QStringLiteral("not accessible %1").arg(QLatin1String(C.Name))};
                    const QStringList Names = I->actionInterface()->actionNames();
                    const QString Act = Names.contains(QAccessibleActionInterface::toggleAction())
                        ? QAccessibleActionInterface::toggleAction()
                        : QAccessibleActionInterface::pressAction();
                    if (!Names.contains(Act))
                        return QStringList {QStringLiteral("no action %1").arg(QLatin1String(C.Name))};
                    I->actionInterface()->doAction(Act);
                }
                QTest::qWait(30);
                States << QLatin1String(C.Name) + QLatin1Char(':') + StateOf(Run).join(QLatin1Char(' '));
                HideOthers(Run);
            }
            return States;
        };
        const QStringList Clicked = Steps(false);
        init();
        const QStringList Acted = Steps(true);
        QCOMPARE(Acted.size(), Clicked.size());
        for (int I = 0; I < Clicked.size(); ++I) {
            // Said as what differs: the states are long.
            const QStringList A = Acted[I].split(QLatin1Char(' ')), C = Clicked[I].split(QLatin1Char(' '));
            QStringList Differ;
            for (const QString &W : A)
                if (!C.contains(W))
                    Differ << QStringLiteral("acted ") + W;
            for (const QString &W : C)
                if (!A.contains(W))
                    Differ << QStringLiteral("clicked ") + W;
            QVERIFY2(Differ.isEmpty(),
                qPrintable(Clicked[I].section(QLatin1Char(':'), 0, 0) + QStringLiteral(": ") +
                    Differ.join(QStringLiteral(", "))));
        }
        // The dialogs' buttons showed their setting, not a toggled face.
        QVERIFY(Clicked.join(QLatin1Char('\n')).contains(QLatin1String("FilterButton=0")));
    }

    // A place or size stored on a larger screen or at a larger scale comes
    // back on this screen; so does a floating send window.
    void restoredWindowsStayOnScreen()
    {
        {
            TRun Run(Ports);
            Run->SendForm->setFloating(true);
            Run->SendForm->setGeometry(5000, 4000, 300, 200);
            Run->setGeometry(2500, 1800, 2400, 1900);
        }
        TRun Run(Ports);
        const QRect Area = Run->screen()->availableGeometry();
        QTRY_VERIFY2(Area.contains(Run->frameGeometry()),
            qPrintable(QStringLiteral("%1,%2 %3x%4").arg(Run->x()).arg(Run->y()).arg(Run->width()).arg(Run->height())));
        QVERIFY(Run->SendForm->isFloating());
        QTRY_VERIFY(Area.contains(Run->SendForm->frameGeometry()));
    }

    // The Send Window and Find Window marks say whether the windows are
    // shown, whatever showed or hid them.
    void dockMarksFollowTheWindows()
    {
        TRun Run(Ports);
        QAction *Item = Run.Action("SendWindowItem"), *Button = Run.Action("SendWinButton");
        QVERIFY(Run->SendForm->isVisible() && Item->isChecked() && Button->isChecked());
        Run->SendForm->setFloating(true);
        QVERIFY(Item->isChecked());
        Run->SendForm->close();
        QVERIFY(!Item->isChecked() && !Button->isChecked() && !Run->Settings.SendWindowShown());
        Run->SendForm->show();
        QVERIFY(Item->isChecked() && Run->Settings.SendWindowShown());
        // Shown by Find All, the search window is marked too.
        Run->FindForm->show();
        QVERIFY(Run.Action("FindWindowItem")->isChecked());
        Run.Action("FindWindowItem")->trigger();
        QVERIFY(!Run->FindForm->isVisible() && !Run.Action("FindWinButton")->isChecked());
    }
};

QTEST_MAIN(TestDailyUse)
#include "tst_dailyuse.moc"
