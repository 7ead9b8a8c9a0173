#include "PopUnit.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace {
constexpr int FieldHeight = 16;
constexpr int DesignHeight = 43;

QLineEdit *TextLikeField(QWidget *Parent, const char *Name)
{
    auto *Edit = new QLineEdit(Parent);
    Edit->setObjectName(QLatin1String(Name));
    Edit->setAccessibleName(QLatin1String(Name));
    Edit->setReadOnly(true);
    Edit->setFrame(false);
    Edit->setFixedHeight(FieldHeight);
    Edit->setTextMargins(0, 0, 0, 0);
    Edit->setStyleSheet(QStringLiteral("QLineEdit { background: palette(button); border: none; padding: 0; }"));
    return Edit;
}
}  // namespace

TPopForm::TPopForm(QWidget *Parent) : QWidget(Parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("PopForm"));
    setAccessibleName(QStringLiteral("To Dec Bin"));
    auto *Panel = new QFrame(this);
    Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel->setObjectName(QStringLiteral("PopPanel"));
    FDecLabel = new QLabel(QStringLiteral("Dec:"), Panel);
    FBinLabel = new QLabel(QStringLiteral("Bin:"), Panel);
    FDec = TextLikeField(Panel, "Dec");
    FBin = TextLikeField(Panel, "Bin");
    FDecLabel->setBuddy(FDec);
    FBinLabel->setBuddy(FBin);
    FSink = new QLineEdit(Panel);
    FSink->setFixedWidth(0);
    FSink->setFrame(false);
    resize(112, DesignHeight);
}

void TPopForm::ShowValues(const QString &Dec, const QString &Bin, const QPoint &MouseGlobal)
{
    FDec->setText(Dec);
    FBin->setText(Bin);
    // Each hex digit is four binary digits and a blank.
    const int Digits = int(Bin.size() / 5);
    // 54 pixels a byte, or more where the desktop's font needs it: a value
    // cut off at the left would read as another number.
    const int FieldWidth = std::max((Digits / 2) * ByteWidth, FBin->fontMetrics().horizontalAdvance(Bin.trimmed()) + 6);
    const int LabelWidth = std::max(FDecLabel->sizeHint().width(), FBinLabel->sizeHint().width());
    const int Width = LabelWidth + FieldWidth + 17;
    const int Height = std::max(DesignHeight, 2 * FieldHeight + 11);
    auto *Panel = findChild<QFrame *>(QStringLiteral("PopPanel"));
    Panel->setGeometry(0, 0, Width, Height);
    FDecLabel->setGeometry(4, 4, LabelWidth, FieldHeight);
    FBinLabel->setGeometry(4, 4 + FieldHeight + 3, LabelWidth, FieldHeight);
    FDec->setGeometry(LabelWidth + 10, 4, FieldWidth, FieldHeight);
    FBin->setGeometry(LabelWidth + 10, 4 + FieldHeight + 3, FieldWidth, FieldHeight);
    FSink->setGeometry(Width - 3, 4, 0, FieldHeight);
    FDec->setCursorPosition(0);
    FBin->setCursorPosition(0);
    setFixedSize(Width, Height);
    move(MouseGlobal.x(), MouseGlobal.y() - Height - 10);
    show();
    FSink->setFocus();
}

void TPopForm::changeEvent(QEvent *Event)
{
    if (Event->type() == QEvent::ActivationChange && !isActiveWindow())
        hide();
    QWidget::changeEvent(Event);
}
