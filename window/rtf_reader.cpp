#include "window/rtf_reader.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <vector>

#include "window/qt_text.h"
#include "rds/cp1252.h"

namespace app {
namespace {

// Deeper groups than this share the state of the deepest one; real files nest a few levels.
constexpr std::size_t kMaxGroupDepth = 256;
// RTF control words are at most 32 letters and their parameters fit 32 bits; longer ones
// are read to their end but their value saturates.
constexpr std::size_t kMaxWordLength = 32;
constexpr long long kMaxParameter = 1'000'000'000;
// Lengths are in twips: 1440 per inch, and the document is laid out at 96 pixels per inch.
constexpr double kTwipsPerPixel = 1440.0 / 96.0;
constexpr int kMaxIndentTwips = 1440 * 22;
constexpr int kDefaultTabTwips = 720;
// Font sizes are in half points, kept to what a help text can use: huge glyphs make every
// line a screen high and the layout of many of them very slow.
constexpr int kDefaultHalfPoints = 24;
constexpr int kMinHalfPoints = 8;
constexpr int kMaxHalfPoints = 144;
constexpr int kMaxUnicodeSkip = 16;
// Qt lays a paragraph out whole, in time that grows faster than its length and its number
// of formatting runs. Real help paragraphs have a few hundred characters and a few runs;
// a longer one is continued in a new paragraph, and formatting changes beyond the limit
// keep the paragraph's last format, so that no input stalls the Help tab.
constexpr int kMaxParagraphChars = 4000;
constexpr int kMaxParagraphRuns = 200;

// Control words that stand for one character (RTF's special characters).
constexpr std::array<std::pair<std::string_view, char32_t>, 7> kSymbolWords = {{
    {"emdash", 0x2014},
    {"endash", 0x2013},
    {"bullet", 0x2022},
    {"lquote", 0x2018},
    {"rquote", 0x2019},
    {"ldblquote", 0x201C},
    {"rdblquote", 0x201D},
}};

// Destinations whose content is not text of the document.
constexpr std::array<std::string_view, 24> kSkippedDestinations = {
    "pict",         "info",      "stylesheet", "header",
    "headerl",      "headerr",   "headerf",    "footer",
    "footerl",      "footerr",   "footerf",    "footnote",
    "object",       "themedata", "listtable",  "listoverridetable",
    "rsidtbl",      "fldinst",   "xmlnstbl",   "generator",
    "latentstyles", "datastore", "filetbl",    "colorschememapping"};

enum class Destination { kText, kFontTable, kColorTable, kSkip };

struct CharState {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int half_points = kDefaultHalfPoints;
  int font = -1;
  int foreground = 0;
  int highlight = 0;
  bool operator==(const CharState&) const = default;
};

struct ParaState {
  Qt::Alignment alignment = Qt::AlignLeft;
  int left_twips = 0;
  int right_twips = 0;
  int first_twips = 0;
};

struct GroupState {
  Destination destination = Destination::kText;
  CharState chars;
  ParaState para;
  int unicode_skip = 1;  // \ucN: fallback characters behind every \uN
};

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Clamp(long long value, int low, int high) {
  return static_cast<int>(std::clamp<long long>(value, low, high));
}

class RtfParser {
 public:
  RtfParser(const QByteArray& rtf, QTextDocument& document)
      : p_(rtf.constData()), end_(rtf.constData() + rtf.size()), cursor_(&document) {
    stack_.emplace_back();
  }

  void Run() {
    // One edit block: the document's layout (and any view) hears of the whole text once,
    // instead of laying the paragraph out again after every formatting run.
    cursor_.beginEditBlock();
    SetDefaultTabWidth(kDefaultTabTwips);
    while (p_ < end_) {
      const char c = *p_++;
      switch (c) {
        case '{':
          skip_chars_ = 0;
          PushGroup();
          break;
        case '}':
          skip_chars_ = 0;
          PopGroup();
          break;
        case '\\':
          ControlSequence();
          break;
        case '\r':
        case '\n':
          break;
        default:
          Text(static_cast<unsigned char>(c));
      }
    }
    Flush();
    if (!pending_block_) cursor_.setBlockFormat(BlockFormat(last_para_));
    cursor_.endEditBlock();
  }

