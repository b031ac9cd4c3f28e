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

// The whole file; false when it cannot be read.
bool readUtf8File(const std::string& path, std::string& content);

// Writes `content` as the whole file; false when anything was not stored.
bool writeUtf8File(const std::string& path, const std::string& content);

// Copies the file `from` to `to` piece by piece and flushes it to the disk;
// false when anything was not read or stored.
bool copyUtf8File(const std::string& from, const std::string& to);

// Closes `file`; false when what was written could not all be stored.
bool closeWritten(FilePtr file);

// Flushes `file` down to the disk and closes it; false when what was written
// could not all be stored. Done before a file is renamed into place, so that
// a crash leaves the old file or the whole new one.
bool closeDurably(FilePtr file);

// True when `path` names a regular file (a link is followed): a folder or a
// device is no attachment.
bool isRegularFile(const std::string& path);

// Renames `from` to `to`, replacing `to` in one step where it exists.
bool renameOver(const std::string& from, const std::string& to);

}  // namespace welkor
