#include "AutoSave.h"

#include "MessageFiles.h"
#include "RichView.h"
#include "RtfWriter.h"

#include <QFileInfo>
#include <QScrollBar>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// Makes the pieces of an automatic save RTF and writes them to its file, on
// the worker thread, in the order they were copied.
class TSaveWriter {
public:
    TSaveWriter(const QString &Path, const TRtfSnapshot &Copy) : FPath(Path), FRtf(Copy) { }

    void Put(TRtfSnapshot Piece)
    {
        const std::lock_guard Lock(FMutex);
        if (FStopped)
            return;
        FQueued += Piece.Characters();
        FPieces.push_back(std::move(Piece));
        FWake.notify_one();
    }
    // The last piece has been put.
    void Finish() { Stop(FFinished); }
    // Nothing more is written and the file is left as it was.
    void Cancel() { Stop(FCancelled); }
    qsizetype Queued()
    {
        const std::lock_guard Lock(FMutex);
        return FQueued;
    }

    // The error, empty when the file was written whole (or the save cancelled).
    QString Run()
    {
        QString Error;
        try {
            Write();
        } catch (const std::exception &E) {
            Error = QString::fromLocal8Bit(E.what());
        }
        const std::lock_guard Lock(FMutex);
        FStopped = true;
        FPieces.clear();
        FQueued = 0;
        return Error;
    }

private:
    void Stop(bool &Flag)
    {
        const std::lock_guard Lock(FMutex);
        Flag = true;
        FWake.notify_one();
    }

    void Write()
    {
        TMessageFileWriter File(FPath);
        File.Write(FRtf.Begin());
        for (;;) {
            std::optional<TRtfSnapshot> Piece;
            {
                std::unique_lock Lock(FMutex);
                FWake.wait(Lock, [this] { return FCancelled || FFinished || !FPieces.empty(); });
                if (FCancelled)
                    return;
                if (FPieces.empty())
                    break;
                Piece.emplace(std::move(FPieces.front()));
                FPieces.pop_front();
            }
            File.Write(FRtf.Piece(*Piece));
            const std::lock_guard Lock(FMutex);
            FQueued -= Piece->Characters();
        }
        File.Write(TRtfPieceWriter::End());
        File.Commit();
    }

    const QString FPath;
    TRtfPieceWriter FRtf;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<TRtfSnapshot> FPieces;
    qsizetype FQueued = 0;
    bool FFinished = false;
    bool FCancelled = false;
    bool FStopped = false;  // the worker is done: pieces are not kept
};

TAutoSave::TAutoSave(TRichView *View, TSettingsRecord &Settings, QObject *Parent)
    : QObject(Parent), FView(View), FSettings(Settings)
{
    connect(View, &TRichView::Changed, this, &TAutoSave::RichShowChange);
    FStep.setSingleShot(true);
    connect(&FStep, &QTimer::timeout, this, [this] {
        if (FCopy)
            CopySlice();
        else if (FRemoving)
            RemoveSaved();
    });
}

TAutoSave::~TAutoSave()
{
    disconnect(FFollow);
    if (FWriter)
        FWriter->Cancel();
    if (FWorker) {
        FWorker->wait();
        delete FWorker;
    }
}

int TAutoSave::CompleteLines(const TRichView *View)
{
    const int Lines = View->LineCount();
    return View->document()->lastBlock().length() == 1 ? Lines - 1 : Lines;
}

void TAutoSave::Tell(const QString &Text, bool StopAutoSave)
{
    // Out of the change handler: a box opened here would run its own event
    // loop inside an edit of the view. While it is up nothing is saved,
    // emptied or cut; its dismissal looks again.
    FTelling = true;
    QTimer::singleShot(0, this, [this, Text, StopAutoSave] {
        if (StopAutoSave)
            AutoSaveOn = false;
        if (Warn)
            Warn(QStringLiteral("AutoSave"), Text);
        FTelling = false;
        RichShowChange();
    });
}