 private:
  GroupState& State() { return stack_.back(); }

  void PushGroup() {
    if (stack_.size() >= kMaxGroupDepth) {
      ++overflow_depth_;
      return;
    }
    stack_.push_back(stack_.back());
  }

  void PopGroup() {
    if (overflow_depth_ > 0) {
      --overflow_depth_;
      return;
    }
    if (stack_.size() > 1) stack_.pop_back();  // a surplus '}' is ignored
  }

  void ControlSequence() {
    if (p_ >= end_) return;
    if (!IsLetter(*p_)) {
      ControlSymbol(*p_++);
      return;
    }
    const char* word_start = p_;
    while (p_ < end_ && IsLetter(*p_)) ++p_;
    std::string_view word(word_start, std::min<std::size_t>(p_ - word_start, kMaxWordLength + 1));

    bool has_parameter = false;
    bool negative = false;
    long long parameter = 0;
    if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && IsDigit(p_[1])) {
      negative = true;
      ++p_;
    }
    while (p_ < end_ && IsDigit(*p_)) {
      has_parameter = true;
      parameter = std::min(parameter * 10 + (*p_ - '0'), kMaxParameter);
      ++p_;
    }
    if (negative) parameter = -parameter;
    if (p_ < end_ && *p_ == ' ') ++p_;  // the delimiting space belongs to the word
    ControlWord(word, has_parameter, parameter);
  }

  void ControlSymbol(char symbol) {
    switch (symbol) {
      case '\\':
      case '{':
      case '}':
        Text(static_cast<unsigned char>(symbol));
        break;
      case '\'': {
        const int high = p_ < end_ ? HexValue(*p_) : -1;
        const int low = p_ + 1 < end_ ? HexValue(p_[1]) : -1;
        if (high < 0 || low < 0) return;
        p_ += 2;
        Text(static_cast<unsigned char>(high * 16 + low));
        break;
      }
      case '*':
        if (stack_.size() > 1) State().destination = Destination::kSkip;
        break;
      case '\r':
      case '\n':
        if (!Skipping()) EndParagraph();
        break;
      case '~':
        Unicode(0x00A0);
        break;
      case '_':
        Unicode(0x2011);
        break;
      default:  // \- optional hyphen, \| \: index marks: nothing to show
        break;
    }
  }

  bool Skipping() const { return stack_.back().destination == Destination::kSkip; }

