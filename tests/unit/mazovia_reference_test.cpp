// The host's Mazovia conversions against published code-page tables that the
// test set-up installs:
//   KW_MAZOVIA_TABLE  konwert's charset table of Mazovia (lines "\t<byte>\t<character>")
//   KW_CP1250_TABLE   iconv-lite's single-byte data (the "windows1250" entry: 128
//                     characters for 0x80..0xFF, U+FFFD where the code page has none)
// A variable that is not set skips its check; one that names a missing or
// unreadable file fails it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mazovia.h"
#include "test_support.h"

// The Windows build's test program crashes under wine when a test skips, so
// there a check without its tables says so and passes.
#if defined(_WIN32)
#define KW_SKIP(message)                       \
  do {                                         \
    std::printf("[  SKIPPED ] %s\n", message); \
    return;                                    \
  } while (0)
#else
#define KW_SKIP(message) GTEST_SKIP() << message
#endif

namespace {

using Table = std::array<std::string, 128>;  // the UTF-8 character of each byte 0x80..0xFF

size_t utf8Length(unsigned char lead) { return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

// Empty when the variable is not set; fails the test when it is set but the
// file cannot be read.
std::string tableText(const char* variable) {
  const char* path = std::getenv(variable);
  if (!path || !*path) return "";
  std::string text = testing_support::readFile(path);
  EXPECT_FALSE(text.empty()) << variable << " names " << path << ", which is missing or empty";
  return text;
}

bool parseKonwert(const std::string& text, Table& table) {
  size_t filled = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) continue;
    if (line.size() < 4 || line[0] != '\t' || line[2] != '\t') return false;
    unsigned char byte = static_cast<unsigned char>(line[1]);
    if (byte < 0x80 || !table[byte - 0x80].empty()) return false;
    table[byte - 0x80] = line.substr(3);
    ++filled;
  }
  return filled == table.size();
}

bool parseIconvLite(const std::string& text, const std::string& name, Table& table) {
  size_t entry = text.find("\"" + name + "\": {");
  if (entry == std::string::npos) return false;
  const std::string key = "\"chars\": \"";
  size_t pos = text.find(key, entry);
  if (pos == std::string::npos) return false;
  pos += key.size();
  for (std::string& character : table) {
    if (pos >= text.size() || text[pos] == '"' || text[pos] == '\\') return false;
    size_t n = utf8Length(static_cast<unsigned char>(text[pos]));
    character = text.substr(pos, n);
    pos += n;
  }
  return pos < text.size() && text[pos] == '"';
}

std::string convertByte(unsigned char byte, int32_t to) {
  const char source[2] = {static_cast<char>(byte), '\0'};
  char out[16] = {};
  int32_t n = welkor::convertText(out, sizeof out, source, -1, welkor::kMazovia, to);
  return n < 0 ? "<error>" : std::string(out, static_cast<size_t>(n));
}

TEST(MazoviaReference, EveryByteToUtf8AgreesWithThePublishedTable) {
  std::string text = tableText("KW_MAZOVIA_TABLE");
  if (text.empty() && !HasFailure()) KW_SKIP("KW_MAZOVIA_TABLE is not set: no published Mazovia table");
  Table mazovia;
  ASSERT_TRUE(parseKonwert(text, mazovia)) << "not a table of the 128 upper bytes";

  for (int byte = 1; byte < 0x80; ++byte) EXPECT_EQ(convertByte(byte, welkor::kUtf8), std::string(1, char(byte)));
  for (int byte = 0x80; byte < 0x100; ++byte)
    EXPECT_EQ(convertByte(byte, welkor::kUtf8), mazovia[byte - 0x80]) << "byte 0x" << std::hex << byte;
  EXPECT_EQ(convertByte(0, welkor::kUtf8), "");

  // The published table has the 18 Polish letters where our own table has them.
  const std::vector<std::pair<unsigned char, const char*>> letters = {
      {0x86, "ą"}, {0x8D, "ć"}, {0x8F, "Ą"}, {0x90, "Ę"}, {0x91, "ę"}, {0x92, "ł"},
      {0x95, "Ć"}, {0x98, "Ś"}, {0x9C, "Ł"}, {0x9E, "ś"}, {0xA0, "Ź"}, {0xA1, "Ż"},
      {0xA2, "ó"}, {0xA3, "Ó"}, {0xA4, "ń"}, {0xA5, "Ń"}, {0xA6, "ź"}, {0xA7, "ż"},
  };
  for (const auto& letter : letters) EXPECT_EQ(mazovia[letter.first - 0x80], letter.second);
}

TEST(MazoviaReference, EveryByteToWindows1250AgreesWithThePublishedTables) {
  std::string mazoviaText = tableText("KW_MAZOVIA_TABLE");
  std::string windowsText = tableText("KW_CP1250_TABLE");
  if ((mazoviaText.empty() || windowsText.empty()) && !HasFailure())
    KW_SKIP("KW_MAZOVIA_TABLE and KW_CP1250_TABLE are not both set: no published tables");
  Table mazovia, windows1250;
  ASSERT_TRUE(parseKonwert(mazoviaText, mazovia)) << "not a table of the 128 upper bytes";
  ASSERT_TRUE(parseIconvLite(windowsText, "windows1250", windows1250)) << "no windows1250 entry of 128 characters";

  for (int byte = 1; byte < 0x80; ++byte)
    EXPECT_EQ(convertByte(byte, welkor::kWindows1250), std::string(1, char(byte)));
  int placed = 0;
  for (int byte = 0x80; byte < 0x100; ++byte) {
    // The Windows-1250 byte of the same character, or '?' where it has none.
    std::string expected = "?";
    for (int w = 0; w < 128; ++w)
      if (windows1250[w] == mazovia[byte - 0x80]) expected = std::string(1, static_cast<char>(0x80 + w));
    placed += expected != "?";
    EXPECT_EQ(convertByte(byte, welkor::kWindows1250), expected) << "byte 0x" << std::hex << byte;
  }
  EXPECT_GE(placed, 18);
}

}  // namespace
