// Hexadecimal text codec: conversions between hex byte text, raw bytes,
// binary digit groups and numbers. Texts are 8-bit strings (one byte per
// character). Each function is a fixed rule; callers rely on how the odd
// inputs come out, so the rules are not "improved" here.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Raised when a text cannot be read as a number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Well-formed hex byte text: pairs of hex digits, separated or not by
// spaces, CR or LF, never a byte split by a space; at least one byte.
bool IsHexText(const std::string &Text);

// Upper-cases, trims, drops separators and puts one space after every
// second remaining character (digits or not).
std::string FormatHexText(const std::string &Text);

// Reads digit pairs into bytes; malformed pairs are dropped silently and a
// lone last digit becomes a byte of its own.
std::string HexTextToBytes(const std::string &Text);

// Number of bytes a hex text spells. RoundMode 1 counts a lone last digit as
// a byte; any other value does not.
int32_t HexByteCount(const std::string &Text, int RoundMode);

// Puts the binary groups of Text's hex digits ("0001 1010 " for "1A") in
// front of Output and returns it. Throws EConvertError on a non-digit; what
// was put in front before the failure stays in Output.
std::string &HexToBinText(const std::string &Text, std::string &Output);

// Binary digit text to a number, wrapping modulo 2^64; nothing is rejected.
int64_t BinTextToValue(const std::string &Text);

// Trims, then drops every space inside (CR, LF and tabs stay).
std::string RemoveSpaces(const std::string &Text);
