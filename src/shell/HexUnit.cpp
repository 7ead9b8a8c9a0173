#include "HexUnit.h"

#include "AppCommon.h"
#include "SendClass.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace {
struct TFieldDesign {
    const char *Name;
    const char *Label;
    int MaxLength;
    const char *Keys;  // characters let through besides backspace and blank
};

// Bin holds nine groups of four digits, each followed by a blank: the
// largest nine-digit hex value.
const TFieldDesign Designs[3] = {
    {"Hex", "Hex:", 9, "0123456789ABCDEFabcdef"},
    {"Dec", "Dec:", 10, "0123456789"},
    {"Bin", "Bin:", 45, "01"},
};

// Keys that edit or move without typing a character.
bool IsEditingKey(const QKeyEvent *Key)
{
    if (Key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return true;
    switch (Key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true;
    default:
        return Key->text().isEmpty();
    }
}
}  // namespace

THexDecForm::THexDecForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("HexDecForm"));
    setWindowTitle(QStringLiteral("HexDecBin Converter"));

    auto *Group = new QGroupBox(this);
    auto *Form = new QFormLayout(Group);
    for (int I = 0; I < 3; ++I) {
        auto *Edit = new QLineEdit(Group);
        Edit->setObjectName(QLatin1String(Designs[I].Name));
        Edit->setAccessibleName(QLatin1String(Designs[I].Name));
        Edit->setContextMenuPolicy(Qt::NoContextMenu);
        Edit->installEventFilter(this);
        Edit->setMinimumWidth(Edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 46);
        FFields[I] = Edit;
        Form->addRow(QLatin1String(Designs[I].Label), Edit);
        // Only the user's own edits convert: texts written into the other
        // two fields start nothing.
        connect(Edit, &QLineEdit::textEdited, this, [this, I] { Edited(TNumberField(I)); });
    }
    auto *Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Cancel->setObjectName(QStringLiteral("CancelButton"));
    Cancel->setAutoDefault(false);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::close);
    auto *Layout = new QVBoxLayout(this);
    Layout->addWidget(Group);
    Layout->addWidget(Cancel, 0, Qt::AlignRight);
    Layout->setSizeConstraint(QLayout::SetFixedSize);
}

int THexDecForm::LongestInput(TNumberField Which)
{
    return Designs[int(Which)].MaxLength;
}

void THexDecForm::ShowAtCursor()
{
    const QPoint At = QCursor::pos();
    show();
    const QRect Screen =
        (QApplication::screenAt(At) ? QApplication::screenAt(At) : QApplication::primaryScreen())->availableGeometry();
    const int Width = frameGeometry().width();
    move(std::max(Screen.left(), std::min(At.x(), Screen.right() + 1 - Width)), At.y() + 20);
    raise();
    activateWindow();
}

bool THexDecForm::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::KeyPress) {
        for (int I = 0; I < 3; ++I) {
            if (Watched != FFields[I])
                continue;
            auto *Key = static_cast<QKeyEvent *>(Event);
            if (IsEditingKey(Key))
                return false;
            const QString Text = Key->text();
            // The longest input counts what the key would leave; texts the
            // program writes into a field may be longer.
            auto *Edit = FFields[I];
            if (Text.size() == 1 && Edit->text().size() - Edit->selectedText().size() >= Designs[I].MaxLength) {
                QApplication::beep();
                return true;
            }
            const bool Allowed = Text.size() == 1 &&
                (Text[0] == QLatin1Char(' ') ||
                    (Text[0].unicode() < 128 && std::strchr(Designs[I].Keys, Text[0].toLatin1())));
            if (!Allowed) {
                QApplication::beep();
                return true;
            }
        }
    }
    return QDialog::eventFilter(Watched, Event);
}

void THexDecForm::contextMenuEvent(QContextMenuEvent *Event)
{
    QLineEdit *Target = qobject_cast<QLineEdit *>(focusWidget());
    if (!Target)
        return;
    QMenu Menu(this);
    Menu.addAction(QStringLiteral("cut"), QKeySequence::Cut, Target, &QLineEdit::cut);
    Menu.addAction(QStringLiteral("copy"), QKeySequence::Copy, Target, &QLineEdit::copy);
    Menu.addAction(QStringLiteral("paste"), QKeySequence::Paste, Target, &QLineEdit::paste);
    Menu.addAction(QStringLiteral("undo"), QKeySequence::Undo, Target, &QLineEdit::undo);
    Menu.addAction(QStringLiteral("selectAll"), QKeySequence::SelectAll, Target, &QLineEdit::selectAll);
    Menu.exec(Event->globalPos());
}

void THexDecForm::Edited(TNumberField Which)
{
    QLineEdit *Source = Field(Which);
    // Pasted text is cut to the longest input, as typing is.
    if (const int Longest = Designs[int(Which)].MaxLength; Source->text().size() > Longest)
        Source->setText(Source->text().left(Longest));
    TConversion Result;
    try {
        Result = ConvertNumber(Which, Source->text());
    } catch (const EConvertError &E) {
        if (FMessages)
            FMessages->StandardError(QString::fromLatin1(E.what()));
        return;
    }
    if (!Result.Warning.isEmpty()) {
        QApplication::beep();
        if (FMessages)
            FMessages->Warning(this, QStringLiteral("HexDecBin"), Result.Warning);
    }
    const QString Texts[3] = {Result.Hex, Result.Dec, Result.Bin};
    for (int I = 0; I < 3; ++I) {
        QLineEdit *Edit = FFields[I];
        if (Edit->text() == Texts[I])
            continue;
        // The typed field keeps its caret (hex only changes case).
        const int Caret = Edit->cursorPosition();
        Edit->setText(Texts[I]);
        if (Edit == Source)
            Edit->setCursorPosition(std::min(Caret, int(Texts[I].size())));
    }
}
