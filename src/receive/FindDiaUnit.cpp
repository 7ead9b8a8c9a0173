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
// other letters a user would expect to match either way. Into a buffer
// reused line after line: the search folds every line of the view.
void AsciiUpper(QStringView Text, QString &Out)
{
    Out.resize(Text.size());
    char16_t *To = reinterpret_cast<char16_t *>(Out.data());
    const char16_t *From = Text.utf16();
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const char16_t C = From[I];
        To[I] = C >= u'a' && C <= u'z' ? char16_t(C - 32) : C;
    }
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
    // Find Next from the top of a full view to its last line stays well
    // under a tenth of a second.
    FReceiveView->KeepFindCopy();
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
    const QString Selected = FReceiveView->SelText();
    FindText->setText(Selected.isEmpty() ? FLastSearch : Selected);
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
    if (!FindText->text().isEmpty())
        FLastSearch = FindText->text();
    if (FindAll->isChecked())
        FindAllLines(FindText->text(), UpLowCase->isChecked());
    else
        FindNextHit(FindText->text(), UpLowCase->isChecked());
}

void TFindDialog::FindNextHit(const QString &What, bool MatchCase)
{
    const int From = FindPosition == 0 ? 0 : FindPosition - 1 + int(What.size());
    int Hit = FReceiveView->Find(What, From, MatchCase);
    if (Hit < 0 && From > 0) {
        Hit = FReceiveView->Find(What, 0, MatchCase);
        if (Hit >= 0)
            Q_EMIT Note(QStringLiteral("Search wrapped to the top"));
    }
    if (Hit < 0) {
        FindPosition = 0;
        Q_EMIT Note(QStringLiteral("Search string \"%1\" not found.").arg(What));
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
    QString Needle = What;
    if (!MatchCase)
        AsciiUpper(What, Needle);
    QString Folded;
    const QColor DataColour = ReceivedColour();
    QTextDocument *Document = FReceiveView->document();
    // Positions follow the text when its oldest lines are cut while the
    // search runs; lines appended meanwhile lie at or beyond End and are not
    // searched. (Text cursors would do the same but lay out every line they
    // pass.)
    int At = 0;
    int End = FReceiveView->TextLength();
    int LastHit = -1;
    const QMetaObject::Connection Follow =
        connect(Document, &QTextDocument::contentsChange, this, [&](int Position, int Removed, int Added) {
            for (int *P : {&At, &End, &LastHit}) {
                if (*P < 0 || Position >= *P)
                    continue;
                *P = Position + Removed <= *P ? *P + Added - Removed : Position;
            }
        });
    setWindowTitle(QStringLiteral("Finding..."));
    Searching = true;
    bool Found = false;
    const QPointer<TFindDialog> Alive(this);

    QElapsedTimer Slice;
    Slice.start();
    QTextBlock Block = Document->findBlock(At);
    while (Searching && !Needle.isEmpty() && Block.isValid()) {
        const int Start = Block.position();
        if (Start >= End)
            break;
        const QString Line = Block.text();
        if (!MatchCase)
            AsciiUpper(Line, Folded);
        const QString &Searched = MatchCase ? Line : Folded;
        const qsizetype Hit = Searched.indexOf(Needle);
        if (Hit >= 0 && Start + Hit + Needle.size() <= End) {
            // A line is listed once, however many hits it holds; the last
            // hit's place is the one kept.
            qsizetype Last = Hit;
            for (qsizetype Next = Searched.indexOf(Needle, Last + What.size()); Next >= 0;
                 Next = Searched.indexOf(Needle, Next + What.size()))
                Last = Next;
            LastHit = Start + int(Last);
            FindPosition = LastHit + 1;
            Output->Append(OutputLine(Line, DataColour));
            Found = true;
        }
        Block = Block.next();
        At = Block.isValid() ? Block.position() : End;
        if (Slice.elapsed() >= SliceMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (!Alive)
                return;
            // The text may have changed meanwhile: the block is found again
            // by its followed position.
            Block = Document->findBlock(At);
            Slice.restart();
        }
    }
    disconnect(Follow);
    if (LastHit >= 0)
        FindPosition = LastHit + 1;

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
