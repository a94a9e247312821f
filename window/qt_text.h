#pragma once

#include <QString>
#include <QTextDocument>
#include <string>
#include <string_view>

#include "rds/cp1252.h"

namespace app {

// Texts the program stores or sends are bytes of its 8-bit character set (Windows-1252);
// Qt shows them as QString.
inline QString FromCp1252(std::string_view bytes) {
  return QString::fromStdString(rds::Cp1252ToUtf8(bytes));
}

// A character the 8-bit character set cannot hold becomes "?"; the window's boxes refuse
// such characters, so only text from elsewhere can lose one.
inline std::string ToCp1252(const QString& text) {
  std::string bytes;
  for (const char32_t cp : text.toUcs4()) {
    const auto byte = rds::UnicodeToCp1252(cp);
    bytes += byte ? static_cast<char>(*byte) : '?';
  }
  return bytes;
}

// Tooltips have no plain-text switch: Qt shows one as rich text when it looks like markup.
// Such a text is escaped and wrapped in a paragraph that keeps its line breaks, so that
// outside text (a translation) shows as typed and never loads anything.
inline QString PlainToolTip(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
         QStringLiteral("</p>");
}

}  // namespace app
