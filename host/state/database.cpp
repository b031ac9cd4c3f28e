#include "database.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "data/record_layout.h"
#include "mazovia.h"
#include "shared_file.h"
#include "utf8_file.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace welkor {

namespace {

using json = nlohmann::ordered_json;

// ---- record fields by name -------------------------------------------------

enum class Kind { Text, Money, Quantity, Int16, UInt16, Int32, Date, PaymentForm, Word };

struct Field {
  const char* name;
  Kind kind;
  uint16_t offset;
  uint16_t room;  // texts only
};

Field field(const char* name, layout::Text f) { return {name, Kind::Text, f.offset, f.room}; }
Field field(const char* name, layout::Money f) { return {name, Kind::Money, f.offset, 0}; }
Field field(const char* name, layout::Int16 f) { return {name, Kind::Int16, f.offset, 0}; }
Field field(const char* name, layout::UInt16 f) { return {name, Kind::UInt16, f.offset, 0}; }
Field field(const char* name, layout::Int32 f) { return {name, Kind::Int32, f.offset, 0}; }
Field field(const char* name, layout::Date f) { return {name, Kind::Date, f.offset, 0}; }

#define KW_FIELD(record, name) field(#name, layout::record::name)

const std::vector<Field>& invoiceFields() {
  static const std::vector<Field> fields = {
      KW_FIELD(Tspr, NrFaktury),
      KW_FIELD(Tspr, SymbolOdbiorcy),
      KW_FIELD(Tspr, NazwaOdbiorcy),
      KW_FIELD(Tspr, AdresOdbiorcy),
      KW_FIELD(Tspr, NipOdbiorcy),
      KW_FIELD(Tspr, RodzajCen),
      KW_FIELD(Tspr, DataSprzedazy),
      KW_FIELD(Tspr, DataWystawienia),
      KW_FIELD(Tspr, Zaplacono),
      KW_FIELD(Tspr, KwotaDoZaplaty),
      {"FormaPlatnosci", Kind::PaymentForm, layout::Tspr::FormaPlatnosci.offset, 0},
      {"FormaPlatnosciWord", Kind::Word, layout::Tspr::FormaPlatnosci.offset, 0},
      KW_FIELD(Tspr, TerminPlatnosci),
      KW_FIELD(Tspr, RazemBrutto),
      KW_FIELD(Tspr, RazemNetto),
      KW_FIELD(Tspr, RazemVat),
      KW_FIELD(Tspr, BruttoA),
      KW_FIELD(Tspr, NettoA),
      KW_FIELD(Tspr, VatA),
      KW_FIELD(Tspr, BruttoB),
      KW_FIELD(Tspr, NettoB),
      KW_FIELD(Tspr, VatB),
      KW_FIELD(Tspr, BruttoC),
      KW_FIELD(Tspr, NettoC),
      KW_FIELD(Tspr, VatC),
      KW_FIELD(Tspr, Netto0),
      KW_FIELD(Tspr, WartoscOpakowan),
      KW_FIELD(Tspr, Uwagi),
      KW_FIELD(Tspr, Waluta),
      KW_FIELD(Tspr, SymbolDostawy),
      KW_FIELD(Tspr, NazwaDostawy),
      KW_FIELD(Tspr, AdresDostawy),
      KW_FIELD(Tspr, KursWaluty),
      KW_FIELD(Tspr, RodzajTransakcji),
      KW_FIELD(Tspr, IdDostawy),
      KW_FIELD(Tspr, IdKontrahenta),
      KW_FIELD(Tspr, IdDokumentu),
  };
  return fields;
}

const std::vector<Field>& lineFields() {
  static const std::vector<Field> fields = {
      KW_FIELD(Tspr_dok, Nazwa),
      KW_FIELD(Tspr_dok, Kod),
      {"Ilosc", Kind::Quantity, layout::Tspr_dok::Ilosc.offset, 0},
      KW_FIELD(Tspr_dok, Jm),
      KW_FIELD(Tspr_dok, CenaDokumentu),
      KW_FIELD(Tspr_dok, KodVat),
      KW_FIELD(Tspr_dok, CenaPrzeliczona),
      KW_FIELD(Tspr_dok, KodDostawcy),
      KW_FIELD(Tspr_dok, Pkwiu),
      KW_FIELD(Tspr_dok, RefTowaru1),
      KW_FIELD(Tspr_dok, RefTowaru2),
  };
  return fields;
}

const std::vector<Field>& customerFields() {
  static const std::vector<Field> fields = {
      KW_FIELD(Kontrahent, Symbol), KW_FIELD(Kontrahent, Nazwa),     KW_FIELD(Kontrahent, Adres),
      KW_FIELD(Kontrahent, Nip),    KW_FIELD(Kontrahent, BankKonto), KW_FIELD(Kontrahent, Email),
  };
  return fields;
}

const std::vector<Field>& companyFields() {
  static const std::vector<Field> fields = {
      KW_FIELD(Firma, Nazwa),       KW_FIELD(Firma, Ulica),     KW_FIELD(Firma, NrDomu), KW_FIELD(Firma, KodPocztowy),
      KW_FIELD(Firma, Miejscowosc), KW_FIELD(Firma, BankKonto), KW_FIELD(Firma, Nip),    KW_FIELD(Firma, NipUE),
  };
  return fields;
}

const std::vector<Field>& goodsFields() {
  static const std::vector<Field> fields = {KW_FIELD(Towar, Kod)};
  return fields;
}

#undef KW_FIELD

const Field* findField(const std::vector<Field>& fields, const std::string& name) {
  for (const Field& f : fields)
    if (name == f.name) return &f;
  return nullptr;
}

// ---- reading values ---------------------------------------------------------

class Reader {
 public:
  explicit Reader(std::string file) : file_(std::move(file)) {}

