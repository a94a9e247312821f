// libFuzzer target for the settings file loader (built with -DRDSQ7_FUZZ=ON and clang).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "appcore/settings_file.h"
#include "tests/appcore/settings_values_dump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string problem = app::CheckLoadRoundTrip(bytes);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  // Loading onto values that are not a fresh window's must not trip over anything either.
  app::SettingsValues checked;
  checked.station.di = {true, true, true, true};
  checked.system = {true, 3, true};
  app::ApplySettingsText(bytes, checked);
  return 0;
}
