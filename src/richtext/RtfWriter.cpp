#include "RtfWriter.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {

struct TRunProps {
    int Font = 0;
    int HalfPoints = 0;
    int Fg = 0;  // colour table index, 0: automatic
    int Bg = 0;  // colour table index, 0: none
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
};

class TTables {
public:
    int Font(const QString &Name)
    {
        auto It = FFonts.constFind(Name);
        if (It != FFonts.constEnd())
            return *It;
        const int N = static_cast<int>(FFontNames.size());
        FFonts.insert(Name, N);
        FFontNames.push_back(Name);
        return N;
    }
    int Colour(QRgb Rgb)
    {
        Rgb &= 0xFFFFFF;
        auto It = FColours.constFind(Rgb);
        if (It != FColours.constEnd())
            return *It;
        FColourList.push_back(Rgb);
        const int N = static_cast<int>(FColourList.size());  // index 0 is "automatic"
        FColours.insert(Rgb, N);
        return N;
    }
    void Write(QByteArray &Out) const
    {
        Out += "{\\fonttbl";
        for (size_t I = 0; I < FFontNames.size(); ++I) {
            Out += "{\\f" + QByteArray::number(static_cast<int>(I)) + "\\fnil\\fcharset0 ";
            AppendText(Out, FFontNames[I]);
            Out += ";}";
        }
        Out += "}\r\n{\\colortbl ;";
        for (QRgb C : FColourList) {
            Out += "\\red" + QByteArray::number(qRed(C)) + "\\green" + QByteArray::number(qGreen(C)) + "\\blue" +
                QByteArray::number(qBlue(C)) + ';';
        }
        Out += "}\r\n";
    }

    static void AppendText(QByteArray &Out, QStringView Text);

private:
    QHash<QString, int> FFonts;
    std::vector<QString> FFontNames;
    QHash<QRgb, int> FColours;
    std::vector<QRgb> FColourList;
};

// One character as RTF; every Latin-1 code is handled by a table.
struct TEscapes {
    QByteArray Code[256];
    TEscapes()
    {
        static const char Hex[] = "0123456789abcdef";
        for (int C = 0; C < 256; ++C) {
            if (C == '\\' || C == '{' || C == '}') {
                Code[C] = QByteArray("\\") + char(C);
            } else if (C == '\t') {
                Code[C] = "\\tab ";
            } else if (C >= 0x20 && C < 0x7F) {
                Code[C] = QByteArray(1, char(C));
            } else if (C >= 0xA0) {
                Code[C] = QByteArray("\\'") + Hex[C >> 4] + Hex[C & 15];
            } else {
                Code[C] = "\\u" + QByteArray::number(C) + "\\'3f";
            }
        }
    }
};

const TEscapes &EscapeTable()
{
    static const TEscapes Table;
    return Table;
}

void TTables::AppendText(QByteArray &Out, QStringView Text)
{
    // Written through a pointer: this runs for every character of a file that
    // can hold tens of millions of them.
    constexpr qsizetype Widest = 12;  // "\\u-32768\\'3f"
    const qsizetype Start = Out.size();
    const qsizetype Need = Start + Text.size() * Widest;
    if (Out.capacity() < Need)
        Out.reserve(std::max(Need, Out.capacity() * 2));
    Out.resize(Need);
    char *P = Out.data() + Start;
    const TEscapes &Esc = EscapeTable();
    for (QChar Ch : Text) {
        const char16_t U = Ch.unicode();
        if (U >= 0x20 && U < 0x7F && U != '\\' && U != '{' && U != '}') {
            *P++ = static_cast<char>(U);
        } else if (U < 256) {
            const QByteArray &Code = Esc.Code[U];
            std::memcpy(P, Code.constData(), static_cast<size_t>(Code.size()));
            P += Code.size();
        } else {
            const QByteArray Code = "\\u" + QByteArray::number(U > 32767 ? int(U) - 65536 : int(U)) +
                "\\'3f";  // the fallback as an escape: some readers drop a word after a bare '?'
            std::memcpy(P, Code.constData(), static_cast<size_t>(Code.size()));
            P += Code.size();
        }
    }
    Out.resize(P - Out.constData());
}

TRunProps PropsOf(const QTextCharFormat &F, TTables &Tables, const QFont &DefaultFont)
{
    TRunProps P;
    QString Family;
    const QStringList Families = F.fontFamilies().toStringList();
    if (!Families.isEmpty())
        Family = Families.first();
    if (Family.isEmpty())
        Family = DefaultFont.family();
    P.Font = Tables.Font(Family);
    qreal Points = 0;
    if (F.hasProperty(QTextFormat::FontPointSize))
        Points = F.fontPointSize();
    else if (F.hasProperty(QTextFormat::FontPixelSize))
        Points = F.intProperty(QTextFormat::FontPixelSize) * 0.75;
    if (Points <= 0) {
        Points = DefaultFont.pointSizeF();
        if (Points <= 0 && DefaultFont.pixelSize() > 0)
            Points = DefaultFont.pixelSize() * 0.75;
    }
    P.HalfPoints = Points > 0 ? static_cast<int>(std::lround(Points * 2)) : 0;
    if (F.foreground().style() != Qt::NoBrush)
        P.Fg = Tables.Colour(F.foreground().color().rgb());
    if (F.background().style() != Qt::NoBrush)
        P.Bg = Tables.Colour(F.background().color().rgb());
    P.Bold = F.fontWeight() >= QFont::DemiBold;
    P.Italic = F.fontItalic();
    P.Underline = F.fontUnderline();
    return P;
}

