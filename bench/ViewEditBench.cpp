// The editing side of the rich-text view, each figure from a process of its
// own (peak memory is per process):
//
//   ViewEditBench load MB plain|rtf new|old
//     Loads a generated file of MB mebibytes (received-looking lines) into a
//     view with the default character bound: time, peak resident memory
//     (VmHWM) and what the view holds. "old" does what loading did before it
//     was bounded: read the whole file, insert all of it, then trim.
//   ViewEditBench count MCHARS
//     A selection of MCHARS million characters: time to count it for the
//     cursor report by copying it (as before) and in place, hex and
//     characters.
#include "RichView.h"
#include "RtfReader.h"
#include "SendClass.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>

#include <cstdio>

namespace {

long PeakKb() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray &line : f.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return 0;
}

QByteArray Line(int i, bool rtf) {
  const QByteArray data = QByteArray::number(i % 100000).rightJustified(5, '0') + " 01 02 03 04 05 06 07 08 09 0A";
  return rtf ? "\\cf2 [10:00:00 ---] \\cf1 " + data + "\\par\n" : "[10:00:00 ---] " + data + "\r\n";
}

int Load(qint64 mebibytes, bool rtf, bool old) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("big"));
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return 1;
    QByteArray chunk;
    if (rtf) f.write("{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue200;\\red128\\green128\\blue128;}\n");
    for (int i = 0; f.size() < mebibytes << 20; ++i) {
      chunk += Line(i, rtf);
      if (chunk.size() > (1 << 20)) f.write(std::exchange(chunk, QByteArray()));
    }
    f.write(chunk);
    if (rtf) f.write("}");
  }
  const long before = PeakKb();
  TRichView v;
  QElapsedTimer t;
  t.start();
  if (old) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 1;
    const QByteArray data = f.readAll();
    QTextCursor c(v.document());
    InsertFileContent(c, data);
    v.setMaxLength(TRichView::kCharacterBound);  // the trim after the insert
  } else {
    v.loadFile(path);
  }
  std::printf("load %s %lld MiB (%s): %lld ms, peak RSS %ld MB before, %ld MB after; view holds %d characters, "
              "%d lines\n",
              rtf ? "rtf" : "plain", static_cast<long long>(QFile(path).size() >> 20), old ? "old: all, then trim" : "bounded",
              static_cast<long long>(t.elapsed()), before / 1024, PeakKb() / 1024, v.textLength(), v.lineCount());
  return 0;
}

int Count(int millions) {
  TRichView v;
  QString text;
  for (int i = 0; text.size() < millions * 1'000'000; ++i) text += QString::fromLatin1(Line(i, false));
  v.append(text);
  v.flushUpdates();
  v.setSelection(0, v.textLength());
  for (const bool hex : {false, true}) {
    QElapsedTimer t;
    t.start();
    const int copied = SelectionSize(v.selText(), hex);
    const qint64 copyMs = t.elapsed();
    t.restart();
    int inPlace = 0;
    if (hex) {
      THexByteCounter counter;
      v.visitSelection([&counter](QStringView piece) { counter.Add(piece); });
      inPlace = counter.Bytes();
    } else {
      inPlace = v.selLength();
    }
    std::printf("count %s, %d characters selected: copied %lld ms (%d), in place %lld us (%d)\n",
                hex ? "hex" : "chars", v.selLength(), static_cast<long long>(copyMs), copied,
                static_cast<long long>(t.nsecsElapsed() / 1000), inPlace);
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() >= 5 && args[1] == QLatin1String("load"))
    return Load(args[2].toLongLong(), args[3] == QLatin1String("rtf"), args[4] == QLatin1String("old"));
  if (args.size() >= 3 && args[1] == QLatin1String("count")) return Count(args[2].toInt());
  std::fprintf(stderr, "usage: ViewEditBench load MB plain|rtf new|old | count MCHARS\n");
  return 2;
}
