// The receive view kept in check (auto save, auto clear, the line bound) and
// message files, in the whole program offscreen: real windows, a temporary
// XDG_DATA_HOME and a socat pseudo-terminal as the device.
#include "SocatPair.h"

#include "AutoSave.h"
#include "MessageCommands.h"
#include "MessageFiles.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SendUnit.h"
#include "TimeSaveUnit.h"
#include "main.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <csignal>
#include <sys/resource.h>

namespace {
class TCapture : public TRuntimeMessages {
public:
    QStringList List;
    void Warning(QWidget *, const QString &Caption, const QString &Text) override
    {
        List << Caption + QStringLiteral(": ") + Text;
    }
    void StandardError(const QString &Text) override { List << Text; }
};

struct TRun {
    explicit TRun(const QStringList &Ports, const QStringList &Arguments = {})
    {
        Main = CreateProgram(Arguments, &Ports);
        Main->SetMessages(&Messages);
        Main->show();
        QVERIFY(QTest::qWaitForWindowExposed(Main.get()));
        Form()->Warn = [this](const QString &Caption, const QString &Text) {
            Messages.List << Caption + QStringLiteral(": ") + Text;
        };
    }
    ~TRun()
    {
        if (Main && Main->isVisible())
            Main->close();
    }
    TMainForm *operator->() const { return Main.get(); }
    TRichView *View() const { return Main->ReceiveView(); }
    TTimeSaveForm *Form() const { return Main->TimeSaveForm; }
    TAutoSave *Auto() const { return Main->AutoSave(); }
    // Fills the dialog as a user would and presses Ok.
    bool Confirm(bool Clear, const QString &Lines, bool Save, const QString &Folder)
    {
        Form()->show();
        Form()->CheckBox1->setChecked(Clear);
        Form()->Edit1->setText(Lines);
        Form()->CheckBox2->setChecked(Save);
        Form()->Edit2->setText(Folder);
        Form()->Button2->click();
        return !Form()->isVisible();
    }
    std::unique_ptr<TMainForm> Main;
    TCapture Messages;
};

// A received line as the display makes it: grey tag, coloured data, break.
void AddLine(TRichView *View, const QString &Data, const QColor &Colour = QColor(0, 0, 200))
{
    View->Append(
        {{QStringLiteral("[12:00:00 000] "), QColor(128, 128, 128)}, {Data, Colour}, {QStringLiteral("\r\n"), Colour}});
}

QStringList Lines(TRichView *View)
{
    QStringList L;
    for (int I = 0; I < TAutoSave::CompleteLines(View); ++I)
        L << View->LineText(I);
    return L;
}

// What a file holds, as our reader shows it.
QStringList LinesOfFile(const QString &Path)
{
    TRichView Reader;
    Reader.LoadFile(Path);
    return Lines(&Reader);
}

QColor ColourAt(TRichView *View, int Position)
{
    QTextCursor C(View->document());
    C.setPosition(Position + 1);
    return C.charFormat().foreground().color();
}

QStringList RtfFiles(const QString &Folder)
{
    return QDir(Folder).entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
}

// While it lives, no file this process writes may grow past Bytes: a write
// fails with EFBIG, as on a full disk, also for root.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &FOld);
        rlimit Small = FOld;
        Small.rlim_cur = Bytes;
        setrlimit(RLIMIT_FSIZE, &Small);
    }
    ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &FOld); }

private:
    rlimit FOld {};
};
}  // namespace

class TestRecvFiles : public QObject {
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

    void autoSaveAtNFromThePort()
    {
        TRun Run(Ports);
        const QString Folder = Home->filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(Folder));
        QVERIFY(Run.Confirm(false, QStringLiteral("3"), true, Folder));
        Run.Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
        QVERIFY(Run->Link()->Port.Connected());

