// Host services: texts.
#include <cstring>

#include "host_state.h"
#include "mazovia.h"
#include "service_impl.h"

using namespace welkor;

namespace {

bool trimmed(char c) { return c == ' ' || c == ','; }

}  // namespace

// convertText: into a target of the given capacity, never past it.
int32_t WELKOR_SERVICE(35387, convertText)(char* target, int32_t capacity, const char* source, int32_t length,
                                           int32_t from, int32_t to) {
  return convertText(target, capacity, source, length, from, to);
}

// convertInPlace: the target gets no more room than the source text takes, so
// a conversion never lengthens the text (what would not fit is left out).
int32_t WELKOR_SERVICE(52158, convertInPlace)(char* target, const char* source, int32_t from, int32_t to) {
  if (!target) return -1;
  const int32_t room = source ? static_cast<int32_t>(std::strlen(source)) + 1 : 1;
  return convertText(target, room, source, -1, from, to);
}

// cleanText: control bytes other than CR and LF become blanks; the length stays.
char* WELKOR_SERVICE(40404, cleanText)(char* text) {
  if (!text) return text;
  for (char* p = text; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 && c != '\r' && c != '\n') *p = ' ';
  }
  return text;
}

// trimText: leading and trailing blanks and commas go, in place.
char* WELKOR_SERVICE(52133, trimText)(char* text) {
  if (!text) return text;
  size_t start = 0;
  while (trimmed(text[start])) ++start;
  size_t end = std::strlen(text);
  while (end > start && trimmed(text[end - 1])) --end;
  std::memmove(text, text + start, end - start);
  text[end - start] = '\0';
  return text;
}

// copyBounded: at most `limit` characters, always terminated.
char* WELKOR_SERVICE(52161, copyBounded)(char* target, const char* source, int32_t limit) {
  if (!target) return target;
  size_t n = 0;
  if (source && limit > 0)
    while (n < static_cast<size_t>(limit) && source[n]) ++n;
  std::memmove(target, source ? source : "", n);
  target[n] = '\0';
  return target;
}

// currentTextCode: the host's texts are Mazovia.
int32_t* WELKOR_SERVICE(38020, currentTextCode)() {
  static int32_t code = kMazovia;
  return &code;
}
