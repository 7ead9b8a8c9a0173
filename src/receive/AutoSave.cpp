#include "AutoSave.h"

#include "MessageFiles.h"
#include "RichView.h"
#include "RtfWriter.h"

#include <QFileInfo>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <memory>

TAutoSave::TAutoSave(TRichView *View, TSettingsRecord &Settings, QObject *Parent)
    : QObject(Parent), FView(View), FSettings(Settings)
{
    connect(View, &TRichView::Changed, this, &TAutoSave::RichShowChange);
    FStep.setSingleShot(true);
    FStep.setInterval(0);
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
        // The view keeps what the user looks at in place, or follows the end.
        FView->DeleteFirstLines(LinesCut);
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
    FFollow =
        connect(FView->document(), &QTextDocument::contentsChange, this, [this](int From, int Removed, int Added) {
            if (From >= FSavedEnd)
                return;
            if (FCopy) {
                // Not the lines being copied any more (cut, cleared, replaced):
                // the change's own notice starts the save again if still due.
                FCopy.reset();
                FStep.stop();
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
    if (!FCopy->CopyMore(*FView->document(), CopyChars)) {
        FStep.start();
        return;
    }
    std::shared_ptr<const TRtfSnapshot> Snapshot(FCopy.release());
    auto Error = std::make_shared<QString>();
    FWorker = QThread::create([Snapshot, Path = FSavePath, Error] {
        try {
            WriteMessageFile(Path, WriteRtf(*Snapshot));
        } catch (const std::exception &E) {
            *Error = QString::fromLocal8Bit(E.what());
        }
    });
    connect(FWorker, &QThread::finished, this, [this, Error] { SaveFinished(*Error); });
    FWorker->start();
}

void TAutoSave::SaveFinished(const QString &Error)
{
    FWorker->wait();
    delete FWorker;
    FWorker = nullptr;
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
        FStep.start();
        return;
    }
    FRemoving = false;
    disconnect(FFollow);
    Q_EMIT Saved(FLastSaved);
    // Lines that arrived meanwhile may make the next save due.
    RichShowChange();
}
