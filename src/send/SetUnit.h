#pragma once
// The settings dialog of cycle and trigger send.

#include <QDialog>

enum class TSetPanel { Cycle, Trigger };

class TSetForm : public QDialog {
public:
    explicit TSetForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("SetForm"));
        setWindowTitle(QStringLiteral("Settings"));
    }

    // Opens the dialog, modeless, on one panel: the send window's "Cycle To
    // Send" and "Trigger Send" buttons call this after putting themselves back
    // to the stored flags.
    void ShowPanel(TSetPanel Panel)
    {
        setWindowTitle(Panel == TSetPanel::Cycle ? QStringLiteral("Cycle to Send data")
                                                 : QStringLiteral("Send data conditionally"));
        show();
        raise();
        activateWindow();
    }
};
