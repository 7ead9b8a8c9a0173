// What the plot window does that is not drawing: numbers taken from received
// lines (text columns, name:value pairs, binary fields), the arrival clock
// read from a line's head, a bounded ring per series, the min/max reduction
// per pixel column and the CSV export. Qt Core only, tested without a window.
#pragma once

#include <QMap>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// More series than this are not plotted (a stream of ever new names must not
// take the memory); the window says that some were left out.
inline constexpr int MaxSeries = 32;
// Longest text line looked at; the rest of a longer one is dropped up to
// its line break.
inline constexpr std::size_t MaxLineLength = 64 * 1024;
// Longest name kept for a name:value pair; longer ones are not series.
inline constexpr std::size_t MaxNameLength = 40;

// ---------------------------------------------------------------------------
// Text lines.

// One number of a text line: Name is the name of a name:value pair, empty for
// a bare number (its series is its column among the bare numbers).
struct TTextValue {
    std::string Name;
    double Value = 0;
};

// A finite decimal number (sign, digits, point, exponent) taking the whole of
// Token. NaN, infinities and numbers beyond the double range are not numbers.
bool ParseNumber(std::string_view Token, double &Value);

// The numbers of one line: tokens split at blanks, commas, tabs and
// semicolons; "name:value" (also "name: value") is a pair, a bare number is
// a column; anything else is skipped. Out is replaced.
void ParseTextLine(std::string_view Line, std::vector<TTextValue> &Out);

// Cuts received text into lines at CR and LF, carrying an unfinished line to
// the next piece. A line longer than MaxLineLength is dropped whole.
class TLineSplitter {
public:
    template <typename F> void Add(std::string_view Piece, F &&OnLine)
    {
        for (const char C : Piece) {
            if (C == '\n' || C == '\r') {
                if (!FTooLong && !FPending.empty())
                    OnLine(std::string_view(FPending));
                FPending.clear();
                FTooLong = false;
            } else if (FPending.size() < MaxLineLength) {
                FPending.push_back(C);
            } else {
                FTooLong = true;
            }
        }
    }
    void Clear()
    {
        FPending.clear();
        FTooLong = false;
    }
    std::size_t Pending() const { return FPending.size(); }

private:
    std::string FPending;
    bool FTooLong = false;
};

// Bytes of hex text ("01 0A ff"): each pair of hex digits is a byte, any
// other character separates; a lone digit is dropped.
std::string HexTextBytes(std::string_view Text);

// ---------------------------------------------------------------------------
// Binary fields.

enum class TFieldType { U8, I8, U16, I16, U32, I32, F32 };

struct TBinaryField {
    std::string Name;
    int Offset = 0;
    TFieldType Type = TFieldType::U8;
    bool BigEndian = false;
    double Scale = 1;
    double Add = 0;
};

// The field's value in Frame, Scale and Add applied; false when the frame is
// too short or the value is not finite.
bool DecodeField(std::string_view Frame, const TBinaryField &Field, double &Value);

// The fields written as text, one per item separated by ";" or a line break:
// "[name=]offset:type[:scale[:add]]", type one of u8 i8 u16 i16 u32 i32 f32
// with "le" or "be" after the wider ones ("u16be"; little endian without).
// False with the first bad item in Error; at most MaxSeries fields.
bool ParseFieldList(const QString &Text, std::vector<TBinaryField> &Fields, QString &Error);

// ---------------------------------------------------------------------------
// Arrival time.

// The arrival time of queued lines in seconds since midnight of the first,
// from their heads "R[hh:nn:ss gap]": the seconds come from the time of day,
// the milliseconds from the gaps to the lines before. Never goes back, runs
// on past midnight.
class TArrivalClock {
public:
    // Every queued line (sent ones too: gaps run from line to line).
    double Next(std::string_view Line);
    void Reset() { FStarted = false; }

private:
    bool FStarted = false;
    double FLast = 0;     // seconds, as given out
    double FDayBase = 0;  // seconds added for each midnight passed
    int FLastOfDay = 0;   // time of day of the last head, seconds
};

// "hh:mm:ss.zzz" of Seconds since a midnight (days wrap).
std::string TimeOfDayText(double Seconds);

// ---------------------------------------------------------------------------
// Samples.

struct TSample {
    double X = 0;
    double Y = 0;
};

// The last Capacity samples of a series, oldest first; X never decreases.
class TSampleRing {
public:
    explicit TSampleRing(std::size_t Capacity = 1);
    void Push(double X, double Y);
    std::size_t Size() const { return FCount; }
    std::size_t Capacity() const { return FData.size(); }
    const TSample &At(std::size_t I) const;
    // Index of the first sample with X >= Value (Size() when none).
    std::size_t LowerBound(double Value) const;
    void Clear() { FStart = FCount = 0; }
    // Keeps the newest samples that fit.
    void SetCapacity(std::size_t Capacity);
    // Samples From .. To - 1 as at most two runs in memory (the second
    // empty unless the range wraps), for loops that must not divide per
    // sample.
    std::pair<std::span<const TSample>, std::span<const TSample>> Runs(std::size_t From, std::size_t To) const;

