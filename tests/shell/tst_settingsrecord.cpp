// The settings record through real "data" files in a temporary XDG_DATA_HOME.
// Offsets and values are written out here by hand, independent of the
// record's own layout table, so a wrong offset in either shows.

#include "DataFolder.h"
#include "SettingsRecord.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <bit>
#include <csignal>
#include <memory>
#include <random>

namespace {

using TImage = QByteArray;

enum class TKind { Byte, Flag, Int32, UInt32, Double };

struct TFieldCase {
    const char *Name;
    std::size_t Offset;
    TKind Kind;
    uint64_t New;  // as stored (a double by its bits)
    uint64_t (*Get)(const TSettingsRecord &);
    void (*Set)(TSettingsRecord &, uint64_t);
};

std::size_t SizeOf(TKind Kind)
{
    switch (Kind) {
    case TKind::Byte:
    case TKind::Flag:
        return 1;
    case TKind::Int32:
    case TKind::UInt32:
        return 4;
    case TKind::Double:
        return 8;
    }
    return 0;
}

// A value unlike the "New" one that fills every byte of the field.
uint64_t SampleFor(const TFieldCase &F)
{
    switch (F.Kind) {
    case TKind::Byte:
        return 0xA7;
    case TKind::Flag:
        return F.New ^ 1;
    case TKind::Int32:
    case TKind::UInt32:
        return 0xA1B2C3D4;
    case TKind::Double:
        return std::bit_cast<uint64_t>(45000.75);
    }
    return 0;
}

#define FIELD(Name, Offset, Kind, New, Type)                                                                           \
    TFieldCase                                                                                                         \
    {                                                                                                                  \
#Name, Offset, TKind::Kind, New,                                                                               \
            [](const TSettingsRecord &R) { return static_cast<uint64_t>(static_cast<uint32_t>(R.Name())); },           \
                [](TSettingsRecord & R, uint64_t V) { R.Set##Name(static_cast<Type>(V)); }                             \
    }

const TFieldCase Fields[] = {
    FIELD(CycleMode, 0, Byte, 0, uint8_t),
    FIELD(CycleLineChoice, 1, Byte, 0, uint8_t),
    FIELD(CycleFixedLine, 4, Int32, 0, int32_t),
    FIELD(CycleRangeFirst, 8, Int32, 0, int32_t),
    FIELD(CycleRangeLast, 12, Int32, 0, int32_t),
    FIELD(CycleInterval, 16, UInt32, 0, uint32_t),
    FIELD(TimingTriggerOn, 24, Flag, 0, bool),
    {"TriggerTime", 32, TKind::Double, 0,
        [](const TSettingsRecord &R) { return std::bit_cast<uint64_t>(R.TriggerTime()); },
        [](TSettingsRecord &R, uint64_t V) { R.SetTriggerTime(std::bit_cast<double>(V)); }},
    FIELD(TimingMode, 40, Byte, 0, uint8_t),
    FIELD(TimingLineChoice, 41, Byte, 0, uint8_t),
    FIELD(TimingFixedLine, 44, Int32, 0, int32_t),
    FIELD(TimingRangeFirst, 48, Int32, 0, int32_t),
    FIELD(TimingRangeLast, 52, Int32, 0, int32_t),
    FIELD(TimingInterval, 56, UInt32, 0, uint32_t),
    FIELD(ReceiveTriggerOn, 60, Flag, 0, bool),
    FIELD(TriggerDelay, 144, UInt32, 0, uint32_t),
    FIELD(ChecksumKind, 152, Int32, 0, int32_t),
    FIELD(FilterOn, 196, Flag, 0, bool),
    FIELD(PortIndex, 200, Byte, 0, uint8_t),
    FIELD(BaudIndex, 201, Byte, 7, uint8_t),
    FIELD(ParityIndex, 202, Byte, 0, uint8_t),
    FIELD(DataBitsIndex, 203, Byte, 3, uint8_t),
    FIELD(StopBitsIndex, 204, Byte, 0, uint8_t),
    FIELD(DtrOn, 205, Flag, 0, bool),
    FIELD(RtsOn, 206, Flag, 0, bool),
    FIELD(TextColour, 208, UInt32, 0x008000, uint32_t),
    FIELD(CycleSendOn, 212, Flag, 0, bool),
    FIELD(ShowTime, 214, Flag, 1, bool),
    FIELD(ShowRxTx, 215, Flag, 0, bool),
    FIELD(ShowSending, 216, Flag, 1, bool),
    FIELD(WordWrap, 217, Flag, 0, bool),
    FIELD(AsciiReceive, 218, Flag, 0, bool),
    FIELD(AsciiSend, 219, Flag, 0, bool),
    FIELD(SendWindowShown, 221, Flag, 0, bool),
    FIELD(SearchWindowShown, 222, Flag, 0, bool),
    FIELD(SendViewBackground, 224, UInt32, 0xF0F0F0, uint32_t),
    FIELD(ReceiveViewBackground, 228, UInt32, 0xE6E6E6, uint32_t),
    FIELD(SearchViewBackground, 232, UInt32, 0xE6E6E6, uint32_t),
    FIELD(ReceiveMessageColour, 236, UInt32, 0xC80000, uint32_t),
    FIELD(SendMessageColour, 240, UInt32, 0x0000C8, uint32_t),
    FIELD(AutoSaveLineCount, 264, Int32, 0, int32_t),
};

#undef FIELD

constexpr int Size = 1296;

void Put(TImage &Image, std::size_t Offset, std::size_t Bytes, uint64_t Value)
{
    for (std::size_t I = 0; I < Bytes; ++I)
        Image[static_cast<qsizetype>(Offset + I)] = static_cast<char>(Value >> (8 * I));
}

// The image of a record made when no file exists, from the table above.
TImage NewImage()
{
    TImage Image(Size, '\0');
    for (const TFieldCase &F : Fields)
        Put(Image, F.Offset, SizeOf(F.Kind), F.New);
    return Image;
}

// An image whose every byte differs from a new record's: each field of the
// table holds its sample, every other byte (tables, texts, reserved,
// padding) a random value.
TImage ScribbledImage()
{
    std::mt19937 Random(1296);
    TImage Image(Size, '\0');
    for (char &C : Image)
        C = static_cast<char>(Random() % 255 + 1);
    for (const TFieldCase &F : Fields)
        Put(Image, F.Offset, SizeOf(F.Kind), SampleFor(F));
    return Image;
}

TImage ImageOf(const TSettingsRecord &Record)
{
    const auto Bytes = Record.Image();
    return TImage(reinterpret_cast<const char *>(Bytes.data()), static_cast<qsizetype>(Bytes.size()));
}

TImage ReadAll(const QString &Path)
{
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        return {};
    return File.readAll();
}

bool WriteAll(const QString &Path, const TImage &Bytes)
{
    QFile File(Path);
    return File.open(QIODevice::WriteOnly | QIODevice::Truncate) && File.write(Bytes) == Bytes.size();
}

// Limits the size of files this process may write, as a full disk would,
// for as long as it lives. Output written meanwhile to a file beyond the
// limit would fail too, so the test writes nothing while it is in place.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Bytes)
    {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit Limit = FOld;
        Limit.rlim_cur = Bytes;
        FActive = setrlimit(RLIMIT_FSIZE, &Limit) == 0;
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    bool Active() const { return FActive; }

private:
    rlimit FOld {};
    void (*FOldHandler)(int) = nullptr;
    bool FActive = false;
};

}  // namespace

class TestSettingsRecord : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FHome;
    QByteArray FOldXdg;
    QByteArray FOldHome;

