#include "ColourButton.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QWidgetAction>

namespace {
// The palette's colours, eight to a row.
constexpr QRgb PaletteColours[] = {
    0x000000,
    0x993300,
    0x333300,
    0x003300,
    0x003366,
    0x000080,
    0x333399,
    0x333333,
    0x800000,
    0xFF6600,
    0x808000,
    0x008000,
    0x008080,
    0x0000FF,
    0x666699,
    0x808080,
    0xFF0000,
    0xFF9900,
    0x99CC00,
    0x339966,
    0x33CCCC,
    0x3366FF,
    0x800080,
    0x969696,
    0xFF00FF,
    0xFFCC00,
    0xFFFF00,
    0x00FF00,
    0x00FFFF,
    0x00CCFF,
    0x993366,
    0xC0C0C0,
};
}  // namespace

TColourButton::TColourButton(QWidget *Parent) : QToolButton(Parent)
{
    setObjectName(QStringLiteral("ColorButton"));
    setToolTip(QStringLiteral("Text Color"));
    setAccessibleName(QStringLiteral("Text Color"));
    setPopupMode(QToolButton::MenuButtonPopup);

    FPalette = new QMenu(this);
    FPalette->setTitle(QStringLiteral("Color Window"));
    FPalette->setToolTipsVisible(true);
    FPalette->setTearOffEnabled(true);
    FPalette->setToolTip(QStringLiteral("Drag to float"));

    QAction *None = FPalette->addAction(QStringLiteral("No Color"));
    None->setToolTip(QStringLiteral("No Color"));
    connect(None, &QAction::triggered, this, [this] { Choose(AutoColour()); });
    QAction *Auto = FPalette->addAction(QStringLiteral("Auto"));
    Auto->setToolTip(QStringLiteral("Automatic"));
    connect(Auto, &QAction::triggered, this, [this] { Choose(AutoColour()); });

    auto *Grid = new QWidget(FPalette);
    auto *GridLayout = new QGridLayout(Grid);
    GridLayout->setSpacing(2);
    GridLayout->setContentsMargins(4, 4, 4, 4);
    int Index = 0;
    for (QRgb Rgb : PaletteColours) {
        auto *Cell = new QToolButton(Grid);
        const QColor C = QColor::fromRgb(Rgb);
        QPixmap Swatch(14, 14);
        Swatch.fill(C);
        Cell->setIcon(QIcon(Swatch));
        Cell->setAutoRaise(true);
        Cell->setToolTip(C.name());
        Cell->setAccessibleName(C.name());
        connect(Cell, &QToolButton::clicked, this, [this, C] {
            FPalette->hide();
            Choose(C);
        });
        GridLayout->addWidget(Cell, Index / 8, Index % 8);
        ++Index;
    }
    auto *GridAction = new QWidgetAction(FPalette);
    GridAction->setDefaultWidget(Grid);
    FPalette->addAction(GridAction);

    QAction *Other = FPalette->addAction(QStringLiteral("Other Color..."));
    Other->setToolTip(QStringLiteral("Other Colors..."));
    connect(Other, &QAction::triggered, this, [this] {
        const QColor C = QColorDialog::getColor(FColour, window());
        if (C.isValid())
            Choose(C);
    });
    setMenu(FPalette);

    connect(this, &QToolButton::clicked, this, [this] { Q_EMIT Picked(FColour); });
    RedrawFace();
}

void TColourButton::SetColour(const QColor &Colour)
{
    FColour = Colour;
    RedrawFace();
}

void TColourButton::Choose(const QColor &Colour)
{
    SetColour(Colour);
    Q_EMIT Picked(FColour);
}

void TColourButton::RedrawFace()
{
    // An "A" over a bar of the colour, as word processors draw it.
    QPixmap Face(20, 20);
    Face.fill(Qt::transparent);
    QPainter P(&Face);
    QFont F = font();
    F.setBold(true);
    F.setPixelSize(13);
    P.setFont(F);
    P.setPen(palette().color(QPalette::ButtonText));
    P.drawText(QRect(0, 0, 20, 15), Qt::AlignCenter, QStringLiteral("A"));
    P.fillRect(QRect(2, 15, 16, 4), FColour);
    P.end();
    setIcon(QIcon(Face));
    setIconSize(Face.size());
}
