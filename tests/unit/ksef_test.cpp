// The KSeF writer against records the schema cannot hold or that are damaged:
// each is refused before a file is opened, with its reason; at each bound
// the last value the schema takes is written, and the file validates.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "database.h"
#include "export/dispatcher.h"
#include "external_tools.h"
#include "formats/writers.h"
#include "host_state.h"
#include "mazovia.h"
#include "scan_checks.h"
#include "tables.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Sums that agree with the lines; no payment term, so due on the issue day.
const char* kDatabase = R"({"company": {"Nazwa": "Hurtownia", "Nip": "123-456-32-18", "Ulica": "ul. Polna",
    "NrDomu": "1", "KodPocztowy": "00-950", "Miejscowosc": "Warszawa"},
  "vatRates": {"0": 23, "1": 8},
  "invoices": [{"IdDokumentu": 7, "NrFaktury": "FV/7", "NazwaOdbiorcy": "Sklep", "DataWystawienia": "2024-03-05",
    "DataSprzedazy": "2024-03-05", "RodzajCen": 1, "RazemBrutto": 35.4, "NettoA": 20.0, "VatA": 4.6,
    "NettoB": 10.0, "VatB": 0.8,
    "lines": [{"Nazwa": "S\u00f3l", "Ilosc": 2, "CenaDokumentu": 10.0, "KodVat": 0},
              {"Nazwa": "Pieprz", "Ilosc": 1, "CenaDokumentu": 10.0, "KodVat": 1}]}]})";

// Raw doubles: a quiet NaN, and the infinities.
#define KW_NAN "00 00 00 00 00 00 F8 7F"
#define KW_INF "00 00 00 00 00 00 F0 7F"
#define KW_MINUS_INF "00 00 00 00 00 00 F0 FF"

struct Case {
  const char* name;
  const char* invoice;  // merged into the invoice, or null
  const char* line;     // merged into its first line, or null
  int32_t lines;        // that many 1.00 lines at 23 % instead of the two, or 0
  const char* refusal;  // the reason shown, or null: the file is written
};

