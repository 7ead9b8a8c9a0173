// The command line: which port to open and how, the receive mode and a
// folder for automatic saving, for one run. What an option sets holds for
// that run only: when the settings are stored at exit, every value an option
// set that the window still shows is stored as it was before the run, so only
// what the user changed in the window is kept. No widgets: the main window
// applies the result.
#pragma once

#include "PortSession.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

class TSettingsRecord;

// What the command line asks for; an empty or unset member leaves the stored
// value in force.
struct TStartOptions {
    // As typed: a device path, a name under /dev, COMn or a network address.
    QString Port;
    // The line settings as the tool bar's combos show them ("57600", "Even",
    // "7", "1.5").
    QString BaudRate, Parity, DataBits, StopBits;
    bool Open = false;
    std::optional<bool> AsciiReceive;
    // Absolute and cleaned.
    QString LogDir;
    // The message file to show in the receive view.
    QString File;
};

class TCommandLine {
public:
    enum class TOutcome {
        Run,
        Help,
        Version,
        // Prints the ports the port combo would list (for shell completion).
        ListPorts,
        // Error() says why; the program ends with ExitRefused.
        Refused
    };
    // What a shell script expects of a command given bad options.
    static constexpr int ExitRefused = 2;
    // The most bytes the settings record keeps of a folder.
    static constexpr int FolderBytes = 255;
    // Lines per automatically saved file when --log-dir finds no count set.
    static constexpr int32_t DefaultLogLines = 10000;

    TCommandLine();

    // Arguments as QCoreApplication::arguments() gives them, the program's
    // path first. With AllowUnknown, options the parser does not know are
    // left alone (the window system's own, before the application that takes
    // them out exists); without it they are refused.
    TOutcome Parse(const QStringList &Arguments, bool AllowUnknown = false);
    const TStartOptions &Options() const { return FOptions; }
    // One line, naming the option and what it accepts.
    const QString &Error() const { return FError; }
    QCommandLineParser &Parser() { return FParser; }

private:
    // Keeps the first refusal: the one the user reads.
    void Refuse(const QString &Text);
    QCommandLineParser FParser;
    TStartOptions FOptions;
    QString FError;
};

// The options in force for a run, over the stored settings.
class TStartOverrides {
public:
    TStartOverrides() = default;
    explicit TStartOverrides(TStartOptions Options) : FOptions(std::move(Options)) { }
    const TStartOptions &Options() const { return FOptions; }

    // Once the stored settings are read: puts what the options set into
    // Record (receive mode, folder and line count of automatic saving) and
    // remembers what Record and the stored port name held.
    void Apply(TSettingsRecord &Record, const QString &StoredPort);
    // The combos' choice at start: Stored with the options' values in place.
    TPortChoice Choice(TPortChoice Stored) const;
    // Before the settings are stored, Record holding the combos' entries:
    // every value an option set that Shown (the combos) or Record still
    // holds gets back what was stored.
    void KeepStored(TSettingsRecord &Record, const TPortChoice &Shown) const;
    // The port name config.ini is to keep when the combo shows Shown.
    QString PortNameToStore(const QString &Shown) const;
    // The typed baud rate config.ini is to keep when the combo shows Shown
    // (empty: a listed rate); Stored is the one it kept before this run.
    QString BaudRateToStore(const QString &Shown, const QString &Stored) const;

private:
    // The combo shows the port the option named.
    bool SetPort(const QString &Shown) const;
    TStartOptions FOptions;
    bool FApplied = false;
    QString FStoredPort;
    uint8_t FPortIndex = 0, FBaudIndex = 0, FParityIndex = 0, FDataBitsIndex = 0, FStopBitsIndex = 0;
    bool FAsciiReceive = false;
    std::string FAutoSaveFolder;
    int32_t FAutoSaveLineCount = 0;
    std::string FLogFolder;
    int32_t FLogLines = 0;
};
