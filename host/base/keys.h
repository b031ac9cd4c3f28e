// Key names of the front end and their keyboard codes (scan code in the high
// byte, character in the low byte).
#pragma once

#include <cstdint>
#include <string>

#include "plugin_names.h"

namespace welkor {

// The codes the host itself acts on. Characters and Esc/Enter carry the
// character alone, as the plug-in's dialog templates expect.
namespace key {
constexpr uint16_t Enter = 0x000D;
constexpr uint16_t Esc = hostabi::kKeyEsc;
constexpr uint16_t F10 = 0x4400;
constexpr uint16_t F12 = hostabi::kKeyF12;
constexpr uint16_t CtrlF3 = hostabi::kKeyCtrlF3;
constexpr uint16_t Home = 0x4700;
constexpr uint16_t Up = 0x4800;
constexpr uint16_t PageUp = 0x4900;
constexpr uint16_t End = 0x4F00;
constexpr uint16_t Down = 0x5000;
constexpr uint16_t PageDown = 0x5100;
}  // namespace key

// F1 … F12, Esc, Enter, Ctrl+F3, a single letter or digit, or a number
// ("0x3B00", "15104"). False for anything else.
bool keyCode(const std::string& name, uint16_t& code);

}  // namespace welkor
