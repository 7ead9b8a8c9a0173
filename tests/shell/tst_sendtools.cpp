// The send window's checksum command and menu in the whole program,
// offscreen, with a temporary data folder.
#include "ProgramRun.h"

#include "SendUnit.h"
#include "SettingsRecord.h"

#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>

class TestSendTools : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    const QStringList Ports;

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
    }
    void cleanup() { Home.reset(); }

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
        } else {
            QCOMPARE(Run.Messages.List.size(), 1);
            QCOMPARE(Run.Messages.List[0].Text, Message);
            if (Message.startsWith(QLatin1String("The data")))
                QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Check"));
        }
    }

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

QTEST_MAIN(TestSendTools)
#include "tst_sendtools.moc"