// Control words for the properties that differ from the previous run.
void AppendChanges(QByteArray &Out, const TRunProps &Prev, const TRunProps &P)
{
    const qsizetype Before = Out.size();
    if (P.Font != Prev.Font)
        Out += "\\f" + QByteArray::number(P.Font);
    if (P.HalfPoints != Prev.HalfPoints && P.HalfPoints > 0)
        Out += "\\fs" + QByteArray::number(P.HalfPoints);
    if (P.Fg != Prev.Fg)
        Out += "\\cf" + QByteArray::number(P.Fg);
    if (P.Bg != Prev.Bg)
        Out += "\\highlight" + QByteArray::number(P.Bg);
    if (P.Bold != Prev.Bold)
        Out += P.Bold ? "\\b" : "\\b0";
    if (P.Italic != Prev.Italic)
        Out += P.Italic ? "\\i" : "\\i0";
    if (P.Underline != Prev.Underline)
        Out += P.Underline ? "\\ul" : "\\ulnone";
    if (Out.size() != Before)
        Out += ' ';
}

}  // namespace

struct TRtfSnapshot::TData {
    // A run of Text with the properties at Format; a paragraph break where
    // Start is ParagraphBreak.
    static constexpr int ParagraphBreak = -1;
    struct TRun {
        int Start;
        int Length;
        int Format;
    };
    QByteArray Tables;  // the font and colour tables, written
    std::vector<TRunProps> Props;
    QString Text;
    std::vector<TRun> Runs;
    int End = 0;   // the copy ends here
    int Next = 0;  // the next line to copy starts here
};

namespace {

// Properties per character format, resolved once (a document of 100,000
// lines uses only a handful of formats), and the tables they fill, written.
void ResolveFormats(const QTextDocument &Doc, std::vector<TRunProps> &Props, QByteArray &TableBytes)
{
    const QFont DefaultFont = Doc.defaultFont();
    TTables Tables;
    Tables.Font(DefaultFont.family());
    const QList<QTextFormat> Formats = Doc.allFormats();
    Props.assign(static_cast<size_t>(Formats.size()), TRunProps());
    for (qsizetype I = 0; I < Formats.size(); ++I) {
        if (Formats[I].isCharFormat())
            Props[static_cast<size_t>(I)] = PropsOf(Formats[I].toCharFormat(), Tables, DefaultFont);
    }
    Tables.Write(TableBytes);
}

// Runs and paragraph breaks as RTF, each run with the control words for
// what differs from the run before.
class TRunWriter {
public:
    explicit TRunWriter(const std::vector<TRunProps> &Props) : FProps(Props)
    {
        // What a reader assumes before the first run, but no font yet.
        FPrev.Font = -1;
        FPrev.HalfPoints = -1;
    }
    static void Paragraph(QByteArray &Out) { Out += "\\par\r\n"; }
    void Run(QByteArray &Out, QStringView Text, int Idx)
    {
        const TRunProps &P =
            Idx >= 0 && static_cast<size_t>(Idx) < FProps.size() ? FProps[static_cast<size_t>(Idx)] : FPrev;
        AppendChanges(Out, FPrev, P);
        FPrev = P;
        TTables::AppendText(Out, Text);
    }

private:
    const std::vector<TRunProps> &FProps;
    TRunProps FPrev;
};

QByteArray DocumentStart(const QByteArray &Tables, qsizetype Reserve)
{
    QByteArray Out;
    Out.reserve(Tables.size() + 256 + Reserve);
    Out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n";
    Out += Tables;
    Out += "{\\*\\generator Tallyscope;}\\viewkind4\\pard\\plain\r\n";
    return Out;
}

constexpr const char *DocumentEnd = "}\r\n";

// The document around the runs that Each hands out, calling Paragraph(),
// then Run(text, format index) for each run of a line: one writer for a
// document and for a copy of it.
template <typename TEach>
QByteArray WriteRuns(const QByteArray &Tables, const std::vector<TRunProps> &Props, qsizetype Reserve, TEach Each)
{
    QByteArray Out = DocumentStart(Tables, Reserve);
    TRunWriter Writer(Props);
    Each([&] { TRunWriter::Paragraph(Out); }, [&](QStringView Text, int Idx) { Writer.Run(Out, Text, Idx); });
    Out += DocumentEnd;
    return Out;
}

}  // namespace

