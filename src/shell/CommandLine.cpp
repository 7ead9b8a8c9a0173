#include "CommandLine.h"

#include "SettingsRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <limits>

namespace {
const QString PortOption = QStringLiteral("port");
const QString BaudOption = QStringLiteral("baud");
const QString DataBitsOption = QStringLiteral("data-bits");
const QString ParityOption = QStringLiteral("parity");
const QString StopBitsOption = QStringLiteral("stop-bits");
const QString OpenOption = QStringLiteral("open");
const QString HexOption = QStringLiteral("hex");
const QString AsciiOption = QStringLiteral("ascii");
const QString LogDirOption = QStringLiteral("log-dir");
const QString ListPortsOption = QStringLiteral("list-ports");

// The texts the combos show, by what may be typed (any letter case).
const QStringList ParityTexts = {QStringLiteral("None"), QStringLiteral("Odd"), QStringLiteral("Even"),
    QStringLiteral("Mark"), QStringLiteral("Space")};
const QStringList DataBitsTexts = {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
const QStringList StopBitsTexts = {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};

QString Tr(const char *Text)
{
    return QCoreApplication::translate("CommandLine", Text);
}

// The text of Texts that Value names, or an empty one.
QString Listed(const QStringList &Texts, const QString &Value)
{
    for (const QString &T : Texts)
        if (T.compare(Value, Qt::CaseInsensitive) == 0)
            return T;
    return QString();
}

bool SameText(const std::string &Shown, const QString &Option)
{
    return !Option.isEmpty() && QString::fromStdString(Shown).compare(Option, Qt::CaseInsensitive) == 0;
}
}  // namespace

TCommandLine::TCommandLine()
{
    FParser.setApplicationDescription(Tr("Serial port terminal and monitor.\n\n"
                                         "A port on another machine is named rfc2217://HOST:PORT (Telnet with serial "
                                         "port\ncontrol) or socket://HOST:PORT (raw TCP). Neither carries encryption "
                                         "or\nauthentication: use them on trusted networks only, or through an SSH "
                                         "tunnel."));
    FParser.addHelpOption();
    FParser.addVersionOption();
    FParser.addOptions({
        {{QStringLiteral("p"), PortOption},
            Tr("The port: a device path, a name under /dev (ttyUSB0), COMn, or a network port "
               "(rfc2217://HOST:PORT, socket://HOST:PORT)."),
            Tr("NAME")},
        {{QStringLiteral("b"), BaudOption}, Tr("Baud rate, any whole number above 0 (9600, 115200, 250000)."),
            Tr("RATE")},
        {DataBitsOption, Tr("Data bits: 5, 6, 7 or 8."), Tr("BITS")},
        {ParityOption, Tr("Parity: none, odd, even, mark or space."), Tr("PARITY")},
        {StopBitsOption, Tr("Stop bits: 1, 1.5 or 2."), Tr("BITS")},
        {{QStringLiteral("o"), OpenOption}, Tr("Open the port at start.")},
        {HexOption, Tr("Show received data in hexadecimal.")},
        {AsciiOption, Tr("Show received data as text.")},
        {LogDirOption, Tr("Save the received data automatically into the folder DIR."), Tr("DIR")},
    });
    QCommandLineOption ListPorts(ListPortsOption, Tr("Print the ports the port list shows, one a line."));
    ListPorts.setFlags(QCommandLineOption::HiddenFromHelp);
    FParser.addOption(ListPorts);
    FParser.addPositionalArgument(
        QStringLiteral("file"), Tr("Message file to show in the receive view."), QStringLiteral("[file]"));
}

void TCommandLine::Refuse(const QString &Text)
{
    if (FError.isEmpty())
        FError = Text;
}

TCommandLine::TOutcome TCommandLine::Parse(const QStringList &Arguments, bool AllowUnknown)
{
    FOptions = TStartOptions();
    FError.clear();
    // Missing values and unknown options make parse() fail; both are told
    // below, with the option's name.
    FParser.parse(Arguments);
    if (FParser.isSet(QStringLiteral("help")) || FParser.isSet(QStringLiteral("help-all")))
        return TOutcome::Help;
    if (FParser.isSet(QStringLiteral("version")))
        return TOutcome::Version;

    const QStringList Unknown = FParser.unknownOptionNames();
    if (!AllowUnknown && !Unknown.isEmpty()) {
        const QString Name = Unknown.first();
        Refuse(Tr("unknown option '%1%2'").arg(Name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), Name));
    }
    for (const QString &Name : {PortOption, BaudOption, DataBitsOption, ParityOption, StopBitsOption, LogDirOption})
        if (FParser.isSet(Name) && FParser.values(Name).isEmpty())
            Refuse(Tr("--%1 needs a value").arg(Name));
    if (!FError.isEmpty())
        return TOutcome::Refused;

