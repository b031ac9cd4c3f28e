// The PC Market and Optima writers in the same process as the stand-in host:
// file names, the payment-form mapping of both, and what happens without
// the line table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "database.h"
#include "formats/pc_market.h"
#include "export/dispatcher.h"
#include "formats/writers.h"
#include "host_state.h"
#include "mazovia.h"
#include "tables.h"
#include "test_support.h"

namespace {

using testing_support::HostTest;
using testing_support::readFile;

TEST(FileNameSafe, KeepsOnlyAsciiLettersAndDigits) {
  const struct {
    std::string number, name;
  } cases[] = {
      {"FV/12/2010", "FV_12_2010"},
      {"1-2010", "1_2010"},
      {"1/2010", "1_2010"},
      {"FK 7 a", "FK_7_a"},
      {"\x91\x92z", "__z"},  // Polish letters of the host code page
      {"", ""},
      {"Az09", "Az09"},
      {"a.b,c;d", "a_b_c_d"},
  };
  for (const auto& c : cases) {
    char target[64];
    EXPECT_EQ(_fileNameSafe(target, c.number.c_str()), target);
    EXPECT_EQ(std::string(target), c.name) << c.number;
  }
}

class WriterRun : public HostTest {
 protected:
  void load(int paymentForm, const std::string& hostKnobs = "{}") {
    std::string json = R"({"company": {"Nazwa": "Hurtownia", "Nip": "1"},
      "vatRates": {"0": 23},
      "customers": [{"Id": 42, "Symbol": "K", "Email": "k@example.com"}],
      "invoices": [{"IdDokumentu": 7, "NrFaktury": "FV/7", "IdKontrahenta": 42,
        "DataWystawienia": "2024-03-05", "FormaPlatnosci": )" +
                       std::to_string(paymentForm) + R"(,
        "lines": [{"Nazwa": "Sól & pieprz", "Kod": "S&P", "Ilosc": 1, "CenaDokumentu": 1, "KodVat": 0}]}],
      "host": )" + hostKnobs +
                       "}";
    useDatabase(json);
    std::filesystem::create_directory("FAKTURY");
    welkor::state().answers[1002].push_back({"Esc"});
  }
  char* invoice() { return welkor::state().db.invoices.at(0).header.data(); }
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (const auto& m : welkor::state().messages) out.push_back(m.text);
    return out;
  }
};

TEST_F(WriterRun, PaymentFormCodesMapLikeTheHostsForms) {
  const struct {
    int code;
    const char* pcMarket;
    const char* optima;
  } cases[] = {
      {1, "SposobPlat:GOT\r\n", "gotówka"},    {3, "SposobPlat:GOT\r\n", "czek"},
      {12, "SposobPlat:GOT\r\n", "karta"},     {13, "SposobPlat:GOT\r\n", "bon"},
      {2, "SposobPlat:PRZEL\r\n", "przelew"},  {4, "SposobPlat:PRZEL\r\n", "przelew"},
      {11, "SposobPlat:PRZEL\r\n", "przelew"}, {0, "SposobPlat:PRZEL\r\n", "przelew"},
      {14, "SposobPlat:PRZEL\r\n", "przelew"}, {31, "SposobPlat:PRZEL\r\n", "przelew"},
      {-1, "SposobPlat:PRZEL\r\n", "przelew"}, {-32, "SposobPlat:PRZEL\r\n", "przelew"},
  };
  for (const auto& c : cases) {
    load(c.code);
    int16_t refresh = 0;
    runWriter(&writers::pcMarket, invoice(), 0, &refresh);
    EXPECT_NE(readFile("FAKTURY/faktFV_7.txt").find(c.pcMarket), std::string::npos) << c.code;
    runWriter(&writers::optima, invoice(), 0, &refresh);
    const std::string xml = readFile("FAKTURY/fakt7.xml");
    EXPECT_NE(xml.find(std::string(" <PLATNOSC><FORMA>") + c.optima + "</FORMA>"), std::string::npos) << c.code;
    EXPECT_NE(xml.find(std::string(" <PLATNOSC><FORMA>") + c.optima + "\r\n</FORMA>"), std::string::npos) << c.code;
  }
}

TEST_F(WriterRun, OptimaEscapesLineTextsWithoutChangingTheRecord) {
  load(2);
  int16_t refresh = 0;
  runWriter(&writers::optima, invoice(), 0, &refresh);
  const std::string xml = readFile("FAKTURY/fakt7.xml");
  EXPECT_NE(xml.find("<KOD>S&amp;P</KOD><NAZWA>S\xC3\xB3l &amp; pieprz</NAZWA><OPIS/><EAN>S&amp;P</EAN>"),
            std::string::npos);
  welkor::Table* lines = welkor::tables().find(45);
  ASSERT_NE(lines, nullptr);
  EXPECT_EQ(std::string(lines->current.data() + 2), "S\xA2l & pieprz");
}

TEST_F(WriterRun, WithoutTheLineTableTheDocumentIsCompletedWithoutLines) {
  static const char kDiskError[] =
      "B\x92\x86"
      "d operacji dyskowej nr 1324 we wtyczce kwitomat!\nOperacja niekompletna!";
  load(2, R"({"tables": {"45": {"absent": true}}})");
  int16_t refresh = 0;
  runWriter(&writers::pcMarket, invoice(), 0, &refresh);
  const std::string text = readFile("FAKTURY/faktFV_7.txt");
  EXPECT_NE(text.find("NrOdbiorcyWSieciSklepow:0\r\nStawka:Vat{0}"), std::string::npos);
  EXPECT_EQ(text.find("IloscLinii"), std::string::npos);

  runWriter(&writers::optima, invoice(), 0, &refresh);
  EXPECT_NE(readFile("FAKTURY/fakt7.xml").find("<POZYCJE></POZYCJE>"), std::string::npos);

  const std::vector<std::string> shown = texts();
  const std::string saved = "Dokument zosta\x92 zapisany";
  EXPECT_EQ(std::count(shown.begin(), shown.end(), kDiskError), 2);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), saved), 2);
}

TEST_F(WriterRun, PcMarketSaysWhenItReplacesTheFileOfAnotherInvoice) {
  const std::string warning = welkor::utf8ToMazovia(
      "Plik FAKTURY\\faktFV_7.txt zawiera fakturę FV-7.\nZostanie zastąpiony plikiem faktury FV/7.");
  const struct {
    const char* earlier;  // null: no file there
    bool warned;
  } cases[] = {
      {nullptr, false},
      {"TypPolskichLiter:MA\r\nTypDok:FW\r\nNrDok:Fakt.VAT FV/7\r\nData:05.03.2024\r\n", false},
      {"TypPolskichLiter:MA\r\nTypDok:FW\r\nNrDok:Fakt.VAT FV-7\r\nData:05.03.2024\r\n", true},
      {"TypPolskichLiter:MA\r\nTypDok:FW\r\nNrDok:Fakt.VAT FV-7", false},  // cut: nothing to name
      {"something else\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.earlier ? c.earlier : "(none)");
    load(2);
    std::filesystem::remove("FAKTURY/faktFV_7.txt");
    if (c.earlier) testing_support::writeFile("FAKTURY/faktFV_7.txt", c.earlier);
    welkor::state().messages.clear();
    int16_t refresh = 0;
    runWriter(&writers::pcMarket, invoice(), 0, &refresh);
    const std::vector<std::string> shown = texts();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), warning), c.warned ? 1 : 0);
    EXPECT_NE(readFile("FAKTURY/faktFV_7.txt").find("NrDok:Fakt.VAT FV/7\r\n"), std::string::npos);
  }
}

}  // namespace
