// Settings files in the INI form: "[section]" and "key=value" lines, written
// with CR LF. Section and key names match without regard to case.
#pragma once

#include <optional>
#include <string>

namespace welkor {

std::optional<std::string> readIni(const std::string& file, const std::string& section, const std::string& key);
// Creates the file or section when needed and keeps every other line. The
// file is changed under its lock and replaced whole (shared_file.h), so that
// what other processes write into it meanwhile is kept.
bool writeIni(const std::string& file, const std::string& section, const std::string& key, const std::string& value);

}  // namespace welkor