    if (FParser.isSet(PortOption)) {
        FOptions.Port = FParser.value(PortOption);
        if (FOptions.Port.isEmpty())
            Refuse(Tr("--port needs a port name, such as /dev/ttyUSB0 or ttyUSB0"));
    }
    if (FParser.isSet(BaudOption)) {
        const QString Typed = FParser.value(BaudOption);
        static const QRegularExpression Digits(QStringLiteral("^[0-9]{1,10}$"));
        const qlonglong Rate = Digits.match(Typed).hasMatch() ? Typed.toLongLong() : 0;
        if (Rate < 1 || Rate > std::numeric_limits<int32_t>::max())
            Refuse(Tr("--baud: '%1' is not a baud rate; give a whole number from 1 to %2, such as 9600 or 115200")
                       .arg(Typed)
                       .arg(std::numeric_limits<int32_t>::max()));
        else
            FOptions.BaudRate = QString::number(Rate);
    }
    struct {
        const QString &Name;
        const QStringList &Texts;
        QString &Value;
        const char *Accepted;
    } Listings[] = {
        {DataBitsOption, DataBitsTexts, FOptions.DataBits, "5, 6, 7 or 8"},
        {ParityOption, ParityTexts, FOptions.Parity, "none, odd, even, mark or space"},
        {StopBitsOption, StopBitsTexts, FOptions.StopBits, "1, 1.5 or 2"},
    };
    for (auto &L : Listings) {
        if (!FParser.isSet(L.Name))
            continue;
        L.Value = Listed(L.Texts, FParser.value(L.Name));
        if (L.Value.isEmpty())
            Refuse(Tr("--%1: '%2' is not one of %3").arg(L.Name, FParser.value(L.Name), Tr(L.Accepted)));
    }
    FOptions.Open = FParser.isSet(OpenOption);
    if (FParser.isSet(HexOption) && FParser.isSet(AsciiOption))
        Refuse(Tr("--hex and --ascii cannot be given together"));
    else if (FParser.isSet(HexOption) || FParser.isSet(AsciiOption))
        FOptions.AsciiReceive = FParser.isSet(AsciiOption);
    if (FParser.isSet(LogDirOption)) {
        const QString Typed = FParser.value(LogDirOption);
        const QFileInfo Folder(Typed);
        const QString Path = QDir::cleanPath(Folder.absoluteFilePath());
        // The settings record keeps the folder in 255 bytes: a longer one
        // would be cut to another folder.
        if (Typed.isEmpty())
            Refuse(Tr("--log-dir needs a folder"));
        else if (!Folder.exists())
            Refuse(Tr("--log-dir: there is no folder '%1'").arg(Typed));
        else if (!Folder.isDir())
            Refuse(Tr("--log-dir: '%1' is not a folder").arg(Typed));
        else if (!Folder.isWritable())
            Refuse(Tr("--log-dir: the folder '%1' cannot be written to").arg(Typed));
        else if (Path.toLocal8Bit().size() > FolderBytes)
            Refuse(Tr("--log-dir: the folder's path is longer than %1 bytes").arg(FolderBytes));
        else
            FOptions.LogDir = Path;
    }
    if (!FParser.positionalArguments().isEmpty())
        FOptions.File = FParser.positionalArguments().first();
    if (!FError.isEmpty())
        return TOutcome::Refused;
    if (FParser.isSet(ListPortsOption))
        return TOutcome::ListPorts;
    return TOutcome::Run;
}