  [[noreturn]] void fail(const std::string& where, const std::string& what) const {
    throw DatabaseError(file_ + ": " + (where.empty() ? "" : where + ": ") + what);
  }

  void expect(bool ok, const json& value, const char* expected, const std::string& where) const {
    if (!ok) fail(where, std::string("expected ") + expected + ", got " + value.type_name());
  }
  const json& object(const json& value, const std::string& where) const {
    expect(value.is_object(), value, "an object", where);
    return value;
  }
  const json& array(const json& value, const std::string& where) const {
    expect(value.is_array(), value, "an array", where);
    return value;
  }
  std::string text(const json& value, const std::string& where) const {
    expect(value.is_string(), value, "a string", where);
    return value.get<std::string>();
  }
  double number(const json& value, const std::string& where) const {
    expect(value.is_number(), value, "a number", where);
    return value.get<double>();
  }
  // Every range asked for here is exact in a double.
  int64_t integer(const json& value, int64_t min, int64_t max, const std::string& where) const {
    double d = number(value, where);
    if (std::floor(d) != d) fail(where, "expected a whole number, got " + value.dump());
    if (d < static_cast<double>(min) || d > static_cast<double>(max))
      fail(where, value.dump() + " is out of range " + std::to_string(min) + ".." + std::to_string(max));
    return static_cast<int64_t>(d);
  }
  // A map key that must be a number in digits ("49", "23").
  int32_t digitsKey(const std::string& key, const std::string& where) const {
    if (key.empty() || key.size() > 9 || key.find_first_not_of("0123456789") != std::string::npos)
      fail(where, "expected a code in digits, got \"" + key + "\"");
    return std::stoi(key);
  }
  [[noreturn]] void unknown(const std::string& where) const { fail(where, "unknown field"); }

