#pragma once
// The checksums a user can write behind a frame in the send view. Kinds are
// the positions of the checksum menu; position 4 is its separator.

#include <string>

enum class TChecksumKind : int {
    Sum = 0,
    SumLowHigh = 1,
    SumHighLow = 2,
    Xor = 3,
    ModbusCrc16 = 5,
    ModbusLrc = 6,
    AnsiCrc16 = 7,
    CcittCrc16 = 8,
    CcittCrc8 = 9,
};

// True for the positions that name a checksum.
bool IsChecksumKind(int Position);

// The checksum of the hex bytes of Text (digits in pairs, blanks skipped, a
// last digit without a partner ignored) as upper-case byte groups separated
// by one blank: "DD", "37 4B". A pair that is no hex number (a line break
// taken as a digit) throws EConvertError "'$xy' is not a valid integer
// value". CRC-16/XMODEM is written high byte first, as it goes on the wire.
std::string CalcChecksum(const std::string &Text, TChecksumKind Kind);
