#include "RtfReader.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QStringDecoder>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <deque>
#include <utility>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

// Deeper groups are still balanced by counting but do not get a state of their
// own, so hostile nesting costs neither stack nor much memory.
constexpr size_t kMaxDepth = 256;
constexpr int kMaxWordLength = 32;

enum class Dest : uint8_t { Text, FontTable, ColourTable, Skip };

struct GroupState {
  int font = -1;        // \f number; -1: the document's default font (\deff)
  int halfPoints = 0;   // \fs; 0: no size given
  int fg = 0;           // \cf index; 0: automatic colour
  int bg = 0;           // \highlight or \cb index; 0: none
  int uc = 1;           // fallback characters after \uN
  bool bold = false;
  bool italic = false;
  bool underline = false;
  Dest dest = Dest::Text;

  bool sameRun(const GroupState &o) const {
    return font == o.font && halfPoints == o.halfPoints && fg == o.fg && bg == o.bg &&
           bold == o.bold && italic == o.italic && underline == o.underline;
  }
  void plain() {
    font = -1;
    halfPoints = 0;
    fg = 0;
    bg = 0;
    bold = italic = underline = false;
  }
};

struct FontEntry {
  QString name;
  int codePage = 0;  // 0: the document's code page
};

struct ColourEntry {
  bool automatic = true;
  int r = 0, g = 0, b = 0;
};

int CodePageOfCharset(int charset) {
  switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0;  // ANSI, default, symbol: the document's code page
  }
}

// Windows-1252, the usual code page of RTF files, needs no converter.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

class Decoders {
 public:
  QString decode(int codePage, QByteArrayView bytes) {
    if (codePage == 1252 || codePage == 0) {
      QString s;
      s.reserve(bytes.size());
      for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        s.append(QChar(u >= 0x80 && u < 0xA0 ? kCp1252High[u - 0x80] : char16_t(u)));
      }
      return s;
    }
    QStringDecoder *dec = decoder(codePage);
    if (!dec) return QString::fromLatin1(bytes.data(), bytes.size());
    dec->resetState();
    QString s = dec->decode(bytes);
    s += dec->decode(QByteArrayView());
    return s;
  }

 private:
  QStringDecoder *decoder(int codePage) {
    auto it = cache_.find(codePage);
    if (it != cache_.end()) return it->second.get();
    QByteArray name;
    switch (codePage) {
      case 10000: name = "macintosh"; break;
      case 437: name = "IBM437"; break;
      case 850: name = "IBM850"; break;
      case 932: name = "Shift_JIS"; break;
      case 936: name = "GBK"; break;
      case 949: name = "windows-949"; break;
      case 950: name = "Big5"; break;
      case 65001: name = "UTF-8"; break;
      default: name = "windows-" + QByteArray::number(codePage); break;
    }
    auto dec = std::make_unique<QStringDecoder>(name.constData(), QStringConverter::Flag::Stateless);
    if (!dec->isValid()) dec.reset();
    QStringDecoder *raw = dec.get();
    cache_.emplace(codePage, std::move(dec));
    return raw;
  }
  std::unordered_map<int, std::unique_ptr<QStringDecoder>> cache_;
};

bool IsSkippedDestination(QByteArrayView w) {
  static const char *const kSkip[] = {
      "stylesheet", "info", "pict", "object", "objdata", "header", "headerl", "headerr",
      "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation",
      "xe", "tc", "txe", "rxe", "nonshppict", "listtable", "listoverridetable",
      "revtbl", "rsidtbl", "fldinst", "themedata", "colorschememapping", "latentstyles",
      "datastore", "xmlnstbl", "generator", "author", "operator", "title", "subject",
      "keywords", "comment", "doccomm", "creatim", "revtim", "printim", "buptim",
      "private", "filetbl", "pgdsctbl", "bkmkstart", "bkmkend", "atnid", "atnauthor"};
  for (const char *s : kSkip)
    if (w == QByteArrayView(s)) return true;
  return false;
}

class Reader {
 public:
  Reader(QTextCursor &cursor, QByteArrayView data, qsizetype keep)
      : cursor_(cursor), data_(data), keep_(keep) {
    baseFormat_ = cursor.charFormat();
  }

