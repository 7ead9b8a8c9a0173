#pragma once
// The settings dialog of cycle and trigger send: two panels, one shown at a
// time, loaded from the settings record when shown and stored on "Ok" only
// when every number box and grid cell of both panels holds an integer of
// its range.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimeEdit;
class TSettingsRecord;

enum class TSetPanel { Cycle, Trigger };

// A number box's text as an integer: optional sign, decimal digits or hex
// after "$" or "0x", blanks around; nothing when it is not one or does not
// fit 32 bits.
std::optional<int32_t> IntegerValue(const QString &Text);

class TSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetForm(QWidget *Parent = nullptr);

    // Set by the main window: the record the dialog edits, the options step
    // run after "Ok", and the standard error report.
    TSettingsRecord *Settings = nullptr;
    std::function<void()> ApplyOptions;
    std::function<void(const QString &Text)> StandardError;

    // Opens the dialog, modeless, on one panel: the send window's "Cycle To
    // Send" and "Trigger Send" buttons call this after putting themselves back
    // to the stored flags.
    void ShowPanel(TSetPanel Panel);

    // Design sizes of the two panels; the dialog grows where its fonts need.
    static constexpr QSize CycleSize {286, 201};
    static constexpr QSize TriggerSize {355, 337};

    // Cycle-send panel.
    QWidget *Panel1 = nullptr;
    QRadioButton *RadioButton1 = nullptr;  // "Send Line:"
    QRadioButton *RadioButton4 = nullptr;  // "This Line"
    QRadioButton *RadioButton5 = nullptr;  // "Fixed Line:"
    QLineEdit *Edit2 = nullptr;            // fixed line
    QRadioButton *RadioButton2 = nullptr;  // "Range: "
    QLabel *Label3 = nullptr;
    QLineEdit *Edit3 = nullptr;  // from
    QLineEdit *Edit4 = nullptr;  // to
    QLabel *Label10 = nullptr;
    QLineEdit *Edit10 = nullptr;  // interval
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *Button3 = nullptr;  // "Ok"
    QPushButton *Button4 = nullptr;  // "Cancel"

    // Trigger panel.
    QWidget *Panel3 = nullptr;
    QLabel *Label2 = nullptr;
    QTimeEdit *DateTimePicker1 = nullptr;
    QRadioButton *RadioButton3 = nullptr;  // "Send Line:"
    QRadioButton *RadioButton6 = nullptr;  // "This Line"
    QRadioButton *RadioButton7 = nullptr;  // "Fixed Line:"
    QLineEdit *Edit6 = nullptr;
    QRadioButton *RadioButton8 = nullptr;  // "Range:"
    QLabel *Label7 = nullptr;
    QLineEdit *Edit7 = nullptr;
    QLineEdit *Edit8 = nullptr;
    QLabel *Label8 = nullptr;
    QLineEdit *Edit9 = nullptr;
    QCheckBox *CheckBox2 = nullptr;  // timing trigger "Enable"
    QLabel *Label4 = nullptr;
    QTableWidget *StringGrid2 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;      // delay
    QCheckBox *CheckBox3 = nullptr;  // receive trigger "Enable"
    QPushButton *Button1 = nullptr;  // "Ok"
    QPushButton *Button2 = nullptr;  // "Cancel"

    // "Ok" of either panel: every control of both into the record, then
    // "data" written and the options applied.
    void Confirm();

protected:
    void showEvent(QShowEvent *Event) override;

private:
    void CreateCyclePanel();
    void CreateTriggerPanel();
    void FormShow();
    void PlaceAtPointer();
    void RadioButton1Click();
    void RadioButton2Click();
    // The stored trigger time, kept as it is when the picker still shows it.
    double FLoadedTime = 0;
};
