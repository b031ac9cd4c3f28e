// What KSeF sending needs from the operating system, kept small so that the
// Windows build only supplies its own platform_win32.cpp: a TCP connection
// with deadlines, the system's trusted roots, random bytes, file locks and
// files that reach the disk whole.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kw::ksef::platform {

using Clock = std::chrono::steady_clock;

// A TCP connection; closed when it goes.
class TcpConnection {
 public:
  TcpConnection() = default;
  ~TcpConnection();
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // False with `error` set when no address of `host` answered by `deadline`.
  bool connect(const std::string& host, uint16_t port, Clock::time_point deadline, std::string& error);
  // Bytes written (> 0); -1 on a failure, -2 when the deadline passed.
  long sendSome(const unsigned char* data, size_t size, Clock::time_point deadline);
  // Bytes read (> 0); 0 when the peer closed; -1 on a failure, -2 when the deadline passed.
  long receiveSome(unsigned char* data, size_t size, Clock::time_point deadline);
  void close();

 private:
  intptr_t handle_ = -1;
};

// The system's trusted roots: PEM text or DER certificates, one per entry
// (natively the Debian bundle, found where it is); empty when none are found.
std::vector<std::string> systemRootCertificates();

// Random bytes from the operating system; false when it has none to give.
bool randomBytes(unsigned char* data, size_t size);

// An exclusive lock on a file (created empty when absent), held until this
// goes. Another process, or another thread of this one, waits; a lock whose
// holder died is released by the system.
class FileLock {
 public:
  enum class Got { Locked, Busy, Failed };
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Tries until `deadline`; Busy when someone else still holds it then.
  Got acquire(const std::string& path, Clock::time_point deadline);

 private:
  intptr_t handle_ = -1;
};

// Appends `text` to the file (created when absent) and flushes it to the
// disk before returning true.
bool appendDurably(const std::string& path, const std::string& text);

// Writes `data` under a new name of this process's own in `folder`, flushes
// it to the disk and renames it to `name` (replacing an earlier file). A
// failed write leaves no file behind and the earlier one as it was.
bool replaceFileDurably(const std::string& folder, const std::string& name, const std::string& data);

// The file's bytes, at most `limit`; false when it cannot be read or is longer.
bool readWholeFile(const std::string& path, size_t limit, std::string& data);

bool fileExists(const std::string& path);

// `name` inside `folder`.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace kw::ksef::platform
