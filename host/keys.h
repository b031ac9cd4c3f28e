// Key names of the front end and their keyboard codes (scan code in the high
// byte, character in the low byte).
#pragma once

#include <cstdint>
#include <string>

namespace welkor {

// F1 … F12, Esc, Enter, Ctrl+F3, a single letter or digit, or a number
// ("0x3B00", "15104"). False for anything else.
bool keyCode(const std::string& name, uint16_t& code);

}  // namespace welkor
