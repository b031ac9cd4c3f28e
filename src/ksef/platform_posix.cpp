// The native side of KSeF sending's system layer: BSD sockets, the Debian
// bundle of roots, getrandom, flock and fsync.
#include "ksef/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace kw::ksef::platform {

namespace {

int millisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// Waits until the socket is ready for `events`; false when the deadline passed first.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, millisecondsUntil(deadline));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return true;  // the following call reports the failure
  }
}

bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

TcpConnection::~TcpConnection() { close(); }

void TcpConnection::close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool TcpConnection::connect(const std::string& host, uint16_t port, Clock::time_point deadline, std::string& error) {
  close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  // The resolver's own timeouts bound this step (resolv.conf).
  int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0) {
    error = "cannot resolve " + host + ": " + gai_strerror(status);
    return false;
  }
  error = "cannot connect to " + host + ":" + std::to_string(port);
  for (addrinfo* a = found; a; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    int result = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (result != 0 && errno == EINPROGRESS) {
      if (!waitFor(fd, POLLOUT, deadline)) {
        ::close(fd);
        error += ": timed out";
        break;
      }
      int failure = 0;
      socklen_t length = sizeof failure;
      result = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) == 0 && failure == 0 ? 0 : -1;
      if (failure) errno = failure;
    }
    if (result == 0) {
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      handle_ = fd;
      ::freeaddrinfo(found);
      error.clear();
      return true;
    }
    error += std::string(": ") + std::strerror(errno);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return false;
}

long TcpConnection::sendSome(const unsigned char* data, size_t size, Clock::time_point deadline) {
  int fd = static_cast<int>(handle_);
  for (;;) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n >= 0) return n > 0 ? n : -1;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (!waitFor(fd, POLLOUT, deadline)) return -2;
  }
}

long TcpConnection::receiveSome(unsigned char* data, size_t size, Clock::time_point deadline) {
  int fd = static_cast<int>(handle_);
  for (;;) {
    ssize_t n = ::recv(fd, data, size, 0);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (!waitFor(fd, POLLIN, deadline)) return -2;
  }
}

std::vector<std::string> systemRootCertificates() {
  // Debian's bundle first; the others are where other systems keep theirs.
  static const char* const kBundles[] = {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt",
                                         "/etc/ssl/ca-bundle.pem", "/etc/ssl/cert.pem"};
  for (const char* bundle : kBundles) {
    std::string text;
    if (readWholeFile(bundle, 16 << 20, text) && text.find("-----BEGIN CERTIFICATE-----") != std::string::npos)
      return {text};
  }
  return {};
}

bool randomBytes(unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::getrandom(data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

FileLock::~FileLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // releases the lock
}

FileLock::Got FileLock::acquire(const std::string& path, Clock::time_point deadline) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return Got::Failed;
  // flock belongs to this open file: another thread's open of the same file waits too.
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      handle_ = fd;
      return Got::Locked;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      ::close(fd);
      return Got::Failed;
    }
    if (Clock::now() >= deadline) {
      ::close(fd);
      return Got::Busy;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool appendDurably(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool replaceFileDurably(const std::string& folder, const std::string& name, const std::string& data) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string temporary =
        joinPath(folder, name + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp");
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return false;
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), joinPath(folder, name).c_str()) == 0) {
      // The rename itself reaches the disk with the folder.
      int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
      }
      return true;
    }
    ::unlink(temporary.c_str());
    return false;
  }
  return false;
}

bool readWholeFile(const std::string& path, size_t limit, std::string& data) {
  data.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (data.size() + static_cast<size_t>(n) > limit) {
      ok = false;
      break;
    }
    data.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

bool fileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace kw::ksef::platform
