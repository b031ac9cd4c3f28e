// UTC times as ISO 8601 text, without the C library's time zone state
// (the same on every system and thread-safe).
#pragma once

#include <string>

namespace kw::ksef::timetext {

long long unixNow();
// "2026-03-05T10:15:30Z"
std::string utcIso(long long unixSeconds);
// Seconds since 1970 of a UTC midnight; false for a date that is not one.
bool midnightOf(const std::string& yyyymmdd, long long& unixSeconds);

}  // namespace kw::ksef::timetext
