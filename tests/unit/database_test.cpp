#include "database.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/record_layout.h"

using namespace welkor;

namespace {

template <typename T>
T at(const Bytes& record, uint16_t offset) {
  T value;
  std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}
std::string bytesAt(const Bytes& record, uint16_t offset, size_t n) { return std::string(record.data() + offset, n); }
std::string textAt(const Bytes& record, layout::Text f) { return std::string(record.data() + f.offset); }

const char* const kSmall = R"({
  "company": { "Nazwa": "Hurtownia Żuraw", "KodPocztowy": "00-950", "NipUE": "PL5260001246" },
  "vatRates": { "0": 23, "1": 8, "5": 0 },
  "customers": [ { "Id": 42, "Symbol": "KOWAL", "Nazwa": "Sklep \"Pod Różą\"\t2", "Email": "jan@example.com",
                   "attributes": { "e-mail": "faktury@różą.pl" } } ],
  "goods": [ { "RefTowaru1": 1, "RefTowaru2": 7, "Kod": "5901234123457" } ],
  "invoices": [ { "IdDokumentu": 1234, "NrFaktury": "FV/12/2024", "IdKontrahenta": 42, "RodzajCen": -1,
                  "FormaPlatnosci": 2, "TerminPlatnosci": 14, "DataWystawienia": "2024-03-05", "DataSprzedazy": "",
                  "RazemBrutto": 24.6, "Zaplacono": -0.00005, "KursWaluty": 4.3125,
                  "lines": [ { "Nazwa": "Śruba", "Ilosc": 2.5, "Jm": "szt.", "CenaDokumentu": 10.0,
                               "KodVat": 0, "RefTowaru1": 1, "RefTowaru2": 7 },
                             { "Nazwa": "Nakrętka", "Ilosc": -3 } ] } ],
  "mail": { "server": "127.0.0.1", "port": 2525, "from": "biuro@żuraw.pl", "fromName": "Żuraw" },
  "host": { "missingServices": [52158, 35387], "features": 0, "interfaceVersion": 111, "acceptText": "Zła wersja",
            "tables": { "49": { "recordLength": 900 }, "45": { "absent": true } },
            "failOpen": ["FAKTURY\\fv.xml"], "failAllocationSize": 4096 }
})";

// A database of one invoice whose header is `fields` (JSON members).
Database invoiceWith(const std::string& fields) {
  return parseDatabase("{\"invoices\": [{" + fields + "}]}", "db.json");
}

