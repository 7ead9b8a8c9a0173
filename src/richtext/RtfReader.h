// Reading rich-text (RTF) documents and fragments into a QTextDocument.
//
// The reader takes what our own writer produces, what common editors write
// (code-page documents with font and colour tables, \uN with \ucN, ignorable
// destinations, \bin) and fragments whose outermost group is never closed.
// Malformed input never fails: it is read as far as it makes sense, with group
// nesting bounded without recursion, numbers saturated and unknown control
// words ignored.
#pragma once

#include <QByteArrayView>
#include <QString>

class QTextCursor;

// True when the data starts (after blanks or a UTF-8 byte-order mark) with "{\rtf".
bool IsRtf(QByteArrayView Data);

// Inserts an RTF document or fragment at the cursor, replacing its selection,
// as one edit step. Runs keep their fonts, sizes, colours, bold, italic and
// underline; a run without a font size takes the document's default size.
// "\par" and "\line" start a new paragraph; the text after the last paragraph
// mark continues the cursor's paragraph (so a fragment without "\par" stays on
// its line).
// With keep >= 0, only the last keep characters of the text (as the document
// counts them: "\r\n" is one) are inserted and held while reading, or a few
// more: the text before them may be left out.
void InsertRtf(QTextCursor &Cursor, QByteArrayView Data, qsizetype Keep = -1);

// Decodes a file that is not RTF: UTF-8 when it is valid UTF-8, else Latin-1,
// so that every byte value survives as one character.
QString DecodePlainText(QByteArrayView Data);

// Whether data, handed over in pieces, is valid UTF-8 (as DecodePlainText
// decides), without keeping it.
class TUtf8Check {
public:
    void Add(QByteArrayView Piece);
    bool Valid();  // after the last piece

private:
    QByteArray FCarry;  // a character cut at the end of the last piece
    bool FValid = true;
};

// The last keep characters (as the document counts them: "\r\n" is one) of
// a plain-text file whose last bytes are tail (the whole file when atStart),
// decoded as DecodePlainText decodes the whole file (utf8: the file is valid
// UTF-8), or fewer when the tail is too short. A tail that starts inside a
// character skips its rest.
QString DecodePlainTail(QByteArrayView Tail, bool AtStart, bool Utf8, qsizetype Keep);
// Characters of text as the document counts them ("\r\n" is one).
qsizetype DocumentLength(QStringView Text);

// Inserts a file's content at the cursor: as RTF when it is RTF, otherwise as
// plain text in the cursor's character format.
// With keep >= 0, at least the last keep characters (as the document counts
// them) are inserted, and the text before them may be left out.
void InsertFileContent(QTextCursor &Cursor, QByteArrayView Data, qsizetype Keep = -1);
