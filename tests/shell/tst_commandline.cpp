// The command line without a window: what each option accepts and refuses,
// and how the options stand over the stored settings for one run and leave
// them as they were unless the user changed a value in the window.
#include "CommandLine.h"
#include "SettingsRecord.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <unistd.h>

namespace {
QStringList Texts(std::initializer_list<const char *> List)
{
    QStringList Out;
    for (const char *T : List)
        Out << QString::fromUtf8(T);
    return Out;
}

QStringList Line(const QString &Arguments)
{
    return QStringList {QStringLiteral("tallyscope")} + Arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// What a record's stored image is, for comparing whole records.
QByteArray Bytes(const TSettingsRecord &Record)
{
    return QByteArray(reinterpret_cast<const char *>(Record.Image().data()), qsizetype(Record.Image().size()));
}

// A record as a user who changed everything left it.
TSettingsRecord Stored()
{
    TSettingsRecord R;
    R.SetPortIndex(2);
    R.SetBaudIndex(13);     // 115200
    R.SetParityIndex(0);    // None
    R.SetDataBitsIndex(3);  // 8
    R.SetStopBitsIndex(0);  // 1
    R.SetAsciiReceive(true);
    R.SetAutoSaveFolder("/home/user/old logs");
    R.SetAutoSaveLineCount(500);
    return R;
}
const TPortChoice StoredChoice {"/dev/ttyUSB1", "115200", "None", "8", "1"};
}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private:
    QTemporaryDir FDir;

private Q_SLOTS:
    void goodValuesAreTakenAsTheCombosShowThem_data()
    {
        QTest::addColumn<QString>("Arguments");
        QTest::addColumn<QStringList>("Expected");  // port, baud, parity, data bits, stop bits, open, ascii, file
        const auto Row = [](const char *Name, const char *Arguments, std::initializer_list<const char *> Expected) {
            QTest::newRow(Name) << QString::fromLatin1(Arguments) << Texts(Expected);
        };
        Row("none", "", {"", "", "", "", "", "closed", "stored", ""});
        Row("long forms", "--port /dev/ttyUSB0 --baud 57600 --parity even --data-bits 7 --stop-bits 1.5 --open",
            {"/dev/ttyUSB0", "57600", "Even", "7", "1.5", "open", "stored", ""});
        Row("short forms", "-p ttyACM0 -b 115200 -o", {"ttyACM0", "115200", "", "", "", "open", "stored", ""});
        Row("= and letter case", "--port=COM3 --baud=250000 --parity=SPACE --stop-bits=2 --data-bits=5",
            {"COM3", "250000", "Space", "5", "2", "closed", "stored", ""});
        Row("network port", "--port rfc2217://192.0.2.7:2217",
            {"rfc2217://192.0.2.7:2217", "", "", "", "", "closed", "stored", ""});
        Row("leading zeros", "-b 009600", {"", "9600", "", "", "", "closed", "stored", ""});
        Row("largest rate", "-b 2147483647", {"", "2147483647", "", "", "", "closed", "stored", ""});
        Row("last one wins", "-b 9600 -b 19200 --parity odd --parity mark",
            {"", "19200", "Mark", "", "", "closed", "stored", ""});
        Row("hex", "--hex", {"", "", "", "", "", "closed", "hex", ""});
        Row("ascii and a file", "--ascii /tmp/old.rtf", {"", "", "", "", "", "closed", "ascii", "/tmp/old.rtf"});
        Row("file among options", "-o /tmp/old.rtf -p ttyS1",
            {"ttyS1", "", "", "", "", "open", "stored", "/tmp/old.rtf"});
        Row("compact short options", "-ob38400", {"", "38400", "", "", "", "open", "stored", ""});
    }
    void goodValuesAreTakenAsTheCombosShowThem()
    {
        QFETCH(QString, Arguments);
        QFETCH(QStringList, Expected);
        TCommandLine Parser;
        QCOMPARE(Parser.Parse(Line(Arguments)), TCommandLine::TOutcome::Run);
        QVERIFY2(Parser.Error().isEmpty(), qPrintable(Parser.Error()));
        const TStartOptions &O = Parser.Options();
        const QString Ascii = !O.AsciiReceive ? QStringLiteral("stored")
            : *O.AsciiReceive                 ? QStringLiteral("ascii")
                                              : QStringLiteral("hex");
        const QStringList Got {O.Port, O.BaudRate, O.Parity, O.DataBits, O.StopBits,
            O.Open ? QStringLiteral("open") : QStringLiteral("closed"), Ascii, O.File};
        QCOMPARE(Got, Expected);
    }

