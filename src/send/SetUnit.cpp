#include "SetUnit.h"

#include "CycleSend.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
QLineEdit *NumberBox(QWidget *Parent, const char *Name, const QString &Accessible)
{
    auto *Edit = new QLineEdit(QStringLiteral("0"), Parent);
    Edit->setObjectName(QLatin1String(Name));
    Edit->setAccessibleName(Accessible);
    Edit->setMaximumWidth(80);
    return Edit;
}

template <class T> T *Named(T *Control, const char *Name)
{
    Control->setObjectName(QLatin1String(Name));
    return Control;
}
}  // namespace

TSetForm::TSetForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("Settings"));

    Panel1 = Named(new QWidget(this), "Panel1");
    RadioButton1 = Named(new QRadioButton(QStringLiteral("Send Line:"), Panel1), "RadioButton1");
    RadioButton2 = Named(new QRadioButton(QStringLiteral("Range: "), Panel1), "RadioButton2");
    RadioButton4 = Named(new QRadioButton(QStringLiteral("This Line"), Panel1), "RadioButton4");
    RadioButton5 = Named(new QRadioButton(QStringLiteral("Fixed Line:"), Panel1), "RadioButton5");
    auto *Modes = new QButtonGroup(Panel1);
    Modes->addButton(RadioButton1);
    Modes->addButton(RadioButton2);
    auto *Lines = new QButtonGroup(Panel1);
    Lines->addButton(RadioButton4);
    Lines->addButton(RadioButton5);
    Edit2 = NumberBox(Panel1, "Edit2", QStringLiteral("Fixed Line"));
    Edit3 = NumberBox(Panel1, "Edit3", QStringLiteral("From"));
    Edit4 = NumberBox(Panel1, "Edit4", QStringLiteral("to"));
    Edit10 = NumberBox(Panel1, "Edit10", QStringLiteral("Send Interval (ms)"));
    CheckBox1 = Named(new QCheckBox(QStringLiteral(" Enable"), Panel1), "CheckBox1");
    Button3 = Named(new QPushButton(QStringLiteral("Ok"), Panel1), "Button3");
    Button4 = Named(new QPushButton(QStringLiteral("Cancel"), Panel1), "Button4");
    Button3->setDefault(true);
    connect(RadioButton1, &QRadioButton::clicked, this, &TSetForm::FollowMode);
    connect(RadioButton2, &QRadioButton::clicked, this, &TSetForm::FollowMode);
    connect(Button3, &QPushButton::clicked, this, &TSetForm::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &QDialog::close);

    auto *Grid = new QGridLayout;
    Grid->addWidget(RadioButton1, 0, 0);
    Grid->addWidget(RadioButton4, 0, 1);
    Grid->addWidget(RadioButton5, 1, 1);
    Grid->addWidget(Edit2, 1, 2);
    Grid->addWidget(RadioButton2, 2, 0);
    auto *Range = new QHBoxLayout;
    auto *From = new QLabel(QStringLiteral("From"), Panel1);
    auto *To = new QLabel(QStringLiteral("to"), Panel1);
    From->setBuddy(Edit3);
    To->setBuddy(Edit4);
    Range->addWidget(From);
    Range->addWidget(Edit3);
    Range->addWidget(To);
    Range->addWidget(Edit4);
    Grid->addLayout(Range, 2, 1, 1, 2);
    auto *IntervalLabel = new QLabel(QStringLiteral("Send Interval:"), Panel1);
    IntervalLabel->setBuddy(Edit10);
    Grid->addWidget(IntervalLabel, 3, 0);
    auto *Interval = new QHBoxLayout;
    Interval->addWidget(Edit10);
    Interval->addWidget(new QLabel(QStringLiteral("ms  (>19)"), Panel1));
    Grid->addLayout(Interval, 3, 1, 1, 2);
    Grid->addWidget(CheckBox1, 4, 0);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(Button3);
    Buttons->addWidget(Button4);
    auto *PanelLayout = new QVBoxLayout(Panel1);
    PanelLayout->addLayout(Grid);
    PanelLayout->addLayout(Buttons);

    auto *Layout = new QVBoxLayout(this);
    Layout->addWidget(Panel1);
    Layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TSetForm::ShowPanel(TSetPanel Panel)
{
    setWindowTitle(
        Panel == TSetPanel::Cycle ? QStringLiteral("Cycle to Send data") : QStringLiteral("Send data conditionally"));
    Panel1->setVisible(Panel == TSetPanel::Cycle);
    LoadCyclePanel();
    show();
    PlaceAtPointer();
    raise();
    activateWindow();
}

void TSetForm::PlaceAtPointer()
{
    const QPoint At = QCursor::pos();
    QScreen *Screen = QApplication::screenAt(At) ? QApplication::screenAt(At) : QApplication::primaryScreen();
    const QRect Area = Screen->geometry();
    const QSize Size = frameGeometry().size();
    const int Left = std::min(At.x(), Area.right() + 1 - Size.width());
    const int Top = At.y() < Size.height() ? 0 : At.y() - Size.height() - 20;
    move(std::max(Area.left(), Left), Top);
}

void TSetForm::LoadCyclePanel()
{
    if (!Settings)
        return;
    const TSettingsRecord &S = *Settings;
    (S.CycleMode() == 1 ? RadioButton2 : RadioButton1)->setChecked(true);
    (S.CycleLineChoice() == 1 ? RadioButton4 : RadioButton5)->setChecked(true);
    Edit2->setText(QString::number(S.CycleFixedLine()));
    Edit3->setText(QString::number(S.CycleRangeFirst()));
    Edit4->setText(QString::number(S.CycleRangeLast()));
    Edit10->setText(QString::number(S.CycleInterval()));
    CheckBox1->setChecked(S.CycleSendOn());
    FollowMode();
}

void TSetForm::FollowMode()
{
    const bool Single = RadioButton1->isChecked();
    RadioButton4->setEnabled(Single);
    RadioButton5->setEnabled(Single);
    Edit2->setEnabled(Single);
    Edit3->setEnabled(!Single);
    Edit4->setEnabled(!Single);
}

void TSetForm::Button3Click()
{
    if (!Settings)
        return;
    const TCyclePanel Panel {uint8_t(RadioButton2->isChecked() ? 1 : 0), uint8_t(RadioButton4->isChecked() ? 1 : 0),
        CheckBox1->isChecked(), Edit2->text(), Edit3->text(), Edit4->text(), Edit10->text()};
    if (const auto Refused = StoreCyclePanel(Panel, *Settings)) {
        if (StandardError)
            StandardError(QStringLiteral("'%1' is not a valid integer value").arg(*Refused));
        return;
    }
    if (Confirmed)
        Confirmed();
    close();
}
