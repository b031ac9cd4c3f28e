#include "utf8_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "mazovia.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace welkor {

namespace {

#if defined(_WIN32)
std::wstring wide(const std::string& utf8) {
  std::vector<char> bytes(utf8.size() * 2 + 2, 0);
  convertText(bytes.data(), static_cast<int32_t>(bytes.size()), utf8.c_str(), -1, kUtf8, kUtf16);
  std::wstring out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    wchar_t unit =
        static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    out += unit;
  }
  return out;
}

// On Windows a file that another process is reading cannot be renamed over,
// and one that another process is renaming over cannot be opened for that
// moment. Both last only as long as that process's read or rename, so the
// step is tried again for a while: several processes share these files.
constexpr int kBusyAttempts = 200;
constexpr DWORD kBusyPauseMilliseconds = 10;

// A rename over a file that is open meets ERROR_ACCESS_DENIED.
template <typename Step>
auto retriedWhileBusy(Step step, bool replacing = false) {
  for (int attempt = 1;; ++attempt) {
    auto result = step();
    DWORD error = GetLastError();
    bool busy = error == ERROR_SHARING_VIOLATION || (replacing && error == ERROR_ACCESS_DENIED);
    if (result || !busy || attempt == kBusyAttempts) return result;
    Sleep(kBusyPauseMilliseconds);
  }
}
#endif

}  // namespace

FilePtr openUtf8File(const std::string& path, const char* mode) {
#if defined(_WIN32)
  const std::wstring name = wide(path), how = wide(mode);
  return FilePtr(retriedWhileBusy([&] { return _wfopen(name.c_str(), how.c_str()); }));
#else
  return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

FilePtr createUtf8File(const std::string& path) {
#if defined(_WIN32)
  int fd = _wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (fd >= 0 && !file) _close(fd);
#else
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (fd >= 0 && !file) close(fd);
#endif
  return FilePtr(file);
}

bool readUtf8File(const std::string& path, std::string& content) {
  FilePtr file = openUtf8File(path, "rb");
  if (!file) return false;
  content.clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) content.append(chunk, n);
  return std::ferror(file.get()) == 0;
}

bool writeUtf8File(const std::string& path, const std::string& content) {
  FilePtr file = openUtf8File(path, "wb");
  if (!file) return false;
  bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
  return closeWritten(std::move(file)) && written;
}

bool copyUtf8File(const std::string& from, std::FILE* to) {
  FilePtr in = openUtf8File(from, "rb");
  if (!in) return false;
  char chunk[65536];
  size_t n;
  bool written = true;
  while (written && (n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) written = std::fwrite(chunk, 1, n, to) == n;
  return written && std::ferror(in.get()) == 0;
}

// A write that failed earlier may leave nothing for fclose to report.
bool closeWritten(FilePtr file) {
  if (!file) return false;
  bool clean = std::ferror(file.get()) == 0;
  return std::fclose(file.release()) == 0 && clean;
}

bool closeDurably(FilePtr file) {
  if (!file || std::fflush(file.get()) != 0) return false;
#if defined(_WIN32)
  bool synced = _commit(_fileno(file.get())) == 0;
#else
  bool synced = fsync(fileno(file.get())) == 0;
#endif
  return closeWritten(std::move(file)) && synced;
}

void makeFolder(const std::string& path) {
#if defined(_WIN32)
  _wmkdir(wide(path).c_str());
#else
  mkdir(path.c_str(), 0777);
#endif
}

bool isRegularFile(const std::string& path) {
#if defined(_WIN32)
  struct _stat64 st;
  return _wstat64(wide(path).c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool pathExists(const std::string& path) {
#if defined(_WIN32)
  struct _stat64 st;
  return _wstat64(wide(path).c_str(), &st) == 0;
#else
  struct stat st;
  return stat(path.c_str(), &st) == 0;
#endif
}

bool renameOver(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  const std::wstring source = wide(from), target = wide(to);
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return retriedWhileBusy([&] { return MoveFileExW(source.c_str(), target.c_str(), flags); }, true) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool renameToNew(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  const std::wstring source = wide(from), target = wide(to);
  return retriedWhileBusy([&] { return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH); }) != 0;
#else
  // A link is made only under a free name; the old name then goes.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
#endif
}

}  // namespace welkor
