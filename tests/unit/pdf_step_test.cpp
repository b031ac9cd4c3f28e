// The PDF step against the host's printing: what reaches the host, in which
// order, and the PDF that comes out of it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "database.h"
#include "export/pdf_step.h"
#include "external_tools.h"
#include "frame/host_services.h"
#include "printing.h"
#include "service_impl.h"
#include "tables.h"
#include "test_support.h"
#include "slots.h"

#if defined(_WIN32)
#include <direct.h>
#endif

namespace {

using testing_support::HostTest;

const char* kDatabase = R"({
  "company": {"Nazwa": "Hurtownia Żółw Sp. z o.o.", "Ulica": "Długa", "NrDomu": "5/7",
              "KodPocztowy": "90-001", "Miejscowosc": "Łódź", "BankKonto": "Bank Śląski 12 1050 0000",
              "Nip": "725-100-20-30"},
  "vatRates": {"0": 23, "1": 8},
  "invoices": [
    {"IdDokumentu": 1234, "NrFaktury": "FV/12/2024", "IdKontrahenta": 42,
     "NazwaOdbiorcy": "Sklep Gęś i Syn", "AdresOdbiorcy": "00-950 Warszawa, Polna 1",
     "NipOdbiorcy": "111-222-33-44", "DataWystawienia": "2024-03-05", "DataSprzedazy": "2024-03-04",
     "TerminPlatnosci": 14, "FormaPlatnosci": 2, "RodzajCen": 1,
     "RazemNetto": 110.0, "RazemVat": 24.3, "RazemBrutto": 134.3, "KwotaDoZaplaty": 134.3,
     "NettoA": 100.0, "VatA": 23.0, "BruttoA": 123.0, "NettoB": 10.0, "VatB": 0.8, "BruttoB": 10.8,
     "lines": [
       {"Nazwa": "Młotek stolarski", "Ilosc": 2, "Jm": "szt.", "CenaDokumentu": 50.0,
        "CenaPrzeliczona": 61.5, "KodVat": 0},
       {"Nazwa": "Linia bez ilości", "Ilosc": 0, "CenaDokumentu": 99.0},
       {"Nazwa": "Chleb", "Ilosc": 4, "Jm": "szt.", "CenaDokumentu": 2.5, "CenaPrzeliczona": 2.7,
        "KodVat": 1}
     ]},
    {"IdDokumentu": 77, "NrFaktury": "FV/77/2024", "IdKontrahenta": 42}
  ]
})";

constexpr const char* kPdfName = "FAKTURY\\fakt1234.pdf";
constexpr const char* kPdfFile = "FAKTURY/fakt1234.pdf";

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

class PdfStep : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    open(kDatabase);
    welkor::printLog().clear();
#if defined(_WIN32)
    _mkdir("FAKTURY");
#else
    mkdir("FAKTURY", 0777);
#endif
  }
  void open(const std::string& json) { useDatabase(json); }
  // As a writer runs it: the key definition for the register value 12.
  void print(const char* path, int32_t document) {
    _printToPdf(path, document, svc::printKeyDefinition(12), svc::tableObject(45), &refresh_);
  }
  int16_t refresh_ = 7;
};

TEST_F(PdfStep, TheHostReceivesTheCallsInOrderWithTheirArguments) {
  print(kPdfName, 1234);
  const std::vector<std::string> expected = {
      "22892 construct",
      "22900 target 0x5600 FAKTURY\\fakt1234.pdf 1 1 0 0 0",
      "22935 open",
      "22934 start",
      "52262 key value A",
      "52263 key value B",
      "51430 print 812 invoice 1234 FV/12/2024 lines of table 45 keys 0x2000 27",
      "37996 end",
      "52064 finish",
      "22894 dispose",
  };
  EXPECT_EQ(welkor::printLog(), expected);
  EXPECT_EQ(*welkor_svc_52262(), 0x2000);
  EXPECT_EQ(*welkor_svc_52263(), 27);

  ASSERT_EQ(welkor::state().messages.size(), 1u);
  const welkor::LoggedMessage& notice = welkor::state().messages[0];
  EXPECT_EQ(notice.title, "Uwaga");
  EXPECT_EQ(notice.text, "Tworzenie pliku FAKTURY\\fakt1234.pdf");
  EXPECT_EQ(notice.numbers, (std::vector<int64_t>{0, 0x200}));
}

