#include "export/register_hook.h"

#include <cstring>

#include "data/records.h"
#include "export/dispatcher.h"
#include "export/registration.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "export/layer.h"

namespace kw::exporting::hook {

namespace {

HostTable* g_held = nullptr;
KeyHandler g_previous = nullptr;
SizeMismatch g_tsprEntry = {layout::Tspr::kSize, 0, "Tspr", nullptr};

}  // namespace

int32_t install() {
  if (g_held) return 0;
  HostTable* t = svc::tableObject(hostabi::kInvoiceTable);
  if (t && table::recordLength(t) == layout::Tspr::kSize) {
    g_previous = table::keyHandler(t);
    table::setKeyHandler(t, &registerHook);
    g_held = t;
    return 0;
  }
  g_tsprEntry.found = t ? table::recordLength(t) : 0;
  appendMismatch(&g_tsprEntry);
  return -1;
}

int32_t remove() {
  if (g_held) {
    table::setKeyHandler(g_held, g_previous);
    g_held = nullptr;
  }
  return 0;
}

int32_t KW_CDECL registerHook(intptr_t key, intptr_t registerValue, intptr_t own3, intptr_t rows, intptr_t own5,
                              intptr_t tableObject, intptr_t own7, intptr_t own8, intptr_t own9, intptr_t own10,
                              intptr_t refreshFlag) {
  KeyHandler previous = g_previous;
  auto passOn = [&] {
    return previous ? previous(key, registerValue, own3, rows, own5, tableObject, own7, own8, own9, own10, refreshFlag)
                    : 0;
  };
  if (key != hostabi::kKeyCtrlF3) return passOn();
  auto* t = reinterpret_cast<HostTable*>(tableObject);
  svc::prepareTable(t, hostabi::kPrepareRegister);
  int32_t row = table::position(t, layout::TableObject::CursorRow) -
                table::position(t, layout::TableObject::WindowStart) +
                table::position(t, layout::TableObject::FirstShownRow);
  // A row the host cannot give (no row array, a row before it, an empty
  // entry, no current-record buffer) is not an invoice to export.
  auto* rowArray = reinterpret_cast<char* const*>(rows);
  char* record = rowArray && row >= 0 ? rowArray[row] : nullptr;
  char* current = table::currentRecord(t);
  if (!record || !current) return passOn();
  std::memcpy(current, record, layout::Tspr::kSize);
  int32_t code = exportDispatcher(record, static_cast<int16_t>(registerValue), reinterpret_cast<int16_t*>(refreshFlag));
  if (code == hostabi::kCommandToHost) return passOn();
  return 0;
}

}  // namespace kw::exporting::hook