std::string errorOf(const std::string& json) {
  try {
    parseDatabase(json, "db.json");
  } catch (const DatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(Database, SmallDatabaseLoadsIntoRecordBytes) {
  Database db = parseDatabase(kSmall, "db.json");

  ASSERT_EQ(db.company.size(), layout::Firma::kSize);
  EXPECT_EQ(textAt(db.company, layout::Firma::Nazwa), "Hurtownia \xA1uraw");
  EXPECT_EQ(textAt(db.company, layout::Firma::NipUE), "PL5260001246");
  EXPECT_EQ(db.vatRates, (std::map<int32_t, double>{{0, 23.0}, {1, 8.0}, {5, 0.0}}));

  ASSERT_EQ(db.customers.size(), 1u);
  const Customer& c = db.customers[0];
  EXPECT_EQ(c.id, 42);
  ASSERT_EQ(c.record.size(), layout::Kontrahent::kSize);
  EXPECT_EQ(textAt(c.record, layout::Kontrahent::Nazwa), "Sklep \"Pod R\xA2\xA7\x86\"\t2");  // escapes as their bytes
  EXPECT_EQ(textAt(c.record, layout::Kontrahent::Email), "jan@example.com");
  EXPECT_EQ(c.attributes.at("e-mail"), "faktury@r\xA2\xA7\x86.pl");

  ASSERT_EQ(db.goods.size(), 1u);
  EXPECT_EQ(db.goods[0].ref1, 1);
  EXPECT_EQ(db.goods[0].ref2, 7);
  EXPECT_EQ(textAt(db.goods[0].record, layout::Towar::Kod), "5901234123457");

  ASSERT_EQ(db.invoices.size(), 1u);
  const Invoice& inv = db.invoices[0];
  ASSERT_EQ(inv.header.size(), layout::Tspr::kSize);
  EXPECT_EQ(inv.id(), 1234);
  EXPECT_EQ(inv.number(), "FV/12/2024");
  EXPECT_EQ(at<int32_t>(inv.header, layout::Tspr::IdKontrahenta.offset), 42);
  EXPECT_EQ(at<int16_t>(inv.header, layout::Tspr::RodzajCen.offset), -1);
  EXPECT_EQ(at<uint16_t>(inv.header, layout::Tspr::FormaPlatnosci.offset), 2 << 9);
  EXPECT_EQ(bytesAt(inv.header, layout::Tspr::DataWystawienia.offset, 9), std::string("20240305\0", 9));
  EXPECT_EQ(bytesAt(inv.header, layout::Tspr::DataSprzedazy.offset, 9), std::string(9, '\0'));
  EXPECT_EQ(at<double>(inv.header, layout::Tspr::RazemBrutto.offset), 246000.0);
  EXPECT_EQ(at<double>(inv.header, layout::Tspr::Zaplacono.offset), -1.0);  // half away from zero
  EXPECT_EQ(at<double>(inv.header, layout::Tspr::KursWaluty.offset), 43125.0);

  ASSERT_EQ(inv.lines.size(), 2u);
  const Bytes& line = inv.lines[0];
  ASSERT_EQ(line.size(), layout::Tspr_dok::kSize);
  EXPECT_EQ(textAt(line, layout::Tspr_dok::Nazwa), "\x98ruba");
  EXPECT_EQ(at<int32_t>(line, layout::Tspr_dok::Ilosc.offset), 2500);
  EXPECT_EQ(at<double>(line, layout::Tspr_dok::CenaDokumentu.offset), 100000.0);
  EXPECT_EQ(at<uint16_t>(line, layout::Tspr_dok::RefTowaru2.offset), 7);
  EXPECT_EQ(at<int32_t>(inv.lines[1], layout::Tspr_dok::Ilosc.offset), -3000);
  EXPECT_EQ(textAt(inv.lines[1], layout::Tspr_dok::Nazwa), "Nakr\x91tka");

  EXPECT_EQ(db.mail.port, 2525);
  EXPECT_EQ(db.mail.from, "biuro@\xA7uraw.pl");
  EXPECT_EQ(db.mail.fromName, "\xA1uraw");

  const HostKnobs& k = db.knobs;
  EXPECT_EQ(k.missingServices, (std::vector<uint32_t>{52158, 35387}));
  EXPECT_EQ(k.features, 0);
  EXPECT_EQ(k.interfaceVersion, 111);
  EXPECT_EQ(k.acceptText, std::optional<std::string>("Z\x92"
                                                     "a wersja"));
  EXPECT_EQ(k.tables.at(49).recordLength, 900);
  EXPECT_TRUE(k.tables.at(45).absent);
  EXPECT_EQ(k.failOpen, (std::vector<std::string>{"FAKTURY\\fv.xml"}));
  EXPECT_EQ(k.failAllocationSize, 4096u);
}

TEST(Database, PaymentFormPacking) {
  struct Case {
    std::string fields;
    uint16_t word;
  };
  const std::vector<Case> cases = {
      {R"("FormaPlatnosci": 0)", 0x0000},
      {R"("FormaPlatnosci": 31)", 0x3E00},
      {R"("FormaPlatnosci": -1)", 0x7E00},
      {R"("FormaPlatnosci": -32)", 0x4000},
      {R"("FormaPlatnosciWord": 65535)", 0xFFFF},
      {R"("FormaPlatnosciWord": 4660, "FormaPlatnosci": 3)", 0x1234},  // the word wins
      {R"("FormaPlatnosci": 3, "rawBytes": [{"offset": 255, "hex": "01"}])", 0x0601},
  };
  for (const Case& c : cases) {
    Database db = invoiceWith(c.fields);
    EXPECT_EQ(at<uint16_t>(db.invoices[0].header, layout::Tspr::FormaPlatnosci.offset), c.word) << c.fields;
  }
}

TEST(Database, TextsAreCutToTheirRoom) {
  const std::string longName(300, 'x');
  Database db =
      invoiceWith(R"("NazwaOdbiorcy": ")" + longName + R"(", "AdresOdbiorcy": "Kwota 5€", "NrFaktury": "A\u0000B")");
  const Bytes& h = db.invoices[0].header;
  const layout::Text name = layout::Tspr::NazwaOdbiorcy;
  EXPECT_EQ(bytesAt(h, name.offset, name.room), std::string(name.room - 1u, 'x') + '\0');
  EXPECT_EQ(h[layout::Tspr::AdresOdbiorcy.offset - 1], '\0');
  EXPECT_EQ(textAt(h, layout::Tspr::AdresOdbiorcy), "Kwota 5?");
  EXPECT_EQ(bytesAt(h, layout::Tspr::NrFaktury.offset, 4), std::string("A\0B\0", 4));
  EXPECT_EQ(db.invoices[0].number(), "A");

  // A text without its zero (made with rawBytes) stops at the end of its room.
  std::string hex;
  for (int i = 0; i < layout::Tspr::NrFaktury.room + 1; ++i) hex += "41 ";
  db = invoiceWith(R"("rawBytes": [{"offset": 2, "hex": ")" + hex + R"("}])");
  EXPECT_EQ(db.invoices[0].number(), std::string(34, 'A'));
}

TEST(Database, RawBytesOverwriteFieldsWithinBounds) {
  Database db = parseDatabase(R"({"customers": [{"Id": 1, "Symbol": "XYZ",
      "rawBytes": [{"offset": 2, "hex": "41 42"}, {"offset": 1534, "hex": "fFeE"}]}]})",
                              "db.json");
  const Bytes& r = db.customers[0].record;
  EXPECT_EQ(bytesAt(r, 2, 4), std::string("ABZ\0", 4));
  EXPECT_EQ(bytesAt(r, 1534, 2), "\xFF\xEE");
}

