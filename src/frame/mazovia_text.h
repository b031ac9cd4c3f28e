// The plug-in's own texts are written in the source as UTF-8 and turned into
// the host code page (Mazovia) at compile time: KW_MAZ("Dokument został
// zapisany") is the Mazovia text. A character outside ASCII and the 18 Polish
// letters does not compile.
#pragma once

#include <cstddef>

namespace kw::frame {

template <size_t N>
struct MazoviaText {
  char bytes[N] = {};
  constexpr const char* c_str() const { return bytes; }
  constexpr operator const char*() const { return bytes; }
};

constexpr char mazoviaOf(unsigned codePoint) {
  switch (codePoint) {
    case 0x0105: return '\x86';  // ą
    case 0x0107: return '\x8D';  // ć
    case 0x0104: return '\x8F';  // Ą
    case 0x0118: return '\x90';  // Ę
    case 0x0119: return '\x91';  // ę
    case 0x0142: return '\x92';  // ł
    case 0x0106: return '\x95';  // Ć
    case 0x015A: return '\x98';  // Ś
    case 0x0141: return '\x9C';  // Ł
    case 0x015B: return '\x9E';  // ś
    case 0x0179: return '\xA0';  // Ź
    case 0x017B: return '\xA1';  // Ż
    case 0x00F3: return '\xA2';  // ó
    case 0x00D3: return '\xA3';  // Ó
    case 0x0144: return '\xA4';  // ń
    case 0x0143: return '\xA5';  // Ń
    case 0x017A: return '\xA6';  // ź
    case 0x017C: return '\xA7';  // ż
    default:
      if (codePoint < 0x80) return static_cast<char>(codePoint);
      throw "not a Polish letter";  // stops compilation
  }
}

template <size_t N>
constexpr MazoviaText<N> toMazovia(const char (&utf8)[N]) {
  MazoviaText<N> out{};
  size_t o = 0;
  for (size_t i = 0; i + 1 < N;) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    unsigned codePoint = c;
    if (c >= 0xC0 && c < 0xE0) {
      codePoint = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      i += 2;
    } else {
      i += 1;
    }
    out.bytes[o++] = mazoviaOf(codePoint);
  }
  out.bytes[o] = '\0';
  return out;
}

}  // namespace kw::frame

#define KW_MAZ(text) (::kw::frame::toMazovia(text))
