// Shared helpers of the unit tests: a fresh host and a scratch directory.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "database.h"
#include "host_state.h"
#include "scan_checks.h"
#include "tables.h"
#include "plugin_names.h"

namespace testing_support {

// Runs a test inside a new empty directory, with the host's state reset.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    previous_ = fs::current_path();
    static unsigned counter = 0;
    for (;;) {
      dir_ = fs::temp_directory_path() /
             ("kwtest-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              std::to_string(reinterpret_cast<uintptr_t>(&counter) % 100000) + "-" + std::to_string(++counter) + "-" +
              std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
      std::error_code error;
      if (fs::create_directory(dir_, error)) break;
    }
    fs::current_path(dir_);
    welkor::state() = welkor::HostState{};
  }
  void TearDown() override {
    // Every test that drives the plug-in also checks the host's protocol.
    if (checkProtocol_) {
      EXPECT_EQ(welkor::state().protocolErrors, 0) << "the plug-in broke the host's protocol: see the WELKOR lines";
    }
    std::error_code error;
    std::filesystem::current_path(previous_, error);
    std::filesystem::remove_all(dir_, error);
  }

  // The host's records from a database in its JSON form, with its tables
  // opened and its scan checks new.
  void useDatabase(const std::string& json) {
    welkor::state().db = welkor::parseDatabase(json, "test");
    welkor::tables().open(welkor::state().db);
    welkor::scanChecks() = {};
  }

  std::filesystem::path dir_;
  std::filesystem::path previous_;
  bool checkProtocol_ = true;  // off in tests that break the protocol on purpose
};

// Sets the host's fixed moment (WELKOR_NOW); null removes it.
inline void setNow(const char* moment) {
#if defined(_WIN32)
  _putenv_s("WELKOR_NOW", moment ? moment : "");
#else
  if (moment)
    setenv("WELKOR_NOW", moment, 1);
  else
    unsetenv("WELKOR_NOW");
#endif
}

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