const Case kCases[] = {
    {"issue date on the first day", R"({"DataWystawienia": "2006-01-01", "TerminPlatnosci": 3834})", nullptr, 0,
     nullptr},
    {"issue date the day before", R"({"DataWystawienia": "2005-12-31", "TerminPlatnosci": 3835})", nullptr, 0,
     "Data wystawienia faktury (2005-12-31) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"issue and due date on the last day", R"({"DataWystawienia": "2050-01-01"})", nullptr, 0, nullptr},
    {"issue date the day after", R"({"DataWystawienia": "2050-01-02"})", nullptr, 0,
     "Data wystawienia faktury (2050-01-02) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"issue date whose due date the host cannot give", R"({"DataWystawienia": "9999-12-31", "TerminPlatnosci": 1})",
     nullptr, 0,
     "Data wystawienia faktury (9999-12-31) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"sale date on the first day", R"({"DataSprzedazy": "2006-01-01"})", nullptr, 0, nullptr},
    {"sale date the day before", R"({"DataSprzedazy": "2005-12-31"})", nullptr, 0,
     "Data sprzedaży (2005-12-31) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"sale date on the last day", R"({"DataSprzedazy": "2050-01-01"})", nullptr, 0, nullptr},
    {"sale date the day after", R"({"DataSprzedazy": "2050-01-02"})", nullptr, 0,
     "Data sprzedaży (2050-01-02) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"due date the day before", R"({"DataWystawienia": "2016-06-30"})", nullptr, 0,
     "Termin płatności (2016-06-30, liczba dni od wystawienia: 0) wypada poza okresem\n"
     "od 2016-07-01 do 2050-01-01, który przyjmuje faktura KSeF."},
    {"due date the day after", R"({"DataWystawienia": "2049-12-31", "TerminPlatnosci": 2})", nullptr, 0,
     "Termin płatności (2050-01-02, liczba dni od wystawienia: 2) wypada poza okresem\n"
     "od 2016-07-01 do 2050-01-01, który przyjmuje faktura KSeF."},
    {"the longest payment term", R"({"TerminPlatnosci": 65535})", nullptr, 0,
     "Termin płatności (2203-08-10, liczba dni od wystawienia: 65535) wypada poza okresem\n"
     "od 2016-07-01 do 2050-01-01, który przyjmuje faktura KSeF."},
    {"first currency of the schema", R"({"Waluta": "AED", "KursWaluty": 1.1})", nullptr, 0, nullptr},
    {"last currency of the schema", R"({"Waluta": "ZWL", "KursWaluty": 0.01})", nullptr, 0, nullptr},
    {"three capitals that are no currency", R"({"Waluta": "PLZ", "KursWaluty": 1.0})", nullptr, 0,
     "Waluty faktury (PLZ) nie ma w wykazie walut faktury KSeF (ISO 4217)."},
    {"as many lines as the schema takes", nullptr, nullptr, 10000, nullptr},
    {"one line more", nullptr, nullptr, 10001,
     "Faktura ma 10001 pozycji, a faktura KSeF może ich mieć najwyżej 10000."},
    {"gross total NaN", R"({"rawBytes": [{"offset": 259, "hex": ")" KW_NAN R"("}]})", nullptr, 0,
     "Kwota brutto zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"gross total infinite", R"({"rawBytes": [{"offset": 259, "hex": ")" KW_INF R"("}]})", nullptr, 0,
     "Kwota brutto zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"gross total 1e300", R"({"RazemBrutto": 1e296})", nullptr, 0,
     "Kwota brutto zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"group A net NaN", R"({"rawBytes": [{"offset": 291, "hex": ")" KW_NAN R"("}]})", nullptr, 0,
     "Kwota netto grupy VAT A (23%) zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"group A net minus infinity", R"({"rawBytes": [{"offset": 291, "hex": ")" KW_MINUS_INF R"("}]})", nullptr, 0,
     "Kwota netto grupy VAT A (23%) zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"group A net -1e300", R"({"NettoA": -1e296})", nullptr, 0,
     "Kwota netto grupy VAT A (23%) zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"line price NaN", nullptr, R"({"rawBytes": [{"offset": 150, "hex": ")" KW_NAN R"("}]})", 0,
     "Cena pozycji 1 (Sól) zapisana na fakturze jest uszkodzona: nie jest liczbą."},
    {"line price infinite", nullptr, R"({"rawBytes": [{"offset": 150, "hex": ")" KW_INF R"("}]})", 0,
     "Cena pozycji 1 (Sól) zapisana na fakturze jest uszkodzona: nie jest liczbą."},
    {"line price 1e300", nullptr, R"({"CenaDokumentu": 1e296})", 0,
     "Wartość pozycji 1 (Sól) jest za duża dla faktury KSeF."},
};

std::string databaseOf(const Case& c) {
  json db = json::parse(kDatabase);
  json& invoice = db["invoices"][0];
  if (c.lines > 0) {
    invoice["lines"] = json::array();
    for (int32_t i = 0; i < c.lines; ++i)
      invoice["lines"].push_back({{"Nazwa", "Sól"}, {"Ilosc", 1}, {"CenaDokumentu", 1.0}, {"KodVat", 0}});
    invoice.merge_patch(
        {{"NettoA", c.lines}, {"VatA", c.lines * 0.23}, {"NettoB", 0}, {"VatB", 0}, {"RazemBrutto", c.lines * 1.23}});
  }
  if (c.invoice) invoice.merge_patch(json::parse(c.invoice));
  if (c.line) invoice["lines"][0].merge_patch(json::parse(c.line));
  return db.dump();
}

// xmllint's complaint about a written document, empty when it validates or
// when the schema set (../shared/ksef beside the sources) is not there.
std::string schemaComplaint(const std::string& path) {
#if defined(_WIN32)
  (void)path;
  return "";
#else
  const fs::path schemas = fs::path(testing_support::testsFolder()).parent_path().parent_path() / "shared/ksef/schemas";
  if (!fs::exists(schemas / "schemat.xsd")) return "";
  int status = 0;
  const std::string out = testing_support::capture(
      "XML_CATALOG_FILES=" + testing_support::quoted((schemas / "catalog.xml").string()) +
          " xmllint --nonet --noout --schema " + testing_support::quoted((schemas / "schemat.xsd").string()) + " " +
          testing_support::quoted(path) + " 2>&1",
      status);
  return status == 0 ? "" : out;
#endif
}

class KsefRefusals : public testing_support::HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    testing_support::setNow("2026-03-05 10:30");
  }
  void TearDown() override {
    testing_support::setNow(nullptr);
    HostTest::TearDown();
  }
};

TEST_F(KsefRefusals, RecordsTheSchemaCannotHoldOrThatAreDamagedAreRefusedBeforeAFileIsOpened) {
  const std::string saved =
      welkor::utf8ToMazovia("Faktura KSeF została zapisana w pliku FAKTURY\\ksef7.xml.\nPlik należy wysłać do KSeF.");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("FAKTURY");
    fs::create_directory("FAKTURY");
    welkor::state() = welkor::HostState{};
    welkor::state().db = welkor::parseDatabase(databaseOf(c), "test");
    welkor::tables().open(welkor::state().db);
    welkor::scanChecks() = {};
    const size_t scanBlocks = welkor::liveScanBlocks();
    int16_t refresh = 0;
    runWriter(&writers::ksef, welkor::state().db.invoices.at(0).header.data(), 0, &refresh);
    const auto& messages = welkor::state().messages;
    ASSERT_FALSE(messages.empty());
    if (c.refusal) {
      EXPECT_EQ(messages.back().text,
                welkor::utf8ToMazovia(std::string("Faktura nie została zapisana do wysłania do KSeF.\n") + c.refusal));
      EXPECT_EQ(messages.back().title, welkor::utf8ToMazovia("Błąd"));
      EXPECT_EQ(welkor::state().counts.opens, 0u);
      EXPECT_FALSE(fs::exists("FAKTURY/ksef7.xml"));
    } else {
      EXPECT_EQ(messages.back().text, saved);
      EXPECT_EQ(schemaComplaint("FAKTURY/ksef7.xml"), "");
    }
    EXPECT_EQ(welkor::state().counts.liveBlocks, 0);
    EXPECT_EQ(welkor::state().counts.openFiles, 0);
    EXPECT_EQ(welkor::liveScanBlocks(), scanBlocks);
    EXPECT_EQ(welkor::scanChecks().protocolErrors, 0);
    EXPECT_EQ(welkor::state().protocolErrors, 0);
  }
}

}  // namespace
