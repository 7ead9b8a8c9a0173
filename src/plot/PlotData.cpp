#include "PlotData.h"

#include <QStringList>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
bool IsSeparator(char C)
{
    return C == ' ' || C == ',' || C == '\t' || C == ';';
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

int FieldSize(TFieldType Type)
{
    switch (Type) {
    case TFieldType::U8:
    case TFieldType::I8:
        return 1;
    case TFieldType::U16:
    case TFieldType::I16:
        return 2;
    case TFieldType::U32:
    case TFieldType::I32:
    case TFieldType::F32:
        return 4;
    }
    return 4;
}

void AppendNumber(std::string &Out, double V)
{
    char Buffer[32];
    const auto R = std::to_chars(Buffer, Buffer + sizeof Buffer, V);
    Out.append(Buffer, R.ptr);
}

// Quoted when it holds what would split or break a CSV cell.
void AppendCsvText(std::string &Out, const std::string &Text)
{
    if (Text.find_first_of(",\"\r\n") == std::string::npos) {
        Out += Text;
        return;
    }
    Out += '"';
    for (const char C : Text) {
        if (C == '"')
            Out += '"';
        Out += C;
    }
    Out += '"';
}
}  // namespace

bool ParseNumber(std::string_view Token, double &Value)
{
    if (Token.empty() || Token.size() > 64)
        return false;
    if (Token.front() == '+')
        Token.remove_prefix(1);
    if (Token.empty() ||
        !(std::isdigit(static_cast<unsigned char>(Token.front())) || Token.front() == '-' || Token.front() == '.'))
        return false;
    double V = 0;
    const auto R = std::from_chars(Token.data(), Token.data() + Token.size(), V, std::chars_format::general);
    if (R.ec != std::errc() || R.ptr != Token.data() + Token.size() || !std::isfinite(V))
        return false;
    Value = V;
    return true;
}

void ParseTextLine(std::string_view Line, std::vector<TTextValue> &Out)
{
    Out.clear();
    std::string_view PendingName;  // "name:" waiting for its value token
    bool HasPending = false;
    std::size_t I = 0;
    while (I < Line.size()) {
        while (I < Line.size() && IsSeparator(Line[I]))
            ++I;
        const std::size_t Start = I;
        while (I < Line.size() && !IsSeparator(Line[I]))
            ++I;
        const std::string_view Token = Line.substr(Start, I - Start);
        if (Token.empty())
            break;
        double V = 0;
        if (HasPending) {
            HasPending = false;
            if (ParseNumber(Token, V)) {
                Out.push_back({std::string(PendingName), V});
                continue;
            }
        }
        const std::size_t Colon = Token.rfind(':');
        if (Colon == std::string_view::npos) {
            if (ParseNumber(Token, V))
                Out.push_back({std::string(), V});
            continue;
        }
        const std::string_view Name = Token.substr(0, Colon);
        if (Name.empty() || Name.size() > MaxNameLength)
            continue;
        if (Colon + 1 == Token.size()) {
            PendingName = Name;
            HasPending = true;
        } else if (ParseNumber(Token.substr(Colon + 1), V)) {
            Out.push_back({std::string(Name), V});
        }
    }
}

std::string HexTextBytes(std::string_view Text)
{
    std::string Bytes;
    Bytes.reserve(Text.size() / 2);
    int High = -1;
    for (const char C : Text) {
        const int D = HexDigit(C);
        if (D < 0) {
            High = -1;
        } else if (High < 0) {
            High = D;
        } else {
            Bytes.push_back(static_cast<char>(High * 16 + D));
            High = -1;
        }
    }
    return Bytes;
}

