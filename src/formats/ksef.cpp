// F5: the invoice as a KSeF FA(3) structured invoice (FAKTURY\ksef<n>.xml),
// to be sent to the national e-invoice system by the user. Everything the
// schema cannot express is refused before the file is opened; no printout
// and no mail, since the buyer receives the invoice through KSeF.
#include "formats/ksef.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "data/address.h"
#include "data/host_data.h"
#include "data/records.h"
#include "data/text_output.h"
#include "formats/ksef_sums.h"
#include "formats/ksef_tax_ids.h"
#include "formats/ksef_text.h"
#include "formats/writer_common.h"
#include "formats/writers.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "data/messages.h"
#include "formats/layer.h"

namespace kw::formats {

namespace {

namespace T = layout::Tspr;
namespace D = layout::Tspr_dok;
namespace F = layout::Firma;
using namespace ksef;

constexpr const char* kDateFormat = "%04d-%02d-%02d";
constexpr int32_t kTimeWithSeconds = 0;
// Beyond this a sum no longer fits the document's amounts (16 digits).
constexpr int64_t kLargestCents = 100000000000000LL;
// The schema's texts hold at most 256 characters.
constexpr size_t kLongestText = 256;
// The schema's FaWiersz occurs at most this often.
constexpr int32_t kMostLines = 10000;

// The days the schema takes (YYYYMMDD, both ends included): issue and sale
// dates, and the due date.
struct DateRange {
  int32_t first, last;
};
constexpr DateRange kEventDates{20060101, 20500101};
constexpr DateRange kDueDates{20160701, 20500101};

// The schema's currency codes (TKodWaluty), in its order.
constexpr char kCurrencyCodes[] =
    "AED AFN ALL AMD ANG AOA ARS AUD AWG AZN BAM BBD BDT BGN BHD BIF BMD BND BOB BOV BRL BSD BTN BWP BYN BZD "
    "CAD CDF CHE CHF CHW CLF CLP CNY COP COU CRC CUC CUP CVE CZK DJF DKK DOP DZD EGP ERN ETB EUR FJD FKP GBP "
    "GEL GGP GHS GIP GMD GNF GTQ GYD HKD HNL HRK HTG HUF IDR ILS IMP INR IQD IRR ISK JEP JMD JOD JPY KES KGS "
    "KHR KMF KPW KRW KWD KYD KZT LAK LBP LKR LRD LSL LYD MAD MDL MGA MKD MMK MNT MOP MRU MUR MVR MWK MXN MXV "
    "MYR MZN NAD NGN NIO NOK NPR NZD OMR PAB PEN PGK PHP PKR PLN PYG QAR RON RSD RUB RWF SAR SBD SCR SDG SEK "
    "SGD SHP SLL SOS SRD SSP STN SVC SYP SZL THB TJS TMT TND TOP TRY TTD TWD TZS UAH UGX USD USN UYI UYU UYW "
    "UZS VES VND VUV WST XAF XAG XAU XBA XBB XBC XBD XCD XCG XDR XOF XPD XPF XPT XSU XUA XXX YER ZAR ZMW ZWL";

bool blank(const std::string& text) { return cleaned(text).empty(); }

// Two non-blank parts joined by a blank; either alone when the other is blank.
std::string joined(const std::string& a, const std::string& b) {
  std::string left = cleaned(a), right = cleaned(b);
  if (left.empty()) return right;
  if (right.empty()) return left;
  return left + " " + right;
}

std::string digitsOf(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c >= '0' && c <= '9') digits += c;
  return digits;
}

bool currencyShaped(const std::string& code) {
  if (code.size() != 3) return false;
  for (char c : code)
    if (c < 'A' || c > 'Z') return false;
  return true;
}

// "zł" is how every user of the host writes the zloty.
bool zloty(const std::string& text) {
  return text.size() == 2 && (text[0] == 'z' || text[0] == 'Z') &&
         (text[1] == mazoviaOf(0x142) || text[1] == mazoviaOf(0x141));
}

bool currencyKnown(const std::string& code) {
  for (size_t at = 0; at + 3 <= sizeof kCurrencyCodes - 1; at += 4)
    if (code.compare(0, std::string::npos, kCurrencyCodes + at, 3) == 0) return true;
  return false;
}

// A host date as YYYYMMDD; 0 for an empty date.
int32_t dayNumber(const char* hostDate) {
  int16_t year = 0, month = 0, day = 0;
  svc::splitDate(hostDate, &year, &month, &day, 0);
  return year * 10000 + month * 100 + day;
}

bool within(const DateRange& range, int32_t date) { return date >= range.first && date <= range.last; }

std::string money(int64_t cents) {
  char text[48];
  uint64_t magnitude = cents < 0 ? 0 - static_cast<uint64_t>(cents) : static_cast<uint64_t>(cents);
  std::snprintf(text, sizeof text, "%s%llu.%02llu", cents < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 100), static_cast<unsigned long long>(magnitude % 100));
  return text;
}

