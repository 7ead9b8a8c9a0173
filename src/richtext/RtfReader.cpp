#include "RtfReader.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QStringDecoder>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Deeper groups are still balanced by counting but do not get a state of their
// own, so hostile nesting costs neither stack nor much memory.
constexpr size_t MaxDepth = 256;
constexpr int MaxWordLength = 32;

enum class TDest : uint8_t { Text, FontTable, ColourTable, Skip };

struct TGroupState {
    int Font = -1;       // \f number; -1: the document's default font (\deff)
    int HalfPoints = 0;  // \fs; 0: no size given
    int Fg = 0;          // \cf index; 0: automatic colour
    int Bg = 0;          // \highlight or \cb index; 0: none
    int Uc = 1;          // fallback characters after \uN
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    TDest Dest = TDest::Text;

    bool SameRun(const TGroupState &O) const
    {
        return Font == O.Font && HalfPoints == O.HalfPoints && Fg == O.Fg && Bg == O.Bg && Bold == O.Bold &&
            Italic == O.Italic && Underline == O.Underline;
    }
    void Plain()
    {
        Font = -1;
        HalfPoints = 0;
        Fg = 0;
        Bg = 0;
        Bold = Italic = Underline = false;
    }
};

struct TFontEntry {
    QString Name;
    int CodePage = 0;  // 0: the document's code page
};

struct TColourEntry {
    bool Automatic = true;
    int R = 0, G = 0, B = 0;
};

int CodePageOfCharset(int Charset)
{
    switch (Charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 255:
        return 437;
    default:
        return 0;  // ANSI, default, symbol: the document's code page
    }
}

// Windows-1252, the usual code page of RTF files, needs no converter.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
    0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

class TDecoders {
public:
    QString Decode(int CodePage, QByteArrayView Bytes)
    {
        if (CodePage == 1252 || CodePage == 0) {
            QString S;
            S.reserve(Bytes.size());
            for (char C : Bytes) {
                const auto U = static_cast<unsigned char>(C);
                S.append(QChar(U >= 0x80 && U < 0xA0 ? Cp1252High[U - 0x80] : char16_t(U)));
            }
            return S;
        }
        QStringDecoder *Dec = Decoder(CodePage);
        if (!Dec)
            return QString::fromLatin1(Bytes.data(), Bytes.size());
        Dec->resetState();
        QString S = Dec->decode(Bytes);
        S += Dec->decode(QByteArrayView());
        return S;
    }

private:
    QStringDecoder *Decoder(int CodePage)
    {
        auto It = FCache.find(CodePage);
        if (It != FCache.end())
            return It->second.get();
        QByteArray Name;
        switch (CodePage) {
        case 10000:
            Name = "macintosh";
            break;
        case 437:
            Name = "IBM437";
            break;
        case 850:
            Name = "IBM850";
            break;
        case 932:
            Name = "Shift_JIS";
            break;
        case 936:
            Name = "GBK";
            break;
        case 949:
            Name = "windows-949";
            break;
        case 950:
            Name = "Big5";
            break;
        case 65001:
            Name = "UTF-8";
            break;
        default:
            Name = "windows-" + QByteArray::number(CodePage);
            break;
        }
        auto Dec = std::make_unique<QStringDecoder>(Name.constData(), QStringConverter::Flag::Stateless);
        if (!Dec->isValid())
            Dec.reset();
        QStringDecoder *Raw = Dec.get();
        FCache.emplace(CodePage, std::move(Dec));
        return Raw;
    }
    std::unordered_map<int, std::unique_ptr<QStringDecoder>> FCache;
};

bool IsSkippedDestination(QByteArrayView W)
{
    static const char *const Skip[] = {"stylesheet", "info", "pict", "object", "objdata", "header", "headerl",
        "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "xe", "tc", "txe",
        "rxe", "nonshppict", "listtable", "listoverridetable", "revtbl", "rsidtbl", "fldinst", "themedata",
        "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "generator", "author", "operator", "title",
        "subject", "keywords", "comment", "doccomm", "creatim", "revtim", "printim", "buptim", "private", "filetbl",
        "pgdsctbl", "bkmkstart", "bkmkend", "atnid", "atnauthor"};
    for (const char *S : Skip)
        if (W == QByteArrayView(S))
            return true;
    return false;
}

