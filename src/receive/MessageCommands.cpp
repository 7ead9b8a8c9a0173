#include "MessageCommands.h"

#include "MessageFiles.h"
#include "RichView.h"
#include "SettingsRecord.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextDocument>

void SetDocumentFile(TRichView *View, const QString &Path)
{
    View->document()->setMetaInformation(QTextDocument::DocumentTitle, QFileInfo(Path).fileName());
}

QString DocumentName(const TRichView *View)
{
    return View->document()->metaInformation(QTextDocument::DocumentTitle);
}

TMessageCommands::TMessageCommands(TSettingsRecord &Settings, QWidget *Owner)
    : QObject(Owner), FSettings(Settings), FOwner(Owner)
{
    AskSaveName = [this](const QString &Proposed) {
        return QFileDialog::getSaveFileName(FOwner, QString(), Proposed, QStringLiteral("rtf (*.rtf);;all (*)"));
    };
    AskOpenName = [this](const QString &Proposed) {
        return QFileDialog::getOpenFileName(FOwner, QString(), Proposed, QStringLiteral("All (*)"));
    };
    AskReplace = [this](const QString &) {
        QMessageBox Box(QMessageBox::NoIcon, QStringLiteral("Save"),
            QStringLiteral("The file already exists.Do you want to replace it."), QMessageBox::Yes | QMessageBox::No,
            FOwner);
        return Box.exec() == QMessageBox::Yes;
    };
    Warn = [this](const QString &Caption, const QString &Text) { QMessageBox::warning(FOwner, Caption, Text); };
}

void TMessageCommands::SaveFile(TRichView *View)
{
    const QString Chosen = AskSaveName(MessageFileStamp(QDateTime::currentDateTime()));
    if (Chosen.isEmpty())
        return;
    const QString Path = WithRtfSuffix(Chosen);
    if (QFileInfo::exists(Path) && !AskReplace(Path))
        return;
    try {
        WriteMessageFile(Path, View->ToRtf());
    } catch (const std::exception &E) {
        // The last message file keeps naming a file that exists.
        Warn(QStringLiteral("Save"), QString::fromLocal8Bit(E.what()));
        return;
    }
    FSettings.SetLastMessageFile(RecordText(Path));
    SetDocumentFile(View, Path);
}

void TMessageCommands::OpenFile(TRichView *View)
{
    const QString Chosen = AskOpenName(QString::fromLocal8Bit(FSettings.LastMessageFile()));
    if (Chosen.isEmpty())
        return;
    if (!QFileInfo(Chosen).isFile()) {
        Warn(QStringLiteral("Open"), QStringLiteral("File does not exist."));
        return;
    }
    FSettings.SetLastMessageFile(RecordText(Chosen));
    try {
        View->LoadFile(Chosen);
        SetDocumentFile(View, Chosen);
    } catch (const std::exception &E) {
        Warn(QStringLiteral("Open"), QString::fromLocal8Bit(E.what()));
    }
}
