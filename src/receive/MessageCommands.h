#pragma once
// Saving a view to a message file and opening one into a view: the File
// menu's four commands and the first tool button.

#include <QObject>
#include <QString>

#include <functional>

class QWidget;
class TRichView;
class TSettingsRecord;

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
