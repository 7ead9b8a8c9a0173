#pragma once
// The settings dialog of cycle and trigger send: modeless, placed at the
// pointer, loaded from the settings record when shown; "Ok" stores the
// panel only when every number box holds an integer.

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TSettingsRecord;

enum class TSetPanel { Cycle, Trigger };

class TSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetForm(QWidget *Parent = nullptr);

    // Set by the main window: the record, what runs after a confirmation
    // (the record written to "data", the options applied), and where a
    // refused box is told.
    TSettingsRecord *Settings = nullptr;
    std::function<void()> Confirmed;
    std::function<void(const QString &Text)> StandardError;

    // Opens the dialog, modeless, on one panel: the send window's "Cycle To
    // Send" and "Trigger Send" buttons call this after putting themselves back
    // to the stored flags.
    void ShowPanel(TSetPanel Panel);
    // Reads the cycle panel into the record, writes and applies it; a box
    // that is no integer is told and the dialog stays open.
    void Button3Click();

    // The cycle panel's controls, by their design names.
    QWidget *Panel1 = nullptr;
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr, *RadioButton4 = nullptr, *RadioButton5 = nullptr;
    QLineEdit *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit10 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *Button3 = nullptr, *Button4 = nullptr;

private:
    void LoadCyclePanel();
    void FollowMode();
    void PlaceAtPointer();
};