    // The least and greatest y of each run of BlockSize samples in memory,
    // so that reducing a million samples to a few hundred columns looks at
    // blocks, not samples. A block whose samples are not all of one lap of
    // the ring (the one being written) has no valid summary.
    static constexpr std::size_t BlockSize = 64;
    std::size_t BlockAt(std::size_t I) const { return (FStart + I) % FData.size() / BlockSize; }
    std::size_t BlockOffset(std::size_t I) const { return (FStart + I) % FData.size() % BlockSize; }
    // Whether logical sample I begins a block with a valid summary that
    // holds Length samples, all in the ring.
    bool WholeBlockAt(std::size_t I, std::size_t &Length) const;
    // A block's first and last samples are kept with its extremes, so that
    // a pass over the summaries does not reach into the samples' memory.
    struct TBlock {
        TSample First, Last;
        double Low = 0, High = 0;
    };
    const TBlock &Block(std::size_t Index) const { return FBlocks[Index]; }

private:
    std::vector<TSample> FData;
    std::vector<TBlock> FBlocks;
    std::size_t FStart = 0;
    std::size_t FCount = 0;
    void Summarise(std::size_t Position);
};

// One pixel column's samples: the first and last drawn joined to the
// neighbours, the least and greatest drawn as a vertical stroke.
struct TColumn {
    int Column = 0;
    double First = 0, Low = 0, High = 0, Last = 0;
};

// The samples of Ring with X in [X0, X1] reduced to at most one TColumn per
// column of a Width-pixel wide plot, so drawing does not depend on how many
// samples there are. Out is replaced; empty columns are left out.
void Decimate(const TSampleRing &Ring, double X0, double X1, int Width, std::vector<TColumn> &Out);

// ---------------------------------------------------------------------------
// The store.

enum class TPlotFormat { Text, Binary };
enum class TXAxis { Sample, Time };

struct TSeries {
    std::string Name;
    TSampleRing Ring;
};

class TPlotData {
public:
    static constexpr std::size_t DefaultCapacity = 100000;

    TPlotFormat Format = TPlotFormat::Text;
    std::vector<TBinaryField> Fields;

    // One received line as the receive view shows it: Line is the queued
    // line (its head gives the time), Data its data part, hex text when
    // Hex.
    void Add(std::string_view Line, std::string_view Data, bool Hex);
    // Values of one sample at time Time (seconds); public for tests and
    // benchmarks.
    void AddText(std::string_view Text, double Time);
    void AddFrame(std::string_view Frame, double Time);

    const std::vector<TSeries> &Series() const { return FSeries; }
    // Names that found no room (MaxSeries reached) since the last Clear.
    int LeftOut() const { return FLeftOut; }
    // Lines that gave a sample since the last Clear: the sample number.
    int64_t Samples() const { return FSamples; }
    // Changes with every sample added or cleared: a view redraws on change.
    uint64_t Revision() const { return FRevision; }
    TXAxis XAxis() const { return FXAxis; }
    // Changing the axis or the capacity starts again.
    void SetXAxis(TXAxis Axis);
    void SetCapacity(std::size_t Capacity);
    std::size_t Capacity() const { return FCapacity; }
    void Clear();

private:
    TSeries *SeriesNamed(const std::string &Name);
    void Put(TSeries *S, double X, double Y);
    std::vector<TSeries> FSeries;
    std::vector<TTextValue> FValues;
    std::vector<std::string> FLeftOutNames;  // at most MaxSeries, counted once each
    TLineSplitter FSplitter;
    TArrivalClock FClock;
    TXAxis FXAxis = TXAxis::Sample;
    std::size_t FCapacity = DefaultCapacity;
    int FLeftOut = 0;
    int64_t FSamples = 0;
    uint64_t FRevision = 0;
};

// The samples as CSV: a header ("sample" or "time", then the series' names,
// quoted as needed), then one row per x value with the series' values at it
// (empty where a series has none). Time is written as hh:mm:ss.zzz.
std::string PlotCsv(const TPlotData &Data);

// ---------------------------------------------------------------------------
// The window's settings, kept in config.ini as "Plot/..." keys.

enum class TWindowKind { All, Samples, Seconds };

struct TPlotSettings {
    TPlotFormat Format = TPlotFormat::Text;
    TXAxis XAxis = TXAxis::Sample;
    QString Fields;  // as ParseFieldList reads them
    TWindowKind Window = TWindowKind::Samples;
    double WindowSize = 1000;
    bool AutoScale = true;
    double YMin = 0, YMax = 100;
    int Capacity = int(TPlotData::DefaultCapacity);
    QStringList Hidden;  // names of series not shown

    QMap<QString, QString> ToMap() const;
    // A key missing or out of range keeps its default.
    static TPlotSettings FromMap(const QMap<QString, QString> &Map);
};
