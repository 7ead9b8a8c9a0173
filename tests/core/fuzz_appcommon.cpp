// Any text through every codec function: no crash, no undefined behaviour,
// only the one error HexToBinText may raise, and the send path's invariant
// (a normalised text that passes the check spells as many bytes as it counts).
#include "AppCommon.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const std::string Text(reinterpret_cast<const char *>(Data), Size);
    const std::string Formatted = FormatHexText(Text);
    if (IsHexText(Formatted)) {
        const std::string Bytes = HexTextToBytes(Formatted);
        if (static_cast<int32_t>(Bytes.size()) != HexByteCount(Formatted, 2) ||
            static_cast<int32_t>(Bytes.size()) != HexByteCount(Formatted, 1))
            std::abort();
    }
    (void)IsHexText(Text);
    (void)HexTextToBytes(Text);
    (void)HexByteCount(Text, 1);
    (void)BinTextToValue(Text);
    (void)RemoveSpaces(Text);
    std::string Output;
    try {
        HexToBinText(Text, Output);
    } catch (const EConvertError &) {
    }
    return 0;
}
