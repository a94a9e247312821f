#include "appcore/settings_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>

#include "tests/appcore/settings_values_dump.h"
#include "tests/time_bound.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace app {
namespace {

namespace fs = std::filesystem;

// A file as the program writes it for a fresh window.
constexpr const char* kFreshFile =
    "FM RADIO\r\n0\r\n1\r\n0\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n1\r\nFFFF\r\n0000\r\n0\r\n0\r\n0\r\n"
    "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";

std::vector<std::string> FreshLines() {
  std::vector<std::string> lines;
  for (std::string_view line : SplitLines(kFreshFile)) lines.emplace_back(line);
  return lines;
}

std::string Join(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// A fresh file with line `number` (from 1) replaced.
std::string WithLine(std::size_t number, const std::string& value) {
  std::vector<std::string> lines = FreshLines();
  lines.at(number - 1) = value;
  return Join(lines);
}

SettingsValues Loaded(const std::string& text, SettingsValues base = {}) {
  ApplySettingsText(text, base);
  return base;
}

SettingsValues Sample() {
  SettingsValues v;
  v.station.ps =
      "R\xE1"
      "dio \x80!";  // bytes above 0x7F are kept as they are
  v.station.pi = "2A07";
  v.station.pty = 31;
  v.station.tp = 0;
  v.station.ta = 1;
  v.station.ms = 0;
  v.station.di = {true, false, true, false};
  v.station.af = {"87.6", "98.5", "", "107.9", "99", "", "\xFF"};
  v.system = {true, 3, true};
  v.last_sent = {
      "PS=R\xE1"
      "dio \x80!",
      "PTY=31",
      "TP=0",
      "TA=1",
      "AF1=87.6",
      "AF2=98.5",
      "AF3=",
      "AF4=107.9",
      "AF5=99",
      "AF6=",
      "AF7=\xFF",
      "MS=0",
      "PI=2A07",
      "DI=0101"};
  return v;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / "rdsq7_settings" / info->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    path_ = SettingsFilePath(folder_);
  }
  void TearDown() override {
    if (fs::exists(path_)) fs::permissions(path_, fs::perms::owner_all);
    fs::remove_all(folder_);
  }

  void Put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }

  std::string Bytes() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  fs::path folder_;
  fs::path path_;
};

TEST_F(SettingsFileTest, NoFileKeepsTheFreshWindowsValues) {
  SettingsValues v;
  const LoadReport report = LoadSettingsFile(path_, v);
  EXPECT_FALSE(report.file_used);
  EXPECT_FALSE(report.always_on_top_changed || report.port_changed || report.high_priority_changed);
  EXPECT_EQ(v.station.ps, "FM RADIO");
  EXPECT_EQ(v.station.pty, 0);
  EXPECT_EQ(v.station.tp, 1);
  EXPECT_EQ(v.station.ta, 0);
  EXPECT_EQ(v.station.ms, 1);
  EXPECT_EQ(v.station.pi, "FFFF");
  EXPECT_EQ(v.station.di, (std::array<bool, 4>{}));
  for (const std::string& af : v.station.af) EXPECT_EQ(af, "");
  EXPECT_EQ(v.system, SystemChoices{});
  for (const std::string& line : v.last_sent) EXPECT_EQ(line, "");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsFileTest, SavesThirtyOneLinesEachEndedByCrLf) {
  SaveSettingsFile(path_, SettingsValues{});
  EXPECT_EQ(Bytes(), kFreshFile);

  SaveSettingsFile(path_, Sample());
  EXPECT_EQ(Bytes(),
            "R\xE1"
            "dio \x80!\r\n31\r\n0\r\n1\r\n87.6\r\n98.5\r\n\r\n107.9\r\n99\r\n\r\n\xFF\r\n"
            "0\r\n2A07\r\n0101\r\n1\r\n3\r\n1\r\n"
            "PS=R\xE1"
            "dio \x80!\r\nPTY=31\r\nTP=0\r\nTA=1\r\nAF1=87.6\r\nAF2=98.5\r\nAF3=\r\n"
            "AF4=107.9\r\nAF5=99\r\nAF6=\r\nAF7=\xFF\r\nMS=0\r\nPI=2A07\r\nDI=0101\r\n");
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"tolvex.dat"});
}

