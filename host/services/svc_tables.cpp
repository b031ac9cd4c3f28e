// Host services: tables.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "data/records.h"
#include "frame/host_constants.h"
#include "host_state.h"
#include "service_impl.h"
#include "structured_exception.h"
#include "tables.h"
#include "plugin_names.h"

using namespace welkor;

namespace {

constexpr int32_t kCompanyTable = 59;
constexpr int32_t kAttributeGroup = 431;
constexpr int32_t kReadMode = -1;
constexpr int32_t kWriteMode = 0;

int32_t g_customerSearchNumber = 0;

Customer* customerById(int32_t id) {
  for (Customer& c : state().db.customers)
    if (c.id == id) return &c;
  return nullptr;
}

// A text that the caller handed in, read no further than its room.
std::string boundedText(const char* p, size_t room) {
  const void* zero = std::memchr(p, '\0', room);
  return std::string(p, zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : room - 1);
}

// Writes the customer back into the database file; a failure is the host's
// own message, and the write does not count as done.
bool save(Customer& customer) {
  try {
    saveCustomer(state().db, customer);
    return true;
  } catch (const std::exception& e) {
    showHostMessage(std::string("Nie udało się zapisać zmian w bazie danych:\n") + e.what());
    return false;
  }
}

void copyRecord(char* to, const Bytes& from, size_t size) {
  size_t n = std::min(from.size(), size);
  std::memcpy(to, from.data(), n);
  std::memset(to + n, 0, size - n);
}

}  // namespace

// tableObject
HostTable* WELKOR_SERVICE(52256, tableObject)(int32_t number) {
  Table* t = tables().find(number);
  if (!t || t->lookupsLeft == 0u) return nullptr;
  if (t->lookupsLeft) --*t->lookupsLeft;
  return &t->object;
}

// prepareTable
// The host's tables are always ready for reading; mode 0x6A brings the
// register's window up to date, which it always is here.
// The register is brought up to date (0x6A) by its key handler before the
// export dialog; every table read after it is prepared for reading (255).
int32_t WELKOR_SERVICE(52465, prepareTable)(HostTable* table, int32_t mode) {
  Table* t = tables().fromObject(table);
  const HostState& s = state();
  const bool isRegister = t && t->number == hostabi::kInvoiceTable;
  bool right = mode == hostabi::kPrepareForReading || (isRegister && mode == hostabi::kPrepareRegister);
  // Within a key press the host knows which of the two is due.
  if (s.inKeyPress)
    right = mode == (isRegister && !s.exportDialogRan ? hostabi::kPrepareRegister : hostabi::kPrepareForReading);
  if (!right)
    protocolError(52465, "table " + std::to_string(t ? t->number : -1) + " prepared with mode " + std::to_string(mode));
  return t ? 1 : 0;
}

// loadCurrentRecord
// Only the company table has a record to load: the database's one company.
int32_t WELKOR_SERVICE(52466, loadCurrentRecord)(int32_t, HostTable* table) {
  Table* t = tables().fromObject(table);
  if (!t || t->number != kCompanyTable) return 0;
  copyRecord(t->current.data(), state().db.company, std::min<size_t>(t->current.size(), layout::Firma::kSize));
  return 1;
}

// customerSearchKey
int32_t* WELKOR_SERVICE(52260, customerSearchKey)() { return &g_customerSearchNumber; }

// lookupCustomer
int32_t WELKOR_SERVICE(52352, lookupCustomer)(int32_t mode) {
  if (mode != -1) return 0;
  const Customer* c = customerById(g_customerSearchNumber);
  Table* t = tables().find(hostabi::kCustomerTable);
  if (!c || !t) return 0;
  copyRecord(t->current.data(), c->record, layout::Kontrahent::kSize);
  return 1;
}

// customerRecord
int32_t WELKOR_SERVICE(52480, customerRecord)(char* record, int32_t mode, int32_t number, int32_t) {
  raiseIfChosen(52480);
  Customer* c = customerById(number);
  if (!c || !record) return 0;
  if (mode == kReadMode) {
    copyRecord(record, c->record, layout::Kontrahent::kSize);
    return 1;
  }
  if (mode != kWriteMode) return 0;
  Bytes previous = c->record;
  c->record.assign(record, record + layout::Kontrahent::kSize);
  if (save(*c)) return 1;
  c->record = std::move(previous);
  return 0;
}

// readAttribute
int32_t WELKOR_SERVICE(52350, readAttribute)(int32_t, int32_t number, int32_t, int32_t group, const char* name,
                                             char* record, int32_t) {
  const Customer* c = customerById(number);
  if (!c || !name || !record || group != kAttributeGroup) return -1;
  std::string wanted = boundedText(name, layout::Attribute::Name.room);
  auto found = c->attributes.find(wanted);
  if (found == c->attributes.end()) return -1;
  std::memset(record, 0, layout::Attribute::kSize);
  rec::store<int32_t>(record, layout::Attribute::RecordNumber.offset, number);
  std::memcpy(rec::field(record, layout::Attribute::Name), wanted.data(), wanted.size());
  size_t n = std::min<size_t>(found->second.size(), layout::Attribute::Value.room - 1u);
  std::memcpy(rec::field(record, layout::Attribute::Value), found->second.data(), n);
  return 0;
}

// writeAttribute
int32_t WELKOR_SERVICE(52351, writeAttribute)(int32_t, int32_t group, char* record) {
  if (record && (rec::get(record, layout::Attribute::WordA) != hostabi::kAttributeWordA ||
                 rec::get(record, layout::Attribute::WordB) != hostabi::kAttributeWordB))
    protocolError(52351, "an attribute is written with the words 1 and 2");
  if (!record || group != kAttributeGroup) return -1;
  Customer* c = customerById(rec::get(record, layout::Attribute::RecordNumber));
  std::string name = boundedText(rec::field(record, layout::Attribute::Name), layout::Attribute::Name.room);
  if (!c || name.empty()) return -1;
  std::string value = boundedText(rec::field(record, layout::Attribute::Value), layout::Attribute::Value.room);
  auto existing = c->attributes.find(name);
  std::optional<std::string> previous;
  if (existing != c->attributes.end()) previous = existing->second;
  c->attributes[name] = value;
  if (save(*c)) return 0;
  if (previous)
    c->attributes[name] = *previous;
  else
    c->attributes.erase(name);
  return -1;
}

// lookupGoods
int32_t WELKOR_SERVICE(52598, lookupGoods)(int32_t, int32_t ref1, int32_t ref2, char* buffer, int32_t) {
  if (!buffer) return 0;
  for (const Goods& g : state().db.goods)
    if (g.ref1 == ref1 && g.ref2 == ref2) {
      copyRecord(buffer, g.record, layout::Towar::kSize);
      return 1;
    }
  return 0;
}
