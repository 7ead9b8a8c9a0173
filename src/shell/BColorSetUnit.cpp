#include "BColorSetUnit.h"

#include "SettingsRecord.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char *const Captions[TBColorSetForm::Rows] = {
    "Receive Window:", "Send Window:", "Search Window:", "Receive Message Font:", "Send Message Font:"};

QColor ColourOf(uint32_t V)
{
    return QColor(int(V & 0xFF), int((V >> 8) & 0xFF), int((V >> 16) & 0xFF));
}

uint32_t ValueOf(const QColor &C)
{
    return uint32_t(C.red()) | (uint32_t(C.green()) << 8) | (uint32_t(C.blue()) << 16);
}
}  // namespace

TBColorSetForm::TBColorSetForm(TSettingsRecord &Settings, QWidget *Parent) : QDialog(Parent), FSettings(Settings)
{
    setObjectName(QStringLiteral("BColorSetForm"));
    setWindowTitle(QStringLiteral("Color Settings"));
    PickColour = [](const QColor &Initial, QWidget *Owner) { return QColorDialog::getColor(Initial, Owner); };

    auto *Grid = new QGridLayout;
    for (int Row = 0; Row < Rows; ++Row) {
        const QString Caption = QLatin1String(Captions[Row]);
        auto *Label = new QLabel(Caption, this);
        auto *Swatch = new QPushButton(this);
        Swatch->setObjectName(QStringLiteral("Swatch%1").arg(Row + 1));
        Swatch->setFixedSize(89, 21);
        Swatch->setAutoDefault(false);
        // A screen reader says the row's caption; the colour follows as the
        // description.
        Swatch->setAccessibleName(Caption.chopped(1));
        Label->setBuddy(Swatch);
        connect(Swatch, &QPushButton::clicked, this, [this, Row] {
            const QColor Picked = PickColour(ColourOf(FColours[Row]), this);
            if (Picked.isValid())
                SetSwatch(Row, ValueOf(Picked));
        });
        FSwatches[Row] = Swatch;
        Grid->addWidget(Label, Row, 0);
        Grid->addWidget(Swatch, Row, 1);
    }

    auto *DefaultButton = new QPushButton(QStringLiteral("Default"), this);
    auto *OkButton = new QPushButton(QStringLiteral("Ok"), this);
    auto *CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    DefaultButton->setObjectName(QStringLiteral("DefaultButton"));
    OkButton->setObjectName(QStringLiteral("OkButton"));
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    OkButton->setDefault(true);
    connect(DefaultButton, &QPushButton::clicked, this, [this] {
        for (int Row = 0; Row < Rows; ++Row)
            SetSwatch(Row, Defaults[Row]);
    });
    connect(OkButton, &QPushButton::clicked, this, &TBColorSetForm::StoreAndClose);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *Buttons = new QHBoxLayout;
    Buttons->addWidget(DefaultButton);
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    auto *Layout = new QVBoxLayout(this);
    Layout->addLayout(Grid);
    Layout->addStretch();
    Layout->addLayout(Buttons);
    // At least the design's client area; larger fonts may ask for more.
    setMinimumSize(300, 191);
    Layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TBColorSetForm::ShowBeside(const QWidget *Owner)
{
    const std::array<uint32_t, Rows> Stored {FSettings.ReceiveViewBackground(), FSettings.SendViewBackground(),
        FSettings.SearchViewBackground(), FSettings.ReceiveMessageColour(), FSettings.SendMessageColour()};
    for (int Row = 0; Row < Rows; ++Row)
        SetSwatch(Row, Stored[Row]);
    if (Owner)
        move(Owner->frameGeometry().topLeft() + QPoint(50, 100));
    show();
    raise();
    activateWindow();
}

void TBColorSetForm::SetSwatch(int Row, uint32_t Colour)
{
    FColours[Row] = Colour;
    const QColor C = ColourOf(Colour);
    FSwatches[Row]->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 2px inset #808080; }").arg(C.name()));
    FSwatches[Row]->setAccessibleDescription(C.name());
}

void TBColorSetForm::StoreAndClose()
{
    FSettings.SetReceiveViewBackground(FColours[0]);
    FSettings.SetSendViewBackground(FColours[1]);
    FSettings.SetSearchViewBackground(FColours[2]);
    FSettings.SetReceiveMessageColour(FColours[3]);
    FSettings.SetSendMessageColour(FColours[4]);
    Q_EMIT Applied();
    accept();
}