class TReader {
public:
    TReader(QTextCursor &Cursor, QByteArrayView Data, qsizetype Keep) : FCursor(Cursor), FData(Data), FKeep(Keep)
    {
        FBaseFormat = Cursor.charFormat();
    }

    void Run()
    {
        const qsizetype N = FData.size();
        while (FPos < N && !FDone) {
            const char C = FData[FPos];
            if (C == '{') {
                ++FPos;
                OpenGroup();
            } else if (C == '}') {
                ++FPos;
                CloseGroup();
            } else if (C == '\\') {
                ++FPos;
                ControlSequence();
            } else if (C == '\r' || C == '\n') {
                ++FPos;
            } else if (IsPlain(C) && FStarted && FSt.Dest == TDest::Text && FFallback == 0 && FPending.isEmpty()) {
                // A stretch of plain text, taken whole.
                qsizetype End = FPos + 1;
                while (End < N && IsPlain(FData[End]))
                    ++End;
                if (!FRun.isEmpty() && !FSt.SameRun(FRunState))
                    FlushRun();
                if (FRun.isEmpty())
                    FRunState = FSt;
                FRun.append(QLatin1StringView(FData.sliced(FPos, End - FPos)));
                FPos = End;
                if (FKeep >= 0 && FRun.size() > FKeep)
                    FlushRun();
            } else {
                ++FPos;
                if (FStarted && (static_cast<unsigned char>(C) >= 0x20 || C == '\t'))
                    Byte(C);
            }
        }
        FlushBytes();
        FlushRun();
        qsizetype Start = 0;
        for (const TKeptRun &R : FKept) {
            FCursor.insertText(QStringView(FKeptText).sliced(Start, R.End - Start).toString(), FKeptFormats[R.Format]);
            Start = R.End;
        }
        FKept.clear();
    }

private:
    // With a keep limit, the text read so far that may still be kept: one
    // string, and the runs' ends in it with their formats.
    struct TKeptRun {
        qsizetype End;
        int Format;
    };

    void OpenGroup()
    {
        FlushBytes();
        FFallback = 0;
        if (!FStarted) {
            FStarted = true;
            return;  // the document group itself
        }
        if (FStack.size() >= MaxDepth) {
            ++FOverflow;
            return;
        }
        FStack.push_back(FSt);
    }

    void CloseGroup()
    {
        FlushBytes();
        FFallback = 0;
        if (!FStarted)
            return;
        if (FOverflow > 0) {
            --FOverflow;
            return;
        }
        if (FStack.empty()) {
            FDone = true;  // the document group closed: what follows is not RTF
            return;
        }
        if (FSt.Dest == TDest::FontTable)
            EndFontEntry();
        FSt = FStack.back();
        FStack.pop_back();
    }

    void ControlSequence()
    {
        const qsizetype N = FData.size();
        if (FPos >= N)
            return;
        const char C = FData[FPos];
        if (!IsLetter(C)) {
            ++FPos;
            ControlSymbol(C);
            return;
        }
        const qsizetype Start = FPos;
        while (FPos < N && IsLetter(FData[FPos]))
            ++FPos;
        QByteArrayView Word = FData.sliced(Start, std::min<qsizetype>(FPos - Start, MaxWordLength));
        bool HasParam = false;
        bool Negative = false;
        int64_t Value = 0;
        if (FPos < N && FData[FPos] == '-' && FPos + 1 < N && IsDigit(FData[FPos + 1])) {
            Negative = true;
            ++FPos;
        }
        while (FPos < N && IsDigit(FData[FPos])) {
            HasParam = true;
            if (Value < INT32_MAX)
                Value = Value * 10 + (FData[FPos] - '0');  // saturates below
            ++FPos;
        }
        if (FPos < N && FData[FPos] == ' ')
            ++FPos;
        Value = std::min<int64_t>(Value, INT32_MAX);
        const int Param = static_cast<int>(Negative ? -Value : Value);
        if (!FStarted)
            return;
        ControlWord(Word, HasParam, Param);
    }

