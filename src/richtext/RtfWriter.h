// Writing a QTextDocument as an RTF 1.x document.
#pragma once

#include <QByteArray>

class QTextDocument;

// The whole document as RTF: a font table and a colour table, then every run
// with its font, size, colours, bold, italic and underline. Runs without a font
// or size of their own are written with the document's default font. Every
// character comes back identical through InsertRtf: printable ASCII as itself,
// 0xA0..0xFF as \'hh (Windows-1252 agrees with Latin-1 there), everything
// else, control characters and code 0 included, as \uN. Paragraphs are
// separated by \par, with no \par after the last one.
QByteArray WriteRtf(const QTextDocument &Doc);
