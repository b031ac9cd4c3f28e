// Invoice data through the host: tables, the line scan and its protocol,
// customer and goods lookups, customer records and attributes, line values.
#include "data/host_data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "database.h"
#include "frame/host_services.h"
#include "scan_checks.h"
#include "service_impl.h"
#include "tables.h"
#include "test_support.h"

namespace {

using testing_support::HostTest;

constexpr uint32_t kKey = 51425, kOpen = 52278, kNext = 52279, kEnd = 52281, kDispose = 50538;

const char* const kDatabase = R"({
  "vatRates": { "0": 23, "1": 8 },
  "customers": [ { "Id": 42, "Symbol": "KOWAL", "Nazwa": "Sklep", "Email": "jan@example.com",
                   "attributes": { "e-mail": "faktury@example.com" } },
                 { "Id": 43, "Symbol": "NOWAK" } ],
  "goods": [ { "RefTowaru1": 1, "RefTowaru2": 7, "Kod": "5901234123457" },
             { "RefTowaru1": 1, "RefTowaru2": 7, "Kod": "DRUGI" },
             { "RefTowaru1": 7, "RefTowaru2": 1, "Kod": "ODWROTNY" } ],
  "invoices": [
    { "IdDokumentu": 1234, "IdKontrahenta": 42,
      "lines": [ { "Nazwa": "Pierwsza", "Ilosc": 2, "KodVat": 1 },
                 { "Nazwa": "Bez ilosci", "Ilosc": 0, "CenaDokumentu": 5 },
                 { "Nazwa": "", "Ilosc": 3, "CenaDokumentu": 5 },
                 { "Nazwa": "Zwrot", "Ilosc": -1 },
                 { "Nazwa": "Grosz", "Ilosc": 0.001 } ] },
    { "IdDokumentu": 1235, "lines": [] },
    { "IdDokumentu": 7, "lines": [ { "Nazwa": "Cudza", "Ilosc": 1 } ] } ]
})";

class HostData : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    load(kDatabase);
  }
  void load(const std::string& json) {
    useDatabase(json);
  }
  const char* invoice(size_t i) { return welkor::state().db.invoices.at(i).header.data(); }
  const std::vector<uint32_t>& calls() { return welkor::scanChecks().calls; }
  int32_t protocolErrors() { return welkor::scanChecks().protocolErrors; }
};

std::vector<uint32_t> repeat(uint32_t ordinal, size_t n) { return std::vector<uint32_t>(n, ordinal); }
std::vector<uint32_t> concat(std::initializer_list<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST_F(HostData, BothPassesSeeOnlyTheCountingLinesInScanOrder) {
  HostTable* lines = openLineTable(1324);
  ASSERT_NE(lines, nullptr);
  int32_t counted = 0;
  std::vector<std::string> names;
  {
    LineScan scan(lines, invoice(0));
    counted = countCountingLines(scan);
    int32_t written = scan.pass([&](const char* line) {
      EXPECT_EQ(line, table::currentRecord(lines));
      names.push_back(rec::text(line, layout::Tspr_dok::Nazwa));
    });
    EXPECT_EQ(written, counted);
  }
  EXPECT_EQ(counted, 3);
  EXPECT_EQ(names, (std::vector<std::string>{"Pierwsza", "Zwrot", "Grosz"}));
  // Five lines: five steps and the one that ends each pass.
  EXPECT_EQ(calls(), concat({{kKey, kOpen}, repeat(kNext, 6), {kEnd, kOpen}, repeat(kNext, 6), {kEnd, kDispose}}));
  EXPECT_EQ(protocolErrors(), 0);
  EXPECT_TRUE(welkor::state().messages.empty());
}

TEST_F(HostData, AScanThatCannotBeOpenedVisitsNothingAndIsStillEndedAndDisposed) {
  struct Case {
    const char* name;
    std::string json;
    size_t invoice;
    int32_t documentId;  // 0: the invoice's own
  };
  const std::string noLineTable =
      R"({ "invoices": [ { "IdDokumentu": 1234, "lines": [ { "Nazwa": "A", "Ilosc": 1 } ] } ],
                                       "host": { "tables": { "45": { "absent": true } } } })";
  const Case cases[] = {
      {"invoice without lines", kDatabase, 1, 0},
      {"invoice unknown to the host", kDatabase, 0, 999},
      {"no line table", noLineTable, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    load(c.json);
    welkor::Bytes header = welkor::state().db.invoices.at(c.invoice).header;
    if (c.documentId) rec::store<int32_t>(header.data(), layout::Tspr::IdDokumentu.offset, c.documentId);
    int visited = 0;
    {
      LineScan scan(openTable(kLineTable), header.data());
      EXPECT_EQ(countCountingLines(scan), 0);
      EXPECT_EQ(scan.pass([&](const char*) { ++visited; }), 0);
    }
    EXPECT_EQ(visited, 0);
    EXPECT_EQ(calls(), (std::vector<uint32_t>{kKey, kOpen, kEnd, kOpen, kEnd, kDispose}));
    EXPECT_EQ(protocolErrors(), 0);
  }
}

