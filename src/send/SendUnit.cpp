#include "SendUnit.h"

#include "RichView.h"

#include <QAction>
#include <QCloseEvent>
#include <QToolBar>
#include <QVBoxLayout>

TSendForm::TSendForm(QWidget *Parent) : QDockWidget(QStringLiteral("Send"), Parent)
{
    // The object name keys the window's place in the saved layout.
    setObjectName(QStringLiteral("SendForm"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

    auto *Body = new QWidget(this);
    auto *Layout = new QVBoxLayout(Body);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);

    RichSend = new TRichView(Body);
    RichSend->setObjectName(QStringLiteral("RichSend"));
    RichSend->setAccessibleName(QStringLiteral("Send view"));
    RichSend->setFont(QFont(QStringLiteral("Courier New"), 9));
    RichSend->SetWordWrap(false);
    // The user's list of lines: its edits can be undone (Ctrl+Z, Edit > Undo)
    // and redone.
    RichSend->setUndoRedoEnabled(true);
    Layout->addWidget(RichSend, 1);

    SendBar = new QToolBar(QStringLiteral("SendBar"), Body);
    SendBar->setObjectName(QStringLiteral("SendBar"));
    SendBar->setIconSize(QSize(16, 16));
    SendBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto Button = [this](const char *Name, const QString &Text, const QString &Hint, bool Check) {
        QAction *A = SendBar->addAction(Text);
        A->setObjectName(QLatin1String(Name));
        A->setToolTip(Hint);
        A->setCheckable(Check);
        if (QWidget *W = SendBar->widgetForAction(A)) {
            W->setObjectName(QLatin1String(Name));
            W->setAccessibleName(Hint);
        }
        return A;
    };
    SendBar->addSeparator();
    ToolButton1 = Button("ToolButton1", QStringLiteral("Send"), QStringLiteral("Send cursor line(F5)"), false);
    SendBar->addSeparator();
    ToolButton2 = Button("ToolButton2", QStringLiteral("Cycle"), QStringLiteral("Cycle To Send"), true);
    ToolButton3 = Button("ToolButton3", QStringLiteral("Trigger"), QStringLiteral("Trigger Send"), true);
    SendBar->addSeparator();
    ToolButton8 = Button("ToolButton8", QStringLiteral("ASCII"), QStringLiteral("ASCII Send"), true);
    Layout->addWidget(SendBar);

    setWidget(Body);
}

void TSendForm::closeEvent(QCloseEvent *Event)
{
    QDockWidget::closeEvent(Event);
    if (Event->isAccepted())
        Q_EMIT Closed();
}
