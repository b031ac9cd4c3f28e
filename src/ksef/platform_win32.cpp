// The Windows side of KSeF sending's system layer. Winsock, the system's
// certificate store and the random source are in libraries the host does not
// load for us; they are loaded on the first send, so that the DLL's import
// table stays KERNEL32, USER32 and msvcrt and a user who never sends loads
// nothing new. Files: LockFileEx, FlushFileBuffers, MoveFileEx.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <mutex>
#include <type_traits>

#include "ksef/platform.h"

namespace kw::ksef::platform {

namespace {

// A function of a system library, found on first use; null when the library
// or the function is not there (the caller reports that as a failure).
template <typename Function>
Function systemFunction(const char* library, const char* name) {
  HMODULE module = ::LoadLibraryA(library);  // kept loaded for the process's life
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

struct Winsock {
  decltype(&::WSAStartup) startup = nullptr;
  decltype(&::WSAGetLastError) lastError = nullptr;
  decltype(&::getaddrinfo) getaddrinfo = nullptr;
  decltype(&::freeaddrinfo) freeaddrinfo = nullptr;
  decltype(&::socket) socket = nullptr;
  decltype(&::connect) connect = nullptr;
  decltype(&::ioctlsocket) ioctlsocket = nullptr;
  decltype(&::setsockopt) setsockopt = nullptr;
  decltype(&::getsockopt) getsockopt = nullptr;
  decltype(&::send) send = nullptr;
  decltype(&::recv) recv = nullptr;
  decltype(&::closesocket) closesocket = nullptr;
  decltype(&::select) select = nullptr;
  bool ready = false;
};

const Winsock& winsock() {
  static Winsock w;
  static std::once_flag once;
  std::call_once(once, [] {
    bool found = true;
    auto find = [&found](auto& function, const char* name) {
      function = systemFunction<std::remove_reference_t<decltype(function)>>("ws2_32.dll", name);
      found = found && function;
    };
    find(w.startup, "WSAStartup");
    find(w.lastError, "WSAGetLastError");
    find(w.getaddrinfo, "getaddrinfo");
    find(w.freeaddrinfo, "freeaddrinfo");
    find(w.socket, "socket");
    find(w.connect, "connect");
    find(w.ioctlsocket, "ioctlsocket");
    find(w.setsockopt, "setsockopt");
    find(w.getsockopt, "getsockopt");
    find(w.send, "send");
    find(w.recv, "recv");
    find(w.closesocket, "closesocket");
    find(w.select, "select");
    WSADATA data;
    // Started once and never cleaned up: the host may unload us while another thread still sends.
    w.ready = found && w.startup(MAKEWORD(2, 2), &data) == 0;
  });
  return w;
}

int millisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

enum class Ready { Read, Write };

// Waits until the socket is ready; false when the deadline passed first.
// select, not WSAPoll: before Windows 10 2004, WSAPoll does not report a
// refused connection, which select reports among the exceptions.
bool waitFor(SOCKET socket, Ready ready, Clock::time_point deadline) {
  fd_set wanted, failed;
  FD_ZERO(&wanted);
  FD_SET(socket, &wanted);
  FD_ZERO(&failed);
  FD_SET(socket, &failed);
  int milliseconds = millisecondsUntil(deadline);
  timeval limit{milliseconds / 1000, milliseconds % 1000 * 1000};
  int n = winsock().select(0, ready == Ready::Read ? &wanted : nullptr, ready == Ready::Write ? &wanted : nullptr,
                           &failed, &limit);
  return n != 0;  // a failure is reported by the call that follows
}

bool writeAll(HANDLE file, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 20)), written = 0;
    if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

// Another process (a reader on another workstation, a virus scanner) may
// hold a file for a moment; an operation that meets that is tried again.
bool transient(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

}  // namespace

TcpConnection::~TcpConnection() { close(); }

void TcpConnection::close() {
  if (handle_ != -1) winsock().closesocket(static_cast<SOCKET>(handle_));
  handle_ = -1;
}

bool TcpConnection::connect(const std::string& host, uint16_t port, Clock::time_point deadline, std::string& error) {
  close();
  const Winsock& w = winsock();
  if (!w.ready) {
    error = "the system's network library (ws2_32.dll) cannot be used";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int status = w.getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0) {
    error = "cannot resolve " + host + " (error " + std::to_string(status) + ")";
    return false;
  }
  error = "cannot connect to " + host + ":" + std::to_string(port);
  for (addrinfo* a = found; a; a = a->ai_next) {
    SOCKET s = w.socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) continue;
    u_long nonBlocking = 1;
    w.ioctlsocket(s, FIONBIO, &nonBlocking);
    int result = w.connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen));
    int failure = result == 0 ? 0 : w.lastError();
    if (failure == WSAEWOULDBLOCK) {
      if (!waitFor(s, Ready::Write, deadline)) {
        w.closesocket(s);
        error += ": timed out";
        break;
      }
      int length = sizeof failure;
      if (w.getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &length) != 0) failure = -1;
    }
    if (failure == 0) {
      BOOL on = TRUE;
      w.setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      handle_ = static_cast<intptr_t>(s);
      w.freeaddrinfo(found);
      error.clear();
      return true;
    }
    error += ": error " + std::to_string(failure);
    w.closesocket(s);
  }
  w.freeaddrinfo(found);
  return false;
}

