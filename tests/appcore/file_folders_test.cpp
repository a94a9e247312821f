#include "appcore/file_folders.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <ostream>
#include <string>

#include "appcore/settings_file.h"

namespace app {

void PrintTo(const FileFolders& folders, std::ostream* out) {
  *out << "settings " << folders.settings << ", lookup";
  for (const std::filesystem::path& folder : folders.lookup) *out << ' ' << folder;
  if (!folders.earlier_settings.empty()) *out << ", earlier " << folders.earlier_settings;
}

namespace {

namespace fs = std::filesystem;

class FileFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::path(::testing::TempDir()) / "rdsq7_folders" / info->name();
    program_ = root_ / "program";
    fs::remove_all(root_);
    fs::create_directories(program_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // The environment holds exactly these variables.
  static Environment With(std::map<std::string, fs::path> variables) {
    return [variables](std::string_view name) -> std::optional<fs::path> {
      const auto found = variables.find(std::string(name));
      if (found == variables.end()) return std::nullopt;
      return found->second;
    };
  }

  static FolderWriteProbe Writable(bool answer) {
    return [answer](const fs::path&) { return answer; };
  }

  static void Put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  fs::path root_;
  fs::path program_;
};

#ifdef _WIN32
constexpr const char* kUserVariable = "APPDATA";
#else
constexpr const char* kUserVariable = "XDG_CONFIG_HOME";
#endif

TEST_F(FileFoldersTest, TheProgramFolderHoldsEverythingWhenTheProgramMayWriteIt) {
  const fs::path user = root_ / "user";
  const FileFolders folders =
      ChooseFileFolders(program_, Writable(true), With({{kUserVariable, user}, {"HOME", user}}));
  EXPECT_EQ(folders, (FileFolders{program_, {program_}}));
}

TEST_F(FileFoldersTest, AReadOnlyProgramFolderLeavesTheSettingsToTheUsersFolder) {
  const fs::path config = root_ / "config";
  const fs::path home = root_ / "home";
  struct Case {
    const char* what;
    std::map<std::string, fs::path> environment;
    fs::path settings;  // empty: the program folder, as before
  };
  const std::vector<Case> cases = {
#ifdef _WIN32
      {"APPDATA", {{"APPDATA", config}}, config / "rdsq7"},
      {"relative APPDATA", {{"APPDATA", "config"}}, {}},
      {"HOME is no Windows folder", {{"HOME", home}}, {}},
#else
      {"XDG_CONFIG_HOME", {{"XDG_CONFIG_HOME", config}, {"HOME", home}}, config / "rdsq7"},
      {"no XDG_CONFIG_HOME", {{"HOME", home}}, home / ".config" / "rdsq7"},
      {"empty XDG_CONFIG_HOME",
       {{"XDG_CONFIG_HOME", ""}, {"HOME", home}},
       home / ".config" / "rdsq7"},
      {"relative XDG_CONFIG_HOME",
       {{"XDG_CONFIG_HOME", "config"}, {"HOME", home}},
       home / ".config" / "rdsq7"},
      {"relative HOME", {{"HOME", "home"}}, {}},
#endif
      {"no environment", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const FileFolders folders = ChooseFileFolders(program_, Writable(false), With(c.environment));
    if (c.settings.empty()) {
      EXPECT_EQ(folders, (FileFolders{program_, {program_}}));
    } else {
      EXPECT_EQ(folders, (FileFolders{c.settings, {c.settings, program_}}));
    }
  }
}

TEST_F(FileFoldersTest, AnInstalledProgramHasItsDataInShareAndTheSettingsInTheUsersFolder) {
#ifdef _WIN32
  GTEST_SKIP() << "an installed Windows program keeps its data beside itself";
#else
  const fs::path bin = root_ / "bin", data = root_ / "share" / "rdsq7", user = root_ / "user";
  fs::create_directories(bin);
  const Environment environment = With({{kUserVariable, user}});
  // A build folder or a portable copy: no data folder, its own folder holds everything.
  EXPECT_EQ(FoldersForExecutable(bin, Writable(true), environment), (FileFolders{bin, {bin}}));
  fs::create_directories(data);
  // Installed: even for one who may write the system's folders (root), and with the
  // separator at the end as the window gives its folder.
  const FileFolders installed{user / "rdsq7", {user / "rdsq7", data}};
  EXPECT_EQ(FoldersForExecutable(bin, Writable(true), environment), installed);
  EXPECT_EQ(FoldersForExecutable(bin / "", Writable(true), environment), installed);
#endif
}

TEST_F(FileFoldersTest, AnInstalledWindowsCopyKeepsItsSettingsInTheUsersFolderEvenElevated) {
  const fs::path programs = root_ / "Program Files", user = root_ / "user";
  struct Case {
    const char* what;
    fs::path folder;
    std::map<std::string, fs::path> environment;
    bool marker;     // the installer's uninstaller lies in the folder
    bool installed;  // so the user folder holds the settings, whoever runs it
  };
  const std::vector<Case> cases = {
      {"the installer's marker", root_ / "Tools" / "rdsq7", {{"APPDATA", user}}, true, true},
      {"under Program Files, another case and a trailing separator",
       root_ / "PROGRAM FILES" / "rdsq7" / "",
       {{"APPDATA", user}, {"ProgramFiles", programs}},
       false,
       true},
      {"under the 32-bit program folder",
       root_ / "Program Files (x86)" / "rdsq7",
       {{"APPDATA", user}, {"ProgramFiles(x86)", root_ / "Program Files (x86)"}},
       false,
       true},
      {"a portable copy elsewhere",
       root_ / "Downloads" / "rdsq7",
       {{"APPDATA", user}, {"ProgramFiles", programs}},
       false,
       false},
      {"a folder whose name only starts alike",
       root_ / "Program Files2" / "rdsq7",
       {{"APPDATA", user}, {"ProgramFiles", programs}},
       false,
       false},
      {"a relative ProgramFiles", root_ / "rdsq7", {{"ProgramFiles", "rdsq7"}}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(c.folder);
    if (c.marker) Put(c.folder / kInstallerMarker, "");
    const Environment environment = With(c.environment);
    EXPECT_EQ(IsInstalledWindowsFolder(c.folder, environment), c.installed);
#ifdef _WIN32
    const FileFolders folders = FoldersForExecutable(c.folder, Writable(true), environment);
    if (c.installed) {
      EXPECT_EQ(folders, (FileFolders{user / "rdsq7", {user / "rdsq7", c.folder}, c.folder}));
    } else {
      EXPECT_EQ(folders, (FileFolders{c.folder, {c.folder}}));
    }
#endif
  }
}

TEST_F(FileFoldersTest, SettingsAnInstalledCopySavedBesideItselfCarryOverOnce) {
  const fs::path user = root_ / "user";
  const FileFolders folders{user, {user, program_}, program_};
  EXPECT_EQ(SettingsFileToRead(folders), user / kSettingsFileName) << "neither file exists";
  Put(program_ / kSettingsFileName, "earlier");
  EXPECT_EQ(SettingsFileToRead(folders), program_ / kSettingsFileName);
  Put(user / kSettingsFileName, "the user's");
  EXPECT_EQ(SettingsFileToRead(folders), user / kSettingsFileName);
  EXPECT_EQ(SettingsFileToRead(FileFolders{program_, {program_}}), program_ / kSettingsFileName);
}

TEST_F(FileFoldersTest, TheUsersOwnHelpAndTranslationComeBeforeTheInstalledOnes) {
  const fs::path user = root_ / "user";
  const std::vector<fs::path> lookup = {user, program_};
  Put(program_ / "tvxhelp.rtf", "installed");
  Put(program_ / "vuvur.lng", "installed");
  Put(user / "vuvur.lng", "the user's");
  EXPECT_EQ(FindFile(lookup, "vuvur.lng"), user / "vuvur.lng");
  EXPECT_EQ(FindFile(lookup, "tvxhelp.rtf"), program_ / "tvxhelp.rtf");
  EXPECT_EQ(FindFile(lookup, "missing.txt"), user / "missing.txt");
}

TEST_F(FileFoldersTest, TheUsersFolderIsCreatedOnTheFirstSave) {
  const fs::path config = root_ / "config";
  const FileFolders folders =
      ChooseFileFolders(program_, Writable(false), With({{kUserVariable, config}}));
  const fs::path path = SettingsFilePath(folders.settings);
  EXPECT_EQ(path, config / "rdsq7" / "tolvex.dat");
  EXPECT_FALSE(fs::exists(config)) << "choosing creates nothing";

  SettingsValues values;
  values.station.ps = "SAVED";
  EXPECT_FALSE(LoadSettingsFile(path, values).file_used);
  CreateSettingsFolder(folders);
  SaveSettingsFile(path, values);

  SettingsValues loaded;
  EXPECT_TRUE(LoadSettingsFile(path, loaded).file_used);
  EXPECT_EQ(loaded.station.ps, "SAVED");
  EXPECT_TRUE(fs::is_empty(program_)) << "the program folder stays as installed";
}

TEST_F(FileFoldersTest, TheSystemProbeTellsAWritableFolderFromAMissingOne) {
  EXPECT_TRUE(MayWriteFolder(program_));
  EXPECT_FALSE(MayWriteFolder(root_ / "missing"));
  EXPECT_TRUE(fs::is_empty(program_)) << "the probe leaves nothing behind";
}

}  // namespace
}  // namespace app
