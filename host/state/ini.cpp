#include "ini.h"

#include <cctype>
#include <cstddef>
#include <sstream>
#include <vector>

#include "shared_file.h"

namespace welkor {

namespace {

std::string trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The file's lines without their line ends (LF or CR LF); none when it does not exist.
std::vector<std::string> readLines(const std::string& file) {
  std::vector<std::string> lines;
  std::string content;
  if (!readUtf8File(file, content)) return lines;
  std::istringstream in(content);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The name of a "[section]" line.
bool sectionLine(const std::string& line, std::string& name) {
  std::string t = trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = trim(t.substr(1, close - 1));
  return true;
}

// The key and value of a "key=value" line.
bool keyLine(const std::string& line, std::string& key, std::string& value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = trim(line.substr(0, eq));
  value = trim(line.substr(eq + 1));
  return !key.empty();
}

// Names and values that would break the line structure cannot be stored.
bool storable(const std::string& section, const std::string& key, const std::string& value) {
  auto breaksLine = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
  if (breaksLine(section) || breaksLine(key) || breaksLine(value)) return false;
  if (section.find(']') != std::string::npos) return false;
  std::string k = trim(key);
  return !k.empty() && k.find('=') == std::string::npos && k.front() != '[';
}

}  // namespace

std::optional<std::string> readIni(const std::string& file, const std::string& section, const std::string& key) {
  bool inSection = false;
  std::string name, k, value;
  for (const std::string& line : readLines(file)) {
    if (sectionLine(line, name))
      inSection = sameName(name, section);
    else if (inSection && keyLine(line, k, value) && sameName(k, key))
      return value;
  }
  return std::nullopt;
}

bool writeIni(const std::string& file, const std::string& section, const std::string& key, const std::string& value) {
  if (!storable(section, key, value)) return false;
  // Another process may change the file meanwhile: its change is read under
  // the lock and kept.
  FileLock lock(file);
  if (!lock.held()) return false;
  std::vector<std::string> lines = readLines(file);
  const std::string entry = trim(key) + "=" + value;

  bool inSection = false, done = false;
  size_t sectionEnd = std::string::npos;  // after the last non-blank line of the first matching section
  std::string name, k, v;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    if (sectionLine(lines[i], name)) {
      if (inSection) break;  // the section ended without the key
      inSection = sameName(name, section);
      if (inSection) sectionEnd = i + 1;
    } else if (inSection) {
      if (keyLine(lines[i], k, v) && sameName(k, key)) {
        lines[i] = entry;
        done = true;
      } else if (!trim(lines[i]).empty()) {
        sectionEnd = i + 1;
      }
    }
  }
  if (!done) {
    if (sectionEnd != std::string::npos) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }

  std::string content;
  for (const std::string& line : lines) content += line + "\r\n";
  return replaceFileContent(file, content);
}

}  // namespace welkor