long TcpConnection::sendSome(const unsigned char* data, size_t size, Clock::time_point deadline) {
  const Winsock& w = winsock();
  SOCKET s = static_cast<SOCKET>(handle_);
  int chunk = static_cast<int>(std::min<size_t>(size, 1u << 20));
  for (;;) {
    int n = w.send(s, reinterpret_cast<const char*>(data), chunk, 0);
    if (n > 0) return n;
    if (n == 0 || w.lastError() != WSAEWOULDBLOCK) return -1;
    if (!waitFor(s, Ready::Write, deadline)) return -2;
  }
}

long TcpConnection::receiveSome(unsigned char* data, size_t size, Clock::time_point deadline) {
  const Winsock& w = winsock();
  SOCKET s = static_cast<SOCKET>(handle_);
  int chunk = static_cast<int>(std::min<size_t>(size, 1u << 20));
  for (;;) {
    int n = w.recv(s, reinterpret_cast<char*>(data), chunk, 0);
    if (n >= 0) return n;
    if (w.lastError() != WSAEWOULDBLOCK) return -1;
    if (!waitFor(s, Ready::Read, deadline)) return -2;
  }
}

std::vector<std::string> systemRootCertificates() {
  auto open = systemFunction<decltype(&::CertOpenSystemStoreA)>("crypt32.dll", "CertOpenSystemStoreA");
  auto next = systemFunction<decltype(&::CertEnumCertificatesInStore)>("crypt32.dll", "CertEnumCertificatesInStore");
  auto close = systemFunction<decltype(&::CertCloseStore)>("crypt32.dll", "CertCloseStore");
  std::vector<std::string> roots;
  if (!open || !next || !close) return roots;
  HCERTSTORE store = open(0, "ROOT");
  if (!store) return roots;
  for (PCCERT_CONTEXT c = next(store, nullptr); c; c = next(store, c))
    roots.emplace_back(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded);
  close(store, 0);
  return roots;
}

bool randomBytes(unsigned char* data, size_t size) {
  // BCryptGenRandom with the system's preferred generator (no algorithm handle).
  using GenRandom = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
  static const GenRandom generate = systemFunction<GenRandom>("bcrypt.dll", "BCryptGenRandom");
  const ULONG kSystemPreferred = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
  if (!generate) return false;
  while (size > 0) {
    ULONG chunk = static_cast<ULONG>(std::min<size_t>(size, 1u << 16));
    if (generate(nullptr, data, chunk, kSystemPreferred) < 0) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

FileLock::~FileLock() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // releases the lock
}

FileLock::Got FileLock::acquire(const std::string& path, Clock::time_point deadline) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (;;) {
    file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) break;
    // Every process opens it sharing it; anything but a passing sharing
    // violation (a scanner) is not another sender, and waiting would not help.
    if (::GetLastError() != ERROR_SHARING_VIOLATION) return Got::Failed;
    if (Clock::now() >= deadline) return Got::Busy;
    ::Sleep(20);
  }
  // A lock belongs to its handle: another thread's handle of the same file waits too.
  for (;;) {
    OVERLAPPED whole{};
    if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
      handle_ = reinterpret_cast<intptr_t>(file);
      return Got::Locked;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      ::CloseHandle(file);
      return Got::Failed;
    }
    if (Clock::now() >= deadline) {
      ::CloseHandle(file);
      return Got::Busy;
    }
    ::Sleep(20);
  }
}

bool appendDurably(const std::string& path, const std::string& text) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50; ++attempt) {
    file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || !transient(::GetLastError())) break;
    ::Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = writeAll(file, text) && ::FlushFileBuffers(file);
  return ::CloseHandle(file) && ok;
}

bool replaceFileDurably(const std::string& folder, const std::string& name, const std::string& data) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string temporary = joinPath(
        folder, name + "." + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".tmp");
    HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) continue;
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = writeAll(file, data) && ::FlushFileBuffers(file);
    ok = ::CloseHandle(file) && ok;
    const std::string target = joinPath(folder, name);
    for (int tries = 0; ok; ++tries) {
      if (::MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
      if (tries == 50 || !transient(::GetLastError())) break;
      ::Sleep(20);
    }
    ::DeleteFileA(temporary.c_str());
    return false;
  }
  return false;
}

bool readWholeFile(const std::string& path, size_t limit, std::string& data) {
  data.clear();
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char chunk[65536];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) ok = false;
    if (!ok || got == 0) break;
    if (data.size() + got > limit) {
      ok = false;
      break;
    }
    data.append(chunk, got);
  }
  ::CloseHandle(file);
  return ok;
}

bool fileExists(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '\\' || folder.back() == '/' ? folder + name : folder + "\\" + name;
}

}  // namespace kw::ksef::platform
