// A stored "data" record of any length and content: taking it and reading
// every field back must never crash or read outside the fixed image; a
// whole image is kept byte for byte, and what is read is written back as is.
#include "SettingsRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    TSettingsRecord Record;
    Record.Assign(std::span<const uint8_t>(Data, Size));
    if (Size >= TSettingsRecord::Size && std::memcmp(Record.Image().data(), Data, TSettingsRecord::Size) != 0)
        std::abort();
    for (int Row = 0; Row < TSettingsRecord::TriggerRows; ++Row) {
        (void)Record.TriggerRecLine(Row);
        (void)Record.TriggerTrigLine(Row);
    }
    for (int Row = 0; Row < TSettingsRecord::FilterRows; ++Row) {
        (void)Record.FilterByteNumber(Row);
        (void)Record.FilterValue(Row);
    }
    (void)Record.TriggerTime();
    (void)Record.LastMessageFile();
    (void)Record.ProgramPath();
    (void)Record.CycleInterval();
    (void)Record.AutoSaveLineCount();
    TSettingsRecord Copy;
    Copy.Assign(Record.Image());
    if (!std::equal(Copy.Image().begin(), Copy.Image().end(), Record.Image().begin()))
        std::abort();
    return 0;
}
