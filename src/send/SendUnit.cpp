#include "SendUnit.h"

#include "AppCommon.h"
#include "Checksum.h"
#include "RichView.h"
#include "SettingsRecord.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QMenu>
#include <QTextCharFormat>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
struct TChecksumEntry {
    const char *Item;
    const char *Caption;
    const char *HintName;
};
// The checksum menu by position; position 4 is its separator.
const TChecksumEntry ChecksumEntries[10] = {
    {"SUM1", "SUM", "SUM"},
    {"SUM_LH1", "SUM - LH", "SUM-LH"},
    {"SUMHL1", "SUM - HL", "SUM-HL"},
    {"XOR1", "XOR", "XOR"},
    {nullptr, nullptr, nullptr},
    {"ModbusCRC161", "Modbus -CRC16", "Modbus-CRC16"},
    {"ModbusLRC161", "Modbus -LRC16", "Modbus-LRC16"},
    {"ANSICRC161", "ANSI  - CRC16", "ANSI-CRC16"},
    {"CCITTCRC161", "CCITT - CRC16", "CCITT-CRC16"},
    {"CCITTCRC81", "CCITT - CRC8", "CCITT-CRC8"},
};

// Characters of code 32 or less off both ends.
QString TrimmedControl(const QString &Text, int *Leading = nullptr)
{
    int First = 0, Last = int(Text.size());
    while (First < Last && Text[First].unicode() <= 32)
        ++First;
    while (Last > First && Text[Last - 1].unicode() <= 32)
        --Last;
    if (Leading)
        *Leading = First;
    return Text.mid(First, Last - First);
}
}  // namespace

TSendForm::TSendForm(QWidget *Parent) : QDockWidget(QStringLiteral("Send"), Parent)
{
    // The object name keys the window's place in the saved layout.
    setObjectName(QStringLiteral("SendForm"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

    auto *Body = new QWidget(this);
    auto *Layout = new QVBoxLayout(Body);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);

    RichSend = new TRichView(Body);
    RichSend->setObjectName(QStringLiteral("RichSend"));
    RichSend->setAccessibleName(QStringLiteral("Send view"));
    RichSend->setFont(QFont(QStringLiteral("Courier New"), 9));
    RichSend->SetWordWrap(false);
    // The user's list of lines: its edits can be undone (Ctrl+Z, Edit > Undo)
    // and redone.
    RichSend->setUndoRedoEnabled(true);
    Layout->addWidget(RichSend, 1);

    SendBar = new QToolBar(QStringLiteral("SendBar"), Body);
    SendBar->setObjectName(QStringLiteral("SendBar"));
    // Images only (the main window gives them), so that the five buttons
    // fit a narrow dock; hints as tool tips and accessible names.
    SendBar->setIconSize(QSize(16, 16));
    SendBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto Button = [this](const char *Name, const QString &Text, const QString &Hint, bool Check) {
        QAction *A = SendBar->addAction(Text);
        A->setObjectName(QLatin1String(Name));
        A->setToolTip(Hint);
        A->setCheckable(Check);
        if (QWidget *W = SendBar->widgetForAction(A)) {
            W->setObjectName(QLatin1String(Name));
            W->setAccessibleName(Hint);
        }
        return A;
    };
    SendBar->addSeparator();
    ToolButton1 = Button("ToolButton1", QStringLiteral("Send"), QStringLiteral("Send cursor line(F5)"), false);
    SendBar->addSeparator();
    ToolButton2 = Button("ToolButton2", QStringLiteral("Cycle"), QStringLiteral("Cycle To Send"), true);
    ToolButton3 = Button("ToolButton3", QStringLiteral("Trigger"), QStringLiteral("Trigger Send"), true);
    SendBar->addSeparator();
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto *Group = new QActionGroup(PopupMenu1);
    Group->setExclusive(true);
    for (int P = 0; P < 10; ++P) {
        if (!ChecksumEntries[P].Item) {
            PopupMenu1->addSeparator();
            continue;
        }
        QAction *Item = PopupMenu1->addAction(QLatin1String(ChecksumEntries[P].Caption));
        Item->setObjectName(QLatin1String(ChecksumEntries[P].Item));
        Item->setCheckable(true);
        Group->addAction(Item);
        connect(Item, &QAction::triggered, this, [this, P] { ChooseChecksum(P); });
        FChecksumItems[P] = Item;
    }
    FChecksumItems[0]->setChecked(true);
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] {
        if (QAction *Item = FChecksumItems[StoredChecksum()])
            Item->setChecked(true);
    });
    ToolButton7 = new QToolButton(SendBar);
    ToolButton7->setObjectName(QStringLiteral("ToolButton7"));
    ToolButton7->setText(QStringLiteral("Checksum"));
    ToolButton7->setToolTip(QStringLiteral("Checksum"));
    ToolButton7->setAccessibleName(QStringLiteral("Checksum"));
    ToolButton7->setMenu(PopupMenu1);
    ToolButton7->setPopupMode(QToolButton::MenuButtonPopup);
    ToolButton7->setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(ToolButton7, &QToolButton::clicked, this, &TSendForm::ToolButton7Click);
    SendBar->addWidget(ToolButton7);
    SendBar->addSeparator();
    ToolButton8 = Button("ToolButton8", QStringLiteral("ASCII"), QStringLiteral("ASCII Send"), true);
    Layout->addWidget(SendBar);

    setWidget(Body);
}

