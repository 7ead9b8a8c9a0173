#include "PageRender.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace {
QFont PixelSized(QFont Font)
{
    if (Font.pixelSize() <= 0)
        Font.setPixelSize(qMax(1, qRound(Font.pointSizeF() * 96 / 72)));
    return Font;
}
}  // namespace

struct TPageRenderer::TLaidBlock {
    int Position = -1;
    int Length = 0;
    QTextLayout Layout;
};

TPageRenderer::TPageRenderer(const QTextDocument *Doc) : FDoc(Doc)
{
    Reset();
}

TPageRenderer::~TPageRenderer() = default;

void TPageRenderer::Reset(int End)
{
    FPageStart = 0;
    FLaidOutTo = 0;
    const int TextEnd = std::max(0, FDoc->characterCount() - 1);
    FEnd = End < 0 ? TextEnd : std::min(End, TextEnd);
    FCache.reset();
}

const TPageRenderer::TLaidBlock &TPageRenderer::LayOut(int BlockPosition)
{
    const QTextBlock Block = FDoc->findBlock(BlockPosition);
    if (!FCache || FCache->Position != Block.position() || FCache->Length != Block.length())
        FCache = MakeLayout(Block);
    return *FCache;
}

std::unique_ptr<TPageRenderer::TLaidBlock> TPageRenderer::MakeLayout(const QTextBlock &Block) const
{
    auto Laid = std::make_unique<TLaidBlock>();
    Laid->Position = Block.position();
    Laid->Length = Block.length();
    QTextLayout &L = Laid->Layout;
    L.setText(Block.text());
    // Sizes in pixels of the page, not points: a recorded page replayed on a
    // printer would otherwise take its fonts at the printer's resolution.
    L.setFont(PixelSized(FDoc->defaultFont()));
    QList<QTextLayout::FormatRange> Formats;
    for (QTextLayout::FormatRange R : Block.textFormats()) {
        if (R.format.hasProperty(QTextFormat::FontPointSize)) {
            const double Points = R.format.doubleProperty(QTextFormat::FontPointSize);
            R.format.clearProperty(QTextFormat::FontPointSize);
            R.format.setProperty(QTextFormat::FontPixelSize, qMax(1, qRound(Points * 96 / 72)));
        }
        Formats.append(R);
    }
    L.setFormats(Formats);
    QTextOption Option = FDoc->defaultTextOption();
    // Paper has no horizontal scroll bar: long lines wrap.
    Option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    L.setTextOption(Option);
    L.setCacheEnabled(true);
    L.beginLayout();
    double Y = 0;
    for (;;) {
        QTextLine Line = L.createLine();
        if (!Line.isValid())
            break;
        Line.setLineWidth(PageWidth);
        Line.setPosition(QPointF(0, Y));
        Y += Line.height();
    }
    L.endLayout();
    return Laid;
}

int TPageRenderer::FormatPage(int Start, double *UsedHeight)
{
    double Used = 0;
    int Pos = Start;
    bool AnyLine = false;
    while (Pos < FEnd) {
        const TLaidBlock &B = LayOut(Pos);
        const QTextLayout &L = B.Layout;
        const int Offset = Pos - B.Position;
        int I = 0;
        while (I < L.lineCount() && L.lineAt(I).textStart() + L.lineAt(I).textLength() <= Offset &&
            !(L.lineAt(I).textLength() == 0))
            ++I;
        for (; I < L.lineCount(); ++I) {
            const QTextLine Line = L.lineAt(I);
            // A line taller than a page still takes a page of its own, so
            // laying out always moves on.
            if (AnyLine && Used + Line.height() > PageHeight) {
                *UsedHeight = Used;
                return std::min(FEnd, B.Position + Line.textStart());
            }
            Used += Line.height();
            AnyLine = true;
        }
        const int Next = B.Position + B.Length;
        if (Next <= Pos)
            break;
        Pos = Next;
    }
    *UsedHeight = Used;
    return std::max(Start, std::min(Pos, FEnd));
}

bool TPageRenderer::HasMorePages()
{
    if (FPageStart >= FEnd)
        return false;
    double Used = 0;
    return FLaidOutTo < FormatPage(FPageStart, &Used);
}

int TPageRenderer::RenderNextPage(QPainter *Painter, const QRectF &Rect, TPlacement Placement)
{
    const int Start = FPageStart;
    double Used = 0;
    const int Next = FormatPage(Start, &Used);
    FPageStart = Next;
    if (FLaidOutTo >= Next)
        return -1;
    FLaidOutTo = Next;
    if (Painter)
        DrawPage(*Painter, Rect, Start, Next, Placement);
    return Start;
}

void TPageRenderer::DrawPage(QPainter &Painter, const QRectF &Rect, int Start, int Stop, TPlacement Placement)
{
    // Which lines, and their height, first. The blocks are laid out once and
    // kept for the drawing below.
    struct TPiece {
        std::unique_ptr<TLaidBlock> Laid;
        int First, Last;
    };
    std::vector<TPiece> Pieces;
    double Used = 0;
    int Pos = Start;
    while (Pos < Stop) {
        const QTextBlock Block = FDoc->findBlock(Pos);
        if (!Block.isValid())
            break;
        std::unique_ptr<TLaidBlock> Laid = MakeLayout(Block);
        const QTextLayout &L = Laid->Layout;
        const int Offset = Pos - Laid->Position;
        int First = 0;
        while (First < L.lineCount() && L.lineAt(First).textStart() + L.lineAt(First).textLength() <= Offset &&
            L.lineAt(First).textLength() != 0)
            ++First;
        int Last = First;
        for (; Last < L.lineCount(); ++Last) {
            if (Laid->Position + L.lineAt(Last).textStart() >= Stop && Last > First)
                break;
            Used += L.lineAt(Last).height();
        }
        const int Next = Laid->Position + Laid->Length;
        Pieces.push_back({std::move(Laid), First, Last});
        if (Next <= Pos)
            break;
        Pos = Next;
    }
    double Shift = 0;
    if (Placement == TPlacement::Bottom)
        Shift = std::max(0.0, PageHeight - Used);
    else if (Placement == TPlacement::Centre)
        Shift = int(std::max(0.0, PageHeight - Used) / 2);

    Painter.save();
    Painter.translate(Rect.topLeft());
    Painter.scale(Rect.width() / PageWidth, Rect.height() / PageHeight);
    Painter.setClipRect(QRectF(0, 0, PageWidth, PageHeight));
    Painter.setPen(Qt::black);
    double Y = Shift;
    for (const TPiece &P : Pieces) {
        for (int I = P.First; I < P.Last; ++I) {
            const QTextLine Line = P.Laid->Layout.lineAt(I);
            Line.draw(&Painter, QPointF(0, Y - Line.y()));
            Y += Line.height();
        }
    }
    Painter.restore();
}
