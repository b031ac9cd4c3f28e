#include "formats/ksef_text.h"

#include <cstdint>

#include "data/text_output.h"
#include "formats/layer.h"

namespace kw::formats::ksef {

namespace {

bool blankByte(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string trimmed(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && blankByte(text[first])) ++first;
  while (last > first && blankByte(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Control characters (C0, DEL and C1) and the noncharacters KSeF rejects.
bool refused(uint32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) || (codePoint >= 0xFDD0 && codePoint <= 0xFDEF) ||
         (codePoint & 0xFFFE) == 0xFFFE;
}

// The length of the well-formed UTF-8 sequence at `at` and its code point;
// 0 for a malformed one (overlong, a surrogate, beyond U+10FFFF, cut short).
size_t sequenceAt(const std::string& text, size_t at, uint32_t& codePoint) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  uint32_t least = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, least = 0x80, codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, least = 0x800, codePoint = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, least = 0x10000, codePoint = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

bool validUtf8(const std::string& text) {
  uint32_t codePoint = 0;
  for (size_t at = 0, length = 0; at < text.size(); at += length)
    if ((length = sequenceAt(text, at, codePoint)) == 0) return false;
  return true;
}

}  // namespace

std::string cleaned(const std::string& hostText) {
  std::string out = hostText;
  // In the host code page the control characters are the bytes below the
  // blank and DEL; every other byte is a letter, sign or line drawing.
  for (char& c : out)
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7F') c = ' ';
  return trimmed(out);
}

std::string settingText(const std::string& stored) {
  const std::string utf8 = validUtf8(stored) ? stored : utf8FromWindows1250(stored);
  std::string out;
  uint32_t codePoint = 0;
  for (size_t at = 0, length = 0; at < utf8.size(); at += length) {
    length = sequenceAt(utf8, at, codePoint);
    if (length == 0 || refused(codePoint))
      out += ' ';
    else
      out.append(utf8, at, length);
    if (length == 0) length = 1;
  }
  return trimmed(out);
}

size_t characterCount(const std::string& utf8) {
  size_t count = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

}  // namespace kw::formats::ksef
