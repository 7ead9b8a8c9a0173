#pragma once
// Tool-bar images, drawn at run time so that they follow the style's
// colours and need no image files.

#include <QIcon>

enum class TToolIcon {
    Save,
    PortOpen,
    PortClose,
    Pause,
    SendWindow,
    FindWindow,
    Converter,
    DisplayTime,
    DisplaySending,
    WordWrap,
    Filter,
    AsciiReceive,
    Clear,
    SendLine,
    CycleSend,
    TriggerSend,
    Checksum,
    AsciiSend,
    PlotWindow
};

QIcon ToolIcon(TToolIcon Kind);
