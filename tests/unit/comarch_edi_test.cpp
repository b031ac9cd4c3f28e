// The Comarch EDI writer's ILN numbers from the settings store, and its line
// writer on a host without a line table.
#include "formats/comarch_edi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "database.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "tables.h"
#include "test_support.h"

namespace {

using testing_support::HostTest;

class ComarchEdi : public HostTest {};

TEST_F(ComarchEdi, StoredNumbersFillTheirFieldsCutTo13Characters) {
  struct Case {
    const char* ini;
    std::string seller;
    std::string buyer;
  };
  const Case cases[] = {
      {nullptr, "", ""},
      {"[EOCD]\r\nSeller=\r\nBuyer=\r\n", "", ""},
      {"[EOCD]\r\nSeller=5901234123457\r\nBuyer=5909876543210\r\n", "5901234123457", "5909876543210"},
      {"[EOCD]\r\nSeller=59012341234579999\r\nBuyer=123\r\n", "5901234123457", "123"},
      {"[EOCD]\r\nBuyer=12345678901234567890123456789012345678901234567890\r\n", "", "1234567890123"},
  };
  for (const Case& c : cases) {
    std::remove("WELKOR.INI");
    if (c.ini) testing_support::writeFile("WELKOR.INI", c.ini);
    char iln[kIlnBufferSize + 4];
    std::memset(iln, 'x', sizeof iln);
    readStoredIlns(iln);
    EXPECT_EQ(std::string(iln), c.seller);
    EXPECT_EQ(std::string(iln + kIlnRoom), c.buyer);
    EXPECT_EQ(iln[13], '\0');
    EXPECT_EQ(iln[27], '\0');
    EXPECT_EQ(iln[28], 'x') << "written past the ILN buffer";
  }
}

TEST_F(ComarchEdi, LinesWithoutLineTableAreNoneAndTheUserIsTold) {
  useDatabase(R"({ "invoices": [ { "IdDokumentu": 1, "lines": [ { "Nazwa": "A", "Ilosc": 1 } ] } ],
                   "host": { "tables": { "45": { "absent": true } } } })");
  HostFile* file = _openOutputFile("out.xml", "wt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(writeEdiLines(welkor::state().db.invoices.at(0).header.data(), file), 0);
  svc::closeFile(file);
  EXPECT_EQ(testing_support::readFile("out.xml"), "");
  ASSERT_EQ(welkor::state().messages.size(), 1u);
  EXPECT_NE(welkor::state().messages[0].text.find("nr 1324"), std::string::npos);
}

}  // namespace