        QStringList Shown;
        for (const char *Burst : {"\x01", "\x02", "\x03"}) {
            QVERIFY(Cable->WriteFar(Burst));
            if (Shown.size() < 2) {
                QTRY_COMPARE(TAutoSave::CompleteLines(Run.View()), int(Shown.size()) + 1);
                Shown = Lines(Run.View());
            }
        }
        QTRY_COMPARE(RtfFiles(Folder).size(), qsizetype(1));
        QCOMPARE(Run.View()->TextLength(), 0);
        const QString Path = QDir(Folder).filePath(RtfFiles(Folder).first());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{14}\\.rtf$")).match(RtfFiles(Folder).first()).hasMatch());
        QCOMPARE(Run.Auto()->LastSaved(), Path);
        // Our reader: the two lines shown, then the third, whole.
        const QStringList Saved = LinesOfFile(Path);
        QCOMPARE(Saved.size(), qsizetype(3));
        QCOMPARE(Saved.mid(0, 2), Shown);
        QVERIFY2(Saved[2].endsWith(QStringLiteral("] 03")), qPrintable(Saved[2]));
        // Another reader of the format.
        QProcess Unrtf;
        Unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--text"), Path});
        QVERIFY(Unrtf.waitForFinished(20000));
        QCOMPARE(Unrtf.exitCode(), 0);
        const QString Text = QString::fromUtf8(Unrtf.readAllStandardOutput());
        for (const QString &L : Saved)
            QVERIFY2(Text.contains(L), qPrintable(Text));
        QVERIFY(Run.Messages.List.isEmpty());
    }

    void autoSaveNeverOverwrites()
    {
        TRun Run(Ports);
        const QString Folder = Home->filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(Folder));
        Run.Auto()->Now = [] { return QDateTime(QDate(2024, 1, 31), QTime(23, 59, 59)); };
        QVERIFY(Run.Confirm(false, QStringLiteral("2"), true, Folder));
        for (const char *Pair : {"A", "B", "C"}) {
            const qsizetype Before = RtfFiles(Folder).size();
            AddLine(Run.View(), QLatin1String(Pair) + u'1');
            AddLine(Run.View(), QLatin1String(Pair) + u'2');
            QTRY_COMPARE(RtfFiles(Folder).size(), Before + 1);
        }
        QCOMPARE(RtfFiles(Folder),
            QStringList({QStringLiteral("20240131235959-2.rtf"), QStringLiteral("20240131235959-3.rtf"),
                QStringLiteral("20240131235959.rtf")}));
        QVERIFY(LinesOfFile(QDir(Folder).filePath(QStringLiteral("20240131235959.rtf"))).last().endsWith(u"A2"));
        QVERIFY(LinesOfFile(QDir(Folder).filePath(QStringLiteral("20240131235959-2.rtf"))).last().endsWith(u"B2"));
        QVERIFY(LinesOfFile(QDir(Folder).filePath(QStringLiteral("20240131235959-3.rtf"))).last().endsWith(u"C2"));
    }

    // A line that arrives in slices is saved whole, never parted.
    void longLineIsSavedWhole()
    {
        TRun Run(Ports);
        const QString Folder = Home->filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(Folder));
        QVERIFY(Run.Confirm(false, QStringLiteral("1"), true, Folder));
        const QString Long = QString(TRichView::SliceChars * 2 + 10, QLatin1Char('7'));
        AddLine(Run.View(), Long);
        QVERIFY(Run.View()->TextLength() > 0);  // still arriving: not saved yet
        QCOMPARE(RtfFiles(Folder).size(), qsizetype(0));
        Run.View()->FlushUpdates();
        QTRY_COMPARE(RtfFiles(Folder).size(), qsizetype(1));
        QTRY_COMPARE(Run.View()->TextLength(), 0);
        const QStringList Saved = LinesOfFile(QDir(Folder).filePath(RtfFiles(Folder).first()));
        QCOMPARE(Saved.size(), qsizetype(1));
        QVERIFY(Saved.first().endsWith(Long));
    }

    // Long lines reach the view's character bound before N lines: what the
    // bound would cut is saved first, so the files and the view hold every
    // line once, in order.
    void autoSaveBeforeTheCharacterBoundCuts()
    {
        TRun Run(Ports);
        const QString Folder = Home->filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(Folder));
        QVERIFY(Run.Confirm(false, QStringLiteral("1000"), true, Folder));
        Run.View()->SetMaxLength(600);
        QStringList Added;
        for (int I = 0; I < 40; ++I) {
            Added << QStringLiteral("%1 ").arg(I, 2, 10, QLatin1Char('0')).repeated(8);
            AddLine(Run.View(), Added.last());
            QTRY_VERIFY(!Run.Auto()->Saving());  // the save runs while the event loop does
        }
        QStringList Kept;
        for (const QString &File : RtfFiles(Folder))
            Kept += LinesOfFile(QDir(Folder).filePath(File));
        Kept += Lines(Run.View());
        std::sort(Kept.begin(), Kept.end());
        QCOMPARE(Kept.size(), Added.size());
        for (int I = 0; I < Added.size(); ++I)
            QVERIFY2(Kept[I].endsWith(Added[I]), qPrintable(Kept[I]));
        QVERIFY(Run.Messages.List.isEmpty());

        // Lines arriving while a save writes (no event loop turn between
        // them), more than the bound cuts from the saved ones: the bound
        // waits for the file, up to twice its size.
        for (int I = 40; I < 99 && (!Run.Auto()->Saving() || Run.View()->TextLength() < 1100); ++I) {
            Added << QStringLiteral("%1 ").arg(I, 2, 10, QLatin1Char('0')).repeated(8);
            AddLine(Run.View(), Added.last());
        }
        QVERIFY(Run.Auto()->Saving());
        QTRY_VERIFY(!Run.Auto()->Saving());
        AddLine(Run.View(), QStringLiteral("end"));
        QTRY_VERIFY(!Run.Auto()->Saving());
        Kept.clear();
        for (const QString &File : RtfFiles(Folder))
            Kept += LinesOfFile(QDir(Folder).filePath(File));
        Kept += Lines(Run.View());
        Kept.removeIf([](const QString &L) { return L.endsWith(QLatin1String("end")); });
        std::sort(Kept.begin(), Kept.end());
        QCOMPARE(Kept.size(), Added.size());
        for (int I = 0; I < Added.size(); ++I)
            QVERIFY2(Kept[I].endsWith(Added[I]), qPrintable(Kept[I]));

        // Lines arriving faster than the view inserts them: a slice that ends
        // a line ends there, so automatic save finds the view at a line end
        // (it never saves a line still arriving) while the stream lasts.
        const QString Long(TRichView::SliceChars * 2 / 3, QLatin1Char('a'));
        const QColor Blue(0, 0, 200);
        const QString Tag = QStringLiteral("[12:00:00 000] ");
        const QString Break = QStringLiteral("\r\n");
        Run.View()->SetMaxLength(TRichView::MostCharacters);
        Run.View()->Append({{Tag, Blue}, {Long, Blue}, {Break, Blue}, {Tag, Blue}, {Long, Blue}, {Break, Blue}});
        QCOMPARE(Run.View()->document()->lastBlock().length(), 1);
        QVERIFY(Run.View()->LineText(Run.View()->LineCount() - 2).endsWith(Long));
        Run.View()->FlushUpdates();
    }

    void autoClearAtNPlusOne()
    {
        TRun Run(Ports);
        QVERIFY(Run.Confirm(true, QStringLiteral("3"), false, QString()));
        for (int I = 1; I <= 3; ++I)
            AddLine(Run.View(), QString::number(I));
        QCOMPARE(TAutoSave::CompleteLines(Run.View()), 3);
        AddLine(Run.View(), QStringLiteral("4"));
        QCOMPARE(Run.View()->TextLength(), 0);
    }

    // Nothing is applied until every field is valid.
    void dialogRefusalsChangeNothing()
    {
        TRun Run(Ports);
        Run->Settings.SetAutoSaveLineCount(7);
        Run->Settings.SetAutoSaveFolder("/old");
        struct TCase {
            const char *Lines;
            bool Save;
            QString Folder;
            const char *Message;
        } Cases[] = {
            // The standard error box, as the other dialogs give it.
            {"abc", true, QStringLiteral("/x"), "'abc' is not a valid integer value"},
            {"99999999999", true, QStringLiteral("/x"), "'99999999999' is not a valid integer value"},
            {"5", true, QString(), "AutoSave: Select a path to save please."},
        };
        for (const TCase &C : Cases) {
            Run.Messages.List.clear();
            QVERIFY(!Run.Confirm(true, QLatin1String(C.Lines), C.Save, C.Folder));
            QCOMPARE(Run.Messages.List, QStringList(QLatin1String(C.Message)));
            QVERIFY(!Run.Auto()->AutoClearOn && !Run.Auto()->AutoSaveOn);
            QCOMPARE(Run->Settings.AutoSaveLineCount(), 7);
            QCOMPARE(Run->Settings.AutoSaveFolder(), std::string("/old"));
        }
        Run.Form()->close();
        // Counts below 1 become 1; a long folder is cut to 255 characters.
        for (const char *Lines : {"0", "-5"}) {
            QVERIFY(Run.Confirm(true, QLatin1String(Lines), false, QString(300, QLatin1Char('d'))));
            QCOMPARE(Run->Settings.AutoSaveLineCount(), 1);
            QCOMPARE(Run->Settings.AutoSaveFolder(), std::string(255, 'd'));
        }
        Run.Form()->show();
        QCOMPARE(Run.Form()->Edit1->text(), QStringLiteral("1"));
        QVERIFY(Run.Form()->CheckBox1->isChecked() && !Run.Form()->CheckBox2->isChecked());
        // Every control by its caption.
        for (QWidget *W : std::initializer_list<QWidget *> {Run.Form()->CheckBox1, Run.Form()->CheckBox2,
                 Run.Form()->Edit1, Run.Form()->Edit2, Run.Form()->Button1, Run.Form()->Button2, Run.Form()->Button3})
            QVERIFY2(!QAccessible::queryAccessibleInterface(W)->text(QAccessible::Name).trimmed().isEmpty(),
                qPrintable(W->objectName()));
        QCOMPARE(QAccessible::queryAccessibleInterface(Run.Form()->Edit1)->text(QAccessible::Name),
            QStringLiteral("Receiving Lines:"));
        // The picker fills the folder; cancelled, it leaves it.
        Run.Form()->PickFolder = [](const QString &) { return QStringLiteral("/picked"); };
        Run.Form()->Button1->click();
        QCOMPARE(Run.Form()->Edit2->text(), QStringLiteral("/picked"));
        Run.Form()->PickFolder = [](const QString &) { return QString(); };
        Run.Form()->Button1->click();
        QCOMPARE(Run.Form()->Edit2->text(), QStringLiteral("/picked"));
    }

    // A missing folder is told once and stops auto save; until the user has
    // seen it the view loses nothing, not even to the line bound.
    void missingFolderToldOnceAndTheBound()
    {
        TRun Run(Ports);
        for (int I = 0; I < TAutoSave::LineBound; ++I)
            AddLine(Run.View(), QString::number(I));
        QCOMPARE(TAutoSave::CompleteLines(Run.View()), TAutoSave::LineBound);
        const QString Folder = Home->filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(Folder));
        QVERIFY(Run.Confirm(false, QStringLiteral("100"), true, Folder));
        QTRY_COMPARE(RtfFiles(Folder).size(), qsizetype(1));
        QTRY_COMPARE(Run.View()->TextLength(), 0);
        QVERIFY(QDir(Folder).removeRecursively());

        Run.Messages.List.clear();
        for (int I = 0; I < 150; ++I)
            AddLine(Run.View(), QStringLiteral("n%1").arg(I));
        QCOMPARE(TAutoSave::CompleteLines(Run.View()), 150);
        QTRY_COMPARE(Run.Messages.List.size(), qsizetype(1));
        QVERIFY(Run.Messages.List.first().contains(Folder));
        QVERIFY(!Run.Auto()->AutoSaveOn);
        for (int I = 0; I < 10; ++I)
            AddLine(Run.View(), QStringLiteral("m%1").arg(I));
        QTest::qWait(50);
        QCOMPARE(Run.Messages.List.size(), qsizetype(1));
        QCOMPARE(TAutoSave::CompleteLines(Run.View()), 160);

        // With nothing on, the bound cuts the oldest 20,000 lines at once.
        for (int I = 160; I < TAutoSave::LineBound; ++I)
            AddLine(Run.View(), QString::number(I));
        QCOMPARE(TAutoSave::CompleteLines(Run.View()), TAutoSave::LineBound);
        // The user has scrolled back to older lines and put the caret there.
        Run.View()->FlushUpdates();
        Run.View()->verticalScrollBar()->setValue(Run.View()->verticalScrollBar()->maximum() / 2);
        Run.View()->SetSelection(Run.View()->LineStart(Run.View()->FirstVisibleLine() + 2), 3);
        QVERIFY(!Run.View()->FollowsEnd());
        const QString Looked = Run.View()->LineText(Run.View()->FirstVisibleLine());
        AddLine(Run.View(), QStringLiteral("last"));
        QCOMPARE(TAutoSave::CompleteLines(Run.View()), TAutoSave::LineBound + 1 - TAutoSave::LinesCut);
        QVERIFY(Run.View()->LineText(0).endsWith(QStringLiteral("] 20000")));
        QVERIFY(Run.View()->LineText(TAutoSave::CompleteLines(Run.View()) - 1).endsWith(u"last"));
        // The caret goes to the end of the text; the view stays where it was.
        QCOMPARE(Run.View()->textCursor().position(), Run.View()->TextLength());
        QVERIFY(!Run.View()->textCursor().hasSelection());
        Run.View()->FlushUpdates();
        QCOMPARE(Run.View()->LineText(Run.View()->FirstVisibleLine()), Looked);
    }

    // The view is copied (in slices when large) and the file written on a
    // worker while lines go on arriving. The file holds the bytes of the view
    // as it was when the last line came (what a save made on the spot wrote),
    // and only its lines leave the view once it is written, whatever happened
    // to the view meanwhile: the character bound shrunk (its cut waits for
    // the file), a clear (which, while the copy is made, leaves nothing to
    // save).
    void autoSaveOnAWorkerKeepsLaterLines()
    {
        struct TCase {
            const char *Meanwhile;
            int Lines;
            qsizetype Files;
        } Cases[] = {
            {"nothing", 300, 1},
            {"bound", 300, 1},
            {"clear", 300, 1},
            {"turns", 13'000, 1},
            {"clear", 13'000, 0},
        };
        for (const TCase &C : Cases) {
            const QByteArray Name = QByteArray(C.Meanwhile) + ' ' + QByteArray::number(C.Lines);
            TRun Run(Ports);
            const QString Folder = Home->filePath(QStringLiteral("logs-%1").arg(QString::fromLatin1(Name)));
            QVERIFY(QDir().mkpath(Folder));
            QVERIFY(Run.Confirm(false, QString::number(C.Lines), true, Folder));
            QByteArray Expected;
            QObject::connect(Run.View(), &TRichView::Changed, Run.View(), [&] {
                if (Run.Auto()->Saving() && Expected.isEmpty())
                    Expected = Run.View()->ToRtf();
            });
            for (int I = 0; I < C.Lines; ++I)
                AddLine(Run.View(), QStringLiteral("old %1 ").arg(I) + QString(60, QLatin1Char('5')),
                    I % 2 ? QColor(200, 0, 0) : QColor(0, 0, 200));
            // The save runs; its steps are taken by the event loop.
            QVERIFY2(Run.Auto()->Saving(), Name);
            QVERIFY(!Expected.isEmpty());
            QCOMPARE(Run.View()->TextLength() > TAutoSave::CopyChars, C.Lines > 300);
            const QByteArrayView Meanwhile(C.Meanwhile);
            if (Meanwhile == "bound")
                Run.View()->SetMaxLength(Run.View()->TextLength());
            else if (Meanwhile == "clear")
                Run.View()->ClearText();
            for (int I = 0; I < 2; ++I) {
                AddLine(Run.View(), QStringLiteral("new %1").arg(I));
                if (Meanwhile == "turns")
                    QCoreApplication::processEvents();
            }
            // The character bound waits for the file (up to twice its size).
            if (Meanwhile == "bound")
                QVERIFY(Run.View()->LineText(0).contains(u"old 0 "));
            Run.View()->Append(QStringLiteral("partial"));
            QTRY_VERIFY(!Run.Auto()->Saving());
            QCOMPARE(RtfFiles(Folder).size(), C.Files);
            if (C.Files > 0) {
                QFile Saved(Run.Auto()->LastSaved());
                QVERIFY(Saved.open(QIODevice::ReadOnly));
                QVERIFY2(Saved.readAll() == Expected, Name);
            }
            QCOMPARE(Run.View()->LineCount(), 3);
            QVERIFY2(Run.View()->LineText(0).endsWith(u"] new 0"), qPrintable(Run.View()->LineText(0)));
            QVERIFY(Run.View()->LineText(1).endsWith(u"] new 1"));
            QCOMPARE(Run.View()->LineText(2), QStringLiteral("partial"));
            QVERIFY(Run.Messages.List.isEmpty());
        }
    }

    // A failing save shows one box at a time and is tried again once it is
    // dismissed; no line is lost meanwhile. (The failure: a file-size limit,
    // which stops root as a full disk would.)
    void failedAutoSaveOneBoxAtATime()
    {
        TRun Run(Ports);
        const QString Folder = Home->filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(Folder));
        int Boxes = 0, Nested = 0;
        bool Open = false;
        std::unique_ptr<TFileSizeLimit> Limit = std::make_unique<TFileSizeLimit>(64);
        Run.Auto()->Warn = [&](const QString &, const QString &Text) {
            if (Open)
                ++Nested;
            Open = true;
            ++Boxes;
            QVERIFY(Text.contains(QStringLiteral("File too large")));
            // Lines keep arriving while the box is up.
            for (int I = 0; I < 5; ++I)
                AddLine(Run.View(), QStringLiteral("while%1-%2").arg(Boxes).arg(I));
            QTest::qWait(20);
            if (Boxes == 2)
                Limit.reset();
            Open = false;
        };
        QVERIFY(Run.Confirm(false, QStringLiteral("2"), true, Folder));
        AddLine(Run.View(), QStringLiteral("first"));
        AddLine(Run.View(), QStringLiteral("second"));
        QTRY_COMPARE(RtfFiles(Folder).size(), qsizetype(1));
        QCOMPARE(Boxes, 2);
        QCOMPARE(Nested, 0);
        const QStringList Saved = LinesOfFile(QDir(Folder).filePath(RtfFiles(Folder).first()));
        QCOMPARE(Saved.size(), qsizetype(12));
        QVERIFY(Saved.first().endsWith(u"first"));
        QVERIFY(Saved.last().endsWith(u"while2-4"));
        QCOMPARE(Run.View()->TextLength(), 0);
    }

    // The file fails while the view is still being copied in slices: the
    // copy stops, the box is shown once, and the retry saves every line.
    void failureWhileCopyingLosesNothing()
    {
        TRun Run(Ports);
        const QString Folder = Home->filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(Folder));
        auto Limit = std::make_unique<TFileSizeLimit>(4096);
        int Boxes = 0;
        Run.Auto()->Warn = [&](const QString &, const QString &Text) {
            ++Boxes;
            QVERIFY(Text.contains(QStringLiteral("File too large")));
            Limit.reset();
        };
        const int N = 20'000;
        QVERIFY(Run.Confirm(false, QString::number(N), true, Folder));
        for (int I = 0; I < N; ++I)
            AddLine(Run.View(), QStringLiteral("old %1 ").arg(I) + QString(60, QLatin1Char('5')));
        QVERIFY(Run.View()->TextLength() > 2 * TAutoSave::CopyChars);
        QVERIFY(Run.Auto()->Saving());
        QTRY_VERIFY_WITH_TIMEOUT(!RtfFiles(Folder).isEmpty() && !Run.Auto()->Saving(), 20'000);
        QCOMPARE(Boxes, 1);
        const QStringList Saved = LinesOfFile(Run.Auto()->LastSaved());
        QCOMPARE(Saved.size(), qsizetype(N));
        QVERIFY(Saved.first().endsWith(QStringLiteral("old 0 ") + QString(60, QLatin1Char('5'))));
        QVERIFY(Saved.last().contains(u"old 19999 "));
        QCOMPARE(Run.View()->TextLength(), 0);
    }

    // Both views to a file and back, colours kept.
    void saveAndOpenRoundTrips()
    {
        TRun Run(Ports);
        TMessageCommands *Files = Run->MessageCommands();
        for (TRichView *View : {Run.View(), Run->SendForm->RichSend}) {
            View->ClearText();
            AddLine(View, QStringLiteral("01 02"), QColor(0, 0, 200));
            AddLine(View, QStringLiteral("03 04"), QColor(200, 0, 0));
            const QString Text = View->toPlainText();
            const QString Path = Home->filePath(QStringLiteral("view%1").arg(View == Run.View()));
            QString Proposed;
            Files->AskSaveName = [&](const QString &P) {
                Proposed = P;
                return Path;
            };
            Files->SaveFile(View);
            QVERIFY(QRegularExpression(QStringLiteral("^\\d{14}$")).match(Proposed).hasMatch());
            QVERIFY(QFile::exists(Path + QStringLiteral(".rtf")));
            QCOMPARE(QString::fromLocal8Bit(Run->Settings.LastMessageFile()), Path + QStringLiteral(".rtf"));
            View->ClearText();
            Files->AskOpenName = [&](const QString &P) {
                Proposed = P;
                return P;
            };
            Files->OpenFile(View);
            QCOMPARE(Proposed, Path + QStringLiteral(".rtf"));
            QCOMPARE(View->toPlainText(), Text);
            QCOMPARE(ColourAt(View, 0), QColor(128, 128, 128));
            QCOMPARE(ColourAt(View, View->LineStart(0) + 15), QColor(0, 0, 200));
            QCOMPARE(ColourAt(View, View->LineStart(1) + 15), QColor(200, 0, 0));
        }
        // Plain text is loaded as text; a missing file is refused.
        const QString Plain = Home->filePath(QStringLiteral("plain.txt"));
        QFile F(Plain);
        QVERIFY(F.open(QIODevice::WriteOnly) && F.write("{not rtf}\nline 2\n") > 0);
        F.close();
        Files->AskOpenName = [&](const QString &) { return Plain; };
        Files->OpenFile(Run->SendForm->RichSend);
        QCOMPARE(Run->SendForm->RichSend->toPlainText(), QStringLiteral("{not rtf}\nline 2\n"));
        Files->AskOpenName = [&](const QString &) { return Plain + QStringLiteral("x"); };
        Files->OpenFile(Run->SendForm->RichSend);
        QCOMPARE(Run.Messages.List, QStringList(QStringLiteral("Open: File does not exist.")));
        QCOMPARE(QString::fromLocal8Bit(Run->Settings.LastMessageFile()), Plain);
        // The menu items and the tool button reach the commands.
        int Asked = 0;
        Files->AskSaveName = [&](const QString &) {
            ++Asked;
            return QString();
        };
        Run.Main->findChild<QAction *>(QStringLiteral("SaveButton"))->trigger();
        QCOMPARE(Asked, 1);
    }

    void suffixAndOverwriteQuestion()
    {
        TRun Run(Ports);
        TMessageCommands *Files = Run->MessageCommands();
        AddLine(Run.View(), QStringLiteral("new"));
        const QString Log = Home->filePath(QStringLiteral("log.rtf"));
        struct TCase {
            QString Chosen;
            bool Yes;
            bool Asked, Written;
        } Cases[] = {
            {Home->filePath(QStringLiteral("log")), false, true, false},
            {Log, false, true, false},
            {Log, true, true, true},
            {Home->filePath(QStringLiteral("LOG2.RTF")), false, false, true},
        };
        for (const TCase &C : Cases) {
            QFile::remove(Log);
            QFile Old(Log);
            QVERIFY(Old.open(QIODevice::WriteOnly) && Old.write("old") == 3);
            Old.close();
            Run->Settings.SetLastMessageFile("/before");
            bool Asked = false;
            Files->AskSaveName = [&](const QString &) { return C.Chosen; };
            Files->AskReplace = [&](const QString &Path) {
                Asked = true;
                return Path == Log && C.Yes;
            };
            Files->SaveFile(Run.View());
            QCOMPARE(Asked, C.Asked);
            QVERIFY(!QFile::exists(Log + QStringLiteral(".rtf")));
            const QString Target = WithRtfSuffix(C.Chosen);
            QCOMPARE(QString::fromLocal8Bit(Run->Settings.LastMessageFile()),
                C.Written ? Target : QStringLiteral("/before"));
            QFile Got(Log);
            QVERIFY(Got.open(QIODevice::ReadOnly));
            QCOMPARE(Got.readAll() == "old", !(C.Written && Target == Log));
        }
    }

    // A failed save is told with the system's reason, keeps the last message
    // file, and leaves the old file whole.
    void failedSaveIsToldAndKeepsTheOldFile()
    {
        TRun Run(Ports);
        TMessageCommands *Files = Run->MessageCommands();
        for (int I = 0; I < 50; ++I)
            AddLine(Run.View(), QStringLiteral("line %1").arg(I));
        const QString Log = Home->filePath(QStringLiteral("log.rtf"));
        QFile Old(Log);
        QVERIFY(Old.open(QIODevice::WriteOnly) && Old.write("old") == 3);
        Old.close();
        Files->AskReplace = [](const QString &) { return true; };
        const QString NotAFolder = Home->filePath(QStringLiteral("plain.txt"));
        QFile(NotAFolder).open(QIODevice::WriteOnly);
        struct TCase {
            QString Chosen;
            rlim_t Limit;
            const char *Reason;
        } Cases[] = {
            {NotAFolder + QStringLiteral("/x"), RLIM_INFINITY, "Not a directory"},
            {Log, 256, "File too large"},
        };
        for (const TCase &C : Cases) {
            Run.Messages.List.clear();
            Run->Settings.SetLastMessageFile("/before");
            Files->AskSaveName = [&](const QString &) { return C.Chosen; };
            {
                TFileSizeLimit Limit(C.Limit);
                Files->SaveFile(Run.View());
            }
            QVERIFY2(Run.Messages.List.size() == 1,
                qPrintable(Run.Messages.List.join(u'|') + QString::fromLocal8Bit(Run->Settings.LastMessageFile())));
            QVERIFY2(
                Run.Messages.List.first().contains(QLatin1String(C.Reason)), qPrintable(Run.Messages.List.first()));
            QCOMPARE(Run->Settings.LastMessageFile(), std::string("/before"));
        }
        QFile Got(Log);
        QVERIFY(Got.open(QIODevice::ReadOnly));
        QCOMPARE(Got.readAll(), QByteArray("old"));
        QCOMPARE(QDir(Home->path()).entryList({QStringLiteral("log.rtf*")}, QDir::Files | QDir::Hidden),
            QStringList(QStringLiteral("log.rtf")));
    }

    void commandLineFile()
    {
        const QString Path = Home->filePath(QStringLiteral("start.rtf"));
        {
            TRichView Source;
            AddLine(&Source, QStringLiteral("AB CD"), QColor(0, 0, 200));
            WriteMessageFile(Path, Source.ToRtf());
        }
        TRun Run(Ports, {Path, QStringLiteral("ignored")});
        QVERIFY(Run.View()->LineText(0).endsWith(u"AB CD"));
        QCOMPARE(ColourAt(Run.View(), 15), QColor(0, 0, 200));
        QVERIFY(Run->Settings.LastMessageFile().empty());
        Run.Main->close();
        TRun Missing(Ports, {Home->filePath(QStringLiteral("none.rtf"))});
        QCOMPARE(Missing.View()->TextLength(), 0);
        QVERIFY(Missing.Messages.List.isEmpty());
    }
};

QTEST_MAIN(TestRecvFiles)
#include "tst_recvfiles.moc"
