// The frame's small helpers: bounded formatting, settings, output files, and
// the install notice.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "export/exports.h"
#include "export/registration.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "test_support.h"

namespace {

using testing_support::HostTest;
using testing_support::readFile;

TEST(FormatTextN, WritesAtMostSizeCharactersAndTerminatesOnlyWhenThereIsRoom) {
  struct Case {
    size_t size;
    int result;
    const char* written;  // the bytes written, as many as the text or the size allow
    bool terminated;
  } cases[] = {
      {10, 6, "abc123", true},  // below: the text and its zero
      {7, 6, "abc123", true},   // one more than the text
      {6, 6, "abc123", false},  // exactly the text: no zero
      {4, -1, "abc1", false},   // longer: cut, no zero
      {0, -1, "", false},
  };
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(_formatTextN(buffer, c.size, "%s%d", "abc", 123), c.result) << c.size;
    size_t n = std::strlen(c.written);
    EXPECT_EQ(std::string(buffer, n), c.written) << c.size;
    EXPECT_EQ(buffer[n], c.terminated ? '\0' : '#') << c.size;
  }
}

TEST(FormatText, CutsATextThatDoesNotFitAndAlwaysTerminates) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(_formatText(buffer, 5, "%s", "Warszawa"), 4);
  EXPECT_STREQ(buffer, "Wars");
  EXPECT_EQ(buffer[5], '#');
  EXPECT_EQ(_formatText(buffer, sizeof buffer, "%d-%s", 7, "x"), 3);
  EXPECT_STREQ(buffer, "7-x");
}

class Helpers : public HostTest {};

TEST_F(Helpers, SettingsRoundTripThroughTheIniFiles) {
  ASSERT_EQ(_hostSetting(2, "EOCD", "Seller", "%s", "5901234123457"), 0);
  ASSERT_EQ(_hostSetting(2, "EOCD", "Buyer", "%s", ""), 0);
  ASSERT_EQ(_fileSetting("kwitom.ini", 2, "kwitom", "Pytaj", "%d", -3), 0);
  char text[1024] = "unchanged";
  int32_t number = 99;
  EXPECT_EQ(_hostSetting(1, "eocd", "SELLER", "%s", text), 0);
  EXPECT_STREQ(text, "5901234123457");
  EXPECT_EQ(_fileSetting("kwitom.ini", 1, "kwitom", "Pytaj", "%d", &number), 0);
  EXPECT_EQ(number, -3);
  EXPECT_NE(_fileSetting("kwitom.ini", 1, "kwitom", "Brak", "%d", &number), 0);
  EXPECT_EQ(number, -3);
  EXPECT_EQ(readFile("WELKOR.INI"), "[EOCD]\r\nSeller=5901234123457\r\nBuyer=\r\n");
  EXPECT_EQ(readFile("kwitom.ini"), "[kwitom]\r\nPytaj=-3\r\n");
}

TEST_F(Helpers, AnOutputFileOpenedInTextModeEndsItsLinesWithCrLf) {
  HostFile* file = _openOutputFile("out.txt", "wt");
  ASSERT_NE(file, nullptr);
  svc::writeFormatted(file, "a\nb%s\n", "\n");
  EXPECT_EQ(svc::closeFile(file), 0);
  EXPECT_EQ(readFile("out.txt"), "a\r\nb\r\n\r\n");
  EXPECT_EQ(_openOutputFile("no such folder/out.txt", "wt"), nullptr);
}

TEST_F(Helpers, TheInstallNoticeIsShownOnceAndItsFlagKept) {
  showInstallNotice();
  ASSERT_EQ(welkor::state().messages.size(), 1u);
  EXPECT_EQ(welkor::state().messages[0].service, 52023);
  EXPECT_EQ(welkor::state().messages[0].text,
            "Zainstalowano wtyczk\x91 do programu:\nEksport faktur. Rejestr faktur sprzedazy - Ctrl+F3");
  EXPECT_EQ(welkor::state().messages[0].numbers, (std::vector<int64_t>{1668, 0}));
  EXPECT_EQ(readFile("kwitom.ini"), "[kwitom]\r\nPytaj=1\r\n");
  showInstallNotice();
  EXPECT_EQ(welkor::state().messages.size(), 1u);
}

TEST_F(Helpers, ALoadReportWithFlagZeroShowsNothing) {
  EXPECT_EQ(kwLoadReport(0), 0);
  EXPECT_TRUE(welkor::state().messages.empty());
}

}  // namespace
