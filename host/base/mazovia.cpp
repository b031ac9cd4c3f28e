#include "mazovia.h"

#include <cstring>
#include <vector>

namespace welkor {

namespace {

// Code page 437 with the 18 Polish letters at their Mazovia places. The
// control bytes stay control characters: they are text here, not glyphs.
constexpr uint16_t kMazoviaTable[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,  // 00
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F,
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,  // 10
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F,
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,  // 20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // 40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // 50
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // 60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // 70
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F,
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7,  // 80: ą at 86
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,  //     ć 8D, Ą 8F
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9,  // 90: Ę ę ł, Ć 95
    0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,  //     Ś 98, Ł 9C, ś 9E
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C,  // A0: Ź Ż ó Ó ń Ń ź ż
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Windows-1250 from 0x80 up; 0 where the code page defines no character.
constexpr uint16_t kWindows1250Table[128] = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr uint32_t kReplacement = '?';

bool knownCode(int32_t code) { return code == kMazovia || code == kWindows1250 || code == kUtf16 || code == kUtf8; }

// One character of UTF-8 from `s[pos]` on (at most `end`). A malformed
// sequence (overlong, surrogate, beyond U+10FFFF, cut short) gives '?' for its
// first byte and decoding goes on with the next.
uint32_t decodeUtf8(const unsigned char* s, size_t end, size_t& pos) {
  unsigned char b = s[pos];
  size_t extra = 0;
  uint32_t cp = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b < 0x80) {
    ++pos;
    return b;
  } else if (b >= 0xC2 && b <= 0xDF) {
    extra = 1, cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2, cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3, cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    ++pos;
    return kReplacement;
  }
  if (end - pos <= extra) {
    ++pos;
    return kReplacement;
  }
  for (size_t i = 1; i <= extra; ++i) {
    unsigned char c = s[pos + i];
    unsigned char min = i == 1 ? lo : 0x80, max = i == 1 ? hi : 0xBF;
    if (c < min || c > max) {
      ++pos;
      return kReplacement;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  pos += extra + 1;
  return cp;
}

// One character of UTF-16LE; a lone surrogate gives '?'.
uint32_t decodeUtf16(const unsigned char* s, size_t end, size_t& pos) {
  uint32_t unit = s[pos] | (s[pos + 1] << 8);
  pos += 2;
  if (unit >= 0xD800 && unit <= 0xDBFF && end - pos >= 2) {
    uint32_t next = s[pos] | (s[pos + 1] << 8);
    if (next >= 0xDC00 && next <= 0xDFFF) {
      pos += 2;
      return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
    }
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) return kReplacement;
  return unit;
}

uint32_t decodeOne(const unsigned char* s, size_t end, size_t& pos, int32_t code) {
  switch (code) {
    case kUtf8: return decodeUtf8(s, end, pos);
    case kUtf16: return decodeUtf16(s, end, pos);
    case kWindows1250: {
      unsigned char b = s[pos++];
      if (b < 0x80) return b;
      uint32_t cp = kWindows1250Table[b - 0x80];
      return cp ? cp : kReplacement;
    }
    default: return kMazoviaTable[s[pos++]];
  }
}

// Bytes of one code point in `code`; returns their number.
size_t encodeOne(uint32_t cp, int32_t code, unsigned char out[4]) {
  switch (code) {
    case kUtf8:
      if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
      }
      if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 2;
      }
      if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 3;
      }
      out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
      out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      return 4;
    case kUtf16:
      if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(cp & 0xFF);
        out[1] = static_cast<unsigned char>(cp >> 8);
        return 2;
      } else {
        uint32_t high = 0xD800 + ((cp - 0x10000) >> 10), low = 0xDC00 + ((cp - 0x10000) & 0x3FF);
        out[0] = static_cast<unsigned char>(high & 0xFF);
        out[1] = static_cast<unsigned char>(high >> 8);
        out[2] = static_cast<unsigned char>(low & 0xFF);
        out[3] = static_cast<unsigned char>(low >> 8);
        return 4;
      }
    case kWindows1250: out[0] = static_cast<unsigned char>(unicodeToWindows1250(cp)); return 1;
    default: out[0] = static_cast<unsigned char>(unicodeToMazovia(cp)); return 1;
  }
}

}  // namespace

uint32_t mazoviaToUnicode(unsigned char byte) { return kMazoviaTable[byte]; }

char unicodeToMazovia(uint32_t codePoint) {
  if (codePoint < 0x80) return static_cast<char>(codePoint);
  for (int b = 0x80; b < 0x100; ++b)
    if (kMazoviaTable[b] == codePoint) return static_cast<char>(b);
  return '?';
}

char unicodeToWindows1250(uint32_t codePoint) {
  if (codePoint < 0x80) return static_cast<char>(codePoint);
  for (int i = 0; i < 0x80; ++i)
    if (kWindows1250Table[i] == codePoint) return static_cast<char>(0x80 + i);
  return '?';
}

std::string mazoviaToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  unsigned char bytes[4];
  for (char c : text) {
    size_t n = encodeOne(kMazoviaTable[static_cast<unsigned char>(c)], kUtf8, bytes);
    out.append(reinterpret_cast<const char*>(bytes), n);
  }
  return out;
}

std::string utf8ToMazovia(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t pos = 0; pos < text.size();) out += unicodeToMazovia(decodeUtf8(s, text.size(), pos));
  return out;
}

int32_t convertText(char* target, int32_t capacity, const char* source, int32_t length, int32_t from, int32_t to) {
  if (!knownCode(from) || !knownCode(to) || target == nullptr) return -1;
  if (capacity <= 0) return 0;
  const size_t terminator = to == kUtf16 ? 2 : 1;
  if (static_cast<size_t>(capacity) < terminator) {  // a one-byte wide buffer: empty as far as it goes
    target[0] = 0;
    return 0;
  }

  // The whole source is decoded before anything is written, so that the
  // target may be the source itself (in-place conversion).
  const unsigned char* s = reinterpret_cast<const unsigned char*>(source);
  const size_t unit = from == kUtf16 ? 2 : 1;
  size_t end = 0;
  if (s != nullptr) {
    const size_t limit = length < 0 ? SIZE_MAX : static_cast<size_t>(length);
    // The text ends at its zero even when a length is given.
    while (end + unit <= limit && !(s[end] == 0 && (unit == 1 || s[end + 1] == 0))) end += unit;
  }
  std::vector<uint32_t> text;
  text.reserve(end);
  for (size_t pos = 0; pos < end;) text.push_back(decodeOne(s, end, pos, from));

  const size_t room = static_cast<size_t>(capacity) - terminator;
  size_t written = 0;
  unsigned char bytes[4];
  for (uint32_t cp : text) {
    size_t n = encodeOne(cp, to, bytes);
    if (written + n > room) break;  // never half a character
    std::memcpy(target + written, bytes, n);
    written += n;
  }
  std::memset(target + written, 0, terminator);
  return static_cast<int32_t>(written);
}

}  // namespace welkor
