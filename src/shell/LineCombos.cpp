#include "LineCombos.h"

#include "CPortCtl.h"
#include "SettingsRecord.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyledItemDelegate>
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

// The drop-down list shows, beside a port, what it is ("ttyUSB0, FTDI
// FT232R USB UART"); the combo's text stays the port alone, as it is opened.
class TPortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *Option, const QModelIndex &Index) const override
    {
        QStyledItemDelegate::initStyleOption(Option, Index);
        const QString Details = Index.data(Qt::UserRole).toString();
        if (!Details.isEmpty())
            Option->text += QStringLiteral("   (%1)").arg(Details);
    }
};

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
    FPort->setItemDelegate(new TPortItemDelegate(FPort));
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
    // Any rate the driver can set may be typed in; opening the port checks it.
    FBaudRate->addItems(MoreBaudRates);
    FBaudRate->setEditable(true);
    FBaudRate->setInsertPolicy(QComboBox::NoInsert);
    // Completing "1000" to the listed "1000000" would open at the wrong rate.
    FBaudRate->setCompleter(nullptr);
    FBaudRate->lineEdit()->setAccessibleName(QStringLiteral("Baud rate"));
}

const QStringList TLineCombos::MoreBaudRates {QStringLiteral("230400"), QStringLiteral("460800"),
    QStringLiteral("500000"), QStringLiteral("576000"), QStringLiteral("921600"), QStringLiteral("1000000"),
    QStringLiteral("1500000"), QStringLiteral("2000000"), QStringLiteral("3000000"), QStringLiteral("4000000")};

void TLineCombos::AddPorts(const QStringList &Names, TSettingsRecord &Settings)
{
    std::vector<TPortEntry> Entries;
    for (const QString &Name : Names)
        Entries.push_back({Name.toStdString(), std::string(), {}});
    AddPorts(Entries, Settings);
}

void TLineCombos::AddPorts(const std::vector<TPortEntry> &Entries, TSettingsRecord &Settings)
{
    SetPorts(Entries);
    if (Settings.PortIndex() >= FPort->count())
        Settings.SetPortIndex(0);
    SelectIndex(FPort, Settings.PortIndex());
}

void TLineCombos::SetPorts(const std::vector<TPortEntry> &Entries)
{
    bool Same = int(Entries.size()) == FPort->count();
    for (int I = 0; Same && I < FPort->count(); ++I)
        Same = FPort->itemText(I) == QString::fromStdString(Entries[size_t(I)].Port) &&
            FPort->itemData(I, Qt::UserRole).toString() == QString::fromStdString(Entries[size_t(I)].Details());
    if (Same)
        return;
    // What the user is typing survives the new list: its text, caret and
    // selection (an inline completion is a selection too).
    QLineEdit *Edit = FPort->lineEdit();
    const QString Text = Edit->text();
    const int Caret = Edit->cursorPosition();
    const int SelectionStart = Edit->selectionStart();
    const int SelectionLength = int(Edit->selectedText().size());
    {
        const QSignalBlocker Quiet(FPort);
        FPort->clear();
        for (const TPortEntry &Entry : Entries) {
            const QString Port = QString::fromStdString(Entry.Port);
            const QString Details = QString::fromStdString(Entry.Details());
            FPort->addItem(Port);
            const int I = FPort->count() - 1;
            FPort->setItemData(I, Details, Qt::UserRole);
            FPort->setItemData(I, Details.isEmpty() ? Port : Port + QLatin1Char('\n') + Details, Qt::ToolTipRole);
            FPort->setItemData(I, Details, Qt::AccessibleDescriptionRole);
        }
        FPort->setCurrentIndex(FPort->findText(Text));
        if (Edit->text() != Text)
            Edit->setText(Text);
    }
    if (SelectionStart >= 0 && SelectionLength > 0) {
        // The caret stays at the end of the selection it was at.
        if (Caret == SelectionStart)
            Edit->setSelection(SelectionStart + SelectionLength, -SelectionLength);
        else
            Edit->setSelection(SelectionStart, SelectionLength);
    } else {
        Edit->setCursorPosition(Caret);
    }
}

void TLineCombos::Bind(TComPort *Port)
{
    for (TComComboBox *Box : {FBaudRate, FParity, FDataBits, FStopBits})
        Box->SetComPort(Port);
}

void TLineCombos::Select(const TSettingsRecord &Settings, const QString &PortName, const QString &BaudRate)
{
    SelectIndex(FPort, Settings.PortIndex());
    if (!PortName.isEmpty()) {
        if (FPort->findText(PortName) < 0)
            FPort->addItem(PortName);
        FPort->setCurrentIndex(FPort->findText(PortName));
    }
    SelectIndex(FBaudRate, Settings.BaudIndex());
    if (!BaudRate.isEmpty())
        FBaudRate->SetText(BaudRate);
    SelectIndex(FParity, Settings.ParityIndex());
    SelectIndex(FDataBits, Settings.DataBitsIndex());
    SelectIndex(FStopBits, Settings.StopBitsIndex());
}

void TLineCombos::SetChoice(const TPortChoice &Choice)
{
    const QString Port = QString::fromStdString(Choice.Port);
    if (!Port.isEmpty() && FPort->findText(Port) < 0)
        FPort->addItem(Port);
    if (!Port.isEmpty())
        FPort->setCurrentIndex(FPort->findText(Port));
    // The baud combo takes a rate of no entry as typed text.
    FBaudRate->SetText(QString::fromStdString(Choice.BaudRate));
    FParity->SetText(QString::fromStdString(Choice.Parity));
    FDataBits->SetText(QString::fromStdString(Choice.DataBits));
    FStopBits->SetText(QString::fromStdString(Choice.StopBits));
}

void TLineCombos::Store(TSettingsRecord &Settings) const
{
    Settings.SetPortIndex(StoredIndex(FPort));
    const int Listed = FBaudRate->findText(FBaudRate->currentText(), Qt::MatchFixedString);
    Settings.SetBaudIndex(Listed >= 0 ? uint8_t(Listed) : StoredIndex(FBaudRate));
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

QString TLineCombos::TypedBaudRate() const
{
    const QString Text = FBaudRate->currentText().trimmed();
    return FBaudRate->findText(Text, Qt::MatchFixedString) >= 0 ? QString() : Text;
}
