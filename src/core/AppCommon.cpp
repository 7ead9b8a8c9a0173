#include "AppCommon.h"

namespace {

bool IsSeparator(char C)
{
    return C == ' ' || C == '\r' || C == '\n';
}

// Value of a hex digit, or -1 for anything else.
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

bool IsHexDigit(char C)
{
    return HexDigitValue(C) >= 0;
}

// Drops every leading and trailing character of code 32 or less (spaces,
// tabs, line breaks, NUL), never one inside.
std::string Trim(const std::string &Text)
{
    auto IsBlank = [](char C) { return static_cast<unsigned char>(C) <= 32; };
    std::size_t First = 0;
    std::size_t Last = Text.size();
    while (First < Last && IsBlank(Text[First]))
        ++First;
    while (Last > First && IsBlank(Text[Last - 1]))
        --Last;
    return Text.substr(First, Last - First);
}

std::string UpperCase(std::string Text)
{
    for (char &C : Text)
        if (C >= 'a' && C <= 'z')
            C = static_cast<char>(C - 'a' + 'A');
    return Text;
}

const char *const NibbleTable[16] = {
    "0000",
    "0001",
    "0010",
    "0011",
    "0100",
    "0101",
    "0110",
    "0111",
    "1000",
    "1001",
    "1010",
    "1011",
    "1100",
    "1101",
    "1110",
    "1111",
};

}  // namespace

bool IsHexText(const std::string &Text)
{
    const std::string T = Trim(Text);
    if (T.size() < 2)
        return false;
    int Digits = 0;
    for (std::size_t I = 0; I < T.size(); ++I) {
        const char C = T[I];
        if (IsSeparator(C))
            continue;
        ++Digits;
        // A byte may not be split by a space; line breaks are not checked.
        if (Digits % 2 == 1 && I + 1 < T.size() && T[I + 1] == ' ')
            return false;
        if (!IsHexDigit(C))
            return false;
    }
    return Digits % 2 == 0;
}

std::string FormatHexText(const std::string &Text)
{
    const std::string T = Trim(UpperCase(Text));
    std::string Result;
    Result.reserve(T.size() + T.size() / 2 + 1);
    int Appended = 0;
    for (char C : T) {
        if (IsSeparator(C))
            continue;
        Result += C;
        if (++Appended % 2 == 0)
            Result += ' ';
    }
    return Result;
}

std::string HexTextToBytes(const std::string &Text)
{
    const std::string T = Trim(Text);
    std::string Bytes;
    Bytes.reserve(T.size() / 2 + 1);
    int Digits = 0;
    for (std::size_t I = 0; I < T.size(); ++I) {
        const char C = T[I];
        if (IsSeparator(C))
            continue;
        if (++Digits % 2 == 0)
            continue;  // second half of the pair read before
        if (I + 1 == T.size()) {
            if (IsHexDigit(C))
                Bytes += static_cast<char>(HexDigitValue(C));
        } else if (IsHexDigit(C) && IsHexDigit(T[I + 1])) {
            Bytes += static_cast<char>(HexDigitValue(C) * 16 + HexDigitValue(T[I + 1]));
        }
    }
    return Bytes;
}

int32_t HexByteCount(const std::string &Text, int RoundMode)
{
    const std::string T = Trim(Text);
    int32_t Count = 0;
    for (char C : T) {
        // A lone character followed by a space, before anything else has
        // been counted, is forgotten (the direction letter of a line).
        if (Count == 1 && C == ' ')
            Count = 0;
        if (C != ' ')
            ++Count;
    }
    int32_t Result = Count / 2;
    if (Count % 2 == 1 && RoundMode == 1)
        ++Result;
    return Result;
}

std::string &HexToBinText(const std::string &Text, std::string &Output)
{
    const std::string Digits = IsHexText(Text) ? RemoveSpaces(Text) : Text;
    // Groups are built back to front and put in front of Output in one go,
    // also when a bad character stops the walk.
    std::string Groups;
    Groups.reserve(Digits.size() * 5);
    for (std::size_t I = Digits.size(); I-- > 0;) {
        const int Value = HexDigitValue(Digits[I]);
        if (Value < 0) {
            Output.insert(0, Groups);
            throw EConvertError("'$" + std::string(1, Digits[I]) + "' is not a valid integer value");
        }
        Groups.insert(0, std::string(NibbleTable[Value]) + ' ');
    }
    Output.insert(0, Groups);
    return Output;
}

int64_t BinTextToValue(const std::string &Text)
{
    uint64_t Value = 0;
    for (char C : UpperCase(Text))
        Value = Value * 2 + (static_cast<uint64_t>(static_cast<unsigned char>(C)) - uint64_t('0'));
    return static_cast<int64_t>(Value);
}

std::string RemoveSpaces(const std::string &Text)
{
    std::string Result;
    for (char C : Trim(Text))
        if (C != ' ')
            Result += C;
    return Result;
}
