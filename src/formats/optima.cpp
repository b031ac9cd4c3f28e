// F2: the invoice as a Comarch Optima import document, UTF-8 XML.
#include "formats/optima.h"

#include <cstdint>
#include <string>

#include "data/address.h"
#include "data/host_data.h"
#include "data/records.h"
#include "data/text_output.h"
#include "formats/writer_common.h"
#include "formats/writers.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "data/messages.h"
#include "formats/layer.h"

namespace kw::formats {

namespace {

using namespace layout;

constexpr size_t kPartSize = 256;
constexpr const char* kDateFormat = "%04d-%02d-%02d";

constexpr auto kOpis = KW_MAZ("<OPIS>Dok.: %s(Faktura sprzedaży)</OPIS>\n");
constexpr const char* kAdres =
    "<ADRES><KOD_POCZTOWY>%s</KOD_POCZTOWY><MIASTO>%s</MIASTO><ULICA>%s</ULICA><KRAJ/></ADRES>";

struct PaymentTexts {
  const char* header;
  const char* payments;
};

constexpr auto kCash = KW_MAZ("gotówka");
constexpr auto kCashLine = KW_MAZ("gotówka\n");

PaymentTexts paymentTexts(int32_t form) {
  switch (form) {
    case 1: return {kCash, kCashLine};
    case 3: return {"czek", "czek\n"};
    case 12: return {"karta", "karta\n"};
    case 13: return {"bon", "bon\n"};
    default: return {"przelew", "przelew\n"};
  }
}

// The ADRES element of a one-line address; the parts go in as stored, so
// they are escaped to keep the document well-formed.
void writeAddress(HostFile* file, const std::string& address) {
  char street[kPartSize], postalCode[kPartSize], city[kPartSize];
  PodzielAdres(address.c_str(), street, postalCode, city);
  _fprintfUTF(file, kAdres, xmlEscaped(postalCode).c_str(), xmlEscaped(city).c_str(), xmlEscaped(street).c_str());
}

// ODBIORCA: the delivery recipient from the customer table when the invoice
// names one by number, else the invoice's own delivery texts or the buyer's.
void writeReceiver(HostFile* file, char* tspr, char* kontrahent) {
  int32_t recipient = rec::get(tspr, Tspr::IdDostawy);
  if (recipient != 0) {
    if (!lookupCustomer(recipient)) return;
    _fprintfUTF(file, "<ODBIORCA>");
    _fprintfUTF(file, "<KOD>%s</KOD>", xmlSafeField(kontrahent, Kontrahent::Symbol).c_str());
    _fprintfUTF(file, "<NIP>%s</NIP>", xmlSafeField(kontrahent, Kontrahent::Nip).c_str());
    _fprintfUTF(file, "<GLN/>");
    _fprintfUTF(file, "<NAZWA>%s</NAZWA>", xmlSafeField(kontrahent, Kontrahent::Nazwa).c_str());
    writeAddress(file, rec::text(kontrahent, Kontrahent::Adres));
    _fprintfUTF(file, "</ODBIORCA>");
    return;
  }
  auto either = [&](Text own, Text buyer) { return rec::isEmpty(tspr, own) ? buyer : own; };
  _fprintfUTF(file, "<ODBIORCA>");
  _fprintfUTF(file, "<KOD>%s</KOD>", xmlSafeField(tspr, either(Tspr::SymbolDostawy, Tspr::SymbolOdbiorcy)).c_str());
  _fprintfUTF(file, "<NIP>%s</NIP>", xmlSafeField(tspr, Tspr::NipOdbiorcy).c_str());
  _fprintfUTF(file, "<GLN/>");
  _fprintfUTF(file, "<NAZWA>%s</NAZWA>", xmlSafeField(tspr, either(Tspr::NazwaDostawy, Tspr::NazwaOdbiorcy)).c_str());
  writeAddress(file, rec::text(tspr, either(Tspr::AdresDostawy, Tspr::AdresOdbiorcy)));
  _fprintfUTF(file, "</ODBIORCA>");
}

constexpr const char* kVatLine =
    "<LINIA_VAT><STAWKA_VAT><STAWKA>%s</STAWKA><FLAGA>2</FLAGA><ZRODLOWA>0.00</ZRODLOWA></STAWKA_VAT>"
    "<NETTO>%.2f</NETTO><VAT>%.2f</VAT><BRUTTO>%.2f</BRUTTO><NETTO_WAL>%.2f</NETTO_WAL>"
    "<VAT_WAL>%.2f</VAT_WAL><BRUTTO_WAL>%.2f</BRUTTO_WAL></LINIA_VAT>";

// One LINIA_VAT per rate group the host counts as non-zero, in the order 23, 8, 5, 0.
void writeVatTable(HostFile* file, const char* tspr) {
  for (const VatGroup& group : kVatGroups) {
    if (svc::amountNonZero(rec::get(tspr, group.net), 100) == 0) continue;
    const double net = amount(tspr, group.net);
    const double vat = group.zero ? 0.0 : amount(tspr, group.vat);
    const double gross = group.zero ? net : amount(tspr, group.gross);
    _fprintfUTF(file, kVatLine, group.rate, net, vat, gross, net, vat, gross);
  }
}

// The payment term counts in unsigned 16-bit days.
int32_t paymentTermDays(const char* tspr) { return static_cast<int32_t>(rec::get(tspr, Tspr::TerminPlatnosci)); }

}  // namespace

int32_t writeOptimaLines(const char* tspr, HostFile* file) {
  return countAndWriteLines(
      tspr, [](int32_t) {},
      [&](const char* line, int32_t lp) {
        // The line's texts go in as stored, escaped only to stay well-formed.
        const std::string kod = xmlEscaped(rec::text(line, Tspr_dok::Kod));
        const std::string nazwa = xmlEscaped(rec::text(line, Tspr_dok::Nazwa));
        const std::string jm = xmlEscaped(rec::text(line, Tspr_dok::Jm));
        const double net = netUnitPrice(tspr, line);
        const double gross = grossUnitPrice(tspr, line);
        const double quantity = static_cast<double>(rec::get(line, Tspr_dok::Ilosc));
        const double netValue = net * quantity * 0.001;
        const double grossValue = gross * quantity * 0.001;

        _fprintfUTF(file, "<POZYCJA>");
        _fprintfUTF(file, "<LP>%d</LP><TOWAR><KOD>%s</KOD>", lp, kod.c_str());
        _fprintfUTF(file, "<NAZWA>%s</NAZWA><OPIS/><EAN>%s</EAN><SWW/><NUMER_KATALOGOWY/></TOWAR>", nazwa.c_str(),
                    kod.c_str());
        _fprintfUTF(file, "<STAWKA_VAT><STAWKA>%.2f</STAWKA><FLAGA>2</FLAGA><ZRODLOWA>0.00</ZRODLOWA></STAWKA_VAT>",
                    vatRateOf(line));
        _fprintfUTF(
            file,
            "<CENY><POCZATKOWA_WAL_CENNIKA>%.2f</POCZATKOWA_WAL_CENNIKA><POCZATKOWA_WAL_DOKUMENTU>%.2f"
            "</POCZATKOWA_WAL_DOKUMENTU><PO_RABACIE_WAL_CENNIKA>%.2f</PO_RABACIE_WAL_CENNIKA><PO_RABACIE_PLN>%.2f"
            "</PO_RABACIE_PLN><PO_RABACIE_WAL_DOKUMENTU>%.2f</PO_RABACIE_WAL_DOKUMENTU></CENY>",
            gross, gross, gross, gross, gross);
        _fprintfUTF(file, "<WALUTA><SYMBOL>PLN</SYMBOL><KURS_L>1.00</KURS_L><KURS_M>1</KURS_M></WALUTA>");
        _fprintfUTF(file,
                    "<RABAT>0.00</RABAT><WARTOSC_NETTO>%.2f</WARTOSC_NETTO><WARTOSC_BRUTTO>%.2f</WARTOSC_BRUTTO>"
                    "<WARTOSC_NETTO_WAL>%.2f</WARTOSC_NETTO_WAL><WARTOSC_BRUTTO_WAL>%.2f</WARTOSC_BRUTTO_WAL>",
                    netValue, grossValue, netValue, grossValue);
        _fprintfUTF(file,
                    "<ILOSC>%.4f</ILOSC><JM>%s</JM><JM_CALKOWITE>0.00</JM_CALKOWITE><JM_ZLOZONA><JMZ>%s</JMZ>"
                    "<JM_PRZELICZNIK_L>1.00</JM_PRZELICZNIK_L><JM_PRZELICZNIK_M>1</JM_PRZELICZNIK_M></JM_ZLOZONA>",
                    quantityOf(line), jm.c_str(), jm.c_str());
        _fprintfUTF(file, "</POZYCJA>");
      });
}

namespace {

// Everything between the open and the close, in the file's order.
void writeDocument(HostFile* file, char* tspr, const WriterTables& tables) {
  char* firma = tables.firma;
  const char* issued = rec::get(tspr, Tspr::DataWystawienia);
  const char* sold = rec::get(tspr, Tspr::DataSprzedazy);
  const PaymentTexts payment = paymentTexts(rec::paymentForm(tspr));

  _fprintfUTF(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  _fprintfUTF(file, "<ROOT xmlns=\"http://www.cdn.com.pl/optima/dokument\"><DOKUMENT><NAGLOWEK>\n");
  _fprintfUTF(file,
              "<GENERATOR>Comarch Opt!ma</GENERATOR><TYP_DOKUMENTU>301</TYP_DOKUMENTU>"
              "<RODZAJ_DOKUMENTU>301004</RODZAJ_DOKUMENTU><FV_MARZA>0</FV_MARZA><FV_MARZA_RODZAJ>0</FV_MARZA_RODZAJ>");
  _fprintfUTF(file, "<NUMER_PELNY>%s</NUMER_PELNY>\n", xmlSafeField(tspr, Tspr::NrFaktury).c_str());
  _fprintfUTF(file, "<DATA_DOKUMENTU>%s</DATA_DOKUMENTU>", formatDate(sold, kDateFormat).c_str());
  _fprintfUTF(file, "<DATA_WYSTAWIENIA>%s</DATA_WYSTAWIENIA>", formatDate(issued, kDateFormat).c_str());
  _fprintfUTF(file, "<DATA_OPERACJI>%s</DATA_OPERACJI>", formatDate(sold, kDateFormat).c_str());
  _fprintfUTF(file, "<TERMIN_ZWROTU_KAUCJI>%s</TERMIN_ZWROTU_KAUCJI>", formatDate(issued, kDateFormat).c_str());
  _fprintfUTF(file, "<KOREKTA>0</KOREKTA><DETAL>0</DETAL>");
  _fprintfUTF(file, "<TYP_NETTO_BRUTTO>%d</TYP_NETTO_BRUTTO>", static_cast<int32_t>(rec::get(tspr, Tspr::RodzajCen)));
  _fprintfUTF(file, "<RABAT>0.00</RABAT>");
  _fprintfUTF(file, kOpis, xmlSafeField(tspr, Tspr::NrFaktury).c_str());
  _fprintfUTF(file, "<PLATNIK>");
  _fprintfUTF(file, "<KOD>%s</KOD>", xmlSafeField(tspr, Tspr::SymbolOdbiorcy).c_str());
  _fprintfUTF(file, "<NIP>%s</NIP>", xmlSafeField(tspr, Tspr::NipOdbiorcy).c_str());
  _fprintfUTF(file, "<GLN/>");
  _fprintfUTF(file, "<NAZWA>%s</NAZWA>", xmlSafeField(tspr, Tspr::NazwaOdbiorcy).c_str());
  writeAddress(file, rec::text(tspr, Tspr::AdresOdbiorcy));
  _fprintfUTF(file, "</PLATNIK>");
  writeReceiver(file, tspr, tables.kontrahent);
  _fprintfUTF(file, "<SPRZEDAWCA>");
  _fprintfUTF(file, "<NIP>%s</NIP>", xmlSafeField(firma, Firma::Nip).c_str());
  _fprintfUTF(file, "<GLN>0000000000000</GLN>");
  {
    char sellerName[1024] = {};
    svc::copyBounded(sellerName, rec::text(firma, Firma::Nazwa).c_str(), sizeof sellerName - 1);
    svc::cleanText(sellerName);
    _fprintfUTF(file, "<NAZWA>%s</NAZWA>", _xmlSafe(sellerName));
  }
  _fprintfUTF(
      file, "<ADRES><KOD_POCZTOWY>%s</KOD_POCZTOWY><MIASTO>%s</MIASTO><ULICA>%s %s</ULICA><KRAJ>Polska</KRAJ></ADRES>",
      xmlSafeField(firma, Firma::KodPocztowy).c_str(), xmlSafeField(firma, Firma::Miejscowosc).c_str(),
      xmlEscaped(rec::text(firma, Firma::Ulica)).c_str(), xmlEscaped(rec::text(firma, Firma::NrDomu)).c_str());
  {
    char bank[kPartSize], account[kPartSize];
    PodzielBankKonto(rec::text(firma, Firma::BankKonto).c_str(), bank, account);
    _fprintfUTF(file, "<NUMER_KONTA_BANKOWEGO>%s</NUMER_KONTA_BANKOWEGO><NAZWA_BANKU>%s</NAZWA_BANKU>",
                _xmlSafe(account), _xmlSafe(bank));
  }
  _fprintfUTF(file, "</SPRZEDAWCA>");
  _fprintfUTF(file, "<KATEGORIA><KOD/><OPIS/></KATEGORIA>");
  _fprintfUTF(file, " <PLATNOSC><FORMA>");
  _fprintfUTF(file, payment.header);
  _fprintfUTF(file, "</FORMA><TERMIN>%s</TERMIN></PLATNOSC>",
              formatShiftedDate(issued, paymentTermDays(tspr), kDateFormat).c_str());
  _fprintfUTF(file,
              "<WALUTA><SYMBOL>PLN</SYMBOL><KURS_L>1.00</KURS_L><KURS_M>1</KURS_M><PLAT_WAL_OD_PLN>0</PLAT_WAL_OD_PLN>"
              "<KURS_NUMER>3</KURS_NUMER><KURS_DATA>%s</KURS_DATA></WALUTA>",
              formatShiftedDate(issued, -1, kDateFormat).c_str());
  _fprintfUTF(file,
              "<KWOTY><RAZEM_NETTO_WAL>%.2f</RAZEM_NETTO_WAL><RAZEM_NETTO>%.2f</RAZEM_NETTO>"
              "<RAZEM_BRUTTO>%.2f</RAZEM_BRUTTO><RAZEM_VAT>%.2f</RAZEM_VAT></KWOTY>",
              amount(tspr, Tspr::RazemNetto), amount(tspr, Tspr::RazemNetto), amount(tspr, Tspr::RazemBrutto),
              amount(tspr, Tspr::RazemVat));
  _fprintfUTF(file, "<MAGAZYN_ZRODLOWY/><MAGAZYN_DOCELOWY/>");
  _fprintfUTF(file,
              "<KAUCJE_PLATNOSCI>0</KAUCJE_PLATNOSCI><BLOKADA_PLATNOSCI>0</BLOKADA_PLATNOSCI>"
              "<VAT_DLA_DOK_WAL>0</VAT_DLA_DOK_WAL><TRYB_NETTO_VAT>0</TRYB_NETTO_VAT></NAGLOWEK>");
  _fprintfUTF(file, "<POZYCJE>");
  writeOptimaLines(tspr, file);
  _fprintfUTF(file, "</POZYCJE><KAUCJE/>");
  _fprintfUTF(file, "<PLATNOSCI>");
  _fprintfUTF(file, " <PLATNOSC><FORMA>");
  _fprintfUTF(file, payment.payments);
  _fprintfUTF(file, "</FORMA><TERMIN>%s</TERMIN>",
              formatShiftedDate(issued, paymentTermDays(tspr), kDateFormat).c_str());
  _fprintfUTF(file,
              "<KWOTA>%.2f</KWOTA><KWOTA_W_WAL_SYSTEMOWEJ>%.2f</KWOTA_W_WAL_SYSTEMOWEJ><WALUTA><SYMBOL/>"
              "<KURS_L>1.00</KURS_L><KURS_M>1</KURS_M></WALUTA>",
              amount(tspr, Tspr::KwotaDoZaplaty), amount(tspr, Tspr::KwotaDoZaplaty));
  _fprintfUTF(file, "</PLATNOSC>");
  _fprintfUTF(file, "</PLATNOSCI>");
  _fprintfUTF(file, "<PLATNOSCI_KAUCJE/><TABELKA_VAT>");
  writeVatTable(file, tspr);
  _fprintfUTF(file, "</TABELKA_VAT><ATRYBUTY/></DOKUMENT></ROOT>");
}

}  // namespace

}  // namespace kw::formats

namespace kw::formats::writers {

using namespace layout;

void optima(char* tspr, const Finish& finish) {
  writeInvoice(tspr, ExportPaths(documentStem("fakt", tspr).c_str(), ".xml"), message::kOpenFailed, finish,
               nothingToPrepare, [&](HostFile* file, WriterTables& tables) { writeDocument(file, tspr, tables); });
}

}  // namespace kw::formats::writers
