#pragma once
// The auto-save dialog. Filled in with auto save or clear.

#include <QDialog>

class TTimeSaveForm : public QDialog {
public:
    explicit TTimeSaveForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("TimeSaveForm"));
        setWindowTitle(QStringLiteral("Auto Save or Clear"));
    }
};
