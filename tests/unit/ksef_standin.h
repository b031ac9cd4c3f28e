// The stand-in KSeF (tests/ksef/standin.py) run beside a test: started with
// one seller's token, its state (knobs, accepted invoices, log) in a folder
// of its own that goes with it. Native builds only.
#pragma once

#if !defined(_WIN32)

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "external_tools.h"
#include "test_support.h"

namespace testing_support {

class KsefStandIn {
 public:
  KsefStandIn(const std::string& nip, const std::string& token) {
    namespace fs = std::filesystem;
    state_ = fs::temp_directory_path() / ("kw-ksef-standin-" + std::to_string(::getpid()) + "-" +
                                          std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(state_);
    std::string command = "exec " + quoted(python()) + " " + quoted(script().string()) + " " +
                          quoted(state_.string()) + " --token " + quoted(nip + "=" + token) + " 2>>" +
                          quoted((state_ / "standin.log").string());
    process_ = std::make_unique<BackgroundProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
    for (int i = 0; i < 400 && process_->running(); ++i) {
      std::string port = readFile(state_ / "port");
      if (!port.empty()) {
        base_ = "https://localhost:" + std::to_string(std::stoi(port)) + "/v2";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~KsefStandIn() {
    process_.reset();
    std::error_code error;
    std::filesystem::remove_all(state_, error);
  }
  KsefStandIn(const KsefStandIn&) = delete;
  KsefStandIn& operator=(const KsefStandIn&) = delete;

  // Whether it can run here: the script and the FA(3) schemas beside the sources.
  static bool available() {
    return std::filesystem::exists(script()) &&
           std::filesystem::exists(std::filesystem::path(testsFolder()) / ".." / ".." / "shared" / "ksef" /
                                   "schemas" / "schemat.xsd");
  }

  bool up() const { return !base_.empty(); }
  const std::string& base() const { return base_; }
  const std::filesystem::path& state() const { return state_; }
  std::filesystem::path rootCertificate() const { return state_ / "ca.pem"; }
  void knobs(const nlohmann::json& value) {
    const std::filesystem::path path = state_ / "knobs.json";
    std::ofstream(path.string() + ".tmp", std::ios::binary) << value.dump();
    std::filesystem::rename(path.string() + ".tmp", path);
  }
  // KSeF numbers of the accepted invoices of this number.
  std::vector<std::string> accepted(const std::string& number) const {
    std::vector<std::string> numbers;
    std::string text = readFile(state_ / "accepted.json");
    if (text.empty()) return numbers;
    for (const nlohmann::json& record : nlohmann::json::parse(text))
      if (record.value("invoiceNumber", "") == number) numbers.push_back(record.value("ksefNumber", ""));
    return numbers;
  }

 private:
  static std::filesystem::path script() { return std::filesystem::path(testsFolder()) / "ksef" / "standin.py"; }

  std::filesystem::path state_;
  std::string base_;
  std::unique_ptr<BackgroundProcess> process_;
};

}  // namespace testing_support

#endif
