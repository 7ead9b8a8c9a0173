#include "AutoSave.h"

#include "MessageFiles.h"
#include "RichView.h"

#include <QFileInfo>
#include <QTimer>

TAutoSave::TAutoSave(TRichView *View, TSettingsRecord &Settings, QObject *Parent)
    : QObject(Parent), FView(View), FSettings(Settings)
{
    connect(View, &TRichView::Changed, this, &TAutoSave::RichShowChange);
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
    if (FTelling || FRunning)
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
        const QString Path = FreeAutoSaveName(Folder, Now());
        try {
            WriteMessageFile(Path, FView->ToRtf());
        } catch (const std::exception &E) {
            Tell(QStringLiteral("The received lines could not be saved automatically; nothing was cleared, and it "
                                "is tried again when this message is closed.\n%1")
                     .arg(QString::fromLocal8Bit(E.what())),
                false);
            FRunning = false;
            return;
        }
        FLastSaved = Path;
        FView->ClearText();
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