    void ControlSymbol(char C)
    {
        if (!FStarted)
            return;
        switch (C) {
        case '\'': {
            const qsizetype N = FData.size();
            int Hi = FPos < N ? HexValue(FData[FPos]) : -1;
            int Lo = FPos + 1 < N ? HexValue(FData[FPos + 1]) : -1;
            if (Hi < 0 || Lo < 0)
                return;
            FPos += 2;
            HexByte(static_cast<char>(Hi * 16 + Lo));
            return;
        }
        case '\\':
        case '{':
        case '}':
            Byte(C);
            return;
        case '~':
            Character(QChar(0x00A0));
            return;
        case '-':
            Character(QChar(0x00AD));
            return;
        case '_':
            Character(QChar(0x2011));
            return;
        case '*':
            // An ignorable destination: nothing we read lives in one.
            FlushBytes();
            FSt.Dest = TDest::Skip;
            return;
        case '\r':
        case '\n':
            Paragraph();
            return;
        default:
            return;  // \| \: and unknown symbols carry no text here
        }
    }

    void ControlWord(QByteArrayView W, bool HasParam, int Param)
    {
        FlushBytes();
        if (W == "bin") {  // binary data, skipped in every destination
            const qsizetype Len = HasParam && Param > 0 ? Param : 0;
            FPos = std::min(FData.size(), FPos + Len);
            return;
        }
        if (FSt.Dest == TDest::Skip)
            return;
        if (W == "fonttbl") {
            FSt.Dest = TDest::FontTable;
            return;
        }
        if (W == "colortbl") {
            FSt.Dest = TDest::ColourTable;
            FColour = TColourEntry {};
            return;
        }
        if (IsSkippedDestination(W)) {
            FSt.Dest = TDest::Skip;
            return;
        }
        if (FSt.Dest == TDest::FontTable) {
            if (W == "f") {
                EndFontEntry();
                FFontNumber = Param;
                FInFontEntry = true;
                FFontName.clear();
                FFontCodePage = 0;
            } else if (W == "fcharset") {
                FFontCodePage = CodePageOfCharset(Param);
            } else if (W == "cpg") {
                FFontCodePage = Param;
            }
            return;
        }
        if (FSt.Dest == TDest::ColourTable) {
            const int V = std::clamp(Param, 0, 255);
            if (W == "red")
                FColour.R = V, FColour.Automatic = false;
            else if (W == "green")
                FColour.G = V, FColour.Automatic = false;
            else if (W == "blue")
                FColour.B = V, FColour.Automatic = false;
            return;
        }
        // Text destination.
        if (W == "par" || W == "line" || W == "sect" || W == "page" || W == "row") {
            Paragraph();
        } else if (W == "tab" || W == "cell") {
            Character(QChar(u'\t'));
        } else if (W == "u") {
            int V = Param;
            if (V < 0)
                V += 65536;
            Character(QChar(static_cast<char16_t>(V & 0xFFFF)));
            FFallback = FSt.Uc;
        } else if (W == "uc") {
            FSt.Uc = std::clamp(Param, 0, 16);
        } else if (W == "f") {
            FSt.Font = std::max(Param, 0);
        } else if (W == "fs") {
            FSt.HalfPoints = HasParam ? std::clamp(Param, 0, 3276) : 24;
        } else if (W == "cf") {
            FSt.Fg = std::max(Param, 0);
        } else if (W == "highlight" || W == "cb") {
            FSt.Bg = std::max(Param, 0);
        } else if (W == "b") {
            FSt.Bold = !HasParam || Param != 0;
        } else if (W == "i") {
            FSt.Italic = !HasParam || Param != 0;
        } else if (W == "ul") {
            FSt.Underline = !HasParam || Param != 0;
        } else if (W == "ulnone") {
            FSt.Underline = false;
        } else if (W == "plain") {
            FSt.Plain();
        } else if (W == "deff") {
            FDefaultFont = std::max(Param, 0);
        } else if (W == "ansicpg") {
            FCodePage = Param;
        } else if (W == "mac") {
            FCodePage = 10000;
        } else if (W == "pc") {
            FCodePage = 437;
        } else if (W == "pca") {
            FCodePage = 850;
        } else if (W == "emdash") {
            Character(QChar(0x2014));
        } else if (W == "endash") {
            Character(QChar(0x2013));
        } else if (W == "bullet") {
            Character(QChar(0x2022));
        } else if (W == "lquote") {
            Character(QChar(0x2018));
        } else if (W == "rquote") {
            Character(QChar(0x2019));
        } else if (W == "ldblquote") {
            Character(QChar(0x201C));
        } else if (W == "rdblquote") {
            Character(QChar(0x201D));
        } else if (W == "emspace") {
            Character(QChar(0x2003));
        } else if (W == "enspace") {
            Character(QChar(0x2002));
        }
    }

