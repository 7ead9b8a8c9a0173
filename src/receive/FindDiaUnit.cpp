#include "FindDiaUnit.h"

#include "FindUnit.h"
#include "RichView.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
// Case folding of ASCII letters only: a hex or text monitor's data has no
// other letters a user would expect to match either way.
QString AsciiUpper(QStringView Text)
{
    QString Upper = Text.toString();
    for (QChar &C : Upper)
        if (C.unicode() >= 'a' && C.unicode() <= 'z')
            C = QChar(C.unicode() - 32);
    return Upper;
}

// A hit line as the search output shows it: the tag up to its first "]" and
// one blank, and the data after it without surrounding blanks.
QList<TRichView::TRun> OutputLine(const QString &Line, const QColor &DataColour)
{
    static const QColor Grey(128, 128, 128);
    const qsizetype Close = Line.indexOf(QLatin1Char(']'));
    const QString Tag = Close < 0 ? QString() : Line.left(Close + 1) + QLatin1Char(' ');
    const QString Data = (Close < 0 ? Line : Line.mid(Close + 1)).trimmed();
    QList<TRichView::TRun> Runs;
    if (!Tag.isEmpty())
        Runs.append({Tag, Grey});
    Runs.append({Data + QLatin1Char('\n'), DataColour});
    return Runs;
}
}  // namespace

TFindDialog::TFindDialog(TRichView *ReceiveView, TFindForm *Output, QWidget *Parent)
    : QDialog(Parent), FReceiveView(ReceiveView), FOutput(Output)
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Find"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    ReceivedColour = [] { return QColor(Qt::black); };
    Warn = [](QWidget *Owner, const QString &Caption, const QString &Text) {
        QMessageBox::warning(Owner, Caption, Text, QMessageBox::Ok);
    };

    Label1 = new QLabel(QStringLiteral("Find What:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    FindText = new QLineEdit(QStringLiteral("FindText"), this);
    FindText->setObjectName(QStringLiteral("FindText"));
    FindText->setMinimumWidth(220);
    Label1->setBuddy(FindText);
    FindNext = new QPushButton(QStringLiteral("Find Next (&F)"), this);
    FindNext->setObjectName(QStringLiteral("FindNext"));
    FindNext->setDefault(true);
    FindAll = new QCheckBox(QStringLiteral("Find All"), this);
    FindAll->setObjectName(QStringLiteral("FindAll"));
    UpLowCase = new QCheckBox(QStringLiteral("Match Case"), this);
    UpLowCase->setObjectName(QStringLiteral("UpLowCase"));
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto *Grid = new QGridLayout(this);
    Grid->addWidget(Label1, 0, 0);
    Grid->addWidget(FindText, 0, 1);
    Grid->addWidget(FindNext, 0, 2);
    Grid->addWidget(FindAll, 1, 1);
    Grid->addWidget(Button2, 1, 2);
    Grid->addWidget(UpLowCase, 2, 1);
    Grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(FindText, &QLineEdit::textEdited, this, [this] { FindNext->setEnabled(true); });
    connect(FindNext, &QPushButton::clicked, this, &TFindDialog::RunFind);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TFindDialog::showEvent(QShowEvent *Event)
{
    FindText->setText(FReceiveView->SelText());
    FindNext->setEnabled(!FindText->text().isEmpty());
    if (QWidget *Main = parentWidget())
        move(Main->frameGeometry().topLeft() + QPoint(50, 100));
    QDialog::showEvent(Event);
}

void TFindDialog::hideEvent(QHideEvent *Event)
{
    Searching = false;
    QDialog::hideEvent(Event);
}

void TFindDialog::RunFind()
{
    // One search at a time: F3 during "Find All" waits for it.
    if (Searching || FReceiveView->TextLength() == 0)
        return;
    if (FindAll->isChecked())
        FindAllLines(FindText->text(), UpLowCase->isChecked());
    else
        FindNextHit(FindText->text(), UpLowCase->isChecked());
}

void TFindDialog::FindNextHit(const QString &What, bool MatchCase)
{
    const int From = FindPosition == 0 ? 0 : FindPosition - 1 + int(What.size());
    const int Hit = FReceiveView->Find(What, From, MatchCase);
    if (Hit < 0) {
        // Silently: the next search starts at the top again.
        FindPosition = 0;
        return;
    }
    FindPosition = Hit + 1;
    FReceiveView->SetSelection(Hit, int(What.size()));
}

void TFindDialog::FindAllLines(const QString &What, bool MatchCase)
{
    FindPosition = 0;
    TRichView *Output = FOutput->RichFind;
    Output->ClearText();
    const QString Needle = MatchCase ? What : AsciiUpper(What);
    const QColor DataColour = ReceivedColour();
    QTextDocument *Document = FReceiveView->document();
    // Cursors rather than positions: they follow the text when its oldest
    // lines are cut while the search runs. Lines appended meanwhile lie
    // beyond End and are not searched.
    QTextCursor At(Document);
    QTextCursor End(Document);
    End.movePosition(QTextCursor::End);
    End.setKeepPositionOnInsert(true);
    setWindowTitle(QStringLiteral("Finding..."));
    Searching = true;
    int LastHit = -1;
    bool Found = false;
    const QPointer<TFindDialog> Alive(this);

    QElapsedTimer Slice;
    Slice.start();
    while (Searching && !Needle.isEmpty()) {
        const QTextBlock Block = At.block();
        const int Start = Block.position();
        if (!Block.isValid() || Start >= End.position())
            break;
        const QString Line = Block.text();
        const qsizetype Hit = MatchCase ? Line.indexOf(Needle) : AsciiUpper(Line).indexOf(Needle);
        if (Hit >= 0 && Start + Hit + Needle.size() <= End.position()) {
            // A line is listed once, however many hits it holds; the last
            // hit's place is the one kept.
            qsizetype Last = Hit;
            const QString Searched = MatchCase ? Line : AsciiUpper(Line);
            for (qsizetype Next = Searched.indexOf(Needle, Last + What.size()); Next >= 0;
                 Next = Searched.indexOf(Needle, Next + What.size()))
                Last = Next;
            LastHit = Start + int(Last);
            FindPosition = LastHit + 1;
            Output->Append(OutputLine(Line, DataColour));
            Found = true;
        }
        if (!At.movePosition(QTextCursor::NextBlock))
            break;
        if (Slice.elapsed() >= SliceMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (!Alive)
                return;
            Slice.restart();
        }
    }

    if (!Found) {
        Warn(this, QStringLiteral("Find"), QStringLiteral("Search string \"%1\" not found.").arg(What));
    } else {
        FReceiveView->SetSelection(LastHit, 0);
        if (ShowOutput)
            ShowOutput();
        Output->FlushUpdates();
        Output->SetSelection(0, 0);
    }
    setWindowTitle(QStringLiteral("Find"));
    Searching = false;
    FReceiveView->viewport()->update();
}
