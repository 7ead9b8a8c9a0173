#pragma once
// The text colour button: a face showing its colour and a drop-down palette
// ("No Color", "Auto", a grid of colours, "Other Color..."), which can be
// torn off as the "Color Window". Pressing the face or choosing a colour
// emits Picked with the button's colour.

#include <QColor>
#include <QToolButton>

class QMenu;

class TColourButton : public QToolButton {
    Q_OBJECT
public:
    explicit TColourButton(QWidget *Parent = nullptr);

    QColor Colour() const { return FColour; }
    // Sets the colour shown on the face (no Picked).
    void SetColour(const QColor &Colour);
    QMenu *Palette() const { return FPalette; }

    // The colour "No Color" and "Auto" stand for: the views' own text colour.
    static QColor AutoColour() { return Qt::black; }

Q_SIGNALS:
    void Picked(const QColor &Colour);

private:
    void Choose(const QColor &Colour);
    void RedrawFace();

    QColor FColour = QColor(0, 128, 0);
    QMenu *FPalette = nullptr;
};
