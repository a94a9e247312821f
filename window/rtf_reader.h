#pragma once

#include <QByteArray>

class QTextDocument;

namespace app {

// True when the data is rich text: it starts with "{\rtf".
bool IsRtf(const QByteArray& data);

// Replaces the document's content with the text and formatting of an RTF file: paragraphs,
// line breaks, tabs, bold, italic, underline, strike-out, font size, font family, text and
// highlight colours, alignment and indents. \'hh escapes are Windows-1252; \uN is Unicode.
// Pictures, objects, document information, style sheets and every \* destination are
// skipped. Malformed input never fails: it yields whatever text could be read.
void ReadRtf(const QByteArray& rtf, QTextDocument& document);

// A help file: RTF when IsRtf, otherwise plain text in the program's 8-bit character set
// (UTF-8 when it starts with a UTF-8 byte order mark).
void LoadRichOrPlainText(const QByteArray& data, QTextDocument& document);

}  // namespace app
