#include "search_key.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace welkor {

void formatSearchKey(char* buffer, SearchKey key) {
  std::snprintf(buffer, kSearchKeySize, "%ld:%ld", static_cast<long>(key.definition), static_cast<long>(key.number));
}

namespace {

// A signed decimal number from p up to the first byte of stop (or to end).
bool parseNumber(const char* p, const char* end, int32_t& out) {
  bool negative = p < end && *p == '-';
  if (negative) ++p;
  if (p == end) return false;
  int64_t value = 0;
  for (; p < end; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > INT64_C(2147483648)) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  out = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool parseSearchKey(const char* buffer, SearchKey& key) {
  if (!buffer) return false;
  const void* zero = std::memchr(buffer, '\0', kSearchKeySize);
  if (!zero) return false;
  const char* end = static_cast<const char*>(zero);
  const char* colon = static_cast<const char*>(std::memchr(buffer, ':', static_cast<size_t>(end - buffer)));
  if (!colon) return false;
  SearchKey parsed;
  if (!parseNumber(buffer, colon, parsed.definition) || !parseNumber(colon + 1, end, parsed.number)) return false;
  key = parsed;
  return true;
}

}  // namespace welkor
