#include "utf8_columns.h"

namespace welkor {

namespace {
bool startsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }
}  // namespace

size_t utf8Columns(const std::string& utf8) {
  size_t n = 0;
  for (char c : utf8)
    if (startsCharacter(c)) ++n;
  return n;
}

std::string utf8Head(const std::string& utf8, size_t count) {
  size_t n = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (!startsCharacter(utf8[i])) continue;
    if (n == count) return utf8.substr(0, i);
    ++n;
  }
  return utf8;
}

}  // namespace welkor
