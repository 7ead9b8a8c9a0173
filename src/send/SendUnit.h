#pragma once
// The send window: a dockable tool window holding the send view RichSend and
// its tool bar. It sends nothing itself; the main window wires its buttons
// to the data runtime and the settings.

#include <QDockWidget>

class QAction;
class QToolBar;
class TRichView;

class TSendForm : public QDockWidget {
    Q_OBJECT
public:
    explicit TSendForm(QWidget *Parent = nullptr);

    TRichView *RichSend = nullptr;
    QToolBar *SendBar = nullptr;
    QAction *ToolButton1 = nullptr;  // "Send cursor line(F5)"
    QAction *ToolButton2 = nullptr;  // "Cycle To Send" (check)
    QAction *ToolButton3 = nullptr;  // "Trigger Send" (check)
    QAction *ToolButton8 = nullptr;  // "ASCII Send" (check)

Q_SIGNALS:
    // The user closed the window by its own close box (not a hide by the
    // "Send Window" command).
    void Closed();

protected:
    void closeEvent(QCloseEvent *Event) override;
};
