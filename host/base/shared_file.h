// Files that several processes may write at once — two copies of the program
// in one folder, or several workstations on one shared folder. Each writer
// makes its file whole under a name of its own and then puts it in place in
// one step, so that a reader sees the earlier file or the new one, never a
// mixture; a file that is read, changed and written back is changed under a
// lock on a file beside it.
#pragma once

#include <cstdio>
#include <string>

#include "utf8_file.h"

namespace welkor {

// The file that writing to `path` reaches: a link's target (natively), the
// path itself where nothing is there yet.
std::string fileBehind(const std::string& path);

// A new file of this writer's own beside `path`, named after it
// (`path.PID-N.tmp`); `own` receives its name. Null when none can be made.
FilePtr createOwnFile(const std::string& path, std::string& own);

// A file written anew: into a file of the writer's own beside it, which
// commit() flushes to the disk and renames over the file (keeping its
// permissions). Nothing but the own file is ever removed: a write that does
// not come through leaves the earlier file as it was.
class FileReplacement {
 public:
  explicit FileReplacement(const std::string& path);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Where to write; null when the own file could not be made, or when the
  // name is held by something that is no regular file (a folder, a device).
  std::FILE* file() const { return file_.get(); }
  // False when anything was not stored or the rename failed.
  bool commit();

 private:
  std::string target_;
  std::string own_;
  FilePtr file_;
};

// Writes `content` as the whole file `path` through a FileReplacement.
bool replaceFileContent(const std::string& path, const std::string& content);

// An exclusive lock on the file `path` + ".lock" beside the file behind
// `path` (made when missing, never removed), waited for and held while the
// object lives. Every process that reads a file to write it back changed
// takes it first. The system releases it when a process dies.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return held_; }

 private:
  FilePtr file_;
  bool held_ = false;
};

}  // namespace welkor
