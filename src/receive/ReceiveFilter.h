#pragma once
// The receiving filter's policy, without a window: which received lines the
// receive view shows, and how the dialog's grid becomes the stored rows.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class TSettingsRecord;

// True when a received line whose data text (hex groups "01 03 00", or the
// text as shown with ASCII receiving) is Data may be shown: the filter is
// off, or every row with a byte number and a value matches the two
// characters of that byte's place. A byte beyond the line's end (or before
// its start) matches no value, so such a line is hidden.
bool PassesReceiveFilter(const TSettingsRecord &Settings, const std::string &Data);

// One row of the dialog's grid as typed.
struct TFilterCells {
    std::string ByteNumber;
    std::string Value;
};
using TFilterGrid = std::array<TFilterCells, 5>;

// What a confirmed grid stores: per row a byte number (0: empty row) and an
// upper-case value.
struct TFilterRow {
    int32_t ByteNumber = 0;
    std::string Value;
};
using TFilterRows = std::array<TFilterRow, 5>;

// The first cell that cannot be stored.
struct TFilterRefusal {
    int Row = 0;     // 0-based
    int Column = 0;  // 1: byte number, 2: value
    const char *Text = "";
};

inline constexpr const char *FilterNotInteger = "The input value must be integer.";
inline constexpr const char *FilterNotHex = "The input value must be hexadecimal.";
// A negative byte number would hide every line.
inline constexpr const char *FilterOutOfRange = "The byte number must be from 1 to 2147483647.";

// Checks the whole grid: either every row as it is to be stored, or the
// first refused cell (rows in order, byte number before value). Nothing is
// stored by this; the caller stores only a grid that passed.
struct TFilterCheck {
    std::optional<TFilterRows> Rows;
    TFilterRefusal Refusal;
};
TFilterCheck CheckFilterGrid(const TFilterGrid &Grid);

// Stores the rows in the settings record.
void StoreFilterRows(TSettingsRecord &Settings, const TFilterRows &Rows);
