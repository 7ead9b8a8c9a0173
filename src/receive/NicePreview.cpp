#include "NicePreview.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

void TPreviewGeometry::Relayout()
{
    W = int(std::lround(PageWidth * Zoom));
    H = int(std::lround(PageHeight * Zoom));
    PerRow = 1;
    if (!OnePerRow) {
        int Free = ClientWidth - (W + 60);
        while (Free > W + Gap) {
            ++PerRow;
            Free -= W + Gap;
        }
    }
    Rows = Pages / PerRow + (Pages % PerRow ? 1 : 0);
    ContentWidth = PerRow * (W + Gap) + Gap;
    ContentHeight = Rows * (H + Gap) + Gap;
    CentreOffset = std::max(0, (ClientWidth - ContentWidth) / 2);
}

QRect TPreviewGeometry::PageRect(int I, int ScrollX, int ScrollY) const
{
    const int X = (I % PerRow) * (W + Gap) + CentreOffset - ScrollX + Gap;
    const int Y = (I / PerRow) * (H + Gap) - ScrollY + Gap;
    return QRect(X, Y, W, H);
}

int TPreviewGeometry::PageAt(QPoint P, int ScrollX, int ScrollY) const
{
    if (Pages <= 0 || W <= 0 || H <= 0)
        return -1;
    // Only the row and column under the point can hold it.
    const int Col = (P.x() + ScrollX - CentreOffset - Gap) / (W + Gap);
    const int Row = (P.y() + ScrollY - Gap) / (H + Gap);
    if (P.x() + ScrollX - CentreOffset - Gap < 0 || P.y() + ScrollY - Gap < 0 || Col >= PerRow)
        return -1;
    const int I = Row * PerRow + Col;
    if (I >= Pages)
        return -1;
    return PageRect(I, ScrollX, ScrollY).contains(P) ? I : -1;
}

QPoint TPreviewGeometry::ScrollToCentre(int I, QPointF PagePoint) const
{
    const QRect R = PageRect(I, 0, 0);
    const int X = int(R.x() + PagePoint.x() * Zoom) - ClientWidth / 2;
    const int Y = int(R.y() + PagePoint.y() * Zoom) - ClientHeight / 2;
    return QPoint(std::clamp(X, 0, MaxScrollX()), std::clamp(Y, 0, MaxScrollY()));
}

double ZoomForMode(int Mode, double Current, int ClientWidth, int ClientHeight, int ScrollBarWidth, int ScrollBarHeight)
{
    constexpr double PW = TPreviewGeometry::PageWidth, PH = TPreviewGeometry::PageHeight;
    switch (Mode) {
    case 0:
        return (ClientWidth - ScrollBarWidth - 60) / PW;
    case 2:
        return std::min((ClientWidth - ScrollBarWidth - 60) / PW, (ClientHeight - ScrollBarHeight - 60) / PH);
    case 3:
        return (ClientWidth - ScrollBarWidth - 90) / 2.0 / PW;
    case 4:
        return (ClientWidth - ScrollBarWidth - 150) / 4.0 / PW;
    case 5:
        return Current;
    default:
        return 1.0;
    }
}

bool ZoomAcceptable(double NewZoom, double Current)
{
    return NewZoom > 0.1 && NewZoom < 5.0 && NewZoom != Current;
}

namespace {
// A magnifier with a plus or a minus, hot spot at the centre of the lens.
QCursor ZoomCursor(bool In)
{
    QPixmap Pix(32, 32);
    Pix.fill(Qt::transparent);
    QPainter P(&Pix);
    P.setRenderHint(QPainter::Antialiasing);
    P.setPen(QPen(Qt::white, 4));
    P.drawEllipse(QPoint(12, 12), 8, 8);
    P.drawLine(18, 18, 28, 28);
    P.setPen(QPen(Qt::black, 2));
    P.drawEllipse(QPoint(12, 12), 8, 8);
    P.drawLine(18, 18, 28, 28);
    P.drawLine(8, 12, 16, 12);
    if (In)
        P.drawLine(12, 8, 12, 16);
    P.end();
    return QCursor(Pix, 12, 12);
}
}  // namespace

TNicePreview::TNicePreview(QWidget *Parent) : QAbstractScrollArea(Parent)
{
    setObjectName(QStringLiteral("NicePreview"));
    setAccessibleName(QStringLiteral("Preview pages"));
    setFrameShape(QFrame::NoFrame);
    // Everything is painted from the buffer: no separate erase.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    horizontalScrollBar()->setSingleStep(5);
    verticalScrollBar()->setSingleStep(5);
    horizontalScrollBar()->setPageStep(20);
    verticalScrollBar()->setPageStep(20);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
}