// Thousandths without trailing zeros: 2500 is "2.5", 1000 is "1".
std::string quantityText(int64_t thousandths) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(thousandths / 1000),
                static_cast<long long>(thousandths % 1000));
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

// An exchange rate (x 10000) with the four decimals of the rate tables.
std::string rateText(int64_t rate) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld.%04lld", static_cast<long long>(rate / 10000),
                static_cast<long long>(rate % 10000));
  return text;
}

// A unit price (amount x 10000) with two decimals, or four when it has
// fractions of a grosz.
std::string priceText(int64_t price) {
  if (price % 100 == 0) return money(price / 100);
  char text[48];
  uint64_t magnitude = price < 0 ? 0 - static_cast<uint64_t>(price) : static_cast<uint64_t>(price);
  std::snprintf(text, sizeof text, "%s%llu.%04llu", price < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 10000), static_cast<unsigned long long>(magnitude % 10000));
  return text;
}

std::string date(const char* record, layout::Date field) { return formatDate(rec::get(record, field), kDateFormat); }

std::string escapedField(const void* record, layout::Text field) {
  return xmlEscaped(cleaned(rec::text(record, field)));
}

// The host's payment form in the schema's codes: 1 cash, 2 card, 3 voucher,
// 4 cheque, 6 transfer; every other form pays by transfer, as in every writer.
int32_t paymentFormCode(int32_t form) {
  switch (form) {
    case 1: return 1;
    case 3: return 4;
    case 12: return 2;
    case 13: return 3;
    default: return 6;
  }
}