TEST_F(PdfStep, TheObjectIsDisposedWhateverThePrintingFound) {
  struct Case {
    const char* name;
    const char* database;  // null: the usual one
    int32_t document;
    bool printed;
    int16_t refresh;
  };
  const Case cases[] = {
      {"invoice found", nullptr, 1234, true, 1},
      {"no such invoice", nullptr, 999, false, 1},
      {"no invoice table", R"({"host": {"tables": {"44": {"absent": true}}}, "invoices": [{"IdDokumentu": 1234}]})",
       1234, false, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    open(c.database ? c.database : kDatabase);
    welkor::printLog().clear();
    welkor::state().messages.clear();
    std::remove(kPdfFile);
    refresh_ = 7;
    print(kPdfName, c.document);
    EXPECT_EQ(welkor::livePrintObjects(), 0u);
    ASSERT_FALSE(welkor::printLog().empty());
    EXPECT_EQ(welkor::printLog().front(), "22892 construct");
    EXPECT_EQ(welkor::printLog().back(), "22894 dispose");
    EXPECT_EQ(exists(kPdfFile), c.printed);
    EXPECT_EQ(refresh_, c.refresh);
    EXPECT_EQ(welkor::state().messages.size(), 1u) << "the notice comes whatever the printing does";
  }
}

TEST_F(PdfStep, WithoutTheInvoiceTableTheObjectIsSetUpAndDisposedButNothingPrinted) {
  open(R"({"host": {"tables": {"44": {"absent": true}}}, "invoices": [{"IdDokumentu": 1234}]})");
  print(kPdfName, 1234);
  const std::vector<std::string> expected = {"22892 construct", "22900 target 0x5600 FAKTURY\\fakt1234.pdf 1 1 0 0 0",
                                             "22935 open", "22934 start", "22894 dispose"};
  EXPECT_EQ(welkor::printLog(), expected);
}

TEST_F(PdfStep, ANullPathShowsNothingAndPrintsNothing) {
  print(nullptr, 1234);
  EXPECT_TRUE(welkor::printLog().empty());
  EXPECT_TRUE(welkor::state().messages.empty());
  EXPECT_EQ(refresh_, 7);
}

int32_t KW_CDECL failingPrint(int32_t, const char*, HostTable*) { throw std::runtime_error("printer jammed"); }

TEST_F(PdfStep, AFailureThatUnwindsThroughTheStepStillDisposesOfTheObject) {
  {
    SlotSwap<decltype(svc::printInvoice)> failing(svc::printInvoice, &failingPrint);
    EXPECT_THROW(print(kPdfName, 1234), std::runtime_error);
  }
  EXPECT_EQ(welkor::livePrintObjects(), 0u);
  ASSERT_FALSE(welkor::printLog().empty());
  EXPECT_EQ(welkor::printLog().back(), "22894 dispose");
  EXPECT_EQ(refresh_, 7);
}

#if !defined(_WIN32)

using testing_support::capture;

TEST_F(PdfStep, ThePdfIsValidAndShowsTheInvoice) {
  print(kPdfName, 1234);
  ASSERT_TRUE(exists(kPdfFile));
  int status = 0;
  std::string check = capture(std::string("qpdf --check ") + kPdfFile + " 2>&1", status);
  EXPECT_EQ(status, 0) << check;
  std::string text = capture(std::string("pdftotext -layout ") + kPdfFile + " - 2>&1", status);
  ASSERT_EQ(status, 0) << text;
  for (const char* shown :
       {"FV/12/2024", "Sklep Gęś i Syn", "111-222-33-44", "Hurtownia Żółw Sp. z o.o.", "Długa 5/7", "90-001 Łódź",
        "725-100-20-30", "Bank Śląski 12 1050 0000", "05.03.2024", "04.03.2024", "19.03.2024", "przelew",
        "Młotek stolarski", "Chleb", "100.00", "10.00", "134.30", "24.30", "110.00"})
    EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
  EXPECT_EQ(text.find("Linia bez"), std::string::npos) << "a line without quantity is not printed";
}

TEST_F(PdfStep, ALongInvoiceRunsOnToFurtherPages) {
  std::string lines;
  for (int i = 1; i <= 150; ++i)
    lines += std::string(i > 1 ? "," : "") + R"({"Nazwa": "Pozycja )" + std::to_string(i) +
             R"(", "Ilosc": 1, "CenaDokumentu": 1.0})";
  open(R"({"invoices": [{"IdDokumentu": 1234, "NrFaktury": "FV/L/1", "RodzajCen": 1, "lines": [)" + lines + "]}]}");
  print(kPdfName, 1234);
  int status = 0;
  std::string info = capture(std::string("pdfinfo ") + kPdfFile + " 2>&1", status);
  ASSERT_EQ(status, 0) << info;
  size_t pages = info.find("Pages:");
  ASSERT_NE(pages, std::string::npos) << info;
  EXPECT_GE(std::stoi(info.substr(pages + 6)), 3) << info;
  std::string text = capture(std::string("pdftotext ") + kPdfFile + " - 2>&1", status);
  EXPECT_NE(text.find("Pozycja 150"), std::string::npos);
  EXPECT_EQ(capture(std::string("qpdf --check ") + kPdfFile + " >/dev/null 2>&1", status), "");
  EXPECT_EQ(status, 0);
}

#endif

}  // namespace
