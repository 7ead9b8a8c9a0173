#pragma once
// Saving a view to a message file and opening one into a view: the File
// menu's four commands and the first tool button.

#include <QObject>
#include <QString>

#include <functional>

class QWidget;
class TRichView;
class TSettingsRecord;

// The name a view's text goes by (a print job's title): the file it was
// last opened from or saved to, kept with its document, which forgets it
// when emptied. Empty when there is none.
void SetDocumentFile(TRichView *View, const QString &Path);
QString DocumentName(const TRichView *View);

class TMessageCommands : public QObject {
    Q_OBJECT
public:
    TMessageCommands(TSettingsRecord &Settings, QWidget *Owner);

    void SaveFile(TRichView *View);
    void OpenFile(TRichView *View);

    // The user's side, replaceable: the file dialogs return an empty string
    // when cancelled; AskReplace is true only for Yes.
    std::function<QString(const QString &Proposed)> AskSaveName;
    std::function<QString(const QString &Proposed)> AskOpenName;
    std::function<bool(const QString &Path)> AskReplace;
    std::function<void(const QString &Caption, const QString &Text)> Warn;

private:
    TSettingsRecord &FSettings;
    QWidget *FOwner;
};
