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

// Copies the file `from` to `to` piece by piece; false when anything was not
// read or stored.
bool copyUtf8File(const std::string& from, const std::string& to);

// Closes `file`; false when what was written could not all be stored.
bool closeWritten(FilePtr file);

}  // namespace welkor
