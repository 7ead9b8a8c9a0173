// The receive view under a monitor's load, in a real window (run it under
// Xvfb: xvfb-run -s "-screen 0 1280x1024x24" build/bench/RichViewBench).
//
// 1. 300-character lines, one per 1 ms tick, at 1k, 10k, 60k and 120k lines:
//    lines per second, time per append, event-loop stalls; memory per held
//    character; line count; deleting the first 20,000 of 120,000 lines; RTF
//    save and reload of the 120,000 lines.
// 2. Appending 90,000-character lines past the character bound: the trims.
// 3. A 90,000-character line every 100 ms (a fast hex stream), word wrap off
//    and on: stalls, and whether every line arrived. The same run on a plain
//    QPlainTextEdit batched the same way is the baseline that shows the cost
//    of painting long lines whole.
#include "RichView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kGrey(128, 128, 128);
const QColor kBlue(0x00, 0x00, 0xC8);

long RssBytes() {
  QFile f(QStringLiteral("/proc/self/statm"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> parts = f.readAll().split(' ');
  return parts.size() > 1 ? parts[1].toLong() * 4096 : 0;
}

QString HexData(int chars, int seed) {
  static const char hex[] = "0123456789ABCDEF";
  QString s;
  s.reserve(chars + 1);
  for (int i = 0; s.size() + 3 <= chars; ++i) {
    const int b = (seed * 31 + i * 7) & 0xFF;
    s += QLatin1Char(hex[b >> 4]);
    s += QLatin1Char(hex[b & 15]);
    s += QLatin1Char(' ');
  }
  while (s.size() < chars) s += QLatin1Char('0');
  return s;
}

QString Tag(int n) {
  return QStringLiteral("[14:%1:%2 %3 Rx] ")
      .arg(n / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(n % 60, 2, 10, QLatin1Char('0'))
      .arg(n % 1000, 3);
}

struct Stalls {
  double p50 = 0, p99 = 0, max = 0;
};

Stalls Percentiles(std::vector<double> gaps) {
  Stalls s;
  if (gaps.empty()) return s;
  std::sort(gaps.begin(), gaps.end());
  s.p50 = gaps[gaps.size() / 2];
  s.p99 = gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
  s.max = gaps.back();
  return s;
}

// Runs the event loop for ms milliseconds with a 1 ms precise timer calling
// tick(); returns the gaps between firings (ms).
std::vector<double> RunTicks(int ms, const std::function<void()> &tick) {
  std::vector<double> gaps;
  QElapsedTimer clock;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  timer.setInterval(1);
  qint64 last = -1;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (last >= 0) gaps.push_back((now - last) / 1e6);
    last = now;
    tick();
  });
  clock.start();
  timer.start();
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  timer.stop();
  return gaps;
}

// A plain QPlainTextEdit appended to and repainted the way TRichView does it,
// but painting every line whole.
class Baseline : public QPlainTextEdit {
 public:
  Baseline() {
    setUndoRedoEnabled(false);
    setLineWrapMode(NoWrap);
    timer_.setSingleShot(true);
    timer_.setInterval(TRichView::kRepaintMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      batching_ = false;
      setUpdatesEnabled(true);
      verticalScrollBar()->setValue(verticalScrollBar()->maximum());
      repaint();
    });
  }
  void appendLine(const QString &tag, const QString &data) {
    QTextCharFormat g, b;
    g.setForeground(kGrey);
    b.setForeground(kBlue);
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    c.insertText(tag, g);
    c.insertText(data + QLatin1Char('\n'), b);
    c.endEditBlock();
    if (!batching_) {
      batching_ = true;
      setUpdatesEnabled(false);
      timer_.start();
    }
  }

 private:
  QTimer timer_;
  bool batching_ = false;
};

void Show(QWidget &w) {
  w.resize(1000, 700);
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) std::printf("window not exposed\n");
}

