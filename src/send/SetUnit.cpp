#include "SetUnit.h"

#include "DataFolder.h"
#include "SendSteps.h"
#include "SettingsRecord.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <exception>

namespace {

constexpr int Rows = TSettingsRecord::TriggerRows;

template <class T> T *Named(T *Control, const char *Name)
{
    Control->setObjectName(QLatin1String(Name));
    return Control;
}

// A number box: its label is what a screen reader calls it.
QLineEdit *NumberBox(QWidget *Parent, const char *Name, const QString &Caption)
{
    auto *Box = Named(new QLineEdit(QStringLiteral("0"), Parent), Name);
    Box->setAccessibleName(Caption);
    Box->setFixedWidth(56);
    return Box;
}

QLabel *Caption(QWidget *Parent, const char *Name, const QString &Text, QWidget *Buddy = nullptr)
{
    auto *Label = Named(new QLabel(Text, Parent), Name);
    if (Buddy)
        Label->setBuddy(Buddy);
    return Label;
}

// The grid's cell text, blanks around it not counted.
QString CellText(QTableWidget *Grid, int Row, int Column)
{
    const QTableWidgetItem *Item = Grid->item(Row, Column);
    return Item ? Item->text() : QString();
}

}  // namespace

std::optional<int32_t> IntegerValue(const QString &Text)
{
    QString T = Text.trimmed();
    bool Negative = false;
    if (T.startsWith(u'-') || T.startsWith(u'+')) {
        Negative = T.startsWith(u'-');
        T.remove(0, 1);
    }
    int Base = 10;
    if (T.startsWith(u'$')) {
        T.remove(0, 1);
        Base = 16;
    } else if (T.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        T.remove(0, 2);
        Base = 16;
    }
    // Only digits: toLongLong would also take blanks and a second sign.
    if (T.isEmpty() || T.size() > 20)
        return std::nullopt;
    for (const QChar C : T)
        if (!(C.isDigit() && C.unicode() < 128) && !(Base == 16 && QStringLiteral("abcdefABCDEF").contains(C)))
            return std::nullopt;
    bool Ok = false;
    const qlonglong Magnitude = T.toLongLong(&Ok, Base);
    if (!Ok)
        return std::nullopt;
    const qlonglong Value = Negative ? -Magnitude : Magnitude;
    if (Value < INT32_MIN || Value > INT32_MAX)
        return std::nullopt;
    return int32_t(Value);
}

TSetForm::TSetForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("Settings"));
    CreateCyclePanel();
    CreateTriggerPanel();
    auto *Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(6, 6, 6, 6);
    Layout->addWidget(Panel1);
    Layout->addWidget(Panel3);
    Panel3->hide();
}