// Day of the week, 0 for Sunday.
int32_t weekday(int32_t year, int32_t month, int32_t day) {
  static const int32_t offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

int32_t lastSunday(int32_t year, int32_t month) { return 31 - weekday(year, month, 31); }

// The host clock keeps Polish time: summer time from the last Sunday of March
// 2:00 to the last Sunday of October 3:00.
int32_t polishUtcOffset(int32_t year, int32_t month, int32_t day, int32_t hour) {
  if (month < 3 || month > 10) return 1;
  if (month > 3 && month < 10) return 2;
  int32_t change = lastSunday(year, month);
  if (month == 3) return day > change || (day == change && hour >= 2) ? 2 : 1;
  return day < change || (day == change && hour < 3) ? 2 : 1;
}

// The creation time, as an xsd:dateTime with the offset of Polish time.
std::string creationTime() {
  char today[16] = {};
  svc::today(today);
  int16_t year = 0, month = 0, day = 0;
  svc::splitDate(today, &year, &month, &day, 0);
  char time[32] = {};
  svc::timeText(time, kTimeWithSeconds);
  int hours = 0, minutes = 0, seconds = 0;
  std::sscanf(time, "%d:%d:%d", &hours, &minutes, &seconds);
  char text[64];
  _formatText(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d+%02d:00", year, month, day, hours, minutes, seconds,
              polishUtcOffset(year, month, day, hours));
  return text;
}

// A line that counts, as the document carries it.
struct LineFacts {
  const RateClass* rate = nullptr;
  int32_t quantity = 0;
  int64_t price = 0;     // in the invoice's own basis, amount x 10000
  int64_t value = 0;     // grosze
  bool damaged = false;  // the stored price is no number
  bool inRange = true;

  explicit LineFacts(const char* line)
      : rate(rateClassOf(rec::get(line, D::KodVat), vatRateOf(line))), quantity(rec::get(line, D::Ilosc)) {
    const double stored = rec::get(line, D::CenaDokumentu);
    damaged = !std::isfinite(stored);
    inRange = !damaged && std::fabs(static_cast<double>(quantity) * stored) < 1e17;
    if (!inRange) return;
    price = std::llround(stored);
    value = lineValue(quantity, price);
  }
};

// What the invoice holds, gathered and checked before anything is written.
struct Invoice {
  explicit Invoice(bool net) : pricedNet(net), sums(net) {}

  bool pricedNet;
  VatSums sums;
  int32_t lines = 0;
  bool exempt = false;
  bool offline = false;  // issued before today: KSeF takes it as issued offline
  std::string sellerNip;
  BuyerId buyer;
  std::string currency;
  int64_t exchangeRate = 0;    // x 10000, for a foreign currency
  std::string exemptionBasis;  // UTF-8

  // A buyer with an EU VAT number of another state: intra-community supply
  // and services taxed where the buyer is.
  bool euBuyer() const { return buyer.form == BuyerIdForm::kEuVat; }
};

// Where 0 % and "not subject" sales go: they follow the buyer.
struct BuyerTreatment {
  const char* zeroP12;
  const char* zeroSum;
  const char* notSubjectP12;
  const char* notSubjectSum;
};
constexpr BuyerTreatment kDomestic{"0 KR", "<P_13_6_1>%s</P_13_6_1>\n", "np I", "<P_13_8>%s</P_13_8>\n"};
constexpr BuyerTreatment kEuBusiness{"0 WDT", "<P_13_6_2>%s</P_13_6_2>\n", "np II", "<P_13_9>%s</P_13_9>\n"};
constexpr BuyerTreatment kAbroad{"0 EX", "<P_13_6_3>%s</P_13_6_3>\n", "np I", "<P_13_8>%s</P_13_8>\n"};

const BuyerTreatment& treatmentOf(const Invoice& invoice) {
  switch (invoice.buyer.form) {
    case BuyerIdForm::kEuVat: return kEuBusiness;
    case BuyerIdForm::kForeign: return kAbroad;
    default: return kDomestic;
  }
}

void refuse(const char* reason) {
  std::string text = std::string(message::kKsefNotSaved) + reason;
  svc::showTitled(message::kErrorTitle, text.c_str(), 1);
}

// The first reason why the lines cannot make a document, or empty.
std::string checkLines(LineScan& scan, Invoice& invoice) {
  std::string problem;
  char text[1024];
  int32_t number = 0;
  invoice.lines = scan.pass([&](const char* line) {
    ++number;
    // Beyond the schema's count only the count matters, and the sums stay
    // within their range.
    if (!problem.empty() || number > kMostLines) return;
    const std::string name = rec::text(line, D::Nazwa);
    LineFacts facts(line);
    if (blank(name)) {
      _formatText(text, sizeof text, message::kKsefLineWithoutName, number);
    } else if (facts.quantity < 0) {
      _formatText(text, sizeof text, message::kKsefNegativeQuantity, number, name.c_str(),
                  ("-" + quantityText(-static_cast<int64_t>(facts.quantity))).c_str());
    } else if (!facts.rate) {
      _formatText(text, sizeof text, message::kKsefUnknownRate, number, name.c_str(),
                  static_cast<unsigned>(rec::get(line, D::KodVat)), vatRateOf(line));
    } else if (facts.damaged) {
      _formatText(text, sizeof text, message::kKsefDamagedPrice, number, name.c_str());
    } else if (!facts.inRange) {
      _formatText(text, sizeof text, message::kKsefLineTooLarge, number, name.c_str());
    } else {
      invoice.sums.add(*facts.rate, facts.value);
      if (facts.rate->slot == kSlotExempt) invoice.exempt = true;
      return;
    }
    problem = text;
  });
  return problem;
}

// Why a stored amount cannot be compared with the lines' sums, or empty.
std::string damagedAmount(const char* tspr, layout::Money field, const std::string& which) {
  if (storedAmountSound(rec::get(tspr, field))) return "";
  char text[1024];
  _formatText(text, sizeof text, message::kKsefDamagedAmount, which.c_str());
  return text;
}

// The host's stored group against the sums of the lines: a KSeF invoice must
// not disagree with the printed one.
std::string checkGroup(const Invoice& invoice, const char* tspr, Slot slot, const char* group, layout::Money net,
                       layout::Money vat) {
  for (std::string damaged : {damagedAmount(tspr, net, std::string("netto grupy VAT ") + group),
                              damagedAmount(tspr, vat, std::string("podatku grupy VAT ") + group)})
    if (!damaged.empty()) return damaged;
  const int64_t storedNet = storedCents(rec::get(tspr, net));
  const int64_t storedVat = storedCents(rec::get(tspr, vat));
  if (invoice.sums.net(slot) == storedNet && invoice.sums.vat(slot) == storedVat) return "";
  char text[1024];
  _formatText(text, sizeof text, message::kKsefGroupSumsDiffer, group, money(invoice.sums.net(slot)).c_str(),
              money(invoice.sums.vat(slot)).c_str(), money(storedNet).c_str(), money(storedVat).c_str());
  return text;
}

// Everything that must hold before the file is opened; empty when it does.
std::string checkInvoice(const char* tspr, const char* firma, LineScan& scan, Invoice& invoice) {
  char text[1024];
  const std::string sellerNip = cleaned(rec::text(firma, F::Nip));
  invoice.sellerNip = digitsOf(sellerNip);
  if (sellerNip.empty()) return message::kKsefNoSellerNip.c_str();
  if (!nipShaped(invoice.sellerNip)) {
    _formatText(text, sizeof text, message::kKsefSellerNipNotTenDigits, sellerNip.c_str());
    return text;
  }
  if (!nipCheckDigitRight(invoice.sellerNip)) {
    _formatText(text, sizeof text, message::kKsefSellerNipCheckDigit, sellerNip.c_str());
    return text;
  }
  if (blank(rec::text(firma, F::Nazwa))) return message::kKsefNoSellerName.c_str();
  if (blank(rec::text(firma, F::Ulica) + rec::text(firma, F::NrDomu) + rec::text(firma, F::KodPocztowy) +
            rec::text(firma, F::Miejscowosc)))
    return message::kKsefNoSellerAddress.c_str();
  if (blank(rec::text(tspr, T::NrFaktury))) return message::kKsefNoNumber.c_str();
  int16_t year = 0, month = 0, day = 0;
  svc::splitDate(rec::get(tspr, T::DataWystawienia), &year, &month, &day, 0);
  if (year == 0) return message::kKsefNoIssueDate.c_str();
  const int32_t issued = year * 10000 + month * 100 + day;
  if (!within(kEventDates, issued)) {
    _formatText(text, sizeof text, message::kKsefIssueDateOutOfRange, date(tspr, T::DataWystawienia).c_str());
    return text;
  }
  // KSeF takes no invoice issued after the day it receives it, and marks one
  // issued before that day as issued offline.
  char today[16] = {};
  svc::today(today);
  if (issued > dayNumber(today)) {
    _formatText(text, sizeof text, message::kKsefIssueDateInFuture, date(tspr, T::DataWystawienia).c_str(),
                formatDate(today, kDateFormat).c_str());
    return text;
  }
  invoice.offline = issued < dayNumber(today);
  // The sale date is written only when it has a year.
  const int32_t sold = dayNumber(rec::get(tspr, T::DataSprzedazy));
  if (sold / 10000 != 0 && !within(kEventDates, sold)) {
    _formatText(text, sizeof text, message::kKsefSaleDateOutOfRange, date(tspr, T::DataSprzedazy).c_str());
    return text;
  }
  const uint16_t paymentTerm = rec::get(tspr, T::TerminPlatnosci);
  char due[16] = {};
  svc::addDays(rec::get(tspr, T::DataWystawienia), due, paymentTerm);
  if (!within(kDueDates, dayNumber(due))) {
    _formatText(text, sizeof text, message::kKsefDueDateOutOfRange, formatDate(due, kDateFormat).c_str(),
                static_cast<unsigned>(paymentTerm));
    return text;
  }

  const std::string buyerNumber = cleaned(rec::text(tspr, T::NipOdbiorcy));
  invoice.buyer = buyerIdOf(buyerNumber);
  if (invoice.buyer.form == BuyerIdForm::kNotNip) {
    _formatText(text, sizeof text, message::kKsefBuyerNipNotTenDigits, buyerNumber.c_str());
    return text;
  }
  if (invoice.buyer.form == BuyerIdForm::kWrongNipDigit) {
    _formatText(text, sizeof text, message::kKsefBuyerNipCheckDigit, buyerNumber.c_str());
    return text;
  }
  if (invoice.buyer.form == BuyerIdForm::kUnknown) {
    _formatText(text, sizeof text, message::kKsefBuyerTaxNumberUnknown, buyerNumber.c_str());
    return text;
  }
  if (blank(rec::text(tspr, T::NazwaOdbiorcy))) return message::kKsefNoBuyerName.c_str();
  if (blank(rec::text(tspr, T::AdresOdbiorcy))) return message::kKsefNoBuyerAddress.c_str();

  invoice.currency = cleaned(rec::text(tspr, T::Waluta));
  if (invoice.currency.empty() || zloty(invoice.currency)) invoice.currency = "PLN";
  if (!currencyShaped(invoice.currency)) {
    _formatText(text, sizeof text, message::kKsefCurrencyNotACode, invoice.currency.c_str());
    return text;
  }
  if (!currencyKnown(invoice.currency)) {
    _formatText(text, sizeof text, message::kKsefCurrencyUnknown, invoice.currency.c_str());
    return text;
  }
  if (invoice.currency != "PLN") {
    // Up to 10000 zloty a unit: the tax in zloty then stays exact.
    const double rate = rec::get(tspr, T::KursWaluty);
    invoice.exchangeRate = rate > 0 && rate < 1e8 ? std::llround(rate) : 0;
    if (invoice.exchangeRate <= 0) {
      _formatText(text, sizeof text, message::kKsefNoExchangeRate, invoice.currency.c_str());
      return text;
    }
  }

  std::string problem = checkLines(scan, invoice);
  if (!problem.empty()) return problem;
  if (invoice.lines == 0) return message::kKsefNoLines.c_str();
  if (invoice.lines > kMostLines) {
    _formatText(text, sizeof text, message::kKsefTooManyLines, invoice.lines);
    return text;
  }
  if (std::llabs(invoice.sums.gross()) >= kLargestCents) return message::kKsefAmountsTooLarge.c_str();

  if (invoice.exempt) {
    char basis[1024] = {};
    _fileSetting(kSettingsFile, hostabi::kSettingRead, kKsefSection, "PodstawaZwolnienia", "%s", basis);
    invoice.exemptionBasis = settingText(basis);
    if (invoice.exemptionBasis.empty()) return message::kKsefNoExemptionBasis.c_str();
    if (characterCount(invoice.exemptionBasis) > kLongestText) return message::kKsefExemptionBasisTooLong.c_str();
  }

  for (std::string mismatch : {checkGroup(invoice, tspr, kSlot1, "A (23%)", T::NettoA, T::VatA),
                               checkGroup(invoice, tspr, kSlot2, "B (8%)", T::NettoB, T::VatB),
                               checkGroup(invoice, tspr, kSlot3, "C (5%)", T::NettoC, T::VatC)})
    if (!mismatch.empty()) return mismatch;
  const std::string damagedTotal = damagedAmount(tspr, T::RazemBrutto, "brutto");
  if (!damagedTotal.empty()) return damagedTotal;
  const int64_t storedGross = storedCents(rec::get(tspr, T::RazemBrutto));
  if (invoice.sums.gross() != storedGross) {
    _formatText(text, sizeof text, message::kKsefGrossDiffers, money(invoice.sums.gross()).c_str(),
                money(storedGross).c_str());
    return text;
  }
  return "";
}

void writeHeader(HostFile* file) {
  writeDirect(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  _fprintfUTF(file, "<Faktura xmlns=\"http://crd.gov.pl/wzor/2025/06/25/13775/\">\n");
  _fprintfUTF(file, "<Naglowek>\n");
  _fprintfUTF(file, "<KodFormularza kodSystemowy=\"FA (3)\" wersjaSchemy=\"1-0E\">FA</KodFormularza>\n");
  _fprintfUTF(file, "<WariantFormularza>3</WariantFormularza>\n");
  _fprintfUTF(file, "<DataWytworzeniaFa>%s</DataWytworzeniaFa>\n", creationTime().c_str());
  _fprintfUTF(file, "<SystemInfo>kwitomat</SystemInfo>\n");
  _fprintfUTF(file, "</Naglowek>\n");
}

void writeAddress(HostFile* file, const std::string& country, const std::string& line1, const std::string& line2) {
  _fprintfUTF(file, "<Adres>\n");
  _fprintfUTF(file, "<KodKraju>%s</KodKraju>\n", country.c_str());
  _fprintfUTF(file, "<AdresL1>%s</AdresL1>\n", xmlEscaped(line1.empty() ? line2 : line1).c_str());
  if (!line1.empty() && !line2.empty()) _fprintfUTF(file, "<AdresL2>%s</AdresL2>\n", xmlEscaped(line2).c_str());
  _fprintfUTF(file, "</Adres>\n");
}

void writeSeller(HostFile* file, const char* firma, const Invoice& invoice) {
  _fprintfUTF(file, "<Podmiot1>\n");
  // An intra-community supply or a service taxed where the EU buyer is must
  // show the seller's EU VAT number: the NIP with this prefix.
  if (invoice.euBuyer() && (invoice.sums.used(kSlot0) || invoice.sums.used(kSlotNotSubject)))
    _fprintfUTF(file, "<PrefiksPodatnika>PL</PrefiksPodatnika>\n");
  _fprintfUTF(file, "<DaneIdentyfikacyjne>\n");
  _fprintfUTF(file, "<NIP>%s</NIP>\n", invoice.sellerNip.c_str());
  _fprintfUTF(file, "<Nazwa>%s</Nazwa>\n", escapedField(firma, F::Nazwa).c_str());
  _fprintfUTF(file, "</DaneIdentyfikacyjne>\n");
  writeAddress(file, "PL", joined(rec::text(firma, F::Ulica), rec::text(firma, F::NrDomu)),
               joined(rec::text(firma, F::KodPocztowy), rec::text(firma, F::Miejscowosc)));
  _fprintfUTF(file, "</Podmiot1>\n");
}

void writeBuyer(HostFile* file, const char* tspr, const Invoice& invoice) {
  _fprintfUTF(file, "<Podmiot2>\n");
  _fprintfUTF(file, "<DaneIdentyfikacyjne>\n");
  const BuyerId& buyer = invoice.buyer;
  switch (buyer.form) {
    case BuyerIdForm::kNip: _fprintfUTF(file, "<NIP>%s</NIP>\n", buyer.number.c_str()); break;
    case BuyerIdForm::kEuVat:
      _fprintfUTF(file, "<KodUE>%s</KodUE>\n", buyer.code.c_str());
      _fprintfUTF(file, "<NrVatUE>%s</NrVatUE>\n", buyer.number.c_str());
      break;
    case BuyerIdForm::kForeign:
      _fprintfUTF(file, "<KodKraju>%s</KodKraju>\n", buyer.code.c_str());
      _fprintfUTF(file, "<NrID>%s</NrID>\n", xmlEscaped(buyer.number).c_str());
      break;
    default: _fprintfUTF(file, "<BrakID>1</BrakID>\n");
  }
  _fprintfUTF(file, "<Nazwa>%s</Nazwa>\n", escapedField(tspr, T::NazwaOdbiorcy).c_str());
  _fprintfUTF(file, "</DaneIdentyfikacyjne>\n");
  char street[256], postalCode[256], city[256];
  PodzielAdres(rec::text(tspr, T::AdresOdbiorcy).c_str(), street, postalCode, city);
  std::string line1 = cleaned(street);
  std::string line2 = joined(postalCode, city);
  if (line1.empty() && line2.empty()) line1 = cleaned(rec::text(tspr, T::AdresOdbiorcy));
  writeAddress(file, buyer.country, line1, line2);
  _fprintfUTF(file, "<JST>2</JST>\n");
  _fprintfUTF(file, "<GV>2</GV>\n");
  _fprintfUTF(file, "</Podmiot2>\n");
}

// A taxed field pair, and in a foreign currency the tax in zloty as well;
// only when the invoice has a line of that group.
void writeTaxed(HostFile* file, const Invoice& invoice, Slot slot, const char* netTemplate, const char* vatTemplate,
                const char* zlotyTemplate) {
  const VatSums& sums = invoice.sums;
  if (!sums.used(slot)) return;
  _fprintfUTF(file, netTemplate, money(sums.net(slot)).c_str());
  _fprintfUTF(file, vatTemplate, money(sums.vat(slot)).c_str());
  if (invoice.exchangeRate <= 0) return;
  // VAT x rate in two parts, whole zloty of the rate and its fraction, so
  // that no product leaves 64 bits.
  const int64_t vat = sums.vat(slot);
  const int64_t rate = invoice.exchangeRate;
  _fprintfUTF(file, zlotyTemplate, money(vat * (rate / 10000) + roundedDiv(vat * (rate % 10000), 10000)).c_str());
}

void writeSums(HostFile* file, const Invoice& invoice) {
  const VatSums& sums = invoice.sums;
  writeTaxed(file, invoice, kSlot1, "<P_13_1>%s</P_13_1>\n", "<P_14_1>%s</P_14_1>\n", "<P_14_1W>%s</P_14_1W>\n");
  writeTaxed(file, invoice, kSlot2, "<P_13_2>%s</P_13_2>\n", "<P_14_2>%s</P_14_2>\n", "<P_14_2W>%s</P_14_2W>\n");
  writeTaxed(file, invoice, kSlot3, "<P_13_3>%s</P_13_3>\n", "<P_14_3>%s</P_14_3>\n", "<P_14_3W>%s</P_14_3W>\n");
  const BuyerTreatment& treatment = treatmentOf(invoice);
  if (sums.used(kSlot0)) _fprintfUTF(file, treatment.zeroSum, money(sums.net(kSlot0)).c_str());
  if (sums.used(kSlotExempt)) _fprintfUTF(file, "<P_13_7>%s</P_13_7>\n", money(sums.net(kSlotExempt)).c_str());
  if (sums.used(kSlotNotSubject)) _fprintfUTF(file, treatment.notSubjectSum, money(sums.net(kSlotNotSubject)).c_str());
  _fprintfUTF(file, "<P_15>%s</P_15>\n", money(sums.gross()).c_str());
}

void writeAnnotations(HostFile* file, const Invoice& invoice) {
  _fprintfUTF(file, "<Adnotacje>\n");
  _fprintfUTF(file, "<P_16>2</P_16>\n<P_17>2</P_17>\n");
  // A service to an EU business is taxed by the buyer: "odwrotne obciążenie".
  _fprintfUTF(file, "<P_18>%d</P_18>\n", invoice.euBuyer() && invoice.sums.used(kSlotNotSubject) ? 1 : 2);
  _fprintfUTF(file, "<P_18A>2</P_18A>\n");
  _fprintfUTF(file, "<Zwolnienie>\n");
  if (invoice.exempt)  // already UTF-8: written as it is
    writeDirect(file, "<P_19>1</P_19>\n<P_19A>%s</P_19A>\n", xmlEscaped(invoice.exemptionBasis).c_str());
  else
    _fprintfUTF(file, "<P_19N>1</P_19N>\n");
  _fprintfUTF(file, "</Zwolnienie>\n");
  _fprintfUTF(file, "<NoweSrodkiTransportu>\n<P_22N>1</P_22N>\n</NoweSrodkiTransportu>\n");
  _fprintfUTF(file, "<P_23>2</P_23>\n");
  _fprintfUTF(file, "<PMarzy>\n<P_PMarzyN>1</P_PMarzyN>\n</PMarzy>\n");
  _fprintfUTF(file, "</Adnotacje>\n");
}

void writeLine(HostFile* file, const Invoice& invoice, const char* line, int32_t number) {
  LineFacts facts(line);
  _fprintfUTF(file, "<FaWiersz>\n");
  _fprintfUTF(file, "<NrWierszaFa>%d</NrWierszaFa>\n", number);
  _fprintfUTF(file, "<P_7>%s</P_7>\n", escapedField(line, D::Nazwa).c_str());
  if (!blank(rec::text(line, D::Jm))) _fprintfUTF(file, "<P_8A>%s</P_8A>\n", escapedField(line, D::Jm).c_str());
  _fprintfUTF(file, "<P_8B>%s</P_8B>\n", quantityText(facts.quantity).c_str());
  if (invoice.pricedNet) {
    _fprintfUTF(file, "<P_9A>%s</P_9A>\n", priceText(facts.price).c_str());
    _fprintfUTF(file, "<P_11>%s</P_11>\n", money(facts.value).c_str());
  } else {
    _fprintfUTF(file, "<P_9B>%s</P_9B>\n", priceText(facts.price).c_str());
    _fprintfUTF(file, "<P_11A>%s</P_11A>\n", money(facts.value).c_str());
  }
  const BuyerTreatment& treatment = treatmentOf(invoice);
  const char* p12 = facts.rate->p12;
  if (facts.rate->slot == kSlot0) p12 = treatment.zeroP12;
  if (facts.rate->slot == kSlotNotSubject) p12 = treatment.notSubjectP12;
  _fprintfUTF(file, "<P_12>%s</P_12>\n", p12);
  // The rate the tax in zloty (P_14_xW) was worked out with.
  if (invoice.exchangeRate > 0)
    _fprintfUTF(file, "<KursWaluty>%s</KursWaluty>\n", rateText(invoice.exchangeRate).c_str());
  _fprintfUTF(file, "</FaWiersz>\n");
}

void writePayment(HostFile* file, const char* tspr, const char* firma) {
  _fprintfUTF(file, "<Platnosc>\n");
  const uint16_t paymentTerm = rec::get(tspr, T::TerminPlatnosci);
  _fprintfUTF(file, "<TerminPlatnosci>\n<Termin>%s</Termin>\n</TerminPlatnosci>\n",
              formatShiftedDate(rec::get(tspr, T::DataWystawienia), paymentTerm, kDateFormat).c_str());
  _fprintfUTF(file, "<FormaPlatnosci>%d</FormaPlatnosci>\n", paymentFormCode(rec::paymentForm(tspr)));
  char bankName[256], account[256];
  PodzielBankKonto(rec::text(firma, F::BankKonto).c_str(), bankName, account);
  // The account number without its blanks and dashes; one the schema cannot
  // take (10 to 34 characters) is left out.
  std::string number;
  for (const char* c = account; *c; ++c)
    if ((*c >= '0' && *c <= '9') || (*c >= 'A' && *c <= 'Z')) number += *c;
  if (number.size() >= 10 && number.size() <= 34) {
    _fprintfUTF(file, "<RachunekBankowy>\n<NrRB>%s</NrRB>\n", number.c_str());
    if (!blank(bankName)) _fprintfUTF(file, "<NazwaBanku>%s</NazwaBanku>\n", xmlEscaped(cleaned(bankName)).c_str());
    _fprintfUTF(file, "</RachunekBankowy>\n");
  }
  _fprintfUTF(file, "</Platnosc>\n");
}

}  // namespace

bool ksefExportEnabled() {
  int32_t value = 0;
  return _fileSetting(kSettingsFile, hostabi::kSettingRead, kKsefSection, "Eksport", "%d", &value) == 0 && value != 0;
}

}  // namespace kw::formats

