#include "CycleSend.h"

#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SettingsRecord.h"

#include <QTimer>
#include <QWidget>

namespace {
std::optional<int32_t> Integer(const QString &Text)
{
    bool Ok = false;
    const int32_t Value = Text.trimmed().toInt(&Ok, 10);
    return Ok ? std::optional<int32_t>(Value) : std::nullopt;
}
}  // namespace

std::optional<QString> StoreCyclePanel(const TCyclePanel &Panel, TSettingsRecord &Record)
{
    const auto Fixed = Integer(Panel.FixedLine);
    const auto First = Integer(Panel.RangeFirst);
    const auto Last = Integer(Panel.RangeLast);
    const auto Interval = Integer(Panel.Interval);
    for (const auto &[Value, Text] : {std::pair {Fixed, &Panel.FixedLine}, std::pair {First, &Panel.RangeFirst},
             std::pair {Last, &Panel.RangeLast}, std::pair {Interval, &Panel.Interval}})
        if (!Value)
            return *Text;
    Record.SetCycleMode(Panel.Mode);
    Record.SetCycleLineChoice(Panel.LineChoice);
    Record.SetCycleSendOn(Panel.On);
    Record.SetCycleFixedLine(*Fixed == 0 ? 1 : *Fixed);
    Record.SetCycleRangeFirst(*First == 0 ? 1 : *First);
    Record.SetCycleRangeLast(*Last == 0 ? 1 : *Last);
    Record.SetCycleInterval(*Interval < 20 ? 20u : uint32_t(*Interval));
    return std::nullopt;
}

void RunCycleTick(TDataRT &Runtime)
{
    const TDataRT::TCycleOptions &O = Runtime.CycleOptions;
    int Number = 0;  // 1-based, as the user counts lines
    try {
        if (O.Mode == 1) {
            // Compared unsigned, as the cursor is: a negative bound is huge.
            const uint32_t First = uint32_t(O.RangeFirst), Last = uint32_t(O.RangeLast);
            if (Runtime.CycleIndex < First)
                Runtime.CycleIndex = First;
            if (Runtime.CycleIndex > Last)
                Runtime.CycleIndex = First;
            Number = int(Runtime.CycleIndex);
            ++Runtime.CycleIndex;
            Runtime.SendLine(Number - 1);
        } else if (O.LineChoice == 1) {
            Number = Runtime.SendView ? Runtime.SendView->CaretLine() + 1 : 0;
            Runtime.SendCaretLine();
        } else {
            Number = O.FixedLine;
            Runtime.SendLine(Number - 1);
        }
    } catch (const ECom &) {
        Runtime.CycleTimer->stop();
        Runtime.Warn(QStringLiteral("Send"), QStringLiteral("Line %1 is not the right format.").arg(Number));
    } catch (const ESendBusy &) {
        // The device does not take what was sent before: this period's line
        // is skipped rather than queued without end.
    }
}
