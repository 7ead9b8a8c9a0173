// The plot's drawing: axes, grid, one decimated path per shown series, the
// value under the mouse; the wheel zooms, a drag pans, a double click goes
// back to the live range.
#pragma once

#include "PlotData.h"

#include <QColor>
#include <QPolygonF>
#include <QWidget>

#include <functional>
#include <vector>

class TPlotView : public QWidget {
    Q_OBJECT
public:
    // Data is not owned and outlives the view.
    explicit TPlotView(const TPlotData &Data, QWidget *Parent = nullptr);

    static QColor SeriesColour(int Index);

    // The range shown while live: the last WindowSize samples or seconds, or
    // everything (TWindowKind::All).
    TWindowKind Window = TWindowKind::Samples;
    double WindowSize = 1000;
    bool AutoScale = true;
    double FixedLow = 0, FixedHigh = 100;
    std::vector<bool> Hidden;  // by series index; missing entries are shown

    // Live follows the newest samples; a zoom or pan leaves it (the form's
    // pause), Live(true) comes back.
    bool IsLive() const { return FLive; }
    void SetLive(bool Live);
    // The text of the value under the mouse, "" when it is outside.
    QString CursorText() const { return FCursorText; }
    // The x and y ranges drawn last.
    QRectF Range() const { return QRectF(FX0, FY0, FX1 - FX0, FY1 - FY0); }

    // Asked for a repaint when the data changed (or always, with Force).
    void Refresh(bool Force = false);

Q_SIGNALS:
    void LiveChanged(bool Live);
    void CursorMoved(const QString &Text);

protected:
    void paintEvent(QPaintEvent *Event) override;
    void wheelEvent(QWheelEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;
    void mouseDoubleClickEvent(QMouseEvent *Event) override;
    void leaveEvent(QEvent *Event) override;

private:
    // The live x range; FitY then takes the y range from the columns.
    void FollowData();
    void FitY();
    QRect PlotArea() const;
    void UpdateCursorText(const QPoint &At);
    QString XText(double X) const;

    const TPlotData &FData;
    bool FLive = true;
    double FX0 = 0, FX1 = 1, FY0 = 0, FY1 = 1;
    uint64_t FDrawnRevision = ~uint64_t(0);
    bool FDragging = false;
    QPoint FDragFrom;
    double FDragX0 = 0, FDragX1 = 0, FDragY0 = 0, FDragY1 = 0;
    QPoint FMouse {-1, -1};
    QString FCursorText;
    QPolygonF FLine;
    std::vector<std::vector<TColumn>> FColumns;  // per series, reused from paint to paint
};
