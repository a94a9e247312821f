#include "appcore/ini_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/time_bound.h"

namespace app {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries Read(std::string_view text, std::string_view section = "TRANSLATIONS") {
  Entries entries;
  for (IniEntry& entry : ReadSectionEntries(IniFile(text), section)) {
    entries.emplace_back(std::move(entry.key), std::move(entry.value));
  }
  return entries;
}

TEST(IniFile, ReadsOnlyTheNamedSectionInAnyLetterCaseInFileOrder) {
  const std::string text =
      "top=before any section\r\n"
      "[Other]\r\n"
      "a=other\r\n"
      "[translations]\r\n"
      "b=2\r\n"
      "a=1\r\n"
      "[Next]\r\n"
      "c=3\r\n";
  EXPECT_EQ(Read(text), (Entries{{"b", "2"}, {"a", "1"}}));
  EXPECT_EQ(Read(text, "Translations"), Read(text));
  EXPECT_EQ(Read(text, "OTHER"), (Entries{{"a", "other"}}));
  EXPECT_TRUE(Read(text, "Missing").empty());
  EXPECT_TRUE(Read("").empty());
}

TEST(IniFile, SplitsAtTheFirstEqualsSignAndRemovesBlanks) {
  const std::string text =
      "[TRANSLATIONS]\n"
      "  Form1.Label1.Caption \t=\t  Zwei Worte  \n"
      "Form1.UP.Caption=a=b\n"
      "Form1.EX.Caption=\n"
      "[ TRANSLATIONS ]\n"
      "ignored=the first section of a name is the one read\n";
  EXPECT_EQ(Read(text), (Entries{{"Form1.Label1.Caption", "Zwei Worte"},
                                 {"Form1.UP.Caption", "a=b"},
                                 {"Form1.EX.Caption", ""}}));
}

TEST(IniFile, IgnoresCommentsLinesWithoutEqualsSignAndEmptyKeys) {
  const std::string text =
      "; a comment=with an equals sign\r\n"
      "[TRANSLATIONS]\r\n"
      "   ; indented comment=x\r\n"
      "no equals sign here\r\n"
      "\r\n"
      "=no key\r\n"
      "[unclosed=x\r\n"
      "k=v";  // last line without line end
  EXPECT_EQ(Read(text), (Entries{{"k", "v"}}));
}

TEST(IniFile, RemovesMatchingQuotesOnly) {
  const std::string text =
      "[TRANSLATIONS]\n"
      "a=\"  spaced  \"\n"
      "b='single'\n"
      "c=\"mixed'\n"
      "d=\"\n"
      "e=say \"hi\"\n"
      "f=\"\"\n"
      "g=\"\"inner\"\"\n";
  EXPECT_EQ(Read(text), (Entries{{"a", "  spaced  "},
                                 {"b", "single"},
                                 {"c", "\"mixed'"},
                                 {"d", "\""},
                                 {"e", "say \"hi\""},
                                 {"f", ""},
                                 {"g", "\"inner\""}}));
}

TEST(IniFile, RepeatedKeyIsListedEachTimeWithItsFirstValue) {
  const std::string text =
      "[TRANSLATIONS]\n"
      "Form1.Label1.Caption=first\n"
      "Form1.Label2.Caption=other\n"
      "FORM1.LABEL1.CAPTION=second\n"
      "Form1.Label1.Caption=third\n";
  EXPECT_EQ(Read(text), (Entries{{"Form1.Label1.Caption", "first"},
                                 {"Form1.Label2.Caption", "other"},
                                 {"FORM1.LABEL1.CAPTION", "first"},
                                 {"Form1.Label1.Caption", "first"}}));
}

TEST(IniFile, KeepsTheBytesOfEightBitText) {
  const std::string text = "[TRANSLATIONS]\r\nForm1.HIPRI.Caption=Hohe Priorit\xE4t\r\n";
  EXPECT_EQ(Read(text), (Entries{{"Form1.HIPRI.Caption", "Hohe Priorit\xE4t"}}));
}

TEST(IniFile, UsesAtMost2047CharactersOfAValue) {
  std::string value(3000, 'x');
  value[2046] = 'L';  // last character kept
  value[2047] = 'C';  // first character cut
  const auto entries = Read("[TRANSLATIONS]\r\nk=" + value + "\r\n");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].second, value.substr(0, 2047));
  EXPECT_EQ(entries[0].second.back(), 'L');

  const auto quoted = Read("[TRANSLATIONS]\r\nk=\"" + value + "\"\r\n");
  ASSERT_EQ(quoted.size(), 1u);
  EXPECT_EQ(quoted[0].second, value.substr(0, 2047));
}

TEST(IniFile, DoesNotSeeKeysBeyondTheKeyListBuffer) {
  // 200 keys of 99 characters take 20000 bytes with their NULs: only the first 163 fit
  // into 16383 bytes (one byte stays for the list's own NUL).
  std::string text = "[TRANSLATIONS]\r\n";
  std::vector<std::string> keys;
  for (int i = 0; i < 200; ++i) {
    std::string key = "Form1.Label1.Caption" + std::to_string(1000 + i);
    key.resize(99, 'k');
    keys.push_back(key);
    text += key + "=v" + std::to_string(i) + "\r\n";
  }
  const auto entries = Read(text);
  ASSERT_EQ(entries.size(), 163u);
  EXPECT_EQ(entries.back().first, keys[162]);
  EXPECT_EQ(entries.back().second, "v162");

  // The boundary: names of 16383 bytes with their NULs fit whole, one byte more does not.
  const std::string fits(16382, 'a');
  EXPECT_EQ(Read("[TRANSLATIONS]\nb=1\n" + fits.substr(2) + "=2\n").size(), 2u);
  EXPECT_EQ(Read("[TRANSLATIONS]\nb=1\n" + fits.substr(1) + "=2\n").size(), 1u);
}

// Files built to make a careless reader slow; each is read in time linear in its size.
TEST(IniFile, HostileFilesAreReadInLinearTime) {
  std::string many_sections;
  for (int i = 0; i < 200000; ++i) many_sections += "[S" + std::to_string(i) + "]\nk=v\n";
  many_sections += "[TRANSLATIONS]\nkey=found\n";

  // Distinct keys, then a long tail of lines for each key's lookup to scan; the key list
  // holds the 3000 and 498 repeats of "tail".
  std::string many_keys = "[TRANSLATIONS]\n";
  for (int i = 0; i < 3000; ++i) many_keys += std::to_string(i) + "=v\n";
  for (int i = 0; i < 300000; ++i) many_keys += "tail=x\n";

  struct Case {
    std::string name;
    std::string text;
    std::size_t entries;
  };
  for (const Case& c : std::vector<Case>{
           {"200000 sections before", many_sections, 1},
           {"3000 keys and 300000 lines", many_keys, 3498},
           {"one line of 1 MB", "[TRANSLATIONS]\nk=" + std::string(1 << 20, 'x'), 1},
           {"1 MB of brackets", std::string(1 << 20, '['), 0},
       }) {
    SCOPED_TRACE(c.name);
    Entries entries;
    test_support::RunWithin(std::chrono::seconds(20), c.name, [&] { entries = Read(c.text); });
    EXPECT_EQ(entries.size(), c.entries);
  }
}

}  // namespace
}  // namespace app
