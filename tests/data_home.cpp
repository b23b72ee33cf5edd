#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

// GLib reads XDG_DATA_HOME once per process, so the whole test process shares one data
// folder (and so one trash), made before any test runs.
class DataHome : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/kelvaron-data-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

 private:
  std::string dir_;
};

[[maybe_unused]] ::testing::Environment* const kDataHome =
    ::testing::AddGlobalTestEnvironment(new DataHome);

}  // namespace