TEST_F(HostData, AMissingLineTableShowsTheDiskErrorWithItsNumber) {
  load(R"({ "host": { "tables": { "45": { "absent": true } } } })");
  for (int32_t number : {1324, 1335}) {
    welkor::state().messages.clear();
    EXPECT_EQ(openLineTable(number), nullptr);
    ASSERT_EQ(welkor::state().messages.size(), 1u);
    const welkor::LoggedMessage& m = welkor::state().messages[0];
    EXPECT_EQ(m.service, 52028);
    EXPECT_EQ(m.title,
              "B\x92\x86"
              "d");
    EXPECT_EQ(m.text,
              "B\x92\x86"
              "d operacji dyskowej nr " +
                  std::to_string(number) + " we wtyczce kwitomat!\nOperacja niekompletna!");
    EXPECT_EQ(m.numbers, (std::vector<int64_t>{1}));
  }
}

TEST_F(HostData, AFailureInsideAPassStillEndsTheScanAndDisposesOfTheBlock) {
  HostTable* lines = openTable(kLineTable);
  EXPECT_THROW(
      {
        LineScan scan(lines, invoice(0));
        scan.pass([](const char*) { throw std::runtime_error("writer failed"); });
      },
      std::runtime_error);
  EXPECT_EQ(calls(), (std::vector<uint32_t>{kKey, kOpen, kNext, kEnd, kDispose}));
  EXPECT_EQ(protocolErrors(), 0);
}