void TStartOverrides::Apply(TSettingsRecord &Record, const QString &StoredPort)
{
    FApplied = true;
    FStoredPort = StoredPort;
    FPortIndex = Record.PortIndex();
    FBaudIndex = Record.BaudIndex();
    FParityIndex = Record.ParityIndex();
    FDataBitsIndex = Record.DataBitsIndex();
    FStopBitsIndex = Record.StopBitsIndex();
    FAsciiReceive = Record.AsciiReceive();
    FAutoSaveFolder = Record.AutoSaveFolder();
    FAutoSaveLineCount = Record.AutoSaveLineCount();
    if (FOptions.AsciiReceive)
        Record.SetAsciiReceive(*FOptions.AsciiReceive);
    if (!FOptions.LogDir.isEmpty()) {
        FLogFolder = FOptions.LogDir.toLocal8Bit().toStdString();
        Record.SetAutoSaveFolder(FLogFolder);
        // A count never set (a first start) would save a file for every
        // received line.
        FLogLines = FAutoSaveLineCount >= 1 ? FAutoSaveLineCount : TCommandLine::DefaultLogLines;
        Record.SetAutoSaveLineCount(FLogLines);
    }
}

TPortChoice TStartOverrides::Choice(TPortChoice Stored) const
{
    const auto Put = [](std::string &Field, const QString &Value) {
        if (!Value.isEmpty())
            Field = Value.toStdString();
    };
    Put(Stored.Port, FOptions.Port);
    Put(Stored.BaudRate, FOptions.BaudRate);
    Put(Stored.Parity, FOptions.Parity);
    Put(Stored.DataBits, FOptions.DataBits);
    Put(Stored.StopBits, FOptions.StopBits);
    return Stored;
}

bool TStartOverrides::SetPort(const QString &Shown) const
{
    // Device names are case-sensitive; the line settings' texts are not.
    return FApplied && !FOptions.Port.isEmpty() && Shown == FOptions.Port;
}

void TStartOverrides::KeepStored(TSettingsRecord &Record, const TPortChoice &Shown) const
{
    if (!FApplied)
        return;
    if (SetPort(QString::fromStdString(Shown.Port)))
        Record.SetPortIndex(FPortIndex);
    if (SameText(Shown.BaudRate, FOptions.BaudRate))
        Record.SetBaudIndex(FBaudIndex);
    if (SameText(Shown.Parity, FOptions.Parity))
        Record.SetParityIndex(FParityIndex);
    if (SameText(Shown.DataBits, FOptions.DataBits))
        Record.SetDataBitsIndex(FDataBitsIndex);
    if (SameText(Shown.StopBits, FOptions.StopBits))
        Record.SetStopBitsIndex(FStopBitsIndex);
    if (FOptions.AsciiReceive && Record.AsciiReceive() == *FOptions.AsciiReceive)
        Record.SetAsciiReceive(FAsciiReceive);
    if (!FLogFolder.empty() && Record.AutoSaveFolder() == FLogFolder)
        Record.SetAutoSaveFolder(FAutoSaveFolder);
    if (!FLogFolder.empty() && Record.AutoSaveLineCount() == FLogLines)
        Record.SetAutoSaveLineCount(FAutoSaveLineCount);
}

QString TStartOverrides::PortNameToStore(const QString &Shown) const
{
    return SetPort(Shown) ? FStoredPort : Shown;
}

QString TStartOverrides::BaudRateToStore(const QString &Shown, const QString &Stored) const
{
    const bool Set = FApplied && !FOptions.BaudRate.isEmpty() && !Shown.isEmpty() &&
        Shown.compare(FOptions.BaudRate, Qt::CaseInsensitive) == 0;
    return Set ? Stored : Shown;
}