 private:
  std::string file_;
};

std::string member(const std::string& where, const std::string& name) {
  return where.empty() ? name : where + "." + name;
}
std::string element(const std::string& where, size_t index) { return where + "[" + std::to_string(index) + "]"; }

// ---- writing record fields --------------------------------------------------

template <typename T>
void put(Bytes& record, uint16_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

// Mazovia text cut to `room` with its zero.
void putText(Bytes& record, const Field& f, const std::string& utf8) {
  std::string text = utf8ToMazovia(utf8);
  if (text.size() > static_cast<size_t>(f.room) - 1) text.resize(f.room - 1u);
  std::memset(record.data() + f.offset, 0, f.room);
  std::memcpy(record.data() + f.offset, text.data(), text.size());
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// "YYYY-MM-DD" as the host's "YYYYMMDD\0"; "" as nine zeros.
void putDate(const Reader& r, Bytes& record, const Field& f, const std::string& date, const std::string& where) {
  char host[layout::kDateSize] = {};
  if (!date.empty()) {
    bool form = date.size() == 10 && date[4] == '-' && date[7] == '-';
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) form = form && date[i] >= '0' && date[i] <= '9';
    if (!form) r.fail(where, "expected a date \"YYYY-MM-DD\" or \"\", got \"" + date + "\"");
    int year = std::stoi(date.substr(0, 4)), month = std::stoi(date.substr(5, 2)), day = std::stoi(date.substr(8, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool valid = year >= 1 && month >= 1 && month <= 12 && day >= 1 &&
                 day <= kDays[month - 1] + (month == 2 && leapYear(year) ? 1 : 0);
    if (!valid) r.fail(where, "no such date: \"" + date + "\"");
    std::memcpy(host, date.data(), 4);
    std::memcpy(host + 4, date.data() + 5, 2);
    std::memcpy(host + 6, date.data() + 8, 2);
  }
  std::memcpy(record.data() + f.offset, host, sizeof host);
}

void putField(const Reader& r, Bytes& record, const Field& f, const json& value, const std::string& where) {
  switch (f.kind) {
    case Kind::Text: putText(record, f, r.text(value, where)); break;
    case Kind::Money: {
      double stored = std::round(r.number(value, where) * 10000.0);
      if (!std::isfinite(stored)) r.fail(where, value.dump() + " is out of range");
      put(record, f.offset, stored);
      break;
    }
    case Kind::Quantity: {
      double stored = std::round(r.number(value, where) * 1000.0);
      if (stored < std::numeric_limits<int32_t>::min() || stored > std::numeric_limits<int32_t>::max())
        r.fail(where, value.dump() + " is out of range of a quantity");
      put(record, f.offset, static_cast<int32_t>(stored));
      break;
    }
    case Kind::Int16: put(record, f.offset, static_cast<int16_t>(r.integer(value, INT16_MIN, INT16_MAX, where))); break;
    case Kind::UInt16:
    case Kind::Word: put(record, f.offset, static_cast<uint16_t>(r.integer(value, 0, UINT16_MAX, where))); break;
    case Kind::Int32: put(record, f.offset, static_cast<int32_t>(r.integer(value, INT32_MIN, INT32_MAX, where))); break;
    case Kind::Date: putDate(r, record, f, r.text(value, where), where); break;
    case Kind::PaymentForm: {
      // The payment form code lives in bits 9 to 14 of its word.
      int64_t code = r.integer(value, -32, 31, where);
      uint16_t word;
      std::memcpy(&word, record.data() + f.offset, sizeof word);
      word = static_cast<uint16_t>((word & ~0x7E00u) | ((static_cast<uint16_t>(code) & 0x3Fu) << 9));
      put(record, f.offset, word);
      break;
    }
  }
}

std::vector<unsigned char> parseHex(const Reader& r, const std::string& hex, const std::string& where) {
  std::vector<unsigned char> bytes;
  int high = -1;
  for (char c : hex) {
    if (c == ' ' || c == '\t') {
      if (high >= 0) r.fail(where, "odd hex digit in \"" + hex + "\"");
      continue;
    }
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) r.fail(where, "not a hex digit: '" + std::string(1, c) + "'");
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<unsigned char>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) r.fail(where, "odd hex digit in \"" + hex + "\"");
  return bytes;
}

void putRawBytes(const Reader& r, Bytes& record, const json& patches, const std::string& where) {
  const json& list = r.array(patches, where);
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string at = element(where, i);
    const json& patch = r.object(list[i], at);
    for (auto it = patch.begin(); it != patch.end(); ++it)
      if (it.key() != "offset" && it.key() != "hex") r.unknown(member(at, it.key()));
    if (!patch.contains("offset")) r.fail(at, "offset missing");
    if (!patch.contains("hex")) r.fail(at, "hex missing");
    int64_t offset = r.integer(patch["offset"], 0, INT32_MAX, member(at, "offset"));
    std::vector<unsigned char> bytes = parseHex(r, r.text(patch["hex"], member(at, "hex")), member(at, "hex"));
    if (static_cast<uint64_t>(offset) + bytes.size() > record.size())
      r.fail(at, std::to_string(bytes.size()) + " bytes at offset " + std::to_string(offset) +
                     " do not fit in the record of " + std::to_string(record.size()) + " bytes");
    if (!bytes.empty()) std::memcpy(record.data() + offset, bytes.data(), bytes.size());
  }
}

// A record from a JSON object: its fields, then `extra` for the names that are
// not record fields (true when taken), then the raw bytes over it all.
template <typename Extra>
Bytes readRecord(const Reader& r, const json& value, const std::string& where, size_t size,
                 const std::vector<Field>& fields, Extra extra) {
  const json& object = r.object(value, where);
  Bytes record(size, 0);
  for (auto it = object.begin(); it != object.end(); ++it) {
    const std::string at = member(where, it.key());
    if (it.key() == "rawBytes" || it.key() == "FormaPlatnosciWord") continue;
    if (const Field* f = findField(fields, it.key()))
      putField(r, record, *f, it.value(), at);
    else if (!extra(it.key(), it.value(), at))
      r.unknown(at);
  }
  // The whole word outranks the payment form packed into it.
  if (object.contains("FormaPlatnosciWord")) {
    const Field* f = findField(fields, "FormaPlatnosciWord");
    if (!f) r.unknown(member(where, "FormaPlatnosciWord"));
    putField(r, record, *f, object["FormaPlatnosciWord"], member(where, "FormaPlatnosciWord"));
  }
  if (object.contains("rawBytes")) putRawBytes(r, record, object["rawBytes"], member(where, "rawBytes"));
  return record;
}

const auto kNoExtra = [](const std::string&, const json&, const std::string&) { return false; };

// ---- sections ---------------------------------------------------------------

Customer readCustomer(const Reader& r, const json& value, const std::string& where) {
  Customer c;
  c.record = readRecord(r, value, where, layout::Kontrahent::kSize, customerFields(),
                        [&](const std::string& key, const json& value, const std::string& at) {
                          if (key == "Id") {
                            c.id = static_cast<int32_t>(r.integer(value, INT32_MIN, INT32_MAX, at));
                          } else if (key == "attributes") {
                            const json& attrs = r.object(value, at);
                            for (auto it = attrs.begin(); it != attrs.end(); ++it) {
                              std::string v = utf8ToMazovia(r.text(it.value(), member(at, it.key())));
                              v.resize(std::min<size_t>(v.size(), layout::Attribute::Value.room - 1u));
                              c.attributes[utf8ToMazovia(it.key())] = v;
                            }
                          } else {
                            return false;
                          }
                          return true;
                        });
  return c;
}

void readCustomers(const Reader& r, const json& list, Database& db) {
  r.array(list, "customers");
  for (size_t i = 0; i < list.size(); ++i) db.customers.push_back(readCustomer(r, list[i], element("customers", i)));
}

void readGoods(const Reader& r, const json& list, Database& db) {
  r.array(list, "goods");
  for (size_t i = 0; i < list.size(); ++i) {
    Goods g;
    g.record = readRecord(r, list[i], element("goods", i), layout::Towar::kSize, goodsFields(),
                          [&](const std::string& key, const json& value, const std::string& at) {
                            if (key == "RefTowaru1")
                              g.ref1 = static_cast<uint16_t>(r.integer(value, 0, UINT16_MAX, at));
                            else if (key == "RefTowaru2")
                              g.ref2 = static_cast<uint16_t>(r.integer(value, 0, UINT16_MAX, at));
                            else
                              return false;
                            return true;
                          });
    db.goods.push_back(std::move(g));
  }
}

void readInvoices(const Reader& r, const json& list, Database& db) {
  r.array(list, "invoices");
  for (size_t i = 0; i < list.size(); ++i) {
    Invoice inv;
    const std::string where = element("invoices", i);
    inv.header = readRecord(r, list[i], where, layout::Tspr::kSize, invoiceFields(),
                            [&](const std::string& key, const json& value, const std::string& at) {
                              if (key != "lines") return false;
                              r.array(value, at);
                              for (size_t j = 0; j < value.size(); ++j)
                                inv.lines.push_back(readRecord(r, value[j], element(at, j), layout::Tspr_dok::kSize,
                                                               lineFields(), kNoExtra));
                              return true;
                            });
    db.invoices.push_back(std::move(inv));
  }
}

void readVatRates(const Reader& r, const json& rates, Database& db) {
  r.object(rates, "vatRates");
  for (auto it = rates.begin(); it != rates.end(); ++it) {
    const std::string at = member("vatRates", it.key());
    db.vatRates[r.digitsKey(it.key(), at)] = r.number(it.value(), at);
  }
}

void readMail(const Reader& r, const json& mail, Database& db) {
  r.object(mail, "mail");
  for (auto it = mail.begin(); it != mail.end(); ++it) {
    const std::string at = member("mail", it.key());
    if (it.key() == "server")
      db.mail.server = utf8ToMazovia(r.text(it.value(), at));
    else if (it.key() == "port")
      db.mail.port = static_cast<int32_t>(r.integer(it.value(), 0, 65535, at));
    else if (it.key() == "from")
      db.mail.from = utf8ToMazovia(r.text(it.value(), at));
    else if (it.key() == "fromName")
      db.mail.fromName = utf8ToMazovia(r.text(it.value(), at));
    else
      r.unknown(at);
  }
}

void readTables(const Reader& r, const json& tables, HostKnobs& knobs) {
  r.object(tables, "host.tables");
  for (auto it = tables.begin(); it != tables.end(); ++it) {
    const std::string at = member("host.tables", it.key());
    TableKnob& knob = knobs.tables[r.digitsKey(it.key(), at)];
    const json& t = r.object(it.value(), at);
    for (auto k = t.begin(); k != t.end(); ++k) {
      const std::string kat = member(at, k.key());
      if (k.key() == "recordLength") {
        knob.recordLength = static_cast<int32_t>(r.integer(k.value(), INT16_MIN, INT16_MAX, kat));
      } else if (k.key() == "lookups") {
        knob.lookups = static_cast<uint32_t>(r.integer(k.value(), 0, UINT32_MAX, kat));
      } else if (k.key() == "absent") {
        r.expect(k.value().is_boolean(), k.value(), "true or false", kat);
        knob.absent = k.value().get<bool>();
      } else {
        r.unknown(kat);
      }
    }
  }
}

// {"service": 51430, "code": "0xE0000001", "call": 2}: the code in hex, as
// Windows writes exception codes.
void readRaise(const Reader& r, const json& raise, HostKnobs& knobs) {
  r.object(raise, "host.raiseException");
  RaiseKnob knob;
  for (auto it = raise.begin(); it != raise.end(); ++it) {
    const std::string at = member("host.raiseException", it.key());
    if (it.key() == "service") {
      knob.service = static_cast<uint32_t>(r.integer(it.value(), 0, UINT32_MAX, at));
    } else if (it.key() == "call") {
      knob.call = static_cast<uint32_t>(r.integer(it.value(), 1, UINT32_MAX, at));
    } else if (it.key() == "code") {
      std::string hex = r.text(it.value(), at);
      if (hex.size() < 3 || hex.size() > 10 || hex.compare(0, 2, "0x") != 0 ||
          hex.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
        r.fail(at, "expected a code such as \"0xE0000001\", got " + it.value().dump());
      knob.code = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
    } else {
      r.unknown(at);
    }
  }
  knobs.raiseException = knob;
}

void readHost(const Reader& r, const json& host, HostKnobs& knobs) {
  r.object(host, "host");
  for (auto it = host.begin(); it != host.end(); ++it) {
    const std::string at = member("host", it.key());
    const json& v = it.value();
    if (it.key() == "missingServices") {
      r.array(v, at);
      for (size_t i = 0; i < v.size(); ++i)
        knobs.missingServices.push_back(static_cast<uint32_t>(r.integer(v[i], 0, UINT32_MAX, element(at, i))));
    } else if (it.key() == "features") {
      knobs.features = static_cast<int32_t>(r.integer(v, INT32_MIN, INT32_MAX, at));
    } else if (it.key() == "interfaceVersion") {
      knobs.interfaceVersion = static_cast<int32_t>(r.integer(v, INT32_MIN, INT32_MAX, at));
    } else if (it.key() == "acceptText") {
      if (v.is_null())
        knobs.acceptText.reset();
      else
        knobs.acceptText = utf8ToMazovia(r.text(v, at));
    } else if (it.key() == "tables") {
      readTables(r, v, knobs);
    } else if (it.key() == "failOpen" || it.key() == "fullDisk") {
      auto& paths = it.key() == "failOpen" ? knobs.failOpen : knobs.fullDisk;
      r.array(v, at);
      for (size_t i = 0; i < v.size(); ++i) paths.push_back(utf8ToMazovia(r.text(v[i], element(at, i))));
    } else if (it.key() == "failAllocationSize") {
      knobs.failAllocationSize = static_cast<uint32_t>(r.integer(v, 0, UINT32_MAX, at));
    } else if (it.key() == "raiseException") {
      readRaise(r, v, knobs);
    } else if (it.key() == "failAllocationCall") {
      knobs.failAllocationCall = static_cast<uint32_t>(r.integer(v, 0, UINT32_MAX, at));
    } else if (it.key() == "failOpenCall") {
      knobs.failOpenCall = static_cast<uint32_t>(r.integer(v, 0, UINT32_MAX, at));
    } else if (it.key() == "failWriteCall") {
      knobs.failWriteCall = static_cast<uint32_t>(r.integer(v, 0, UINT32_MAX, at));
    } else if (it.key() == "failCloseCall") {
      knobs.failCloseCall = static_cast<uint32_t>(r.integer(v, 0, UINT32_MAX, at));
    } else {
      r.unknown(at);
    }
  }
}

// ---- writing back -----------------------------------------------------------

// The text of a record field, up to its zero or the end of its room.
std::string fieldText(const Bytes& record, const Field& f) {
  const char* start = record.data() + f.offset;
  const void* zero = std::memchr(start, 0, f.room);
  return std::string(start, zero ? static_cast<const char*>(zero) : start + f.room);
}

int64_t customerId(const json& entry) {
  auto id = entry.find("Id");
  return id != entry.end() && id->is_number() ? id->get<int64_t>() : 0;
}

json* findCustomer(json& document, int32_t id) {
  if (!document.is_object() || !document.contains("customers") || !document["customers"].is_array()) return nullptr;
  for (json& c : document["customers"])
    if (c.is_object() && customerId(c) == id) return &c;
  return nullptr;
}

// What one process changed in a customer: field texts (UTF-8) by field name,
// attribute values by their names (both Mazovia).
struct CustomerChange {
  std::vector<std::pair<std::string, std::string>> fields;
  std::vector<std::pair<std::string, std::string>> attributes;
  bool empty() const { return fields.empty() && attributes.empty(); }
};

void applyChange(json& entry, const CustomerChange& change) {
  for (const auto& [name, value] : change.fields) entry[name] = value;
  if (change.attributes.empty()) return;
  json& attrs = entry["attributes"];
  if (!attrs.is_object()) attrs = json::object();
  for (const auto& [key, value] : change.attributes) {
    std::string jsonKey = mazoviaToUtf8(key);
    for (auto it = attrs.begin(); it != attrs.end(); ++it)
      if (utf8ToMazovia(it.key()) == key) {
        jsonKey = it.key();  // the file's own spelling of the name
        break;
      }
    attrs[jsonKey] = mazoviaToUtf8(value);
  }
}

// A file without write permission is refused even where root could write it.
void refuseReadOnly(const std::string& path, const std::string& target) {
#if defined(_WIN32)
  bool writable = _access(target.c_str(), 2) == 0;
#else
  struct stat st;
  bool writable = stat(target.c_str(), &st) == 0 && (st.st_mode & 0222) != 0 && access(target.c_str(), W_OK) == 0;
#endif
  if (!writable) throw DatabaseError(path + ": plik jest tylko do odczytu");
}

// Other processes may write the database too, each its own customer's
// change: the change is made to the file as it is now, read under its lock,
// so that theirs are kept. The file is written anew beside itself, flushed
// to the disk and put in its place in one step, so that a reader or a crash
// sees the old file or the new one. A link is written through to the file
// it names and stays a link.
void writeChange(const std::string& path, int32_t id, const CustomerChange& change) {
  const std::string target = fileBehind(path);
  refuseReadOnly(path, target);
  FileLock lock(target);
  if (!lock.held()) throw DatabaseError(path + ": nie można zablokować pliku");
  std::string text;
  if (!readUtf8File(target, text)) throw DatabaseError(path + ": nie można odczytać pliku");
  json document = parseDatabase(text, path).document;
  json* entry = findCustomer(document, id);
  if (!entry) throw DatabaseError(path + ": no customer with Id " + std::to_string(id) + " to save");
  applyChange(*entry, change);
  if (!replaceFileContent(target, document.dump(2) + "\n")) throw DatabaseError(path + ": nie można zapisać pliku");
}

}  // namespace

int32_t Invoice::id() const {
  int32_t id = 0;
  if (header.size() >= layout::Tspr::kSize)
    std::memcpy(&id, header.data() + layout::Tspr::IdDokumentu.offset, sizeof id);
  return id;
}

std::string Invoice::number() const {
  if (header.size() < layout::Tspr::kSize) return std::string();
  return fieldText(header, field("NrFaktury", layout::Tspr::NrFaktury));
}

Database parseDatabase(const std::string& jsonText, const std::string& pathForMessages) {
  Reader r(pathForMessages);
  Database db;
  try {
    db.document = json::parse(jsonText);
  } catch (const json::parse_error& e) {
    // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." without its tag.
    std::string what = e.what();
    size_t tag = what.find("] ");
    r.fail("", "invalid JSON: " + (tag == std::string::npos ? what : what.substr(tag + 2)));
  }
  const json& doc = r.object(db.document, "the top level");

  db.company = Bytes(layout::Firma::kSize, 0);
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    const std::string& key = it.key();
    if (key == "company")
      db.company = readRecord(r, it.value(), "company", layout::Firma::kSize, companyFields(), kNoExtra);
    else if (key == "vatRates")
      readVatRates(r, it.value(), db);
    else if (key == "customers")
      readCustomers(r, it.value(), db);
    else if (key == "goods")
      readGoods(r, it.value(), db);
    else if (key == "invoices")
      readInvoices(r, it.value(), db);
    else if (key == "mail")
      readMail(r, it.value(), db);
    else if (key == "host")
      readHost(r, it.value(), db.knobs);
    else
      r.unknown(key);
  }
  return db;
}

Database loadDatabase(const std::string& path) {
  std::string text;
  if (!readUtf8File(path, text)) throw DatabaseError(path + ": cannot read the file");
  Database db = parseDatabase(text, path);
  db.path = path;
  return db;
}

void saveCustomer(Database& db, const Customer& customer) {
  const std::string name = db.path.empty() ? std::string("database") : db.path;
  json* entry = findCustomer(db.document, customer.id);
  if (!entry) throw DatabaseError(name + ": no customer with Id " + std::to_string(customer.id) + " to save");
  if (customer.record.size() < layout::Kontrahent::kSize)
    throw DatabaseError(name + ": customer " + std::to_string(customer.id) + " has a short record");

  // Only what the record changed against the file as this process loaded it
  // is written: every other field keeps the file's own form (a text that the
  // load cut, turned to '?' or had bytes laid over) or another process's
  // change, and a record with no change leaves the file as it is.
  const Customer loaded = readCustomer(Reader(name), *entry, "customer " + std::to_string(customer.id));
  CustomerChange change;
  for (const Field& f : customerFields()) {
    std::string now = fieldText(customer.record, f);
    if (now != fieldText(loaded.record, f)) change.fields.emplace_back(f.name, mazoviaToUtf8(now));
  }
  for (const auto& [key, value] : customer.attributes) {
    auto was = loaded.attributes.find(key);
    if (was == loaded.attributes.end() || was->second != value) change.attributes.emplace_back(key, value);
  }
  if (change.empty()) return;
  if (!db.path.empty()) writeChange(db.path, customer.id, change);
  // The document keeps the change only once the file has it.
  applyChange(*entry, change);
}

}  // namespace welkor