// The host's own checks, which the writers' tests rely on.
TEST_F(HostData, TheHostCountsEveryBreachOfTheScanProtocol) {
  checkProtocol_ = false;
  HostTable* lines = welkor::tables().object(45);
  char key[256];
  welkor_svc_51425(812, 0, key, 1234);
  struct Case {
    const char* name;
    void (*run)(char* block, HostTable* lines, const char* key);
    int32_t errors;
  };
  const Case cases[] = {
      {"by the book",
       [](char* b, HostTable* t, const char* k) {
         welkor_svc_52278(b, t, 68, k, 0, 0);
         while (welkor_svc_52279(b) == 1) {
         }
         welkor_svc_52281(b);
         welkor_svc_52278(b, t, 68, k, 0, 0);
         welkor_svc_52281(b);
         welkor_svc_50538(b);
       },
       0},
      {"next without open", [](char* b, HostTable*, const char*) { welkor_svc_52279(b); }, 1},
      {"next after a failed open",
       [](char* b, HostTable* t, const char*) {
         welkor_svc_52278(b, t, 68, "812:1235", 0, 0);
         welkor_svc_52279(b);
         welkor_svc_52281(b);
       },
       1},
      {"open twice without end",
       [](char* b, HostTable* t, const char* k) {
         welkor_svc_52278(b, t, 68, k, 0, 0);
         welkor_svc_52278(b, t, 68, k, 0, 0);
         welkor_svc_52281(b);
       },
       1},
      {"end without open", [](char* b, HostTable*, const char*) { welkor_svc_52281(b); }, 1},
      {"next after end",
       [](char* b, HostTable* t, const char* k) {
         welkor_svc_52278(b, t, 68, k, 0, 0);
         welkor_svc_52281(b);
         welkor_svc_52279(b);
       },
       1},
      {"dispose while scanning",
       [](char* b, HostTable* t, const char* k) {
         welkor_svc_52278(b, t, 68, k, 0, 0);
         welkor_svc_50538(b);
       },
       1},
      {"block not cleared before first use",
       [](char* b, HostTable* t, const char* k) {
         std::memset(b + 188, 0x5A, 4);
         welkor_svc_52278(b, t, 68, k, 0, 0);
         welkor_svc_52281(b);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    welkor::scanChecks() = {};
    char block[192] = {};
    c.run(block, lines, key);
    welkor_svc_50538(block);
    EXPECT_EQ(protocolErrors(), c.errors);
  }
}

TEST_F(HostData, OnlyTheLineKeyOnTheLineTableOpensAScan) {
  char key[256];
  welkor_svc_51425(812, 0, key, 1234);
  EXPECT_STREQ(key, "812:1234");
  char other[256];
  welkor_svc_51425(77, 0, other, 1234);
  struct Case {
    const char* name;
    int32_t table;
    int32_t index;
    const char* key;
    int32_t opened;
  };
  const Case cases[] = {
      {"lines of 1234", 45, 68, key, 1}, {"another invoice", 45, 68, "812:7", 1}, {"another index", 45, 12, key, 0},
      {"another table", 44, 68, key, 0}, {"another key", 45, 68, other, 0},       {"not a key", 45, 68, "812:12x", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char block[192] = {};
    EXPECT_EQ(welkor_svc_52278(block, welkor::tables().object(c.table), c.index, c.key, 0, 0), c.opened);
    welkor_svc_52281(block);
    welkor_svc_50538(block);
  }
  EXPECT_EQ(protocolErrors(), 0);
}

TEST_F(HostData, CustomerLookupLoadsTheCustomerIntoTable35) {
  char* current = table::currentRecord(welkor::tables().object(35));
  struct Case {
    int32_t number;
    bool found;
    const char* symbolAfter;
  };
  const Case cases[] = {{43, true, "NOWAK"}, {42, true, "KOWAL"}, {99, false, "KOWAL"}, {0, false, "KOWAL"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(lookupCustomer(c.number), c.found);
    EXPECT_EQ(*svc::customerSearchKey(), c.number);
    EXPECT_EQ(rec::text(current, layout::Kontrahent::Symbol), c.symbolAfter);
  }
  load(R"({ "customers": [ { "Id": 42 } ], "host": { "tables": { "35": { "absent": true } } } })");
  EXPECT_FALSE(lookupCustomer(42));
}

TEST_F(HostData, GoodsLookupTakesTheFirstRecordWithBothReferences) {
  struct Case {
    uint16_t ref1, ref2;
    bool found;
    const char* code;
  };
  const Case cases[] = {{1, 7, true, "5901234123457"}, {7, 1, true, "ODWROTNY"}, {1, 8, false, ""}, {0, 0, false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ref1) + "/" + std::to_string(c.ref2));
    char line[layout::Tspr_dok::kSize] = {};
    rec::store<uint16_t>(line, layout::Tspr_dok::RefTowaru1.offset, c.ref1);
    rec::store<uint16_t>(line, layout::Tspr_dok::RefTowaru2.offset, c.ref2);
    char goods[kGoodsRecordSize] = {};
    EXPECT_EQ(lookupGoods(line, goods), c.found);
    EXPECT_EQ(rec::text(goods, layout::Towar::Kod), c.code);
  }
}

std::string hexOf(const std::string& bytes) {
  std::string hex;
  char two[4];
  for (unsigned char b : bytes) {
    std::snprintf(two, sizeof two, "%02X ", b);
    hex += two;
  }
  return hex;
}

TEST_F(HostData, TextsThatFillTheirRoomEndAtTheRoom) {
  const std::string name(121, 'N'), code(17, 'K'), symbol(17, 'S');
  load(R"({ "customers": [ { "Id": 5, "Nazwa": "Nastepne pole",
                             "rawBytes": [ { "offset": 2, "hex": ")" +
       hexOf(symbol) + R"(" } ] } ],
            "invoices": [ { "IdDokumentu": 1, "lines": [ { "Ilosc": 1, "Jm": "szt",
                "rawBytes": [ { "offset": 2, "hex": ")" +
       hexOf(name + code) + R"(" } ] } ] } ] })");
  std::vector<std::string> seen;
  {
    LineScan scan(openTable(kLineTable), invoice(0));
    scan.pass([&](const char* line) {
      seen.push_back(rec::text(line, layout::Tspr_dok::Nazwa));
      seen.push_back(rec::text(line, layout::Tspr_dok::Kod));
      seen.push_back(rec::text(line, layout::Tspr_dok::Jm));
    });
  }
  EXPECT_EQ(seen, (std::vector<std::string>{name, code, "szt"}));

  ASSERT_TRUE(lookupCustomer(5));
  const char* customer = table::currentRecord(openTable(kCustomerTable));
  EXPECT_EQ(rec::text(customer, layout::Kontrahent::Symbol), symbol);
  EXPECT_EQ(rec::text(customer, layout::Kontrahent::Nazwa), "Nastepne pole");
}

