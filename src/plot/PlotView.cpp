#include "PlotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
// A step of 1, 2 or 5 times a power of ten giving about Count ticks.
double TickStep(double Span, int Count)
{
    if (!(Span > 0) || !std::isfinite(Span))
        return 1;
    const double Raw = Span / std::max(Count, 1);
    const double Power = std::pow(10.0, std::floor(std::log10(Raw)));
    for (const double M : {1.0, 2.0, 5.0})
        if (Raw <= M * Power)
            return M * Power;
    return 10 * Power;
}

QString NumberText(double V)
{
    return QString::number(V, 'g', 6);
}
}  // namespace

TPlotView::TPlotView(const TPlotData &Data, QWidget *Parent) : QWidget(Parent), FData(Data)
{
    setObjectName(QStringLiteral("PlotView"));
    setMouseTracking(true);
    setMinimumSize(160, 100);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Plot"));
}

QColor TPlotView::SeriesColour(int Index)
{
    // Told apart on white and by most colour-blind eyes first; later series
    // go round the hue circle.
    static const QRgb Colours[] = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7, 0xE69F00, 0x56B4E9, 0x000000, 0xB8860B};
    constexpr int N = int(sizeof Colours / sizeof Colours[0]);
    if (Index < N)
        return QColor(Colours[Index]);
    return QColor::fromHsv((Index * 47) % 360, 200, 170);
}

void TPlotView::SetLive(bool Live)
{
    if (Live == FLive)
        return;
    FLive = Live;
    Refresh(true);
    Q_EMIT LiveChanged(Live);
}

void TPlotView::Refresh(bool Force)
{
    if (Force || (FLive && FData.Revision() != FDrawnRevision))
        update();
}

QRect TPlotView::PlotArea() const
{
    const int Char = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int Line = fontMetrics().height();
    return QRect(10 * Char, Line / 2, std::max(1, width() - 11 * Char), std::max(1, height() - 2 * Line - Line / 2));
}

void TPlotView::FollowData()
{
    const auto &Series = FData.Series();
    double XMin = 0, XMax = 0;
    bool Any = false;
    for (std::size_t I = 0; I < Series.size(); ++I) {
        const TSampleRing &R = Series[I].Ring;
        if (R.Size() == 0)
            continue;
        XMin = Any ? std::min(XMin, R.At(0).X) : R.At(0).X;
        XMax = Any ? std::max(XMax, R.At(R.Size() - 1).X) : R.At(R.Size() - 1).X;
        Any = true;
    }
    if (!Any) {
        FX0 = 0;
        FX1 = FData.XAxis() == TXAxis::Sample ? WindowSize : 10;
    } else if (Window == TWindowKind::All) {
        FX0 = XMin;
        FX1 = std::max(XMax, XMin + 1e-3);
    } else if (Window == TWindowKind::Samples && FData.XAxis() == TXAxis::Time) {
        // The time the last WindowSize samples of the longest series span.
        FX0 = XMax;
        for (const TSeries &S : Series)
            if (S.Ring.Size() > 0) {
                const std::size_t Back = std::min<std::size_t>(S.Ring.Size(), std::size_t(WindowSize));
                FX0 = std::min(FX0, S.Ring.At(S.Ring.Size() - Back).X);
            }
        FX1 = std::max(XMax, FX0 + 1e-3);
    } else {
        // On the sample axis seconds have no meaning: both count samples.
        FX1 = std::max(XMax, XMin + WindowSize);
        FX0 = FX1 - WindowSize;
    }
}

void TPlotView::FitY()
{
    if (!AutoScale) {
        FY0 = FixedLow;
        FY1 = FixedHigh;
        return;
    }
    // The columns hold every shown sample's extremes: no second pass over
    // the samples.
    bool AnyY = false;
    double Low = 0, High = 0;
    for (const std::vector<TColumn> &Columns : FColumns)
        for (const TColumn &C : Columns) {
            Low = AnyY ? std::min(Low, C.Low) : C.Low;
            High = AnyY ? std::max(High, C.High) : C.High;
            AnyY = true;
        }
    if (!AnyY) {
        Low = 0;
        High = 1;
    }
    if (High - Low < 1e-9 * std::max(1.0, std::abs(High))) {
        Low -= 0.5;
        High += 0.5;
    }
    const double Margin = (High - Low) * 0.05;
    FY0 = Low - Margin;
    FY1 = High + Margin;
}

QString TPlotView::XText(double X) const
{
    if (FData.XAxis() == TXAxis::Time)
        return QString::fromStdString(TimeOfDayText(X));
    return NumberText(X);
}

