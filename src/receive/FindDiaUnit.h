#pragma once
// The find dialog. Filled in with find.

#include <QDialog>

class TFindDialog : public QDialog {
public:
    explicit TFindDialog(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("FindDialog"));
        setWindowTitle(QStringLiteral("Find"));
    }
};
