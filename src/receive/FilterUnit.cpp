#include "FilterUnit.h"

#include "ReceiveFilter.h"
#include "SettingsRecord.h"

#include <QCheckBox>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

TFilterForm::TFilterForm(TSettingsRecord &Settings, QWidget *Parent) : QDialog(Parent), FSettings(Settings)
{
    setObjectName(QStringLiteral("FilterForm"));
    setWindowTitle(QStringLiteral("Receiving Filter"));
    Warn = [](QWidget *Owner, const QString &Caption, const QString &Text) {
        QMessageBox::warning(Owner, Caption, Text, QMessageBox::Ok);
    };

    StringGrid1 = new QTableWidget(TSettingsRecord::FilterRows, 3, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setAccessibleName(QStringLiteral("Filter conditions"));
    StringGrid1->setHorizontalHeaderLabels(
        {QStringLiteral("Items"), QStringLiteral("Byte Number"), QStringLiteral("Value(Hex)")});
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::AllEditTriggers);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int Row = 0; Row < TSettingsRecord::FilterRows; ++Row) {
        // The numbering column is fixed: read-only and not selectable.
        auto *Number = new QTableWidgetItem(QString::number(Row + 1));
        Number->setFlags(Qt::ItemIsEnabled);
        StringGrid1->setItem(Row, 0, Number);
        for (int Column = 1; Column < 3; ++Column)
            StringGrid1->setItem(Row, Column, new QTableWidgetItem);
    }
    const int GridHeight = StringGrid1->horizontalHeader()->sizeHint().height() +
        TSettingsRecord::FilterRows * StringGrid1->verticalHeader()->defaultSectionSize() +
        2 * StringGrid1->frameWidth();
    StringGrid1->setFixedHeight(GridHeight);
    StringGrid1->setMinimumWidth(300);

    CheckBox1 = new QCheckBox(QStringLiteral("Enable"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto *Buttons = new QHBoxLayout;
    Buttons->addWidget(CheckBox1);
    Buttons->addStretch();
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto *Layout = new QVBoxLayout(this);
    Layout->addWidget(StringGrid1);
    Layout->addLayout(Buttons);
    Layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, &TFilterForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TFilterForm::showEvent(QShowEvent *Event)
{
    FormShow();
    QDialog::showEvent(Event);
}

void TFilterForm::hideEvent(QHideEvent *Event)
{
    QDialog::hideEvent(Event);
    Q_EMIT Closed();
}

void TFilterForm::FormShow()
{
    // At the mouse pointer, above it, kept inside the screen.
    adjustSize();
    const QPoint Pointer = QCursor::pos();
    const QScreen *Screen = QGuiApplication::screenAt(Pointer);
    if (!Screen)
        Screen = QGuiApplication::primaryScreen();
    const QRect Area = Screen ? Screen->geometry() : QRect(0, 0, 1024, 768);
    const QSize Size = frameGeometry().size();
    int Left = Pointer.x();
    if (Left + Size.width() > Area.right() + 1)
        Left = Area.right() + 1 - Size.width();
    const int Top = Pointer.y() < Size.height() ? 0 : Pointer.y() - Size.height() - 20;
    move(Left, Top);

    for (int Row = 0; Row < TSettingsRecord::FilterRows; ++Row) {
        const int32_t Byte = FSettings.FilterByteNumber(Row);
        StringGrid1->item(Row, 1)->setText(Byte != 0 ? QString::number(Byte) : QString());
        StringGrid1->item(Row, 2)->setText(Byte != 0 ? QString::fromStdString(FSettings.FilterValue(Row)) : QString());
    }
    CheckBox1->setChecked(FSettings.FilterOn());
}

void TFilterForm::Button1Click()
{
    TFilterGrid Grid;
    for (int Row = 0; Row < TSettingsRecord::FilterRows; ++Row)
        Grid[std::size_t(Row)] = {
            StringGrid1->item(Row, 1)->text().toStdString(), StringGrid1->item(Row, 2)->text().toStdString()};
    // Nothing is stored unless the whole grid is valid: a half-stored grid
    // would filter with rows the user never confirmed.
    const TFilterCheck Check = CheckFilterGrid(Grid);
    if (!Check.Rows) {
        StringGrid1->setCurrentCell(Check.Refusal.Row, Check.Refusal.Column);
        Warn(this, QStringLiteral("Filter"), QString::fromLatin1(Check.Refusal.Text));
        return;
    }
    StoreFilterRows(FSettings, *Check.Rows);
    FSettings.SetFilterOn(CheckBox1->isChecked());
    Q_EMIT Applied();
    accept();
}