    void badValuesAreRefusedNamingTheOptionAndWhatItTakes_data()
    {
        QTest::addColumn<QStringList>("Arguments");
        QTest::addColumn<QStringList>("Told");
        const auto Row = [](const char *Name, std::initializer_list<const char *> Arguments,
                             std::initializer_list<const char *> Told) {
            QTest::newRow(Name) << Texts(Arguments) << Texts(Told);
        };
        Row("baud not a number", {"--baud", "fast"}, {"--baud", "'fast'", "9600"});
        Row("baud zero", {"-b", "0"}, {"--baud", "'0'"});
        Row("baud negative", {"-b", "-9600"}, {"--baud"});
        Row("baud with unit", {"-b", "9600bps"}, {"--baud", "'9600bps'"});
        Row("baud fraction", {"-b", "9600.5"}, {"--baud"});
        Row("baud past 32 bits", {"-b", "4294967296"}, {"--baud", "2147483647"});
        Row("baud missing", {"--baud"}, {"--baud needs a value"});
        Row("data bits 9", {"--data-bits", "9"}, {"--data-bits", "'9'", "5, 6, 7 or 8"});
        Row("data bits 4", {"--data-bits", "4"}, {"--data-bits", "5, 6, 7 or 8"});
        Row("parity word", {"--parity", "sometimes"}, {"--parity", "'sometimes'", "none, odd, even, mark or space"});
        Row("parity letter", {"--parity", "e"}, {"--parity", "none, odd, even, mark or space"});
        Row("stop bits 3", {"--stop-bits", "3"}, {"--stop-bits", "'3'", "1, 1.5 or 2"});
        Row("stop bits comma", {"--stop-bits", "1,5"}, {"--stop-bits", "1, 1.5 or 2"});
        Row("empty port", {"--port="}, {"--port", "port name"});
        Row("hex and ascii", {"--hex", "--ascii"}, {"--hex", "--ascii"});
        Row("log dir missing", {"--log-dir", "/nonexistent/tallyscope-logs"},
            {"--log-dir", "/nonexistent/tallyscope-logs"});
        Row("log dir a file", {"--log-dir", "/etc/passwd"}, {"--log-dir", "not a folder"});
        Row("unknown option", {"--bud", "9600"}, {"unknown option '--bud'"});
        Row("unknown short option", {"-x"}, {"unknown option '-x'"});
    }
    void badValuesAreRefusedNamingTheOptionAndWhatItTakes()
    {
        QFETCH(QStringList, Arguments);
        QFETCH(QStringList, Told);
        TCommandLine Parser;
        QCOMPARE(Parser.Parse(QStringList {QStringLiteral("tallyscope")} + Arguments), TCommandLine::TOutcome::Refused);
        for (const QString &Part : Told)
            QVERIFY2(Parser.Error().contains(Part), qPrintable(Parser.Error()));
        QVERIFY(!Parser.Error().contains(QLatin1Char('\n')));
    }

