#pragma once
// The search output window: a dockable tool window holding the search view
// RichFind, where "Find All" lists the receive-view lines that hold a hit.

#include <QDockWidget>

class TRichView;

class TFindForm : public QDockWidget {
    Q_OBJECT
public:
    explicit TFindForm(QWidget *Parent = nullptr);

    TRichView *RichFind = nullptr;

Q_SIGNALS:
    // The user closed the window by its own close box.
    void Closed();

protected:
    void closeEvent(QCloseEvent *Event) override;
};
