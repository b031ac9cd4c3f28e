// The host's value services: dates, the non-zero test, VAT rates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "test_support.h"

namespace {

using testing_support::HostTest;
using testing_support::setNow;

class Values : public HostTest {
 protected:
  void TearDown() override {
    setNow(nullptr);
    HostTest::TearDown();
  }
};

// A host date field: "YYYYMMDD" and its zero; "" is the empty date.
std::string hostDate(const std::string& digits) {
  std::string date(9, '\0');
  std::memcpy(&date[0], digits.data(), digits.size());
  return date;
}

std::string addDays(const std::string& digits, int32_t days) {
  char out[9];
  std::memset(out, 'Z', sizeof out);
  svc::addDays(hostDate(digits).data(), out, days);
  return std::string(out, sizeof out);
}

TEST_F(Values, AddingDaysFollowsTheCalendar) {
  struct Case {
    const char* date;
    int32_t days;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"20240305", 14, "20240319"},  {"20240131", 1, "20240201"},
      {"20240228", 1, "20240229"},   {"20230228", 1, "20230301"},
      {"20240229", 365, "20250228"}, {"19000228", 1, "19000301"},
      {"20000228", 1, "20000229"},   {"20241231", 1, "20250101"},
      {"20240301", -1, "20240229"},  {"20230301", -1, "20230228"},
      {"20250101", -1, "20241231"},  {"20240315", 0, "20240315"},
      {"20240430", 1, "20240501"},   {"20240101", 65535, "22030607"},
      {"20240305", -60, "20240105"}, {"00010101", -1, ""},
      {"99991231", 1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(addDays(c.date, c.days), hostDate(c.expected)) << c.date << " " << c.days;
}

TEST_F(Values, AnEmptyDateStaysEmpty) {
  for (int32_t days : {0, 14, -3}) EXPECT_EQ(addDays("", days), hostDate("")) << days;
  int16_t y = 7, m = 7, d = 7;
  svc::splitDate(hostDate("").data(), &y, &m, &d, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(d, 0);
  char text[16] = "garbage";
  EXPECT_EQ(svc::dateText(text, hostDate("").data()), text);
  EXPECT_STREQ(text, "");
}

TEST_F(Values, DatesSplitAndPrint) {
  struct Case {
    const char* date;
    int16_t year, month, day;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"20240305", 2024, 3, 5, "05.03.2024"},
      {"19991231", 1999, 12, 31, "31.12.1999"},
      {"20240229", 2024, 2, 29, "29.02.2024"},
  };
  for (const Case& c : cases) {
    int16_t y = 0, m = 0, d = 0;
    svc::splitDate(hostDate(c.date).data(), &y, &m, &d, 0);
    EXPECT_EQ(y, c.year) << c.date;
    EXPECT_EQ(m, c.month) << c.date;
    EXPECT_EQ(d, c.day) << c.date;
    char text[16];
    EXPECT_STREQ(svc::dateText(text, hostDate(c.date).data()), c.text);
  }
}

TEST_F(Values, TodayAndTimeComeFromTheFixedMoment) {
  setNow("2024-03-05 09:07");
  char today[9];
  svc::today(today);
  EXPECT_EQ(std::string(today, 9), hostDate("20240305"));
  char time[16];
  EXPECT_STREQ(svc::timeText(time, 2), "09:07");
}

TEST_F(Values, TodayWithoutAFixedMomentIsAReadableDate) {
  setNow(nullptr);
  char today[9];
  svc::today(today);
  int16_t y = 0, m = 0, d = 0;
  svc::splitDate(today, &y, &m, &d, 0);
  EXPECT_GE(y, 2024);
  EXPECT_GE(m, 1);
  EXPECT_GE(d, 1);
  char time[16];
  EXPECT_EQ(std::strlen(svc::timeText(time, 2)), 5u);
  EXPECT_EQ(time[2], ':');
}

TEST_F(Values, NonZeroTestRoundsToTheResolution) {
  struct Case {
    double stored;  // amount x 10000
    int32_t expected;
  };
  const std::vector<Case> cases = {
      {0.0, 0},   {49.0, 0},       {49.999, 0}, {50.0, 1},  {-49.0, 0}, {-50.0, 1},
      {100.0, 1}, {12345678.0, 1}, {-0.0, 0},   {150.0, 1}, {0.5, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(svc::amountNonZero(c.stored, 100) != 0, c.expected != 0) << c.stored;
}

TEST_F(Values, VatRatesComeFromTheDatabase) {
  welkor::state().db.vatRates = {{0, 23.0}, {1, 8.0}, {2, 5.0}, {3, 0.0}};
  EXPECT_EQ(svc::vatRate(0), 23.0);
  EXPECT_EQ(svc::vatRate(1), 8.0);
  EXPECT_EQ(svc::vatRate(2), 5.0);
  EXPECT_EQ(svc::vatRate(3), 0.0);
  EXPECT_EQ(svc::vatRate(7), 0.0);
  EXPECT_EQ(svc::vatRate(-1), 0.0);
}

}  // namespace