    void optionsOfTheWindowSystemWaitForTheApplication()
    {
        // Before the application takes its own options out, they are left
        // alone; bad values are refused all the same.
        TCommandLine Parser;
        QCOMPARE(Parser.Parse(Line(QStringLiteral("-style fusion -display :1 -o"))), TCommandLine::TOutcome::Refused);
        QCOMPARE(Parser.Parse(Line(QStringLiteral("-style fusion -display :1 -o")), true), TCommandLine::TOutcome::Run);
        QVERIFY(Parser.Options().Open);
        QCOMPARE(
            Parser.Parse(Line(QStringLiteral("-style fusion --data-bits 9")), true), TCommandLine::TOutcome::Refused);
        QCOMPARE(Parser.Parse(Line(QStringLiteral("--baud 0 --help"))), TCommandLine::TOutcome::Help);
        QCOMPARE(Parser.Parse(Line(QStringLiteral("-o --help-all"))), TCommandLine::TOutcome::Help);
        QCOMPARE(Parser.Parse(Line(QStringLiteral("--version"))), TCommandLine::TOutcome::Version);
        QCOMPARE(Parser.Parse(Line(QStringLiteral("--list-ports"))), TCommandLine::TOutcome::ListPorts);
    }

    void logFolderIsTakenWholeAndAbsolute()
    {
        QVERIFY(FDir.isValid());
        const QString Previous = QDir::currentPath();
        QDir::setCurrent(FDir.path());
        QDir().mkdir(QStringLiteral("logs"));
        TCommandLine Parser;
        const auto Outcome = Parser.Parse(Line(QStringLiteral("--log-dir logs/./")));
        QDir::setCurrent(Previous);
        QCOMPARE(Outcome, TCommandLine::TOutcome::Run);
        QCOMPARE(Parser.Options().LogDir, QDir(FDir.path()).absoluteFilePath(QStringLiteral("logs")));
        // The settings record keeps 255 bytes of a folder; a longer one would
        // be cut to another.
        QString Deep = FDir.path();
        while (Deep.toLocal8Bit().size() <= TCommandLine::FolderBytes)
            Deep += QStringLiteral("/%1").arg(QString(40, QLatin1Char('d')));
        QVERIFY(QDir().mkpath(Deep));
        QCOMPARE(Parser.Parse(Line(QStringLiteral("--log-dir ") + Deep)), TCommandLine::TOutcome::Refused);
        QVERIFY2(Parser.Error().contains(QStringLiteral("longer than 255 bytes")), qPrintable(Parser.Error()));
        if (geteuid() != 0) {
            QFile::setPermissions(FDir.filePath(QStringLiteral("logs")), QFile::ReadOwner | QFile::ExeOwner);
            QCOMPARE(Parser.Parse(Line(QStringLiteral("--log-dir ") + FDir.filePath(QStringLiteral("logs")))),
                TCommandLine::TOutcome::Refused);
            QVERIFY(Parser.Error().contains(QStringLiteral("cannot be written")));
        }
    }

    void optionsHoldForTheRunAndLeaveTheStoredSettingsAlone()
    {
        TCommandLine Parser;
        QCOMPARE(Parser.Parse(Line(QStringLiteral("-p /dev/pts/9 -b 250000 --parity even --data-bits 7 "
                                                  "--stop-bits 2 --hex --log-dir ") +
                     FDir.path())),
            TCommandLine::TOutcome::Run);
        TStartOverrides Run(Parser.Options());
        TSettingsRecord Record = Stored();
        const QByteArray Before = Bytes(Record);
        Run.Apply(Record, QString::fromStdString(StoredChoice.Port));

        // In force for the run.
        const TPortChoice Shown = Run.Choice(StoredChoice);
        QCOMPARE(Shown.Port, "/dev/pts/9");
        QCOMPARE(Shown.BaudRate, "250000");
        QCOMPARE(Shown.Parity, "Even");
        QCOMPARE(Shown.DataBits, "7");
        QCOMPARE(Shown.StopBits, "2");
        QVERIFY(!Record.AsciiReceive());
        QCOMPARE(QString::fromLocal8Bit(Record.AutoSaveFolder()), FDir.path());
        QCOMPARE(Record.AutoSaveLineCount(), 500);

        // At exit the combos' entries are stored over the record (the added
        // rate at an index of its own), then what the options set goes back.
        Record.SetPortIndex(7);
        Record.SetBaudIndex(16);
        Record.SetParityIndex(2);
        Record.SetDataBitsIndex(2);
        Record.SetStopBitsIndex(2);
        Run.KeepStored(Record, Shown);
        QCOMPARE(Bytes(Record), Before);
        QCOMPARE(Run.PortNameToStore(QString::fromStdString(Shown.Port)), QString::fromStdString(StoredChoice.Port));
    }