    QString Base() const { return FHome->path() + QStringLiteral("/xdg"); }

    // Stores Bytes as "data", reads it through the program's path and
    // returns the record.
    TSettingsRecord Load(const TImage &Bytes)
    {
        CreateDataFolder();
        if (!WriteAll(DataFilePath(), Bytes))
            qFatal("cannot write the test's data file");
        TSettingsRecord Record;
        ReadDataFile(Record);
        return Record;
    }

private Q_SLOTS:
    void init()
    {
        FHome = std::make_unique<QTemporaryDir>();
        QVERIFY(FHome->isValid());
        FOldXdg = qgetenv("XDG_DATA_HOME");
        FOldHome = qgetenv("HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(Base()));
    }

    void cleanup()
    {
        // Give back write access that a test took away, so the folder goes.
        QFile::setPermissions(DataFolderPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_DATA_HOME", FOldXdg);
        qputenv("HOME", FOldHome);
        FHome.reset();
    }

    void dataFolderFollowsXdgDataHome_data()
    {
        QTest::addColumn<QString>("Xdg");
        QTest::addColumn<QString>("Expected");  // relative to the temporary HOME
        QTest::newRow("set") << QStringLiteral("%1/xdg") << QStringLiteral("/xdg/Corvane/Tallyscope");
        QTest::newRow("unset") << QString() << QStringLiteral("/.local/share/Corvane/Tallyscope");
        QTest::newRow("empty") << QStringLiteral("") << QStringLiteral("/.local/share/Corvane/Tallyscope");
        QTest::newRow("relative") << QStringLiteral("rel/share") << QStringLiteral("/.local/share/Corvane/Tallyscope");
    }

    void dataFolderFollowsXdgDataHome()
    {
        QFETCH(QString, Xdg);
        QFETCH(QString, Expected);
        const QString Home = FHome->path();
        qputenv("HOME", QFile::encodeName(Home));
        if (Xdg.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", QFile::encodeName(Xdg.contains(u'%') ? Xdg.arg(Home) : Xdg));
        const QString Folder = Home + Expected;
        QCOMPARE(DataFolderPath(), Folder);
        QCOMPARE(DataFilePath(), Folder + QStringLiteral("/data"));
        QCOMPARE(SendFilePath(), Folder + QStringLiteral("/send"));
        QCOMPARE(LayoutFilePath(), Folder + QStringLiteral("/config.ini"));
        QVERIFY(!QFileInfo::exists(Folder));
        QCOMPARE(CreateDataFolder(), Folder);
        QVERIFY(QFileInfo(Folder).isDir());
    }

    // First run: no folder, no "data". The record takes the "New" values
    // and is stored as exactly their image, every other byte zero.
    void firstRunGivesNewValues()
    {
        TSettingsRecord Record;
        Record.SetShowTime(false);  // must be overwritten by the read
        ReadDataFile(Record);
        QVERIFY(QFileInfo(DataFolderPath()).isDir());
        QVERIFY(!QFileInfo::exists(DataFilePath()));
        for (const TFieldCase &F : Fields)
            QVERIFY2(F.Get(Record) == F.New, F.Name);
        QCOMPARE(Record.LastMessageFile(), std::string());
        QCOMPARE(Record.TriggerRecLine(9), 0);
        QCOMPARE(Record.FilterValue(4), std::string());

        WriteDataFile(Record);
        QCOMPARE(ReadAll(DataFilePath()), NewImage());
    }

    void fieldOffsets_data()
    {
        QTest::addColumn<int>("Index");
        for (int I = 0; I < int(std::size(Fields)); ++I)
            QTest::newRow(Fields[I].Name) << I;
    }

    // Each field written through its setter lands at its offset in "data"
    // and nowhere else, and is read back from that offset.
    void coloursHideText()
    {
        using TSet = void (TSettingsRecord::*)(uint32_t);
        const struct {
            const char *Name;
            TSet Set;
            uint32_t Value;
            bool Hidden;
        } Rows[] = {
            {"received on the receive view", &TSettingsRecord::SetReceiveMessageColour, 0xE6E6E6, true},
            {"sent on the receive view, high byte set", &TSettingsRecord::SetSendMessageColour, 0xFFE6E6E6, true},
            {"text colour on the receive view", &TSettingsRecord::SetTextColour, 0xE6E6E6, true},
            {"hits on the search view", &TSettingsRecord::SetSearchViewBackground, 0xC80000, true},
            {"send view (its text is black)", &TSettingsRecord::SetSendViewBackground, 0x0000C8, false},
        };
        QVERIFY(!TSettingsRecord().ColoursHideText());
        for (const auto &Row : Rows) {
            TSettingsRecord Record;
            (Record.*Row.Set)(Row.Value);
            QVERIFY2(Record.ColoursHideText() == Row.Hidden, Row.Name);
            Record.SetDefaultColours();
            QVERIFY2(!Record.ColoursHideText(), Row.Name);
        }
    }

    void fieldOffsets()
    {
        QFETCH(int, Index);
        const TFieldCase &F = Fields[Index];
        const std::size_t Bytes = SizeOf(F.Kind);
        const uint64_t Sample = SampleFor(F);

        TSettingsRecord Record;
        F.Set(Record, Sample);
        WriteDataFile(Record);
        const TImage Written = ReadAll(DataFilePath());
        TImage Expected = NewImage();
        Put(Expected, F.Offset, Bytes, Sample);
        QCOMPARE(Written, Expected);

        TImage Stored = NewImage();
        Put(Stored, F.Offset, Bytes, Sample);
        QCOMPARE(F.Get(Load(Stored)), Sample);
    }

    void tableRows()
    {
        TSettingsRecord Record;
        Record.SetTriggerRecLine(0, 11);
        Record.SetTriggerTrigLine(0, 12);
        Record.SetTriggerRecLine(9, -1);
        Record.SetTriggerTrigLine(9, 0x7FFFFFFF);
        Record.SetFilterByteNumber(0, 3);
        Record.SetFilterValue(0, "A5");
        Record.SetFilterByteNumber(4, 260);
        Record.SetFilterValue(4, "0F");
        WriteDataFile(Record);

        TImage Expected = NewImage();
        Put(Expected, 64, 4, 11);
        Put(Expected, 68, 4, 12);
        Put(Expected, 64 + 72, 4, 0xFFFFFFFF);
        Put(Expected, 68 + 72, 4, 0x7FFFFFFF);
        Put(Expected, 156, 4, 3);
        Expected.replace(160, 3,
            "\x02"
            "A5");
        Put(Expected, 156 + 32, 4, 260);
        Expected.replace(160 + 32, 3,
            "\x02"
            "0F");
        QCOMPARE(ReadAll(DataFilePath()), Expected);

        const TSettingsRecord Back = Load(Expected);
        QCOMPARE(Back.TriggerRecLine(0), 11);
        QCOMPARE(Back.TriggerTrigLine(0), 12);
        QCOMPARE(Back.TriggerRecLine(9), -1);
        QCOMPARE(Back.TriggerTrigLine(9), 0x7FFFFFFF);
        QCOMPARE(Back.FilterByteNumber(4), 260);
        QCOMPARE(Back.FilterValue(0), std::string("A5"));
        QCOMPARE(Back.FilterValue(4), std::string("0F"));

        QVERIFY_THROWS_EXCEPTION(std::out_of_range, Record.SetTriggerRecLine(10, 1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, Record.TriggerTrigLine(-1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, Record.SetFilterValue(5, "01"));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, Record.FilterByteNumber(-1));
        QCOMPARE(ImageOf(Record), ReadAll(DataFilePath()));
    }

    void texts_data()
    {
        QTest::addColumn<int>("Offset");
        QTest::addColumn<QByteArray>("Text");
        QTest::addColumn<QByteArray>("Stored");
        const QByteArray Long = QByteArray(255, 'p') + "TAIL";
        const QByteArray Bytes("a\0b\xff\x80z", 6);
        const struct {
            const char *Name;
            int Offset;
        } Texts[] = {{"LastMessageFile", 524}, {"ProgramPath", 780}, {"AutoSaveFolder", 1036}};
        for (const auto &T : Texts) {
            QTest::addRow("%s empty", T.Name) << T.Offset << QByteArray() << QByteArray();
            QTest::addRow("%s 8-bit", T.Name) << T.Offset << Bytes << Bytes;
            QTest::addRow("%s 255", T.Name) << T.Offset << Long.left(255) << Long.left(255);
            QTest::addRow("%s cut", T.Name) << T.Offset << Long << Long.left(255);
        }
    }

    // Storing cuts to 255 characters, clears what an earlier, longer text
    // left after it, and never touches the next field.
    void texts()
    {
        QFETCH(int, Offset);
        QFETCH(QByteArray, Text);
        QFETCH(QByteArray, Stored);
        const std::string Value = Text.toStdString();
        const TImage Earlier = ScribbledImage();
        TSettingsRecord Record = Load(Earlier);
        switch (Offset) {
        case 524:
            Record.SetLastMessageFile(Value);
            break;
        case 780:
            Record.SetProgramPath(Value);
            break;
        default:
            Record.SetAutoSaveFolder(Value);
            break;
        }
        WriteDataFile(Record);
        TImage Expected = Earlier;
        Expected.replace(Offset, 256, char(Stored.size()) + Stored + QByteArray(255 - Stored.size(), '\0'));
        QCOMPARE(ReadAll(DataFilePath()), Expected);

        const TSettingsRecord Back = Load(Expected);
        const std::string Read = Offset == 524 ? Back.LastMessageFile()
            : Offset == 780                    ? Back.ProgramPath()
                                               : Back.AutoSaveFolder();
        QCOMPARE(QByteArray::fromStdString(Read), Stored);
    }

    // A filter value has room for two characters only: a damaged length
    // byte must not read the padding and the next row, and a long value must
    // not be stored over them.
    void damagedLengthByte_data()
    {
        QTest::addColumn<int>("Length");
        QTest::addColumn<QByteArray>("Expected");
        QTest::newRow("3") << 3 << QByteArray("A5");
        QTest::newRow("255") << 255 << QByteArray("A5");
        QTest::newRow("1") << 1 << QByteArray("A");
    }

    void damagedLengthByte()
    {
        QFETCH(int, Length);
        QFETCH(QByteArray, Expected);
        TImage Stored = ScribbledImage();
        Stored.replace(160, 3, QByteArray("\0A5", 3));
        Stored[160] = static_cast<char>(Length);
        TSettingsRecord Record = Load(Stored);
        QCOMPARE(QByteArray::fromStdString(Record.FilterValue(0)), Expected);

        Record.SetFilterValue(0, "0123456789");
        QCOMPARE(Record.FilterValue(0), std::string("01"));
        TImage Changed = Stored;
        Changed.replace(160, 3,
            "\x02"
            "01");
        QCOMPARE(ImageOf(Record), Changed);
    }

    void shortFile_data()
    {
        QTest::addColumn<int>("Length");
        QTest::newRow("empty") << 0;
        QTest::newRow("200, all settings up to the filter") << 200;
        QTest::newRow("210, text colour cut") << 210;
        QTest::newRow("600, a text cut") << 600;
        QTest::newRow("1295") << 1295;
    }

    // A short file keeps the fields it holds whole; every later field, and
    // one the end cuts, has its "New" value, not zero: no black text on a
    // black view.
    void shortFile()
    {
        QFETCH(int, Length);
        const TImage Full = ScribbledImage();
        const TSettingsRecord Record = Load(Full.left(Length));
        const TImage Fresh = NewImage();
        for (const TFieldCase &F : Fields) {
            const bool Held = F.Offset + SizeOf(F.Kind) <= std::size_t(Length);
            QVERIFY2(F.Get(Record) == (Held ? SampleFor(F) : F.New), F.Name);
        }
        const TImage Image = ImageOf(Record);
        // Reserved bytes, table rows and texts follow the same rule.
        const struct {
            int Offset;
            int Size;
        } Opaque[] = {{20, 4}, {64, 8}, {136, 8}, {156, 8}, {244, 20}, {268, 256}, {524, 256}, {1292, 4}};
        for (const auto &O : Opaque) {
            const TImage &Source = O.Offset + O.Size <= Length ? Full : Fresh;
            QCOMPARE(Image.mid(O.Offset, O.Size), Source.mid(O.Offset, O.Size));
        }
        QCOMPARE(Record.LastMessageFile().size(), Length >= 780 ? std::size_t(static_cast<uint8_t>(Full[524])) : 0u);
    }

    // A longer file gives its first 1296 bytes; the next write drops the rest.
    void longFile()
    {
        const TImage Full = ScribbledImage();
        const TSettingsRecord Record = Load(Full + QByteArray(100, '\x5A'));
        QCOMPARE(ImageOf(Record), Full);
        WriteDataFile(Record);
        QCOMPARE(ReadAll(DataFilePath()), Full);
    }

    // Reserved and padding bytes and the bytes after each text's length
    // written by an earlier run come back unchanged; only the fields set in
    // this run change.
    void reservedBytesSurviveAWrite()
    {
        const TImage Earlier = ScribbledImage();
        TSettingsRecord Record = Load(Earlier);
        Record.SetCycleSendOn(false);
        Record.SetCycleInterval(250);
        Record.SetPortIndex(2);
        WriteDataFile(Record);

        TImage Expected = Earlier;
        Put(Expected, 212, 1, 0);
        Put(Expected, 16, 4, 250);
        Put(Expected, 200, 1, 2);
        QCOMPARE(ReadAll(DataFilePath()), Expected);
    }

    // "data" that exists but cannot be read is reported, and the record
    // keeps what it held.
    void unreadableData()
    {
        QVERIFY(QDir().mkpath(DataFilePath()));
        TSettingsRecord Record;
        Record.SetCycleInterval(77);
        try {
            ReadDataFile(Record);
            QFAIL("no error for a folder named data");
        } catch (const ESettingsFile &E) {
            QVERIFY2(QString::fromStdString(E.what()).contains(DataFilePath()), E.what());
        }
        QCOMPARE(Record.CycleInterval(), 77u);
    }

    void interruptedWrite_data()
    {
        QTest::addColumn<QString>("How");
        QTest::newRow("disk full in the middle") << QStringLiteral("full");
        QTest::newRow("folder not writable") << QStringLiteral("readonly");
    }

    // A write that fails part way is reported and leaves the old "data"
    // whole, with no temporary file behind.
    void interruptedWrite()
    {
        QFETCH(QString, How);
        const TImage Old = ScribbledImage();
        TSettingsRecord Record = Load(Old);
        Record.SetShowTime(!Record.ShowTime());
        Record.SetLastMessageFile(std::string(200, 'x'));

        QString Error;
        auto Attempt = [&] {
            try {
                WriteDataFile(Record);
            } catch (const ESettingsFile &E) {
                Error = QString::fromStdString(E.what());
            }
        };
        if (How == QLatin1String("full")) {
            TFileSizeLimit Limit(512);
            if (!Limit.Active())
                QSKIP("cannot limit the file size here");
            Attempt();
        } else {
            if (geteuid() == 0)
                QSKIP("root writes into a read-only folder");
            QVERIFY(QFile::setPermissions(DataFolderPath(), QFile::ReadOwner | QFile::ExeOwner));
            Attempt();
        }

        QVERIFY2(Error.contains(DataFilePath()), qPrintable(Error));
        QCOMPARE(ReadAll(DataFilePath()), Old);
        QCOMPARE(QDir(DataFolderPath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList {QStringLiteral("data")});

        if (How == QLatin1String("readonly"))
            QFile::setPermissions(DataFolderPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        WriteDataFile(Record);
        QCOMPARE(ReadAll(DataFilePath()), ImageOf(Record));
    }

    // A file where the data folder should be: the write says which folder,
    // the start goes on with the "New" values.
    void fileInTheWayOfTheFolder()
    {
        QVERIFY(QDir().mkpath(Base()));
        QVERIFY(WriteAll(Base() + QStringLiteral("/Corvane"), "not a folder"));
        TSettingsRecord Record;
        Record.SetBaudIndex(0);
        ReadDataFile(Record);
        QCOMPARE(int(Record.BaudIndex()), 7);
        try {
            WriteDataFile(Record);
            QFAIL("no error for a blocked data folder");
        } catch (const ESettingsFile &E) {
            QVERIFY2(QString::fromStdString(E.what()).contains(DataFolderPath()), E.what());
        }
        QCOMPARE(ReadAll(Base() + QStringLiteral("/Corvane")), QByteArray("not a folder"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsRecord)
#include "tst_settingsrecord.moc"
