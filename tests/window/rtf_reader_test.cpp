#include "window/rtf_reader.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <array>
#include <optional>
#include <random>

#include "tests/time_bound.h"

namespace {

struct Read {
  explicit Read(const QByteArray& rtf) { app::ReadRtf(rtf, document); }

  // Text with line breaks kept as U+2028 and paragraphs joined by '\n'.
  QString Text() const {
    QStringList blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
      blocks << block.text();
    }
    return blocks.join(u'\n');
  }

  // Format of the fragment that holds the text.
  QTextCharFormat Format(const QString& text) const {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().text().contains(text)) return it.fragment().charFormat();
      }
    }
    ADD_FAILURE() << "no fragment holds " << text.toStdString();
    return {};
  }

  QTextBlockFormat Block(int number) const {
    return document.findBlockByNumber(number).blockFormat();
  }

  QTextDocument document;
};

TEST(RtfReader, TellsRichTextFromPlainText) {
  EXPECT_TRUE(app::IsRtf("{\\rtf1\\ansi hello}"));
  EXPECT_FALSE(app::IsRtf("hello {\\rtf1}"));
  EXPECT_FALSE(app::IsRtf(""));

  QTextDocument document;
  app::LoadRichOrPlainText("line one\r\nline {\\b two}\r\n", document);
  EXPECT_EQ(document.toPlainText(), "line one\nline {\\b two}\n");
  app::LoadRichOrPlainText("\xEF\xBB\xBFUTF-8 \xC3\xA9", document);
  EXPECT_EQ(document.toPlainText(), QString::fromUtf8("UTF-8 \u00e9"));
}

TEST(RtfReader, BuildsParagraphsLineBreaksAndTabs) {
  Read read("{\\rtf1\\ansi First\\par Second\\line broken\\tab tabbed\\par\n\rThird}");
  EXPECT_EQ(read.Text(), QString("First\nSecond") + QChar(0x2028) + "broken\ttabbed\nThird");
  // A final \par ends the last paragraph; it opens no empty one.
  EXPECT_EQ(Read("{\\rtf1 One\\par Two\\par}").document.blockCount(), 2);
  EXPECT_EQ(Read("{\\rtf1 One\\par\\par Two}").Text(), "One\n\nTwo");
}

TEST(RtfReader, AppliesCharacterFormattingWithinGroups) {
  Read read(
      "{\\rtf1\\ansi plain {\\b bold {\\i bolditalic}} {\\ul under\\ul0  not} "
      "{\\strike struck} \\b on\\b0  off {\\fs40 big} \\b\\i\\plain reset}");
  EXPECT_EQ(read.Format("plain").fontWeight(), QFont::Normal);
  EXPECT_EQ(read.Format("bold").fontWeight(), QFont::Bold);
  EXPECT_FALSE(read.Format("bold ").fontItalic());
  EXPECT_EQ(read.Format("bolditalic").fontWeight(), QFont::Bold);
  EXPECT_TRUE(read.Format("bolditalic").fontItalic());
  EXPECT_TRUE(read.Format("under").fontUnderline());
  EXPECT_FALSE(read.Format(" not").fontUnderline());
  EXPECT_TRUE(read.Format("struck").fontStrikeOut());
  EXPECT_EQ(read.Format("on").fontWeight(), QFont::Bold);
  EXPECT_EQ(read.Format(" off").fontWeight(), QFont::Normal);
  EXPECT_DOUBLE_EQ(read.Format("big").fontPointSize(), 20.0);
  EXPECT_DOUBLE_EQ(read.Format("plain").fontPointSize(), 12.0);  // RTF's default size
  EXPECT_EQ(read.Format("reset").fontWeight(), QFont::Normal);
  EXPECT_FALSE(read.Format("reset").fontItalic());
}

TEST(RtfReader, UsesTheFontAndColourTables) {
  Read read(
      "{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman{\\*\\panose 0} "
      "Times New Roman;}}{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
      "default {\\f0 arial} {\\cf1 red} {\\highlight2 marked} {\\cf0 auto} {\\cf9 none}}");
  EXPECT_EQ(read.Format("default").fontFamilies().toStringList(), QStringList{"Times New Roman"});
  EXPECT_EQ(read.Format("arial").fontFamilies().toStringList(), QStringList{"Arial"});
  EXPECT_EQ(read.Format("red").foreground().color(), QColor(255, 0, 0));
  EXPECT_EQ(read.Format("marked").background().color(), QColor(0, 0, 255));
  EXPECT_FALSE(read.Format("auto").hasProperty(QTextFormat::ForegroundBrush));
  EXPECT_FALSE(read.Format("none").hasProperty(QTextFormat::ForegroundBrush));
  EXPECT_FALSE(read.Text().contains("Arial"));
}