  void ControlWord(std::string_view word, bool has_parameter, long long parameter) {
    if (word == "bin") {  // binary data follows: skip it whatever the destination
      const long long available = end_ - p_;
      p_ += std::clamp<long long>(parameter, 0, available);
      return;
    }
    if (Skipping()) return;
    if (skip_chars_ > 0) {  // a control word stands for one fallback character of \uN
      --skip_chars_;
      return;
    }
    GroupState& state = State();
    CharState& chars = state.chars;
    ParaState& para = state.para;
    const bool on = !has_parameter || parameter != 0;

    if (std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), word) !=
        kSkippedDestinations.end()) {
      if (stack_.size() > 1) state.destination = Destination::kSkip;
    } else if (word == "fonttbl") {
      state.destination = Destination::kFontTable;
      font_number_ = -1;
      font_name_.clear();
    } else if (word == "colortbl") {
      state.destination = Destination::kColorTable;
      colors_.clear();
      StartColor();
    } else if (state.destination == Destination::kFontTable) {
      if (word == "f") font_number_ = Clamp(parameter, -1, kMaxParameter);
    } else if (state.destination == Destination::kColorTable) {
      int* component = word == "red"     ? &red_
                       : word == "green" ? &green_
                       : word == "blue"  ? &blue_
                                         : nullptr;
      if (component) {
        *component = Clamp(parameter, 0, 255);
        color_set_ = true;
      }
    } else if (word == "par" || word == "sect" || word == "page") {
      EndParagraph();
    } else if (word == "line") {
      Unicode(0x2028);
    } else if (word == "tab") {
      Unicode('\t');
    } else if (word == "b") {
      chars.bold = on;
    } else if (word == "i") {
      chars.italic = on;
    } else if (word == "ul") {
      chars.underline = on;
    } else if (word == "ulnone") {
      chars.underline = false;
    } else if (word == "strike") {
      chars.strike = on;
    } else if (word == "plain") {
      chars = CharState{};
      chars.font = default_font_;
    } else if (word == "fs") {
      chars.half_points =
          has_parameter ? Clamp(parameter, kMinHalfPoints, kMaxHalfPoints) : kDefaultHalfPoints;
    } else if (word == "f") {
      chars.font = Clamp(parameter, -1, kMaxParameter);
    } else if (word == "deff") {
      default_font_ = Clamp(parameter, -1, kMaxParameter);
      if (stack_.size() <= 2) chars.font = default_font_;
    } else if (word == "cf") {
      chars.foreground = Clamp(parameter, 0, kMaxParameter);
    } else if (word == "highlight" || word == "cb") {
      chars.highlight = Clamp(parameter, 0, kMaxParameter);
    } else if (word == "pard") {
      para = ParaState{};
    } else if (word == "ql") {
      para.alignment = Qt::AlignLeft;
    } else if (word == "qc") {
      para.alignment = Qt::AlignHCenter;
    } else if (word == "qr") {
      para.alignment = Qt::AlignRight;
    } else if (word == "qj") {
      para.alignment = Qt::AlignJustify;
    } else if (word == "li") {
      para.left_twips = Clamp(parameter, -kMaxIndentTwips, kMaxIndentTwips);
    } else if (word == "ri") {
      para.right_twips = Clamp(parameter, -kMaxIndentTwips, kMaxIndentTwips);
    } else if (word == "fi") {
      para.first_twips = Clamp(parameter, -kMaxIndentTwips, kMaxIndentTwips);
    } else if (word == "deftab") {
      SetDefaultTabWidth(Clamp(parameter, 1, kMaxIndentTwips));
    } else if (word == "uc") {
      state.unicode_skip = Clamp(parameter, 0, kMaxUnicodeSkip);
    } else if (word == "u") {
      // A signed 16-bit value; negative ones stand for code units above 0x7FFF.
      if (parameter >= -32768 && parameter <= 65535) {
        Unicode(static_cast<char32_t>(parameter < 0 ? parameter + 65536 : parameter));
      }
      skip_chars_ = state.unicode_skip;
    } else {
      for (const auto& [name, character] : kSymbolWords) {
        if (word == name) Unicode(character);
      }
    }
    // Every other word (code page, document and section settings) changes nothing shown.
  }

  // One byte of text, in Windows-1252.
  void Text(unsigned char byte) {
    if (Skipping()) return;
    if (skip_chars_ > 0) {
      --skip_chars_;
      return;
    }
    Unicode(rds::Cp1252ToUnicode(byte));
  }

  void Unicode(char32_t code) {
    switch (State().destination) {
      case Destination::kSkip:
        return;
      case Destination::kFontTable:
        if (code == ';') {
          if (font_number_ >= 0) fonts_[font_number_] = font_name_.trimmed();
          font_name_.clear();
        } else {
          font_name_ += QChar(static_cast<char16_t>(code));
        }
        return;
      case Destination::kColorTable:
        if (code == ';') {
          colors_.push_back(color_set_ ? QColor(red_, green_, blue_) : QColor());
          StartColor();
        }
        return;
      case Destination::kText:
        break;
    }
    if (pending_block_) {
      cursor_.insertBlock();
      pending_block_ = false;
    }
    if (paragraph_chars_ >= kMaxParagraphChars) {
      Flush();
      cursor_.insertBlock(BlockFormat(State().para));
      paragraph_chars_ = 0;
      paragraph_runs_ = 0;
    }
    if (run_.isEmpty() || paragraph_runs_ + 1 < kMaxParagraphRuns) {
      if (!run_.isEmpty() && !(run_chars_ == State().chars)) Flush();
      run_chars_ = State().chars;
    }
    last_para_ = State().para;
    run_ += QChar(static_cast<char16_t>(code));
    ++paragraph_chars_;
  }

  void SetDefaultTabWidth(int twips) {
    QTextDocument& document = *cursor_.document();
    QTextOption option = document.defaultTextOption();
    option.setTabStopDistance(twips / kTwipsPerPixel);
    document.setDefaultTextOption(option);
  }

  void StartColor() {
    red_ = green_ = blue_ = 0;
    color_set_ = false;
  }

  void EndParagraph() {
    Flush();
    paragraph_chars_ = 0;
    paragraph_runs_ = 0;
    if (pending_block_) cursor_.insertBlock();
    cursor_.setBlockFormat(BlockFormat(State().para));
    pending_block_ = true;
  }

  void Flush() {
    if (run_.isEmpty()) return;
    cursor_.insertText(run_, CharFormat(run_chars_));
    run_.clear();
    ++paragraph_runs_;
  }

  QTextCharFormat CharFormat(const CharState& chars) const {
    QTextCharFormat format;
    format.setFontWeight(chars.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(chars.italic);
    format.setFontUnderline(chars.underline);
    format.setFontStrikeOut(chars.strike);
    format.setFontPointSize(chars.half_points / 2.0);
    if (auto font = fonts_.find(chars.font); font != fonts_.end() && !font->second.isEmpty()) {
      format.setFontFamilies(QStringList{font->second});
    }
    if (const QColor* color = Color(chars.foreground)) format.setForeground(*color);
    if (const QColor* color = Color(chars.highlight)) format.setBackground(*color);
    return format;
  }

  // Entry 0 and entries without values are the automatic colour: no colour of their own.
  const QColor* Color(int index) const {
    if (index <= 0 || static_cast<std::size_t>(index) >= colors_.size()) return nullptr;
    const QColor& color = colors_[static_cast<std::size_t>(index)];
    return color.isValid() ? &color : nullptr;
  }

  static QTextBlockFormat BlockFormat(const ParaState& para) {
    QTextBlockFormat format;
    format.setAlignment(para.alignment);
    format.setLeftMargin(std::max(0, para.left_twips) / kTwipsPerPixel);
    format.setRightMargin(std::max(0, para.right_twips) / kTwipsPerPixel);
    format.setTextIndent(para.first_twips / kTwipsPerPixel);
    // A hanging first line tabs to the paragraph's indent, as in a bulleted list. Qt counts
    // tab positions from where the first line starts.
    if (para.first_twips < 0 && para.left_twips > 0) {
      const double hang = -std::max(para.first_twips, -para.left_twips) / kTwipsPerPixel;
      format.setTabPositions({QTextOption::Tab(hang, QTextOption::LeftTab)});
    }
    return format;
  }

  const char* p_;
  const char* end_;
  QTextCursor cursor_;
  std::vector<GroupState> stack_;
  std::size_t overflow_depth_ = 0;
  int skip_chars_ = 0;

  std::map<int, QString> fonts_;
  int default_font_ = -1;
  int font_number_ = -1;
  QString font_name_;

  std::vector<QColor> colors_;
  int red_ = 0, green_ = 0, blue_ = 0;
  bool color_set_ = false;

  QString run_;
  CharState run_chars_;
  ParaState last_para_;
  bool pending_block_ = false;
  int paragraph_chars_ = 0;
  int paragraph_runs_ = 0;
};