TRtfSnapshot::TRtfSnapshot(const QTextDocument &Doc, int End) : Data(std::make_shared<TData>())
{
    TData &D = *Data;
    ResolveFormats(Doc, D.Props, D.Tables);
    D.End = std::clamp(End, 0, Doc.characterCount() - 1);
    D.Text.reserve(D.End);
}

TRtfSnapshot::TRtfSnapshot(const QTextDocument &Doc) : TRtfSnapshot(Doc, Doc.characterCount() - 1)
{
    CopyMore(Doc, std::numeric_limits<int>::max());
}

bool TRtfSnapshot::CopyMore(const QTextDocument &Doc, int Chars)
{
    TData &D = *Data;
    int Copied = 0;
    for (QTextBlock Block = Doc.findBlock(D.Next); Block.isValid() && D.Next <= D.End && Copied < Chars;
         Block = Block.next()) {
        const int Start = Block.position();
        if (Start > 0)
            D.Runs.push_back({TData::ParagraphBreak, 0, 0});
        // The line that starts at the end is the one after the copy (or the
        // empty last line): only its break before it belongs to the copy.
        if (Start < D.End) {
            for (QTextBlock::iterator It = Block.begin(); !It.atEnd(); ++It) {
                const QTextFragment Frag = It.fragment();
                if (!Frag.isValid())
                    continue;
                D.Runs.push_back({static_cast<int>(D.Text.size()), Frag.length(), Frag.charFormatIndex()});
                D.Text += Frag.text();
            }
        }
        D.Next = Start + Block.length();
        Copied += Block.length();
    }
    return D.Next > D.End || D.Next >= Doc.characterCount();
}

qsizetype TRtfSnapshot::Characters() const
{
    return Data->Text.size();
}

TRtfSnapshot TRtfSnapshot::TakePiece()
{
    TRtfSnapshot Piece;
    Piece.Data = std::make_shared<TData>();
    Piece.Data->Text = std::exchange(Data->Text, QString());
    Piece.Data->Runs = std::exchange(Data->Runs, {});
    return Piece;
}

namespace {

// Calls Paragraph() and Run(text, format index) for the runs of a copy.
template <typename TParagraph, typename TRun>
void EachRun(const TRtfSnapshot::TData &D, const TParagraph &Paragraph, const TRun &Run)
{
    const QStringView Text(D.Text);
    for (const TRtfSnapshot::TData::TRun &R : D.Runs) {
        if (R.Start == TRtfSnapshot::TData::ParagraphBreak)
            Paragraph();
        else
            Run(Text.sliced(R.Start, R.Length), R.Format);
    }
}

}  // namespace

struct TRtfPieceWriter::TState {
    QByteArray Tables;
    std::vector<TRunProps> Props;
    TRunWriter Writer {Props};
};

TRtfPieceWriter::TRtfPieceWriter(const TRtfSnapshot &Copy) : FState(std::make_unique<TState>())
{
    FState->Tables = Copy.Data->Tables;
    FState->Props = Copy.Data->Props;
}

TRtfPieceWriter::~TRtfPieceWriter() = default;

QByteArray TRtfPieceWriter::Begin() const
{
    return DocumentStart(FState->Tables, 0);
}

QByteArray TRtfPieceWriter::Piece(const TRtfSnapshot &Piece)
{
    const TRtfSnapshot::TData &D = *Piece.Data;
    QByteArray Out;
    Out.reserve(D.Text.size() + static_cast<qsizetype>(D.Runs.size()) * 6 + 64);
    EachRun(
        D, [&] { TRunWriter::Paragraph(Out); }, [&](QStringView Text, int Idx) { FState->Writer.Run(Out, Text, Idx); });
    return Out;
}

QByteArray TRtfPieceWriter::End()
{
    return DocumentEnd;
}

QByteArray WriteRtf(const TRtfSnapshot &Snapshot)
{
    const TRtfSnapshot::TData &D = *Snapshot.Data;
    return WriteRuns(D.Tables, D.Props, D.Text.size() + static_cast<qsizetype>(D.Runs.size()) * 6 + 1024,
        [&](const auto &Paragraph, const auto &Run) { EachRun(D, Paragraph, Run); });
}

QByteArray WriteRtf(const QTextDocument &Doc)
{
    std::vector<TRunProps> Props;
    QByteArray Tables;
    ResolveFormats(Doc, Props, Tables);
    return WriteRuns(Tables, Props, Doc.characterCount() + Doc.blockCount() * 16 + 1024,
        [&](const auto &Paragraph, const auto &Run) {
            for (QTextBlock Block = Doc.begin(); Block.isValid(); Block = Block.next()) {
                if (Block != Doc.begin())
                    Paragraph();
                for (QTextBlock::iterator It = Block.begin(); !It.atEnd(); ++It) {
                    const QTextFragment Frag = It.fragment();
                    if (Frag.isValid())
                        Run(Frag.text(), Frag.charFormatIndex());
                }
            }
        });
}
