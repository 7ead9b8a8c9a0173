#include "SettingsRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <bit>

TSettingsRecord::TSettingsRecord()
{
    SetNew();
}

void TSettingsRecord::SetNew()
{
    FImage.fill(0);
    SetBaudIndex(7);      // "9600"
    SetDataBitsIndex(3);  // "8"
    SetShowTime(true);
    SetShowSending(true);
    SetDefaultColours();
}

void TSettingsRecord::SetDefaultColours()
{
    SetTextColour(0x008000);
    SetSendViewBackground(0xF0F0F0);
    SetReceiveViewBackground(0xE6E6E6);
    SetSearchViewBackground(0xE6E6E6);
    SetReceiveMessageColour(0xC80000);
    SetSendMessageColour(0x0000C8);
}

bool TSettingsRecord::ColoursHideText() const
{
    const auto Same = [](uint32_t A, uint32_t B) { return ((A ^ B) & 0xFFFFFF) == 0; };
    const uint32_t Receive = ReceiveViewBackground();
    return Same(ReceiveMessageColour(), Receive) || Same(SendMessageColour(), Receive) || Same(TextColour(), Receive) ||
        Same(ReceiveMessageColour(), SearchViewBackground());
}

void TSettingsRecord::Assign(std::span<const uint8_t> Image)
{
    const std::size_t Held = std::min(Image.size(), Size);
    SetNew();
    const std::array<uint8_t, Size> Fresh = FImage;
    std::copy_n(Image.begin(), Held, FImage.begin());
    if (Held == Size)
        return;
    // Half a colour or half a table row is no value at all: the field (or
    // row) that the end of the file cuts takes its "New" value whole.
    for (const TSettingsField &F : SettingsLayout::All) {
        if (F.Offset < Held && Held < F.End()) {
            const std::size_t First = F.Offset + (Held - F.Offset) / F.Size * F.Size;
            if (First < Held)
                std::copy_n(Fresh.begin() + First, F.Size, FImage.begin() + First);
            break;
        }
    }
}

double TSettingsRecord::TriggerTime() const
{
    static_assert(SettingsLayout::TriggerTime.Size == 8);
    const std::size_t At = SettingsLayout::TriggerTime.Offset;
    const uint64_t Bits = uint64_t {LoadU32(At)} | uint64_t {LoadU32(At + 4)} << 32;
    return std::bit_cast<double>(Bits);
}

void TSettingsRecord::SetTriggerTime(double V)
{
    const std::size_t At = SettingsLayout::TriggerTime.Offset;
    const auto Bits = std::bit_cast<uint64_t>(V);
    StoreU32(At, static_cast<uint32_t>(Bits));
    StoreU32(At + 4, static_cast<uint32_t>(Bits >> 32));
}

std::size_t TSettingsRecord::RowOffset(const TSettingsField &Table, int Row, const TSettingsField &Part)
{
    if (Row < 0 || static_cast<std::size_t>(Row) >= Table.Count)
        throw std::out_of_range("settings table row " + std::to_string(Row) + " out of range");
    return Table.Offset + static_cast<std::size_t>(Row) * Table.Size + Part.Offset;
}

int32_t TSettingsRecord::TriggerRecLine(int Row) const
{
    return static_cast<int32_t>(LoadU32(RowOffset(SettingsLayout::TriggerTable, Row, SettingsLayout::TriggerRecLine)));
}

void TSettingsRecord::SetTriggerRecLine(int Row, int32_t V)
{
    StoreU32(RowOffset(SettingsLayout::TriggerTable, Row, SettingsLayout::TriggerRecLine), static_cast<uint32_t>(V));
}

int32_t TSettingsRecord::TriggerTrigLine(int Row) const
{
    return static_cast<int32_t>(LoadU32(RowOffset(SettingsLayout::TriggerTable, Row, SettingsLayout::TriggerTrigLine)));
}

void TSettingsRecord::SetTriggerTrigLine(int Row, int32_t V)
{
    StoreU32(RowOffset(SettingsLayout::TriggerTable, Row, SettingsLayout::TriggerTrigLine), static_cast<uint32_t>(V));
}

