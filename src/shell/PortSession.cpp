#include "PortSession.h"

#include "PortDiscovery.h"
#include "QuillScomm.h"

#include <algorithm>
#include <cctype>
#include <charconv>

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

void SetBaudRateText(TComPort &Port, const std::string &Text)
{
    const TBaudRate Listed = TextToBaudRate(Text);
    const std::string Name = BaudRateToText(Listed);
    const bool Same = std::equal(Text.begin(), Text.end(), Name.begin(), Name.end(), [](char A, char B) {
        return std::toupper(static_cast<unsigned char>(A)) == std::toupper(static_cast<unsigned char>(B));
    });
    if (Text.empty() || Same) {
        Port.SetBaudRate(Listed);
        return;
    }
    // Any other whole number of bits per second: the driver says whether it
    // can when the port opens.
    const std::size_t First = Text.find_first_not_of(' ');
    const std::size_t Last = Text.find_last_not_of(' ');
    const char *Begin = Text.data() + (First == std::string::npos ? Text.size() : First);
    const char *End = Text.data() + (Last == std::string::npos ? Text.size() : Last + 1);
    int32_t Rate = 0;
    const auto [Stop, Error] = std::from_chars(Begin, End, Rate);
    if (Begin == End || *Begin == '-' || Error != std::errc() || Stop != End || Rate <= 0)
        throw ECom("'" + Text + "' is not a valid baud rate");
    Port.SetCustomBaudRate(Rate);
    Port.SetBaudRate(brCustom);
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
    // Refused before anything of the port changes.
    SetBaudRateText(Port, Choice.BaudRate);
    Port.SetPort(Choice.Port);
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

TPortSession::~TPortSession()
{
    CancelOpen();
    if (FOpener.joinable())
        FOpener.join();
}

void TPortSession::OpenInBackground(const TPortChoice &Choice, TOpenDone Done, const std::string &FirstLine)
{
    if (FOpening || IsOpen())
        return;
    if (FOpener.joinable())
        FOpener.join();
    FOpening = true;
    FOpenerDone = false;
    FCancelled = false;
    FOpener = std::thread([this, Choice, FirstLine, Done = std::move(Done)] {
        std::string Error;
        try {
            Open(Choice, FirstLine);
            if (!IsOpen())
                Error = "The port did not open.";
        } catch (const std::exception &E) {
            Error = E.what();
        }
        const bool Cancelled = FCancelled.exchange(false);
        // Ended by the user after it had opened: closed again, as asked.
        if (Cancelled && Error.empty())
            Close();
        FOpenerDone = true;
        Done(Error, Cancelled);
    });
}

void TPortSession::FinishOpen()
{
    if (!FOpening || !FOpenerDone)
        return;
    FOpener.join();
    FOpening = false;
}

void TPortSession::CancelOpen()
{
    if (!FOpening || FOpenerDone)
        return;
    FCancelled = true;
    // The device ends a connection or an answer it is waiting for.
    if (FLink.Opening())
        FLink.Port.Device().Close();
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