  void run() {
    const qsizetype n = data_.size();
    while (pos_ < n && !done_) {
      const char c = data_[pos_];
      if (c == '{') {
        ++pos_;
        openGroup();
      } else if (c == '}') {
        ++pos_;
        closeGroup();
      } else if (c == '\\') {
        ++pos_;
        controlSequence();
      } else if (c == '\r' || c == '\n') {
        ++pos_;
      } else if (IsPlain(c) && started_ && st_.dest == Dest::Text && fallback_ == 0 && pending_.isEmpty()) {
        // A stretch of plain text, taken whole.
        qsizetype end = pos_ + 1;
        while (end < n && IsPlain(data_[end])) ++end;
        if (!run_.isEmpty() && !st_.sameRun(runState_)) flushRun();
        if (run_.isEmpty()) runState_ = st_;
        run_.append(QLatin1StringView(data_.sliced(pos_, end - pos_)));
        pos_ = end;
        if (keep_ >= 0 && run_.size() > keep_) flushRun();
      } else {
        ++pos_;
        if (started_ && (static_cast<unsigned char>(c) >= 0x20 || c == '\t')) byte(c);
      }
    }
    flushBytes();
    flushRun();
    qsizetype start = 0;
    for (const KeptRun &r : kept_) {
      cursor_.insertText(QStringView(keptText_).sliced(start, r.end - start).toString(), keptFormats_[r.format]);
      start = r.end;
    }
    kept_.clear();
  }

 private:
  // With a keep limit, the text read so far that may still be kept: one
  // string, and the runs' ends in it with their formats.
  struct KeptRun {
    qsizetype end;
    int format;
  };

  void openGroup() {
    flushBytes();
    fallback_ = 0;
    if (!started_) {
      started_ = true;
      return;  // the document group itself
    }
    if (stack_.size() >= kMaxDepth) {
      ++overflow_;
      return;
    }
    stack_.push_back(st_);
  }

  void closeGroup() {
    flushBytes();
    fallback_ = 0;
    if (!started_) return;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (stack_.empty()) {
      done_ = true;  // the document group closed: what follows is not RTF
      return;
    }
    if (st_.dest == Dest::FontTable) endFontEntry();
    st_ = stack_.back();
    stack_.pop_back();
  }

