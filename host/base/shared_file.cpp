#include "shared_file.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace welkor {

namespace {

// A name left by a process that died is skipped, not reused.
constexpr int kOwnNameAttempts = 1000;

unsigned long processId() {
#if defined(_WIN32)
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

std::string fileBehind(const std::string& path) {
#if defined(_WIN32)
  return path;
#else
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string target = real;
  std::free(real);
  return target;
#endif
}

FilePtr createOwnFile(const std::string& path, std::string& own) {
  static int counter = 0;
  for (int attempt = 0; attempt < kOwnNameAttempts; ++attempt) {
    own = path + "." + std::to_string(processId()) + "-" + std::to_string(++counter) + ".tmp";
    if (FilePtr file = createUtf8File(own)) return file;
    if (errno != EEXIST) break;
  }
  own.clear();
  return nullptr;
}

FileReplacement::FileReplacement(const std::string& path) : target_(fileBehind(path)) {
  // A folder or a device under the name is not replaced by a file.
  if (pathExists(target_) && !isRegularFile(target_)) return;
  file_ = createOwnFile(target_, own_);
#if !defined(_WIN32)
  // The new file keeps the permissions of the one it replaces.
  struct stat st;
  if (file_ && stat(target_.c_str(), &st) == 0 && fchmod(fileno(file_.get()), st.st_mode & 07777) != 0) file_.reset();
#endif
}

FileReplacement::~FileReplacement() {
  file_.reset();
  if (!own_.empty()) std::remove(own_.c_str());
}

bool FileReplacement::commit() {
  if (!file_ || !closeDurably(std::move(file_)) || !renameOver(own_, target_)) return false;
  own_.clear();
  return true;
}

bool replaceFileContent(const std::string& path, const std::string& content) {
  FileReplacement replacement(path);
  std::FILE* file = replacement.file();
  return file && std::fwrite(content.data(), 1, content.size(), file) == content.size() && replacement.commit();
}

FileLock::FileLock(const std::string& path) : file_(openUtf8File(fileBehind(path) + ".lock", "ab")) {
  if (!file_) return;
#if defined(_WIN32)
  OVERLAPPED whole = {};
  held_ = LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_.get()))), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0,
                     &whole) != 0;
#else
  int result;
  while ((result = flock(fileno(file_.get()), LOCK_EX)) != 0 && errno == EINTR) {
  }
  held_ = result == 0;
#endif
}

FileLock::~FileLock() {
#if defined(_WIN32)
  // Closing the file would release the lock only at the system's leisure.
  OVERLAPPED whole = {};
  if (held_) UnlockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_.get()))), 0, 1, 0, &whole);
#endif
}

}  // namespace welkor
