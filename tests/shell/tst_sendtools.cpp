// The send window's checksum command and menu in the whole program,
// offscreen, with a temporary data folder.
#include "ProgramRun.h"
#include "SocatPair.h"

#include "SendUnit.h"
#include "SetUnit.h"
#include "SettingsRecord.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>

namespace {
QByteArray Hex(const std::string &Bytes)
{
    return QByteArray::fromStdString(Bytes).toHex(' ').toUpper();
}
}  // namespace

class TestSendTools : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;
    QStringList Ports;

    // Fills the cycle panel as a user would and confirms it.
    static void ConfirmCycle(TRun &Run, bool Range, const QString &First, const QString &Last, const QString &Fixed,
        const QString &Interval, bool On)
    {
        Run->SendForm->ToolButton2->trigger();
        TSetForm *Set = Run->SetForm;
        QVERIFY(Set->isVisible());
        QCOMPARE(Set->windowTitle(), QStringLiteral("Cycle to Send data"));
        (Range ? Set->RadioButton2 : Set->RadioButton1)->click();
        Set->RadioButton5->setChecked(true);
        for (auto [Edit, Text] : {std::pair {Set->Edit3, First}, std::pair {Set->Edit4, Last},
                 std::pair {Set->Edit2, Fixed}, std::pair {Set->Edit10, Interval}})
            Edit->setText(Text);
        Set->CheckBox1->setChecked(On);
        Set->Button3->click();
    }
    // Count bytes from the far end, the program's event loop running
    // meanwhile (its timers send them).
    std::string Receive(std::size_t Count, int TimeoutMs = 3000)
    {
        QElapsedTimer Clock;
        Clock.start();
        while (FPending.size() < Count && Clock.elapsed() < TimeoutMs) {
            QTest::qWait(5);
            FPending += Cable->ReadFar(Count - FPending.size(), 1);
        }
        const std::string Got = FPending.substr(0, Count);
        FPending.erase(0, Got.size());
        return Got;
    }
    std::string FPending;
    // What the far end received until it was quiet for QuietMs.
    std::string Drain(int QuietMs = 300)
    {
        std::string All;
        for (std::string Got; !(Got = Receive(4096, QuietMs)).empty();)
            All += Got;
        return All;
    }

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
        FPending.clear();
        Cable = std::make_unique<TSocatPair>();
        QVERIFY2(Cable->Start(), qPrintable(Cable->Error));
        Ports = {QString::fromStdString(Cable->Near())};
    }
    void cleanup()
    {
        Cable.reset();
        Home.reset();
    }

    void checksumCommand_data()
    {
        QTest::addColumn<QString>("Text");
        QTest::addColumn<int>("SelStart");
        QTest::addColumn<int>("SelLength");
        QTest::addColumn<int>("Kind");
        QTest::addColumn<int>("Times");
        QTest::addColumn<QString>("Result");
        QTest::addColumn<QString>("Message");
        const QString NotHex = QStringLiteral("The data is not hexadecimal format.");
        QTest::newRow("caret line") << "AA\n01 03 00 00 00 0A\nBB" << 5 << 0 << 5 << 1
                                    << "AA\n01 03 00 00 00 0A C5 CD\nBB"
                                    << "";
        QTest::newRow("blanks around the caret line") << "  01 02  " << 4 << 0 << 0 << 1 << "  01 02 03  "
                                                      << "";
        QTest::newRow("selection with blanks") << "x  01 02  y" << 1 << 9 << 0 << 1 << "x01 02 03y"
                                               << "";
        QTest::newRow("twice") << "01 02" << 0 << 0 << 0 << 2 << "01 02 03 06"
                               << "";
        QTest::newRow("lower case") << "ab cd" << 0 << 0 << 3 << 1 << "ab cd 66"
                                    << "";
        QTest::newRow("empty line") << "01 02\n\n03 04" << 6 << 0 << 0 << 1 << "01 02\n\n03 04" << NotHex;
        QTest::newRow("one digit") << "1" << 0 << 0 << 0 << 1 << "1" << NotHex;
        QTest::newRow("odd digits") << "ABC" << 0 << 0 << 0 << 1 << "ABC" << NotHex;
        QTest::newRow("split pair") << "1 23" << 0 << 0 << 0 << 1 << "1 23" << NotHex;
        QTest::newRow("selection over two lines") << "01\n02" << 0 << 5 << 0 << 1 << "01\n02"
                                                  << "'$\n0' is not a valid integer value";
    }
    void checksumCommand()
    {
        QFETCH(QString, Text);
        QFETCH(int, SelStart);
        QFETCH(int, SelLength);
        QFETCH(int, Kind);
        QFETCH(int, Times);
        QFETCH(QString, Result);
        QFETCH(QString, Message);
        TRun Run(Ports);
        Run->Settings.SetChecksumKind(Kind);
        TRichView *Send = Run->SendForm->RichSend;
        Send->setPlainText(Text);
        Send->SetSelection(SelStart, SelLength);
        for (int I = 0; I < Times; ++I)
            Run->SendForm->ToolButton7->click();
        QCOMPARE(Send->toPlainText(), Result);
        if (Message.isEmpty()) {
            QVERIFY(Run.Messages.List.isEmpty());
            // The checksum in blue, Courier New 9 points, the caret behind it.
            const int End = Send->SelStart();
            QCOMPARE(Send->SelLength(), 0);
            // The line's blue characters are one blank and the checksum at
            // the caret; the text before it stays black.
            const int Line = Send->CaretLine();
            QString Blue;
            for (int I = 0; I < Send->CaretColumn(); ++I)
                if (ColourAt(Send, Send->LineStart(Line) + I) == QColor(0, 0, 255))
                    Blue += Send->LineText(Line)[I];
            QVERIFY2(
                Blue == QLatin1Char(' ') + Blue.trimmed() && (Blue.size() == 3 || Blue.size() == 6), qPrintable(Blue));
            QVERIFY(Send->LineText(Line).left(Send->CaretColumn()).endsWith(Blue));
            QCOMPARE(ColourAt(Send,
                         Send->LineStart(Line) +
                             int(Send->LineText(Line).indexOf(QRegularExpression(QStringLiteral("\\S"))))),
                QColor(0, 0, 0));
            QTextCursor C(Send->document());
            C.setPosition(End);
            QCOMPARE(C.charFormat().font().family(), QStringLiteral("Courier New"));
            QCOMPARE(C.charFormat().font().pointSizeF(), 9.0);
            // What is typed next is the send view's black, not the blue.
            QTest::keyClicks(Send, QStringLiteral("7"));
            QCOMPARE(Send->LineText(Line).mid(Send->CaretColumn() - 1, 1), QStringLiteral("7"));
            QCOMPARE(ColourAt(Send, End), QColor(0, 0, 0));
        } else {
            QCOMPARE(Run.Messages.List.size(), 1);
            QCOMPARE(Run.Messages.List[0].Text, Message);
            if (Message.startsWith(QLatin1String("The data")))
                QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Check"));
        }
    }

    void cycleSend();

    void checksumMenu()
    {
        {
            TRun Run(Ports);
            TSendForm *Form = Run->SendForm;
            QCOMPARE(Form->ToolButton7->toolTip(), QStringLiteral("Check SUM"));
            QCOMPARE(Form->PopupMenu1->actions().size(), 10);
            QVERIFY(Form->PopupMenu1->actions()[4]->isSeparator());
            TRichView *Send = Form->RichSend;
            Send->setPlainText(QStringLiteral("01 03 00 00 00 0A"));
            Send->SetSelection(3, 0);
            // A choice is stored, shown in the hint and run at once; the
            // ANSI entry gives the very same bytes.
            Form->ChecksumItem(7)->trigger();
            QCOMPARE(Run->Settings.ChecksumKind(), 7);
            QCOMPARE(Form->ToolButton7->toolTip(), QStringLiteral("Check ANSI-CRC16"));
            QCOMPARE(Send->toPlainText(), QStringLiteral("01 03 00 00 00 0A C5 CD"));
            Send->setPlainText(QStringLiteral("31 32 33 34 35 36 37 38 39"));
            Send->SetSelection(0, 0);
            Form->ChecksumItem(8)->trigger();
            QCOMPARE(Send->toPlainText(), QStringLiteral("31 32 33 34 35 36 37 38 39 31 C3"));
            QCOMPARE(AccessibleName(Form->ToolButton7), QStringLiteral("Checksum"));
            // The bar shows images only: each button has one and is named
            // by its hint.
            for (auto [A, Hint] :
                {std::pair {Form->ToolButton1, "Send cursor line(F5)"}, std::pair {Form->ToolButton2, "Cycle To Send"},
                    std::pair {Form->ToolButton3, "Trigger Send"}, std::pair {Form->ToolButton8, "ASCII Send"}}) {
                QVERIFY2(!A->icon().isNull(), Hint);
                QCOMPARE(AccessibleName(Form->SendBar->widgetForAction(A)), QLatin1String(Hint));
            }
            QVERIFY(!Form->ToolButton7->icon().isNull());
        }
        // After a restart the choice is kept, marked when the menu opens.
        TRun Run(Ports);
        TSendForm *Form = Run->SendForm;
        QCOMPARE(Run->Settings.ChecksumKind(), 8);
        Form->show();
        QCOMPARE(Form->ToolButton7->toolTip(), QStringLiteral("Check CCITT-CRC16"));
        Form->ChecksumItem(0)->setChecked(true);
        Q_EMIT Form->PopupMenu1->aboutToShow();
        QVERIFY(Form->ChecksumItem(8)->isChecked());
    }
};

