// F4: the invoice as an InsERT EDI++ exchange file (version 1.08, code page
// 1250): the invoice with its lines, the goods of the lines and the buyer.
#include "formats/epp.h"

#include <cstring>
#include <optional>
#include <string>

#include "data/address.h"
#include "data/host_data.h"
#include "data/records.h"
#include "data/slot_list.h"
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

namespace T = layout::Tspr;
namespace D = layout::Tspr_dok;

constexpr int32_t kFirmRecord = -1;
constexpr int32_t kTimeHoursMinutes = 2;
constexpr const char* kDateFormat = "%04d%02d%02d000000";

// A line's raw text between quotes: a quote inside it is doubled and a line
// break becomes a blank, so that the record stays one record for a reader.
std::string quoted(const char* line, layout::Text field) {
  std::string out;
  for (char c : oneLine(rec::text(line, field))) {
    out += c;
    if (c == '"') out += '"';
  }
  return out;
}

const char* paymentWord(int32_t form) {
  static constexpr auto kCash = KW_MAZ("\"gotówka\",");
  switch (form) {
    case 1: return kCash;
    case 3: return "\"czek\",";
    case 12: return "\"karta\",";
    case 13: return "\"bon\",";
    default: return "\"przelew\",";
  }
}

std::string date(const char* record, layout::Date field) { return formatDate(rec::get(record, field), kDateFormat); }

// The number in up to two characters of a time text from `at`.
int32_t twoDigits(const char* text, size_t at) {
  int32_t value = 0;
  for (size_t i = at; i < at + 2 && i < std::strlen(text); ++i)
    if (text[i] >= '0' && text[i] <= '9') value = value * 10 + (text[i] - '0');
  return value;
}

void writeLineRecord(HostFile* file, const char* tspr, const char* line, int32_t number) {
  const double quantity = quantityOf(line);
  const double net = netUnitPrice(tspr, line);
  const double gross = grossUnitPrice(tspr, line);
  const double netValue = net * quantity;
  const double grossValue = gross * quantity;
  _fprintf1250(file, "%d,", number);
  _fprintf1250(file, "1,");
  _fprintf1250(file, "\"%s\",", quoted(line, D::Kod).c_str());
  _fprintf1250(file, "0,0,0,0,0,0,");
  _fprintf1250(file, "\"%s\",", quoted(line, D::Jm).c_str());
  _fprintf1250(file, "%.2f,%.2f,", quantity, quantity);
  _fprintf1250(file, "%.2f,%.2f,%.2f,", gross, net, gross);
  _fprintf1250(file, "%.2f,", vatRateOf(line));
  _fprintf1250(file, "%.2f,%.2f,%.2f,0,", netValue, grossValue - netValue, grossValue);
  _fprintf1250(file, ",\"%s\"", quoted(line, D::Nazwa).c_str());
  writeDirect(file, "\n");
}

void writeGoodsRecord(HostFile* file, const char* line, const char* currency) {
  const std::string code = quoted(line, D::Kod);
  const std::string name = quoted(line, D::Nazwa);
  const std::string pkwiu = quoted(line, D::Pkwiu);
  const std::string unit = quoted(line, D::Jm);
  const double rate = vatRateOf(line);
  _fprintf1250(file, "1,");
  _fprintf1250(file, "\"%s\",", code.c_str());
  _fprintf1250(file, "\"%s\",", quoted(line, D::KodDostawcy).c_str());
  _fprintf1250(file, "\"%s\",", code.c_str());
  _fprintf1250(file, "\"%s\",", name.c_str());
  _fprintf1250(file, "\"%s\",", name.c_str());
  _fprintf1250(file, "\"%s\",", name.c_str());
  _fprintf1250(file, "\"%s\",", pkwiu.c_str());
  _fprintf1250(file, "\"%s\",", pkwiu.c_str());
  _fprintf1250(file, "\"%s\",", unit.c_str());
  _fprintf1250(file, "\"%.0f\",", rate);
  _fprintf1250(file, "%.4f,", rate);
  _fprintf1250(file, "\"%.0f\",", rate);
  _fprintf1250(file, "%.4f,", rate);
  _fprintf1250(file, "0,");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "\"%s\",", unit.c_str());
  _fprintf1250(file, "0,");
  _fprintf1250(file, "\"%s\",", currency[0] ? currency : "PLN");
  _fprintf1250(file, "\"\",");
  _fprintf1250(file, "\"\",");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "\"%s\",", code.c_str());
  _fprintf1250(file, ",");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "\"\",");
  _fprintf1250(file, ",");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "\"\",");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "\"\",");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "0,");
  for (int32_t i = 0; i < 8; ++i) _fprintf1250(file, "\"\",");
  writeDirect(file, "\n");
}

