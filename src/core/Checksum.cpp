#include "Checksum.h"

#include "AppCommon.h"

#include <cstdint>
#include <vector>

namespace {
int DigitValue(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

std::vector<uint8_t> Bytes(const std::string &Text)
{
    std::string Upper = Text;
    for (char &C : Upper)
        if (C >= 'a' && C <= 'z')
            C = char(C - 'a' + 'A');
    std::size_t First = 0, Last = Upper.size();
    while (First < Last && static_cast<unsigned char>(Upper[First]) <= 32)
        ++First;
    while (Last > First && static_cast<unsigned char>(Upper[Last - 1]) <= 32)
        --Last;
    std::vector<uint8_t> Out;
    char High = 0;
    bool HaveHigh = false;
    for (std::size_t I = First; I < Last; ++I) {
        const char C = Upper[I];
        if (C == ' ')
            continue;
        if (!HaveHigh) {
            High = C;
            HaveHigh = true;
            continue;
        }
        HaveHigh = false;
        const int H = DigitValue(High), L = DigitValue(C);
        if (H < 0 || L < 0)
            throw EConvertError(std::string("'$") + High + C + "' is not a valid integer value");
        Out.push_back(uint8_t(H * 16 + L));
    }
    return Out;
}

std::string Hex(uint8_t B)
{
    static const char Digits[] = "0123456789ABCDEF";
    return {Digits[B >> 4], Digits[B & 15]};
}

std::string Pair(uint8_t First, uint8_t Second)
{
    return Hex(First) + ' ' + Hex(Second);
}
}  // namespace

bool IsChecksumKind(int Position)
{
    return Position >= 0 && Position <= 9 && Position != 4;
}

std::string CalcChecksum(const std::string &Text, TChecksumKind Kind)
{
    const std::vector<uint8_t> Data = Bytes(Text);
    switch (Kind) {
    case TChecksumKind::Sum:
    case TChecksumKind::SumLowHigh:
    case TChecksumKind::SumHighLow: {
        uint16_t Sum = 0;
        for (uint8_t B : Data)
            Sum = uint16_t(Sum + B);
        const uint8_t Low = uint8_t(Sum & 0xFF), High = uint8_t(Sum >> 8);
        if (Kind == TChecksumKind::Sum)
            return Hex(Low);
        return Kind == TChecksumKind::SumLowHigh ? Pair(Low, High) : Pair(High, Low);
    }
    case TChecksumKind::Xor: {
        uint8_t X = 0;
        for (uint8_t B : Data)
            X ^= B;
        return Hex(X);
    }
    case TChecksumKind::ModbusCrc16:
    case TChecksumKind::AnsiCrc16: {
        uint16_t Crc = 0xFFFF;
        for (uint8_t B : Data) {
            Crc ^= B;
            for (int I = 0; I < 8; ++I)
                Crc = (Crc & 1) ? uint16_t((Crc >> 1) ^ 0xA001) : uint16_t(Crc >> 1);
        }
        return Pair(uint8_t(Crc & 0xFF), uint8_t(Crc >> 8));
    }
    case TChecksumKind::ModbusLrc: {
        uint8_t Sum = 0;
        for (uint8_t B : Data)
            Sum = uint8_t(Sum + B);
        return Hex(uint8_t(-Sum));
    }
    case TChecksumKind::CcittCrc16: {
        uint16_t Crc = 0;
        for (uint8_t B : Data) {
            Crc ^= uint16_t(B << 8);
            for (int I = 0; I < 8; ++I)
                Crc = (Crc & 0x8000) ? uint16_t((Crc << 1) ^ 0x1021) : uint16_t(Crc << 1);
        }
        return Pair(uint8_t(Crc >> 8), uint8_t(Crc & 0xFF));
    }
    case TChecksumKind::CcittCrc8: {
        uint8_t Crc = 0;
        for (uint8_t B : Data) {
            Crc ^= B;
            for (int I = 0; I < 8; ++I)
                Crc = (Crc & 0x80) ? uint8_t((Crc << 1) ^ 0x07) : uint8_t(Crc << 1);
        }
        return Hex(uint8_t(Crc ^ 0xFF));
    }
    }
    return Hex(0);
}
