#pragma once
// The "Auto Save or Clear" dialog: the line count N and the folder of
// automatic saving, and whether the view is saved or emptied at N lines.
// Nothing is applied until every field is valid.

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class TAutoSave;
class TSettingsRecord;

class TTimeSaveForm : public QDialog {
    Q_OBJECT
public:
    TTimeSaveForm(TAutoSave *AutoSave, TSettingsRecord &Settings, QWidget *Parent = nullptr);

    // Refusals, with the dialog as owner.
    std::function<void(const QString &Caption, const QString &Text)> Warn;
    // The standard error box, for a line count that is not an integer.
    std::function<void(const QString &Text)> StandardError;
    // The folder picker; returns an empty string when cancelled.
    std::function<QString(const QString &Start)> PickFolder;

    // Fills the fields from the settings and places the dialog.
    void FormShow();
    void Button1Click();
    // True when the values were valid and are now in force.
    bool Button2Click();

    QCheckBox *CheckBox1, *CheckBox2;
    QLineEdit *Edit1, *Edit2;
    QPushButton *Button1, *Button2, *Button3;

protected:
    void showEvent(QShowEvent *Event) override;

private:
    TAutoSave *FAutoSave;
    TSettingsRecord &FSettings;
};