TEST_F(SettingsFileTest, ASavedFileLoadsBackToTheSameValues) {
  const SettingsValues saved = Sample();
  SaveSettingsFile(path_, saved);
  SettingsValues loaded;
  const LoadReport report = LoadSettingsFile(path_, loaded);
  EXPECT_TRUE(report.file_used);
  EXPECT_TRUE(report.always_on_top_changed && report.port_changed && report.high_priority_changed);
  EXPECT_EQ(Dump(loaded), Dump(saved));

  // Saving again over an existing file replaces it whole.
  SaveSettingsFile(path_, SettingsValues{});
  EXPECT_EQ(Bytes(), kFreshFile);
}

TEST_F(SettingsFileTest, ReportsOnlyChoicesThatActuallyChanged) {
  SettingsValues v;
  v.system = {true, 3, false};
  Put(Join([] {
    auto lines = FreshLines();
    lines[14] = "1";
    lines[15] = "3";
    lines[16] = "1";
    return lines;
  }()));
  const LoadReport report = LoadSettingsFile(path_, v);
  EXPECT_TRUE(report.file_used);
  EXPECT_FALSE(report.always_on_top_changed);
  EXPECT_FALSE(report.port_changed);
  EXPECT_TRUE(report.high_priority_changed);
}

TEST(SettingsText, AnyLineCountButThirtyOneIsIgnoredWholeEmptyLinesAtTheEndAside) {
  std::vector<std::string> lines = FreshLines();
  lines[0] = "NEW NAME";
  lines[17] = "PS=NEW NAME";
  const std::string good = Join(lines);
  std::vector<std::string> short_lines(lines.begin(), lines.end() - 1);
  std::vector<std::string> long_lines = lines;
  long_lines.push_back("extra");

  for (const std::string& text :
       {Join(short_lines), Join(long_lines), good + "\r\n x", std::string(), std::string("\r\n")}) {
    SettingsValues v;
    EXPECT_FALSE(ApplySettingsText(text, v)) << text;
    EXPECT_EQ(Dump(v), Dump(SettingsValues{}));
  }
  EXPECT_EQ(SettingsLineCount(Join(long_lines) + "\r\n"), 32U);
  // An editor's final line end, or a few, make no further lines.
  for (const std::string& text :
       {good, good + "\r\n", good + "\n", good + "\r", good + "\n\n\r\n"}) {
    EXPECT_EQ(Loaded(text).station.ps, "NEW NAME") << text;
  }
}

TEST(SettingsText, EveryLineBreakFormReadsTheSame) {
  const std::string crlf = FormatSettingsText(Sample());
  std::string lf, cr, mixed, unended = crlf.substr(0, crlf.size() - 2);
  std::size_t index = 0;
  for (std::string_view line : SplitLines(crlf)) {
    lf += std::string(line) + "\n";
    cr += std::string(line) + "\r";
    // Never a lone CR before an empty line ended by LF: that would read as one CR LF.
    static constexpr std::array<const char*, 3> kBreaks = {"\r\n", "\n", "\r"};
    mixed += std::string(line) + kBreaks[index++ % 3];
  }
  const std::string expected = Dump(Sample());
  for (const std::string& text : {crlf, lf, cr, mixed, unended}) {
    SettingsValues v;
    EXPECT_TRUE(ApplySettingsText(text, v));
    EXPECT_EQ(Dump(v), expected);
  }
  // LF CR is two breaks: an empty line between them.
  EXPECT_EQ(SplitLines("a\n\rb").size(), 3U);
  EXPECT_EQ(SplitLines("a\r\n\r\nb").size(), 3U);
}

TEST_F(SettingsFileTest, AnIgnoredFileIsKeptBesideWithoutLosingAnEarlierCopy) {
  EXPECT_EQ(KeepSettingsFile(path_), std::nullopt);
  Put("first");
  const fs::path first = KeepSettingsFile(path_).value();
  EXPECT_EQ(first.filename(), "tolvex.dat.bak");
  EXPECT_EQ(KeepSettingsFile(path_), first);  // the same bytes: no second copy
  Put("second");
  const fs::path second = KeepSettingsFile(path_).value();
  EXPECT_EQ(second.filename(), "tolvex.dat.bak2");
  std::ifstream in(first, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "first");
  EXPECT_EQ(Bytes(), "second");
  // No name left for a copy: an error, or the save would overwrite the file it meant to keep.
  for (int n = 3; n <= 100; ++n) std::ofstream(path_.string() + ".bak" + std::to_string(n)) << n;
  Put("third");
  EXPECT_THROW(KeepSettingsFile(path_), CannotCreateFileError);
}

