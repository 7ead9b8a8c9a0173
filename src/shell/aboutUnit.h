#pragma once
// The about window. Filled in with the about window and the table.

#include <QDialog>

class TaboutForm : public QDialog {
public:
    explicit TaboutForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("aboutForm"));
        setWindowTitle(QStringLiteral("About"));
    }
};
