// The settings record: everything the program remembers between runs, held
// as the exact 1296-byte little-endian image stored in the file "data". The
// image is the record's only state, so reserved and padding bytes and the
// bytes after a text's length survive a read and a write untouched; the
// accessors read and write the fields in place at their fixed offsets,
// independent of the host's byte order.
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

// Raised when the data folder or a settings file cannot be made, read or
// written; the message names the file and the system's reason.
class ESettingsFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A field of the image: Count elements of Size bytes from Offset (Count > 1
// for the trigger and filter tables, whose elements are rows).
struct TSettingsField {
    std::size_t Offset;
    std::size_t Size;
    std::size_t Count = 1;
    constexpr std::size_t End() const { return Offset + Size * Count; }
};

// The layout of "data", in file order. Stored files depend on every offset;
// the checks below the list make the compiler refuse a gap, an overlap or a
// size other than 1296.
namespace SettingsLayout {
inline constexpr TSettingsField CycleMode {0, 1};
inline constexpr TSettingsField CycleLineChoice {1, 1};
inline constexpr TSettingsField Padding2 {2, 2};
inline constexpr TSettingsField CycleFixedLine {4, 4};
inline constexpr TSettingsField CycleRangeFirst {8, 4};
inline constexpr TSettingsField CycleRangeLast {12, 4};
inline constexpr TSettingsField CycleInterval {16, 4};
inline constexpr TSettingsField Reserved20 {20, 4};
inline constexpr TSettingsField TimingTriggerOn {24, 1};
inline constexpr TSettingsField Padding25 {25, 7};
inline constexpr TSettingsField TriggerTime {32, 8};
inline constexpr TSettingsField TimingMode {40, 1};
inline constexpr TSettingsField TimingLineChoice {41, 1};
inline constexpr TSettingsField Padding42 {42, 2};
inline constexpr TSettingsField TimingFixedLine {44, 4};
inline constexpr TSettingsField TimingRangeFirst {48, 4};
inline constexpr TSettingsField TimingRangeLast {52, 4};
inline constexpr TSettingsField TimingInterval {56, 4};
inline constexpr TSettingsField ReceiveTriggerOn {60, 1};
inline constexpr TSettingsField Padding61 {61, 3};
inline constexpr TSettingsField TriggerTable {64, 8, 10};
inline constexpr TSettingsField TriggerDelay {144, 4};
inline constexpr TSettingsField Reserved148 {148, 4};
inline constexpr TSettingsField ChecksumKind {152, 4};
inline constexpr TSettingsField FilterTable {156, 8, 5};
inline constexpr TSettingsField FilterOn {196, 1};
inline constexpr TSettingsField Padding197 {197, 3};
inline constexpr TSettingsField PortIndex {200, 1};
inline constexpr TSettingsField BaudIndex {201, 1};
inline constexpr TSettingsField ParityIndex {202, 1};
inline constexpr TSettingsField DataBitsIndex {203, 1};
inline constexpr TSettingsField StopBitsIndex {204, 1};
inline constexpr TSettingsField DtrOn {205, 1};
inline constexpr TSettingsField RtsOn {206, 1};
inline constexpr TSettingsField Padding207 {207, 1};
inline constexpr TSettingsField TextColour {208, 4};
inline constexpr TSettingsField CycleSendOn {212, 1};
inline constexpr TSettingsField Padding213 {213, 1};
inline constexpr TSettingsField ShowTime {214, 1};
inline constexpr TSettingsField ShowRxTx {215, 1};
inline constexpr TSettingsField ShowSending {216, 1};
inline constexpr TSettingsField WordWrap {217, 1};
inline constexpr TSettingsField AsciiReceive {218, 1};
inline constexpr TSettingsField AsciiSend {219, 1};
inline constexpr TSettingsField Reserved220 {220, 1};
inline constexpr TSettingsField SendWindowShown {221, 1};
inline constexpr TSettingsField SearchWindowShown {222, 1};
inline constexpr TSettingsField Padding223 {223, 1};
inline constexpr TSettingsField SendViewBackground {224, 4};
inline constexpr TSettingsField ReceiveViewBackground {228, 4};
inline constexpr TSettingsField SearchViewBackground {232, 4};
inline constexpr TSettingsField ReceiveMessageColour {236, 4};
inline constexpr TSettingsField SendMessageColour {240, 4};
inline constexpr TSettingsField Reserved244 {244, 20};
inline constexpr TSettingsField AutoSaveLineCount {264, 4};
inline constexpr TSettingsField Reserved268 {268, 256};
inline constexpr TSettingsField LastMessageFile {524, 256};
inline constexpr TSettingsField ProgramPath {780, 256};
inline constexpr TSettingsField AutoSaveFolder {1036, 256};
inline constexpr TSettingsField Reserved1292 {1292, 4};

inline constexpr TSettingsField All[] = {
    CycleMode,
    CycleLineChoice,
    Padding2,
    CycleFixedLine,
    CycleRangeFirst,
    CycleRangeLast,
    CycleInterval,
    Reserved20,
    TimingTriggerOn,
    Padding25,
    TriggerTime,
    TimingMode,
    TimingLineChoice,
    Padding42,
    TimingFixedLine,
    TimingRangeFirst,
    TimingRangeLast,
    TimingInterval,
    ReceiveTriggerOn,
    Padding61,
    TriggerTable,
    TriggerDelay,
    Reserved148,
    ChecksumKind,
    FilterTable,
    FilterOn,
    Padding197,
    PortIndex,
    BaudIndex,
    ParityIndex,
    DataBitsIndex,
    StopBitsIndex,
    DtrOn,
    RtsOn,
    Padding207,
    TextColour,
    CycleSendOn,
    Padding213,
    ShowTime,
    ShowRxTx,
    ShowSending,
    WordWrap,
    AsciiReceive,
    AsciiSend,
    Reserved220,
    SendWindowShown,
    SearchWindowShown,
    Padding223,
    SendViewBackground,
    ReceiveViewBackground,
    SearchViewBackground,
    ReceiveMessageColour,
    SendMessageColour,
    Reserved244,
    AutoSaveLineCount,
    Reserved268,
    LastMessageFile,
    ProgramPath,
    AutoSaveFolder,
    Reserved1292,
};

// Inside one row of the trigger table: received-line number, line to send.
inline constexpr TSettingsField TriggerRecLine {0, 4};
inline constexpr TSettingsField TriggerTrigLine {4, 4};
inline constexpr TSettingsField TriggerRow[] = {TriggerRecLine, TriggerTrigLine};

// Inside one row of the filter table: byte number, a text of at most two
// characters (length byte and two bytes), one padding byte.
inline constexpr TSettingsField FilterByteNumber {0, 4};
inline constexpr TSettingsField FilterValue {4, 3};
inline constexpr TSettingsField FilterPadding {7, 1};
inline constexpr TSettingsField FilterRow[] = {FilterByteNumber, FilterValue, FilterPadding};

// True when Fields follow each other without gap or overlap from 0 to Total.
template <std::size_t N> constexpr bool Tiles(const TSettingsField (&Fields)[N], std::size_t Total)
{
    std::size_t At = 0;
    for (const TSettingsField &F : Fields) {
        if (F.Offset != At || F.Size == 0 || F.Count == 0)
            return false;
        At = F.End();
    }
    return At == Total;
}

static_assert(Tiles(All, 1296), "the fields of \"data\" must tile 1296 bytes");
static_assert(Tiles(TriggerRow, TriggerTable.Size), "a trigger row is two int32");
static_assert(Tiles(FilterRow, FilterTable.Size), "a filter row is int32, text[2], pad");
}  // namespace SettingsLayout

class TSettingsRecord {
public:
    static constexpr std::size_t Size = 1296;
    static constexpr std::size_t TextCapacity = 255;
    static constexpr std::size_t FilterValueCapacity = 2;
    static constexpr int TriggerRows = static_cast<int>(SettingsLayout::TriggerTable.Count);
    static constexpr int FilterRows = static_cast<int>(SettingsLayout::FilterTable.Count);

    // Starts with the "New" values, so a record that never saw a file (or
    // whose file could not be read) has readable colours and 9600 8N1.
    TSettingsRecord();

    // Every field back to its "New" value; every other byte zero.
    void SetNew();
    // The text colour, the three view backgrounds and the two message
    // colours back to their "New" values.
    void SetDefaultColours();
    // A text colour is the colour of the background it is drawn on (as
    // shown: the high byte is not a colour), so that text is invisible:
    // received and sent lines and the text colour on the receive view, hits
    // listed on the search view.
    bool ColoursHideText() const;

    // Takes a stored image: its first bytes (at most Size) are kept as they
    // are; the fields past the end of a short image, and a field the end cuts
    // in two, get their "New" values rather than zeros.
    void Assign(std::span<const uint8_t> Image);

    // The whole image as it is written to "data".
    std::span<const uint8_t, Size> Image() const { return FImage; }

    // Cycle send.
    uint8_t CycleMode() const { return Byte<SettingsLayout::CycleMode>(); }
    void SetCycleMode(uint8_t V) { SetByte<SettingsLayout::CycleMode>(V); }
    uint8_t CycleLineChoice() const { return Byte<SettingsLayout::CycleLineChoice>(); }
    void SetCycleLineChoice(uint8_t V) { SetByte<SettingsLayout::CycleLineChoice>(V); }
    int32_t CycleFixedLine() const { return Int32<SettingsLayout::CycleFixedLine>(); }
    void SetCycleFixedLine(int32_t V) { SetInt32<SettingsLayout::CycleFixedLine>(V); }
    int32_t CycleRangeFirst() const { return Int32<SettingsLayout::CycleRangeFirst>(); }
    void SetCycleRangeFirst(int32_t V) { SetInt32<SettingsLayout::CycleRangeFirst>(V); }
    int32_t CycleRangeLast() const { return Int32<SettingsLayout::CycleRangeLast>(); }
    void SetCycleRangeLast(int32_t V) { SetInt32<SettingsLayout::CycleRangeLast>(V); }
    uint32_t CycleInterval() const { return UInt32<SettingsLayout::CycleInterval>(); }
    void SetCycleInterval(uint32_t V) { SetUInt32<SettingsLayout::CycleInterval>(V); }
    bool CycleSendOn() const { return Flag<SettingsLayout::CycleSendOn>(); }
    void SetCycleSendOn(bool V) { SetFlag<SettingsLayout::CycleSendOn>(V); }

    // Timing trigger.
    bool TimingTriggerOn() const { return Flag<SettingsLayout::TimingTriggerOn>(); }
    void SetTimingTriggerOn(bool V) { SetFlag<SettingsLayout::TimingTriggerOn>(V); }
    // Days since 30 December 1899; only the time of day counts.
    double TriggerTime() const;
    void SetTriggerTime(double V);
    uint8_t TimingMode() const { return Byte<SettingsLayout::TimingMode>(); }
    void SetTimingMode(uint8_t V) { SetByte<SettingsLayout::TimingMode>(V); }
    uint8_t TimingLineChoice() const { return Byte<SettingsLayout::TimingLineChoice>(); }
    void SetTimingLineChoice(uint8_t V) { SetByte<SettingsLayout::TimingLineChoice>(V); }
    int32_t TimingFixedLine() const { return Int32<SettingsLayout::TimingFixedLine>(); }
    void SetTimingFixedLine(int32_t V) { SetInt32<SettingsLayout::TimingFixedLine>(V); }
    int32_t TimingRangeFirst() const { return Int32<SettingsLayout::TimingRangeFirst>(); }
    void SetTimingRangeFirst(int32_t V) { SetInt32<SettingsLayout::TimingRangeFirst>(V); }
    int32_t TimingRangeLast() const { return Int32<SettingsLayout::TimingRangeLast>(); }
    void SetTimingRangeLast(int32_t V) { SetInt32<SettingsLayout::TimingRangeLast>(V); }
    uint32_t TimingInterval() const { return UInt32<SettingsLayout::TimingInterval>(); }
    void SetTimingInterval(uint32_t V) { SetUInt32<SettingsLayout::TimingInterval>(V); }

    // Receive trigger; Row is 0 to TriggerRows - 1 (std::out_of_range else).
    bool ReceiveTriggerOn() const { return Flag<SettingsLayout::ReceiveTriggerOn>(); }
    void SetReceiveTriggerOn(bool V) { SetFlag<SettingsLayout::ReceiveTriggerOn>(V); }
    int32_t TriggerRecLine(int Row) const;
    void SetTriggerRecLine(int Row, int32_t V);
    int32_t TriggerTrigLine(int Row) const;
    void SetTriggerTrigLine(int Row, int32_t V);
    uint32_t TriggerDelay() const { return UInt32<SettingsLayout::TriggerDelay>(); }
    void SetTriggerDelay(uint32_t V) { SetUInt32<SettingsLayout::TriggerDelay>(V); }

    // Checksum menu entry.
    int32_t ChecksumKind() const { return Int32<SettingsLayout::ChecksumKind>(); }
    void SetChecksumKind(int32_t V) { SetInt32<SettingsLayout::ChecksumKind>(V); }

    // Receiving filter; Row is 0 to FilterRows - 1 (std::out_of_range else).
    // A value is cut to FilterValueCapacity bytes when stored.
    int32_t FilterByteNumber(int Row) const;
    void SetFilterByteNumber(int Row, int32_t V);
    std::string FilterValue(int Row) const;
    void SetFilterValue(int Row, const std::string &V);
    bool FilterOn() const { return Flag<SettingsLayout::FilterOn>(); }
    void SetFilterOn(bool V) { SetFlag<SettingsLayout::FilterOn>(V); }

    // Tool-bar combos, by item index.
    uint8_t PortIndex() const { return Byte<SettingsLayout::PortIndex>(); }
    void SetPortIndex(uint8_t V) { SetByte<SettingsLayout::PortIndex>(V); }
    uint8_t BaudIndex() const { return Byte<SettingsLayout::BaudIndex>(); }
    void SetBaudIndex(uint8_t V) { SetByte<SettingsLayout::BaudIndex>(V); }
    uint8_t ParityIndex() const { return Byte<SettingsLayout::ParityIndex>(); }
    void SetParityIndex(uint8_t V) { SetByte<SettingsLayout::ParityIndex>(V); }
    uint8_t DataBitsIndex() const { return Byte<SettingsLayout::DataBitsIndex>(); }
    void SetDataBitsIndex(uint8_t V) { SetByte<SettingsLayout::DataBitsIndex>(V); }
    uint8_t StopBitsIndex() const { return Byte<SettingsLayout::StopBitsIndex>(); }
    void SetStopBitsIndex(uint8_t V) { SetByte<SettingsLayout::StopBitsIndex>(V); }

    // Modem control lines.
    bool DtrOn() const { return Flag<SettingsLayout::DtrOn>(); }
    void SetDtrOn(bool V) { SetFlag<SettingsLayout::DtrOn>(V); }
    bool RtsOn() const { return Flag<SettingsLayout::RtsOn>(); }
    void SetRtsOn(bool V) { SetFlag<SettingsLayout::RtsOn>(V); }

    // Display options and window flags.
    bool ShowTime() const { return Flag<SettingsLayout::ShowTime>(); }
    void SetShowTime(bool V) { SetFlag<SettingsLayout::ShowTime>(V); }
    bool ShowRxTx() const { return Flag<SettingsLayout::ShowRxTx>(); }
    void SetShowRxTx(bool V) { SetFlag<SettingsLayout::ShowRxTx>(V); }
    bool ShowSending() const { return Flag<SettingsLayout::ShowSending>(); }
    void SetShowSending(bool V) { SetFlag<SettingsLayout::ShowSending>(V); }
    bool WordWrap() const { return Flag<SettingsLayout::WordWrap>(); }
    void SetWordWrap(bool V) { SetFlag<SettingsLayout::WordWrap>(V); }
    bool AsciiReceive() const { return Flag<SettingsLayout::AsciiReceive>(); }
    void SetAsciiReceive(bool V) { SetFlag<SettingsLayout::AsciiReceive>(V); }
    bool AsciiSend() const { return Flag<SettingsLayout::AsciiSend>(); }
    void SetAsciiSend(bool V) { SetFlag<SettingsLayout::AsciiSend>(V); }
    bool SendWindowShown() const { return Flag<SettingsLayout::SendWindowShown>(); }
    void SetSendWindowShown(bool V) { SetFlag<SettingsLayout::SendWindowShown>(V); }
    bool SearchWindowShown() const { return Flag<SettingsLayout::SearchWindowShown>(); }
    void SetSearchWindowShown(bool V) { SetFlag<SettingsLayout::SearchWindowShown>(V); }

    // Colours, 0x00BBGGRR (red in the low byte).
    uint32_t TextColour() const { return UInt32<SettingsLayout::TextColour>(); }
    void SetTextColour(uint32_t V) { SetUInt32<SettingsLayout::TextColour>(V); }
    uint32_t SendViewBackground() const { return UInt32<SettingsLayout::SendViewBackground>(); }
    void SetSendViewBackground(uint32_t V) { SetUInt32<SettingsLayout::SendViewBackground>(V); }
    uint32_t ReceiveViewBackground() const { return UInt32<SettingsLayout::ReceiveViewBackground>(); }
    void SetReceiveViewBackground(uint32_t V) { SetUInt32<SettingsLayout::ReceiveViewBackground>(V); }
    uint32_t SearchViewBackground() const { return UInt32<SettingsLayout::SearchViewBackground>(); }
    void SetSearchViewBackground(uint32_t V) { SetUInt32<SettingsLayout::SearchViewBackground>(V); }
    uint32_t ReceiveMessageColour() const { return UInt32<SettingsLayout::ReceiveMessageColour>(); }
    void SetReceiveMessageColour(uint32_t V) { SetUInt32<SettingsLayout::ReceiveMessageColour>(V); }
    uint32_t SendMessageColour() const { return UInt32<SettingsLayout::SendMessageColour>(); }
    void SetSendMessageColour(uint32_t V) { SetUInt32<SettingsLayout::SendMessageColour>(V); }

    // Auto save or clear.
    int32_t AutoSaveLineCount() const { return Int32<SettingsLayout::AutoSaveLineCount>(); }
    void SetAutoSaveLineCount(int32_t V) { SetInt32<SettingsLayout::AutoSaveLineCount>(V); }

    // Texts: bytes in the stored 8-bit code page (Latin-1 at the Qt
    // boundary). Storing cuts to TextCapacity bytes.
    std::string LastMessageFile() const { return Text<SettingsLayout::LastMessageFile>(); }
    void SetLastMessageFile(const std::string &V) { SetText<SettingsLayout::LastMessageFile>(V); }
    std::string ProgramPath() const { return Text<SettingsLayout::ProgramPath>(); }
    void SetProgramPath(const std::string &V) { SetText<SettingsLayout::ProgramPath>(V); }
    std::string AutoSaveFolder() const { return Text<SettingsLayout::AutoSaveFolder>(); }
    void SetAutoSaveFolder(const std::string &V) { SetText<SettingsLayout::AutoSaveFolder>(V); }

private:
    template <TSettingsField F> uint8_t Byte() const
    {
        static_assert(F.Size == 1 && F.Count == 1);
        return FImage[F.Offset];
    }
    template <TSettingsField F> void SetByte(uint8_t V)
    {
        static_assert(F.Size == 1 && F.Count == 1);
        FImage[F.Offset] = V;
    }
    // A flag is on when its byte is not 0 and is always stored as 0 or 1.
    template <TSettingsField F> bool Flag() const { return Byte<F>() != 0; }
    template <TSettingsField F> void SetFlag(bool V) { SetByte<F>(V ? 1 : 0); }

    template <TSettingsField F> uint32_t UInt32() const
    {
        static_assert(F.Size == 4 && F.Count == 1);
        return LoadU32(F.Offset);
    }
    template <TSettingsField F> void SetUInt32(uint32_t V)
    {
        static_assert(F.Size == 4 && F.Count == 1);
        StoreU32(F.Offset, V);
    }
    template <TSettingsField F> int32_t Int32() const { return static_cast<int32_t>(UInt32<F>()); }
    template <TSettingsField F> void SetInt32(int32_t V) { SetUInt32<F>(static_cast<uint32_t>(V)); }

    template <TSettingsField F> std::string Text() const
    {
        static_assert(F.Size == 1 + TextCapacity && F.Count == 1);
        return LoadText(F.Offset, TextCapacity);
    }
    template <TSettingsField F> void SetText(const std::string &V)
    {
        static_assert(F.Size == 1 + TextCapacity && F.Count == 1);
        StoreText(F.Offset, TextCapacity, V);
    }

    static std::size_t RowOffset(const TSettingsField &Table, int Row, const TSettingsField &Part);

    uint32_t LoadU32(std::size_t Offset) const;
    void StoreU32(std::size_t Offset, uint32_t V);
    std::string LoadText(std::size_t Offset, std::size_t Capacity) const;
    void StoreText(std::size_t Offset, std::size_t Capacity, const std::string &V);

    std::array<uint8_t, Size> FImage {};
};

// Reads a "data" file into Record. A missing file gives the "New" values.
// A file that exists but cannot be read throws ESettingsFile and leaves
// Record as it was.
void ReadSettingsFile(TSettingsRecord &Record, const QString &Path);

// Writes the whole record to Path so that Path holds either the old file or
// the complete new one, never a part: the image goes to a temporary file in
// the same folder, is flushed to disk, then renamed over Path. Throws
// ESettingsFile (Path untouched) on any failure.
void WriteSettingsFile(const TSettingsRecord &Record, const QString &Path);
