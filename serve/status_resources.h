#pragma once

#include <string_view>

// Files built into serve (made by cmake/embed_text.cmake from the source tree).
namespace serve::resources {

extern const std::string_view kStatusPage;  // serve/status_page.html
// translations/status-page.LANG.ini: the page's texts.
extern const std::string_view kPageTextsEn;
extern const std::string_view kPageTextsDe;
extern const std::string_view kPageTextsFr;

}  // namespace serve::resources
