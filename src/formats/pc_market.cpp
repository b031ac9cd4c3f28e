// F1: the invoice as a PC Market tagged text file, "key:value" per line, in
// the host's own code page (the file says so in its first line).
#include "formats/pc_market.h"

#include <cstdint>
#include <string>
#include <vector>

#include "data/address.h"
#include "data/host_data.h"
#include "data/records.h"
#include "formats/writer_common.h"
#include "formats/writers.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "frame/platform.h"
#include "data/messages.h"
#include "formats/layer.h"

namespace kw::formats {

namespace {

using namespace layout;

constexpr size_t kPartSize = 256;
constexpr size_t kGoodsCodeLength = 19;

bool isAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Cash-like forms: cash, cheque, card, voucher. Everything else is a transfer.
bool paidOnTheSpot(int32_t form) { return form == 1 || form == 3 || form == 12 || form == 13; }

// The catalogue's code when the goods record is found, else the line's own.
std::string goodsCode(const char* line) {
  std::vector<char> goods(kGoodsRecordSize, '\0');
  std::string code =
      lookupGoods(line, goods.data()) ? rec::text(goods.data(), Towar::Kod) : rec::text(line, Tspr_dok::Kod);
  return code.substr(0, kGoodsCodeLength);
}

// "IloscLinii" and one "Linia" per counting line. Returns the count.
int32_t writeLines(const char* tspr, HostFile* file) {
  auto writeCount = [&](int32_t count) { writeDirect(file, "IloscLinii:%d\n", count); };
  return countAndWriteLines(tspr, writeCount, [&](const char* line, int32_t) {
    std::string code = goodsCode(line);
    double netPrice = netUnitPrice(tspr, line);
    double quantity = quantityOf(line);
    double netValue = static_cast<double>(rec::get(line, Tspr_dok::Ilosc)) * netPrice * 0.001;
    writeDirect(file,
                "Linia:Nazwa{%s}Asortyment{}Kod{%s}Vat{%.0f}Jm{%s}Sww{%s}PKWiU{%s}Ilosc{%.3f}Cena{n%.2f}"
                "Wartosc{n%.2f}\n",
                oneLine(rec::text(line, Tspr_dok::Nazwa)).c_str(), oneLine(code).c_str(), vatRateOf(line),
                oneLine(rec::text(line, Tspr_dok::Jm)).c_str(), oneLine(code).c_str(),
                oneLine(rec::text(line, Tspr_dok::Pkwiu)).c_str(), quantity, netPrice, netValue);
  });
}

// Everything between the open and the close, in the file's order.
void writeDocument(HostFile* file, char* tspr, const WriterTables& tables) {
  const char* firma = tables.firma;

  char issueDate[kPartSize] = {};
  svc::dateText(issueDate, rec::get(tspr, Tspr::DataWystawienia));

  std::string sellerName = rec::text(firma, Firma::Nazwa);
  svc::cleanText(&sellerName[0]);
  sellerName.resize(std::char_traits<char>::length(sellerName.c_str()));

  char sellerBank[kPartSize], sellerAccount[kPartSize];
  PodzielBankKonto(rec::text(firma, Firma::BankKonto).c_str(), sellerBank, sellerAccount);

  char buyerStreet[kPartSize], buyerPostalCode[kPartSize], buyerCity[kPartSize];
  PodzielAdres(rec::text(tspr, Tspr::AdresOdbiorcy).c_str(), buyerStreet, buyerPostalCode, buyerCity);

  const std::string street = rec::text(firma, Firma::Ulica);
  const std::string houseNumber = rec::text(firma, Firma::NrDomu);

  writeDirect(file, "TypPolskichLiter:MA\n");
  writeDirect(file, "TypDok:FW\n");
  writeDirect(file, "NrDok:Fakt.VAT %s\n", oneLine(rec::text(tspr, Tspr::NrFaktury)).c_str());
  writeDirect(file, "Data:%s\n", oneLine(issueDate).c_str());
  writeDirect(file, paidOnTheSpot(rec::paymentForm(tspr)) ? "SposobPlat:GOT\n" : "SposobPlat:PRZEL\n");
  writeDirect(file, "TerminPlat:%d\n",
              static_cast<int32_t>(static_cast<int16_t>(rec::get(tspr, Tspr::TerminPlatnosci))));
  writeDirect(file, "IndeksCentralny:SWW\n");
  writeDirect(file, "NazwaWystawcy:%s\n", oneLine(sellerName).c_str());
  writeDirect(file, "AdresWystawcy:%s %s %s\n", oneLine(rec::text(firma, Firma::Miejscowosc)).c_str(),
              oneLine(street).c_str(), oneLine(houseNumber).c_str());
  writeDirect(file, "KodWystawcy:%s\n", oneLine(rec::text(firma, Firma::KodPocztowy)).c_str());
  writeDirect(file, "UlicaWystawcy:%s %s\n", oneLine(street).c_str(), oneLine(houseNumber).c_str());
  writeDirect(file, "NipWystawcy:%s\n", oneLine(rec::text(firma, Firma::Nip)).c_str());
  writeDirect(file, "BankWystawcy:%s\n", oneLine(sellerBank).c_str());
  writeDirect(file, "KontoWystawcy:%s\n", oneLine(sellerAccount).c_str());
  writeDirect(file, "TelefonWystawcy:\n");
  writeDirect(file, "NrWystawcyWSieciSklepow:0\n");
  writeDirect(file, "NazwaOdbiorcy:%s\n", oneLine(rec::text(tspr, Tspr::NazwaOdbiorcy)).c_str());
  writeDirect(file, "AdresOdbiorcy:%s\n", oneLine(rec::text(tspr, Tspr::AdresOdbiorcy)).c_str());
  writeDirect(file, "KodOdbiorcy:%s\n", oneLine(buyerPostalCode).c_str());
  writeDirect(file, "MiastoOdbiorcy:%s\n", oneLine(buyerCity).c_str());
  writeDirect(file, "UlicaOdbiorcy:%s\n", oneLine(buyerStreet).c_str());
  writeDirect(file, "NipOdbiorcy:%s\n", oneLine(rec::text(tspr, Tspr::NipOdbiorcy)).c_str());

  // The buyer's bank text is in the customer record, found by number.
  std::string buyerBankText;
  if (lookupCustomer(rec::get(tspr, Tspr::IdKontrahenta)))
    buyerBankText = rec::text(tables.kontrahent, Kontrahent::BankKonto);
  char buyerBank[kPartSize], buyerAccount[kPartSize];
  PodzielBankKonto(buyerBankText.c_str(), buyerBank, buyerAccount);
  writeDirect(file, "BankOdbiorcy:%s\n", oneLine(buyerBank).c_str());
  writeDirect(file, "KontoOdbiorcy:%s\n", oneLine(buyerAccount).c_str());

  writeDirect(file, "TelefonOdbiorcy:\n");
  writeDirect(file, "NrOdbiorcyWSieciSklepow:0\n");
  writeLines(tspr, file);
  writeDirect(file, "Stawka:Vat{0}SumaNet{%.2f}SumaVat{%.2f}\n", amount(tspr, Tspr::Netto0), 0.0);
  writeDirect(file, "Stawka:Vat{7}SumaNet{%.2f}SumaVat{%.2f}\n", amount(tspr, Tspr::NettoB), amount(tspr, Tspr::VatB));
  writeDirect(file, "Stawka:Vat{22}SumaNet{%.2f}SumaVat{%.2f}\n", amount(tspr, Tspr::NettoA), amount(tspr, Tspr::VatA));
  writeDirect(file, "Stawka:Vat{3}SumaNet{%.2f}SumaVat{%.2f}\n", amount(tspr, Tspr::NettoC), amount(tspr, Tspr::VatC));
  writeDirect(file, "DoZaplaty:%.2f\n", amount(tspr, Tspr::RazemBrutto));
}

// The file's name keeps only the number's ASCII letters and digits, so
// "FV/7/2024" and "FV-7-2024" share one file, and the later export replaces
// the earlier (PC Market expects the name). The user is told when the file
// there holds another invoice: that invoice must be exported again before
// its file is read.
void warnOfAnotherInvoice(const char* path, const std::string& number) {
  constexpr size_t kHead = 4096;
  constexpr char kTag[] = "\nNrDok:Fakt.VAT ";
  const std::string head = platform::readFileStart(path, kHead);
  const size_t tag = head.find(kTag);
  if (tag == std::string::npos) return;
  const size_t start = tag + sizeof kTag - 1;
  const size_t end = head.find_first_of("\r\n", start);
  if (end == std::string::npos) return;
  const std::string earlier = head.substr(start, end - start);
  if (earlier == number) return;
  _showMessage(message::kNoticeTitle, message::kFileReplaced, 1, path, earlier.c_str(), number.c_str());
}

}  // namespace

char* _fileNameSafe(char* target, const char* source) {
  size_t n = 0;
  for (; source[n]; ++n) target[n] = isAsciiAlnum(source[n]) ? source[n] : '_';
  target[n] = '\0';
  return target;
}

}  // namespace kw::formats

namespace kw::formats::writers {

using namespace layout;

void pcMarket(char* tspr, const Finish& finish) {
  char stem[kPartSize + 4] = "fakt";
  _fileNameSafe(stem + 4, rec::text(tspr, Tspr::NrFaktury).c_str());
  const ExportPaths paths(stem, ".txt");
  writeInvoice(
      tspr, paths, message::kOpenFailed, finish,
      [&](WriterTables&) {
        warnOfAnotherInvoice(paths.data, oneLine(rec::text(tspr, Tspr::NrFaktury)));
        return true;
      },
      [&](HostFile* file, WriterTables& tables) { writeDocument(file, tspr, tables); });
}

}  // namespace kw::formats::writers
