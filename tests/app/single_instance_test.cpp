#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

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

}  // namespace
