// Host services: output files. A file opened in text mode ("t") writes every
// "\n" as CR LF, on every platform alike.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame/host_constants.h"
#include "host_state.h"
#include "service_impl.h"
#include "utf8_file.h"

#if defined(_WIN32)
#include <direct.h>
#endif

using namespace welkor;

struct HostFile {
  std::FILE* stream;
  bool text;
};

namespace {

bool writeAll(HostFile* file, const std::string& piece) {
  if (!file->text) return std::fwrite(piece.data(), 1, piece.size(), file->stream) == piece.size();
  std::string out;
  out.reserve(piece.size() + 16);
  for (char c : piece) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return std::fwrite(out.data(), 1, out.size(), file->stream) == out.size();
}

// A path against a pattern in which `*` stands for any run of characters.
bool matches(const char* pattern, const char* path) {
  if (*pattern == '*') return matches(pattern + 1, path) || (*path && matches(pattern, path + 1));
  return *pattern == *path && (!*path || matches(pattern + 1, path + 1));
}

bool listed(const std::vector<std::string>& patterns, const char* path) {
  return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) { return matches(p.c_str(), path); });
}

}  // namespace

// openFile: like fopen; failOpen names paths whose open fails, fullDisk those
// written on the full device instead.
HostFile* WELKOR_SERVICE(52534, openFile)(const char* path, const char* mode, int32_t flags, int32_t a4, int32_t owner,
                                          int32_t a6, int32_t a7, int32_t a8, int32_t a9) {
  if (flags != hostabi::kOpenFileFlags || a4 != 0 || owner != hostabi::kOpenFileNoOwner || a6 || a7 || a8 || a9)
    protocolError(52534, "an output file is opened with 0x40, 0, -1, 0, 0, 0, 0 after path and mode");
  if (!path || !mode) return nullptr;
  if (listed(state().db.knobs.failOpen, path)) return nullptr;
  if (countedCallFails(state().counts.opens, state().db.knobs.failOpenCall)) return nullptr;
  std::string binaryMode;
  for (const char* m = mode; *m; ++m)
    if (*m != 't' && *m != 'b') binaryMode += *m;
  binaryMode += 'b';
  std::string target = hostPath(path);
  if (listed(state().db.knobs.fullDisk, path)) {
#if defined(_WIN32)
    return nullptr;
#else
    target = "/dev/full";
#endif
  }
  std::FILE* stream = std::fopen(target.c_str(), binaryMode.c_str());
  if (!stream) return nullptr;
  ++state().counts.openFiles;
  return new HostFile{stream, std::strchr(mode, 't') != nullptr};
}

// The file holder: the host hands files over inside it.
// fileHolderConstruct
void* KW_THISCALL WELKOR_SERVICE(22562, fileHolderConstruct)(void* self, HostFile* file) {
  std::memcpy(self, &file, sizeof file);
  return self;
}

// fileHolderRelease
HostFile* KW_THISCALL WELKOR_SERVICE(22567, fileHolderRelease)(void* self) {
  HostFile* file = nullptr;
  std::memcpy(&file, self, sizeof file);
  HostFile* none = nullptr;
  std::memcpy(self, &none, sizeof none);
  return file;
}

// fileHolderDispose: an empty holder leaves nothing behind; a full one
// closes its file.
void KW_THISCALL WELKOR_SERVICE(22563, fileHolderDispose)(void* self) {
  HostFile* file = WELKOR_SERVICE(22567, fileHolderRelease)(self);
  if (file) {
    std::fclose(file->stream);
    --state().counts.openFiles;
    delete file;
  }
}

// writeFormatted: like fprintf; negative when the write failed.
int32_t WELKOR_SERVICE(52541, writeFormatted)(HostFile* file, const char* format, ...) {
  if (!file || !format) return -1;
  if (countedCallFails(state().counts.writes, state().db.knobs.failWriteCall)) return -1;
  va_list args;
  va_start(args, format);
  std::string piece = formatString(format, args);
  va_end(args);
  return writeAll(file, piece) ? static_cast<int32_t>(piece.size()) : -1;
}

// closeFile: like fclose; EOF when anything written could not be stored.
int32_t WELKOR_SERVICE(52305, closeFile)(HostFile* file) {
  if (!file) return -1;
  bool failed = countedCallFails(state().counts.closes, state().db.knobs.failCloseCall);
  failed = std::ferror(file->stream) != 0 || failed;
  failed = std::fclose(file->stream) != 0 || failed;
  --state().counts.openFiles;
  delete file;
  return failed ? EOF : 0;
}

// hostFolder: a writable folder of the host.
const char* WELKOR_SERVICE(52016, hostFolder)() {
  makeFolder("TMP");
  return "TMP";
}

// appendFileName: path + separator + name.
char* WELKOR_SERVICE(52015, appendFileName)(char* path, const char* name) {
  if (!path || !name) return path;
  size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] != '\\' && path[n - 1] != '/') std::strcat(path, "\\");
  std::strcat(path, name);
  return path;
}
