#include "utf8_file.h"

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
#endif

}  // namespace

FilePtr openUtf8File(const std::string& path, const char* mode) {
#if defined(_WIN32)
  return FilePtr(_wfopen(wide(path).c_str(), wide(mode).c_str()));
#else
  return FilePtr(std::fopen(path.c_str(), mode));
#endif
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

bool copyUtf8File(const std::string& from, const std::string& to) {
  FilePtr in = openUtf8File(from, "rb");
  if (!in) return false;
  FilePtr out = openUtf8File(to, "wb");
  if (!out) return false;
  char chunk[65536];
  size_t n;
  bool written = true;
  while (written && (n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0)
    written = std::fwrite(chunk, 1, n, out.get()) == n;
  return closeDurably(std::move(out)) && written && std::ferror(in.get()) == 0;
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

bool isRegularFile(const std::string& path) {
#if defined(_WIN32)
  struct _stat64 st;
  return _wstat64(wide(path).c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool renameOver(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace welkor
