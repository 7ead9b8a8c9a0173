#include "NumberConvert.h"

#include "AppCommon.h"

#include <algorithm>
#include <cstring>

namespace {
QString BinaryOf(const std::string &HexDigits)
{
    std::string Out;
    HexToBinText(HexDigits, Out);
    return QString::fromLatin1(Out);
}

QString HexOf(uint64_t Value)
{
    return QString::number(Value, 16).toUpper();
}

bool AllOf(const std::string &Digits, const char *Allowed)
{
    return std::all_of(Digits.begin(), Digits.end(), [Allowed](char C) { return std::strchr(Allowed, C) != nullptr; });
}
}  // namespace

TConversion ConvertNumber(TNumberField Field, const QString &Text)
{
    TConversion R;
    if (Text.isEmpty())
        return R;
    // Characters outside Latin-1 become '?', which every base refuses.
    const std::string Digits = RemoveSpaces(Text.toLatin1().toStdString());
    switch (Field) {
    case TNumberField::Hex: {
        if (!AllOf(Digits, "0123456789ABCDEFabcdef")) {
            R.Warning = QStringLiteral("What you input is not Hex.");
            return R;
        }
        if (Digits.empty())
            throw EConvertError("'$' is not a valid integer value");
        // The field holds at most nine digits; longer pasted text keeps
        // its low 64 bits like any other wrap-around.
        const uint64_t Value = QString::fromLatin1(Digits).right(16).toULongLong(nullptr, 16);
        R.Hex = Text.toUpper();
        R.Dec = QString::number(Value);
        R.Bin = BinaryOf(Digits);
        return R;
    }
    case TNumberField::Dec: {
        if (!AllOf(Digits, "0123456789")) {
            R.Warning = QStringLiteral("What you input is not dec.");
            return R;
        }
        if (Digits.empty())
            throw EConvertError("'' is not a valid integer value");
        bool Ok = false;
        const uint64_t Value = QString::fromLatin1(Digits).toULongLong(&Ok);
        if (!Ok)
            throw EConvertError("'" + Digits + "' is not a valid integer value");
        R.Dec = Text;
        R.Hex = HexOf(Value);
        R.Bin = BinaryOf(R.Hex.toStdString());
        return R;
    }
    case TNumberField::Bin: {
        if (!AllOf(Digits, "01")) {
            R.Warning = QStringLiteral("What you input is not bin.");
            return R;
        }
        const uint64_t Value = static_cast<uint64_t>(BinTextToValue(Digits));
        R.Bin = Text;
        R.Dec = QString::number(Value);
        R.Hex = HexOf(Value);
        return R;
    }
    }
    return R;
}

bool SelectionNumber(const QString &Selected, bool Signed, QString &Dec, QString &Bin)
{
    const std::string Text = Selected.trimmed().toLatin1().toStdString();
    if (!IsHexText(Text))
        return false;
    const std::string Digits = RemoveSpaces(Text);
    if (Digits.size() > 8)
        return false;
    bool Ok = false;
    const uint32_t Value = QString::fromLatin1(Digits).toUInt(&Ok, 16);
    if (!Ok)
        throw EConvertError("'$" + Digits + "' is not a valid integer value");
    Dec = Signed ? QString::number(static_cast<int32_t>(Value)) : QString::number(Value);
    Bin = BinaryOf(Digits);
    return true;
}
