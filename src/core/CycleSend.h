#pragma once
// Cycle send: the settings dialog's cycle panel stored into the settings
// record, and the runtime's tick that sends one line per interval.

#include <QString>

#include <cstdint>
#include <optional>

class TDataRT;
class TSettingsRecord;

// The cycle panel as the user left it: the two radio choices, the " Enable"
// box and the texts of the four number boxes.
struct TCyclePanel {
    uint8_t Mode = 0;        // 0 one line, 1 a range
    uint8_t LineChoice = 0;  // 1 the caret line, 0 the fixed line
    bool On = false;
    QString FixedLine, RangeFirst, RangeLast, Interval;
};

// Stores Panel when every box holds an integer, line numbers of 0 as 1 and
// an interval below 20 ms as 20. Otherwise nothing changes (a refused
// confirmation must not leave half its values in the record) and the text of
// the first box that is no integer comes back.
std::optional<QString> StoreCyclePanel(const TCyclePanel &Panel, TSettingsRecord &Record);

// One tick of CycleTimer: the next line of the range, the caret line or the
// fixed line goes out. A line that is not hex text while hex sending is on
// stops the timer with "Line N is not the right format."
void RunCycleTick(TDataRT &Runtime);
