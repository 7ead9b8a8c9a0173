// Writing a QTextDocument as an RTF 1.x document.
#pragma once

#include <QByteArray>

#include <memory>

class QTextDocument;

// What WriteRtf needs of a document, copied where the document lives, so
// that the RTF can be made on another thread while the document goes on
// changing: the text, its runs, and the runs' properties already resolved.
// The copy can be made a slice at a time between other work: of a document
// that only grows at its end meanwhile, it is the document as it was when the
// copy began.
class TRtfSnapshot {
public:
    // The whole document, at once.
    explicit TRtfSnapshot(const QTextDocument &Doc);
    // Begins a copy of the lines before position end (a line start, or the
    // end of the text); CopyMore() copies them. Written, it is what WriteRtf
    // gave for the document cut at end.
    TRtfSnapshot(const QTextDocument &Doc, int End);
    // Copies about chars characters more; true when the copy is whole. The
    // document must not have changed before end since the copy began.
    bool CopyMore(const QTextDocument &Doc, int Chars);
    // Moves the lines copied so far into a piece of their own, so that a
    // long copy is written while it is made and never held whole.
    TRtfSnapshot TakePiece();
    // Characters copied and not taken.
    qsizetype Characters() const;

    struct TData;
    std::shared_ptr<TData> Data;

private:
    TRtfSnapshot() = default;
};

// Writes a copy as RTF a piece at a time, on any thread: Begin(), the pieces
// taken from the copy in order, then End() are what WriteRtf gives of the
// whole copy.
class TRtfPieceWriter {
public:
    // The copy's font and colour tables, taken where the copy is made.
    explicit TRtfPieceWriter(const TRtfSnapshot &Copy);
    ~TRtfPieceWriter();
    QByteArray Begin() const;
    QByteArray Piece(const TRtfSnapshot &Piece);
    static QByteArray End();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

// The whole document as RTF: a font table and a colour table, then every run
// with its font, size, colours, bold, italic and underline. Runs without a font
// or size of their own are written with the document's default font. Every
// character comes back identical through InsertRtf: printable ASCII as itself,
// 0xA0..0xFF as \'hh (Windows-1252 agrees with Latin-1 there), everything
// else, control characters and code 0 included, as \uN. Paragraphs are
// separated by \par, with no \par after the last one.
QByteArray WriteRtf(const QTextDocument &Doc);
// The same of a whole copy, on any thread.
QByteArray WriteRtf(const TRtfSnapshot &Snapshot);
