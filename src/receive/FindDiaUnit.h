#pragma once
// The find dialog and the search it runs (RunFind) over the receive view:
// "Find Next" selects the next hit (past the last, the first again), "Find
// All" lists every line with a hit in the search output window. The dialog
// stays on top and is not modal.

#include <QDialog>

#include <QColor>
#include <QTextCursor>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TFindForm;
class TRichView;

class TFindDialog : public QDialog {
    Q_OBJECT
public:
    // ReceiveView is searched; Output gets the lines of "Find All". Neither
    // is owned; both outlive the dialog.
    TFindDialog(TRichView *ReceiveView, TFindForm *Output, QWidget *Parent = nullptr);

    // What the owner provides: the colour of received text, the search
    // output window switched on, and the "not found" message.
    std::function<QColor()> ReceivedColour;
    std::function<void()> ShowOutput;
    std::function<void(QWidget *Owner, const QString &Caption, const QString &Text)> Warn;

    // The search with the dialog's string and options, shown or not.
    void RunFind();

    // 1-based position of the last hit in the receive view's text, 0 when
    // there is none; kept while the program runs.
    int FindPosition = 0;
    // Set while "Find All" runs; clearing it stops the search.
    bool Searching = false;

    // Longest stretch of "Find All" work between two turns of the event
    // loop, so received lines keep being shown while it runs.
    static constexpr int SliceMs = 8;

    QLabel *Label1 = nullptr;
    QLineEdit *FindText = nullptr;
    QPushButton *FindNext = nullptr;
    QCheckBox *FindAll = nullptr;
    QCheckBox *UpLowCase = nullptr;
    QPushButton *Button2 = nullptr;

Q_SIGNALS:
    // A word for the status bar from "Find Next": it went past the last hit
    // to the first, or found nothing.
    void Note(const QString &Text);

protected:
    void showEvent(QShowEvent *Event) override;
    void hideEvent(QHideEvent *Event) override;

private:
    void FindNextHit(const QString &What, bool MatchCase);
    void FindAllLines(const QString &What, bool MatchCase);
    TRichView *const FReceiveView;
    TFindForm *const FOutput;
    // The string of the last search, shown again when the dialog opens
    // without a selection to take.
    QString FLastSearch;
};
