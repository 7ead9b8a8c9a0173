#include "AscUnit.h"

#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

namespace {
const char *const ControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "HT", "LF", "VT",
    "FF", "CR", "SO", "SI", "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS",
    "GS", "RS", "US"};

constexpr int Margin = 10;
constexpr int TitleHeight = 40;
constexpr int HeaderHeight = 20;
constexpr int RowHeight = 16;
constexpr int PairWidth = (TAscForm::ChartWidth - 2 * Margin) / 4;
constexpr int ValueWidth = PairWidth / 2;

class TAsciiChart : public QWidget {
public:
    explicit TAsciiChart(QWidget *Parent) : QWidget(Parent)
    {
        setObjectName(QStringLiteral("AsciiChart"));
        setAccessibleName(QStringLiteral("ASCII"));
        setFixedSize(TAscForm::ChartWidth, TAscForm::ChartHeight);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter Painter(this);
        TAscForm::DrawChart(Painter);
    }
};
}  // namespace

TAscForm::TAscForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("AscForm"));
    setWindowTitle(QStringLiteral("ASCII"));
    auto *Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(new TAsciiChart(this));
    Layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TAscForm::CharText(int Code)
{
    if (Code >= 0 && Code < 32)
        return QLatin1String(ControlNames[Code]);
    if (Code == 32)
        return QStringLiteral("(space)");
    if (Code == 127)
        return QStringLiteral("DEL");
    return QString(QChar(Code));
}

QRect TAscForm::CellRect(int Code, int Column)
{
    const int Pair = Code / 32;
    const int Row = Code % 32;
    return QRect(Margin + Pair * PairWidth + Column * ValueWidth, Margin + TitleHeight + HeaderHeight + Row * RowHeight,
        Column == 0 ? ValueWidth : PairWidth - ValueWidth, RowHeight);
}

void TAscForm::DrawChart(QPainter &Painter)
{
    Painter.fillRect(QRect(0, 0, ChartWidth, ChartHeight), Qt::white);
    Painter.setPen(Qt::black);

    QFont Title(QStringLiteral("Tahoma"));
    Title.setPixelSize(22);
    Title.setBold(true);
    Painter.setFont(Title);
    Painter.drawText(QRect(0, Margin, ChartWidth, TitleHeight), Qt::AlignCenter, QStringLiteral("ASCII"));

    QFont Text(QStringLiteral("Tahoma"));
    Text.setPixelSize(12);
    QFont Header = Text;
    Header.setBold(true);
    const int Top = Margin + TitleHeight;
    const int Bottom = Top + HeaderHeight + 32 * RowHeight;
    for (int Pair = 0; Pair < 4; ++Pair) {
        const int Left = Margin + Pair * PairWidth;
        Painter.setFont(Header);
        Painter.drawText(QRect(Left, Top, ValueWidth, HeaderHeight), Qt::AlignCenter, QStringLiteral("Dec. Value"));
        Painter.drawText(QRect(Left + ValueWidth, Top, PairWidth - ValueWidth, HeaderHeight), Qt::AlignCenter,
            QStringLiteral("Char"));
        Painter.setFont(Text);
        for (int Row = 0; Row < 32; ++Row) {
            const int Code = Pair * 32 + Row;
            Painter.drawText(CellRect(Code, 0), Qt::AlignCenter, QString::number(Code));
            Painter.drawText(CellRect(Code, 1), Qt::AlignCenter, CharText(Code));
        }
        Painter.drawLine(Left + ValueWidth, Top, Left + ValueWidth, Bottom);
    }
    // Grid: the frame, the pairs' borders, the rows.
    for (int Pair = 0; Pair <= 4; ++Pair)
        Painter.drawLine(Margin + Pair * PairWidth, Top, Margin + Pair * PairWidth, Bottom);
    for (int Row = 0; Row <= 33; ++Row) {
        const int Y = Row == 0 ? Top : Top + HeaderHeight + (Row - 1) * RowHeight;
        Painter.drawLine(Margin, Y, Margin + 4 * PairWidth, Y);
    }
}

void TAscForm::ShowAtPlace()
{
    move(219, 77);
    show();
    raise();
    activateWindow();
}
