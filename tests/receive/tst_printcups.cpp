// Printing the receive view in the whole program, on the queue of a private
// CUPS scheduler that print-cups.sh starts (CUPS_SERVER points at it).
#include "MessageCommands.h"
#include "NicePreview.h"
#include "PageRender.h"
#include "PrintUnit.h"
#include "RichView.h"
#include "SendClass.h"
#include "main.h"

#include <cups/cups.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace {
class TCapture : public TRuntimeMessages {
public:
    QStringList List;
    void Warning(QWidget *, const QString &Caption, const QString &Text) override
    {
        List.append(Caption + QLatin1Char('|') + Text);
    }
    void StandardError(const QString &Text) override { List.append(Text); }
};

QString Run(const QString &Program, const QStringList &Arguments)
{
    QProcess P;
    P.start(Program, Arguments);
    P.waitForFinished(60000);
    return QString::fromLocal8Bit(P.readAllStandardOutput());
}

QString Line(int I)
{
    return QStringLiteral("printed line %1 ABCDEF").arg(I, 5, 10, QLatin1Char('0'));
}
}  // namespace

class TPrintCupsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TMainForm> Main;
    TCapture Messages;

    // Fills the receive view with numbered lines until it makes Pages pages.
    int FillPages(int Pages)
    {
        TRichView *View = Main->ReceiveView();
        int Count = 0;
        for (;;) {
            QString Text;
            for (int I = 0; I < 10; ++I)
                Text += QLatin1Char('\n') + Line(Count++);
            View->Append(Count == 10 ? Text.mid(1) : Text);
            View->FlushUpdates();
            TPageRenderer R(View->document());
            int N = 0;
            while (R.HasMorePages())
                N += R.RenderNextPage(nullptr, QRectF()) >= 0;
            if (N == Pages)
                return Count;
        }
    }

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
        Main = CreateProgram({});
        Main->SetMessages(&Messages);
        Main->show();
        Messages.List.clear();
    }
    void cleanup()
    {
        Main.reset();
        Home.reset();
    }

    void noPrinterIsReported()
    {
        QVERIFY(QPrinterInfo::availablePrinterNames().isEmpty());
        FillPages(1);
        Main->findChild<QAction *>(QStringLiteral("PrintItem"))->trigger();
        QCOMPARE(Messages.List, QStringList {QStringLiteral("Print|Printers have not yet installed.")});
    }

    void printsRangeCopiesAndAllPages()
    {
        const QString Spool = qEnvironmentVariable("TALLYSCOPE_CUPS_SPOOL");
        QVERIFY(!Spool.isEmpty());
        QVERIFY(!QPrinterInfo::availablePrinterNames().isEmpty());
        auto *Form = Main->findChild<TPrintForm *>();
        QAction *Print = Main->findChild<QAction *>(QStringLiteral("PrintItem"));

        // Empty view: nothing to print.
        Print->trigger();
        QCOMPARE(Messages.List, QStringList {QStringLiteral("Print|There is not content to print.")});
        Messages.List.clear();

        const int Lines = FillPages(5);
        Form->ChoosePrint = [](QPrinter &Printer, TPrintChoice &Choice) {
            Printer.setPrinterName(QStringLiteral("Tallyscope"));
            Choice.Range = TPrintChoice::PageRange;
            Choice.From = 2;
            Choice.To = 3;
            Choice.Copies = 2;
            return true;
        };
        Print->trigger();
        QCOMPARE(Form->Preview()->PageCount(), 5);
        Form->ChoosePrint = [](QPrinter &Printer, TPrintChoice &Choice) {
            Printer.setPrinterName(QStringLiteral("Tallyscope"));
            Choice.Range = TPrintChoice::Selection;
            return true;
        };
        Print->trigger();
        Form->ChoosePrint = [](QPrinter &Printer, TPrintChoice &) {
            Printer.setPrinterName(QStringLiteral("Tallyscope"));
            return true;
        };
        Print->trigger();
        QVERIFY(Messages.List.isEmpty());

        // Five jobs, in order: pages 2, 3, 2, 3 and the whole view; the
        // scheduler keeps each job's document (d...) and attributes (c...).
        QTRY_COMPARE_WITH_TIMEOUT(QDir(Spool).entryList({QStringLiteral("d*")}, QDir::Files).size(), 5, 60000);
        QStringList Files = QDir(Spool).entryList({QStringLiteral("d*")}, QDir::Files, QDir::Name);
        QCOMPARE(Files.size(), 5);
        // Job titles, from the scheduler, oldest first.
        cups_job_t *Jobs = nullptr;
        const int JobCount = cupsGetJobs(&Jobs, "Tallyscope", 0, CUPS_WHICHJOBS_ALL);
        QStringList Titles;
        for (int I = 0; I < JobCount; ++I)
            Titles.append(QString::fromUtf8(Jobs[I].title));
        cupsFreeJobs(JobCount, Jobs);
        // Named as the document: a view that came from no file is the
        // "Receive view".
        const QString Title = QStringLiteral("Receive view");
        const QString Range = Title + QStringLiteral(" - Page ");
        QCOMPARE(Titles,
            (QStringList {Range + QLatin1Char('2'), Range + QLatin1Char('3'), Range + QLatin1Char('2'),
                Range + QLatin1Char('3'), Title}));
        auto Text = [&](const QString &File) {
            // Words, one space apart: the text's own line breaks are not kept.
            return Run(QStringLiteral("pdftotext"), {QDir(Spool).filePath(File), QStringLiteral("-")}).simplified();
        };
        auto FirstLine = [](const QString &T) {
            const int At = T.indexOf(QStringLiteral("printed line "));
            return At < 0 ? -1 : T.mid(At + 13, 5).toInt();
        };
        const int Page2 = FirstLine(Text(Files[0]));
        const int Page3 = FirstLine(Text(Files[1]));
        QVERIFY2(Page2 > 0, qPrintable(Text(Files[0]).left(300)));
        QVERIFY(Page3 > Page2);
        QCOMPARE(FirstLine(Text(Files[2])), Page2);
        QCOMPARE(FirstLine(Text(Files[3])), Page3);
        // All pages: every line, in order, once.
        const QString All = Text(Files[4]);
        int At = 0;
        for (int I = 0; I < Lines; ++I) {
            const int Next = All.indexOf(Line(I), At);
            QVERIFY2(Next >= 0, qPrintable(Line(I)));
            At = Next + 1;
        }
        QCOMPARE(All.count(QStringLiteral("printed line")), Lines);

        // Saved to a file, or opened from one, the view is titled after it.
        auto *Commands = Main->findChild<TMessageCommands *>();
        Commands->AskSaveName = [this](const QString &) { return Home->filePath(QStringLiteral("shift log")); };
        Commands->SaveFile(Main->ReceiveView());
        Print->trigger();
        QFile::copy(Home->filePath(QStringLiteral("shift log.rtf")), Home->filePath(QStringLiteral("other.rtf")));
        Commands->AskOpenName = [this](const QString &) { return Home->filePath(QStringLiteral("other.rtf")); };
        Commands->OpenFile(Main->ReceiveView());
        Print->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(QDir(Spool).entryList({QStringLiteral("d*")}, QDir::Files).size(), 7, 60000);
        const int Count = cupsGetJobs(&Jobs, "Tallyscope", 0, CUPS_WHICHJOBS_ALL);
        QStringList Named;
        for (int I = 5; I < Count; ++I)
            Named.append(QString::fromUtf8(Jobs[I].title));
        cupsFreeJobs(Count, Jobs);
        QCOMPARE(Named, (QStringList {QStringLiteral("shift log.rtf"), QStringLiteral("other.rtf")}));
        QVERIFY(Messages.List.isEmpty());
    }

    void printingKeepsTheProgramRunningAndStopsWhenTheTextMoves()
    {
        const QDir Spool(qEnvironmentVariable("TALLYSCOPE_CUPS_SPOOL"));
        QVERIFY(!Spool.path().isEmpty());
        auto *Form = Main->findChild<TPrintForm *>();
        QAction *Print = Main->findChild<QAction *>(QStringLiteral("PrintItem"));
        const int Lines = FillPages(12);
        const int JobsBefore = int(Spool.entryList({QStringLiteral("d*")}, QDir::Files).size());

        // The event loop turns while the pages are drawn for the printer.
        bool Printing = false;
        int TicksWhilePrinting = 0;
        QTimer Tick;
        Tick.setInterval(1);
        connect(&Tick, &QTimer::timeout, [&] { TicksWhilePrinting += Printing; });
        Tick.start();
        Form->ChoosePrint = [&](QPrinter &Printer, TPrintChoice &) {
            Printer.setPrinterName(QStringLiteral("Tallyscope"));
            Printing = true;
            return true;
        };
        Print->trigger();
        Printing = false;
        QVERIFY(TicksWhilePrinting > 0);
        QVERIFY(Messages.List.isEmpty());

        // A cut from the top of the view (the line bound, a clear) moves the
        // text under the pages: the job ends with the pages drawn before.
        Form->ChoosePrint = [&](QPrinter &Printer, TPrintChoice &) {
            Printer.setPrinterName(QStringLiteral("Tallyscope"));
            QTimer::singleShot(0, [this] {
                QTextCursor Cut(Main->ReceiveView()->document());
                Cut.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
                Cut.removeSelectedText();
            });
            return true;
        };
        Print->trigger();
        QCOMPARE(Messages.List,
            QStringList {
                QStringLiteral("Print|The receive view changed while printing: the pages after it were not printed.")});

        QTRY_COMPARE_WITH_TIMEOUT(
            int(Spool.entryList({QStringLiteral("d*")}, QDir::Files).size()), JobsBefore + 2, 60000);
        const QStringList Files = Spool.entryList({QStringLiteral("d*")}, QDir::Files, QDir::Name);
        auto Text = [&](const QString &File) {
            return Run(QStringLiteral("pdftotext"), {Spool.filePath(File), QStringLiteral("-")}).simplified();
        };
        const QString Whole = Text(Files[JobsBefore]);
        QCOMPARE(Whole.count(QStringLiteral("printed line")), Lines);
        // The stopped job: the first lines, in order, as they were.
        const QString Part = Text(Files[JobsBefore + 1]);
        const int Printed = int(Part.count(QStringLiteral("printed line")));
        QVERIFY2(Printed > 0 && Printed < Lines, qPrintable(QString::number(Printed)));
        int At = 0;
        for (int I = 0; I < Printed; ++I) {
            const int Next = Part.indexOf(Line(I), At);
            QVERIFY2(Next >= 0, qPrintable(Line(I)));
            At = Next + 1;
        }
        // The pages are laid out anew from the text as it is now.
        QCOMPARE(Form->Preview()->PageCount(), 0);
    }
};

QTEST_MAIN(TPrintCupsTest)
#include "tst_printcups.moc"