TEST_F(HostData, PaymentFormIsBitsNineToFourteenAsASignedNumber) {
  struct Case {
    uint16_t word;
    int32_t code;
  };
  const Case cases[] = {
      {0x0000, 0},          {1 << 9, 1},
      {2 << 9, 2},          {12 << 9, 12},
      {13 << 9, 13},        {14 << 9, 14},
      {31 << 9, 31},        {0x4000, -32},
      {0x7E00, -1},         {0x4000 | (3 << 9), -29},
      {0x8000 | 0x01FF, 0}, {0x81FF | (2 << 9), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    char header[layout::Tspr::kSize] = {};
    rec::store<uint16_t>(header, layout::Tspr::FormaPlatnosci.offset, c.word);
    EXPECT_EQ(rec::paymentForm(header), c.code);
  }
  load(R"({ "invoices": [ { "IdDokumentu": 1, "FormaPlatnosci": -5 }, { "IdDokumentu": 2, "FormaPlatnosci": 13 } ] })");
  EXPECT_EQ(rec::paymentForm(invoice(0)), -5);
  EXPECT_EQ(rec::paymentForm(invoice(1)), 13);
}

TEST_F(HostData, LinePricesFollowBitZeroOfThePriceBasis) {
  char line[layout::Tspr_dok::kSize] = {};
  rec::store<double>(line, layout::Tspr_dok::CenaDokumentu.offset, 100000.0);
  rec::store<double>(line, layout::Tspr_dok::CenaPrzeliczona.offset, 123000.0);
  struct Case {
    int16_t basis;
    double net, gross;
  };
  const Case cases[] = {{1, 10.0, 12.3}, {0, 12.3, 10.0}, {3, 10.0, 12.3}, {2, 12.3, 10.0}, {-1, 10.0, 12.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.basis);
    char header[layout::Tspr::kSize] = {};
    rec::store<int16_t>(header, layout::Tspr::RodzajCen.offset, c.basis);
    EXPECT_DOUBLE_EQ(netUnitPrice(header, line), c.net);
    EXPECT_DOUBLE_EQ(grossUnitPrice(header, line), c.gross);
  }
  rec::store<uint16_t>(line, layout::Tspr_dok::KodVat.offset, 1);
  EXPECT_EQ(vatRateOf(line), 8.0);
}

TEST_F(HostData, AmountsAndQuantitiesAreScaledBeforePrinting) {
  char record[layout::Tspr_dok::kSize] = {};
  rec::store<double>(record, layout::Tspr_dok::CenaDokumentu.offset, 12345678.0);
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", amount(record, layout::Tspr_dok::CenaDokumentu));
  EXPECT_STREQ(text, "1234.57");
  EXPECT_EQ(amount(record, layout::Tspr_dok::CenaDokumentu), 12345678.0 * 0.0001);

  struct Case {
    int32_t stored;
    const char* printed;
  };
  const Case cases[] = {{1500, "1.500"}, {1, "0.001"}, {-2500, "-2.500"}, {0, "0.000"}};
  for (const Case& c : cases) {
    rec::store<int32_t>(record, layout::Tspr_dok::Ilosc.offset, c.stored);
    std::snprintf(text, sizeof text, "%.3f", quantityOf(record));
    EXPECT_STREQ(text, c.printed);
  }
}

// The customer record and attribute services that the e-mail step uses: reads
// find the customer by number, writes reach the database file.
class CustomerRecords : public HostData {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    testing_support::writeFile("db.json", kDatabase);
    welkor::state().db = welkor::loadDatabase("db.json");
    welkor::tables().open(welkor::state().db);
  }
  welkor::Customer reloaded(int32_t id) {
    for (const welkor::Customer& c : welkor::loadDatabase("db.json").customers)
      if (c.id == id) return c;
    return {};
  }
};

