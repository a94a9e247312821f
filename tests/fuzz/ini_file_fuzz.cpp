// libFuzzer target for the translation file's reader (built with -DRDSQ7_FUZZ=ON and clang).
// Checks what must hold for any file: each listed key has a value no longer than the limit,
// and the key names fit the key list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "appcore/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const app::IniFile ini(std::string_view(reinterpret_cast<const char*>(data), size));
  std::size_t listed = 0;
  for (const app::IniEntry& entry : app::ReadSectionEntries(ini, "TRANSLATIONS")) {
    listed += entry.key.size() + 1;
    if (entry.key.empty() || entry.value.size() > app::IniFile::kValueLimit ||
        entry.value != ini.Value("TRANSLATIONS", entry.key).value_or("<none>")) {
      std::fprintf(stderr, "bad entry for key '%s'\n", entry.key.c_str());
      std::abort();
    }
  }
  if (listed > app::IniFile::kKeyListBytes - 1) std::abort();
  return 0;
}