TNicePreview::~TNicePreview()
{
    if (FRecorder)
        FRecorder->end();
}

void TNicePreview::ClearPages()
{
    if (FRecorder) {
        FRecorder->end();
        FRecorder.reset();
    }
    FPages.clear();
    FSource = nullptr;
    FCurrent = -1;
    FHasAnchor = false;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    Relayout();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    viewport()->update();
    Q_EMIT OnChange();
}

QPainter *TNicePreview::AddPage()
{
    ClosePage();
    TPage Page;
    Page.Picture = std::make_unique<QPicture>();
    FPages.push_back(std::move(Page));
    FRecorder = std::make_unique<QPainter>(FPages.back().Picture.get());
    // A fixed frame so that the replay stretches the whole page.
    FRecorder->setClipRect(QRect(0, 0, TPreviewGeometry::PageWidth, TPreviewGeometry::PageHeight));
    Relayout();
    return FRecorder.get();
}

void TNicePreview::ClosePage()
{
    if (!FRecorder)
        return;
    FRecorder->end();
    FRecorder.reset();
    viewport()->update();
}

void TNicePreview::SetPageSource(TPageSource Source)
{
    FSource = std::move(Source);
}

void TNicePreview::AppendSourcePages(int Count)
{
    if (Count <= 0)
        return;
    const int First = PageCount();
    for (int I = 0; I < Count; ++I) {
        TPage Page;
        Page.FromSource = true;
        FPages.push_back(std::move(Page));
    }
    // Pages added below the visible ones change only the scroll range: a
    // long build would otherwise replay the shown pages after every slice.
    Relayout(false);
    const int SX = horizontalScrollBar()->value(), SY = verticalScrollBar()->value();
    const QRect Client = viewport()->rect();
    if (FGeometry.PageRect(First, SX, SY).top() <= Client.bottom() &&
        FGeometry.PageRect(PageCount() - 1, SX, SY).bottom() + 5 >= Client.top())
        viewport()->update();
}

int TNicePreview::RecordedPages() const
{
    return int(std::count_if(FPages.begin(), FPages.end(), [](const TPage &P) { return P.Picture != nullptr; }));
}

void TNicePreview::SetCurrentPage(int Page)
{
    if (Page < -1 || Page >= PageCount() || Page == FCurrent)
        return;
    FCurrent = Page;
    viewport()->update();
    Q_EMIT OnChange();
}

void TNicePreview::SetMouseTool(int Tool)
{
    if (Tool < 0 || Tool > 3)
        return;
    switch (Tool) {
    case 1:
        viewport()->setCursor(Qt::OpenHandCursor);
        break;
    case 2:
        viewport()->setCursor(ZoomCursor(true));
        break;
    case 3:
        viewport()->setCursor(ZoomCursor(false));
        break;
    default:
        viewport()->setCursor(Qt::ArrowCursor);
    }
    if (Tool >= 2)
        FZoomMode = ZoomFree;
    if (Tool != FTool) {
        FTool = Tool;
        Q_EMIT OnChange();
    }
}

void TNicePreview::ZoomActualSize()
{
    FGeometry.OnePerRow = false;
    FZoomMode = ZoomActual;
    ApplyZoom(1.0);
}

void TNicePreview::ZoomFullPage()
{
    FGeometry.OnePerRow = true;
    FZoomMode = ZoomWholePage;
    Relayout();
}

void TNicePreview::ApplyZoom(double NewZoom)
{
    if (ZoomAcceptable(NewZoom, FGeometry.Zoom)) {
        if (!FHasAnchor && FCurrent >= 0) {
            FHasAnchor = true;
            FAnchorPage = FCurrent;
            FAnchor = QPointF(TPreviewGeometry::PageWidth / 2.0, 0);
        }
        FGeometry.Zoom = NewZoom;
        Q_EMIT OnChange();
    }
    Relayout();
}

