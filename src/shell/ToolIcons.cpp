#include "ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace {
QPixmap Canvas()
{
    QPixmap P(32, 32);
    P.fill(Qt::transparent);
    return P;
}

void Draw(QPainter &P, TToolIcon Kind)
{
    P.setRenderHint(QPainter::Antialiasing);
    const QColor Ink(50, 50, 60);
    P.setPen(QPen(Ink, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (Kind) {
    case TToolIcon::Save:
        P.setBrush(QColor(70, 110, 190));
        P.drawRoundedRect(QRectF(5, 5, 22, 22), 2, 2);
        P.setBrush(Qt::white);
        P.drawRect(QRectF(10, 5, 12, 8));
        P.drawRect(QRectF(9, 18, 14, 9));
        break;
    case TToolIcon::PortOpen:  // a plug: click to connect
        P.setBrush(QColor(60, 160, 70));
        P.drawRoundedRect(QRectF(8, 10, 14, 14), 3, 3);
        P.drawLine(QPointF(12, 10), QPointF(12, 4));
        P.drawLine(QPointF(18, 10), QPointF(18, 4));
        P.drawLine(QPointF(15, 24), QPointF(15, 29));
        break;
    case TToolIcon::PortClose:  // the plug crossed: click to disconnect
        P.setBrush(QColor(200, 60, 50));
        P.drawRoundedRect(QRectF(8, 10, 14, 14), 3, 3);
        P.drawLine(QPointF(12, 10), QPointF(12, 4));
        P.drawLine(QPointF(18, 10), QPointF(18, 4));
        P.drawLine(QPointF(15, 24), QPointF(15, 29));
        P.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
        P.drawLine(QPointF(4, 4), QPointF(28, 28));
        break;
    case TToolIcon::Pause:
        P.setBrush(QColor(230, 150, 30));
        P.drawRoundedRect(QRectF(8, 6, 6, 20), 1, 1);
        P.drawRoundedRect(QRectF(18, 6, 6, 20), 1, 1);
        break;
    case TToolIcon::SendWindow:
        P.setBrush(Qt::white);
        P.drawRect(QRectF(4, 5, 24, 22));
        P.setBrush(QColor(70, 110, 190));
        P.drawRect(QRectF(4, 5, 9, 22));
        break;
    case TToolIcon::FindWindow:
        P.setBrush(Qt::white);
        P.drawRect(QRectF(4, 5, 24, 22));
        P.setBrush(QColor(70, 110, 190));
        P.drawRect(QRectF(4, 19, 24, 8));
        break;
    case TToolIcon::PlotWindow:
        P.setBrush(Qt::white);
        P.drawRect(QRectF(4, 5, 24, 22));
        P.setPen(QPen(QColor(70, 110, 190), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.drawPolyline(QPolygonF({QPointF(7, 22), QPointF(12, 13), QPointF(17, 18), QPointF(25, 9)}));
        break;
    case TToolIcon::Converter: {
        QFont F;
        F.setPixelSize(13);
        F.setBold(true);
        P.setFont(F);
        P.drawText(QRectF(0, 0, 32, 16), Qt::AlignCenter, QStringLiteral("0x"));
        P.drawText(QRectF(0, 15, 32, 16), Qt::AlignCenter, QStringLiteral("10"));
        break;
    }
    case TToolIcon::DisplayTime:
        P.setBrush(Qt::white);
        P.drawEllipse(QRectF(4, 4, 24, 24));
        P.drawLine(QPointF(16, 16), QPointF(16, 8));
        P.drawLine(QPointF(16, 16), QPointF(22, 19));
        break;
    case TToolIcon::DisplaySending:
        P.setPen(QPen(QColor(0, 0, 200), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.drawLine(QPointF(5, 16), QPointF(25, 16));
        P.drawLine(QPointF(18, 9), QPointF(25, 16));
        P.drawLine(QPointF(18, 23), QPointF(25, 16));
        break;
    case TToolIcon::WordWrap: {
        P.drawLine(QPointF(4, 8), QPointF(28, 8));
        QPainterPath Turn(QPointF(4, 16));
        Turn.lineTo(24, 16);
        Turn.arcTo(QRectF(18, 16, 10, 8), 90, -180);
        Turn.lineTo(14, 24);
        P.drawPath(Turn);
        P.drawLine(QPointF(14, 24), QPointF(18, 20));
        P.drawLine(QPointF(14, 24), QPointF(18, 28));
        break;
    }
    case TToolIcon::Filter: {
        QPainterPath Funnel(QPointF(4, 6));
        Funnel.lineTo(28, 6);
        Funnel.lineTo(18, 17);
        Funnel.lineTo(18, 27);
        Funnel.lineTo(14, 24);
        Funnel.lineTo(14, 17);
        Funnel.closeSubpath();
        P.setBrush(QColor(90, 150, 210));
        P.drawPath(Funnel);
        break;
    }
    case TToolIcon::AsciiReceive: {
        QFont F;
        F.setPixelSize(20);
        F.setBold(true);
        P.setFont(F);
        P.setPen(QColor(200, 0, 0));
        P.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("A"));
        break;
    }
    case TToolIcon::Clear:
        P.setBrush(Qt::white);
        P.drawRect(QRectF(6, 4, 20, 24));
        P.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
        P.drawLine(QPointF(11, 11), QPointF(21, 21));
        P.drawLine(QPointF(21, 11), QPointF(11, 21));
        break;
    case TToolIcon::SendLine:  // a line leaving to the right
        P.setBrush(Qt::white);
        P.drawRect(QRectF(3, 9, 14, 14));
        P.setPen(QPen(QColor(0, 0, 200), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.drawLine(QPointF(12, 16), QPointF(28, 16));
        P.drawLine(QPointF(22, 10), QPointF(28, 16));
        P.drawLine(QPointF(22, 22), QPointF(28, 16));
        break;
    case TToolIcon::CycleSend: {  // a circling arrow
        P.setPen(QPen(QColor(0, 130, 60), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath Round;
        Round.arcMoveTo(QRectF(6, 6, 20, 20), 60);
        Round.arcTo(QRectF(6, 6, 20, 20), 60, 300);
        P.drawPath(Round);
        const QPointF End = Round.currentPosition();
        P.drawLine(End, End + QPointF(-1, -7));
        P.drawLine(End, End + QPointF(-7, 1));
        break;
    }
    case TToolIcon::TriggerSend:  // a lightning flash
        P.setBrush(QColor(240, 190, 30));
        P.drawPolygon(QPolygonF({QPointF(18, 3), QPointF(7, 18), QPointF(15, 18), QPointF(12, 29), QPointF(25, 12),
            QPointF(17, 12), QPointF(21, 3)}));
        break;
    case TToolIcon::Checksum: {
        QFont F;
        F.setPixelSize(22);
        F.setBold(true);
        P.setFont(F);
        P.setPen(QColor(0, 0, 200));
        P.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QString(QChar(0x03A3)));
        break;
    }
    case TToolIcon::AsciiSend: {
        QFont F;
        F.setPixelSize(20);
        F.setBold(true);
        P.setFont(F);
        P.setPen(QColor(0, 0, 200));
        P.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("A"));
        break;
    }
    }
}
}  // namespace

QIcon ToolIcon(TToolIcon Kind)
{
    QPixmap Pixmap = Canvas();
    QPainter P(&Pixmap);
    Draw(P, Kind);
    P.end();
    return QIcon(Pixmap);
}