TEST(Database, ErrorsNameFileAndPlace) {
  struct Case {
    std::string json;
    std::vector<std::string> parts;
  };
  const std::vector<Case> cases = {
      {"{\n  \"invoices\": [\n    {\"NrFaktury\": }\n  ]\n}", {"db.json: invalid JSON", "line 3, column 19"}},
      {"[]", {"db.json: ", "expected an object, got array"}},
      {R"({"invoices": [{}, {}, {"lines": [{"Ilosc": "2"}]}]})",
       {"db.json: invoices[2].lines[0].Ilosc: expected a number, got string"}},
      {R"({"customers": [{"Nazwaa": "x"}]})", {"db.json: customers[0].Nazwaa: unknown field"}},
      {R"({"customer": []})", {"db.json: customer: unknown field"}},
      {R"({"goods": [{"Nazwa": "x"}]})", {"goods[0].Nazwa: unknown field"}},
      {R"({"invoices": [{"lines": [{"FormaPlatnosciWord": 1}]}]})",
       {"invoices[0].lines[0].FormaPlatnosciWord: unknown field"}},
      {R"({"invoices": {}})", {"invoices: expected an array, got object"}},
      {R"({"invoices": [{"NrFaktury": 12}]})", {"invoices[0].NrFaktury: expected a string, got number"}},
      {R"({"invoices": [{"DataWystawienia": "05.03.2024"}]})", {"invoices[0].DataWystawienia", "05.03.2024"}},
      {R"({"invoices": [{"DataWystawienia": "2023-02-29"}]})", {"invoices[0].DataWystawienia", "2023-02-29"}},
      {R"({"invoices": [{"DataSprzedazy": "2024-13-01"}]})", {"invoices[0].DataSprzedazy", "2024-13-01"}},
      {R"({"invoices": [{"FormaPlatnosci": 32}]})", {"invoices[0].FormaPlatnosci", "out of range -32..31"}},
      {R"({"invoices": [{"lines": [{"KodVat": 70000}]}]})", {"invoices[0].lines[0].KodVat", "out of range"}},
      {R"({"invoices": [{"RodzajCen": 1.5}]})", {"invoices[0].RodzajCen", "whole number"}},
      {R"({"invoices": [{"lines": [{"Ilosc": 3000000}]}]})", {"invoices[0].lines[0].Ilosc", "out of range"}},
      {R"({"customers": [{"rawBytes": [{"offset": 1530, "hex": "00 01 02 03 04 05 06"}]}]})",
       {"customers[0].rawBytes[0]", "1536"}},
      {R"({"customers": [{"rawBytes": [{"offset": -1, "hex": "00"}]}]})", {"customers[0].rawBytes[0].offset"}},
      {R"({"company": {"rawBytes": [{"offset": 0, "hex": "4G"}]}})", {"company.rawBytes[0].hex", "hex digit"}},
      {R"({"company": {"rawBytes": [{"offset": 0, "hex": "414"}]}})", {"company.rawBytes[0].hex", "odd"}},
      {R"({"vatRates": {"A": 23}})", {"vatRates.A", "digits"}},
      {R"({"customers": [{"attributes": {"e-mail": 5}}]})", {"customers[0].attributes.e-mail: expected a string"}},
      {R"({"host": {"failOpens": []}})", {"host.failOpens: unknown field"}},
      {R"({"host": {"tables": {"49": {"recordLenght": 5}}}})", {"host.tables.49.recordLenght: unknown field"}},
      {R"({"mail": {"port": 70000}})", {"mail.port", "out of range"}},
  };
  for (const Case& c : cases) {
    const std::string message = errorOf(c.json);
    for (const std::string& part : c.parts) EXPECT_NE(message.find(part), std::string::npos) << message;
  }
}