void TSetForm::CreateCyclePanel()
{
    Panel1 = Named(new QWidget(this), "Panel1");
    RadioButton1 = Named(new QRadioButton(QStringLiteral("Send Line:"), Panel1), "RadioButton1");
    RadioButton2 = Named(new QRadioButton(QStringLiteral("Range: "), Panel1), "RadioButton2");
    RadioButton4 = Named(new QRadioButton(QStringLiteral("This Line"), Panel1), "RadioButton4");
    RadioButton5 = Named(new QRadioButton(QStringLiteral("Fixed Line:"), Panel1), "RadioButton5");
    for (auto Pair : {std::pair(RadioButton1, RadioButton2), std::pair(RadioButton4, RadioButton5)}) {
        auto *Group = new QButtonGroup(Panel1);
        Group->addButton(Pair.first);
        Group->addButton(Pair.second);
    }
    Edit2 = NumberBox(Panel1, "Edit2", QStringLiteral("Fixed Line:"));
    Edit3 = NumberBox(Panel1, "Edit3", QStringLiteral("From"));
    Edit4 = NumberBox(Panel1, "Edit4", QStringLiteral("to"));
    Edit10 = NumberBox(Panel1, "Edit10", QStringLiteral("Send Interval: ms"));
    Label3 = Caption(Panel1, "Label3", QStringLiteral("From"), Edit3);
    Label10 = Caption(Panel1, "Label10", QStringLiteral("Send Interval:"), Edit10);
    CheckBox1 = Named(new QCheckBox(QStringLiteral(" Enable"), Panel1), "CheckBox1");
    Button3 = Named(new QPushButton(QStringLiteral("Ok"), Panel1), "Button3");
    Button4 = Named(new QPushButton(QStringLiteral("Cancel"), Panel1), "Button4");

    auto *Grid = new QGridLayout;
    Grid->addWidget(RadioButton1, 0, 0);
    Grid->addWidget(RadioButton4, 0, 1, 1, 2);
    Grid->addWidget(RadioButton5, 1, 1);
    Grid->addWidget(Edit2, 1, 2);
    Grid->addWidget(RadioButton2, 2, 0);
    auto *Range = new QHBoxLayout;
    Range->addWidget(Label3);
    Range->addWidget(Edit3);
    Range->addWidget(Caption(Panel1, "Label5", QStringLiteral("to"), Edit4));
    Range->addWidget(Edit4);
    Range->addStretch();
    Grid->addLayout(Range, 2, 1, 1, 3);
    auto *Interval = new QHBoxLayout;
    Interval->addWidget(Label10);
    Interval->addWidget(Edit10);
    Interval->addWidget(Caption(Panel1, "Label11", QStringLiteral("ms  (>19)")));
    Interval->addStretch();
    Grid->addLayout(Interval, 3, 0, 1, 4);
    Grid->setColumnStretch(3, 1);

    auto *Buttons = new QHBoxLayout;
    Buttons->addWidget(CheckBox1);
    Buttons->addStretch();
    Buttons->addWidget(Button3);
    Buttons->addWidget(Button4);
    auto *Layout = new QVBoxLayout(Panel1);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addLayout(Grid);
    Layout->addStretch();
    Layout->addLayout(Buttons);

    connect(RadioButton1, &QRadioButton::clicked, this, &TSetForm::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TSetForm::RadioButton2Click);
    connect(Button3, &QPushButton::clicked, this, &TSetForm::Confirm);
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
}

