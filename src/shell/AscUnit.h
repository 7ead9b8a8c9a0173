#pragma once
// The ASCII table. Filled in with the about window and the table.

#include <QDialog>

class TAscForm : public QDialog {
public:
    explicit TAscForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("AscForm"));
        setWindowTitle(QStringLiteral("ASCII Table"));
    }
};
