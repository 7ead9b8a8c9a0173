#pragma once
// Keeps the receive view in check while it runs unattended: saves it to a
// new file in a folder and empties it at N lines, or earlier where the view
// would otherwise drop its oldest text (auto save), empties it past
// N lines (auto clear), and cuts its oldest 20,000 lines past 120,000.
//
// Only complete lines count, and nothing is saved or emptied while the last
// line is still arriving (a long line comes in slices): a saved file ends at
// a line break and the next one starts at the start of a line.
//
// A save that cannot be made never costs a line: the view is neither emptied
// nor cut while the user is being told, one box at a time; a missing folder
// is told once and stops auto save.
//
// Saving a full view would hold the window for over half a second, so the
// view is copied a slice at a time between the event loop's other work, each
// slice made RTF and written on a worker thread as soon as it is copied (no
// whole copy of the view is ever held), and the saved lines removed a step at
// a time, while lines go on arriving and being shown. The saved lines
// leave the view only once their file is written; lines that arrived
// meanwhile stay, and nothing else is saved, cut or emptied while a save runs.

#include "SettingsRecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QThread;
class TRichView;
class TRtfSnapshot;
class TSaveWriter;

class TAutoSave : public QObject {
    Q_OBJECT
public:
    static constexpr int LineBound = 120'000;
    static constexpr int LinesCut = 20'000;
    // Characters copied, and saved lines removed, in one turn of the event
    // loop (about ten milliseconds each).
    static constexpr int CopyChars = 1 << 19;
    static constexpr int RemoveLines = 5'000;
    // Copied characters waiting for the worker at most: the copy waits for
    // a slow disk rather than pile up in memory.
    static constexpr int MostQueued = 4 * CopyChars;

    TAutoSave(TRichView *View, TSettingsRecord &Settings, QObject *Parent = nullptr);
    // Waits for a save that is being written.
    ~TAutoSave() override;

    // Off at every start; switched by the dialog.
    bool AutoSaveOn = false;
    bool AutoClearOn = false;

    // Tells the user; returns when the user has dismissed the message.
    std::function<void(const QString &Caption, const QString &Text)> Warn;
    // The local time that names the files.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // Complete lines: an empty last line after a final break is not counted.
    static int CompleteLines(const TRichView *View);

    // Run after every change of the view.
    void RichShowChange();

    // The file the last automatic save wrote (empty before any).
    QString LastSaved() const { return FLastSaved; }
    // A save is under way: being copied, written, or its lines removed.
    bool Saving() const { return FCopy || FWorker || FRemoving; }

Q_SIGNALS:
    // An automatic save has been written and its lines have left the view.
    void Saved(const QString &Path);

private:
    void Tell(const QString &Text, bool StopAutoSave);
    void StartSave(const QString &Path);
    void CopySlice();
    void SaveFinished(const QString &Error);
    void RemoveSaved();

    TRichView *FView;
    TSettingsRecord &FSettings;
    QString FLastSaved;
    bool FTelling = false;
    bool FRunning = false;
    QString FSavePath;
    std::unique_ptr<TRtfSnapshot> FCopy;  // being made
    std::shared_ptr<TSaveWriter> FWriter;
    QThread *FWorker = nullptr;  // writing the file
    bool FCancelled = false;     // the lines being copied changed
    bool FRemoving = false;      // the saved lines leave the view
    QTimer FStep;                // the next slice of the copy or the removal
    // The end of the lines being saved, moved as the view changes before it.
    int FSavedEnd = 0;
    QMetaObject::Connection FFollow;
};
