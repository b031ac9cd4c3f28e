// The front end's commands.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"
#include "frame/host_constants.h"
#include "host_state.h"
#include "keys.h"
#include "mazovia.h"
#include "plugin_loader.h"
#include "service_impl.h"
#include "structured_exception.h"
#include "tables.h"
#include "plugin_names.h"

namespace welkor {

namespace {

typedef int32_t(KW_CDECL* RegisterFn)(FeatureEntry, char*);
typedef int32_t(KW_CDECL* ReportFn)(int32_t);
typedef int32_t(KW_CDECL* Forward1Fn)();
typedef int32_t(KW_CDECL* Forward2Fn)(int32_t);

// The front end's status when a structured exception reached it.
constexpr int kStructuredExceptionStatus = 4;

template <typename F>
F exportOf(void* plugin, uint32_t ordinal) {
  return reinterpret_cast<F>(pluginExport(plugin, ordinal));
}

// Registers the plug-in; prints the result and the title. 0 when registered.
int registerPlugin(void* plugin, bool quiet = false) {
  Registration r = registerSilently(plugin);
  if (r.status == 2) return 2;
  if (!quiet || r.result != 0) std::printf("register: %d\ntitle: %s\n", r.result, r.title.c_str());
  std::fflush(stdout);
  return r.status;
}

// The register's row of an invoice: by IdDokumentu when the text is all
// digits and such an invoice exists, else by NrFaktury as written.
bool findInvoice(const std::string& wanted, size_t& index) {
  const auto& invoices = state().db.invoices;
  bool digits = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
  if (digits) {
    for (size_t i = 0; i < invoices.size(); ++i)
      if (std::to_string(invoices[i].id()) == wanted) return index = i, true;
  }
  for (size_t i = 0; i < invoices.size(); ++i)
    if (mazoviaToUtf8(invoices[i].number()) == wanted) return index = i, true;
  return false;
}

struct KeyPress {
  uint16_t key;
  int16_t refreshFlag = 0;
  int32_t result = 0;
};

void callKeyHandler(void* context) {
  auto* p = static_cast<KeyPress*>(context);
  p->result = pressRegisterKey(p->key, &p->refreshFlag);
}

// What the plug-in must leave as it found it however the key handler ended:
// the customer table's current record, no print-output object alive (the
// host's printing would stay redirected), no diagnostic scope open.
void checkLeftAsFound(const Bytes& customerBefore) {
  const Table* customers = tables().find(hostabi::kCustomerTable);
  if (customers && customers->current != customerBefore) std::printf("WELKOR: the customer record was not put back\n");
  if (size_t live = livePrintObjects()) std::printf("WELKOR: %zu print-output object(s) not disposed\n", live);
  std::vector<std::string> entered;
  for (const std::string& entry : state().scopeLog) {
    if (entry.rfind("enter ", 0) == 0) entered.push_back(entry.substr(6));
    if (entry.rfind("leave ", 0) == 0 && !entered.empty()) entered.pop_back();
  }
  for (const std::string& name : entered) std::printf("WELKOR: diagnostic scope %s not left\n", name.c_str());
}

// Presses a key in the sales-invoice register with the cursor on an invoice,
// as the host does: through the key handler in the table object.
int pressKey(void* plugin, const std::string& invoice, uint16_t key) {
  size_t index = 0;
  if (!findInvoice(invoice, index)) {
    std::fprintf(stderr, "welkor: no invoice %s in the database\n", invoice.c_str());
    return 2;
  }
  int registered = registerPlugin(plugin, true);
  if (registered != 0) return registered;
  Table* reg = tables().find(hostabi::kInvoiceTable);
  if (!reg) {
    std::fprintf(stderr, "welkor: the database has no sales-invoice register (table 44)\n");
    return 2;
  }
  tables().putCursor(index);
  KeyPress press{key};
  const Table* customers = tables().find(hostabi::kCustomerTable);
  const Bytes customerBefore = customers ? customers->current : Bytes();
  // The register calls its key handler inside its own exception handler.
  uint32_t code = 0;
  bool returned = callCatchingStructured(&callKeyHandler, &press, code);
  if (returned)
    std::printf("key 0x%04X: handler returned %d, refresh flag %d\n", key, press.result, press.refreshFlag);
  else
    std::printf("key 0x%04X: structured exception 0x%08X reached the host\n", key, code);
  for (const KeyCall& call : tables().hostKeyCalls())
    std::printf("host handler received key 0x%04X\n", static_cast<unsigned>(call.args[0]));
  checkLeftAsFound(customerBefore);
  return returned ? 0 : kStructuredExceptionStatus;
}

}  // namespace

Registration registerSilently(void* plugin) {
  Registration r;
  auto reg = exportOf<RegisterFn>(plugin, kExportRegister);
  if (!reg) {
    std::fprintf(stderr, "welkor: the plug-in has no export %u\n", kExportRegister);
    return r;
  }
  char title[256] = {};
  r.result = reg(&welkor_feature_entry, title);
  // A refused plug-in must not stay in the register's key handling.
  const Table* invoices = tables().find(hostabi::kInvoiceTable);
  if (r.result != 0 && invoices && keyHandlerOf(&invoices->object) != &hostRegisterKeyHandler)
    protocolError(30001, "a refused registration leaves the plug-in's key handler in the register");
  r.title = mazoviaToUtf8(title);
  r.status = r.result == 0 ? 0 : 1;
  return r;
}

// The load report (export 30008 with 1) first tells the host through the
// feature entry that a report is shown.
bool showLoadReport(void* plugin) {
  auto report = exportOf<ReportFn>(plugin, kExportLoadReport);
  if (!report) return false;
  const size_t before = state().featureCalls.size();
  report(1);
  const auto& calls = state().featureCalls;
  if (calls.size() == before || calls[before] != std::make_pair(hostabi::kFeatureSet, hostabi::kFeatureReport))
    protocolError(30006, "the load report begins with the feature call (1, -1)");
  return true;
}

int runCommand(void* plugin, const std::vector<std::string>& args) {
  const std::string& name = args[0];
  if (name == "forwarders") {
    auto f1 = exportOf<Forward1Fn>(plugin, kExportForward1);
    auto f2 = exportOf<Forward2Fn>(plugin, kExportForward2);
    if (!f1 || !f2) return 2;
    std::printf("30009: %d\n30010: %d\n", f1(), f2(7));
    return 0;
  }
  if (name == "register") return registerPlugin(plugin);
  if (name == "browse" && args.size() == 1) return browse(plugin);
  if (name == "report" && args.size() <= 2) {
    // "report 2": the host tries the registration again before the report.
    int times = args.size() == 2 ? std::atoi(args[1].c_str()) : 1;
    if (times < 1 || times > 9) {
      std::fprintf(stderr, "welkor: report takes a count of registrations from 1 to 9\n");
      return 2;
    }
    int registered = 0;
    for (int i = 0; i < times && registered != 2; ++i) registered = registerPlugin(plugin);
    if (registered == 2) return 2;
    if (!showLoadReport(plugin)) return 2;
    return registered;
  }
  if (name == "load-report") {
    if (!showLoadReport(plugin)) return 2;
    return 0;
  }
  if (name == "unregister") {
    int registered = registerPlugin(plugin);
    if (registered == 2) return 2;
    auto reg = exportOf<RegisterFn>(plugin, kExportRegister);
    std::printf("unregister: %d\n", reg(nullptr, nullptr));
    // The register gets its own key handler back.
    const Table* invoices = tables().find(hostabi::kInvoiceTable);
    if (invoices && keyHandlerOf(&invoices->object) != &hostRegisterKeyHandler)
      protocolError(30001, "unregistering leaves the plug-in's key handler in the register");
    return 0;
  }
  if (name == "export" && args.size() == 2) return pressKey(plugin, args[1], hostabi::kKeyCtrlF3);
  if (name == "key" && args.size() == 3) {
    uint16_t key = 0;
    if (!keyCode(args[2], key)) {
      std::fprintf(stderr, "welkor: unknown key %s\n", args[2].c_str());
      return 2;
    }
    return pressKey(plugin, args[1], key);
  }
  std::fprintf(stderr, "welkor: unknown command or wrong arguments: %s\n", name.c_str());
  return 2;
}

}  // namespace welkor