void TSetForm::CreateTriggerPanel()
{
    Panel3 = Named(new QWidget(this), "Panel3");

    auto *Timing = Named(new QGroupBox(QStringLiteral("Timing Trigger"), Panel3), "GroupBox1");
    DateTimePicker1 = Named(new QTimeEdit(Timing), "DateTimePicker1");
    DateTimePicker1->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    DateTimePicker1->setAccessibleName(QStringLiteral("Trigger Time:"));
    Label2 = Caption(Timing, "Label2", QStringLiteral("Trigger Time:"), DateTimePicker1);
    RadioButton3 = Named(new QRadioButton(QStringLiteral("Send Line:"), Timing), "RadioButton3");
    RadioButton8 = Named(new QRadioButton(QStringLiteral("Range:"), Timing), "RadioButton8");
    RadioButton6 = Named(new QRadioButton(QStringLiteral("This Line"), Timing), "RadioButton6");
    RadioButton7 = Named(new QRadioButton(QStringLiteral("Fixed Line:"), Timing), "RadioButton7");
    for (auto Pair : {std::pair(RadioButton3, RadioButton8), std::pair(RadioButton6, RadioButton7)}) {
        auto *Group = new QButtonGroup(Timing);
        Group->addButton(Pair.first);
        Group->addButton(Pair.second);
    }
    Edit6 = NumberBox(Timing, "Edit6", QStringLiteral("Fixed Line:"));
    Edit7 = NumberBox(Timing, "Edit7", QStringLiteral("From"));
    Edit8 = NumberBox(Timing, "Edit8", QStringLiteral("to"));
    Edit9 = NumberBox(Timing, "Edit9", QStringLiteral("Send Interval: ms"));
    Label7 = Caption(Timing, "Label7", QStringLiteral("From"), Edit7);
    Label8 = Caption(Timing, "Label8", QStringLiteral("Send Interval:"), Edit9);
    CheckBox2 = Named(new QCheckBox(QStringLiteral("Enable"), Timing), "CheckBox2");
    // Two boxes say "Enable"; the description tells a screen reader which.
    CheckBox2->setAccessibleDescription(QStringLiteral("Timing Trigger"));

    auto *T = new QGridLayout(Timing);
    T->addWidget(Label2, 0, 0);
    T->addWidget(DateTimePicker1, 0, 1, 1, 2);
    T->addWidget(RadioButton3, 1, 0);
    T->addWidget(RadioButton6, 1, 1, 1, 2);
    T->addWidget(RadioButton7, 2, 1);
    T->addWidget(Edit6, 2, 2);
    T->addWidget(RadioButton8, 3, 0);
    auto *Range = new QHBoxLayout;
    Range->addWidget(Label7);
    Range->addWidget(Edit7);
    Range->addWidget(Caption(Timing, "Label9", QStringLiteral("to"), Edit8));
    Range->addWidget(Edit8);
    Range->addStretch();
    T->addLayout(Range, 4, 0, 1, 3);
    auto *Interval = new QHBoxLayout;
    Interval->addWidget(Label8);
    Interval->addWidget(Edit9);
    Interval->addWidget(Caption(Timing, "Label12", QStringLiteral("ms(>19)")));
    Interval->addStretch();
    T->addLayout(Interval, 5, 0, 1, 3);
    T->addWidget(CheckBox2, 6, 0);
    T->setRowStretch(7, 1);

    auto *Receive = Named(new QGroupBox(QStringLiteral("Receive Trigger"), Panel3), "GroupBox2");
    StringGrid2 = Named(new QTableWidget(Rows, 3, Receive), "StringGrid2");
    StringGrid2->setAccessibleName(QStringLiteral("Trigger List"));
    StringGrid2->setHorizontalHeaderLabels(
        {QStringLiteral("Items"), QStringLiteral("Rec.Line"), QStringLiteral("Trig.Line")});
    StringGrid2->verticalHeader()->hide();
    StringGrid2->setSelectionMode(QAbstractItemView::SingleSelection);
    // Typing into a cell edits it, as in a spreadsheet.
    StringGrid2->setEditTriggers(QAbstractItemView::AllEditTriggers);
    StringGrid2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid2->verticalHeader()->setDefaultSectionSize(StringGrid2->fontMetrics().height() + 6);
    for (int Row = 0; Row < Rows; ++Row) {
        // The numbering column is fixed: read-only and not selectable.
        auto *Number = new QTableWidgetItem(QString::number(Row + 1));
        Number->setFlags(Qt::ItemIsEnabled);
        StringGrid2->setItem(Row, 0, Number);
        for (int Column = 1; Column < 3; ++Column)
            StringGrid2->setItem(Row, Column, new QTableWidgetItem);
    }
    const int Unit = StringGrid2->fontMetrics().horizontalAdvance(QStringLiteral("Trig.Line")) + 12;
    StringGrid2->setColumnWidth(0, Unit * 2 / 3);
    StringGrid2->setColumnWidth(1, Unit);
    StringGrid2->setColumnWidth(2, Unit);
    StringGrid2->setFixedSize(Unit * 8 / 3 + 2 * StringGrid2->frameWidth(),
        StringGrid2->horizontalHeader()->sizeHint().height() +
            Rows * StringGrid2->verticalHeader()->defaultSectionSize() + 2 * StringGrid2->frameWidth());
    Label4 = Caption(Receive, "Label4", QStringLiteral("Trigger List"), StringGrid2);
    Edit1 = NumberBox(Receive, "Edit1", QStringLiteral("Trigger Delay: ms"));
    Label1 = Caption(Receive, "Label1", QStringLiteral("Trigger Delay:"), Edit1);
    CheckBox3 = Named(new QCheckBox(QStringLiteral("Enable"), Receive), "CheckBox3");
    CheckBox3->setAccessibleDescription(QStringLiteral("Receive Trigger"));

    auto *R = new QVBoxLayout(Receive);
    R->addWidget(Label4);
    R->addWidget(StringGrid2);
    auto *Delay = new QHBoxLayout;
    Delay->addWidget(Label1);
    Delay->addWidget(Edit1);
    Delay->addWidget(Caption(Receive, "Label13", QStringLiteral("ms")));
    Delay->addStretch();
    R->addLayout(Delay);
    R->addWidget(CheckBox3);
    R->addStretch();

    Button1 = Named(new QPushButton(QStringLiteral("Ok"), Panel3), "Button1");
    Button2 = Named(new QPushButton(QStringLiteral("Cancel"), Panel3), "Button2");
    auto *Groups = new QHBoxLayout;
    Groups->addWidget(Timing);
    Groups->addWidget(Receive);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto *Layout = new QVBoxLayout(Panel3);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addLayout(Groups);
    Layout->addLayout(Buttons);

    connect(Button1, &QPushButton::clicked, this, &TSetForm::Confirm);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TSetForm::ShowPanel(TSetPanel Panel)
{
    const bool Cycle = Panel == TSetPanel::Cycle;
    setWindowTitle(Cycle ? QStringLiteral("Cycle to Send data") : QStringLiteral("Send data conditionally"));
    Panel1->setVisible(Cycle);
    Panel3->setVisible(!Cycle);
    // Enter in a box confirms the panel shown.
    Button3->setDefault(Cycle);
    Button1->setDefault(!Cycle);
    // The design size, or what the fonts in use need if that is more.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    layout()->invalidate();
    layout()->activate();
    setFixedSize((Cycle ? CycleSize : TriggerSize).expandedTo(layout()->sizeHint()));
    show();
    raise();
    activateWindow();
}

void TSetForm::showEvent(QShowEvent *Event)
{
    FormShow();
    QDialog::showEvent(Event);
}

void TSetForm::PlaceAtPointer()
{
    // Above the pointer, 20 pixels clear of it, kept inside the screen.
    const QPoint Pointer = QCursor::pos();
    const QScreen *Screen = QGuiApplication::screenAt(Pointer);
    if (!Screen)
        Screen = QGuiApplication::primaryScreen();
    const QRect Area = Screen ? Screen->geometry() : QRect(0, 0, 1024, 768);
    const QSize Size = frameGeometry().size().expandedTo(size());
    int Left = Pointer.x();
    if (Left + Size.width() > Area.right() + 1)
        Left = Area.right() + 1 - Size.width();
    const int Top = Pointer.y() < Size.height() ? 0 : Pointer.y() - Size.height() - 20;
    move(Left, Top);
}

void TSetForm::FormShow()
{
    PlaceAtPointer();
    if (!Settings)
        return;
    const TSettingsRecord &S = *Settings;
    (S.CycleMode() == 0 ? RadioButton1 : RadioButton2)->setChecked(true);
    (S.CycleLineChoice() == 1 ? RadioButton4 : RadioButton5)->setChecked(true);
    Edit2->setText(QString::number(S.CycleFixedLine()));
    Edit3->setText(QString::number(S.CycleRangeFirst()));
    Edit4->setText(QString::number(S.CycleRangeLast()));
    Edit10->setText(QString::number(S.CycleInterval()));
    CheckBox1->setChecked(S.CycleSendOn());
    if (S.CycleMode() == 0)
        RadioButton1Click();
    else
        RadioButton2Click();

    CheckBox2->setChecked(S.TimingTriggerOn());
    FLoadedTime = S.TriggerTime();
    DateTimePicker1->setTime(TriggerTimeOfDay(FLoadedTime));
    (S.TimingMode() == 0 ? RadioButton3 : RadioButton8)->setChecked(true);
    (S.TimingLineChoice() == 1 ? RadioButton6 : RadioButton7)->setChecked(true);
    Edit6->setText(QString::number(S.TimingFixedLine()));
    Edit7->setText(QString::number(S.TimingRangeFirst()));
    Edit8->setText(QString::number(S.TimingRangeLast()));
    Edit9->setText(QString::number(S.TimingInterval()));
    CheckBox3->setChecked(S.ReceiveTriggerOn());
    for (int Row = 0; Row < Rows; ++Row) {
        const int32_t Rec = S.TriggerRecLine(Row);
        StringGrid2->item(Row, 1)->setText(Rec != 0 ? QString::number(Rec) : QString());
        StringGrid2->item(Row, 2)->setText(Rec != 0 ? QString::number(S.TriggerTrigLine(Row)) : QString());
    }
    Edit1->setText(QString::number(S.TriggerDelay()));
}

void TSetForm::RadioButton1Click()
{
    for (QWidget *W :
        {static_cast<QWidget *>(RadioButton4), static_cast<QWidget *>(RadioButton5), static_cast<QWidget *>(Edit2)})
        W->setEnabled(true);
    Edit3->setEnabled(false);
    Edit4->setEnabled(false);
}

void TSetForm::RadioButton2Click()
{
    for (QWidget *W :
        {static_cast<QWidget *>(RadioButton4), static_cast<QWidget *>(RadioButton5), static_cast<QWidget *>(Edit2)})
        W->setEnabled(false);
    Edit3->setEnabled(true);
    Edit4->setEnabled(true);
}

void TSetForm::Confirm()
{
    if (!Settings)
        return;
    // Every box and cell of both panels is read before anything is stored:
    // a refused one leaves the record as it was, so that nothing the user
    // did not confirm is applied by the next options step or saved at exit.
    QWidget *Refused = nullptr;
    QString RefusedMessage;
    int RefusedRow = -1, RefusedColumn = -1;
    // A number below Least (a negative line number) would be stored and
    // then never send anything. A box its mode disables is not in use and
    // keeps what it holds; it is checked once its mode is chosen.
    auto Check = [&](QWidget *Box, const QString &Text, const QString &Name, int32_t Least,
                     int32_t Shown) -> std::optional<int32_t> {
        const auto Value = IntegerValue(Text);
        if (!Value)
            RefusedMessage = QStringLiteral("'%1' is not a valid integer value").arg(Text);
        else if (*Value < Least && Box->isEnabled())
            RefusedMessage = QStringLiteral("'%1' is out of range for %2 (%3 to %4)")
                                 .arg(Text.trimmed(), Name, QString::number(Shown), QString::number(INT32_MAX));
        else
            return Value;
        Refused = Box;
        return std::nullopt;
    };
    auto Number = [&](QLineEdit *Box, const QString &Name, int32_t Least, int32_t Shown) -> int32_t {
        if (Refused)
            return 0;
        return Check(Box, Box->text(), Name, Least, Shown).value_or(0);
    };
    // A line number: 0 is taken as line 1.
    auto LineNumber = [&](QLineEdit *Box, const QString &Name) { return Number(Box, Name, 0, 1); };
    // Intervals below 20 ms are sent every 20 ms, whatever their sign.
    auto Interval = [&](QLineEdit *Box) { return Number(Box, QString(), INT32_MIN, 0); };
    // An empty cell is 0; anything else must be an integer of its range.
    auto Cell = [&](int Row, int Column, bool &Empty) -> int32_t {
        const QString Text = CellText(StringGrid2, Row, Column);
        Empty = Text.trimmed().isEmpty();
        if (Empty || Refused)
            return 0;
        // "Rec.Line" 0 marks an empty row; a "Trig.Line" must name a line.
        const bool Rec = Column == 1;
        const auto Value =
            Check(StringGrid2, Text, Rec ? QStringLiteral("Rec.Line") : QStringLiteral("Trig.Line"), Rec ? 0 : 1, 1);
        if (Value)
            return *Value;
        RefusedRow = Row;
        RefusedColumn = Column;
        return 0;
    };
    const int32_t Fixed = LineNumber(Edit2, QStringLiteral("Fixed Line"));
    const int32_t First = LineNumber(Edit3, QStringLiteral("From"));
    const int32_t Last = LineNumber(Edit4, QStringLiteral("To"));
    const int32_t CycleInterval = Interval(Edit10);
    const int32_t TimingFixed = LineNumber(Edit6, QStringLiteral("Fixed Line"));
    const int32_t TimingFirst = LineNumber(Edit7, QStringLiteral("From"));
    const int32_t TimingLast = LineNumber(Edit8, QStringLiteral("To"));
    const int32_t TimingInterval = Interval(Edit9);
    int32_t Rec[Rows] = {};
    int32_t Trig[Rows] = {};
    for (int Row = 0; Row < Rows; ++Row) {
        bool RecEmpty = false, TrigEmpty = false;
        Rec[Row] = Cell(Row, 1, RecEmpty);
        Trig[Row] = Cell(Row, 2, TrigEmpty);
        if (TrigEmpty)
            Rec[Row] = Trig[Row] = 0;
    }
    const int32_t Delay = Number(Edit1, QStringLiteral("Trigger Delay"), 0, 0);
    if (Refused) {
        // Both panels are read: the refused box is shown to the user.
        if (!Refused->isVisibleTo(this))
            ShowPanel(Panel1->isAncestorOf(Refused) ? TSetPanel::Cycle : TSetPanel::Trigger);
        Refused->setFocus(Qt::OtherFocusReason);
        if (RefusedRow >= 0)
            StringGrid2->setCurrentCell(RefusedRow, RefusedColumn);
        else if (auto *Box = qobject_cast<QLineEdit *>(Refused))
            Box->selectAll();
        if (StandardError)
            StandardError(RefusedMessage);
        return;
    }

    auto Line = [](int32_t V) { return V == 0 ? 1 : V; };
    auto Milliseconds = [](int32_t V) { return uint32_t(V < 20 ? 20 : V); };
    TSettingsRecord &S = *Settings;
    S.SetCycleMode(RadioButton1->isChecked() ? 0 : 1);
    S.SetCycleLineChoice(RadioButton4->isChecked() ? 1 : 0);
    S.SetCycleSendOn(CheckBox1->isChecked());
    S.SetCycleFixedLine(Line(Fixed));
    S.SetCycleRangeFirst(Line(First));
    S.SetCycleRangeLast(Line(Last));
    S.SetCycleInterval(Milliseconds(CycleInterval));

    S.SetTimingTriggerOn(CheckBox2->isChecked());
    // A stored value the picker still shows is kept as it is (its date part
    // and fraction of a second with it).
    const QTime Picked = DateTimePicker1->time();
    const QTime Loaded = TriggerTimeOfDay(FLoadedTime);
    if (Picked.hour() != Loaded.hour() || Picked.minute() != Loaded.minute() || Picked.second() != Loaded.second())
        S.SetTriggerTime(TriggerTimeValue(Picked));
    S.SetTimingMode(RadioButton3->isChecked() ? 0 : 1);
    S.SetTimingLineChoice(RadioButton6->isChecked() ? 1 : 0);
    S.SetTimingFixedLine(Line(TimingFixed));
    S.SetTimingRangeFirst(Line(TimingFirst));
    S.SetTimingRangeLast(Line(TimingLast));
    S.SetTimingInterval(Milliseconds(TimingInterval));
    S.SetReceiveTriggerOn(CheckBox3->isChecked());
    for (int Row = 0; Row < Rows; ++Row) {
        S.SetTriggerRecLine(Row, Rec[Row]);
        S.SetTriggerTrigLine(Row, Trig[Row]);
    }
    S.SetTriggerDelay(uint32_t(Delay));

    QString WriteFailure;
    try {
        WriteDataFile(S);
    } catch (const std::exception &E) {
        WriteFailure = QString::fromLocal8Bit(E.what());
    }
    if (ApplyOptions)
        ApplyOptions();
    accept();
    // The settings are in use and are written again at exit; the user
    // still learns that the file was not.
    if (!WriteFailure.isEmpty() && StandardError)
        StandardError(WriteFailure);
}