void LongLines(const char *name, QPlainTextEdit &view, bool wrap, const std::function<void(const QString &, const QString &)> &append) {
  view.setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  Show(view);
  const QString data = HexData(90000, 7);
  QElapsedTimer clock;
  clock.start();
  int appended = 0;
  const int seconds = 6;
  std::vector<double> gaps = RunTicks(seconds * 1000, [&] {
    if (clock.elapsed() >= appended * 100 && appended < seconds * 10) {
      append(Tag(appended), data);
      ++appended;
    }
  });
  const Stalls s = Percentiles(gaps);
  if (qEnvironmentVariableIsSet("BENCH_TRACE")) {
    double at = 0;
    for (double g : gaps) {
      at += g;
      if (g > 50) std::printf("    stall %.0f ms at %.0f ms\n", g, at);
    }
  }
  // Count the lines that arrived (the last block is the empty one after the last break).
  const int shown = view.document()->blockCount() - 1;
  std::printf("  %-34s wrap %-3s  lines %3d/%3d  ticks %5zu  stall p50 %5.1f  p99 %6.1f  max %6.1f ms\n", name,
              wrap ? "on" : "off", shown, appended, gaps.size(), s.p50, s.p99, s.max);
  view.hide();
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  std::printf("Rich view benchmark (platform %s)\n", qPrintable(QGuiApplication::platformName()));

  const bool onlyLong = argc > 1 && QByteArray(argv[1]) == "long";
  // --- 1. 300-character lines ---
  if (!onlyLong) {
    TRichView view;
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(12);
    view.setFont(font);
    Show(view);
    QApplication::processEvents();
    const long rssBefore = RssBytes();
    std::vector<QString> datas;
    for (int i = 0; i < 16; ++i) datas.push_back(HexData(300, i) + QLatin1Char('\n'));
    int n = 0;
    auto appendOne = [&] {
      view.append({{Tag(n), kGrey}, {datas[static_cast<size_t>(n % 16)], kBlue}});
      ++n;
    };
    std::printf("\n300-character lines, one per 1 ms tick, window 1000x700, wrap off:\n");
    for (int checkpoint : {1000, 10000, 60000, 120000}) {
      while (n < checkpoint - 1500) {  // fill quickly, letting the batched repaints run
        appendOne();
        if (n % 500 == 0) QApplication::processEvents();
      }
      double appendNs = 0;
      int appends = 0;
      QElapsedTimer t;
      std::vector<double> gaps = RunTicks(2000, [&] {
        if (n >= checkpoint) return;
        t.start();
        appendOne();
        appendNs += static_cast<double>(t.nsecsElapsed());
        ++appends;
      });
      // Lines per second over the ticks that appended.
      const size_t used = std::min(gaps.size(), static_cast<size_t>(appends));
      double spent = 0;
      for (size_t i = 0; i < used; ++i) spent += gaps[i];
      gaps.resize(used);
      const Stalls s = Percentiles(gaps);
      std::printf("  at %6d lines: %5.0f lines/s  append %6.1f us  stall p50 %4.1f  p99 %5.1f  max %5.1f ms\n",
                  checkpoint, spent > 0 ? used * 1000.0 / spent : 0.0, appends ? appendNs / appends / 1000 : 0.0,
                  s.p50, s.p99, s.max);
    }
    view.flushUpdates();
    QApplication::processEvents();
    const long rssAfter = RssBytes();
    std::printf("  memory: %.2f bytes per held character (%d lines, %d characters, RSS +%.0f MB)\n",
                double(rssAfter - rssBefore) / view.textLength(), view.lineCount() - 1, view.textLength(),
                (rssAfter - rssBefore) / 1e6);
    std::printf("  undo steps kept: %d\n", view.document()->availableUndoSteps());

    QElapsedTimer t;
    t.start();
    volatile long sum = 0;
    for (int i = 0; i < 1000000; ++i) sum = sum + view.lineCount();
    std::printf("  line count: %.1f ns per call\n", t.nsecsElapsed() / 1e6);

    while (n < 120001) appendOne();
    t.restart();
    view.deleteFirstLines(20000);
    const double del = t.nsecsElapsed() / 1e6;
    view.flushUpdates();
    std::printf("  deleting the first 20,000 of %d lines: %.1f ms\n", n, del);
    while (n < 120000 + 20000) appendOne();  // back to 120,000 lines

    t.restart();
    const QByteArray rtf = view.toRtf();
    const double save = t.nsecsElapsed() / 1e6;
    t.restart();
    view.loadData(rtf);
    const double load = t.nsecsElapsed() / 1e6;
    t.restart();
    view.flushUpdates();
    QApplication::processEvents();
    std::printf("  RTF of %d lines (%.1f MB): save %.0f ms, reload %.0f ms (shown after %.0f ms more)\n",
                view.lineCount() - 1, rtf.size() / 1e6, save, load, t.nsecsElapsed() / 1e6);
  }

  // --- 2. The character bound: a stream of 90,000-character lines past it ---
  {
    TRichView view;
    Show(view);
    const QString data = HexData(90000, 3) + QLatin1Char('\n');
    const long rssBefore = RssBytes();
    double worst = 0, trimWorst = 0;
    int trims = 0;
    QElapsedTimer t;
    for (int i = 0; i < 1200; ++i) {
      const int before = view.textLength();
      t.start();
      view.append({{Tag(i), kGrey}, {data, kBlue}});
      const double ms = t.nsecsElapsed() / 1e6;
      if (view.textLength() < before) {
        ++trims;
        trimWorst = std::max(trimWorst, ms);
      } else {
        worst = std::max(worst, ms);
      }
      if (i % 20 == 0) QApplication::processEvents();
    }
    view.flushUpdates();
    QApplication::processEvents();
    std::printf("\nCharacter bound %d: 1,200 lines of 90,000 characters appended, %d characters held, %d trims;\n"
                "  append %.1f ms at most, %.1f ms at most with a trim; %.2f bytes per held character\n",
                view.characterBound(), view.textLength(), trims, worst, trimWorst,
                double(RssBytes() - rssBefore) / view.textLength());
  }

  // --- 3. 90,000-character lines every 100 ms ---
  std::printf("\n90,000-character line every 100 ms, 1 ms tick, 6 s:\n");
  for (bool wrap : {false, true}) {
    {
      TRichView view;
      LongLines("TRichView (sliced long lines)", view, wrap, [&](const QString &tag, const QString &data) {
        view.append({{tag, kGrey}, {data + QLatin1Char('\n'), kBlue}});
      });
    }
    {
      Baseline base;
      LongLines("baseline QPlainTextEdit, same batch", base, wrap,
                [&](const QString &tag, const QString &data) { base.appendLine(tag, data); });
    }
  }
  return 0;
}