void TSendForm::closeEvent(QCloseEvent *Event)
{
    QDockWidget::closeEvent(Event);
    if (Event->isAccepted())
        Q_EMIT Closed();
}

void TSendForm::showEvent(QShowEvent *Event)
{
    QDockWidget::showEvent(Event);
    ShowChecksumHint();
}

int TSendForm::StoredChecksum() const
{
    // A damaged record may hold any number: it reads as the first entry.
    const int Stored = Settings ? Settings->ChecksumKind() : 0;
    return IsChecksumKind(Stored) ? Stored : 0;
}

void TSendForm::ShowChecksumHint()
{
    if (!Settings)
        return;
    ToolButton7->setToolTip(QStringLiteral("Check ") + QLatin1String(ChecksumEntries[StoredChecksum()].HintName));
}

void TSendForm::ChooseChecksum(int Position)
{
    if (Settings)
        Settings->SetChecksumKind(Position);
    ShowChecksumHint();
    ToolButton7Click();
}

void TSendForm::ToolButton7Click()
{
    const bool Selected = RichSend->SelLength() > 0;
    int Leading = 0;
    const QString Source = Selected ? TrimmedControl(RichSend->SelText())
                                    : TrimmedControl(RichSend->LineText(RichSend->CaretLine()), &Leading);
    const std::string Bytes = Source.toLatin1().toStdString();
    if (!IsHexText(Bytes)) {
        if (Warn)
            Warn(QStringLiteral("Check"), QStringLiteral("The data is not hexadecimal format."));
        return;
    }
    std::string Checksum;
    try {
        Checksum = CalcChecksum(Bytes, TChecksumKind(StoredChecksum()));
    } catch (const EConvertError &E) {
        if (StandardError)
            StandardError(QString::fromLatin1(E.what()));
        return;
    }
    if (!Selected)
        RichSend->SetSelection(RichSend->LineStart(RichSend->CaretLine()) + Leading, int(Source.size()));
    // Black text, one blank, the checksum in blue; Courier New 9 points.
    const QByteArray Fragment =
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset0 "
        "Courier New;}}\r\n"
        "{\\colortbl ;\\red0\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
        "\\viewkind4\\uc1\\pard\\cf1\\lang2052\\f0\\fs18\r\n"
        "{\\cf1 " +
        Source.toLatin1() + "\\cf2  " + QByteArray::fromStdString(Checksum) + "}";
    RichSend->ReplaceSelectionRtf(Fragment);
    // Typing on behind the checksum is ordinary text, not more of the blue.
    QTextCharFormat Typed = RichSend->currentCharFormat();
    Typed.clearForeground();
    RichSend->setCurrentCharFormat(Typed);
}