    // A literal byte of the input, decoded in the code page in force.
    void Byte(char C)
    {
        if (FSt.Dest == TDest::Skip)
            return;
        if (FSt.Dest == TDest::ColourTable) {
            if (C == ';') {
                FColours.push_back(FColour);
                FColour = TColourEntry {};
            }
            return;
        }
        if (FSt.Dest == TDest::FontTable) {
            if (C == ';')
                EndFontEntry();
            else if (FInFontEntry && FFontName.size() < 256)
                FFontName.append(C);
            return;
        }
        if (FFallback > 0) {
            --FFallback;
            return;
        }
        if (static_cast<unsigned char>(C) < 0x80) {
            FlushBytes();
            Character(QChar(static_cast<char16_t>(static_cast<unsigned char>(C))));
        } else {
            FPending.append(C);
        }
    }

    // \'hh: one byte of a possibly multi-byte character in the code page in force.
    void HexByte(char C)
    {
        if (FSt.Dest == TDest::Text) {
            if (FFallback > 0) {
                --FFallback;
                return;
            }
            FPending.append(C);
        } else {
            Byte(C);
        }
    }

    void FlushBytes()
    {
        if (FPending.isEmpty())
            return;
        const QString S = FDecoders.Decode(CurrentCodePage(), FPending);
        FPending.clear();
        for (QChar Ch : S)
            Character(Ch);
    }

    int CurrentCodePage() const
    {
        const int F = FSt.Font >= 0 ? FSt.Font : FDefaultFont;
        auto It = FFonts.find(F);
        if (It != FFonts.end() && It->CodePage != 0)
            return It->CodePage;
        return FCodePage;
    }

    void EndFontEntry()
    {
        if (!FInFontEntry)
            return;
        FInFontEntry = false;
        TFontEntry E;
        E.CodePage = FFontCodePage;
        E.Name = FDecoders.Decode(FFontCodePage ? FFontCodePage : FCodePage, FFontName).trimmed();
        FFonts.insert(FFontNumber, E);
        FFontName.clear();
    }

    void Character(QChar Ch)
    {
        if (FSt.Dest != TDest::Text)
            return;
        if (!FRun.isEmpty() && (!FSt.SameRun(FRunState) || (FKeep >= 0 && FRun.size() > FKeep)))
            FlushRun();
        if (FRun.isEmpty())
            FRunState = FSt;
        FRun.append(Ch);
    }

    void Paragraph()
    {
        FlushBytes();
        FFallback = 0;
        if (FSt.Dest != TDest::Text)
            return;
        Character(QChar(u'\n'));
    }

    void FlushRun()
    {
        if (FRun.isEmpty())
            return;
        if (FKeep < 0) {
            FCursor.insertText(FRun, FormatOf(FRunState));
            FRun.clear();
            return;
        }
        // Only the runs that hold the last keep characters are kept.
        int Format = 0;
        while (Format < int(FKeptStates.size()) && !FKeptStates[size_t(Format)].SameRun(FRunState))
            ++Format;
        if (Format == int(FKeptStates.size())) {
            FKeptStates.push_back(FRunState);
            FKeptFormats.push_back(FormatOf(FRunState));
        }
        for (const QChar Ch : FRun) {
            // "\r\n" is one line break in the document.
            if (!(Ch == u'\n' && !FKeptText.isEmpty() && FKeptText.back() == u'\r'))
                ++FKeptLength;
            FKeptText.append(Ch);
        }
        FRun.clear();
        if (!FKept.empty() && FKept.back().Format == Format)
            FKept.back().End = FKeptText.size();
        else
            FKept.push_back(TKeptRun {FKeptText.size(), Format});
        if (FKeptLength > FKeep + FKeep / 4)
            DropFront();
    }