TEST_F(SettingsFileTest, AFileWithLfOnlyIsRewrittenWithCrLf) {
  std::string lf;
  for (std::string_view line : SplitLines(kFreshFile)) lf += std::string(line) + "\n";
  Put(lf);
  SettingsValues v;
  EXPECT_TRUE(LoadSettingsFile(path_, v).file_used);
  SaveSettingsFile(path_, v);
  EXPECT_EQ(Bytes(), kFreshFile);
}

TEST(SettingsText, ANulEndsTheText) {
  const std::string good = WithLine(1, "NEW NAME");
  // Cut inside the file: too few lines, nothing is used.
  std::string cut = good;
  cut.insert(cut.find("FFFF"), 1, '\0');
  SettingsValues v;
  EXPECT_FALSE(ApplySettingsText(cut, v));
  EXPECT_EQ(v.station.ps, "FM RADIO");
  // After the 31st line: whatever follows is not read.
  EXPECT_TRUE(ApplySettingsText(good + std::string(1, '\0') + "more\r\nlines\r\n", v));
  EXPECT_EQ(v.station.ps, "NEW NAME");
}

TEST(SettingsText, TextsAreCutToWhatTheBoxesHold) {
  EXPECT_EQ(Loaded(WithLine(1, "ABCDEFGHIJ")).station.ps, "ABCDEFGH");
  EXPECT_EQ(Loaded(WithLine(1, "")).station.ps, "");
  EXPECT_EQ(Loaded(WithLine(5, "107.90")).station.af[0], "107.9");
  EXPECT_EQ(Loaded(WithLine(11, "87.6 MHz")).station.af[6], "87.6 ");
  EXPECT_EQ(Loaded(WithLine(13, "12345")).station.pi, "1234");
  EXPECT_EQ(Loaded(WithLine(13, "ab")).station.pi, "ab");  // corrected at send, not here
}

TEST(SettingsText, PtyTakesOneOrTwoDigitsBelow32) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"31", 31}, {"32", 0}, {"7", 7},  {"07", 7}, {"00", 0},  {"", 0},    {"-1", 0},
      {"+7", 0},  {" 7", 0}, {"7 ", 0}, {"7a", 0}, {"100", 0}, {"007", 0},
  };
  for (const auto& [line, pty] : cases) {
    SettingsValues base;
    base.station.pty = 12;
    EXPECT_EQ(Loaded(WithLine(2, line), base).station.pty, pty) << '"' << line << '"';
  }
}

TEST(SettingsText, TpTaAndMsAreOneOnlyForExactlyOne) {
  for (std::size_t number : {3U, 4U, 12U}) {
    const auto value = [number](const std::string& line) {
      SettingsValues base;
      base.station.tp = base.station.ta = base.station.ms = 1;
      const SettingsValues v = Loaded(WithLine(number, line), base);
      return number == 3 ? v.station.tp : number == 4 ? v.station.ta : v.station.ms;
    };
    EXPECT_EQ(value("1"), 1) << number;
    for (const char* line : {"0", "", "yes", "01", "1 ", " 1", "2"}) {
      EXPECT_EQ(value(line), 0) << number << " \"" << line << '"';
    }
  }
  // A valid file always sets TP, even to 0 against the window's own default of 1.
  EXPECT_EQ(Loaded(WithLine(3, "x")).station.tp, 0);
}

TEST(SettingsText, DiLineOfFourCharactersOnlyEverChecks) {
  using Di = std::array<bool, 4>;  // Stereo, Art. H., Comp., DPTY
  EXPECT_EQ(Loaded(WithLine(14, "1000")).station.di, (Di{false, false, false, true}));
  EXPECT_EQ(Loaded(WithLine(14, "0001")).station.di, (Di{true, false, false, false}));
  EXPECT_EQ(Loaded(WithLine(14, "1x1y")).station.di, (Di{false, true, false, true}));
  EXPECT_EQ(Loaded(WithLine(14, "1111")).station.di, (Di{true, true, true, true}));
  for (const char* line : {"111", "11111", "", " 1111"}) {
    EXPECT_EQ(Loaded(WithLine(14, line)).station.di, Di{}) << line;
  }
  SettingsValues all;
  all.station.di = {true, true, true, true};
  EXPECT_EQ(Loaded(WithLine(14, "0000"), all).station.di, (Di{true, true, true, true}));
  SettingsValues stereo;
  stereo.station.di[0] = true;
  EXPECT_EQ(Loaded(WithLine(14, "1000"), stereo).station.di, (Di{true, false, false, true}));
}

