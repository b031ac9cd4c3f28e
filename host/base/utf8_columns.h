// Columns of UTF-8 text on a fixed-width screen or page: one a character.
#pragma once

#include <cstddef>
#include <string>

namespace welkor {

// Characters of a UTF-8 text (its bytes that do not continue a character).
size_t utf8Columns(const std::string& utf8);

// The first `count` characters of a UTF-8 text.
std::string utf8Head(const std::string& utf8, size_t count);

}  // namespace welkor