    // Drops the front of the kept text down to keep characters of the document.
    void DropFront()
    {
        qsizetype Drop = 0;
        while (FKeptLength > FKeep) {
            if (!(FKeptText[Drop] == u'\r' && Drop + 1 < FKeptText.size() && FKeptText[Drop + 1] == u'\n'))
                --FKeptLength;
            ++Drop;
        }
        FKeptText.remove(0, Drop);
        while (!FKept.empty() && FKept.front().End <= Drop)
            FKept.pop_front();
        for (TKeptRun &R : FKept)
            R.End -= Drop;
    }

    QTextCharFormat FormatOf(const TGroupState &S) const
    {
        QTextCharFormat F;
        const int FontNo = S.Font >= 0 ? S.Font : FDefaultFont;
        auto It = FFonts.find(FontNo);
        if (It != FFonts.end() && !It->Name.isEmpty()) {
            F.setFontFamilies(QStringList {It->Name});
        } else if (FBaseFormat.hasProperty(QTextFormat::FontFamilies)) {
            F.setFontFamilies(FBaseFormat.fontFamilies().toStringList());
        }
        if (S.HalfPoints > 0)
            F.setFontPointSize(S.HalfPoints / 2.0);
        if (const TColourEntry *C = ColourAt(S.Fg))
            F.setForeground(QColor(C->R, C->G, C->B));
        if (S.Bg > 0)
            if (const TColourEntry *C = ColourAt(S.Bg))
                F.setBackground(QColor(C->R, C->G, C->B));
        if (S.Bold)
            F.setFontWeight(QFont::Bold);
        if (S.Italic)
            F.setFontItalic(true);
        if (S.Underline)
            F.setFontUnderline(true);
        return F;
    }

    const TColourEntry *ColourAt(int Index) const
    {
        if (Index < 0 || Index >= static_cast<int>(FColours.size()))
            return nullptr;
        const TColourEntry &C = FColours[static_cast<size_t>(Index)];
        return C.Automatic ? nullptr : &C;
    }

    static bool IsPlain(char C) { return C >= 0x20 && C < 0x7F && C != '\\' && C != '{' && C != '}'; }
    static bool IsLetter(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); }
    static bool IsDigit(char C) { return C >= '0' && C <= '9'; }
    static int HexValue(char C)
    {
        if (C >= '0' && C <= '9')
            return C - '0';
        if (C >= 'a' && C <= 'f')
            return C - 'a' + 10;
        if (C >= 'A' && C <= 'F')
            return C - 'A' + 10;
        return -1;
    }

    QTextCursor &FCursor;
    QByteArrayView FData;
    qsizetype FKeep;
    QString FKeptText;
    qsizetype FKeptLength = 0;  // characters of FKeptText in the document
    std::deque<TKeptRun> FKept;
    std::vector<TGroupState> FKeptStates;
    std::vector<QTextCharFormat> FKeptFormats;
    qsizetype FPos = 0;
    bool FStarted = false;
    bool FDone = false;
    size_t FOverflow = 0;
    std::vector<TGroupState> FStack;
    TGroupState FSt;
    int FFallback = 0;
    int FCodePage = 1252;
    int FDefaultFont = 0;
    QHash<int, TFontEntry> FFonts;
    int FFontNumber = 0;
    int FFontCodePage = 0;
    bool FInFontEntry = false;
    QByteArray FFontName;
    std::vector<TColourEntry> FColours;
    TColourEntry FColour;
    QByteArray FPending;
    QString FRun;
    TGroupState FRunState;
    QTextCharFormat FBaseFormat;
    TDecoders FDecoders;
};

}  // namespace

bool IsRtf(QByteArrayView Data)
{
    qsizetype I = 0;
    if (Data.startsWith("\xEF\xBB\xBF"))
        I = 3;
    while (I < Data.size() && (Data[I] == ' ' || Data[I] == '\t' || Data[I] == '\r' || Data[I] == '\n'))
        ++I;
    return Data.sliced(I).startsWith("{\\rtf");
}