TEST(SettingsText, SystemChoicesAreSetOnlyByTheirExactValues) {
  // Port: "1", "2", "3" select; anything else leaves the choice in force.
  for (int start : {0, 2}) {
    SettingsValues base;
    base.system.port_index = start;
    EXPECT_EQ(Loaded(WithLine(16, "3"), base).system.port_index, 3);
    EXPECT_EQ(Loaded(WithLine(16, "1"), base).system.port_index, 1);
    for (const char* line : {"0", "4", "", "03", "3 ", "-1"}) {
      EXPECT_EQ(Loaded(WithLine(16, line), base).system.port_index, start) << line;
    }
  }
  // Always on top and High priority: "1" checks; nothing unchecks.
  EXPECT_TRUE(Loaded(WithLine(15, "1")).system.always_on_top);
  EXPECT_TRUE(Loaded(WithLine(17, "1")).system.high_priority);
  SettingsValues checked;
  checked.system.always_on_top = checked.system.high_priority = true;
  for (const char* line : {"0", "", "1 ", "11"}) {
    EXPECT_FALSE(Loaded(WithLine(15, line)).system.always_on_top) << line;
    EXPECT_FALSE(Loaded(WithLine(17, line)).system.high_priority) << line;
    EXPECT_TRUE(Loaded(WithLine(15, line), checked).system.always_on_top) << line;
    EXPECT_TRUE(Loaded(WithLine(17, line), checked).system.high_priority) << line;
  }
}

TEST(SettingsText, LastSentLinesAreTakenVerbatim) {
  std::vector<std::string> lines = FreshLines();
  for (std::size_t k = 0; k < 14; ++k) lines[17 + k] = " line " + std::to_string(k) + "=\xE9 ";
  lines[30] = "anything at all, longer than any box \x80\x81\xFE";
  const SettingsValues v = Loaded(Join(lines));
  for (std::size_t k = 0; k < 14; ++k) EXPECT_EQ(v.last_sent[k], lines[17 + k]);
}

TEST(SettingsText, ValuesThatWouldBreakTheLinesAreSavedAsBlanks) {
  SettingsValues v;
  v.station.ps = "A\r\nB";
  v.last_sent[3] = std::string("x\0y\rz", 5);
  const std::string text = FormatSettingsText(v);
  SettingsValues back;
  ASSERT_TRUE(ApplySettingsText(text, back));
  EXPECT_EQ(back.station.ps, "A  B");
  EXPECT_EQ(back.last_sent[3], "x y z");
}

TEST(SettingsText, SavesOutOfRangeChoicesAsTheFallbacks) {
  SettingsValues v;
  v.station.pty = -1;  // a list with no selection
  EXPECT_EQ(SplitLines(FormatSettingsText(v))[1], "-1");
  const std::pair<int, std::string_view> ports[] = {{-1, "0"}, {0, "0"}, {1, "1"},
                                                    {3, "3"},  {4, "0"}, {7, "0"}};
  for (const auto& [index, line] : ports) {
    v.system.port_index = index;
    EXPECT_EQ(SplitLines(FormatSettingsText(v))[15], line) << index;
  }
}

// Refused unread and at once: a FIFO would block start-up for ever, a device like
// /dev/zero would be read until memory runs out.
TEST_F(SettingsFileTest, AFileThatCannotBeReadIsAnError) {
  struct Case {
    std::string name;
    std::function<void()> make;
  };
  for (const Case& c : std::vector<Case>{
           {"folder", [&] { fs::create_directory(path_); }},
           {"too large", [&] { Put(std::string(kSettingsFileLimit + 1, '1')); }},
#ifndef _WIN32
           {"FIFO", [&] { ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0); }},
           {"device", [&] { fs::create_symlink("/dev/zero", path_); }},
#endif
       }) {
    SCOPED_TRACE(c.name);
    fs::remove_all(path_);
    c.make();
    SettingsValues v;
    test_support::RunWithin(std::chrono::seconds(20), "loading a " + c.name, [&] {
      try {
        LoadSettingsFile(path_, v);
        ADD_FAILURE() << "no error";
      } catch (const CannotOpenFileError& e) {
        EXPECT_STREQ(e.what(), "Cannot open file tolvex.dat");
      }
    });
    EXPECT_EQ(Dump(v), Dump(SettingsValues{}));
  }
  fs::remove_all(path_);
  Put(std::string(kSettingsFileLimit, '1'));  // the largest file still read
  EXPECT_EQ(ReadSettingsText(path_).value().size(), kSettingsFileLimit);
}