  void controlSequence() {
    const qsizetype n = data_.size();
    if (pos_ >= n) return;
    const char c = data_[pos_];
    if (!IsLetter(c)) {
      ++pos_;
      controlSymbol(c);
      return;
    }
    const qsizetype start = pos_;
    while (pos_ < n && IsLetter(data_[pos_])) ++pos_;
    QByteArrayView word = data_.sliced(start, std::min<qsizetype>(pos_ - start, kMaxWordLength));
    bool hasParam = false;
    bool negative = false;
    int64_t value = 0;
    if (pos_ < n && data_[pos_] == '-' && pos_ + 1 < n && IsDigit(data_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    while (pos_ < n && IsDigit(data_[pos_])) {
      hasParam = true;
      if (value < INT32_MAX) value = value * 10 + (data_[pos_] - '0');  // saturates below
      ++pos_;
    }
    if (pos_ < n && data_[pos_] == ' ') ++pos_;
    value = std::min<int64_t>(value, INT32_MAX);
    const int param = static_cast<int>(negative ? -value : value);
    if (!started_) return;
    controlWord(word, hasParam, param);
  }

  void controlSymbol(char c) {
    if (!started_) return;
    switch (c) {
      case '\'': {
        const qsizetype n = data_.size();
        int hi = pos_ < n ? HexValue(data_[pos_]) : -1;
        int lo = pos_ + 1 < n ? HexValue(data_[pos_ + 1]) : -1;
        if (hi < 0 || lo < 0) return;
        pos_ += 2;
        hexByte(static_cast<char>(hi * 16 + lo));
        return;
      }
      case '\\':
      case '{':
      case '}': byte(c); return;
      case '~': character(QChar(0x00A0)); return;
      case '-': character(QChar(0x00AD)); return;
      case '_': character(QChar(0x2011)); return;
      case '*':
        // An ignorable destination: nothing we read lives in one.
        flushBytes();
        st_.dest = Dest::Skip;
        return;
      case '\r':
      case '\n': paragraph(); return;
      default: return;  // \| \: and unknown symbols carry no text here
    }
  }

  void controlWord(QByteArrayView w, bool hasParam, int param) {
    flushBytes();
    if (w == "bin") {  // binary data, skipped in every destination
      const qsizetype len = hasParam && param > 0 ? param : 0;
      pos_ = std::min(data_.size(), pos_ + len);
      return;
    }
    if (st_.dest == Dest::Skip) return;
    if (w == "fonttbl") {
      st_.dest = Dest::FontTable;
      return;
    }
    if (w == "colortbl") {
      st_.dest = Dest::ColourTable;
      colour_ = ColourEntry{};
      return;
    }
    if (IsSkippedDestination(w)) {
      st_.dest = Dest::Skip;
      return;
    }
    if (st_.dest == Dest::FontTable) {
      if (w == "f") {
        endFontEntry();
        fontNumber_ = param;
        inFontEntry_ = true;
        fontName_.clear();
        fontCodePage_ = 0;
      } else if (w == "fcharset") {
        fontCodePage_ = CodePageOfCharset(param);
      } else if (w == "cpg") {
        fontCodePage_ = param;
      }
      return;
    }
    if (st_.dest == Dest::ColourTable) {
      const int v = std::clamp(param, 0, 255);
      if (w == "red") colour_.r = v, colour_.automatic = false;
      else if (w == "green") colour_.g = v, colour_.automatic = false;
      else if (w == "blue") colour_.b = v, colour_.automatic = false;
      return;
    }
    // Text destination.
    if (w == "par" || w == "line" || w == "sect" || w == "page" || w == "row") {
      paragraph();
    } else if (w == "tab" || w == "cell") {
      character(QChar(u'\t'));
    } else if (w == "u") {
      int v = param;
      if (v < 0) v += 65536;
      character(QChar(static_cast<char16_t>(v & 0xFFFF)));
      fallback_ = st_.uc;
    } else if (w == "uc") {
      st_.uc = std::clamp(param, 0, 16);
    } else if (w == "f") {
      st_.font = std::max(param, 0);
    } else if (w == "fs") {
      st_.halfPoints = hasParam ? std::clamp(param, 0, 3276) : 24;
    } else if (w == "cf") {
      st_.fg = std::max(param, 0);
    } else if (w == "highlight" || w == "cb") {
      st_.bg = std::max(param, 0);
    } else if (w == "b") {
      st_.bold = !hasParam || param != 0;
    } else if (w == "i") {
      st_.italic = !hasParam || param != 0;
    } else if (w == "ul") {
      st_.underline = !hasParam || param != 0;
    } else if (w == "ulnone") {
      st_.underline = false;
    } else if (w == "plain") {
      st_.plain();
    } else if (w == "deff") {
      defaultFont_ = std::max(param, 0);
    } else if (w == "ansicpg") {
      codePage_ = param;
    } else if (w == "mac") {
      codePage_ = 10000;
    } else if (w == "pc") {
      codePage_ = 437;
    } else if (w == "pca") {
      codePage_ = 850;
    } else if (w == "emdash") {
      character(QChar(0x2014));
    } else if (w == "endash") {
      character(QChar(0x2013));
    } else if (w == "bullet") {
      character(QChar(0x2022));
    } else if (w == "lquote") {
      character(QChar(0x2018));
    } else if (w == "rquote") {
      character(QChar(0x2019));
    } else if (w == "ldblquote") {
      character(QChar(0x201C));
    } else if (w == "rdblquote") {
      character(QChar(0x201D));
    } else if (w == "emspace") {
      character(QChar(0x2003));
    } else if (w == "enspace") {
      character(QChar(0x2002));
    }
  }

  // A literal byte of the input, decoded in the code page in force.
  void byte(char c) {
    if (st_.dest == Dest::Skip) return;
    if (st_.dest == Dest::ColourTable) {
      if (c == ';') {
        colours_.push_back(colour_);
        colour_ = ColourEntry{};
      }
      return;
    }
    if (st_.dest == Dest::FontTable) {
      if (c == ';') endFontEntry();
      else if (inFontEntry_ && fontName_.size() < 256) fontName_.append(c);
      return;
    }
    if (fallback_ > 0) {
      --fallback_;
      return;
    }
    if (static_cast<unsigned char>(c) < 0x80) {
      flushBytes();
      character(QChar(static_cast<char16_t>(static_cast<unsigned char>(c))));
    } else {
      pending_.append(c);
    }
  }

  // \'hh: one byte of a possibly multi-byte character in the code page in force.
  void hexByte(char c) {
    if (st_.dest == Dest::Text) {
      if (fallback_ > 0) {
        --fallback_;
        return;
      }
      pending_.append(c);
    } else {
      byte(c);
    }
  }

  void flushBytes() {
    if (pending_.isEmpty()) return;
    const QString s = decoders_.decode(currentCodePage(), pending_);
    pending_.clear();
    for (QChar ch : s) character(ch);
  }

  int currentCodePage() const {
    const int f = st_.font >= 0 ? st_.font : defaultFont_;
    auto it = fonts_.find(f);
    if (it != fonts_.end() && it->codePage != 0) return it->codePage;
    return codePage_;
  }

  void endFontEntry() {
    if (!inFontEntry_) return;
    inFontEntry_ = false;
    FontEntry e;
    e.codePage = fontCodePage_;
    e.name = decoders_.decode(fontCodePage_ ? fontCodePage_ : codePage_, fontName_).trimmed();
    fonts_.insert(fontNumber_, e);
    fontName_.clear();
  }

  void character(QChar ch) {
    if (st_.dest != Dest::Text) return;
    if (!run_.isEmpty() && (!st_.sameRun(runState_) || (keep_ >= 0 && run_.size() > keep_))) flushRun();
    if (run_.isEmpty()) runState_ = st_;
    run_.append(ch);
  }

  void paragraph() {
    flushBytes();
    fallback_ = 0;
    if (st_.dest != Dest::Text) return;
    character(QChar(u'\n'));
  }

  void flushRun() {
    if (run_.isEmpty()) return;
    if (keep_ < 0) {
      cursor_.insertText(run_, formatOf(runState_));
      run_.clear();
      return;
    }
    // Only the runs that hold the last keep characters are kept.
    int format = 0;
    while (format < int(keptStates_.size()) && !keptStates_[size_t(format)].sameRun(runState_)) ++format;
    if (format == int(keptStates_.size())) {
      keptStates_.push_back(runState_);
      keptFormats_.push_back(formatOf(runState_));
    }
    for (const QChar ch : run_) {
      // "\r\n" is one line break in the document.
      if (!(ch == u'\n' && !keptText_.isEmpty() && keptText_.back() == u'\r')) ++keptLength_;
      keptText_.append(ch);
    }
    run_.clear();
    if (!kept_.empty() && kept_.back().format == format) kept_.back().end = keptText_.size();
    else kept_.push_back(KeptRun{keptText_.size(), format});
    if (keptLength_ > keep_ + keep_ / 4) dropFront();
  }

  // Drops the front of the kept text down to keep characters of the document.
  void dropFront() {
    qsizetype drop = 0;
    while (keptLength_ > keep_) {
      if (!(keptText_[drop] == u'\r' && drop + 1 < keptText_.size() && keptText_[drop + 1] == u'\n')) --keptLength_;
      ++drop;
    }
    keptText_.remove(0, drop);
    while (!kept_.empty() && kept_.front().end <= drop) kept_.pop_front();
    for (KeptRun &r : kept_) r.end -= drop;
  }

  QTextCharFormat formatOf(const GroupState &s) const {
    QTextCharFormat f;
    const int fontNo = s.font >= 0 ? s.font : defaultFont_;
    auto it = fonts_.find(fontNo);
    if (it != fonts_.end() && !it->name.isEmpty()) {
      f.setFontFamilies(QStringList{it->name});
    } else if (baseFormat_.hasProperty(QTextFormat::FontFamilies)) {
      f.setFontFamilies(baseFormat_.fontFamilies().toStringList());
    }
    if (s.halfPoints > 0) f.setFontPointSize(s.halfPoints / 2.0);
    if (const ColourEntry *c = colourAt(s.fg)) f.setForeground(QColor(c->r, c->g, c->b));
    if (s.bg > 0)
      if (const ColourEntry *c = colourAt(s.bg)) f.setBackground(QColor(c->r, c->g, c->b));
    if (s.bold) f.setFontWeight(QFont::Bold);
    if (s.italic) f.setFontItalic(true);
    if (s.underline) f.setFontUnderline(true);
    return f;
  }

  const ColourEntry *colourAt(int index) const {
    if (index < 0 || index >= static_cast<int>(colours_.size())) return nullptr;
    const ColourEntry &c = colours_[static_cast<size_t>(index)];
    return c.automatic ? nullptr : &c;
  }

  static bool IsPlain(char c) { return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}'; }
  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  QTextCursor &cursor_;
  QByteArrayView data_;
  qsizetype keep_;
  QString keptText_;
  qsizetype keptLength_ = 0;  // characters of keptText_ in the document
  std::deque<KeptRun> kept_;
  std::vector<GroupState> keptStates_;
  std::vector<QTextCharFormat> keptFormats_;
  qsizetype pos_ = 0;
  bool started_ = false;
  bool done_ = false;
  size_t overflow_ = 0;
  std::vector<GroupState> stack_;
  GroupState st_;
  int fallback_ = 0;
  int codePage_ = 1252;
  int defaultFont_ = 0;
  QHash<int, FontEntry> fonts_;
  int fontNumber_ = 0;
  int fontCodePage_ = 0;
  bool inFontEntry_ = false;
  QByteArray fontName_;
  std::vector<ColourEntry> colours_;
  ColourEntry colour_;
  QByteArray pending_;
  QString run_;
  GroupState runState_;
  QTextCharFormat baseFormat_;
  Decoders decoders_;
};

}  // namespace

bool IsRtf(QByteArrayView data) {
  qsizetype i = 0;
  if (data.startsWith("\xEF\xBB\xBF")) i = 3;
  while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
    ++i;
  return data.sliced(i).startsWith("{\\rtf");
}

void InsertRtf(QTextCursor &cursor, QByteArrayView data, qsizetype keep) {
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  Reader(cursor, data, keep).run();
  cursor.endEditBlock();
}

QString DecodePlainText(QByteArrayView data) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString s = utf8.decode(data);
  if (!utf8.hasError()) {
    if (s.startsWith(QChar(0xFEFF))) s.remove(0, 1);
    return s;
  }
  return QString::fromLatin1(data.data(), data.size());
}