bool DecodeField(std::string_view Frame, const TBinaryField &Field, double &Value)
{
    const int Size = FieldSize(Field.Type);
    if (Field.Offset < 0 || std::size_t(Field.Offset) + std::size_t(Size) > Frame.size())
        return false;
    uint32_t Raw = 0;
    for (int I = 0; I < Size; ++I) {
        const auto B = static_cast<uint8_t>(Frame[std::size_t(Field.Offset + I)]);
        const int Shift = Field.BigEndian ? 8 * (Size - 1 - I) : 8 * I;
        Raw |= uint32_t(B) << Shift;
    }
    double V = 0;
    switch (Field.Type) {
    case TFieldType::U8:
    case TFieldType::U16:
    case TFieldType::U32:
        V = Raw;
        break;
    case TFieldType::I8:
        V = static_cast<int8_t>(Raw);
        break;
    case TFieldType::I16:
        V = static_cast<int16_t>(Raw);
        break;
    case TFieldType::I32:
        V = static_cast<int32_t>(Raw);
        break;
    case TFieldType::F32:
        V = std::bit_cast<float>(Raw);
        break;
    }
    V = V * Field.Scale + Field.Add;
    if (!std::isfinite(V))
        return false;
    Value = V;
    return true;
}

bool ParseFieldList(const QString &Text, std::vector<TBinaryField> &Fields, QString &Error)
{
    struct TTypeName {
        const char *Name;
        TFieldType Type;
        bool BigEndian;
    };
    static const TTypeName Types[] = {{"u8", TFieldType::U8, false}, {"i8", TFieldType::I8, false},
        {"u16", TFieldType::U16, false}, {"u16le", TFieldType::U16, false}, {"u16be", TFieldType::U16, true},
        {"i16", TFieldType::I16, false}, {"i16le", TFieldType::I16, false}, {"i16be", TFieldType::I16, true},
        {"u32", TFieldType::U32, false}, {"u32le", TFieldType::U32, false}, {"u32be", TFieldType::U32, true},
        {"i32", TFieldType::I32, false}, {"i32le", TFieldType::I32, false}, {"i32be", TFieldType::I32, true},
        {"f32", TFieldType::F32, false}, {"f32le", TFieldType::F32, false}, {"f32be", TFieldType::F32, true}};
    std::vector<TBinaryField> Result;
    QString Copy = Text;
    const QStringList Items = Copy.replace(u'\n', u';').split(u';', Qt::SkipEmptyParts);
    for (const QString &Raw : Items) {
        const QString Item = Raw.trimmed();
        if (Item.isEmpty())
            continue;
        if (Result.size() >= std::size_t(MaxSeries)) {
            Error = QStringLiteral("More than %1 fields").arg(MaxSeries);
            return false;
        }
        TBinaryField F;
        QString Rest = Item;
        const qsizetype Equals = Item.indexOf(u'=');
        if (Equals >= 0) {
            F.Name = Item.left(Equals).trimmed().left(qsizetype(MaxNameLength)).toStdString();
            Rest = Item.mid(Equals + 1).trimmed();
        }
        const QStringList Parts = Rest.split(u':');
        bool Ok = Parts.size() >= 2 && Parts.size() <= 4;
        if (Ok) {
            F.Offset = Parts[0].trimmed().toInt(&Ok);
            Ok = Ok && F.Offset >= 0 && F.Offset < (1 << 20);
        }
        if (Ok) {
            const QString TypeName = Parts[1].trimmed().toLower();
            Ok = false;
            for (const TTypeName &T : Types)
                if (TypeName == QLatin1String(T.Name)) {
                    F.Type = T.Type;
                    F.BigEndian = T.BigEndian;
                    Ok = true;
                }
        }
        if (Ok && Parts.size() >= 3)
            F.Scale = Parts[2].trimmed().toDouble(&Ok);
        if (Ok && Parts.size() >= 4)
            F.Add = Parts[3].trimmed().toDouble(&Ok);
        if (!Ok || !std::isfinite(F.Scale) || !std::isfinite(F.Add)) {
            Error = QStringLiteral("Not a field: \"%1\" (offset:type[:scale[:offset]])").arg(Item);
            return false;
        }
        if (F.Name.empty())
            F.Name = QStringLiteral("%1:%2").arg(Parts[0].trimmed(), Parts[1].trimmed().toLower()).toStdString();
        Result.push_back(F);
    }
    Fields = std::move(Result);
    Error.clear();
    return true;
}