TEST_F(SettingsFileTest, AFileThatCannotBeCreatedIsAnError) {
  const auto expect_create_error = [](const fs::path& path) {
    try {
      SaveSettingsFile(path, Sample());
      ADD_FAILURE() << "no error for " << path;
    } catch (const CannotCreateFileError& e) {
      EXPECT_STREQ(e.what(), "Cannot create file tolvex.dat");
    }
  };
  expect_create_error(folder_ / "no such folder" / "tolvex.dat");

  fs::create_directory(path_);
  expect_create_error(path_);
  fs::remove(path_);

  // Read-only: a rename would replace it without a word, so it must be refused first.
  Put(kFreshFile);
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  expect_create_error(path_);
  EXPECT_EQ(Bytes(), kFreshFile);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"tolvex.dat"});
}

#ifndef _WIN32  // POSIX permissions; links need privileges on Windows
TEST_F(SettingsFileTest, KeepsTheFilesPermissionsAndALinkToIt) {
  Put(kFreshFile);
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  SaveSettingsFile(path_, Sample());
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  const fs::path real = folder_ / "real.dat";
  fs::rename(path_, real);
  fs::create_symlink(real, path_);
  SaveSettingsFile(path_, SettingsValues{});
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(Bytes(), kFreshFile);

  // A link whose file does not exist yet: the file is created, the link stays.
  fs::remove(real);
  SaveSettingsFile(path_, SettingsValues{});
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(Bytes(), kFreshFile);
  fs::remove(path_);

  // A relative link names its file from the link's own folder, not from the current one.
  fs::create_directory(folder_ / "sub");
  fs::create_symlink(fs::path("sub") / "real.dat", path_);
  SaveSettingsFile(path_, SettingsValues{});
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(Bytes(), kFreshFile);
  fs::remove(path_);

  // Root saving a user's file leaves it the user's, or the user could never save again.
  if (geteuid() == 0) {
    Put(kFreshFile);
    ASSERT_EQ(chown(path_.c_str(), 12345, 23456), 0);
    SaveSettingsFile(path_, Sample());
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_gid, 23456u);
  }
}

// Another program that holds an advisory lock on the file is working with it.
TEST_F(SettingsFileTest, AFileLockedByAnotherProgramIsKeptByteForByte) {
  const std::string earlier = FormatSettingsText(Sample());
  for (const bool use_flock : {true, false}) {
    SCOPED_TRACE(use_flock ? "flock" : "fcntl");
    Put(earlier);
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(release[1]);  // so that the parent's close ends the wait below
      const int fd = open(path_.c_str(), O_RDWR);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      const bool locked = use_flock ? flock(fd, LOCK_EX) == 0 : fcntl(fd, F_SETLK, &lock) == 0;
      char byte = locked ? 1 : 0;
      if (write(ready[1], &byte, 1) != 1 || read(release[0], &byte, 1) < 0) _exit(1);
      _exit(0);
    }
    char locked = 0;
    ASSERT_EQ(read(ready[0], &locked, 1), 1);
    ASSERT_EQ(locked, 1);
    try {
      SaveSettingsFile(path_, SettingsValues{});
      ADD_FAILURE() << "saved over a locked file";
    } catch (const CannotCreateFileError& e) {
      EXPECT_STREQ(e.what(), "Cannot create file tolvex.dat");
    }
    close(release[1]);
    waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0]}) close(fd);
    EXPECT_EQ(Bytes(), earlier);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"tolvex.dat"});
    SaveSettingsFile(path_, SettingsValues{});  // free again once the lock is gone
    EXPECT_EQ(Bytes(), kFreshFile);
  }
}
#endif

// Passes the real platform's steps through, failing the one chosen.
class FailingReplacer : public FileReplacer {
 public:
  enum class Step { kWrite, kFinish, kCommit };
  FailingReplacer(Step step, std::size_t bytes_before_failure = 0)
      : step_(step), bytes_(bytes_before_failure) {}

