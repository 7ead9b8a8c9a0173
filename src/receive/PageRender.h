#pragma once
// Lays the receive view's text out into pages of 9.5 x 13.2 inches and draws
// them. A page breaks only between laid-out lines, so every line of the view
// is on exactly one page; long lines wrap at the page width.

#include <QRectF>
#include <QTextLayout>

#include <memory>

class QPainter;
class QTextBlock;
class QTextDocument;

enum class TPlacement { Top, Bottom, Centre };

class TPageRenderer {
public:
    // The recorded page in its own units (96 per inch).
    static constexpr double PageWidth = 9.5 * 96;
    static constexpr double PageHeight = 13.2 * 96;

    explicit TPageRenderer(const QTextDocument *Doc);
    ~TPageRenderer();

    // Starts over at the beginning; End is the position the pages stop at
    // (-1: the end of the text as it is now).
    void Reset(int End = -1);
    int PageStart() const { return FPageStart; }
    int LaidOutTo() const { return FLaidOutTo; }
    int End() const { return FEnd; }

    // True when a page laid out from PageStart() would reach past LaidOutTo().
    bool HasMorePages();
    // Lays out the page from PageStart() and draws it into Rect of Painter
    // (null: lay out only); advances PageStart() and LaidOutTo(). Returns the
    // position the page started at, or -1 when there was no new page.
    int RenderNextPage(QPainter *Painter, const QRectF &Rect, TPlacement Placement = TPlacement::Top);
    // Draws the text from Start to Stop as one page into Rect.
    void DrawPage(QPainter &Painter, const QRectF &Rect, int Start, int Stop, TPlacement Placement);

private:
    struct TLaidBlock;
    // Where the page starting at Start ends, and the height it uses.
    int FormatPage(int Start, double *UsedHeight);
    const TLaidBlock &LayOut(int BlockPosition);
    std::unique_ptr<TLaidBlock> MakeLayout(const QTextBlock &Block) const;

    const QTextDocument *FDoc;
    int FPageStart = 0;
    int FLaidOutTo = 0;
    int FEnd = 0;
    std::unique_ptr<TLaidBlock> FCache;
};
