#include "TextMirror.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

char ByteOf(char16_t C)
{
    if (C < 0x100)
        return static_cast<char>(C);
    return C == 0x2029 ? '\n' : TTextMirror::Other;
}

char16_t AsciiUpper(char16_t C)
{
    return C >= u'a' && C <= u'z' ? char16_t(C - 32) : C;
}

struct TFolds {
    std::array<unsigned char, 256> Same {}, Upper {};
    TFolds()
    {
        for (int C = 0; C < 256; ++C) {
            Same[C] = static_cast<unsigned char>(C);
            Upper[C] = static_cast<unsigned char>(C >= 'a' && C <= 'z' ? C - 32 : C);
        }
    }
};

const TFolds &Folds()
{
    static const TFolds Tables;
    return Tables;
}

}  // namespace

TTextMirror::TTextMirror(QTextDocument *Doc) : QObject(Doc), FDoc(Doc)
{
    connect(Doc, &QTextDocument::contentsChange, this, &TTextMirror::Change);
    Rebuild();
}

// Characters [from, to) of the document into out, one byte each.
void TTextMirror::Read(int From, int To, char *Out) const
{
    for (QTextBlock B = FDoc->findBlock(From); B.isValid() && B.position() < To; B = B.next()) {
        const int Break = B.position() + B.length() - 1;
        if (Break > From) {
            // Only the runs in range: a long line that grows by a slice at a
            // time is not read whole for each slice.
            for (QTextBlock::iterator It = B.begin(); !It.atEnd(); ++It) {
                const QTextFragment F = It.fragment();
                const int Start = F.position(), End = Start + F.length();
                if (End <= From)
                    continue;
                if (Start >= To)
                    break;
                const int First = std::max(Start, From), Last = std::min(End, To);
                // A fragment grows with a line of one colour (a long line is
                // one fragment): copying it whole for each slice would cost
                // the line's length every time, so a small part of a large
                // fragment is read character by character.
                if (F.length() > 4 * (Last - First) + 256) {
                    for (int P = First; P < Last; ++P)
                        Out[P - From] = ByteOf(char16_t(FDoc->characterAt(P).unicode()));
                    continue;
                }
                const QString S = F.text();
                const char16_t *Chars = reinterpret_cast<const char16_t *>(S.constData());
                for (int P = First; P < Last; ++P)
                    Out[P - From] = ByteOf(Chars[P - Start]);
            }
        }
        if (Break >= From && Break < To)
            Out[Break - From] = '\n';
    }
}

void TTextMirror::Rebuild() const
{
    const QString Raw = FDoc->toRawText();  // all but the final line break
    std::string Text(static_cast<size_t>(Raw.size()) + 1, '\n');
    const char16_t *Chars = reinterpret_cast<const char16_t *>(Raw.constData());
    for (qsizetype I = 0; I < Raw.size(); ++I)
        Text[static_cast<size_t>(I)] = ByteOf(Chars[I]);
    FText = std::move(Text);
    FStale = false;
}

void TTextMirror::Change(int From, int Removed, int Added)
{
    if (FStale)
        return;
    const qsizetype Count = FDoc->characterCount();
    const qsizetype Old = Size();
    if (From < 0 || Removed < 0 || Added < 0 || From + qsizetype(Removed) > Old || Old - Removed + Added != Count) {
        FStale = true;
        FText = std::string();
        return;
    }
    const auto At = static_cast<size_t>(From);
    if (Removed > Added)
        FText.erase(At + static_cast<size_t>(Added), static_cast<size_t>(Removed - Added));
    else if (Added > Removed)
        FText.insert(At + static_cast<size_t>(Removed), static_cast<size_t>(Added - Removed), Other);
    if (Added > 0)
        Read(From, From + Added, FText.data() + At);
}

bool TTextMirror::Verify(QStringView What, int At, bool MatchCase) const
{
    for (qsizetype I = 0; I < What.size(); ++I) {
        char16_t D = FDoc->characterAt(At + static_cast<int>(I)).unicode();
        char16_t W = What[I].unicode();
        if (!MatchCase) {
            D = AsciiUpper(D);
            W = AsciiUpper(W);
        }
        if (D != W)
            return false;
    }
    return true;
}

int TTextMirror::Find(QStringView What, int From, bool MatchCase) const
{
    if (What.isEmpty() || From < 0)
        return -1;
    if (FStale || Size() != FDoc->characterCount())
        Rebuild();
    const auto &Fold = MatchCase ? Folds().Same : Folds().Upper;
    const size_t M = static_cast<size_t>(What.size());
    std::string Needle(M, '\0');
    bool Check = false;  // the needle holds Other: a byte match may be another character
    for (size_t I = 0; I < M; ++I) {
        const char B = ByteOf(What[static_cast<qsizetype>(I)].unicode());
        if (B == '\n')
            return -1;
        Check = Check || B == Other;
        Needle[I] = static_cast<char>(Fold[static_cast<unsigned char>(B)]);
    }
    const auto *T = reinterpret_cast<const unsigned char *>(FText.data());
    const auto *P = reinterpret_cast<const unsigned char *>(Needle.data());
    const size_t N = FText.size();
    const auto Candidate = [&](size_t At) {
        for (size_t I = 1; I + 1 < M; ++I)
            if (Fold[T[At + I]] != P[I])
                return false;
        return !Check || Verify(What, static_cast<int>(At), MatchCase);
    };
    size_t At = static_cast<size_t>(From);
#if defined(__SSE2__)
    // Sixteen places at a time: those whose first and last bytes match the
    // needle's (in either case) are compared in full.
    const auto Either = [](unsigned char C, bool Cased) {
        const bool Letter = C >= 'A' && C <= 'Z';
        return std::pair {
            _mm_set1_epi8(static_cast<char>(C)), _mm_set1_epi8(static_cast<char>(Letter && !Cased ? C + 32 : C))};
    };
    const auto [First1, First2] = Either(P[0], MatchCase);
    const auto [Last1, Last2] = Either(P[M - 1], MatchCase);
    for (; At + M - 1 + 16 <= N; At += 16) {
        const __m128i A = _mm_loadu_si128(reinterpret_cast<const __m128i *>(T + At));
        const __m128i B = _mm_loadu_si128(reinterpret_cast<const __m128i *>(T + At + M - 1));
        const __m128i Hits = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(A, First1), _mm_cmpeq_epi8(A, First2)),
            _mm_or_si128(_mm_cmpeq_epi8(B, Last1), _mm_cmpeq_epi8(B, Last2)));
        for (unsigned Mask = static_cast<unsigned>(_mm_movemask_epi8(Hits)); Mask != 0; Mask &= Mask - 1) {
            const size_t Hit = At + static_cast<size_t>(std::countr_zero(Mask));
            if (Candidate(Hit))
                return static_cast<int>(Hit);
        }
    }
#endif
    for (; At + M <= N; ++At) {
        if (Fold[T[At]] == P[0] && Fold[T[At + M - 1]] == P[M - 1] && Candidate(At))
            return static_cast<int>(At);
    }
    return -1;
}

bool TTextMirror::Matches() const
{
    if (FStale)
        return false;
    const std::string Kept = FText;
    Rebuild();
    return Kept == FText;
}
