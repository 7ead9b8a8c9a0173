#pragma once
// TNicePreview: recorded pages shown side by side and row by row at a zoom,
// with scroll bars, mouse tools and printing. The arithmetic of where pages
// stand lives in TPreviewGeometry so that it is checked without a window.

#include <QAbstractScrollArea>
#include <QPicture>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QPrinter;

struct TPreviewGeometry {
    static constexpr int PageWidth = 816;
    static constexpr int PageHeight = 1056;
    static constexpr int Gap = 30;

    // Inputs.
    int Pages = 0;
    double Zoom = 1.0;
    bool OnePerRow = false;
    int ClientWidth = 0;
    int ClientHeight = 0;

    // Results of Relayout().
    int W = 0, H = 0;
    int PerRow = 1;
    int Rows = 0;
    int ContentWidth = 0, ContentHeight = 0;
    int CentreOffset = 0;

    void Relayout();
    // Scroll ranges (0 when the content fits).
    int MaxScrollX() const { return ContentWidth > ClientWidth ? ContentWidth - ClientWidth : 0; }
    int MaxScrollY() const { return ContentHeight > ClientHeight ? ContentHeight - ClientHeight : 0; }
    // Where page I stands in the client area at the given scroll positions.
    QRect PageRect(int I, int ScrollX, int ScrollY) const;
    // The page under the client point, or -1.
    int PageAt(QPoint P, int ScrollX, int ScrollY) const;
    // Scroll positions that put the page point (in page units) of page I in
    // the middle of the client area, within the ranges.
    QPoint ScrollToCentre(int I, QPointF PagePoint) const;
};

// Zoom a mode asks for, from the client size and the scroll bar extents;
// mode 5 (free) and unknown modes give Current and 1.0.
double ZoomForMode(
    int Mode, double Current, int ClientWidth, int ClientHeight, int ScrollBarWidth, int ScrollBarHeight);
// A new zoom is taken only strictly between these bounds.
bool ZoomAcceptable(double NewZoom, double Current);

class TNicePreview : public QAbstractScrollArea {
    Q_OBJECT

public:
    enum TZoomMode {
        ZoomPageWidth = 0,
        ZoomActual = 1,
        ZoomWholePage = 2,
        ZoomTwoPages = 3,
        ZoomFourPages = 4,
        ZoomFree = 5
    };
    // Records page I into the painter (page units, 816 x 1056).
    using TPageSource = std::function<void(int, QPainter &)>;
    // Recordings kept beyond the visible pages; the rest are replayed again
    // from the source when they come into view.
    static constexpr int KeptRecordings = 16;

    explicit TNicePreview(QWidget *Parent = nullptr);
    ~TNicePreview() override;

    void ClearPages();
    // Appends a blank page and returns a painter recording into it, valid
    // until ClosePage().
    QPainter *AddPage();
    void ClosePage();
    // Sets the number of pages whose drawings come from Source, recorded
    // only when shown or printed.
    void SetPageSource(TPageSource Source);
    void AppendSourcePages(int Count);

    int PageCount() const { return int(FPages.size()); }
    int CurrentPage() const { return FCurrent; }
    void SetCurrentPage(int Page);
    int MouseTool() const { return FTool; }
    void SetMouseTool(int Tool);
    void ZoomActualSize();
    void ZoomFullPage();
    double Zoom() const { return FGeometry.Zoom; }
    int ZoomMode() const { return FZoomMode; }
    bool OnePerRow() const { return FGeometry.OnePerRow; }
    const TPreviewGeometry &Geometry() const { return FGeometry; }
    // Pages recorded at the moment (shown pages and the few kept around).
    int RecordedPages() const;

    QString Title() const { return FTitle; }
    void SetTitle(const QString &Title) { FTitle = Title; }

    // Print jobs on an already set-up printer; false when the job failed.
    // BetweenPages, when set, is asked before each page after the first; on
    // false the job is closed with the pages drawn so far.
    bool PrintAllPages(QPrinter &Printer);
    bool PrintOnePage(QPrinter &Printer, int Page);
    std::function<bool()> BetweenPages;

    // Makes the off-screen buffer at least Size and touches its memory, so
    // that a paint does not pay for it. It only grows: the viewport changing
    // size (a scroll bar shown) paints into part of it.
    void PrepareBuffer(QSize Size);

Q_SIGNALS:
    void OnChange();

protected:
    void paintEvent(QPaintEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;
    void wheelEvent(QWheelEvent *Event) override;

private:
    struct TPage {
        std::unique_ptr<QPicture> Picture;
        bool FromSource = false;
        quint64 LastUse = 0;
    };
    void Relayout(bool Repaint = true);
    void ApplyZoom(double NewZoom);
    void CentreAnchor();
    const QPicture &Recording(int Page);
    void DropFarRecordings();
    bool PrintPage(QPainter &Painter, QPrinter &Printer, int Page);

    std::vector<TPage> FPages;
    std::unique_ptr<QPainter> FRecorder;
    TPageSource FSource;
    TPreviewGeometry FGeometry;
    int FCurrent = -1;
    int FZoomMode = ZoomActual;
    int FTool = 0;
    bool FDragging = false;
    QPoint FDragFrom;
    bool FHasAnchor = false;
    int FAnchorPage = 0;
    QPointF FAnchor;
    QPixmap FBuffer;
    quint64 FUseClock = 0;
    QString FTitle = QStringLiteral("Printing ...");
};
