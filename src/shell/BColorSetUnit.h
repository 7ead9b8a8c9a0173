#pragma once
// The colour dialog. Filled in with the colour settings.

#include <QDialog>

class TBColorSetForm : public QDialog {
public:
    explicit TBColorSetForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("BColorSetForm"));
        setWindowTitle(QStringLiteral("Color Settings"));
    }
};