void Utf8Check::add(QByteArrayView piece) {
  if (!valid_ || piece.isEmpty()) return;
  // A character cut at the end of the piece is checked whole with the next.
  const QByteArray joined = carry_ + piece.toByteArray();
  qsizetype end = joined.size();
  qsizetype lead = end - 1;
  while (lead > 0 && lead > end - 4 && (static_cast<unsigned char>(joined[lead]) & 0xC0) == 0x80) --lead;
  const auto c = static_cast<unsigned char>(joined[lead]);
  const int need = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (end - lead < need) end = lead;
  carry_ = joined.sliced(end);
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString ignored = utf8.decode(QByteArrayView(joined).first(end));
  valid_ = !utf8.hasError();
}

bool Utf8Check::valid() {
  if (valid_ && !carry_.isEmpty()) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = utf8.decode(carry_);
    valid_ = !utf8.hasError();
    carry_.clear();
  }
  return valid_;
}

QString DecodePlainTail(QByteArrayView tail, bool atStart, bool utf8, qsizetype keep) {
  QString s;
  if (!utf8) {
    s = QString::fromLatin1(tail.data(), tail.size());
  } else if (atStart) {
    s = DecodePlainText(tail);
  } else {
    qsizetype from = 0;
    while (from < tail.size() && (static_cast<unsigned char>(tail[from]) & 0xC0) == 0x80) ++from;
    s = QString::fromUtf8(tail.sliced(from));
  }
  // The last keep characters of the document, where "\r\n" is one.
  qsizetype from = s.size();
  for (qsizetype n = 0; from > 0 && n < keep; ++n) {
    --from;
    if (s[from] == u'\n' && from > 0 && s[from - 1] == u'\r') --from;
  }
  s.remove(0, from);
  return s;
}

