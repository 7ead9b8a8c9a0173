#pragma once
// The number converter window. Filled in with the converters.

#include <QDialog>

class THexDecForm : public QDialog {
public:
    explicit THexDecForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("HexDecForm"));
        setWindowTitle(QStringLiteral("HexDecBin"));
    }
};
