#pragma once

#include <QString>

#include "appcore/file_folders.h"

namespace app {

// The folder of the program's executable, ending in a path separator ('/'; Qt paths use it
// on every platform). It holds the settings, translation and help files.
QString ExecutableFolder();

// The program folder as set at start-up; empty before that.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);

// Where the settings file, the help text and the translation are for the executable's
// folder (see FoldersForExecutable in appcore/file_folders.h).
FileFolders ProgramFileFolders();

// The path of the help text or the translation: the user's own copy when there is one and
// the program folder is not theirs to write, else the one beside the executable.
QString DataFilePath(const char* name);

// The sample translation for the language of a locale name ("de_DE" gives
// translations/vuvur.de.lng) in the first of the lookup folders that has it; empty when
// none has, and for "C".
QString SampleTranslationPath(const QString& locale_name);

// Makes ExecutableFolder() answer folder instead (tests); an empty folder ends that.
void OverrideExecutableFolderForTesting(const QString& folder);

}  // namespace app
