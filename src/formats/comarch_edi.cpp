// F3: the invoice as a Document-Invoice message for the Comarch EDI service,
// after the user has confirmed the two ILN location numbers.
#include "formats/comarch_edi.h"

#include <cstring>
#include <optional>
#include <string>

#include "data/address.h"
#include "data/dialog_templates.h"
#include "data/host_data.h"
#include "data/records.h"
#include "data/slot_list.h"
#include "data/text_output.h"
#include "formats/writer_common.h"
#include "formats/writers.h"
#include "frame/helpers.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "data/messages.h"
#include "formats/layer.h"

namespace kw::formats {

namespace {

namespace T = layout::Tspr;
namespace D = layout::Tspr_dok;

constexpr int32_t kIlnLength = kIlnRoom - 1;
constexpr int32_t kAmountResolution = 100;
constexpr const char* kDateFormat = "%04d-%02d-%02d";

// UN/EDIFACT 4461: cash (10) and cheque (20); every other form pays to the
// seller's bank account (42).
const char* paymentMeans(int32_t form) {
  switch (form) {
    case 1: return "10";
    case 3: return "20";
    default: return "42";
  }
}

// UN/ECE Recommendation 20, told by the unit's first letter alone.
const char* unitCode(const char* line) {
  switch (line[D::Jm.offset]) {
    case 'K':
    case 'k': return "KGM";
    case 'L':
    case 'l': return "LTR";
    case 'M':
    case 'm': return "MTR";
    case 'T':
    case 't': return "TNE";
    default: return "PCE";
  }
}

const char* taxCategory(const char* line) {
  switch (rec::get(line, D::KodVat)) {
    case 9: return "NA";
    case 5: return "E";
    default: return "S";
  }
}

std::string date(const char* record, layout::Date field) { return formatDate(rec::get(record, field), kDateFormat); }

void writeAddress(HostFile* file, const AddressParts& parts) {
  _fprintfUTF(file, "<StreetAndNumber>%s</StreetAndNumber>\n", parts.street);
  _fprintfUTF(file, "<CityName>%s</CityName>\n", parts.city);
  _fprintfUTF(file, "<PostalCode>%s</PostalCode>\n", parts.postalCode);
}

void writeDeliveryBlock(HostFile* file, char* tspr, char* kontrahent) {
  int32_t recipient = rec::get(tspr, T::IdDostawy);
  if (recipient != 0) {
    if (!lookupCustomer(recipient)) return;
    _fprintfUTF(file, "<TaxID>%s</TaxID>\n", xmlSafeField(kontrahent, layout::Kontrahent::Nip).c_str());
    _fprintfUTF(file, "<DeliveryDate>%s</DeliveryDate>\n", date(tspr, T::DataSprzedazy).c_str());
    _fprintfUTF(file, "<DespatchNumber>%s</DespatchNumber>\n", xmlSafeField(tspr, T::NrFaktury).c_str());
    writeAddress(file, AddressParts(rec::text(kontrahent, layout::Kontrahent::Adres)));
    return;
  }
  _fprintfUTF(file, "<TaxID>%s</TaxID>", xmlSafeField(tspr, T::NipOdbiorcy).c_str());
  _fprintfUTF(file, "<DeliveryDate>%s</DeliveryDate>\n", date(tspr, T::DataSprzedazy).c_str());
  _fprintfUTF(file, "<DespatchNumber>%s</DespatchNumber>\n", xmlSafeField(tspr, T::NrFaktury).c_str());
  bool ownDeliveryAddress = !rec::isEmpty(tspr, T::AdresDostawy);
  writeAddress(file, AddressParts(rec::text(tspr, ownDeliveryAddress ? T::AdresDostawy : T::AdresOdbiorcy)));
}

constexpr const char* kTaxLine =
    "<Tax-Summary-Line>\n<TaxRate>%s</TaxRate>\n<TaxCategoryCode>S</TaxCategoryCode>\n"
    "<TaxAmount>%.2f</TaxAmount>\n<TaxableAmount>%.2f</TaxableAmount>\n"
    "<GrossAmount>%.2f</GrossAmount>\n</Tax-Summary-Line>\n";
constexpr const char* kTaxLineZero =
    "<Tax-Summary-Line>\n<TaxRate>0.00</TaxRate>\n<TaxCategoryCode>S</TaxCategoryCode>\n"
    "<TaxAmount>%.2f</TaxAmount>\n<TaxableAmount>%.2f</TaxableAmount>\n</Tax-Summary-Line>\n";

void writeTaxSummary(HostFile* file, const char* tspr) {
  for (const VatGroup& group : kVatGroups) {
    if (!svc::amountNonZero(rec::get(tspr, group.net), kAmountResolution)) continue;
    if (group.zero)
      _fprintfUTF(file, kTaxLineZero, 0.0, amount(tspr, group.net));
    else
      _fprintfUTF(file, kTaxLine, group.rate, amount(tspr, group.vat), amount(tspr, group.net),
                  amount(tspr, group.gross));
  }
}

void writeLine(HostFile* file, const char* tspr, const char* line, int32_t number) {
  _fprintfUTF(file, "<Line>\n<Line-Item>\n");
  _fprintfUTF(file, "<LineNumber>%d</LineNumber>\n<EAN>%s</EAN>\n", number,
              xmlEscaped(rec::text(line, D::Kod)).c_str());
  _fprintfUTF(file, "<ItemDescription>%s</ItemDescription><ItemType>CU</ItemType>",
              xmlEscaped(rec::text(line, D::Nazwa)).c_str());
  _fprintfUTF(file, "<InvoiceQuantity>%.4f</InvoiceQuantity>\n", quantityOf(line));
  _fprintfUTF(file, "<UnitOfMeasure>");
  _fprintfUTF(file, "%s", unitCode(line));
  _fprintfUTF(file, "</UnitOfMeasure>\n");
  _fprintfUTF(file, "<InvoiceUnitNetPrice>%.2f</InvoiceUnitNetPrice>\n", netUnitPrice(tspr, line));
  _fprintfUTF(file, "<InvoiceUnitGrossPrice>%.2f</InvoiceUnitGrossPrice>\n", grossUnitPrice(tspr, line));
  _fprintfUTF(file, "<TaxRate>%.2f</TaxRate>\n", vatRateOf(line));
  _fprintfUTF(file, "<TaxCategoryCode>%s</TaxCategoryCode>\n", taxCategory(line));
  _fprintfUTF(file, "</Line-Item>\n</Line>\n");
}

}  // namespace

void readStoredIlns(char* ilnBuffer) {
  std::memset(ilnBuffer, 0, kIlnBufferSize);
  static const char* const kKeys[] = {"Seller", "Buyer"};
  for (int32_t i = 0; i < 2; ++i) {
    // The store hands back up to 1023 characters; the field holds 13.
    char stored[1024] = {};
    _hostSetting(hostabi::kSettingRead, "EOCD", kKeys[i], "%s", stored);
    size_t length = std::strlen(stored);
    std::memcpy(ilnBuffer + i * kIlnRoom, stored, length < kIlnLength ? length : kIlnLength);
  }
}

int32_t writeEdiLines(const char* tspr, HostFile* file) {
  return countAndWriteLines(
      tspr, [](int32_t) {}, [&](const char* line, int32_t number) { writeLine(file, tspr, line, number); });
}

namespace {

// Everything between the open and the close, in the file's order.
void writeDocument(HostFile* file, char* tspr, const WriterTables& tables, char* sellerIln, char* buyerIln) {
  char* firma = tables.firma;
  writeDirect(file, "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n");
  _fprintfUTF(file, "<Document-Invoice>\n<Invoice-Header>\n");
  _fprintfUTF(file, "<InvoiceNumber>%s</InvoiceNumber>\n", xmlSafeField(tspr, T::NrFaktury).c_str());
  _fprintfUTF(file, "<InvoiceDate>%s</InvoiceDate>\n", date(tspr, T::DataWystawienia).c_str());
  _fprintfUTF(file, "<SalesDate>%s</SalesDate>\n", date(tspr, T::DataSprzedazy).c_str());
  std::string currency = xmlSafeField(tspr, T::Waluta);
  _fprintfUTF(file, "<InvoiceCurrency>%s</InvoiceCurrency>\n", currency.empty() ? "PLN" : currency.c_str());
  const uint16_t paymentTerm = rec::get(tspr, T::TerminPlatnosci);
  _fprintfUTF(file, "<InvoicePaymentDueDate>%s</InvoicePaymentDueDate>\n",
              formatShiftedDate(rec::get(tspr, T::DataWystawienia), paymentTerm, kDateFormat).c_str());
  _fprintfUTF(file, "<InvoicePaymentTerms>%d</InvoicePaymentTerms>\n", static_cast<int16_t>(paymentTerm));
  _fprintfUTF(file, "<InvoicePaymentMeans>");
  _fprintfUTF(file, paymentMeans(rec::paymentForm(tspr)));
  _fprintfUTF(file, "</InvoicePaymentMeans>\n");
  _fprintfUTF(file, "<DocumentFunctionCode>%s</DocumentFunctionCode>\n", "O");
  _fprintfUTF(file, "<MessageType>%s</MessageType>\n", "INV");
  _fprintfUTF(file, "<Remarks>%s</Remarks>\n", xmlSafeField(tspr, T::Uwagi).c_str());
  _fprintfUTF(file, "<Order>\n");
  _fprintfUTF(file, "<BuyerOrderNumber>%s</BuyerOrderNumber>\n", xmlSafeField(tspr, T::NrFaktury).c_str());
  _fprintfUTF(file, "<SupplierOrderNumber>%s</SupplierOrderNumber>\n", xmlSafeField(tspr, T::NrFaktury).c_str());
  _fprintfUTF(file, "<BuyerOrderDate>%s</BuyerOrderDate>\n", date(tspr, T::DataSprzedazy).c_str());
  _fprintfUTF(file, "</Order>\n");
  _fprintfUTF(file, "<Delivery>\n");
  const int32_t recipient = rec::get(tspr, T::IdDostawy);
  _fprintfUTF(file, "<DeliveryLocationNumber>%ld</DeliveryLocationNumber>\n",
              static_cast<long>(recipient != 0 ? recipient : rec::get(tspr, T::IdKontrahenta)));
  writeDeliveryBlock(file, tspr, tables.kontrahent);
  _fprintfUTF(file, "</Delivery>\n");
  _fprintfUTF(file, "</Invoice-Header>\n");
  _fprintfUTF(file, "<Invoice-Parties>\n");
  _fprintfUTF(file, "<Buyer>\n");
  _fprintfUTF(file, "<ILN>%s</ILN>\n", _xmlSafe(buyerIln));
  _fprintfUTF(file, "<TaxID>%s</TaxID>\n", xmlSafeField(tspr, T::NipOdbiorcy).c_str());
  _fprintfUTF(file, "<Name>%s</Name>\n", xmlSafeField(tspr, T::NazwaOdbiorcy).c_str());
  writeAddress(file, AddressParts(rec::text(tspr, T::AdresOdbiorcy)));
  _fprintfUTF(file, "<Country>%s</Country>\n", "PL");
  _fprintfUTF(file, "</Buyer>\n");
  _fprintfUTF(file, "<Seller>\n");
  _fprintfUTF(file, "<ILN>%s</ILN>\n", _xmlSafe(sellerIln));
  _fprintfUTF(file, "<TaxID>%s</TaxID>\n", xmlSafeField(firma, layout::Firma::Nip).c_str());
  char bankName[256];
  char account[256];
  PodzielBankKonto(rec::text(firma, layout::Firma::BankKonto).c_str(), bankName, account);
  _fprintfUTF(file, "<AccountNumber>%s</AccountNumber>\n", _xmlSafe(account));
  char sellerName[1024];
  svc::copyBounded(sellerName, rec::text(firma, layout::Firma::Nazwa).c_str(),
                   static_cast<int32_t>(sizeof sellerName - 1));
  svc::cleanText(sellerName);
  _fprintfUTF(file, "<Name>%s</Name>\n", _xmlSafe(sellerName));
  std::string street = xmlSafeField(firma, layout::Firma::Ulica);
  std::string houseNumber = xmlSafeField(firma, layout::Firma::NrDomu);
  _fprintfUTF(file, "<StreetAndNumber>%s %s</StreetAndNumber>\n", street.c_str(), houseNumber.c_str());
  _fprintfUTF(file, "<CityName>%s</CityName>\n", xmlSafeField(firma, layout::Firma::Miejscowosc).c_str());
  _fprintfUTF(file, "<PostalCode>%s</PostalCode>\n", xmlSafeField(firma, layout::Firma::KodPocztowy).c_str());
  _fprintfUTF(file, "<Country>%s</Country>\n", "PL");
  _fprintfUTF(file, "</Seller>\n");
  _fprintfUTF(file, "</Invoice-Parties>\n");
  _fprintfUTF(file, "<Invoice-Lines>");
  int32_t totalLines = writeEdiLines(tspr, file);
  _fprintfUTF(file, "</Invoice-Lines>");
  _fprintfUTF(file, "<Invoice-Summary>");
  _fprintfUTF(file, "<TotalLines>%d</TotalLines>\n", totalLines);
  _fprintfUTF(file, "<TotalNetAmount>%.2f</TotalNetAmount>\n", amount(tspr, T::RazemNetto));
  _fprintfUTF(file, "<TotalTaxAmount>%.2f</TotalTaxAmount>\n", amount(tspr, T::RazemVat));
  _fprintfUTF(file, "<TotalGrossAmount>%.2f</TotalGrossAmount>\n", amount(tspr, T::RazemBrutto));
  _fprintfUTF(file, "<Tax-Summary>");
  writeTaxSummary(file, tspr);
  _fprintfUTF(file, "</Tax-Summary>");
  _fprintfUTF(file, "</Invoice-Summary>");
  _fprintfUTF(file, "</Document-Invoice>");
}

}  // namespace

}  // namespace kw::formats

namespace kw::formats::writers {

void comarchEdi(char* tspr, const Finish& finish) {
  std::optional<_CCabFileList> cabFiles;
  char iln[kIlnBufferSize];
  auto confirmIlns = [&](WriterTables&) {
    cabFiles.emplace();
    readStoredIlns(iln);
    // Whatever key closes the dialog, the numbers it holds are kept.
    svc::runDialog(kDialogTemplates.data(), hostabi::kIlnDialog, iln, nullptr);
    _hostSetting(hostabi::kSettingWrite, "EOCD", "Seller", "%s", iln);
    _hostSetting(hostabi::kSettingWrite, "EOCD", "Buyer", "%s", iln + kIlnRoom);
    return true;
  };
  writeInvoice(tspr, ExportPaths(documentStem("fakt", tspr).c_str(), ".xml"), message::kOpenFailed, finish, confirmIlns,
               [&](HostFile* file, WriterTables& tables) { writeDocument(file, tspr, tables, iln, iln + kIlnRoom); });
}

}  // namespace kw::formats::writers
