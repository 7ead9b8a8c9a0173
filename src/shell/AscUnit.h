#pragma once
// The ASCII table: a chart of the codes 0 to 127, drawn when painted so it
// stays sharp at any scale factor.

#include <QDialog>

class QPainter;

class TAscForm : public QDialog {
public:
    explicit TAscForm(QWidget *Parent = nullptr);

    // The chart's size in device-independent pixels.
    static constexpr int ChartWidth = 614;
    static constexpr int ChartHeight = 590;
    // What a code's "Char" column shows: abbreviations for the control
    // codes, "(space)" for 32, "DEL" for 127.
    static QString CharText(int Code);
    // Draws the chart at (0, 0) in ChartWidth by ChartHeight.
    static void DrawChart(QPainter &Painter);
    // Where a code's cell of a column pair lies: Column 0 is "Dec. Value",
    // 1 is "Char".
    static QRect CellRect(int Code, int Column);

    void ShowAtPlace();
};