TEST(RtfReader, AppliesParagraphAlignmentAndIndents) {
  Read read(
      "{\\rtf1 \\qc centred\\par \\pard\\qr right\\par \\pard\\qj\\li720\\ri1440\\fi-360 "
      "hanging\\par \\pard left}");
  EXPECT_EQ(read.Block(0).alignment(), Qt::AlignHCenter);
  EXPECT_EQ(read.Block(1).alignment(), Qt::AlignRight);
  EXPECT_EQ(read.Block(2).alignment(), Qt::AlignJustify);
  EXPECT_DOUBLE_EQ(read.Block(2).leftMargin(), 48.0);  // twips at 96 pixels per inch
  EXPECT_DOUBLE_EQ(read.Block(2).rightMargin(), 96.0);
  EXPECT_DOUBLE_EQ(read.Block(2).textIndent(), -24.0);
  // The hanging first line's tab reaches the indent of the lines below it.
  ASSERT_EQ(read.Block(2).tabPositions().size(), 1);
  EXPECT_DOUBLE_EQ(read.Block(2).tabPositions()[0].position, 24.0);
  EXPECT_EQ(read.Block(3).alignment(), Qt::AlignLeft);
  EXPECT_DOUBLE_EQ(read.Block(3).leftMargin(), 0.0);
}

TEST(RtfReader, DecodesEscapesInWindows1252AndUnicode) {
  EXPECT_EQ(Read("{\\rtf1\\ansi\\ansicpg1252 Caf\\'e9 \\'80 \\'9f}").Text(),
            QString::fromUtf8("Caf\u00e9 \u20ac \u0178"));
  EXPECT_EQ(Read("{\\rtf1 raw \xe9}").Text(), QString::fromUtf8("raw \u00e9"));
  EXPECT_EQ(Read("{\\rtf1 \\u8364?x}").Text(), QString::fromUtf8("\u20acx"));
  EXPECT_EQ(Read("{\\rtf1 \\u8364\\'80x}").Text(), QString::fromUtf8("\u20acx"));
  EXPECT_EQ(Read("{\\rtf1 \\uc2\\u937 OMx}").Text(), QString::fromUtf8("\u03a9x"));
  EXPECT_EQ(Read("{\\rtf1 \\uc0\\u937 x}").Text(), QString::fromUtf8("\u03a9x"));
  EXPECT_EQ(Read("{\\rtf1 \\u-4064?}").Text(), QString(QChar(0xF020)));
  EXPECT_EQ(Read("{\\rtf1 a\\\\b\\{c\\}d\\~e}").Text(), QString::fromUtf8("a\\b{c}d\u00a0e"));
  EXPECT_EQ(Read("{\\rtf1 \\ldblquote x\\rdblquote \\emdash}").Text(),
            QString::fromUtf8("\u201cx\u201d\u2014"));
}

TEST(RtfReader, SkipsWhatIsNotTextOfTheDocument) {
  Read read(
      "{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret title}{\\author Me}}"
      "{\\*\\generator Some writer;}{\\*\\unknowndest hidden {nested} text}"
      "{\\pict\\pngblip 89504e47}{\\header Head}shown{\\*\\bkmkstart b}"
      "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt  link}} \\bin3 {}}end}");
  EXPECT_EQ(read.Text(), "shown link end");
}

TEST(RtfReader, SurvivesMalformedAndHostileInput) {
  EXPECT_EQ(Read("{\\rtf1 a}}}}b{{{c").Text(), "abc");
  EXPECT_EQ(Read("{\\rtf1 {\\b bold").Text(), "bold");
  EXPECT_EQ(Read("{\\rtf1 end\\").Text(), "end");
  EXPECT_EQ(Read("{\\rtf1 end\\'4").Text(), "end4");
  EXPECT_EQ(Read("{\\rtf1 x\\'zz y}").Text(), "xzz y");
  EXPECT_EQ(Read("{\\rtf1 x\\b").Text(), "x");
  EXPECT_EQ(Read("{\\rtf1 x\\bin999999999999999999}").Text(), "x");
  EXPECT_EQ(Read("{\\rtf1 \\u99999999999 \\u-99999 ok}").Text(), "ok");

  Read huge(
      "{\\rtf1 \\fs99999999999999999999 big \\fs0 small \\li-99999999999 \\fi99999999 x"
      "\\cf99999999999 y\\uc99999999 \\u65 abc}");
  EXPECT_LE(huge.Format("big").fontPointSize(), 400.0);
  EXPECT_GE(huge.Format("small").fontPointSize(), 0.5);
  EXPECT_TRUE(huge.Text().startsWith("big small x"));

  const int depth = 100000;
  const QByteArray nested =
      "{\\rtf1 " + QByteArray(depth, '{') + "deep" + QByteArray(depth, '}') + " after}";
  EXPECT_EQ(Read(nested).Text(), "deep after");
  const QByteArray unclosed = "{\\rtf1 " + QByteArray(depth, '{') + "\\b open";
  EXPECT_EQ(Read(unclosed).Text(), "open");
  const QByteArray long_word = "{\\rtf1 \\" + QByteArray(100000, 'b') + " x}";
  EXPECT_EQ(Read(long_word).Text(), "x");
}

