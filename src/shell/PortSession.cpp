#include "PortSession.h"

#include "PortDiscovery.h"
#include "QuillScomm.h"

std::vector<std::string> PortsPresent()
{
    std::vector<std::string> Found;
    try {
        AddSerialCommPorts(Found);
        AddModemEntries(Found);
    } catch (const std::exception &) {
        // Go on with what was found.
    }
    return Found;
}

TPortSession::TPortSession(TQuillScomm &Link, TQuillComThread &Reader) : FLink(Link), FReader(Reader)
{
}

bool TPortSession::IsOpen() const
{
    return FLink.Port.Connected();
}

bool TPortSession::LineSettingsReachDevice() const
{
    return !IsOpen() || FLink.Port.Device().CarriesLineSettings();
}

void TPortSession::Open(const TPortChoice &Choice, const std::string &FirstLine)
{
    if (IsOpen())
        return;
    TComPort &Port = FLink.Port;
    Port.SetPort(Choice.Port);
    Port.SetBaudRate(TextToBaudRate(Choice.BaudRate));
    Port.Parity().SetBits(TextToParity(Choice.Parity));
    Port.SetDataBits(TextToDataBits(Choice.DataBits));
    Port.SetStopBits(TextToStopBits(Choice.StopBits));
    FLink.OpenPort();
    if (!IsOpen())
        return;
    FLast = Choice;
    // The reader is still parked: nothing received can come before it.
    if (!FirstLine.empty())
        FLink.QueueLine(FirstLine);
    FReader.Release();
}

void TPortSession::Close()
{
    if (!IsOpen())
        return;
    // Closing ends a wait or read under way, so the park that follows is
    // reached at once.
    FLink.ClosePort();
    FReader.Park();
}

std::string TPortSession::CloseVanished()
{
    // The reader stopped touching the device when it found it gone; the
    // port is closed here so that it can be opened again.
    if (!IsOpen() || !FLink.DeviceGone())
        return std::string();
    std::string Name = FLink.Port.Port();
    try {
        FLink.ClosePort();
    } catch (const std::exception &) {
        // It is gone; closing what is left cannot be done better.
    }
    FReader.Park();
    return Name;
}
