#include "LineCombos.h"

#include "CPortCtl.h"
#include "SettingsRecord.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolBar>

namespace {
// On Linux a combo box's accessible name is its value; what it sets comes
// from the label that names it. The tool bar shows no labels, so each combo
// gets a hidden one.
void NameForScreenReaders(QComboBox *Box, const QString &Name)
{
    Box->setAccessibleName(Name);
    Box->setToolTip(Name);
    auto *Label = new QLabel(Name, Box->parentWidget());
    Label->setBuddy(Box);
    Label->hide();
}

void SelectIndex(QComboBox *Box, int Index)
{
    if (Index >= 0 && Index < Box->count())
        Box->setCurrentIndex(Index);
}

uint8_t StoredIndex(const QComboBox *Box)
{
    const int I = Box->currentIndex();
    return uint8_t(I < 0 || I > 255 ? 0 : I);
}
}  // namespace

TLineCombos::TLineCombos(QToolBar *Bar)
{
    // Device names are case-sensitive and shown as they are; the combo is
    // editable so that a path such as /dev/pts/7 can be typed in.
    FPort = new QComboBox(Bar);
    FPort->setObjectName(QStringLiteral("CBoxPort"));
    FPort->setEditable(true);
    FPort->setInsertPolicy(QComboBox::NoInsert);
    // Room for the usual names (/dev/ttyUSB0, /dev/ttyACM10, /dev/pts/12);
    // a longer one (/dev/serial/by-id/...) shows its distinctive end, the
    // list shows it whole, and so does the tool tip.
    FPort->setMinimumContentsLength(15);
    FPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Bar->addWidget(FPort);
    NameForScreenReaders(FPort, QStringLiteral("Port"));
    FPort->lineEdit()->setAccessibleName(QStringLiteral("Port"));
    QComboBox *Port = FPort;
    QObject::connect(Port, &QComboBox::currentTextChanged, Port,
        [Port](const QString &Text) { Port->setToolTip(Text.isEmpty() ? QStringLiteral("Port") : Text); });
    // The drop-down list is as wide as its longest name.
    const auto FitList = [Port] {
        QAbstractItemView *List = Port->view();
        List->setMinimumWidth(List->sizeHintForColumn(0) + 2 * List->frameWidth() +
            List->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, List));
    };
    QObject::connect(Port->model(), &QAbstractItemModel::rowsInserted, Port, FitList);
    QObject::connect(Port->model(), &QAbstractItemModel::rowsRemoved, Port, FitList);
    struct {
        TComComboBox *&Box;
        TComProperty Kind;
        const char *Name;
        const char *Accessible;
        const char *Design;
    } Combos[] = {{FBaudRate, cpBaudRate, "CBoxBaudRate", "Baud rate", "9600"},
        {FParity, cpParity, "CBoxParityBits", "Parity", "None"},
        {FDataBits, cpDataBits, "CBoxDataBits", "Data bits", "8"},
        {FStopBits, cpStopBits, "CBoxStopBits", "Stop bits", "1"}};
    for (auto &C : Combos) {
        C.Box = new TComComboBox(Bar);
        C.Box->setObjectName(QLatin1String(C.Name));
        C.Box->SetComProperty(C.Kind);
        Bar->addWidget(C.Box);
        NameForScreenReaders(C.Box, QLatin1String(C.Accessible));
        // The design text, until the stored entry is selected.
        C.Box->SetText(QLatin1String(C.Design));
    }
}

void TLineCombos::AddPorts(const QStringList &Names, TSettingsRecord &Settings)
{
    FPort->addItems(Names);
    if (Settings.PortIndex() >= FPort->count())
        Settings.SetPortIndex(0);
    SelectIndex(FPort, Settings.PortIndex());
}

void TLineCombos::Bind(TComPort *Port)
{
    for (TComComboBox *Box : {FBaudRate, FParity, FDataBits, FStopBits})
        Box->SetComPort(Port);
}

void TLineCombos::Select(const TSettingsRecord &Settings, const QString &PortName)
{
    SelectIndex(FPort, Settings.PortIndex());
    if (!PortName.isEmpty()) {
        if (FPort->findText(PortName) < 0)
            FPort->addItem(PortName);
        FPort->setCurrentIndex(FPort->findText(PortName));
    }
    SelectIndex(FBaudRate, Settings.BaudIndex());
    SelectIndex(FParity, Settings.ParityIndex());
    SelectIndex(FDataBits, Settings.DataBitsIndex());
    SelectIndex(FStopBits, Settings.StopBitsIndex());
}

void TLineCombos::Store(TSettingsRecord &Settings) const
{
    Settings.SetPortIndex(StoredIndex(FPort));
    Settings.SetBaudIndex(StoredIndex(FBaudRate));
    Settings.SetParityIndex(StoredIndex(FParity));
    Settings.SetDataBitsIndex(StoredIndex(FDataBits));
    Settings.SetStopBitsIndex(StoredIndex(FStopBits));
}

void TLineCombos::SetEnabled(bool Enabled)
{
    FPort->setEnabled(Enabled);
    for (TComComboBox *Box : {FBaudRate, FParity, FDataBits, FStopBits})
        Box->setEnabled(Enabled);
}

TPortChoice TLineCombos::Choice() const
{
    return {FPort->currentText().toStdString(), FBaudRate->Text().toStdString(), FParity->Text().toStdString(),
        FDataBits->Text().toStdString(), FStopBits->Text().toStdString()};
}

QString TLineCombos::PortName() const
{
    return FPort->currentText();
}
