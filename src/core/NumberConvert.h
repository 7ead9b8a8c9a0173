#pragma once
// The number converter's arithmetic: one of the three fields (hex, decimal,
// binary) changed, what the other two become. Values are 64-bit.

#include <QString>

enum class TNumberField { Hex, Dec, Bin };

struct TConversion {
    // The three texts after the change. A refused field is emptied, and so
    // are the other two, as for a field the user emptied.
    QString Hex;
    QString Dec;
    QString Bin;
    // Non-empty when the changed text holds a character its base refuses.
    QString Warning;
};

// Field's text changed to Text. A hex or decimal field of blanks only has no
// digits: EConvertError, and the caller leaves the other fields as they are.
TConversion ConvertNumber(TNumberField Field, const QString &Text);

// "To Dec Bin" over a selection: the hex bytes of Selected as one number of
// at most 32 bits, Dec signed or unsigned, Bin in groups of four digits.
// False (nothing to show) for text that is not hex bytes or holds more than
// eight digits.
bool SelectionNumber(const QString &Selected, bool Signed, QString &Dec, QString &Bin);
