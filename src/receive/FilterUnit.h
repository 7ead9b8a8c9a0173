#pragma once
// The receiving filter dialog. Filled in with the filter.

#include <QDialog>

class TFilterForm : public QDialog {
public:
    explicit TFilterForm(QWidget *Parent = nullptr) : QDialog(Parent)
    {
        setObjectName(QStringLiteral("FilterForm"));
        setWindowTitle(QStringLiteral("Filter"));
    }
};
