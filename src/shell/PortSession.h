// The port's life as the main window drives it: opened with the user's line
// settings, the reader thread released while the port is open and parked
// while it is closed, and a device that went away while open closed for good.
// No widgets: the window shows IsOpen() and reports what this throws.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
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
    // Ends an open under way and waits for its thread.
    ~TPortSession();

    bool IsOpen() const;
    // False while the open port is a raw network connection: the line
    // settings are taken but cannot reach the device.
    bool LineSettingsReachDevice() const;
    // Sets the port from Choice, opens it and lets the reader run. Throws ECom
    // when it does not open: the port stays closed, the reader parked. Does
    // nothing when the port is open. FirstLine, when given, is queued before
    // anything the port receives.
    void Open(const TPortChoice &Choice, const std::string &FirstLine = std::string());
    // Open on a thread of its own, for a port whose opening may take seconds
    // (a connection to another machine): the caller goes on meanwhile and
    // must leave the port alone while Opening() holds. Done is called on that
    // thread at the end with "" when the port opened, else what Open throws
    // (Cancelled: the open was ended by CancelOpen); Opening() holds until
    // the caller has taken the outcome with FinishOpen(). Does nothing while
    // an open runs or the port is open.
    using TOpenDone = std::function<void(const std::string &Error, bool Cancelled)>;
    void OpenInBackground(const TPortChoice &Choice, TOpenDone Done, const std::string &FirstLine = std::string());
    bool Opening() const { return FOpening.load(); }
    // Ends the open under way: it fails, cancelled.
    void CancelOpen();
    // After Done: the port is the caller's again.
    void FinishOpen();
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
    std::atomic<bool> FOpening {false};
    std::atomic<bool> FCancelled {false};
    std::atomic<bool> FOpenerDone {false};
    std::thread FOpener;
};
