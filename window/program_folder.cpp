#include "window/program_folder.h"

#include <QCoreApplication>
#include <filesystem>

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

QString SampleTranslationPath(const QString& locale_name) {
  const QString language = locale_name.section(u'_', 0, 0).toLower();
  // Letters only, so a strange locale name never leads out of the folder.
  if (language.size() < 2 || language.size() > 3) return {};
  for (const QChar c : language) {
    if (c < u'a' || c > u'z') return {};
  }
  const std::filesystem::path found = FindFile(
      ProgramFileFolders().lookup, "translations/vuvur." + language.toStdString() + ".lng");
  std::error_code error;
  if (!std::filesystem::exists(found, error)) return {};
  return QString::fromStdU16String(found.u16string());
}

void OverrideExecutableFolderForTesting(const QString& folder) {
  g_executable_folder_override = folder.isEmpty() ? QString() : WithSeparator(folder);
}

}  // namespace app
