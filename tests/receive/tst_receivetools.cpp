// The receiving filter and find in the whole program, in-process, offscreen:
// real windows, a temporary data folder and a socat pseudo-terminal as the
// device. Messages to the user are captured instead of shown.
#include "ProgramRun.h"
#include "SocatPair.h"

#include "FilterUnit.h"
#include "FindDiaUnit.h"
#include "FindUnit.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "StatusBarMY.h"
#include "main.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

namespace {
void SetCells(TFilterForm *Form, int Row, const QString &Byte, const QString &Value)
{
    Form->StringGrid1->item(Row, 1)->setText(Byte);
    Form->StringGrid1->item(Row, 2)->setText(Value);
}

}  // namespace

class TestReceiveTools : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;
    QStringList Ports;

    void OpenPort(TRun &Run)
    {
        auto *Combo = Run->findChild<QComboBox *>(QStringLiteral("CBoxPort"));
        Combo->setCurrentIndex(Combo->findText(QString::fromStdString(Cable->Near())));
        Run.Action("PortButton")->trigger();
        QVERIFY(Run->Link()->Port.Connected());
    }
    // Sends each burst from the device and waits until the receive view has
    // taken it (a burst is one line).
    void Receive(TRun &Run, std::initializer_list<std::string> Bursts)
    {
        for (const std::string &B : Bursts) {
            const auto Before = Run->Link()->RxCount.load();
            QVERIFY(Cable->WriteFar(B));
            QTRY_VERIFY(Run->Link()->RxCount.load() >= Before + B.size() && !Run->Link()->LinesWaiting());
            QTest::qWait(30);
        }
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

    void filterHidesReceivedLinesAndIsOffAfterRestart()
    {
        {
            TRun Run(Ports);
            OpenPort(Run);
            QAction *Button = Run.Action("FilterButton");
            QVERIFY(Button->isEnabled() && !Button->isChecked());
            Button->trigger();
            TFilterForm *Form = Run->FilterForm;
            QTRY_VERIFY(Form->isVisible());
            QVERIFY(!Button->isChecked());  // a click alone does not switch it on
            SetCells(Form, 0, QStringLiteral("1"), QStringLiteral("01"));
            SetCells(Form, 1, QStringLiteral("2"), QStringLiteral("03"));
            SetCells(Form, 2, QString(), QStringLiteral("77"));  // cleared whatever the value
            Form->CheckBox1->setChecked(true);
            QTest::mouseClick(Form->Button1, Qt::LeftButton);
            QVERIFY(!Form->isVisible());
            QVERIFY(Run->Settings.FilterOn() && Button->isChecked());

            Receive(Run,
                {std::string("\x01\x03\x00\x0A", 4), std::string("\x01\x04\x00\x0A", 4),
                    std::string("\x02\x03\x00\x0A", 4), std::string("\x01\x03\xFF", 3)});
            TRichView *View = Run->ReceiveView();
            QTRY_VERIFY(LineWith(View, QStringLiteral("01 03 FF")) >= 0);
            QVERIFY(LineWith(View, QStringLiteral("01 03 00 0A")) >= 0);
            QVERIFY(LineWith(View, QStringLiteral("01 04 00 0A")) < 0);
            QVERIFY(LineWith(View, QStringLiteral("02 03 00 0A")) < 0);
            // Hidden lines are still counted.
            QCOMPARE(Run->Link()->RxCount.load(), 15u);

            // Switched off: every line shows again.
            Button->trigger();
            QTRY_VERIFY(Form->isVisible());
            QVERIFY(Form->CheckBox1->isChecked());
            Form->CheckBox1->setChecked(false);
            QTest::mouseClick(Form->Button1, Qt::LeftButton);
            QVERIFY(!Run->Settings.FilterOn() && !Button->isChecked());
            Receive(Run, {std::string("\x02\x03\x00\x0A", 4)});
            QTRY_VERIFY(LineWith(View, QStringLiteral("02 03 00 0A")) >= 0);
            // Left on when the program ends.
            Button->trigger();
            Form->CheckBox1->setChecked(true);
            QTest::mouseClick(Form->Button1, Qt::LeftButton);
            QVERIFY(Run->Settings.FilterOn());
        }
        TRun Again(Ports);
        QVERIFY(!Again->Settings.FilterOn() && !Again.Action("FilterButton")->isChecked());
        Again.Action("FilterButton")->trigger();
        TFilterForm *Form = Again->FilterForm;
        QTRY_VERIFY(Form->isVisible());
        QVERIFY(!Form->CheckBox1->isChecked());
        const QStringList Expected = QStringLiteral("1,01,2,03,,,,,,").split(QLatin1Char(','));
        QStringList Shown;
        for (int Row = 0; Row < 5; ++Row)
            Shown << Form->StringGrid1->item(Row, 1)->text() << Form->StringGrid1->item(Row, 2)->text();
        QCOMPARE(Shown, Expected);
        QCOMPARE(Form->StringGrid1->horizontalHeaderItem(2)->text(), QStringLiteral("Value(Hex)"));
        QCOMPARE(Form->StringGrid1->item(4, 0)->text(), QStringLiteral("5"));
    }

    // A refused grid changes no setting, not even the valid rows before the
    // refused cell, and the dialog stays open on that cell.
    void refusedGridChangesNothing()
    {
        TRun Run(Ports);
        Run->Settings.SetFilterByteNumber(0, 1);
        Run->Settings.SetFilterValue(0, "01");
        Run.Action("FilterButton")->trigger();
        TFilterForm *Form = Run->FilterForm;
        QTRY_VERIFY(Form->isVisible());
        struct TCase {
            const char *Byte, *Value;
            int Column;
            const char *Text;
        };
        for (const TCase &C : {TCase {"2", "5", 2, "The input value must be hexadecimal."},
                 TCase {"1.5", "05", 1, "The input value must be integer."},
                 TCase {"x", "05", 1, "The input value must be integer."},
                 TCase {"-2", "05", 1, "The byte number must be from 1 to 2147483647."}}) {
            SetCells(Form, 0, QStringLiteral("4"), QStringLiteral("a5"));  // valid, changed
            SetCells(Form, 1, QLatin1String(C.Byte), QLatin1String(C.Value));
            Form->CheckBox1->setChecked(true);
            Run.Messages.List.clear();
            QTest::mouseClick(Form->Button1, Qt::LeftButton);
            QCOMPARE(Run.Messages.List.size(), 1);
            QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Filter"));
            QCOMPARE(Run.Messages.List[0].Text, QLatin1String(C.Text));
            QVERIFY(Form->isVisible());
            QCOMPARE(Form->StringGrid1->currentRow(), 1);
            QCOMPARE(Form->StringGrid1->currentColumn(), C.Column);
            QCOMPARE(Run->Settings.FilterByteNumber(0), 1);
            QCOMPARE(Run->Settings.FilterValue(0), std::string("01"));
            QCOMPARE(Run->Settings.FilterByteNumber(1), 0);
            QVERIFY(!Run->Settings.FilterOn());
        }
        // Mended, the grid goes in whole; the value comes back upper-cased.
        SetCells(Form, 1, QString(), QString());
        QTest::mouseClick(Form->Button1, Qt::LeftButton);
        QVERIFY(!Form->isVisible());
        QCOMPARE(Run->Settings.FilterByteNumber(0), 4);
        QCOMPARE(Run->Settings.FilterValue(0), std::string("A5"));
        Run.Action("FilterButton")->trigger();
        QTRY_VERIFY(Form->isVisible());
        QCOMPARE(Form->StringGrid1->item(0, 2)->text(), QStringLiteral("A5"));
        // Cancel keeps what was stored.
        SetCells(Form, 0, QStringLiteral("9"), QStringLiteral("99"));
        QTest::mouseClick(Form->Button2, Qt::LeftButton);
        QVERIFY(!Form->isVisible());
        QCOMPARE(Run->Settings.FilterByteNumber(0), 4);
        QVERIFY(Run->Settings.FilterOn() && Run.Action("FilterButton")->isChecked());
    }

    void findNextCyclesThroughHits()
    {
        TRun Run(Ports);
        OpenPort(Run);
        Receive(Run, {std::string("\x01\x02\x03", 3), std::string("\x02\x03\x04", 3)});
        TRichView *View = Run->ReceiveView();
        QTRY_VERIFY(LineWith(View, QStringLiteral("02 03 04")) >= 0);
        const int First = View->LineStart(LineWith(View, QStringLiteral("01 02 03"))) +
            int(View->LineText(LineWith(View, QStringLiteral("01 02 03"))).indexOf(QLatin1String("02 03")));
        const int Second = View->LineStart(LineWith(View, QStringLiteral("02 03 04"))) +
            int(View->LineText(LineWith(View, QStringLiteral("02 03 04"))).indexOf(QLatin1String("02 03")));

        // Ctrl+F without a selection: nothing to find until the string is
        // edited.
        Run.Action("FindItem")->trigger();
        TFindDialog *Dialog = Run->FindDialog;
        QTRY_VERIFY(Dialog->isVisible());
        QVERIFY(Dialog->FindText->text().isEmpty() && !Dialog->FindNext->isEnabled());
        QTest::keyClicks(Dialog->FindText, QStringLiteral("0"));
        QVERIFY(Dialog->FindNext->isEnabled());
        Dialog->close();
        // With a selection, it fills the string.
        View->SetSelection(First, 5);
        Run.Action("FindItem")->trigger();
        QTRY_VERIFY(Dialog->isVisible());
        QCOMPARE(Dialog->FindText->text(), QStringLiteral("02 03"));
        QVERIFY(Dialog->FindNext->isEnabled());
        QVERIFY(Dialog->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!Dialog->isModal());
        View->SetSelection(0, 0);

        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QCOMPARE(View->SelStart(), First);
        QCOMPARE(View->SelLength(), 5);
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QCOMPARE(View->SelStart(), Second);
        QVERIFY(Run->StatusBar()->currentMessage().isEmpty());
        // Past the last hit: the first again, and the status bar says so.
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QCOMPARE(View->SelStart(), First);
        QCOMPARE(View->SelLength(), 5);
        QCOMPARE(Run->StatusBar()->currentMessage(), QStringLiteral("Search wrapped to the top"));
        QVERIFY(Run.Messages.List.isEmpty());
        // F3 with the dialog closed; the place is kept across openings, and
        // so is the string, when there is no selection to take.
        Dialog->close();
        Run.Action("FindNextItem")->trigger();
        QCOMPARE(View->SelStart(), Second);
        View->SetSelection(0, 0);
        Run.Action("FindItem")->trigger();
        QTRY_VERIFY(Dialog->isVisible());
        QCOMPARE(Dialog->FindText->text(), QStringLiteral("02 03"));
        QVERIFY(Dialog->FindNext->isEnabled());
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QCOMPARE(View->SelStart(), First);

        // No hit anywhere: said in the status bar, no box; the selection stays.
        Dialog->FindText->setText(QStringLiteral("77"));
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QCOMPARE(Run->StatusBar()->currentMessage(), QStringLiteral("Search string \"77\" not found."));
        QCOMPARE(Dialog->FindPosition, 0);
        QCOMPARE(View->SelStart(), First);
        QVERIFY(Run.Messages.List.isEmpty());

        // Letter case.
        Dialog->FindText->setText(QStringLiteral("0a"));
        View->Append(QStringLiteral("[00:00:00 ---] 0A 0B\n"));
        View->FlushUpdates();
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QCOMPARE(View->SelText(), QStringLiteral("0A"));
        Dialog->UpLowCase->setChecked(true);
        Dialog->FindAll->setChecked(true);
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Find"));
        QCOMPARE(Run.Messages.List[0].Text, QStringLiteral("Search string \"0a\" not found."));
        QVERIFY(!Run->FindForm->isVisible());
    }

    void f3BeforeTheDialogSearchesItsDesignText()
    {
        TRun Run(Ports);
        Run->ReceiveView()->Append(QStringLiteral("a FindText b\n"));
        Run->ReceiveView()->FlushUpdates();
        Run.Action("FindNextItem")->trigger();
        QCOMPARE(Run->ReceiveView()->SelText(), QStringLiteral("FindText"));
    }

    void findAllListsEachLineOnceInColour()
    {
        TRun Run(Ports);
        OpenPort(Run);
        Receive(Run,
            {std::string("\x01\x02\x03", 3), std::string("\x05\x05", 2), std::string("\x02\x03\x02\x03", 4),
                std::string("\x02\x03\x04", 3)});
        TRichView *View = Run->ReceiveView();
        QTRY_VERIFY(LineWith(View, QStringLiteral("02 03 04")) >= 0);
        Run.Action("FindItem")->trigger();
        TFindDialog *Dialog = Run->FindDialog;
        QTRY_VERIFY(Dialog->isVisible());
        QTest::keyClicks(Dialog->FindText, QStringLiteral("02 03"));
        Dialog->FindAll->setChecked(true);
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        QVERIFY(Run.Messages.List.isEmpty());
        QVERIFY(Run->FindForm->isVisible() && Run->Settings.SearchWindowShown());
        QVERIFY(Run.Action("FindWinButton")->isChecked());
        QCOMPARE(Dialog->windowTitle(), QStringLiteral("Find"));

        TRichView *Out = Run->FindForm->RichFind;
        QCOMPARE(Out->LineCount(), 4);  // three lines and the empty one after the last break
        const QStringList Data = QStringLiteral("01 02 03,02 03 02 03,02 03 04").split(QLatin1Char(','));
        for (int I = 0; I < 3; ++I) {
            const QString Source = View->LineText(LineWith(View, Data[I]));
            const QString Tag = Source.left(Source.indexOf(QLatin1Char(']')) + 1) + QLatin1Char(' ');
            QCOMPARE(Out->LineText(I), Tag + Data[I]);
            QCOMPARE(ColourAt(Out, Out->LineStart(I)), QColor(128, 128, 128));
            QCOMPARE(ColourAt(Out, Out->LineStart(I) + int(Tag.size())), QColor(0, 0, 200));
        }
        QCOMPARE(Out->SelStart(), 0);
        // The last hit's place is kept.
        const int LastLine = LineWith(View, QStringLiteral("02 03 04"));
        QCOMPARE(Dialog->FindPosition,
            View->LineStart(LastLine) + int(View->LineText(LastLine).indexOf(QLatin1String("02 03"))) + 1);
    }

    // Closing the dialog stops "Find All"; lines received meanwhile are shown
    // while it runs.
    void closingTheDialogStopsFindAll()
    {
        TRun Run(Ports);
        OpenPort(Run);
        TRichView *View = Run->ReceiveView();
        QString Text;
        for (int I = 0; I < 60000; ++I)
            Text += QStringLiteral("[10:00:00 ---] 11 22 33 44 55 66 77 88 99 AA BB CC\n");
        View->Append(Text);
        View->FlushUpdates();
        Run.Action("FindItem")->trigger();
        TFindDialog *Dialog = Run->FindDialog;
        QTRY_VERIFY(Dialog->isVisible());
        QTest::keyClicks(Dialog->FindText, QStringLiteral("55 66"));
        Dialog->FindAll->setChecked(true);

        QVERIFY(Cable->WriteFar(std::string("\xEE\xEF", 2)));
        bool ShownWhileSearching = false;
        QString CaptionWhileSearching;
        QTimer Watch;
        Watch.setInterval(0);
        connect(&Watch, &QTimer::timeout, this, [&] {
            if (!Dialog->Searching || LineWith(View, QStringLiteral("EE EF")) < 0)
                return;
            ShownWhileSearching = true;
            CaptionWhileSearching = Dialog->windowTitle();
            Watch.stop();
            Dialog->close();
        });
        Watch.start();
        QTest::mouseClick(Dialog->FindNext, Qt::LeftButton);
        Watch.stop();
        QVERIFY(ShownWhileSearching);
        QCOMPARE(CaptionWhileSearching, QStringLiteral("Finding..."));
        QVERIFY(!Dialog->Searching);
        const int Listed = Run->FindForm->RichFind->LineCount() - 1;
        QVERIFY2(Listed > 0 && Listed < 60000, qPrintable(QString::number(Listed)));
        QVERIFY(Run->FindForm->isVisible());
        QVERIFY(Run.Messages.List.isEmpty());
    }

    void controlsAreNamedForScreenReaders()
    {
        TRun Run(Ports);
        Run.Action("FilterButton")->trigger();
        Run.Action("FindItem")->trigger();
        TFilterForm *Filter = Run->FilterForm;
        TFindDialog *Find = Run->FindDialog;
        QTRY_VERIFY(Filter->isVisible() && Find->isVisible());
        QCOMPARE(Filter->windowTitle(), QStringLiteral("Receiving Filter"));
        QCOMPARE(AccessibleName(Filter->CheckBox1), QStringLiteral("Enable"));
        QCOMPARE(AccessibleName(Filter->Button1), QStringLiteral("Ok"));
        QCOMPARE(AccessibleName(Filter->Button2), QStringLiteral("Cancel"));
        QVERIFY(!AccessibleName(Filter->StringGrid1).isEmpty());
        QCOMPARE(AccessibleName(Find->FindText), QStringLiteral("Find What:"));
        QCOMPARE(AccessibleName(Find->FindNext), QStringLiteral("Find Next (F)"));
        QCOMPARE(AccessibleName(Find->FindAll), QStringLiteral("Find All"));
        QCOMPARE(AccessibleName(Find->UpLowCase), QStringLiteral("Match Case"));
        QCOMPARE(AccessibleName(Find->Button2), QStringLiteral("Cancel"));
    }
};

QTEST_MAIN(TestReceiveTools)
#include "tst_receivetools.moc"