void TAutoSave::RichShowChange()
{
    if (FTelling || FRunning || Saving())
        return;
    // A line still arriving is not parted from its start.
    if (FView->document()->lastBlock().length() != 1)
        return;
    FRunning = true;
    const int Lines = CompleteLines(FView);
    const int N = FSettings.AutoSaveLineCount();
    // Long lines fill the view's character bound (or many short ones its
    // line bound) before N lines: the view would then drop its oldest text,
    // so it is saved instead. Five sixths leave room for the next lines.
    const bool Full = FView->TextLength() > FView->CharacterBound() / 6 * 5 || Lines > LineBound;
    if (AutoSaveOn && Lines > 0 && (Lines >= N || Full)) {
        const QString Folder = QString::fromLocal8Bit(FSettings.AutoSaveFolder());
        if (!QFileInfo(Folder).isDir()) {
            Tell(QStringLiteral("The folder \"%1\" for automatic saving does not exist. Automatic saving has "
                                "stopped; the received lines stay in the view.")
                     .arg(Folder),
                true);
            FRunning = false;
            return;
        }
        StartSave(FreeAutoSaveName(Folder, Now()));
        FRunning = false;
        return;
    }
    if (AutoClearOn && Lines > N) {
        FView->ClearText();
        FRunning = false;
        return;
    }
    if (Lines > LineBound) {
        // The view keeps what the user looks at in place, or follows the end;
        // the caret goes to the end of the text, where the next lines come.
        FView->DeleteFirstLines(LinesCut);
        QScrollBar *Across = FView->horizontalScrollBar();
        QScrollBar *Down = FView->verticalScrollBar();
        const int Left = Across->value();
        const int Top = Down->value();
        const bool Follow = FView->FollowsEnd();
        FView->SetSelection(FView->TextLength(), 0);
        Across->setValue(Left);
        if (!Follow)
            Down->setValue(Top);
    }
    FRunning = false;
}

void TAutoSave::StartSave(const QString &Path)
{
    // Every line in the view is complete: the saved ones end where the text
    // does now.
    FSavePath = Path;
    FSavedEnd = FView->TextLength();
    FView->HoldBound(true);
    FCopy = std::make_unique<TRtfSnapshot>(*FView->document(), FSavedEnd);
    FWriter = std::make_shared<TSaveWriter>(Path, *FCopy);
    auto Error = std::make_shared<QString>();
    FWorker = QThread::create([Writer = FWriter, Error] { *Error = Writer->Run(); });
    connect(FWorker, &QThread::finished, this, [this, Error] { SaveFinished(*Error); });
    FWorker->start();
    FFollow =
        connect(FView->document(), &QTextDocument::contentsChange, this, [this](int From, int Removed, int Added) {
            if (From >= FSavedEnd)
                return;
            if (FCopy) {
                // Not the lines being copied any more (cut, cleared, replaced):
                // the save is dropped, and started again when the worker has
                // stopped if still due.
                FCopy.reset();
                FStep.stop();
                FWriter->Cancel();
                FCancelled = true;
                disconnect(FFollow);
                FView->HoldBound(false);
                return;
            }
            // Cuts before the end (the character bound, a clear, an opened file)
            // move it, so that only saved lines ever leave the view.
            FSavedEnd = From + Removed <= FSavedEnd ? FSavedEnd + Added - Removed : From;
        });
    CopySlice();
}

void TAutoSave::CopySlice()
{
    if (FWriter->Queued() > MostQueued) {
        FStep.start(2);
        return;
    }
    const bool Whole = FCopy->CopyMore(*FView->document(), CopyChars);
    FWriter->Put(FCopy->TakePiece());
    if (!Whole) {
        FStep.start(0);
        return;
    }
    FCopy.reset();
    FWriter->Finish();
}

void TAutoSave::SaveFinished(const QString &Error)
{
    FWorker->wait();
    delete FWorker;
    FWorker = nullptr;
    FWriter.reset();
    if (std::exchange(FCancelled, false)) {
        RichShowChange();
        return;
    }
    // A write that failed ends the copy too.
    FCopy.reset();
    FStep.stop();
    FView->HoldBound(false);
    if (!Error.isEmpty()) {
        disconnect(FFollow);
        Tell(QStringLiteral("The received lines could not be saved automatically; nothing was cleared, and it "
                            "is tried again when this message is closed.\n%1")
                 .arg(Error),
            false);
        return;
    }
    FLastSaved = FSavePath;
    FRemoving = true;
    RemoveSaved();
}

void TAutoSave::RemoveSaved()
{
    FRunning = true;
    const int Lines = FSavedEnd > 0 ? FView->LineAt(FSavedEnd) : 0;
    if (Lines > RemoveLines)
        FView->DeleteFirstLines(RemoveLines);
    else if (Lines > 0 && FSavedEnd >= FView->TextLength())
        FView->ClearText();
    else if (Lines > 0)
        FView->DeleteFirstLines(Lines);
    FRunning = false;
    if (FSavedEnd > 0 && FView->LineAt(FSavedEnd) > 0) {
        FStep.start(0);
        return;
    }
    FRemoving = false;
    disconnect(FFollow);
    // The saved lines' text would otherwise stay in the view's buffer and
    // the lines arriving after them take new memory.
    FRunning = true;
    FView->CompactText();
    FRunning = false;
    Q_EMIT Saved(FLastSaved);
    // Lines that arrived meanwhile may make the next save due.
    RichShowChange();
}
