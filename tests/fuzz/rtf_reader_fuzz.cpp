// libFuzzer target for the help text's RTF reader and the layout of what it builds (built
// with -DRDSQ7_FUZZ=ON and clang; runs on Qt's offscreen platform). Paragraphs must stay
// within the reader's limits, whatever the input.
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <cstdint>
#include <cstdlib>

#include "window/rtf_reader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication application(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray rtf = "{\\rtf1 ";
  rtf += QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QTextDocument document;
  app::LoadRichOrPlainText(rtf, document);
  document.setTextWidth(300);
  document.size();  // lays out every paragraph
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.length() > 4001 || block.textFormats().size() > 200) std::abort();
    for (const auto& range : block.textFormats()) {
      if (range.format.fontPointSize() > 72.0) std::abort();
    }
  }
  // The same bytes as a plain-text help file.
  app::LoadRichOrPlainText(rtf.mid(1), document);
  document.size();
  return 0;
}