void TestSendTools::cycleSend()
{
    {
        TRun Run(Ports);
        QVERIFY(Run.OpenPort(Ports[0]));
        Run->SendForm->RichSend->setPlainText(QStringLiteral("01\n02\n03\n04\n05\nhello"));
        // A range, 3 to 5, again and again; interval 5 is stored as 20.
        ConfirmCycle(
            Run, true, QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("0"), QStringLiteral("5"), true);
        QVERIFY(!Run->SetForm->isVisible());
        QCOMPARE(Run->Settings.CycleInterval(), 20u);
        QCOMPARE(Run->Settings.CycleFixedLine(), 1);
        QVERIFY(Run->SendForm->ToolButton2->isChecked());
        std::string Seen = Receive(6);
        QCOMPARE(Hex(Seen), QByteArray("03 04 05 03 04 05"));

        // Stopped, then started again: the range goes on where it stood.
        ConfirmCycle(
            Run, true, QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("0"), QStringLiteral("20"), false);
        QVERIFY(!Run->SendForm->ToolButton2->isChecked());
        Seen += Drain();
        ConfirmCycle(
            Run, true, QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("0"), QStringLiteral("20"), true);
        const char Next = Seen.back() == '\x05' ? '\x03' : char(Seen.back() + 1);
        QCOMPARE(Hex(Receive(1)), Hex(std::string(1, Next)));

        // 5 to 3 sends line 5 every time.
        ConfirmCycle(
            Run, true, QStringLiteral("5"), QStringLiteral("3"), QStringLiteral("0"), QStringLiteral("20"), true);
        // (A byte or two of the range may still be on the way.)
        const std::string Stream = Receive(8);
        QCOMPARE(Hex(Stream.substr(Stream.size() - 5)), QByteArray("05 05 05 05 05"));

        // A fixed line that is not hex stops the cycle with one message and
        // releases the button.
        ConfirmCycle(
            Run, false, QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("20"), true);
        QTRY_VERIFY(!Run->DataRT()->CycleTimer->isActive());
        QTRY_VERIFY(!Run->SendForm->ToolButton2->isChecked());
        QVERIFY(!Run->Settings.CycleSendOn());
        QTest::qWait(100);
        QCOMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Send"));
        QCOMPARE(Run.Messages.List[0].Text, QStringLiteral("Line 6 is not the right format."));

        // A box that is no integer: told, the dialog stays, the record is
        // as it was (the boxes before it are not stored either).
        const QByteArray Stored = QByteArray(
            reinterpret_cast<const char *>(Run->Settings.Image().data()), qsizetype(Run->Settings.Image().size()));
        Run->SendForm->ToolButton2->trigger();
        TSetForm *Set = Run->SetForm;
        Set->RadioButton2->click();
        Set->Edit3->setText(QStringLiteral("9"));
        Set->Edit4->setText(QStringLiteral("x"));
        Set->Button3->click();
        QVERIFY(Set->isVisible());
        QCOMPARE(Run.Messages.List.last().Text, QStringLiteral("'x' is not a valid integer value"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(Run->Settings.Image().data()),
                     qsizetype(Run->Settings.Image().size())),
            Stored);
        Set->Button4->click();
        ConfirmCycle(
            Run, true, QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("6"), QStringLiteral("500"), true);
    }
    // After a restart the settings are back, cycle sending off.
    TRun Run(Ports);
    QCOMPARE(Run->Settings.CycleMode(), uint8_t(1));
    QCOMPARE(Run->Settings.CycleRangeFirst(), 2);
    QCOMPARE(Run->Settings.CycleRangeLast(), 4);
    QCOMPARE(Run->Settings.CycleInterval(), 500u);
    QVERIFY(!Run->Settings.CycleSendOn() && !Run->SendForm->ToolButton2->isChecked());
    QVERIFY(!Run->DataRT()->CycleTimer->isActive());
}

QTEST_MAIN(TestSendTools)
#include "tst_sendtools.moc"