double TArrivalClock::Next(std::string_view Line)
{
    // "R[" hh sep nn sep ss " gap" "]": three numbers, then the gap field.
    int Numbers[3] = {0, 0, 0};
    std::size_t I = 2;
    bool Ok = Line.size() > 2 && Line[1] == '[';
    for (int N = 0; N < 3 && Ok; ++N) {
        while (I < Line.size() && !std::isdigit(static_cast<unsigned char>(Line[I])) && Line[I] != ']')
            ++I;
        const auto R = std::from_chars(Line.data() + std::min(I, Line.size()), Line.data() + Line.size(), Numbers[N]);
        Ok = R.ec == std::errc() && Numbers[N] >= 0 && Numbers[N] < 60;
        I = std::size_t(R.ptr - Line.data());
    }
    int Gap = -1;  // " ---": a second or more
    if (Ok) {
        while (I < Line.size() && Line[I] == ' ')
            ++I;
        std::from_chars(Line.data() + I, Line.data() + Line.size(), Gap);
    }
    if (!Ok || Numbers[0] >= 24)
        return FLast;
    const int OfDay = Numbers[0] * 3600 + Numbers[1] * 60 + Numbers[2];
    if (FStarted && OfDay < FLastOfDay - 12 * 3600)
        FDayBase += 24 * 3600;
    const double Whole = FDayBase + OfDay;
    double T = Whole;
    // The gap refines the time within its second when it agrees with it; a
    // gap of a second or more at least says the line is not early in its
    // second when the last one was late in the one before.
    if (FStarted && Gap >= 0) {
        const double ByGap = FLast + Gap / 1000.0;
        if (ByGap >= Whole && ByGap < Whole + 1)
            T = ByGap;
    } else if (FStarted) {
        T = std::max(Whole, std::min(FLast + 1, Whole + 0.999));
    }
    if (FStarted && T < FLast)
        T = FLast;
    FStarted = true;
    FLast = T;
    FLastOfDay = OfDay;
    return T;
}

std::string TimeOfDayText(double Seconds)
{
    if (!std::isfinite(Seconds) || Seconds < 0)
        Seconds = 0;
    const auto Millis = static_cast<int64_t>(std::llround(Seconds * 1000)) % (24LL * 3600 * 1000);
    char Buffer[32];
    std::snprintf(Buffer, sizeof Buffer, "%02d:%02d:%02d.%03d", int(Millis / 3600000), int(Millis / 60000 % 60),
        int(Millis / 1000 % 60), int(Millis % 1000));
    return Buffer;
}

TSampleRing::TSampleRing(std::size_t Capacity)
    : FData(std::max<std::size_t>(Capacity, 1)), FBlocks((FData.size() + BlockSize - 1) / BlockSize)
{
}

void TSampleRing::Summarise(std::size_t Position)
{
    // Samples are written in memory order, so a block is begun at its first
    // position and filled before the next.
    TBlock &B = FBlocks[Position / BlockSize];
    const TSample &S = FData[Position];
    if (Position % BlockSize == 0) {
        B = {S, S, S.Y, S.Y};
    } else {
        B.Last = S;
        B.Low = std::min(B.Low, S.Y);
        B.High = std::max(B.High, S.Y);
    }
}

void TSampleRing::Push(double X, double Y)
{
    if (FCount > 0 && X < At(FCount - 1).X)
        X = At(FCount - 1).X;
    std::size_t Position = FStart;
    if (FCount < FData.size()) {
        Position = (FStart + FCount) % FData.size();
        ++FCount;
    } else {
        FStart = (FStart + 1) % FData.size();
    }
    FData[Position] = {X, Y};
    Summarise(Position);
}