qsizetype DocumentLength(QStringView text) {
  qsizetype n = text.size();
  for (qsizetype i = 1; i < text.size(); ++i)
    if (text[i] == u'\n' && text[i - 1] == u'\r') --n;
  return n;
}

void InsertFileContent(QTextCursor &cursor, QByteArrayView data, qsizetype keep) {
  if (IsRtf(data)) {
    InsertRtf(cursor, data, keep);
    return;
  }
  cursor.beginEditBlock();
  if (keep < 0 || data.size() <= keep) {
    cursor.insertText(DecodePlainText(data));
  } else {
    Utf8Check check;
    for (qsizetype at = 0; at < data.size(); at += qsizetype(1) << 20)
      check.add(data.sliced(at, std::min(data.size() - at, qsizetype(1) << 20)));
    const bool utf8 = check.valid();
    // Mostly one byte a character: more is read only when that was short.
    QString text;
    for (qsizetype bytes = std::min(data.size(), keep + 3);; bytes = std::min(data.size(), 2 * bytes)) {
      text = QString();
      text = DecodePlainTail(data.last(bytes), bytes == data.size(), utf8, keep);
      if (bytes == data.size() || DocumentLength(text) >= keep) break;
    }
    cursor.insertText(text);
  }
  cursor.endEditBlock();
}
