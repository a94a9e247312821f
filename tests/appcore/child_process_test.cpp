#include "appcore/child_process.h"

#include <gtest/gtest.h>

namespace app {
namespace {

std::string ReadAll(ChildProcess& child) {
  std::string out;
  char buffer[64];
  while (const std::size_t n = child.Read(buffer, sizeof buffer)) out.append(buffer, n);
  return out;
}

// The command's own output, and its exit status as the shell would tell it.
TEST(ChildProcess, GivesTheOutputAndTheExitStatusAsTheCommandSetIt) {
  struct Case {
    std::string command;
    std::string ending;
  };
  const Case cases[] = {
      {"echo mpx", "exited with status 0"},
      {"echo mpx&& exit 3", "exited with status 3"},
      {"echo mpx&& exit 255", "exited with status 255"},
#ifndef _WIN32
      {"echo mpx; kill -TERM $$", "ended by signal 15"},
#endif
  };
  for (const Case& c : cases) {
    ChildProcess child(c.command);
    EXPECT_EQ(ReadAll(child).substr(0, 3), "mpx") << c.command;
    EXPECT_EQ(child.Ending(), c.ending) << c.command;
  }
}

}  // namespace
}  // namespace app
