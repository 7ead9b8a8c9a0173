#pragma once
// The receiving filter dialog: five conditions (byte number and hex value)
// and "Enable". Shown without being modal at the mouse pointer; "Ok" stores
// the grid only when every cell of it is valid.

#include <QDialog>

#include <functional>

class QCheckBox;
class QPushButton;
class QTableWidget;
class TSettingsRecord;

class TFilterForm : public QDialog {
    Q_OBJECT
public:
    TFilterForm(TSettingsRecord &Settings, QWidget *Parent = nullptr);

    // A refusal to the user (warning icon, OK button); a message box unless
    // the owner routes it elsewhere.
    std::function<void(QWidget *Owner, const QString &Caption, const QString &Text)> Warn;

    QTableWidget *StringGrid1 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

Q_SIGNALS:
    // The filter settings changed ("Ok" with a valid grid).
    void Applied();
    // The dialog closed, however.
    void Closed();

protected:
    void showEvent(QShowEvent *Event) override;
    void hideEvent(QHideEvent *Event) override;

private:
    void FormShow();
    void Button1Click();
    TSettingsRecord &FSettings;
};
