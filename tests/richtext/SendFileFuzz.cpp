// The "send" file as the send view loads it at start: any bytes, read whole
// and read with the view's bound (only the last characters kept, as a long
// file is read). The bounded read must give the end of the whole read, at
// least as much of it as was asked for; UTF-8 checked in two pieces must
// decide as in one.
#include "RtfReader.h"

#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int Argc = 1;
    static char Name[] = "SendFileFuzz";
    static char *Argv[] = {Name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(Argc, Argv);
    return 0;
}

namespace {
QString Read(QByteArrayView File, qsizetype Keep)
{
    QTextDocument Doc;
    QTextCursor Cursor(&Doc);
    InsertFileContent(Cursor, File, Keep);
    return Doc.toPlainText();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 2)
        return 0;
    // Two bytes choose the bound (small, so that it cuts) and where the
    // UTF-8 check is split; the rest is the file.
    const qsizetype Keep = qsizetype(Data[0] | (Data[1] << 8)) % 2048;
    const QByteArrayView File(reinterpret_cast<const char *>(Data) + 2, qsizetype(Size) - 2);

    const QString Whole = Read(File, -1);
    const QString Kept = Read(File, Keep);
    if (!Whole.endsWith(Kept) || Kept.size() < std::min(Keep, Whole.size())) {
        std::fprintf(stderr, "the bounded read (keep %lld) is not the end of the whole read: %lld of %lld\n",
            qlonglong(Keep), qlonglong(Kept.size()), qlonglong(Whole.size()));
        std::abort();
    }

    const qsizetype Split = File.isEmpty() ? 0 : qsizetype(Data[0]) % File.size();
    TUtf8Check One, Two;
    One.Add(File);
    Two.Add(File.first(Split));
    Two.Add(File.sliced(Split));
    if (One.Valid() != Two.Valid()) {
        std::fprintf(stderr, "UTF-8 check split at %lld decides otherwise\n", qlonglong(Split));
        std::abort();
    }
    return 0;
}
