#include "FindUnit.h"

#include "RichView.h"

#include <QCloseEvent>

TFindForm::TFindForm(QWidget *Parent) : QDockWidget(QStringLiteral("Search Output"), Parent)
{
    // The object name keys the window's place in the saved layout.
    setObjectName(QStringLiteral("FindForm"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    RichFind = new TRichView(this);
    RichFind->setObjectName(QStringLiteral("RichFind"));
    RichFind->setAccessibleName(QStringLiteral("Search view"));
    RichFind->setFont(QFont(QStringLiteral("Courier New"), 9));
    RichFind->SetWordWrap(false);
    setWidget(RichFind);
}

void TFindForm::closeEvent(QCloseEvent *Event)
{
    QDockWidget::closeEvent(Event);
    if (Event->isAccepted())
        Q_EMIT Closed();
}
