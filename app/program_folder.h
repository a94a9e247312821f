#pragma once

#include <QString>

namespace app {

// The folder of the program's executable, ending in a path separator ('/'; Qt paths use it
// on every platform). It holds the settings, translation and help files.
QString ExecutableFolder();

// The program folder as set at start-up; empty before that.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);

// Makes ExecutableFolder() answer folder instead (tests); an empty folder ends that.
void OverrideExecutableFolderForTesting(const QString& folder);

}  // namespace app
