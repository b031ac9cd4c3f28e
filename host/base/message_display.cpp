#include "message_display.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "mazovia.h"

namespace welkor {

namespace {

// "\x01tl18l33\x01": tab stops at columns 18 and 33.
std::vector<size_t> tabStops(const std::string& directive) {
  std::vector<size_t> stops;
  for (size_t i = 1; i < directive.size();) {
    if (std::isdigit(static_cast<unsigned char>(directive[i]))) {
      stops.push_back(static_cast<size_t>(std::atoi(directive.c_str() + i)));
      while (i < directive.size() && std::isdigit(static_cast<unsigned char>(directive[i]))) ++i;
    } else {
      ++i;
    }
  }
  return stops;
}

std::string renderLine(const std::string& line) {
  std::string out;
  std::vector<size_t> stops;
  size_t column = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\x01' && i + 1 < line.size() && line[i + 1] == 't') {
      size_t end = line.find('\x01', i + 1);
      if (end == std::string::npos) end = line.size();
      stops = tabStops(line.substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '\x02' || c == '\x01') {
      out += '*';
      ++column;
    } else if (c == '\t') {
      size_t next = column + 1;
      for (size_t stop : stops)
        if (stop > column) {
          next = stop;
          break;
        }
      out.append(next - column, ' ');
      column = next;
    } else {
      std::string piece = mazoviaToUtf8(std::string(1, c));
      out += piece;
      ++column;
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> messageLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    lines.push_back(renderLine(text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::string renderMessage(const std::string& title, const std::string& text) {
  std::string out;
  if (!title.empty()) out += "[" + mazoviaToUtf8(title) + "]\n";
  for (const std::string& line : messageLines(text)) out += line + "\n";
  return out;
}

}  // namespace welkor
