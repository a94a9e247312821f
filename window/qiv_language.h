#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <stdexcept>

class QWidget;

namespace app {

// A text the translation file gives could not be set; ends the translation.
class TranslationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr char kLanguageFileName[] = "vuvur.lng";

// Translates the fixed texts of a window from the file "vuvur.lng" beside the executable.
//
// The file's section "TRANSLATIONS" holds lines "Window.Component.Property=Text". The
// window part must equal the window's objectName exactly; the component is the window's
// descendant widget of that objectName (letter case ignored, the first one in creation
// order) and must carry a dynamic int property "Tag" greater than 0; the property is
// matched ignoring case and must hold one text:
// - "Caption": a label's or button's text, a group box's title, a tab page's tab text;
// - "Hint": the tooltip;
// - any writable QString property of the widget's class ("text", "toolTip", ...), except
//   those that would break the program ("objectName", "styleSheet", "inputMask").
// "~~" in a text is a line break. Entries that match nothing are skipped silently. Texts
// are Windows-1252 in the file.
// A translation file is a few KB; a larger one than this is refused unread.
inline constexpr std::size_t kLanguageFileLimit = 1024 * 1024;

class TqivLanguage : public QObject {
  Q_OBJECT

 public:
  explicit TqivLanguage(QObject* parent = nullptr);

  // Full path of the translation file, set by TranslateForm.
  QString LanguageFile;

  // Translates the window from "vuvur.lng" in the program folder, or, without it, from the
  // fallback file when one is set and exists; without either nothing changes. Throws
  // TranslationError when a text cannot be set.
  void TranslateForm(QWidget& form);

  // Reads the file at path and applies it to the window. Throws TranslationError when a
  // text cannot be set; the entries after it are not applied.
  void ApplyLanguageFile(QWidget& form, const QString& path);

  // The folder TranslateForm looks in; the executable's folder unless set.
  void SetProgramFolder(const QString& folder) { program_folder_ = folder; }
  // The file used when the program folder holds no "vuvur.lng" (the sample translation for
  // the user's language); empty for none.
  void SetFallbackFile(const QString& path) { fallback_file_ = path; }

 private:
  QString program_folder_;
  QString fallback_file_;
};

}  // namespace app