    void whatTheUserChangesInTheWindowIsStored()
    {
        TCommandLine Parser;
        QCOMPARE(Parser.Parse(
                     Line(QStringLiteral("-p /dev/pts/9 -b 250000 --parity even --ascii --log-dir ") + FDir.path())),
            TCommandLine::TOutcome::Run);
        TStartOverrides Run(Parser.Options());
        TSettingsRecord Record = Stored();
        Record.SetAsciiReceive(false);
        Run.Apply(Record, QStringLiteral("/dev/ttyUSB1"));
        QVERIFY(Record.AsciiReceive());

        // The user picked another port and rate and switched to hexadecimal;
        // the parity and the folder stay as the options set them.
        TPortChoice Shown = Run.Choice(StoredChoice);
        Shown.Port = "/dev/ttyACM0";
        Shown.BaudRate = "9600";
        Record.SetPortIndex(4);
        Record.SetBaudIndex(7);
        Record.SetParityIndex(2);
        Record.SetAsciiReceive(false);
        Record.SetAutoSaveFolder("/home/user/new logs");
        Run.KeepStored(Record, Shown);
        QCOMPARE(Record.PortIndex(), 4);
        QCOMPARE(Record.BaudIndex(), 7);
        QCOMPARE(Record.ParityIndex(), 0);
        QVERIFY(!Record.AsciiReceive());
        QCOMPARE(Record.AutoSaveFolder(), "/home/user/new logs");
        QCOMPARE(Record.AutoSaveLineCount(), 500);
        QCOMPARE(Run.PortNameToStore(QStringLiteral("/dev/ttyACM0")), QStringLiteral("/dev/ttyACM0"));
    }

    void logFolderOnAFirstStartSavesInLargeFilesForTheRunOnly()
    {
        // A first start has no line count: a file for every received line
        // would be no log. The run uses one of its own and stores none.
        TCommandLine Parser;
        QCOMPARE(Parser.Parse(Line(QStringLiteral("--log-dir ") + FDir.path())), TCommandLine::TOutcome::Run);
        TStartOverrides Run(Parser.Options());
        TSettingsRecord Record;
        const QByteArray Before = Bytes(Record);
        Run.Apply(Record, QString());
        QCOMPARE(Record.AutoSaveLineCount(), TCommandLine::DefaultLogLines);
        Run.KeepStored(Record, Run.Choice({"ttyS0", "9600", "None", "8", "1"}));
        QCOMPARE(Bytes(Record), Before);
    }

    void withoutOptionsNothingChanges()
    {
        TStartOverrides Run;
        TSettingsRecord Record = Stored();
        const QByteArray Before = Bytes(Record);
        Run.Apply(Record, QStringLiteral("/dev/ttyUSB1"));
        QCOMPARE(Bytes(Record), Before);
        const TPortChoice Shown = Run.Choice(StoredChoice);
        QCOMPARE(Shown.Port, StoredChoice.Port);
        QCOMPARE(Shown.BaudRate, StoredChoice.BaudRate);
        Record.SetBaudIndex(9);
        Run.KeepStored(Record, {"/dev/ttyUSB1", "19200", "None", "8", "1"});
        QCOMPARE(Record.BaudIndex(), 9);
        QCOMPARE(Run.PortNameToStore(QStringLiteral("/dev/ttyS4")), QStringLiteral("/dev/ttyS4"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