bool TSampleRing::WholeBlockAt(std::size_t I, std::size_t &Length) const
{
    const std::size_t Position = (FStart + I) % FData.size();
    if (Position % BlockSize != 0 || FCount == 0)
        return false;
    Length = std::min(BlockSize, FData.size() - Position);
    // The block being written holds the newest samples and, once the ring
    // is full, the oldest after them: its summary covers only the newest.
    const std::size_t Head = BlockAt(FCount - 1);
    return I + Length <= FCount && Position / BlockSize != Head;
}

const TSample &TSampleRing::At(std::size_t I) const
{
    return FData[(FStart + I) % FData.size()];
}

std::size_t TSampleRing::LowerBound(double Value) const
{
    std::size_t Low = 0, High = FCount;
    while (Low < High) {
        const std::size_t Mid = Low + (High - Low) / 2;
        if (At(Mid).X < Value)
            Low = Mid + 1;
        else
            High = Mid;
    }
    return Low;
}

void TSampleRing::SetCapacity(std::size_t Capacity)
{
    Capacity = std::max<std::size_t>(Capacity, 1);
    std::vector<TSample> Kept;
    const std::size_t Keep = std::min(FCount, Capacity);
    Kept.reserve(Capacity);
    for (std::size_t I = FCount - Keep; I < FCount; ++I)
        Kept.push_back(At(I));
    Kept.resize(Capacity);
    FData = std::move(Kept);
    FBlocks.assign((FData.size() + BlockSize - 1) / BlockSize, TBlock {});
    for (std::size_t P = 0; P < Keep; ++P)
        Summarise(P);
    FStart = 0;
    FCount = Keep;
}

std::pair<std::span<const TSample>, std::span<const TSample>> TSampleRing::Runs(std::size_t From, std::size_t To) const
{
    To = std::min(To, FCount);
    if (From >= To)
        return {};
    const std::size_t Begin = (FStart + From) % FData.size();
    const std::size_t Count = To - From;
    const std::size_t First = std::min(Count, FData.size() - Begin);
    return {
        std::span<const TSample>(FData.data() + Begin, First), std::span<const TSample>(FData.data(), Count - First)};
}

void Decimate(const TSampleRing &Ring, double X0, double X1, int Width, std::vector<TColumn> &Out)
{
    Out.clear();
    if (Width <= 0 || !(X1 > X0) || Ring.Size() == 0)
        return;
    const double PerX = Width / (X1 - X0);
    auto ColumnOf = [&](double X) { return std::min(Width - 1, int((X - X0) * PerX)); };
    const std::size_t End = Ring.LowerBound(std::nextafter(X1, X1 + 1));
    TColumn C;
    bool Open = false;
    auto Take = [&](int Col, double First, double Low, double High, double Last) {
        if (!Open || Col != C.Column) {
            if (Open)
                Out.push_back(C);
            C = {Col, First, Low, High, Last};
            Open = true;
        } else {
            C.Low = std::min(C.Low, Low);
            C.High = std::max(C.High, High);
            C.Last = Last;
        }
    };
    for (std::size_t I = Ring.LowerBound(X0); I < End;) {
        // A whole block that falls in one column is taken by its summary.
        std::size_t Length = 0;
        if (Ring.WholeBlockAt(I, Length) && I + Length <= End) {
            const TSampleRing::TBlock &Block = Ring.Block(Ring.BlockAt(I));
            const int Col = ColumnOf(Block.First.X);
            if (Col == ColumnOf(Block.Last.X)) {
                Take(Col, Block.First.Y, Block.Low, Block.High, Block.Last.Y);
                I += Length;
                continue;
            }
        }
        // Up to the next block's start, sample by sample, without dividing.
        const std::size_t Stop = std::min(End, I + TSampleRing::BlockSize - Ring.BlockOffset(I));
        const auto [A, B] = Ring.Runs(I, Stop);
        for (const std::span<const TSample> Run : {A, B})
            for (const TSample &S : Run)
                Take(ColumnOf(S.X), S.Y, S.Y, S.Y, S.Y);
        I = Stop;
    }
    if (Open)
        Out.push_back(C);
}

