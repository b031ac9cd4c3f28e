// Shared helpers of the unit tests: a fresh host and a scratch directory.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "host_state.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace testing_support {

// Runs a test inside a new empty directory, with the host's state reset.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char buffer[4096];
#if defined(_WIN32)
    previous_ = _getcwd(buffer, sizeof buffer);
    char name[] = "kwtestXXXXXX";
    dir_ = _mktemp(name);
    _mkdir(dir_.c_str());
    ASSERT_EQ(_chdir(dir_.c_str()), 0);
#else
    previous_ = getcwd(buffer, sizeof buffer);
    char name[] = "/tmp/kwtestXXXXXX";
    dir_ = mkdtemp(name);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
#endif
    welkor::state() = welkor::HostState{};
  }
  void TearDown() override {
#if defined(_WIN32)
    (void)_chdir(previous_.c_str());
#else
    (void)chdir(previous_.c_str());
    std::string command = "rm -rf '" + dir_ + "'";
    (void)std::system(command.c_str());
#endif
  }

  std::string dir_;
  std::string previous_;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

}  // namespace testing_support