namespace kw::formats::writers {

// No printout and no mail: the export closes with `finish` (the send to
// KSeF), or without one with a notice that names the file to send.
void ksef(char* tspr, const Finish& finish) {
  std::optional<LineScan> scan;
  Invoice invoice(rec::pricedNet(tspr));
  auto check = [&](WriterTables& tables) {
    HostTable* lineTable = openLineTable(hostabi::kDiskErrorLines);
    if (!lineTable) return false;
    scan.emplace(lineTable, tspr);
    const std::string problem = checkInvoice(tspr, tables.firma, *scan, invoice);
    if (!problem.empty()) refuse(problem.c_str());
    return problem.empty();
  };
  auto notice = [&](const Written& written) {
    if (finish) return finish(written);
    char text[1024];
    _formatText(text, sizeof text, message::kKsefSaved, written.dataPath);
    std::string shown = text;
    if (invoice.offline) shown += message::kKsefOffline.c_str();
    svc::showTitled(message::kNoticeTitle, shown.c_str(), 1);
  };
  writeInvoice(tspr, ExportPaths(documentStem("ksef", tspr).c_str(), ".xml"), message::kOpenFailed, notice, check,
               [&](HostFile* file, WriterTables& tables) {
                 writeHeader(file);
                 writeSeller(file, tables.firma, invoice);
                 writeBuyer(file, tspr, invoice);
                 _fprintfUTF(file, "<Fa>\n");
                 _fprintfUTF(file, "<KodWaluty>%s</KodWaluty>\n", invoice.currency.c_str());
                 _fprintfUTF(file, "<P_1>%s</P_1>\n", date(tspr, T::DataWystawienia).c_str());
                 _fprintfUTF(file, "<P_2>%s</P_2>\n", escapedField(tspr, T::NrFaktury).c_str());
                 // The sale date only when it is there and differs from the issue date.
                 const int32_t sold = dayNumber(rec::get(tspr, T::DataSprzedazy));
                 if (sold / 10000 != 0 && sold != dayNumber(rec::get(tspr, T::DataWystawienia)))
                   _fprintfUTF(file, "<P_6>%s</P_6>\n", date(tspr, T::DataSprzedazy).c_str());
                 writeSums(file, invoice);
                 writeAnnotations(file, invoice);
                 _fprintfUTF(file, "<RodzajFaktury>VAT</RodzajFaktury>\n");
                 int32_t number = 0;
                 scan->pass([&](const char* line) { writeLine(file, invoice, line, ++number); });
                 writePayment(file, tspr, tables.firma);
                 _fprintfUTF(file, "</Fa>\n");
                 _fprintfUTF(file, "</Faktura>\n");
               });
}

}  // namespace kw::formats::writers