  bool CanReplace(const fs::path& target) override {
    return PlatformFileReplacer().CanReplace(target);
  }

  std::unique_ptr<StagedFile> Stage(const fs::path& target) override {
    class Staged : public StagedFile {
     public:
      Staged(std::unique_ptr<StagedFile> real, Step step, std::size_t bytes)
          : real_(std::move(real)), step_(step), bytes_(bytes) {}
      bool Write(std::string_view b) override {
        if (step_ != Step::kWrite) return real_->Write(b);
        real_->Write(b.substr(0, bytes_));  // the disk fills up part-way
        return false;
      }
      bool Finish() override { return step_ != Step::kFinish && real_->Finish(); }
      bool Commit() override { return step_ != Step::kCommit && real_->Commit(); }

     private:
      std::unique_ptr<StagedFile> real_;
      Step step_;
      std::size_t bytes_;
    };
    auto real = PlatformFileReplacer().Stage(target);
    return real ? std::make_unique<Staged>(std::move(real), step_, bytes_) : nullptr;
  }

 private:
  Step step_;
  std::size_t bytes_;
};

TEST_F(SettingsFileTest, AFailedSaveKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
  const std::string earlier = FormatSettingsText(Sample());
  Put(earlier);
  struct Case {
    FailingReplacer::Step step;
    std::size_t bytes;
    std::string message;
  };
  for (const Case& c :
       std::vector<Case>{{FailingReplacer::Step::kWrite, 0, "Stream write error"},
                         {FailingReplacer::Step::kWrite, 40, "Stream write error"},
                         {FailingReplacer::Step::kFinish, 0, "Stream write error"},
                         {FailingReplacer::Step::kCommit, 0, "Cannot create file tolvex.dat"}}) {
    FailingReplacer replacer(c.step, c.bytes);
    try {
      SaveSettingsFile(path_, SettingsValues{}, replacer);
      ADD_FAILURE() << "no error";
    } catch (const SettingsFileError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(Bytes(), earlier);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"tolvex.dat"});
  }
}

#ifndef _WIN32
// The operating system's own refusal to let a file grow, as on a full disk.
TEST_F(SettingsFileTest, AFileSizeLimitHitPartWayKeepsTheEarlierFile) {
  const std::string earlier = FormatSettingsText(Sample());
  Put(earlier);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The signal is left as it is: the save itself must keep it from ending the program.
    const rlimit limit{50, 50};
    setrlimit(RLIMIT_FSIZE, &limit);
    SettingsValues big;
    big.last_sent.fill(std::string(100, 'x'));
    try {
      SaveSettingsFile(path_, big);
    } catch (const StreamWriteError&) {
      _exit(0);
    } catch (...) {
      _exit(2);
    }
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved despite the limit, 2: wrong error";
  EXPECT_EQ(Bytes(), earlier);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"tolvex.dat"});
}
#endif

#ifdef _WIN32
TEST_F(SettingsFileTest, AFileHeldByAnotherProgramIsKeptByteForByte) {
  const std::string earlier = FormatSettingsText(Sample());
  Put(earlier);
  // Another program's handle that lets others read but not write or delete.
  const HANDLE held = ::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  try {
    SaveSettingsFile(path_, SettingsValues{});
    ADD_FAILURE() << "saved over a held file";
  } catch (const CannotCreateFileError& e) {
    EXPECT_STREQ(e.what(), "Cannot create file tolvex.dat");
  }
  ::CloseHandle(held);
  EXPECT_EQ(Bytes(), earlier);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"tolvex.dat"});
}

TEST_F(SettingsFileTest, AFolderNamedInAnyScriptIsSavedAndLoaded) {
  const fs::path folder =
      folder_ / fs::path(u8"\u0421\u0442\u0430\u043d\u0446\u0438\u044f \u96fb\u53f0");
  fs::create_directory(folder);
  SaveSettingsFile(SettingsFilePath(folder), Sample());
  SettingsValues loaded;
  EXPECT_TRUE(LoadSettingsFile(SettingsFilePath(folder), loaded).file_used);
  EXPECT_EQ(Dump(loaded), Dump(Sample()));
  SaveSettingsFile(SettingsFilePath(folder), SettingsValues{});  // replaces it there too
  EXPECT_EQ(fs::directory_iterator(folder)->path().filename(), "tolvex.dat");
}
#endif

}  // namespace
}  // namespace app
