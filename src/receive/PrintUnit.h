#pragma once
// The print preview window. Filled in with printing.

#include <QDialog>

class TPrintForm : public QDialog {
public:
    explicit TPrintForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("PrintForm"));
        setWindowTitle(QStringLiteral("Print Preview"));
    }
};
