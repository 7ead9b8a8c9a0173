#pragma once
// The send window: a dockable tool window holding the send view RichSend and
// its tool bar. It sends nothing itself; the main window wires its buttons
// to the data runtime and the settings.

#include <QDockWidget>

#include <functional>

class QAction;
class QActionGroup;
class QMenu;
class QToolBar;
class QToolButton;
class TRichView;
class TSettingsRecord;

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
    // "Checksum": its face runs the command, its arrow opens PopupMenu1.
    QToolButton *ToolButton7 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    // The menu's entries by position; position 4 is the separator.
    QAction *ChecksumItem(int Position) const { return FChecksumItems[Position]; }

    // Where the checksum choice is kept, and where refusals and errors go;
    // set by the main window.
    TSettingsRecord *Settings = nullptr;
    std::function<void(const QString &Caption, const QString &Text)> Warn;
    std::function<void(const QString &Text)> StandardError;

    // Writes the chosen checksum behind the bytes of the selection, or of
    // the caret line: the trimmed text, one blank, the checksum in blue.
    void ToolButton7Click();
    // "Check " and the stored choice's name as the button's hint.
    void ShowChecksumHint();

Q_SIGNALS:
    // The user closed the window by its own close box (not a hide by the
    // "Send Window" command).
    void Closed();

protected:
    void closeEvent(QCloseEvent *Event) override;
    void showEvent(QShowEvent *Event) override;

private:
    void ChooseChecksum(int Position);
    int StoredChecksum() const;
    QAction *FChecksumItems[10] = {};
};