void writeInfo(HostFile* file, const char* firma) {
  char stamp[16];
  _eppTimestamp(stamp);
  const layout::Text euTaxNumber =
      rec::isEmpty(firma, layout::Firma::NipUE) ? layout::Firma::Nip : layout::Firma::NipUE;
  _fprintf1250(file, "[INFO]\n");
  _fprintf1250(file, "\"1.08\",3,1250,Quornimarket,,");
  _fprintf1250(file, ",,,,,,");
  _fprintf1250(file, ",,,,");
  _fprintf1250(file, "0,,,,%s,,\"PL\",%s,1", stamp, oneLine(rec::text(firma, euTaxNumber)).c_str());
  _fprintf1250(file, "\n");
}

void writeHeader(HostFile* file, char* tspr) {
  _fprintf1250(file, "[NAGLOWEK]\n");
  _fprintf1250(file, "\"FS\",3,0,");
  _fprintf1250(file, "%d,", rec::get(tspr, T::IdDokumentu));
  _fprintf1250(file, ",,");
  _fprintf1250(file, "\"%s\",", xmlSafeField(tspr, T::NrFaktury).c_str());
  _fprintf1250(file, ",,,0,");
  _fprintf1250(file, "\"%s\",", xmlSafeField(tspr, T::SymbolOdbiorcy).c_str());
  _fprintf1250(file, "\"%s\",", xmlSafeField(tspr, T::NazwaOdbiorcy).c_str());
  _fprintf1250(file, "\"%s\",", rec::text(tspr, T::NazwaOdbiorcy).c_str());
  AddressParts address(rec::text(tspr, T::AdresOdbiorcy));
  _fprintf1250(file, "\"%s\",", address.city);
  _fprintf1250(file, "\"%s\",", address.postalCode);
  _fprintf1250(file, "\"%s\",", address.street);
  _fprintf1250(file, "\"%s\",", xmlSafeField(tspr, T::NipOdbiorcy).c_str());
  _fprintf1250(file, ",,");
  _fprintf1250(file, ",");
  _fprintf1250(file, "%s,", date(tspr, T::DataWystawienia).c_str());
  _fprintf1250(file, "%s,", date(tspr, T::DataSprzedazy).c_str());
  _fprintf1250(file, "%s,", date(tspr, T::DataSprzedazy).c_str());
  _fprintf1250(file, "%d,", _eppLineCount(tspr));
  _fprintf1250(file, "%d,", rec::get(tspr, T::RodzajCen) != 0 ? 1 : 0);
  _fprintf1250(file, ",");
  const double net = rec::get(tspr, T::RazemNetto);
  const double gross = rec::get(tspr, T::RazemBrutto);
  _fprintf1250(file, "%.2f,%.2f,%.2f,,", net * 0.0001, (gross - net) * 0.0001, gross * 0.0001);
  _fprintf1250(file, ",,");
  _fprintf1250(file, paymentWord(rec::paymentForm(tspr)));
  const uint16_t paymentTerm = rec::get(tspr, T::TerminPlatnosci);
  _fprintf1250(file, "%s,", formatShiftedDate(rec::get(tspr, T::DataWystawienia), paymentTerm, kDateFormat).c_str());
  _fprintf1250(file, "%.2f,", amount(tspr, T::Zaplacono));
  _fprintf1250(file, "%.2f,", amount(tspr, T::KwotaDoZaplaty));
  _fprintf1250(file, "0,0,");
  _fprintf1250(file, "1,");
  _fprintf1250(file, "0,");
  _fprintf1250(file, ",,,");
  _fprintf1250(file, "%.2f,", amount(tspr, T::WartoscOpakowan));
  _fprintf1250(file, "0,");
  const std::string currency = xmlSafeField(tspr, T::Waluta);
  _fprintf1250(file, "%s,", currency.empty() ? "PLN" : currency.c_str());
  _fprintf1250(file, "%.2f,", amount(tspr, T::KursWaluty));
  _fprintf1250(file, "\"%s\",", xmlSafeField(tspr, T::Uwagi).c_str());
  _fprintf1250(file, ",,,");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "0,");
  _fprintf1250(file, ",0,,0,");
  const int16_t transaction = rec::get(tspr, T::RodzajTransakcji);
  _fprintf1250(file, ",,%d", transaction == 14 || transaction == 32 ? 1 : 0);
}

