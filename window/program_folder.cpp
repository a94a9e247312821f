#include "window/program_folder.h"

#include <QCoreApplication>

namespace app {
namespace {

QString g_program_folder;
QString g_executable_folder_override;

QString WithSeparator(QString folder) {
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

}  // namespace

QString ExecutableFolder() {
  if (!g_executable_folder_override.isEmpty()) return g_executable_folder_override;
  return WithSeparator(QCoreApplication::applicationDirPath());
}

QString ProgramFolder() {
  return g_program_folder;
}

void SetProgramFolder(const QString& folder) {
  g_program_folder = folder;
}

FileFolders ProgramFileFolders() {
  return FoldersForExecutable(std::filesystem::path(ExecutableFolder().toStdU16String()),
                              MayWriteFolder, SystemEnvironment());
}

QString DataFilePath(const char* name) {
  return QString::fromStdU16String(FindFile(ProgramFileFolders().lookup, name).u16string());
}

void OverrideExecutableFolderForTesting(const QString& folder) {
  g_executable_folder_override = folder.isEmpty() ? QString() : WithSeparator(folder);
}

}  // namespace app
