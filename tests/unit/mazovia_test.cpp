#include "mazovia.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace welkor;

namespace {

struct PolishLetter {
  unsigned char mazovia;
  uint32_t codePoint;
  const char* utf8;
  unsigned char windows1250;
};

const std::vector<PolishLetter> kLetters = {
    {0x86, 0x0105, "\xC4\x85", 0xB9}, {0x8D, 0x0107, "\xC4\x87", 0xE6}, {0x8F, 0x0104, "\xC4\x84", 0xA5},
    {0x90, 0x0118, "\xC4\x98", 0xCA}, {0x91, 0x0119, "\xC4\x99", 0xEA}, {0x92, 0x0142, "\xC5\x82", 0xB3},
    {0x95, 0x0106, "\xC4\x86", 0xC6}, {0x98, 0x015A, "\xC5\x9A", 0x8C}, {0x9C, 0x0141, "\xC5\x81", 0xA3},
    {0x9E, 0x015B, "\xC5\x9B", 0x9C}, {0xA0, 0x0179, "\xC5\xB9", 0x8F}, {0xA1, 0x017B, "\xC5\xBB", 0xAF},
    {0xA2, 0x00F3, "\xC3\xB3", 0xF3}, {0xA3, 0x00D3, "\xC3\x93", 0xD3}, {0xA4, 0x0144, "\xC5\x84", 0xF1},
    {0xA5, 0x0143, "\xC5\x83", 0xD1}, {0xA6, 0x017A, "\xC5\xBA", 0x9F}, {0xA7, 0x017C, "\xC5\xBC", 0xBF},
};

// Converts with a generous buffer; the result without its terminator.
std::string convert(const std::string& source, int32_t from, int32_t to) {
  std::vector<char> out(source.size() * 4 + 8, '\x55');
  int32_t n = convertText(out.data(), static_cast<int32_t>(out.size()), source.data(),
                          static_cast<int32_t>(source.size()), from, to);
  EXPECT_GE(n, 0);
  return std::string(out.data(), n < 0 ? 0 : n);
}

std::string utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

}  // namespace

TEST(Mazovia, PolishLettersEveryWay) {
  for (const PolishLetter& l : kLetters) {
    SCOPED_TRACE(testing::Message() << "Mazovia 0x" << std::hex << int(l.mazovia));
    const std::string maz(1, static_cast<char>(l.mazovia));
    const std::string win(1, static_cast<char>(l.windows1250));
    const std::string wide = utf16(std::u16string(1, static_cast<char16_t>(l.codePoint)));

    EXPECT_EQ(mazoviaToUnicode(l.mazovia), l.codePoint);
    EXPECT_EQ(static_cast<unsigned char>(unicodeToMazovia(l.codePoint)), l.mazovia);
    EXPECT_EQ(static_cast<unsigned char>(unicodeToWindows1250(l.codePoint)), l.windows1250);
    EXPECT_EQ(mazoviaToUtf8(maz), l.utf8);
    EXPECT_EQ(utf8ToMazovia(l.utf8), maz);

    EXPECT_EQ(convert(maz, kMazovia, kUtf8), l.utf8);
    EXPECT_EQ(convert(maz, kMazovia, kWindows1250), win);
    EXPECT_EQ(convert(maz, kMazovia, kUtf16), wide);
    EXPECT_EQ(convert(l.utf8, kUtf8, kMazovia), maz);
    EXPECT_EQ(convert(win, kWindows1250, kMazovia), maz);
    EXPECT_EQ(convert(wide, kUtf16, kMazovia), maz);
    EXPECT_EQ(convert(win, kWindows1250, kUtf8), l.utf8);
    EXPECT_EQ(convert(wide, kUtf16, kWindows1250), win);
  }
}

TEST(Mazovia, EveryByteSurvivesTheUnicodeForms) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(convert(convert(all, kMazovia, kUtf8), kUtf8, kMazovia), all);
  EXPECT_EQ(convert(convert(all, kMazovia, kUtf16), kUtf16, kMazovia), all);
  EXPECT_EQ(convert(convert(all, kMazovia, kUtf8), kUtf8, kUtf16), convert(all, kMazovia, kUtf16));
  // Control bytes are text, not the code page's glyphs.
  for (int b = 1; b < 0x80; ++b) EXPECT_EQ(mazoviaToUnicode(static_cast<unsigned char>(b)), uint32_t(b));
}

