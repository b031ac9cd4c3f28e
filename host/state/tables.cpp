#include "tables.h"

#include <cstring>

#include "data/record_layout.h"
#include "host_state.h"
#include "plugin_names.h"

namespace welkor {

namespace {

template <typename T>
void put(HostTable& t, size_t offset, T value) {
  std::memcpy(t.bytes + offset, &value, sizeof value);
}

template <typename T>
T get(const HostTable* t, size_t offset) {
  T value;
  std::memcpy(&value, t->bytes + offset, sizeof value);
  return value;
}

struct Definition {
  int32_t number;
  int32_t recordLength;
};
// Customers, invoice headers, invoice lines, k9, company data.
const Definition kDefinitions[] = {{35, layout::Kontrahent::kSize},
                                   {44, layout::Tspr::kSize},
                                   {45, layout::Tspr_dok::kSize},
                                   {49, 1024},
                                   {59, layout::Firma::kSize}};

// The register's browse window: rows from 100 on, the third one shown first.
constexpr int32_t kWindowStart = 100;
constexpr int32_t kFirstShown = 2;

}  // namespace

Tables& tables() {
  static Tables t;
  return t;
}

void Tables::open(const Database& db) {
  tables_.clear();
  rows_.clear();
  hostKeyCalls_.clear();
  for (const Definition& d : kDefinitions) {
    auto knob = db.knobs.tables.find(d.number);
    if (knob != db.knobs.tables.end() && knob->second.absent) continue;
    int32_t length = d.recordLength;
    if (knob != db.knobs.tables.end() && knob->second.recordLength) length = *knob->second.recordLength;
    auto table = std::make_unique<Table>();
    table->number = d.number;
    if (knob != db.knobs.tables.end()) table->lookupsLeft = knob->second.lookups;
    // The buffer holds the real record whatever length the knob reports.
    table->current.assign(static_cast<size_t>(length > d.recordLength ? length : d.recordLength), 0);
    put<int16_t>(table->object, layout::TableObject::RecordLength, static_cast<int16_t>(length));
    put<char*>(table->object, layout::TableObject::CurrentRecord, table->current.data());
    tables_[d.number] = std::move(table);
  }
  if (Table* customers = find(hostabi::kCustomerTable); customers && !db.customers.empty())
    std::memcpy(customers->current.data(), db.customers.front().record.data(), layout::Kontrahent::kSize);
  if (Table* company = find(hostabi::kCompanyTable); company && !db.company.empty())
    std::memcpy(company->current.data(), db.company.data(), layout::Firma::kSize);
  for (const Invoice& invoice : db.invoices) rows_.push_back(const_cast<char*>(invoice.header.data()));
  rows_.push_back(nullptr);  // the window's row after the last invoice is empty
  if (Table* reg = find(hostabi::kInvoiceTable)) {
    put<KeyHandler>(reg->object, layout::TableObject::KeyHandler, &hostRegisterKeyHandler);
    putCursor(0);
  }
}

HostTable* Tables::object(int32_t number) {
  Table* t = find(number);
  return t ? &t->object : nullptr;
}

Table* Tables::find(int32_t number) {
  auto it = tables_.find(number);
  return it == tables_.end() ? nullptr : it->second.get();
}

Table* Tables::fromObject(HostTable* object) {
  for (auto& entry : tables_)
    if (&entry.second->object == object) return entry.second.get();
  return nullptr;
}

void Tables::putCursor(size_t invoiceIndex) { putCursor(invoiceIndex, kFirstShown); }

void Tables::putCursor(size_t invoiceIndex, size_t firstShown) {
  Table* reg = find(hostabi::kInvoiceTable);
  if (!reg) return;
  put<int32_t>(reg->object, layout::TableObject::WindowStart, kWindowStart);
  put<int32_t>(reg->object, layout::TableObject::FirstShownRow, static_cast<int32_t>(firstShown));
  put<int32_t>(reg->object, layout::TableObject::CursorRow,
               kWindowStart + static_cast<int32_t>(invoiceIndex) - static_cast<int32_t>(firstShown));
}

int16_t recordLengthOf(const HostTable* t) { return get<int16_t>(t, layout::TableObject::RecordLength); }
char* currentRecordOf(const HostTable* t) { return get<char*>(t, layout::TableObject::CurrentRecord); }
KeyHandler keyHandlerOf(const HostTable* t) { return get<KeyHandler>(t, layout::TableObject::KeyHandler); }

int32_t pressRegisterKey(uint16_t key, int16_t* refreshFlag) {
  state().exportDialogRan = false;
  state().inKeyPress = true;
  struct Done {
    ~Done() { state().inKeyPress = false; }
  } done;
  Table* reg = tables().find(hostabi::kInvoiceTable);
  KeyHandler handler = keyHandlerOf(&reg->object);
  // The register value and the filler arguments are the register's own,
  // each distinct so that a hook that mixes them up is seen.
  constexpr intptr_t kRegisterValue = 7;
  tables().pressed() = {key,
                        kRegisterValue,
                        0x3003,
                        reinterpret_cast<intptr_t>(tables().rows()),
                        0x5005,
                        reinterpret_cast<intptr_t>(&reg->object),
                        0x7007,
                        0x8008,
                        0x9009,
                        0xA00A,
                        reinterpret_cast<intptr_t>(refreshFlag)};
  const auto& a = tables().pressed();
  return handler(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10]);
}

int32_t KW_CDECL hostRegisterKeyHandler(intptr_t key, intptr_t registerValue, intptr_t own3, intptr_t rows,
                                        intptr_t own5, intptr_t tableObject, intptr_t own7, intptr_t own8,
                                        intptr_t own9, intptr_t own10, intptr_t refreshFlag) {
  KeyCall call{{key, registerValue, own3, rows, own5, tableObject, own7, own8, own9, own10, refreshFlag}, {}};
  // A key the plug-in passes on reaches the register as it was pressed.
  if (state().inKeyPress && call.args != tables().pressed())
    protocolError(30001, "the register's key handler receives other arguments than the key press gave");
  if (Table* reg = tables().find(hostabi::kInvoiceTable)) call.currentInvoice = reg->current;
  tables().hostKeyCalls().push_back(std::move(call));
  return 0x4B;  // the host's own answer, passed back by the plug-in
}

}  // namespace welkor
