// A copy of a document's text for searching it: one byte per character, kept
// up to date from the document's changes, so that a search through a day of
// traffic reads about 40 MB of bytes instead of building each of 120,000
// lines as a string first.
//
// Character c of the document is byte c when c < 256, a line break
// (U+2029) is '\n', and any other character is Other; the copy holds the
// document's final line break too, so byte i is document position i. A match
// that involves Other is checked against the document itself.
#pragma once

#include <QObject>
#include <QStringView>

#include <string>

class QTextDocument;

class TTextMirror : public QObject {
    Q_OBJECT
public:
    // The byte of a character beyond Latin-1 (ASCII's "substitute").
    static constexpr char Other = 0x1A;

    // Copies the document now and follows its changes from now on.
    explicit TTextMirror(QTextDocument *Doc);

    // Position of the first occurrence of what at or after from, or -1.
    // Without matchCase, ASCII letters match either case (and no others). An
    // occurrence never spans a line break.
    int Find(QStringView What, int From, bool MatchCase) const;

    // Bytes held (the document's characters plus one).
    qsizetype Size() const { return static_cast<qsizetype>(FText.size()); }
    // True when the copy equals the document's text (for tests: it reads all).
    bool Matches() const;

private:
    void Change(int From, int Removed, int Added);
    void Read(int From, int To, char *Out) const;
    void Rebuild() const;
    bool Verify(QStringView What, int At, bool MatchCase) const;

    QTextDocument *FDoc;
    mutable std::string FText;
    // Set when a change could not be applied (Qt reported a range that does
    // not fit); the next search copies the document again.
    mutable bool FStale = true;
};