void TNicePreview::Relayout(bool Repaint)
{
    const QSize Client = viewport()->size();
    if (FZoomMode != ZoomFree) {
        const double Z = ZoomForMode(FZoomMode, FGeometry.Zoom, width(), height(),
            style()->pixelMetric(QStyle::PM_ScrollBarExtent), style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        if (ZoomAcceptable(Z, FGeometry.Zoom))
            FGeometry.Zoom = Z;
    }
    FGeometry.Pages = PageCount();
    FGeometry.ClientWidth = Client.width();
    FGeometry.ClientHeight = Client.height();
    FGeometry.Relayout();
    horizontalScrollBar()->setRange(0, FGeometry.MaxScrollX());
    verticalScrollBar()->setRange(0, FGeometry.MaxScrollY());
    horizontalScrollBar()->setPageStep(20);
    verticalScrollBar()->setPageStep(20);
    if (FGeometry.Pages == 0)
        FCurrent = -1;
    CentreAnchor();
    if (Repaint)
        viewport()->update();
}

void TNicePreview::CentreAnchor()
{
    if (!FHasAnchor || FAnchorPage >= PageCount())
        return;
    const QPoint S = FGeometry.ScrollToCentre(FAnchorPage, FAnchor);
    horizontalScrollBar()->setValue(S.x());
    verticalScrollBar()->setValue(S.y());
    FHasAnchor = false;
}

const QPicture &TNicePreview::Recording(int Page)
{
    TPage &P = FPages[size_t(Page)];
    P.LastUse = ++FUseClock;
    if (!P.Picture) {
        P.Picture = std::make_unique<QPicture>();
        if (FSource) {
            QPainter Rec(P.Picture.get());
            Rec.setClipRect(QRect(0, 0, TPreviewGeometry::PageWidth, TPreviewGeometry::PageHeight));
            FSource(Page, Rec);
        }
    }
    return *P.Picture;
}

void TNicePreview::DropFarRecordings()
{
    // Pages given by a source can be recorded again: keep the most recently
    // used ones only, so a long document never holds all its drawings.
    std::vector<std::pair<quint64, int>> Held;
    for (int I = 0; I < PageCount(); ++I)
        if (FPages[size_t(I)].FromSource && FPages[size_t(I)].Picture)
            Held.emplace_back(FPages[size_t(I)].LastUse, I);
    if (int(Held.size()) <= KeptRecordings)
        return;
    std::sort(Held.begin(), Held.end());
    for (size_t K = 0; K + KeptRecordings < Held.size(); ++K)
        FPages[size_t(Held[K].second)].Picture.reset();
}

void TNicePreview::PrepareBuffer(QSize Size)
{
    const qreal Dpr = devicePixelRatioF();
    const bool SameRatio = FBuffer.devicePixelRatio() == Dpr;
    const QSize Pixels = Size * Dpr;
    if (SameRatio && FBuffer.width() >= Pixels.width() && FBuffer.height() >= Pixels.height())
        return;
    FBuffer = QPixmap(SameRatio ? Pixels.expandedTo(FBuffer.size()) : Pixels);
    FBuffer.setDevicePixelRatio(Dpr);
    FBuffer.fill(palette().color(QPalette::Dark));
}

void TNicePreview::paintEvent(QPaintEvent *)
{
    const QSize Client = viewport()->size();
    PrepareBuffer(Client);
    {
        QPainter P(&FBuffer);
        P.fillRect(QRect(QPoint(0, 0), Client), palette().color(QPalette::Dark));
        const int SX = horizontalScrollBar()->value(), SY = verticalScrollBar()->value();
        const QRect ClientRect(QPoint(0, 0), Client);
        for (int I = 0; I < PageCount(); ++I) {
            const QRect R = FGeometry.PageRect(I, SX, SY);
            if (R.bottom() + 5 < 0)
                continue;
            if (R.top() > ClientRect.bottom())
                break;
            if (!R.adjusted(0, 0, 5, 5).intersects(ClientRect))
                continue;
            P.fillRect(R, Qt::white);
            // Shadow along the right and bottom edges.
            P.fillRect(QRect(R.right() + 1, R.top() + 4, 4, R.height()), Qt::black);
            P.fillRect(QRect(R.left() + 4, R.bottom() + 1, R.width(), 4), Qt::black);
            P.save();
            P.setClipRect(R);
            P.translate(R.topLeft());
            P.scale(double(R.width()) / TPreviewGeometry::PageWidth, double(R.height()) / TPreviewGeometry::PageHeight);
            if (!(FRecorder && I == PageCount() - 1))
                P.drawPicture(0, 0, Recording(I));
            P.restore();
            P.setPen(I == FCurrent ? QColor(0xC5, 0x6A, 0x31) : QColor(Qt::black));
            P.setBrush(Qt::NoBrush);
            P.drawRect(R.adjusted(0, 0, -1, -1));
        }
    }
    QPainter Screen(viewport());
    Screen.drawPixmap(QPoint(0, 0), FBuffer, QRect(QPoint(0, 0), Client * FBuffer.devicePixelRatio()));
    DropFarRecordings();
}

void TNicePreview::resizeEvent(QResizeEvent *Event)
{
    QAbstractScrollArea::resizeEvent(Event);
    Relayout();
}

void TNicePreview::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TNicePreview::mousePressEvent(QMouseEvent *Event)
{
    if (Event->button() != Qt::LeftButton)
        return;
    const QPoint P = Event->position().toPoint();
    const int SX = horizontalScrollBar()->value(), SY = verticalScrollBar()->value();
    const int Page = FGeometry.PageAt(P, SX, SY);
    if (Page < 0)
        return;
    SetCurrentPage(Page);
    if (FTool == 1) {
        FDragging = true;
        FDragFrom = P;
        viewport()->setCursor(Qt::ClosedHandCursor);
    } else if (FTool == 2 || FTool == 3) {
        const QRect R = FGeometry.PageRect(Page, SX, SY);
        FHasAnchor = true;
        FAnchorPage = Page;
        FAnchor = QPointF((P.x() - R.x()) / FGeometry.Zoom, (P.y() - R.y()) / FGeometry.Zoom);
        FGeometry.OnePerRow = false;
        FZoomMode = ZoomFree;
        // Steps are rounded to tenths so that repeated clicks land on the
        // same values and never on a bound.
        const double Next = std::round((FGeometry.Zoom + (FTool == 2 ? 0.1 : -0.1)) * 10.0) / 10.0;
        ApplyZoom(Next);
        FHasAnchor = false;
    }
}

void TNicePreview::mouseMoveEvent(QMouseEvent *Event)
{
    if (!FDragging)
        return;
    const QPoint P = Event->position().toPoint();
    const QPoint D = P - FDragFrom;
    FDragFrom = P;
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - D.x());
    verticalScrollBar()->setValue(verticalScrollBar()->value() - D.y());
}

