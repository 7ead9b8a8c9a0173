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

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static int argc = 1;
  static char name[] = "RtfReaderFuzz";
  static char *argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  new QGuiApplication(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QTextDocument doc;
  QTextCursor cursor(&doc);
  InsertFileContent(cursor, QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));

  const QByteArray rtf = WriteRtf(doc);
  QTextDocument again;
  QTextCursor cursor2(&again);
  InsertRtf(cursor2, rtf);
  if (doc.toRawText() != again.toRawText()) {
    std::fprintf(stderr, "round trip changed the text\n");
    std::abort();
  }
  return 0;
}
