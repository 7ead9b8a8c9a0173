#include "ReceiveFilter.h"

#include "AppCommon.h"
#include "SettingsRecord.h"

#include <cctype>
#include <charconv>

bool PassesReceiveFilter(const TSettingsRecord &Settings, const std::string &Data)
{
    if (!Settings.FilterOn())
        return true;
    for (int Row = 0; Row < TSettingsRecord::FilterRows; ++Row) {
        const int32_t Byte = Settings.FilterByteNumber(Row);
        const std::string Value = Settings.FilterValue(Row);
        if (Byte == 0 || Value.empty())
            continue;
        // 64-bit: a byte number near the 32-bit limit must not wrap round
        // to a place inside the line.
        const int64_t Start = (int64_t(Byte) - 1) * 3;
        std::string Digits;
        if (Start >= 0 && Start < int64_t(Data.size()))
            Digits = Data.substr(std::size_t(Start), 2);
        if (Digits != Value)
            return false;
    }
    return true;
}

namespace {
bool ReadInteger(const std::string &Text, int32_t &Value)
{
    const char *First = Text.data();
    const char *Last = First + Text.size();
    if (First != Last && *First == '+')
        ++First;
    const auto [End, Error] = std::from_chars(First, Last, Value);
    return Error == std::errc() && End == Last && First != Last;
}
}  // namespace

TFilterCheck CheckFilterGrid(const TFilterGrid &Grid)
{
    TFilterRows Rows;
    for (int Row = 0; Row < int(Grid.size()); ++Row) {
        const TFilterCells &Cells = Grid[std::size_t(Row)];
        if (Cells.ByteNumber.empty())
            continue;  // an empty byte number clears the row, whatever its value
        int32_t Byte = 0;
        if (!ReadInteger(Cells.ByteNumber, Byte))
            return {std::nullopt, {Row, 1, FilterNotInteger}};
        if (Byte < 0)
            return {std::nullopt, {Row, 1, FilterOutOfRange}};
        if (Cells.Value.size() != 2 || !IsHexText(Cells.Value))
            return {std::nullopt, {Row, 2, FilterNotHex}};
        if (Byte == 0)
            continue;  // byte number 0 marks an empty row
        std::string Upper = Cells.Value;
        for (char &C : Upper)
            C = char(std::toupper(static_cast<unsigned char>(C)));
        Rows[std::size_t(Row)] = {Byte, Upper};
    }
    return {Rows, {}};
}

void StoreFilterRows(TSettingsRecord &Settings, const TFilterRows &Rows)
{
    for (int Row = 0; Row < TSettingsRecord::FilterRows; ++Row) {
        Settings.SetFilterByteNumber(Row, Rows[std::size_t(Row)].ByteNumber);
        Settings.SetFilterValue(Row, Rows[std::size_t(Row)].Value);
    }
}
