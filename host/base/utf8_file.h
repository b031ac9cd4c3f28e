// Files named in UTF-8, on every platform (Windows opens them by their wide
// name).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace welkor {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Like fopen; null when it fails.
FilePtr openUtf8File(const std::string& path, const char* mode);

// A new file for writing (binary) under a name that no file has yet: of
// several processes that try one name, one gets it. Null when the name is
// taken or the file cannot be made.
FilePtr createUtf8File(const std::string& path);

// The whole file; false when it cannot be read.
bool readUtf8File(const std::string& path, std::string& content);

// Writes `content` as the whole file; false when anything was not stored.
bool writeUtf8File(const std::string& path, const std::string& content);

// Copies the file `from` into `to` piece by piece; false when anything was
// not read or written.
bool copyUtf8File(const std::string& from, std::FILE* to);

// Closes `file`; false when what was written could not all be stored.
bool closeWritten(FilePtr file);

// Flushes `file` down to the disk and closes it; false when what was written
// could not all be stored. Done before a file is renamed into place, so that
// a crash leaves the old file or the whole new one.
bool closeDurably(FilePtr file);

// True when `path` names a regular file (a link is followed): a folder or a
// device is no attachment.
bool isRegularFile(const std::string& path);

// Makes a folder; one that is there already is fine.
void makeFolder(const std::string& path);

// True when anything is there under the name `path` (a link is followed).
bool pathExists(const std::string& path);

// Renames `from` to `to`, replacing `to` in one step where it exists.
bool renameOver(const std::string& from, const std::string& to);

// Renames `from` to `to` only where no file has the name `to`; the check and
// the rename are one step, so a file that another process puts there
// meanwhile is never replaced.
bool renameToNew(const std::string& from, const std::string& to);

}  // namespace welkor