void TPlotView::paintEvent(QPaintEvent *)
{
    if (FLive)
        FollowData();
    FDrawnRevision = FData.Revision();
    const QRect Area = PlotArea();
    const auto &Series = FData.Series();
    FColumns.resize(Series.size());
    for (std::size_t I = 0; I < Series.size(); ++I) {
        if (I < Hidden.size() && Hidden[I])
            FColumns[I].clear();
        else
            Decimate(Series[I].Ring, FX0, FX1, Area.width(), FColumns[I]);
    }
    if (FLive)
        FitY();
    QPainter P(this);
    P.fillRect(rect(), palette().color(QPalette::Base));
    const QColor Text = palette().color(QPalette::Text);
    QColor Grid = palette().color(QPalette::Mid);
    Grid.setAlpha(90);
    const double XSpan = FX1 - FX0, YSpan = FY1 - FY0;
    // Far outside the plot when zoomed in, pixels are held where the
    // painter's fixed-point arithmetic still holds them.
    auto Held = [](double V) { return std::clamp(V, -1e6, 1e6); };
    auto ToPixelX = [&](double X) { return Held(Area.left() + (X - FX0) / XSpan * Area.width()); };
    auto ToPixelY = [&](double Y) { return Held(Area.bottom() - (Y - FY0) / YSpan * Area.height()); };

    // Grid and tick labels.
    const QFontMetrics M = fontMetrics();
    P.setPen(Text);
    const double YStep = TickStep(YSpan, std::max(2, Area.height() / (2 * M.height())));
    for (double Y = std::ceil(FY0 / YStep) * YStep; Y <= FY1 && YSpan > 0; Y += YStep) {
        const double Py = ToPixelY(Y);
        P.setPen(Grid);
        P.drawLine(QPointF(Area.left(), Py), QPointF(Area.right(), Py));
        P.setPen(Text);
        const QString Label = NumberText(std::abs(Y) < YStep * 1e-9 ? 0 : Y);
        P.drawText(
            QRectF(0, Py - M.height() / 2.0, Area.left() - 4, M.height()), Qt::AlignRight | Qt::AlignVCenter, Label);
    }
    const int LabelWidth = M.horizontalAdvance(XText(FX1)) + M.horizontalAdvance(QLatin1Char('0')) * 2;
    const double XStep = FData.XAxis() == TXAxis::Time && XSpan >= 1
        ? std::max(1.0, TickStep(XSpan, std::max(2, Area.width() / LabelWidth)))
        : TickStep(XSpan, std::max(2, Area.width() / LabelWidth));
    // Whole seconds need no milliseconds.
    const bool WholeSeconds = FData.XAxis() == TXAxis::Time && XStep >= 1;
    for (double X = std::ceil(FX0 / XStep) * XStep; X <= FX1 && XSpan > 0; X += XStep) {
        const double Px = ToPixelX(X);
        P.setPen(Grid);
        P.drawLine(QPointF(Px, Area.top()), QPointF(Px, Area.bottom()));
        P.setPen(Text);
        if (Px + LabelWidth / 2.0 > width())
            continue;  // cut off at the edge it would only mislead
        P.drawText(QRectF(Px - LabelWidth / 2.0, Area.bottom() + 2, LabelWidth, M.height()), Qt::AlignCenter,
            WholeSeconds ? XText(X).chopped(4) : XText(X));
    }
    P.setPen(Text);
    P.drawRect(Area.adjusted(0, 0, -1, -1));

    // One path per series, at most four points per pixel column.
    P.setClipRect(Area);
    P.setRenderHint(QPainter::Antialiasing, false);
    for (std::size_t I = 0; I < Series.size(); ++I) {
        if (FColumns[I].empty())
            continue;
        // A sample just outside on either side keeps the line running to the
        // edges.
        FLine.clear();
        const TSampleRing &R = Series[I].Ring;
        const std::size_t First = R.LowerBound(FX0);
        if (First > 0)
            FLine.append(QPointF(ToPixelX(R.At(First - 1).X), ToPixelY(R.At(First - 1).Y)));
        for (const TColumn &C : FColumns[I]) {
            const double Px = Area.left() + C.Column + 0.5;
            FLine.append(QPointF(Px, ToPixelY(C.First)));
            if (C.Low != C.High) {
                FLine.append(QPointF(Px, ToPixelY(C.Low)));
                FLine.append(QPointF(Px, ToPixelY(C.High)));
            }
            FLine.append(QPointF(Px, ToPixelY(C.Last)));
        }
        const std::size_t After = R.LowerBound(FX1);
        if (After < R.Size() && R.At(After).X > FX1)
            FLine.append(QPointF(ToPixelX(R.At(After).X), ToPixelY(R.At(After).Y)));
        QPen Pen(SeriesColour(int(I)));
        // A one-pixel cosmetic pen takes the painter's fast line path; a
        // wider one is stroked into polygons, many times slower.
        Pen.setWidth(1);
        Pen.setCosmetic(true);
        P.setPen(Pen);
        P.drawPolyline(FLine);
    }
    P.setClipping(false);
    if (Area.contains(FMouse)) {
        P.setPen(QPen(Text, 1, Qt::DotLine));
        P.drawLine(FMouse.x(), Area.top(), FMouse.x(), Area.bottom());
    }
}

