#include "SendClass.h"

#include "AppCommon.h"
//#include "QuillScomm.h"
//#include "RichView.h"
#include "SettingsRecord.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <exception>

namespace {

std::string Latin1(const QString &Text)
{
    const QByteArray Bytes = Text.toLatin1();
    return std::string(Bytes.constData(), static_cast<std::size_t>(Bytes.size()));
}

QString FromLatin1(const std::string &Text)
{
    // Sized, so a character of code 0 in a character-mode line is kept.
    return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));
}

// The codec's trimming: every character of code 32 or less at both ends.
std::string TrimLow(const std::string &Text)
{
    std::size_t First = 0;
    std::size_t Last = Text.size();
    while (First < Last && static_cast<unsigned char>(Text[First]) <= 32)
        ++First;
    while (Last > First && static_cast<unsigned char>(Text[Last - 1]) <= 32)
        --Last;
    return Text.substr(First, Last - First);
}

int HexDigitValue(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    return -1;
}

[[maybe_unused]] QColor ColourOf(uint32_t Value)
{
    return QColor(static_cast<int>(Value & 0xFF), static_cast<int>((Value >> 8) & 0xFF),
                  static_cast<int>((Value >> 16) & 0xFF));
}

} // namespace

// ---------------------------------------------------------------------------
// Pure text rules

TDisplayParts SplitMonitorLine(const std::string &Line, bool ShowTime, bool ShowRxTx)
{
    TDisplayParts Parts;
    Parts.Received = !Line.empty() && Line[0] == 'R';
    const std::size_t Close = Line.find(']');
    Parts.Data = Close == std::string::npos ? Line : Line.substr(Close + 1);
    if (ShowTime) {
        const std::size_t Open = Line.find('[');
        std::string Head;
        if (Open != std::string::npos && Close != std::string::npos && Open < Close)
            Head = Line.substr(Open, Close - Open);
        if (ShowRxTx)
            Parts.Tag = Head + (Parts.Received ? " Rx] " : " Tx] ");
        else
            Parts.Tag = Head + "] ";
    } else if (ShowRxTx) {
        Parts.Tag = Parts.Received ? "[R x] " : "[T x] ";
    }
    return Parts;
}

int32_t CaretColumn(const QString &TextBeforeCaret, bool HexUnits)
{
    QString Text = TextBeforeCaret;
    if (Text.size() > 1 && Text[0] == u'[') {
        if (Text.size() >= 3 && Text[1] == u'>' && Text[2] == u'>') {
            Text = Text.mid(3);
        } else {
            const qsizetype Close = Text.indexOf(u']');
            // No "]" yet: the caret stands inside the tag.
            Text = Close < 0 ? QString() : Text.mid(Close + 2);
        }
    }
    if (HexUnits)
        return HexByteCount(Latin1(Text), 1);
    return static_cast<int32_t>(Text.size());
}

int32_t SelectionSize(const QString &Selected, bool HexUnits)
{
    if (HexUnits)
        return HexByteCount(TrimLow(Latin1(Selected)), 2);
    return static_cast<int32_t>(Selected.size());
}

bool SelectionValues(const QString &Selected, QString &Dec, QString &Bin)
{
    const std::string Text = Latin1(Selected);
    if (!IsHexText(Text))
        return false;
    const std::string Digits = RemoveSpaces(Text);
    if (Digits.size() > 8)
        return false;
    uint32_t Value = 0;
    for (char C : Digits) {
        const int Digit = HexDigitValue(C);
        if (Digit < 0)
            throw EConvertError("'$" + Digits + "' is not a valid integer value");
        Value = Value * 16 + static_cast<uint32_t>(Digit);
    }
    std::string Binary;
    HexToBinText(Digits, Binary);
    Dec = QString::number(static_cast<int32_t>(Value));
    Bin = FromLatin1(Binary);
    return true;
}

QString CaretSendText(const std::function<QString(int)> &LineAt, int LineCount, int CaretLine)
{
    if (CaretLine < 0 || CaretLine >= LineCount)
        return {};
    const QString First = LineAt(CaretLine);
    if (!First.startsWith(QStringLiteral("[>>")))
        return First;
    // The end is looked for from the block's start, not from the caret: a
    // caret behind the "<<]" of its own line must still send that block.
    // Lines are read one at a time; the view's text is never copied whole.
    static const QString End = QStringLiteral("<<]");
    QString Text;
    qsizetype Scanned = 0;
    for (int I = CaretLine; I < LineCount; ++I) {
        const QString Segment = I == CaretLine ? First.mid(3) : LineAt(I);
        const qsizetype At = Segment.indexOf(End);
        if (At >= 0)
            return Scanned + At + End.size() <= BlockSearchLimit ? Text + Segment.left(At) : QString();
        Scanned += Segment.size() + 1;
        if (Scanned >= BlockSearchLimit)
            return {};
        Text += Segment;
        Text += LineBreak;
    }
    return {};
}

uint32_t ColourValue(uint8_t Red, uint8_t Green, uint8_t Blue)
{
    return uint32_t(Red) | (uint32_t(Green) << 8) | (uint32_t(Blue) << 16);
}

// ---------------------------------------------------------------------------
// Messages

void TRuntimeMessages::Warning(QWidget *Owner, const QString &Caption, const QString &Text)
{
    QString Shown = Text;
    Shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox::warning(Owner, Caption, Shown);
}

void TRuntimeMessages::StandardError(const QString &Text)
{
    QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(), Text);
}