TEST(Mazovia, CharactersWithoutAPlaceBecomeQuestionMarks) {
  struct Case {
    std::string source;
    int32_t from, to;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"\x82\xE1", kMazovia, kWindows1250, "\xE9\xDF"},             // é and ß exist in both
      {"\xB3\xE0\xFB", kMazovia, kWindows1250, "???"},              // box drawing, alpha, square root
      {"5 \xE2\x82\xAC", kUtf8, kMazovia, "5 ?"},                   // euro sign
      {"\x80\x9A", kWindows1250, kMazovia, "?\x3F"},                // euro, š
      {"\x81", kWindows1250, kUtf8, "?"},                           // undefined in 1250
      {"a\xC3", kUtf8, kMazovia, "a?"},                             // cut short
      {"\xC0\xAF\xED\xA0\x80", kUtf8, kUtf8, "?????"},              // overlong, surrogate
      {utf16(u"x\xD800y"), kUtf16, kUtf8, "x?y"},                   // lone surrogate
      {utf16(u"\xD83D\xDE00"), kUtf16, kUtf8, "\xF0\x9F\x98\x80"},  // pair kept whole
  };
  for (const Case& c : cases) EXPECT_EQ(convert(c.source, c.from, c.to), c.expected) << c.source;
}

TEST(Mazovia, NeverWritesPastCapacityAndAlwaysTerminates) {
  // "Zażółć gęśl" with a 4-byte and a 3-byte character (euro) that no
  // Unicode target may split.
  const std::vector<std::string> characters = {
      "Z", "a",        "\xC5\xBC",     "\xC3\xB3", "\xC5\x82", "\xF0\x9F\x98\x80", "\xC4\x87", " ",
      "g", "\xC4\x99", "\xE2\x82\xAC", "\xC5\x9B", "l"};
  std::string source;
  for (const std::string& c : characters) source += c;
  for (int32_t to : {kMazovia, kWindows1250, kUtf16, kUtf8}) {
    const int32_t terminator = to == kUtf16 ? 2 : 1;
    std::string full;
    for (const std::string& c : characters) full += convert(c, kUtf8, to);
    for (int32_t capacity = 0; capacity <= static_cast<int32_t>(full.size()) + 3; ++capacity) {
      SCOPED_TRACE(testing::Message() << "to " << to << ", capacity " << capacity);
      // As many whole characters as fit before the terminator.
      std::string expected;
      for (const std::string& c : characters) {
        std::string piece = convert(c, kUtf8, to);
        if (static_cast<int32_t>(expected.size() + piece.size()) + terminator > capacity) break;
        expected += piece;
      }
      std::vector<char> buffer(capacity + 8, '\x5A');
      int32_t n = convertText(buffer.data(), capacity, source.c_str(), -1, kUtf8, to);
      for (size_t i = capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '\x5A') << "canary " << i;
      if (capacity < terminator) {
        EXPECT_EQ(n, 0);
        continue;
      }
      ASSERT_EQ(n, static_cast<int32_t>(expected.size()));
      EXPECT_EQ(std::string(buffer.data(), n), expected);
      for (int32_t i = 0; i < terminator; ++i) EXPECT_EQ(buffer[n + i], 0);
    }
  }
}

TEST(Mazovia, LengthAndTerminatorRules) {
  char buffer[16];
  EXPECT_EQ(convertText(buffer, 16, "abc\0def", 7, kMazovia, kUtf8), 3);  // a zero ends the text
  EXPECT_EQ(convertText(buffer, 16, "abcdef", 2, kMazovia, kUtf8), 2);
  EXPECT_EQ(std::string(buffer), "ab");
  const std::string wide = utf16(u"ab") + std::string("\0\0x\0", 4);
  EXPECT_EQ(convertText(buffer, 16, wide.data(), -1, kUtf16, kMazovia), 2);
  EXPECT_EQ(convertText(buffer, 16, wide.data(), 3, kUtf16, kMazovia), 1);  // an odd last byte is no character
  EXPECT_EQ(convertText(buffer, 16, "abc", -1, 2, kUtf8), -1);
  EXPECT_EQ(convertText(buffer, 16, "abc", -1, kUtf8, 7), -1);
  EXPECT_EQ(convertText(nullptr, 16, "abc", -1, kUtf8, kUtf8), -1);
  buffer[0] = 'x';
  EXPECT_EQ(convertText(buffer, 16, nullptr, -1, kMazovia, kUtf8), 0);
  EXPECT_EQ(buffer[0], 0);
  buffer[1] = 'x';
  EXPECT_EQ(convertText(buffer, 1, "abc", -1, kMazovia, kUtf16), 0);  // no room for a wide zero
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 'x');
}

TEST(Mazovia, ConvertsInPlace) {
  char text[] =
      "Zap\x92"
      "a\x8D za \x9E"
      "wiat\x92o: got\xA2wka";
  const std::string expected =
      "Zap\xB3"
      "a\xE6 za \x9C"
      "wiat\xB3o: got\xF3wka";
  EXPECT_EQ(convertText(text, sizeof text, text, -1, kMazovia, kWindows1250), static_cast<int32_t>(expected.size()));
  EXPECT_EQ(std::string(text), expected);
}
