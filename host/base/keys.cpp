#include "keys.h"

#include <cctype>
#include <cstdlib>

namespace welkor {

bool keyCode(const std::string& name, uint16_t& code) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.size() >= 2 && upper[0] == 'F' && std::isdigit(static_cast<unsigned char>(upper[1]))) {
    int n = std::atoi(upper.c_str() + 1);
    if (upper != "F" + std::to_string(n) || n < 1 || n > 12) return false;
    code = static_cast<uint16_t>(n <= 10 ? (0x3A + n) << 8 : (0x85 + n - 11) << 8);
    return true;
  }
  if (upper == "ESC") return code = key::Esc, true;
  if (upper == "ENTER") return code = 0x000D, true;
  if (upper == "CTRL+F3") return code = key::CtrlF3, true;
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
    code = static_cast<uint16_t>(std::toupper(static_cast<unsigned char>(name[0])));
    return true;
  }
  char* end = nullptr;
  long value = std::strtol(name.c_str(), &end, 0);
  if (name.empty() || *end || value < 0 || value > 0xFFFF) return false;
  code = static_cast<uint16_t>(value);
  return true;
}

}  // namespace welkor
