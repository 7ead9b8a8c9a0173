#pragma once
// The settings dialog of cycle and trigger send. Its panels come with those features.

#include <QDialog>

class TSetForm : public QDialog {
public:
    explicit TSetForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("SetForm"));
        setWindowTitle(QStringLiteral("Settings"));
    }
};
