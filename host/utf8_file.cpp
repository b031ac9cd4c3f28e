#include "utf8_file.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "mazovia.h"

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
  return closeWritten(std::move(out)) && written && std::ferror(in.get()) == 0;
}

bool closeWritten(FilePtr file) { return file && std::fclose(file.release()) == 0; }

}  // namespace welkor
