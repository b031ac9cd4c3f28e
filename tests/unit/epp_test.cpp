// The EDI++ writer's parts: the creation stamp and a host without a line table.
#include "formats/epp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "database.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "tables.h"
#include "test_support.h"

namespace {

using testing_support::HostTest;
using testing_support::setNow;

std::string stampOf(std::time_t t) {
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d%H%M00", std::localtime(&t));
  return text;
}

class Epp : public HostTest {
 protected:
  void TearDown() override {
    setNow(nullptr);
    HostTest::TearDown();
  }
  void load(const std::string& json) {
    useDatabase(json);
  }
  const char* invoice() { return welkor::state().db.invoices.at(0).header.data(); }
};

TEST_F(Epp, TimestampFollowsTheFixedMoment) {
  struct Case {
    const char* now;
    const char* stamp;
  };
  for (const Case& c : {Case{"2024-03-05 14:07", "20240305140700"}, Case{"1999-12-31 23:59", "19991231235900"},
                        Case{"2024-01-01 00:00", "20240101000000"}}) {
    setNow(c.now);
    char buffer[32] = {};
    EXPECT_EQ(_eppTimestamp(buffer), buffer);
    EXPECT_STREQ(buffer, c.stamp) << c.now;
  }
}

TEST_F(Epp, TimestampWithoutFixedMomentUsesTheClock) {
  setNow(nullptr);
  std::time_t before = std::time(nullptr);
  char buffer[32] = {};
  _eppTimestamp(buffer);
  std::time_t after = std::time(nullptr);
  EXPECT_TRUE(buffer == stampOf(before) || buffer == stampOf(after)) << buffer;
}

TEST_F(Epp, WithoutLineTableNothingIsWrittenAndEachPassSaysWhy) {
  load(R"({ "invoices": [ { "IdDokumentu": 1, "lines": [ { "Nazwa": "A", "Ilosc": 1 } ] } ],
            "host": { "tables": { "45": { "absent": true } } } })");
  HostFile* file = _openOutputFile("out.epp", "wt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(_eppLineCount(invoice()), 0);
  EXPECT_EQ(_eppLines(invoice(), file, "PLN"), 0);
  svc::closeFile(file);
  EXPECT_EQ(testing_support::readFile("out.epp"), "");
  const auto& messages = welkor::state().messages;
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].text.find("nr 1335"), std::string::npos);
  EXPECT_NE(messages[1].text.find("nr 1324"), std::string::npos);
}

TEST_F(Epp, LineCountSkipsLinesWithoutQuantityOrName) {
  load(R"({ "invoices": [ { "IdDokumentu": 1, "lines": [
            { "Nazwa": "A", "Ilosc": 1 }, { "Nazwa": "B", "Ilosc": 0 }, { "Nazwa": "", "Ilosc": 2 },
            { "Nazwa": "C", "Ilosc": -1 } ] } ] })");
  EXPECT_EQ(_eppLineCount(invoice()), 2);
}

}  // namespace