void TPlotData::Add(std::string_view Line, std::string_view Data, bool Hex)
{
    const double Time = FClock.Next(Line);
    std::string Bytes;
    if (Hex) {
        Bytes = HexTextBytes(Data);
        Data = Bytes;
    }
    if (Format == TPlotFormat::Binary)
        AddFrame(Data, Time);
    else
        FSplitter.Add(Data, [&](std::string_view Text) { AddText(Text, Time); });
}

void TPlotData::AddText(std::string_view Text, double Time)
{
    ParseTextLine(Text, FValues);
    if (FValues.empty())
        return;
    const double X = FXAxis == TXAxis::Sample ? double(FSamples) : Time;
    int Column = 0;
    for (const TTextValue &V : FValues)
        Put(SeriesNamed(V.Name.empty() ? std::to_string(++Column) : V.Name), X, V.Value);
    ++FSamples;
    ++FRevision;
}

void TPlotData::AddFrame(std::string_view Frame, double Time)
{
    const double X = FXAxis == TXAxis::Sample ? double(FSamples) : Time;
    bool Any = false;
    for (const TBinaryField &F : Fields) {
        double V = 0;
        if (DecodeField(Frame, F, V)) {
            Put(SeriesNamed(F.Name), X, V);
            Any = true;
        }
    }
    if (Any) {
        ++FSamples;
        ++FRevision;
    }
}

void TPlotData::Put(TSeries *S, double X, double Y)
{
    if (S)
        S->Ring.Push(X, Y);
}

TSeries *TPlotData::SeriesNamed(const std::string &Name)
{
    for (TSeries &S : FSeries)
        if (S.Name == Name)
            return &S;
    if (FSeries.size() < std::size_t(MaxSeries)) {
        FSeries.push_back({Name, TSampleRing(FCapacity)});
        return &FSeries.back();
    }
    if (FLeftOutNames.size() < std::size_t(MaxSeries) &&
        std::find(FLeftOutNames.begin(), FLeftOutNames.end(), Name) == FLeftOutNames.end()) {
        FLeftOutNames.push_back(Name);
        ++FLeftOut;
    } else if (FLeftOutNames.size() >= std::size_t(MaxSeries)) {
        // Counting every name would need them all kept; past this many the
        // count says "at least".
        FLeftOut = std::max(FLeftOut, MaxSeries);
    }
    return nullptr;
}

void TPlotData::SetXAxis(TXAxis Axis)
{
    if (Axis != FXAxis) {
        FXAxis = Axis;
        Clear();
    }
}

void TPlotData::SetCapacity(std::size_t Capacity)
{
    Capacity = std::clamp<std::size_t>(Capacity, 100, 10000000);
    if (Capacity == FCapacity)
        return;
    FCapacity = Capacity;
    for (TSeries &S : FSeries)
        S.Ring.SetCapacity(Capacity);
    ++FRevision;
}

void TPlotData::Clear()
{
    FSeries.clear();
    FLeftOutNames.clear();
    FLeftOut = 0;
    FSamples = 0;
    FSplitter.Clear();
    FClock.Reset();
    ++FRevision;
}

std::string PlotCsv(const TPlotData &Data)
{
    const std::vector<TSeries> &Series = Data.Series();
    const bool Time = Data.XAxis() == TXAxis::Time;
    std::string Out = Time ? "time" : "sample";
    for (const TSeries &S : Series) {
        Out += ',';
        AppendCsvText(Out, S.Name);
    }
    Out += "\r\n";
    // Merge by x: each row takes every series' sample at the smallest x
    // still to be written.
    std::vector<std::size_t> Next(Series.size(), 0);
    for (;;) {
        double X = 0;
        bool Any = false;
        for (std::size_t I = 0; I < Series.size(); ++I)
            if (Next[I] < Series[I].Ring.Size()) {
                const double Xi = Series[I].Ring.At(Next[I]).X;
                if (!Any || Xi < X)
                    X = Xi;
                Any = true;
            }
        if (!Any)
            break;
        if (Time)
            Out += TimeOfDayText(X);
        else
            AppendNumber(Out, X);
        for (std::size_t I = 0; I < Series.size(); ++I) {
            Out += ',';
            if (Next[I] < Series[I].Ring.Size() && Series[I].Ring.At(Next[I]).X == X)
                AppendNumber(Out, Series[I].Ring.At(Next[I]++).Y);
        }
        Out += "\r\n";
    }
    return Out;
}