void InsertRtf(QTextCursor &Cursor, QByteArrayView Data, qsizetype Keep)
{
    Cursor.beginEditBlock();
    Cursor.removeSelectedText();
    TReader(Cursor, Data, Keep).Run();
    Cursor.endEditBlock();
}

QString DecodePlainText(QByteArrayView Data)
{
    QStringDecoder Utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString S = Utf8.decode(Data);
    if (!Utf8.hasError()) {
        if (S.startsWith(QChar(0xFEFF)))
            S.remove(0, 1);
        return S;
    }
    return QString::fromLatin1(Data.data(), Data.size());
}

void TUtf8Check::Add(QByteArrayView Piece)
{
    if (!FValid || Piece.isEmpty())
        return;
    // A character cut at the end of the piece is checked whole with the next.
    const QByteArray Joined = FCarry + Piece.toByteArray();
    qsizetype End = Joined.size();
    qsizetype Lead = End - 1;
    while (Lead > 0 && Lead > End - 4 && (static_cast<unsigned char>(Joined[Lead]) & 0xC0) == 0x80)
        --Lead;
    const auto C = static_cast<unsigned char>(Joined[Lead]);
    const int Need = C < 0x80 ? 1 : (C >> 5) == 6 ? 2 : (C >> 4) == 14 ? 3 : (C >> 3) == 30 ? 4 : 1;
    if (End - Lead < Need)
        End = Lead;
    FCarry = Joined.sliced(End);
    QStringDecoder Utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString Ignored = Utf8.decode(QByteArrayView(Joined).first(End));
    FValid = !Utf8.hasError();
}

bool TUtf8Check::Valid()
{
    if (FValid && !FCarry.isEmpty()) {
        QStringDecoder Utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString Ignored = Utf8.decode(FCarry);
        FValid = !Utf8.hasError();
        FCarry.clear();
    }
    return FValid;
}

QString DecodePlainTail(QByteArrayView Tail, bool AtStart, bool Utf8, qsizetype Keep)
{
    QString S;
    if (!Utf8) {
        S = QString::fromLatin1(Tail.data(), Tail.size());
    } else if (AtStart) {
        S = DecodePlainText(Tail);
    } else {
        qsizetype From = 0;
        while (From < Tail.size() && (static_cast<unsigned char>(Tail[From]) & 0xC0) == 0x80)
            ++From;
        S = QString::fromUtf8(Tail.sliced(From));
    }
    // The last keep characters of the document, where "\r\n" is one.
    qsizetype From = S.size();
    for (qsizetype N = 0; From > 0 && N < Keep; ++N) {
        --From;
        if (S[From] == u'\n' && From > 0 && S[From - 1] == u'\r')
            --From;
    }
    S.remove(0, From);
    return S;
}

qsizetype DocumentLength(QStringView Text)
{
    qsizetype N = Text.size();
    for (qsizetype I = 1; I < Text.size(); ++I)
        if (Text[I] == u'\n' && Text[I - 1] == u'\r')
            --N;
    return N;
}

void InsertFileContent(QTextCursor &Cursor, QByteArrayView Data, qsizetype Keep)
{
    if (IsRtf(Data)) {
        InsertRtf(Cursor, Data, Keep);
        return;
    }
    Cursor.beginEditBlock();
    if (Keep < 0 || Data.size() <= Keep) {
        Cursor.insertText(DecodePlainText(Data));
    } else {
        TUtf8Check Check;
        for (qsizetype At = 0; At < Data.size(); At += qsizetype(1) << 20)
            Check.Add(Data.sliced(At, std::min(Data.size() - At, qsizetype(1) << 20)));
        const bool Utf8 = Check.Valid();
        // Mostly one byte a character: more is read only when that was short.
        QString Text;
        for (qsizetype Bytes = std::min(Data.size(), Keep + 3);; Bytes = std::min(Data.size(), 2 * Bytes)) {
            Text = QString();
            Text = DecodePlainTail(Data.last(Bytes), Bytes == Data.size(), Utf8, Keep);
            if (Bytes == Data.size() || DocumentLength(Text) >= Keep)
                break;
        }
        Cursor.insertText(Text);
    }
    Cursor.endEditBlock();
}