TEST_F(CustomerRecords, ReadFindsTheCustomerByNumberAndWriteKeepsItInTheFile) {
  char record[layout::Kontrahent::kSize] = {};
  EXPECT_EQ(svc::customerRecord(record, -1, 99, -1), 0);
  ASSERT_NE(svc::customerRecord(record, -1, 43, -1), 0);
  EXPECT_EQ(rec::text(record, layout::Kontrahent::Symbol), "NOWAK");
  svc::copyBounded(rec::field(record, layout::Kontrahent::Email), "nowak@example.com", 80);
  EXPECT_NE(svc::customerRecord(record, 0, 43, -1), 0);

  char again[layout::Kontrahent::kSize] = {};
  ASSERT_NE(svc::customerRecord(again, -1, 43, -1), 0);
  EXPECT_EQ(rec::text(again, layout::Kontrahent::Email), "nowak@example.com");
  EXPECT_EQ(rec::text(reloaded(43).record.data(), layout::Kontrahent::Email), "nowak@example.com");
  EXPECT_EQ(rec::text(reloaded(42).record.data(), layout::Kontrahent::Email), "jan@example.com");
  EXPECT_EQ(svc::customerRecord(again, 0, 99, -1), 0);
}

TEST_F(CustomerRecords, AttributeIsReadOnlyWhenTheCustomerHasIt) {
  struct Case {
    int32_t customer;
    int32_t group;
    const char* name;
    bool found;
    const char* value;
  };
  const Case cases[] = {{42, 431, "e-mail", true, "faktury@example.com"},
                        {43, 431, "e-mail", false, ""},
                        {42, 430, "e-mail", false, ""},
                        {42, 431, "telefon", false, ""},
                        {99, 431, "e-mail", false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.customer) + " " + c.name);
    char attribute[layout::Attribute::kSize] = {};
    int32_t result = svc::readAttribute(0, c.customer, 0, c.group, c.name, attribute, 0);
    EXPECT_EQ(result >= 0, c.found);
    EXPECT_EQ(rec::text(attribute, layout::Attribute::Value), c.value);
  }
}

TEST_F(CustomerRecords, AttributeWriteIsReadBackAndKeptInTheFile) {
  const std::string address = std::string(250, 'a') + "@example.com";
  char attribute[layout::Attribute::kSize] = {};
  rec::store<int32_t>(attribute, layout::Attribute::RecordNumber.offset, 43);
  rec::store<int16_t>(attribute, layout::Attribute::WordA.offset, 1);
  rec::store<int16_t>(attribute, layout::Attribute::WordB.offset, 2);
  std::strcpy(rec::field(attribute, layout::Attribute::Name), "e-mail");
  std::strcpy(rec::field(attribute, layout::Attribute::Value), address.c_str());
  EXPECT_GE(svc::writeAttribute(0, 431, attribute), 0);

  char read[layout::Attribute::kSize] = {};
  EXPECT_GE(svc::readAttribute(0, 43, 0, 431, "e-mail", read, 0), 0);
  EXPECT_EQ(rec::text(read, layout::Attribute::Value), address);
  EXPECT_EQ(reloaded(43).attributes.at("e-mail"), address);
  EXPECT_EQ(reloaded(42).attributes.at("e-mail"), "faktury@example.com");

  rec::store<int32_t>(attribute, layout::Attribute::RecordNumber.offset, 99);
  EXPECT_LT(svc::writeAttribute(0, 431, attribute), 0);
}

TEST_F(CustomerRecords, LoadingTheCompanyRecordFillsTable59) {
  load(R"({ "company": { "Nazwa": "Hurtownia", "Nip": "5260001246" } })");
  HostTable* company = openTable(kCompanyTable);
  char* current = table::currentRecord(company);
  std::memset(current, 0, layout::Firma::kSize);
  EXPECT_NE(svc::loadCurrentRecord(-1, company), 0);
  EXPECT_EQ(rec::text(current, layout::Firma::Nazwa), "Hurtownia");
  EXPECT_EQ(rec::text(current, layout::Firma::Nip), "5260001246");
  EXPECT_EQ(svc::loadCurrentRecord(-1, openTable(kLineTable)), 0);
}

}  // namespace