// Plain text with every line longer than kMaxParagraphChars continued on a new line.
QString WithShortParagraphs(const QString& text) {
  QString out;
  out.reserve(text.size() + text.size() / kMaxParagraphChars);
  qsizetype line_length = 0;
  for (const QChar c : text) {
    if (c == u'\n') {
      line_length = 0;
    } else if (line_length++ == kMaxParagraphChars) {
      out += u'\n';
      line_length = 1;
    }
    out += c;
  }
  return out;
}

}  // namespace

bool IsRtf(const QByteArray& data) {
  return data.startsWith("{\\rtf");
}

void ReadRtf(const QByteArray& rtf, QTextDocument& document) {
  // The help text is read-only: an undo history would only double its memory.
  document.setUndoRedoEnabled(false);
  document.clear();
  RtfParser(rtf, document).Run();
}

void LoadRichOrPlainText(const QByteArray& data, QTextDocument& document) {
  if (IsRtf(data)) {
    ReadRtf(data, document);
    return;
  }
  QString text;
  if (data.startsWith("\xEF\xBB\xBF")) {
    text = QString::fromUtf8(data.mid(3));
  } else {
    text = FromCp1252(data.toStdString());
  }
  text.remove(u'\r');
  document.setUndoRedoEnabled(false);
  document.setPlainText(WithShortParagraphs(text));
}

}  // namespace app
