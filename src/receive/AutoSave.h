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

#include "SettingsRecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class TRichView;

class TAutoSave : public QObject {
    Q_OBJECT
public:
    static constexpr int LineBound = 120'000;
    static constexpr int LinesCut = 20'000;

    TAutoSave(TRichView *View, TSettingsRecord &Settings, QObject *Parent = nullptr);

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

private:
    void Tell(const QString &Text, bool StopAutoSave);

    TRichView *FView;
    TSettingsRecord &FSettings;
    QString FLastSaved;
    bool FTelling = false;
    bool FRunning = false;
};
