// Markup-safe cleaning and the converting writes into output files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/records.h"
#include "data/text_output.h"
#include "data/write_status.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "mazovia.h"
#include "test_support.h"

namespace {

using testing_support::HostTest;
using testing_support::readFile;

class TextOutput : public HostTest {
 protected:
  void TearDown() override {
    svc::cleanText.fn = savedClean_;
    HostTest::TearDown();
  }
  Fn_40404 savedClean_ = svc::cleanText.fn;
};

std::vector<std::string> g_cleaned;

char* KW_CDECL recordClean(char* text) {
  g_cleaned.push_back(text);
  return text;
}

TEST_F(TextOutput, XmlSafeBlanksTheMarkupCharactersInPlace) {
  struct Case {
    std::string text, expected;
  };
  const std::vector<Case> cases = {
      {"a&b <c>", "a b  c "},
      {"", ""},
      {"line\r\nbreak\n", "line  break "},
      {"<&>\"'\\\n\r", "        "},
      {"O'Neil \"Dom\" C:\\x", "O Neil  Dom  C: x"},
      // the host's clean-up takes the other control bytes
      {"tab\there\x01", "tab here "},
      // Polish letters and every byte from 0x80 up stay
      {"Zak\x92"
       "ad \x86\x8D\x90\x91\xA1\xA7 \x80\xB3\xFF",
       "Zak\x92"
       "ad \x86\x8D\x90\x91\xA1\xA7 \x80\xB3\xFF"},
      {"100% & 5$", "100%   5$"},
  };
  for (const Case& c : cases) {
    std::vector<char> text(c.text.begin(), c.text.end());
    text.push_back('\0');
    text.push_back('<');  // beyond the zero: never looked at
    EXPECT_EQ(_xmlSafe(text.data()), text.data());
    EXPECT_EQ(std::string(text.data()), c.expected) << c.text;
    EXPECT_EQ(text.back(), '<');
    // A second cleaning changes nothing.
    EXPECT_EQ(std::string(_xmlSafe(text.data())), c.expected);
  }
}

TEST_F(TextOutput, XmlSafeHandsTheOriginalTextToTheHostCleanUpFirst) {
  g_cleaned.clear();
  svc::cleanText.fn = &recordClean;
  char text[] = "a<b>\x01";
  _xmlSafe(text);
  EXPECT_EQ(g_cleaned, std::vector<std::string>{"a<b>\x01"});
  EXPECT_STREQ(text, "a b \x01");
}

// Writes with one of the two writers into a fresh text-mode file and returns
// the file's bytes.
enum class Writer { Utf8, Windows1250 };

template <typename... A>
std::string writeWith(Writer writer, const char* format, A... args) {
  HostFile* file = _openOutputFile("out.txt", "wt");
  EXPECT_NE(file, nullptr);
  if (writer == Writer::Utf8)
    _fprintfUTF(file, format, args...);
  else
    _fprintf1250(file, format, args...);
  svc::closeFile(file);
  return readFile("out.txt");
}

TEST_F(TextOutput, PiecesAreConvertedAsAWhole) {
  struct Case {
    const char* format;
    const char* argument;  // for "%s", or null
    std::string utf8, windows1250;
  };
  const std::vector<Case> cases = {
      {"got\xA2wka", nullptr, "got\xC3\xB3wka", "got\xF3wka"},
      {"(Faktura sprzeda\xA7y) %s",
       "Zap\x92"
       "ata",
       "(Faktura sprzeda\xC5\xBCy) Zap\xC5\x82"
       "ata",
       "(Faktura sprzeda\xBFy) Zap\xB3"
       "ata"},
      // a host text that ends in a percent sign is written as it is
      {"<R>%s</R>", "Rabat 5%", "<R>Rabat 5%</R>", "<R>Rabat 5%</R>"},
      {"%s", "%d %s %n", "%d %s %n", "%d %s %n"},
      // ASCII byte for byte; the text-mode file writes LF as CR LF
      {"<a>\n\t<b>%s</b>\n", "x~y", "<a>\r\n\t<b>x~y</b>\r\n", "<a>\r\n\t<b>x~y</b>\r\n"},
      {"", nullptr, "", ""},
      {"%s", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    if (c.argument) {
      EXPECT_EQ(writeWith(Writer::Utf8, c.format, c.argument), c.utf8);
      EXPECT_EQ(writeWith(Writer::Windows1250, c.format, c.argument), c.windows1250);
    } else {
      EXPECT_EQ(writeWith(Writer::Utf8, c.format), c.utf8);
      EXPECT_EQ(writeWith(Writer::Windows1250, c.format), c.windows1250);
    }
  }
  EXPECT_TRUE(welkor::state().messages.empty());
}

TEST_F(TextOutput, EveryPolishLetterComesOutAsItsTableSays) {
  const std::string mazovia = "\x86\x8D\x8F\x90\x91\x92\x95\x98\x9C\x9E\xA0\xA1\xA2\xA3\xA4\xA5\xA6\xA7";
  const std::string utf8 =
      "\xC4\x85\xC4\x87\xC4\x84\xC4\x98\xC4\x99\xC5\x82\xC4\x86\xC5\x9A\xC5\x81"
      "\xC5\x9B\xC5\xB9\xC5\xBB\xC3\xB3\xC3\x93\xC5\x84\xC5\x83\xC5\xBA\xC5\xBC";
  const std::string windows1250 = "\xB9\xE6\xA5\xCA\xEA\xB3\xC6\x8C\xA3\x9C\x8F\xAF\xF3\xD3\xF1\xD1\x9F\xBF";
  EXPECT_EQ(writeWith(Writer::Utf8, "%s", mazovia.c_str()), utf8);
  EXPECT_EQ(writeWith(Writer::Windows1250, "%s", mazovia.c_str()), windows1250);
}

TEST_F(TextOutput, TextsOfThreeByteCharactersAreWrittenWhole) {
  // Box drawing and the like need three bytes each in UTF-8.
  const std::string lines(1000, '\xB3');
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += "\xE2\x94\x82";
  EXPECT_EQ(writeWith(Writer::Utf8, "%s", lines.c_str()), expected);
  EXPECT_EQ(writeWith(Writer::Windows1250, "%s", lines.c_str()), std::string(1000, '?'));
}

TEST_F(TextOutput, APieceLongerThanTheFormattingBufferIsCutToFit) {
  const std::string half(150000, 'a');
  const size_t fits = 205825 - 1;
  for (Writer w : {Writer::Utf8, Writer::Windows1250}) {
    std::string written = writeWith(w, "%s%s|", half.c_str(), half.c_str());
    EXPECT_EQ(written.size(), fits);
    EXPECT_EQ(written.find_first_not_of('a'), std::string::npos);
  }
  // Just fitting: nothing is lost.
  const std::string exact(fits, 'b');
  EXPECT_EQ(writeWith(Writer::Utf8, "%s", exact.c_str()).size(), fits);
}

// A piece that cannot be composed fails the file, as a failed write does.
TEST_F(TextOutput, WithoutAFormattingBufferThePieceFailsTheFile) {
  welkor::state().db.knobs.failAllocationSize = 205825;
  for (Writer w : {Writer::Utf8, Writer::Windows1250}) {
    resetWriteStatus();
    EXPECT_EQ(writeWith(w, "abc"), "");
    EXPECT_TRUE(writeFailed());
  }
  EXPECT_TRUE(welkor::state().messages.empty());
}

TEST_F(TextOutput, WithoutAUtf8BufferTheUserIsToldAndTheFileFails) {
  welkor::state().db.knobs.failAllocationSize = 3 * 5 + 10;  // for a piece of 5 bytes
  resetWriteStatus();
  EXPECT_EQ(writeWith(Writer::Utf8, "%s", "abcde"), "");
  EXPECT_TRUE(writeFailed());
  ASSERT_EQ(welkor::state().messages.size(), 1u);
  EXPECT_EQ(welkor::state().messages[0].service, 52030);
  EXPECT_EQ(welkor::state().messages[0].text,
            welkor::utf8ToMazovia("Nie udało się zająć pamięci dla zmiennej w funkcji _fprintfUTF"));
  // A piece of another length is not affected.
  EXPECT_EQ(writeWith(Writer::Utf8, "%s", "abcd"), "abcd");
}

TEST_F(TextOutput, XmlSafeFieldKeepsToTheFieldsRoom) {
  constexpr layout::Text field = layout::Tspr::NrFaktury;
  constexpr layout::Text next = layout::Tspr::SymbolOdbiorcy;
  std::vector<char> record(layout::Tspr::kSize, '\0');
  std::memcpy(&record[next.offset], "<keep>", 7);

  // A terminated field: cleaned in the record, the rest of the room untouched.
  std::memcpy(&record[field.offset], "FV<1>&\"2\"\0<", 11);
  EXPECT_EQ(xmlSafeField(record.data(), field), "FV 1   2 ");
  EXPECT_EQ(rec::text(record.data(), field), "FV 1   2 ");
  EXPECT_EQ(record[field.offset + 10], '<');

  // A field that fills its room with no zero: nothing beyond the room is read
  // or written.
  std::string full(field.room, 'x');
  full[0] = '<';
  full[field.room - 1] = '&';
  std::memcpy(&record[field.offset], full.data(), full.size());
  std::string expected = " " + std::string(field.room - 2, 'x') + " ";
  EXPECT_EQ(xmlSafeField(record.data(), field), expected);
  EXPECT_EQ(std::string(&record[field.offset], field.room), expected);
  EXPECT_STREQ(&record[next.offset], "<keep>");

  std::memset(&record[field.offset], 0, field.room);
  EXPECT_EQ(xmlSafeField(record.data(), field), "");
}

TEST_F(TextOutput, XmlEscapedKeepsTheTextReadable) {
  struct Case {
    std::string text, expected;
  };
  const std::vector<Case> cases = {
      {"A&B <x> \"q\" 'a'", "A&amp;B &lt;x&gt; \"q\" 'a'"},
      {"&amp;", "&amp;amp;"},
      {"a\tb\nc\rd", "a\tb\nc\rd"},
      {"a\x01"
       "b\x1F"
       "c\x0B",
       "a b c "},
      {"\x86\xA2\x7F\x80", "\x86\xA2\x7F\x80"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(xmlEscaped(c.text), c.expected) << c.text;
}

}  // namespace
