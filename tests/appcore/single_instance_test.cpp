#include "appcore/single_instance.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace {

// A name of this test run's own, so that a running program is neither disturbed nor seen.
std::string TestName() {
  static const std::string name = "rdsq7-test-" + std::to_string(std::random_device{}());
  return name;
}

TEST(SingleInstance, TheHolderRefusesASecondOneUntilItLetsGo) {
  std::optional<app::SingleInstance> first;
  first.emplace(TestName());
  EXPECT_FALSE(first->AlreadyRunning());
  {
    app::SingleInstance second(TestName());
    EXPECT_TRUE(second.AlreadyRunning());
    app::SingleInstance third(TestName());
    EXPECT_TRUE(third.AlreadyRunning());
  }
  // A refused start does not take the object from the holder.
  EXPECT_TRUE(app::SingleInstance(TestName()).AlreadyRunning());

  first.reset();  // as when the first process ends
  app::SingleInstance next(TestName());
  EXPECT_FALSE(next.AlreadyRunning());
}

TEST(SingleInstance, DifferentNamesDoNotMeet) {
  app::SingleInstance one(TestName() + "-a");
  app::SingleInstance other(TestName() + "-b");
  EXPECT_FALSE(one.AlreadyRunning());
  EXPECT_FALSE(other.AlreadyRunning());
}

#ifdef _WIN32
// The holder program beside this test program.
std::wstring HolderPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"instance_holder.exe";
}

TEST(SingleInstance, AnotherProcessRefusesUntilItIsKilled) {
  const std::string name = TestName() + "-process";
  std::wstring command = L"\"" + HolderPath() + L"\" " + std::wstring(name.begin(), name.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  bool refused = false;
  for (int i = 0; i < 200 && !refused; ++i) {
    refused = app::SingleInstance(name).AlreadyRunning();
    if (!refused) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(refused) << "the holder never took the name";
  TerminateProcess(process.hProcess, 9);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // Killed, not ended: the system still frees the name for the next start.
  EXPECT_FALSE(app::SingleInstance(name).AlreadyRunning());
}
#endif

}  // namespace
