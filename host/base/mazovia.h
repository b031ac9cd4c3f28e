// The host's code pages: Mazovia (its own), Windows-1250, UTF-16LE and UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace welkor {

enum CodePage : int32_t { kMazovia = 1, kWindows1250 = 3, kUtf16 = 5, kUtf8 = 6 };

// Unicode code point of a Mazovia byte (code page 437 with the Polish letters).
uint32_t mazoviaToUnicode(unsigned char byte);
// Mazovia byte of a code point, or '?' when Mazovia has none.
char unicodeToMazovia(uint32_t codePoint);
// Windows-1250 byte of a code point, or '?' when it has none.
char unicodeToWindows1250(uint32_t codePoint);

std::string mazoviaToUtf8(const std::string& text);
// Invalid UTF-8 and characters that Mazovia lacks become '?'.
std::string utf8ToMazovia(const std::string& text);

// The conversion of services 35387 and 52158: from `length` bytes of `source`
// (-1: up to its zero; a zero within `length` ends the text too) in code page
// `from` to code page `to`, into `target` of `capacity` bytes, never past it
// and always terminated (a wide zero for UTF-16). A character that would not
// fit whole is left out, with all after it. `target` may be `source`. Returns
// the bytes written without the terminator, -1 for unknown codes or no target.
int32_t convertText(char* target, int32_t capacity, const char* source, int32_t length, int32_t from, int32_t to);

}  // namespace welkor