// Inputs whose reading or layout took time growing with the square of their size. Each is
// read and laid out whole within a generous bound; paragraphs stay short enough for Qt.
TEST(RtfReader, HostileInputIsReadAndLaidOutInLinearTime) {
  struct Case {
    std::string name;
    QByteArray rtf;
  };
  QByteArray runs = "{\\rtf1 ";
  for (int i = 0; i < 50000; ++i) runs += "\\b a\\b0 a";
  QByteArray huge_font = "{\\rtf1 ";
  for (int i = 0; i < 20000; ++i) huge_font += "{\\fs800 Paragraph\\par}";
  for (const Case& c : std::vector<Case>{
           {"100000 runs in one paragraph", runs + "}"},
           {"20000 paragraphs at 400 points", huge_font + "}"},
           {"one paragraph of 2 MB", "{\\rtf1 " + QByteArray(2 << 20, 'x') + "}"},
       }) {
    SCOPED_TRACE(c.name);
    QTextDocument document;
    test_support::RunWithin(std::chrono::seconds(30), c.name, [&] {
      app::ReadRtf(c.rtf, document);
      document.setTextWidth(300);
      document.size();  // lays out every paragraph
    });
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
      ASSERT_LE(block.length(), 4001);
      ASSERT_LE(block.textFormats().size(), 200);
      for (const QTextLayout::FormatRange& range : block.textFormats()) {
        ASSERT_LE(range.format.fontPointSize(), 72.0);
      }
    }
  }
}

// Random mixtures of RTF's pieces, from a fixed seed. Each piece adds the same text wherever
// it stands (stray braces, skipped groups and formatting add none), so the document's text
// is the pieces' texts in order.
TEST(RtfReader, ReadsAnyMixtureOfItsPieces) {
  struct Piece {
    QByteArray rtf;
    QString text;
  };
  const QString e_acute = QString::fromUtf8("\u00e9");
  const std::array<Piece, 26> pieces = {{
      {"{", ""},
      {"}", ""},
      {"text", "text"},
      {" ", " "},
      {"Wort;", "Wort;"},
      {"\\\\", "\\"},
      {"\\{", "{"},
      {"\\}", "}"},
      {"\\'e9", e_acute},
      {"\\'80", QString::fromUtf8("\u20ac")},
      {"\\u233?", e_acute},
      {"\\u-4064?", QString(QChar(0xF020))},
      {"\\~", QString(QChar(0xA0))},
      {"\\par ", "\n"},
      {"\\line ", QString(QChar(0x2028))},
      {"\\tab ", "\t"},
      {"\\b ", ""},
      {"\\i0 ", ""},
      {"\\fs40 ", ""},
      {"\\f99999 ", ""},
      {"\\cf3 ", ""},
      {"\\plain ", ""},
      {"\\bin3 {}\\", ""},
      {"{\\*\\unknown hidden {nested} text}", ""},
      {"{\\pict\\pngblip 89504e47}", ""},
      {"{\\fonttbl{\\f0\\fswiss Arial;}}", ""},
  }};
  std::mt19937 random(20261207);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  for (int round = 0; round < 300; ++round) {
    QByteArray rtf = "{\\rtf1 ";
    QString expected;
    for (int i = 0; i < 60; ++i) {
      const Piece& piece = pieces[pick(random)];
      rtf += piece.rtf;
      expected += piece.text;
    }
    // Ends in text: a final \par would open no paragraph of its own.
    rtf += "end";
    expected += "end";
    ASSERT_EQ(Read(rtf).Text(), expected) << rtf.toStdString();
  }
}

}  // namespace
