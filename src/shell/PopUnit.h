#pragma once
// The converter pop-up over a selection of hex bytes. Filled in with the converters.

#include <QWidget>

class TPopForm : public QWidget {
public:
    explicit TPopForm(QWidget *Parent = nullptr) : QWidget(Parent, Qt::ToolTip)
    {
        setObjectName(QStringLiteral("PopForm"));
    }
};