namespace {
const QString KeyFormat = QStringLiteral("Format");
const QString KeyXAxis = QStringLiteral("XAxis");
const QString KeyFields = QStringLiteral("Fields");
const QString KeyWindow = QStringLiteral("Window");
const QString KeyWindowSize = QStringLiteral("WindowSize");
const QString KeyAutoScale = QStringLiteral("AutoScale");
const QString KeyYMin = QStringLiteral("YMin");
const QString KeyYMax = QStringLiteral("YMax");
const QString KeyCapacity = QStringLiteral("Capacity");
const QString KeyHidden = QStringLiteral("Hidden");

const char *const FormatNames[] = {"text", "binary"};
const char *const AxisNames[] = {"sample", "time"};
const char *const WindowNames[] = {"all", "samples", "seconds"};

template <typename E, std::size_t N>
void ReadEnum(const QMap<QString, QString> &Map, const QString &Key, const char *const (&Names)[N], E &Value)
{
    for (std::size_t I = 0; I < N; ++I)
        if (Map.value(Key) == QLatin1String(Names[I]))
            Value = static_cast<E>(I);
}

void ReadDouble(const QMap<QString, QString> &Map, const QString &Key, double Low, double High, double &Value)
{
    bool Ok = false;
    const double V = Map.value(Key).toDouble(&Ok);
    if (Ok && std::isfinite(V) && V >= Low && V <= High)
        Value = V;
}
}  // namespace

QMap<QString, QString> TPlotSettings::ToMap() const
{
    QMap<QString, QString> M;
    M[KeyFormat] = QLatin1String(FormatNames[int(Format)]);
    M[KeyXAxis] = QLatin1String(AxisNames[int(XAxis)]);
    M[KeyFields] = Fields;
    M[KeyWindow] = QLatin1String(WindowNames[int(Window)]);
    M[KeyWindowSize] = QString::number(WindowSize, 'g', 17);
    M[KeyAutoScale] = AutoScale ? QStringLiteral("true") : QStringLiteral("false");
    M[KeyYMin] = QString::number(YMin, 'g', 17);
    M[KeyYMax] = QString::number(YMax, 'g', 17);
    M[KeyCapacity] = QString::number(Capacity);
    M[KeyHidden] = Hidden.join(u'\n');
    return M;
}

TPlotSettings TPlotSettings::FromMap(const QMap<QString, QString> &Map)
{
    TPlotSettings S;
    ReadEnum(Map, KeyFormat, FormatNames, S.Format);
    ReadEnum(Map, KeyXAxis, AxisNames, S.XAxis);
    ReadEnum(Map, KeyWindow, WindowNames, S.Window);
    S.Fields = Map.value(KeyFields);
    ReadDouble(Map, KeyWindowSize, 1, 1e9, S.WindowSize);
    if (Map.contains(KeyAutoScale))
        S.AutoScale = Map.value(KeyAutoScale) != QLatin1String("false");
    double Low = S.YMin, High = S.YMax;
    ReadDouble(Map, KeyYMin, -1e300, 1e300, Low);
    ReadDouble(Map, KeyYMax, -1e300, 1e300, High);
    if (Low < High) {
        S.YMin = Low;
        S.YMax = High;
    }
    double Capacity = S.Capacity;
    ReadDouble(Map, KeyCapacity, 100, 1000000, Capacity);
    S.Capacity = int(Capacity);
    if (!Map.value(KeyHidden).isEmpty())
        S.Hidden = Map.value(KeyHidden).split(u'\n');
    return S;
}
