// The port's life as the main window drives it: opened with the user's line
// settings, the reader thread released while the port is open and parked
// while it is closed, and a device that went away while open closed for good.
// No widgets: the window shows IsOpen() and reports what this throws.
#pragma once

#include <string>
#include <vector>

class TComPort;
class TQuillComThread;
class TQuillScomm;

// The port and its line settings as the tool bar's combos show them.
struct TPortChoice {
    std::string Port;
    std::string BaudRate, Parity, DataBits, StopBits;
};

// The ports present: serial ports, then modems. A discovery that fails part
// way gives what it found.
std::vector<std::string> PortsPresent();

// Sets Port's rate from the baud combo's text: a listed rate ("Custom" is
// the port's custom rate; an empty text the default 9600), or any other
// whole number of bits per second as the custom rate. Throws ECom, changing
// nothing, for any other text.
void SetBaudRateText(TComPort &Port, const std::string &Text);

class TPortSession {
public:
    // Neither is owned; both outlive the session.
    TPortSession(TQuillScomm &Link, TQuillComThread &Reader);

    bool IsOpen() const;
    // False while the open port is a raw network connection: the line
    // settings are taken but cannot reach the device.
    bool LineSettingsReachDevice() const;
    // Sets the port from Choice, opens it and lets the reader run. Throws ECom
    // when it does not open: the port stays closed, the reader parked. Does
    // nothing when the port is open. FirstLine, when given, is queued before
    // anything the port receives.
    void Open(const TPortChoice &Choice, const std::string &FirstLine = std::string());
    // The choice the port was last opened with.
    const TPortChoice &LastChoice() const { return FLast; }
    // Closes the port, then parks the reader; does nothing when closed.
    void Close();
    // When the reader found the open device gone: closes what is left of the
    // port, parks the reader and returns the device's name, once. Otherwise
    // returns "" and does nothing.
    std::string CloseVanished();

private:
    TQuillScomm &FLink;
    TQuillComThread &FReader;
    TPortChoice FLast;
};