int32_t TSettingsRecord::FilterByteNumber(int Row) const
{
    return static_cast<int32_t>(LoadU32(RowOffset(SettingsLayout::FilterTable, Row, SettingsLayout::FilterByteNumber)));
}

void TSettingsRecord::SetFilterByteNumber(int Row, int32_t V)
{
    StoreU32(RowOffset(SettingsLayout::FilterTable, Row, SettingsLayout::FilterByteNumber), static_cast<uint32_t>(V));
}

std::string TSettingsRecord::FilterValue(int Row) const
{
    static_assert(SettingsLayout::FilterValue.Size == 1 + FilterValueCapacity);
    return LoadText(RowOffset(SettingsLayout::FilterTable, Row, SettingsLayout::FilterValue), FilterValueCapacity);
}

void TSettingsRecord::SetFilterValue(int Row, const std::string &V)
{
    StoreText(RowOffset(SettingsLayout::FilterTable, Row, SettingsLayout::FilterValue), FilterValueCapacity, V);
}

uint32_t TSettingsRecord::LoadU32(std::size_t Offset) const
{
    return uint32_t {FImage[Offset]} | uint32_t {FImage[Offset + 1]} << 8 | uint32_t {FImage[Offset + 2]} << 16 |
        uint32_t {FImage[Offset + 3]} << 24;
}

void TSettingsRecord::StoreU32(std::size_t Offset, uint32_t V)
{
    for (std::size_t I = 0; I < 4; ++I)
        FImage[Offset + I] = static_cast<uint8_t>(V >> (8 * I));
}

std::string TSettingsRecord::LoadText(std::size_t Offset, std::size_t Capacity) const
{
    // A damaged length byte must not reach past the field into its neighbours.
    const std::size_t Length = std::min<std::size_t>(FImage[Offset], Capacity);
    return std::string(reinterpret_cast<const char *>(FImage.data() + Offset + 1), Length);
}

void TSettingsRecord::StoreText(std::size_t Offset, std::size_t Capacity, const std::string &V)
{
    const std::size_t Length = std::min(V.size(), Capacity);
    FImage[Offset] = static_cast<uint8_t>(Length);
    std::copy_n(V.begin(), Length, FImage.begin() + Offset + 1);
    // Clear the rest so an earlier, longer text does not linger in the file.
    std::fill_n(FImage.begin() + Offset + 1 + Length, Capacity - Length, uint8_t {0});
}

namespace {

ESettingsFile FileError(const char *What, const QString &Path, const QString &Reason)
{
    return ESettingsFile(QStringLiteral("%1 \"%2\": %3").arg(QLatin1String(What), Path, Reason).toStdString());
}

}  // namespace

void ReadSettingsFile(TSettingsRecord &Record, const QString &Path)
{
    const QFileInfo Info(Path);
    if (!Info.exists()) {
        Record.SetNew();
        return;
    }
    // A folder, a device or a pipe named "data" would fail or block a read.
    if (!Info.isFile())
        throw FileError("Cannot read the settings file", Path, QStringLiteral("not a regular file"));
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        throw FileError("Cannot read the settings file", Path, File.errorString());
    const QByteArray Bytes = File.read(TSettingsRecord::Size);
    if (File.error() != QFileDevice::NoError)
        throw FileError("Cannot read the settings file", Path, File.errorString());
    Record.Assign(
        std::span(reinterpret_cast<const uint8_t *>(Bytes.constData()), static_cast<std::size_t>(Bytes.size())));
}

void WriteSettingsFile(const TSettingsRecord &Record, const QString &Path)
{
    // QSaveFile writes a temporary file beside Path, syncs it to disk on
    // commit and only then renames it over Path.
    QSaveFile File(Path);
    if (!File.open(QIODevice::WriteOnly))
        throw FileError("Cannot write the settings file", Path, File.errorString());
    const auto Image = Record.Image();
    const auto Size = static_cast<qint64>(Image.size());
    if (File.write(reinterpret_cast<const char *>(Image.data()), Size) != Size || !File.flush()) {
        const QString Reason = File.errorString();
        File.cancelWriting();
        throw FileError("Cannot write the settings file", Path, Reason);
    }
    if (!File.commit())
        throw FileError("Cannot write the settings file", Path, File.errorString());
}