void TNicePreview::mouseReleaseEvent(QMouseEvent *)
{
    if (FDragging) {
        FDragging = false;
        viewport()->setCursor(Qt::OpenHandCursor);
    }
}

void TNicePreview::wheelEvent(QWheelEvent *Event)
{
    verticalScrollBar()->setValue(verticalScrollBar()->value() - Event->angleDelta().y());
    Event->accept();
}

bool TNicePreview::PrintPage(QPainter &Painter, QPrinter &Printer, int Page)
{
    const QRect Area = Printer.pageLayout().paintRectPixels(Printer.resolution());
    Painter.save();
    Painter.scale(
        double(Area.width()) / TPreviewGeometry::PageWidth, double(Area.height()) / TPreviewGeometry::PageHeight);
    // Pages with a source are drawn afresh: a recording replayed on a printer
    // takes its fonts at the printer's resolution.
    const TPage &P = FPages[size_t(Page)];
    if (P.FromSource && FSource) {
        Painter.setClipRect(QRect(0, 0, TPreviewGeometry::PageWidth, TPreviewGeometry::PageHeight));
        FSource(Page, Painter);
    } else {
        Painter.drawPicture(0, 0, Recording(Page));
    }
    Painter.restore();
    return Painter.isActive();
}

bool TNicePreview::PrintAllPages(QPrinter &Printer)
{
    if (PageCount() == 0)
        return true;
    Printer.setDocName(FTitle);
    QPainter Painter;
    if (!Painter.begin(&Printer))
        return false;
    for (int I = 0; I < PageCount(); ++I) {
        if (I > 0 && BetweenPages && !BetweenPages()) {
            Painter.end();
            return false;
        }
        // The pages may have gone meanwhile.
        if (I >= PageCount())
            break;
        if (I > 0 && !Printer.newPage())
            return false;
        if (!PrintPage(Painter, Printer, I))
            return false;
    }
    return Painter.end();
}

bool TNicePreview::PrintOnePage(QPrinter &Printer, int Page)
{
    if (Page < 0 || Page >= PageCount())
        return false;
    Printer.setDocName(FTitle + QStringLiteral(" - Page ") + QString::number(Page + 1));
    QPainter Painter;
    if (!Painter.begin(&Printer))
        return false;
    if (!PrintPage(Painter, Printer, Page))
        return false;
    return Painter.end();
}
