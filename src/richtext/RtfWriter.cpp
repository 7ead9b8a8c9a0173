#include "RtfWriter.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct RunProps {
  int font = 0;
  int halfPoints = 0;
  int fg = 0;  // colour table index, 0: automatic
  int bg = 0;  // colour table index, 0: none
  bool bold = false;
  bool italic = false;
  bool underline = false;
};

class Tables {
 public:
  int font(const QString &name) {
    auto it = fonts_.constFind(name);
    if (it != fonts_.constEnd()) return *it;
    const int n = static_cast<int>(fontNames_.size());
    fonts_.insert(name, n);
    fontNames_.push_back(name);
    return n;
  }
  int colour(QRgb rgb) {
    rgb &= 0xFFFFFF;
    auto it = colours_.constFind(rgb);
    if (it != colours_.constEnd()) return *it;
    colourList_.push_back(rgb);
    const int n = static_cast<int>(colourList_.size());  // index 0 is "automatic"
    colours_.insert(rgb, n);
    return n;
  }
  void write(QByteArray &out) const {
    out += "{\\fonttbl";
    for (size_t i = 0; i < fontNames_.size(); ++i) {
      out += "{\\f" + QByteArray::number(static_cast<int>(i)) + "\\fnil\\fcharset0 ";
      AppendText(out, fontNames_[i]);
      out += ";}";
    }
    out += "}\r\n{\\colortbl ;";
    for (QRgb c : colourList_) {
      out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) +
             "\\blue" + QByteArray::number(qBlue(c)) + ';';
    }
    out += "}\r\n";
  }

  static void AppendText(QByteArray &out, QStringView text);

 private:
  QHash<QString, int> fonts_;
  std::vector<QString> fontNames_;
  QHash<QRgb, int> colours_;
  std::vector<QRgb> colourList_;
};

// One character as RTF; every Latin-1 code is handled by a table.
struct Escapes {
  QByteArray code[256];
  Escapes() {
    static const char hex[] = "0123456789abcdef";
    for (int c = 0; c < 256; ++c) {
      if (c == '\\' || c == '{' || c == '}') {
        code[c] = QByteArray("\\") + char(c);
      } else if (c == '\t') {
        code[c] = "\\tab ";
      } else if (c >= 0x20 && c < 0x7F) {
        code[c] = QByteArray(1, char(c));
      } else if (c >= 0xA0) {
        code[c] = QByteArray("\\'") + hex[c >> 4] + hex[c & 15];
      } else {
        code[c] = "\\u" + QByteArray::number(c) + "\\'3f";
      }
    }
  }
};

const Escapes &EscapeTable() {
  static const Escapes table;
  return table;
}

void Tables::AppendText(QByteArray &out, QStringView text) {
  // Written through a pointer: this runs for every character of a file that
  // can hold tens of millions of them.
  constexpr qsizetype kWidest = 12;  // "\\u-32768\\'3f"
  const qsizetype start = out.size();
  const qsizetype need = start + text.size() * kWidest;
  if (out.capacity() < need) out.reserve(std::max(need, out.capacity() * 2));
  out.resize(need);
  char *p = out.data() + start;
  const Escapes &esc = EscapeTable();
  for (QChar ch : text) {
    const char16_t u = ch.unicode();
    if (u >= 0x20 && u < 0x7F && u != '\\' && u != '{' && u != '}') {
      *p++ = static_cast<char>(u);
    } else if (u < 256) {
      const QByteArray &code = esc.code[u];
      std::memcpy(p, code.constData(), static_cast<size_t>(code.size()));
      p += code.size();
    } else {
      const QByteArray code = "\\u" + QByteArray::number(u > 32767 ? int(u) - 65536 : int(u)) +
                              "\\'3f";  // the fallback as an escape: some readers drop a word after a bare '?'
      std::memcpy(p, code.constData(), static_cast<size_t>(code.size()));
      p += code.size();
    }
  }
  out.resize(p - out.constData());
}

RunProps PropsOf(const QTextCharFormat &f, Tables &tables, const QFont &defaultFont) {
  RunProps p;
  QString family;
  const QStringList families = f.fontFamilies().toStringList();
  if (!families.isEmpty()) family = families.first();
  if (family.isEmpty()) family = defaultFont.family();
  p.font = tables.font(family);
  qreal points = 0;
  if (f.hasProperty(QTextFormat::FontPointSize)) points = f.fontPointSize();
  else if (f.hasProperty(QTextFormat::FontPixelSize)) points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
  if (points <= 0) {
    points = defaultFont.pointSizeF();
    if (points <= 0 && defaultFont.pixelSize() > 0) points = defaultFont.pixelSize() * 0.75;
  }
  p.halfPoints = points > 0 ? static_cast<int>(std::lround(points * 2)) : 0;
  if (f.foreground().style() != Qt::NoBrush) p.fg = tables.colour(f.foreground().color().rgb());
  if (f.background().style() != Qt::NoBrush) p.bg = tables.colour(f.background().color().rgb());
  p.bold = f.fontWeight() >= QFont::DemiBold;
  p.italic = f.fontItalic();
  p.underline = f.fontUnderline();
  return p;
}

// Control words for the properties that differ from the previous run.
void AppendChanges(QByteArray &out, const RunProps &prev, const RunProps &p) {
  const qsizetype before = out.size();
  if (p.font != prev.font) out += "\\f" + QByteArray::number(p.font);
  if (p.halfPoints != prev.halfPoints && p.halfPoints > 0) out += "\\fs" + QByteArray::number(p.halfPoints);
  if (p.fg != prev.fg) out += "\\cf" + QByteArray::number(p.fg);
  if (p.bg != prev.bg) out += "\\highlight" + QByteArray::number(p.bg);
  if (p.bold != prev.bold) out += p.bold ? "\\b" : "\\b0";
  if (p.italic != prev.italic) out += p.italic ? "\\i" : "\\i0";
  if (p.underline != prev.underline) out += p.underline ? "\\ul" : "\\ulnone";
  if (out.size() != before) out += ' ';
}

}  // namespace

QByteArray WriteRtf(const QTextDocument &doc) {
  const QFont defaultFont = doc.defaultFont();
  Tables tables;
  tables.font(defaultFont.family());

  // Properties per character format, resolved once: a document of 100,000
  // lines uses only a handful of formats.
  const QList<QTextFormat> formats = doc.allFormats();
  std::vector<RunProps> props(static_cast<size_t>(formats.size()));
  for (qsizetype i = 0; i < formats.size(); ++i) {
    if (formats[i].isCharFormat()) props[static_cast<size_t>(i)] = PropsOf(formats[i].toCharFormat(), tables, defaultFont);
  }

  QByteArray body;
  body.reserve(doc.characterCount() + doc.blockCount() * 16 + 1024);
  RunProps prev;  // what a reader assumes before the first run, but no font yet
  prev.font = -1;
  prev.halfPoints = -1;
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    if (block != doc.begin()) body += "\\par\r\n";
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.isValid()) continue;
      const int idx = frag.charFormatIndex();
      const RunProps &p = idx >= 0 && static_cast<size_t>(idx) < props.size() ? props[static_cast<size_t>(idx)] : prev;
      AppendChanges(body, prev, p);
      prev = p;
      Tables::AppendText(body, frag.text());
    }
  }

  QByteArray out;
  out.reserve(body.size() + 4096);
  out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n";
  tables.write(out);
  out += "{\\*\\generator Tallyscope;}\\viewkind4\\pard\\plain\r\n";
  out += body;
  out += "}\r\n";
  return out;
}
