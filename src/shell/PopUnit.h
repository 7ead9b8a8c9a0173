#pragma once
// "To Dec Bin": a borderless tip over a selection of hex bytes with their
// value in decimal and binary. It hides as soon as it stops being active
// (a click anywhere else).

#include "SendClass.h"

#include <QWidget>

class QLabel;
class QLineEdit;

class TPopForm : public QWidget, public TPopUpTarget {
public:
    explicit TPopForm(QWidget *Parent = nullptr);

    // Fills the fields, sizes them by the number of digits, and shows the
    // tip with its left edge at MouseGlobal's x and its bottom 10 pixels
    // above it.
    void ShowValues(const QString &Dec, const QString &Bin, const QPoint &MouseGlobal) override;

    QLineEdit *DecField() const { return FDec; }
    QLineEdit *BinField() const { return FBin; }

    // Width of the binary field per byte, at the least.
    static constexpr int ByteWidth = 54;

protected:
    void changeEvent(QEvent *Event) override;

private:
    QLabel *FDecLabel = nullptr;
    QLabel *FBinLabel = nullptr;
    QLineEdit *FDec = nullptr;
    QLineEdit *FBin = nullptr;
    // Takes the focus so that no caret shows in the two fields.
    QLineEdit *FSink = nullptr;
};
