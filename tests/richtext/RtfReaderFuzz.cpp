// Feeds arbitrary bytes to the RTF reader (as a file load would), then checks
// that what was read survives a write and a second read unchanged.
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int Argc = 1;
    static char Name[] = "RtfReaderFuzz";
    static char *Argv[] = {Name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(Argc, Argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTextDocument Doc;
    QTextCursor Cursor(&Doc);
    InsertFileContent(Cursor, QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));

    const QByteArray Rtf = WriteRtf(Doc);
    QTextDocument Again;
    QTextCursor Cursor2(&Again);
    InsertRtf(Cursor2, Rtf);
    if (Doc.toRawText() != Again.toRawText()) {
        std::fprintf(stderr, "round trip changed the text\n");
        std::abort();
    }
    return 0;
}