TEST(Database, LoadAndSaveCustomerThroughTheFile) {
  const std::string path = (std::filesystem::temp_directory_path() / "kwitomat_db_test.json").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << R"({"customers": [{"Id": 7, "Nazwa": "x"},
                             {"Id": 42, "Nazwa": "Cena 5€", "Email": "old@example.com", "attributes": {"NIP": "1"}}],
               "invoices": [{"IdDokumentu": 1}]})";
  }
  Database db = loadDatabase(path);
  EXPECT_EQ(db.path, path);
  Customer c = db.customers[1];
  const layout::Text email = layout::Kontrahent::Email;
  const std::string newEmail =
      "\xA7"
      "aneta@example.com";  // żaneta
  std::memset(&c.record[email.offset], 0, email.room);
  std::memcpy(&c.record[email.offset], newEmail.data(), newEmail.size());
  c.attributes["e-mail"] = "ksi\x91gowo\x9E\x8D@example.com";
  saveCustomer(db, c);

  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  Database again = loadDatabase(path);
  ASSERT_EQ(again.customers.size(), 2u);
  EXPECT_EQ(textAt(again.customers[1].record, email), newEmail);
  EXPECT_EQ(again.customers[1].attributes.at("e-mail"), "ksi\x91gowo\x9E\x8D@example.com");
  EXPECT_EQ(again.customers[1].attributes.at("NIP"), "1");
  EXPECT_EQ(again.customers[0].record, db.customers[0].record);
  EXPECT_EQ(again.invoices[0].id(), 1);

  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_NE(text.str().find("\n  \"customers\": [\n    {\n"), std::string::npos);
  EXPECT_NE(text.str().find("\"Cena 5\xE2\x82\xAC\""), std::string::npos);  // unchanged texts keep what Mazovia lacks
  EXPECT_NE(text.str().find("\"\xC5\xBC"
                            "aneta@example.com\""),
            std::string::npos);

  Customer stranger;
  stranger.id = 99;
  stranger.record.assign(layout::Kontrahent::kSize, 0);
  EXPECT_THROW(saveCustomer(db, stranger), DatabaseError);
  std::remove(path.c_str());

  try {
    loadDatabase(path);
    ADD_FAILURE() << "a missing file loaded";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
  }
}