void TPlotView::UpdateCursorText(const QPoint &At)
{
    const QRect Area = PlotArea();
    QString Text;
    if (Area.contains(At) && FX1 > FX0) {
        const double X = FX0 + (At.x() - Area.left() + 0.5) * (FX1 - FX0) / Area.width();
        const double Y = FY1 - (At.y() - Area.top()) * (FY1 - FY0) / Area.height();
        Text = QStringLiteral("x %1  y %2").arg(XText(X), NumberText(Y));
        // Each shown series' sample nearest to the mouse's x.
        const auto &Series = FData.Series();
        const double Tolerance = 4 * (FX1 - FX0) / Area.width();
        for (std::size_t I = 0; I < Series.size(); ++I) {
            if (I < Hidden.size() && Hidden[I])
                continue;
            const TSampleRing &R = Series[I].Ring;
            std::size_t J = R.LowerBound(X);
            if (J > 0 && (J == R.Size() || X - R.At(J - 1).X < R.At(J).X - X))
                --J;
            if (J < R.Size() && std::abs(R.At(J).X - X) <= Tolerance)
                Text += QStringLiteral("   %1 = %2").arg(QString::fromStdString(Series[I].Name), NumberText(R.At(J).Y));
        }
    }
    if (Text != FCursorText) {
        FCursorText = Text;
        Q_EMIT CursorMoved(Text);
    }
}

void TPlotView::wheelEvent(QWheelEvent *Event)
{
    const QRect Area = PlotArea();
    const double Steps = Event->angleDelta().y() / 120.0;
    if (Steps == 0 || FX1 <= FX0)
        return;
    const double Factor = std::pow(0.8, Steps);
    const QPointF At = Event->position();
    SetLive(false);
    if (Event->modifiers() & Qt::ControlModifier) {
        const double Y = FY1 - (At.y() - Area.top()) * (FY1 - FY0) / Area.height();
        FY0 = Y - (Y - FY0) * Factor;
        FY1 = Y + (FY1 - Y) * Factor;
    } else {
        const double X = FX0 + (At.x() - Area.left()) * (FX1 - FX0) / Area.width();
        FX0 = X - (X - FX0) * Factor;
        FX1 = X + (FX1 - X) * Factor;
    }
    update();
    Event->accept();
}

void TPlotView::mousePressEvent(QMouseEvent *Event)
{
    if (Event->button() != Qt::LeftButton)
        return;
    FDragging = true;
    FDragFrom = Event->position().toPoint();
    FDragX0 = FX0;
    FDragX1 = FX1;
    FDragY0 = FY0;
    FDragY1 = FY1;
}

void TPlotView::mouseMoveEvent(QMouseEvent *Event)
{
    const QPoint At = Event->position().toPoint();
    if (FDragging && At != FDragFrom) {
        SetLive(false);
        const QRect Area = PlotArea();
        const double Dx = double(At.x() - FDragFrom.x()) * (FDragX1 - FDragX0) / Area.width();
        const double Dy = double(At.y() - FDragFrom.y()) * (FDragY1 - FDragY0) / Area.height();
        FX0 = FDragX0 - Dx;
        FX1 = FDragX1 - Dx;
        FY0 = FDragY0 + Dy;
        FY1 = FDragY1 + Dy;
    }
    FMouse = At;
    UpdateCursorText(At);
    update();
}

void TPlotView::mouseReleaseEvent(QMouseEvent *)
{
    FDragging = false;
}

void TPlotView::mouseDoubleClickEvent(QMouseEvent *)
{
    SetLive(true);
}

void TPlotView::leaveEvent(QEvent *)
{
    FMouse = QPoint(-1, -1);
    UpdateCursorText(FMouse);
    update();
}