// A buyer text: quoted when there is one, an empty field when there is none.
void writeBuyerText(HostFile* file, char* tspr, layout::Text field) {
  if (rec::isEmpty(tspr, field))
    _fprintf1250(file, ",");
  else
    _fprintf1250(file, "\"%s\",", xmlSafeField(tspr, field).c_str());
}

void writeBuyerPart(HostFile* file, const char* part) {
  if (part[0] == '\0')
    _fprintf1250(file, ",");
  else
    _fprintf1250(file, "\"%s\",", part);
}

void writeBuyer(HostFile* file, char* tspr) {
  _fprintf1250(file, "\n[NAGLOWEK]\n");
  _fprintf1250(file, "\n\"KONTRAHENCI\"\n");
  _fprintf1250(file, "\n[ZAWARTOSC]\n");
  _fprintf1250(file, "0,");
  if (rec::isEmpty(tspr, T::SymbolOdbiorcy))
    _fprintf1250(file, "\"%05ld\",", static_cast<long>(rec::get(tspr, T::IdKontrahenta)));
  else
    _fprintf1250(file, "\"%s\",", xmlSafeField(tspr, T::SymbolOdbiorcy).c_str());
  if (rec::isEmpty(tspr, T::NazwaOdbiorcy)) {
    _fprintf1250(file, ",,");
  } else {
    const std::string name = xmlSafeField(tspr, T::NazwaOdbiorcy);
    _fprintf1250(file, "\"%s\",\"%s\",", name.c_str(), name.c_str());
  }
  AddressParts address(rec::text(tspr, T::AdresOdbiorcy));
  writeBuyerPart(file, address.city);
  writeBuyerPart(file, address.postalCode);
  writeBuyerPart(file, address.street);
  writeBuyerText(file, tspr, T::NipOdbiorcy);
  for (int32_t i = 0; i < 19; ++i) _fprintf1250(file, ",");
  _fprintf1250(file, "\"Polska\",");
  _fprintf1250(file, "\"PL\",");
  _fprintf1250(file, "0,");
  _fprintf1250(file, "\"PL\",");
}

}  // namespace

char* _eppTimestamp(char* buffer) {
  char today[16] = {};
  svc::today(today);
  int16_t year = 0, month = 0, day = 0;
  svc::splitDate(today, &year, &month, &day, 0);
  char time[32] = {};
  svc::timeText(time, kTimeHoursMinutes);
  const int32_t hours = twoDigits(time, 0);
  const int32_t minutes = twoDigits(time, 3);
  _formatText(buffer, 15, "%04d%02d%02d%02d%02d00", year, month, day, hours, minutes);
  return buffer;
}

int32_t _eppLineCount(const char* tspr) { return scanLines(tspr, hostabi::kDiskErrorLineCount, countCountingLines); }

int32_t _eppLines(const char* tspr, HostFile* file, const char* currency) {
  return scanLines(tspr, hostabi::kDiskErrorLines, [&](LineScan& scan) {
    _fprintf1250(file, "\n[ZAWARTOSC]\n");
    int32_t written = 0;
    scan.pass([&](const char* line) { writeLineRecord(file, tspr, line, ++written); });
    _fprintf1250(file, "\n[NAGLOWEK]\n");
    _fprintf1250(file, "\n\"TOWARY\"\n");
    _fprintf1250(file, "\n[ZAWARTOSC]\n");
    scan.pass([&](const char* line) { writeGoodsRecord(file, line, currency); });
    return written;
  });
}

}  // namespace kw::formats

namespace kw::formats::writers {

void epp(char* tspr, const Finish& finish) {
  std::optional<_CCabFileList> cabFiles;
  auto loadCompany = [&](WriterTables& tables) {
    svc::loadCurrentRecord(kFirmRecord, tables.company);
    cabFiles.emplace();
    return true;
  };
  writeInvoice(tspr, ExportPaths(documentStem("fakt", tspr).c_str(), ".epp"), message::kEppOpenFailed, finish,
               loadCompany, [&](HostFile* file, WriterTables& tables) {
                 writeInfo(file, tables.firma);
                 writeHeader(file, tspr);
                 const std::string currency = rec::text(tspr, T::Waluta);
                 _eppLines(tspr, file, currency.c_str());
                 writeBuyer(file, tspr);
               });
}

}  // namespace kw::formats::writers
