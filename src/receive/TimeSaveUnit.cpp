#include "TimeSaveUnit.h"

#include "AutoSave.h"
#include "MessageFiles.h"
#include "SendClass.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <limits>

TTimeSaveForm::TTimeSaveForm(TAutoSave *AutoSave, TSettingsRecord &Settings, QWidget *Parent)
    : QDialog(Parent), FAutoSave(AutoSave), FSettings(Settings)
{
    setObjectName(QStringLiteral("TimeSaveForm"));
    setWindowTitle(QStringLiteral("Auto Save or Clear"));
    setModal(false);
    const auto Named = [this](QWidget *W, const char *Name) {
        W->setObjectName(QLatin1String(Name));
        return W;
    };
    CheckBox1 = new QCheckBox(QStringLiteral(" Auto To Clear"), this);
    CheckBox2 = new QCheckBox(QStringLiteral(" Auto To Save"), this);
    Edit1 = new QLineEdit(this);
    Edit2 = new QLineEdit(this);
    auto *Label1 = new QLabel(QStringLiteral("Receiving Lines:"), this);
    auto *Label2 = new QLabel(QStringLiteral("Save Path:"), this);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);
    Edit1->setAccessibleName(Label1->text());
    Edit2->setAccessibleName(Label2->text());
    Button1 = new QPushButton(QStringLiteral("..."), this);
    Button1->setAccessibleName(QStringLiteral("Browse"));
    Button1->setMaximumWidth(Button1->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    Button1->setToolTip(QStringLiteral("Browse for the folder"));
    Button2 = new QPushButton(QStringLiteral("Ok"), this);
    Button3 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setDefault(true);
    Named(CheckBox1, "CheckBox1");
    Named(CheckBox2, "CheckBox2");
    Named(Edit1, "Edit1");
    Named(Edit2, "Edit2");
    Named(Label1, "Label1");
    Named(Label2, "Label2");
    Named(Button1, "Button1");
    Named(Button2, "Button2");
    Named(Button3, "Button3");

    auto *Grid = new QGridLayout(this);
    Grid->addWidget(CheckBox1, 0, 0, 1, 3);
    Grid->addWidget(Label1, 1, 0);
    Grid->addWidget(Edit1, 1, 1, 1, 2);
    Grid->addWidget(CheckBox2, 2, 0, 1, 3);
    Grid->addWidget(Label2, 3, 0);
    Grid->addWidget(Edit2, 3, 1);
    Grid->addWidget(Button1, 3, 2);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(Button2);
    Buttons->addWidget(Button3);
    Grid->addLayout(Buttons, 4, 0, 1, 3);
    Grid->setSizeConstraint(QLayout::SetFixedSize);
    Edit2->setMinimumWidth(240);

    Warn = [this](const QString &Caption, const QString &Text) {
        QMessageBox Box(QMessageBox::NoIcon, Caption, Text, QMessageBox::Ok, this);
        Box.exec();
    };
    StandardError = [](const QString &Text) { TRuntimeMessages().StandardError(Text); };
    PickFolder = [this](const QString &Start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Please select a path for saving."), Start);
    };
    connect(Button1, &QPushButton::clicked, this, &TTimeSaveForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] {
        if (Button2Click())
            close();
    });
    connect(Button3, &QPushButton::clicked, this, &QDialog::close);
}

void TTimeSaveForm::showEvent(QShowEvent *Event)
{
    FormShow();
    QDialog::showEvent(Event);
}

void TTimeSaveForm::FormShow()
{
    CheckBox1->setChecked(FAutoSave->AutoClearOn);
    CheckBox2->setChecked(FAutoSave->AutoSaveOn);
    Edit1->setText(QString::number(FSettings.AutoSaveLineCount()));
    Edit2->setText(QString::fromLocal8Bit(FSettings.AutoSaveFolder()));
    if (QWidget *Main = parentWidget())
        move(Main->frameGeometry().topLeft() + QPoint(50, 100));
}

void TTimeSaveForm::Button1Click()
{
    const QString Folder = PickFolder(Edit2->text());
    if (!Folder.isEmpty())
        Edit2->setText(Folder);
}

bool TTimeSaveForm::Button2Click()
{
    bool Valid = false;
    const qlonglong Typed = Edit1->text().trimmed().toLongLong(&Valid);
    if (!Valid || Typed > std::numeric_limits<int32_t>::max() || Typed < std::numeric_limits<int32_t>::min()) {
        StandardError(QStringLiteral("'%1' is not a valid integer value").arg(Edit1->text()));
        Edit1->setFocus();
        Edit1->selectAll();
        return false;
    }
    const std::string Folder = RecordText(Edit2->text());
    if (CheckBox2->isChecked() && Folder.empty()) {
        Warn(QStringLiteral("AutoSave"), QStringLiteral("Select a path to save please."));
        Edit2->setFocus();
        return false;
    }
    FAutoSave->AutoClearOn = CheckBox1->isChecked();
    FAutoSave->AutoSaveOn = CheckBox2->isChecked();
    FSettings.SetAutoSaveLineCount(static_cast<int32_t>(std::max<qlonglong>(Typed, 1)));
    FSettings.SetAutoSaveFolder(Folder);
    // The new values may already be met.
    FAutoSave->RichShowChange();
    return true;
}
