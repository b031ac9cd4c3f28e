// Host services: printing. A print-output object lives in the caller's
// storage; the host keeps its job under the object's address. While a job is
// set up for a file, printed invoices go into it; disposing of the object
// writes the file.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "data/record_layout.h"
#include "data/records.h"
#include "host_state.h"
#include "mazovia.h"
#include "printing.h"
#include "search_key.h"
#include "service_impl.h"
#include "structured_exception.h"
#include "tables.h"
#include "plugin_names.h"

using namespace welkor;

namespace {

// Key definitions of the printouts: one per register value.
constexpr int32_t kKeyDefinitionBase = 800;

struct Jobs {
  std::map<const void*, PrintJob> byObject;
  const void* current = nullptr;  // the job that printing goes into
};

Jobs& jobs() {
  static Jobs j;
  return j;
}

int16_t g_keyValueA = 0;
int16_t g_keyValueB = 0;

std::string formatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatString(format, args);
  va_end(args);
  return text;
}

void logCall(const std::string& call, PrintJob* job) {
  printLog().push_back(call);
  if (job) job->calls.push_back(call);
}

PrintJob* jobOf(const void* object) {
  auto it = jobs().byObject.find(object);
  return it == jobs().byObject.end() ? nullptr : &it->second;
}

PrintJob* currentJob() { return jobs().current ? jobOf(jobs().current) : nullptr; }

const Invoice* invoiceUnderKey(int32_t keyDefinition, const char* key) {
  SearchKey parsed;
  if (!parseSearchKey(key, parsed) || parsed.definition != keyDefinition) return nullptr;
  for (const Invoice& invoice : state().db.invoices)
    if (invoice.id() == parsed.number) return &invoice;
  return nullptr;
}

}  // namespace

namespace welkor {

std::vector<std::string>& printLog() {
  static std::vector<std::string> log;
  return log;
}

size_t livePrintObjects() { return jobs().byObject.size(); }

}  // namespace welkor

// printKeyDefinition
int32_t WELKOR_SERVICE(52003, printKeyDefinition)(int32_t registerValue) { return kKeyDefinitionBase + registerValue; }

// printObjectConstruct: a new object replaces whatever was left at its address.
void* KW_THISCALL WELKOR_SERVICE(22892, printObjectConstruct)(void* self) {
  if (!self) return nullptr;
  if (jobs().current == self) jobs().current = nullptr;
  jobs().byObject[self] = PrintJob{};
  logCall("22892 construct", jobOf(self));
  return self;
}

// printObjectDispose: completes the job's file when anything was printed.
void KW_THISCALL WELKOR_SERVICE(22894, printObjectDispose)(void* self) {
  PrintJob* job = jobOf(self);
  logCall(job ? "22894 dispose" : "22894 dispose (not constructed)", job);
  if (!job) return;
  if (!job->printed.empty() && !writePrintout(*job))
    showHostMessage("Nie udało się zapisać wydruku do pliku " + mazoviaToUtf8(job->path));
  if (jobs().current == self) jobs().current = nullptr;
  jobs().byObject.erase(self);
}

// printTarget: output into a file; mode 0x5600 is the file output. The
// references that the set-up hands on are the object's own address.
void* KW_THISCALL WELKOR_SERVICE(22900, printTarget)(void* self, int32_t mode, const char* path, int32_t a, int32_t b,
                                                     int32_t c, int32_t d, int32_t e) {
  PrintJob* job = jobOf(self);
  logCall(formatted("22900 target 0x%X %s %d %d %d %d %d", static_cast<unsigned>(mode), path ? path : "(null)", a, b, c,
                    d, e),
          job);
  if (!job || !path || mode != 0x5600) return nullptr;
  job->path = path;
  state().printTarget = hostPath(path);
  return self;
}

// printTargetOpen
void* KW_THISCALL WELKOR_SERVICE(22935, printTargetOpen)(void* reference) {
  PrintJob* job = jobOf(reference);
  logCall("22935 open", job);
  return job ? reference : nullptr;
}

// printTargetStart: printing goes into this job from now on.
void* KW_THISCALL WELKOR_SERVICE(22934, printTargetStart)(void* reference) {
  PrintJob* job = jobOf(reference);
  logCall("22934 start", job);
  if (!job || job->path.empty()) return nullptr;
  jobs().current = reference;
  return reference;
}

// printKeyValueA: the key that the printout dialog is answered with.
int16_t* WELKOR_SERVICE(52262, printKeyValueA)() {
  logCall("52262 key value A", currentJob());
  return &g_keyValueA;
}

// printKeyValueB: the key that closes the printout's preview.
int16_t* WELKOR_SERVICE(52263, printKeyValueB)() {
  logCall("52263 key value B", currentJob());
  return &g_keyValueB;
}

// printInvoice: the invoice under the search key, with its counting lines
// from the line table, into the current job. 1 when printed.
int32_t WELKOR_SERVICE(51430, printInvoice)(int32_t keyDefinition, const char* key, HostTable* lineTable) {
  raiseIfChosen(51430);
  PrintJob* job = currentJob();
  const Invoice* invoice = key ? invoiceUnderKey(keyDefinition, key) : nullptr;
  Table* lines = lineTable ? tables().fromObject(lineTable) : nullptr;
  std::string call = formatted("51430 print %d", keyDefinition);
  call += invoice ? formatted(" invoice %d %s", invoice->id(), invoice->number().c_str()) : " no invoice";
  call += lines ? formatted(" lines of table %d", lines->number) : " no line table";
  call += formatted(" keys 0x%04X %d", static_cast<unsigned>(static_cast<uint16_t>(g_keyValueA)), g_keyValueB);
  logCall(call, job);
  if (!job || !invoice) return 0;
  PrintedInvoice printed;
  printed.header = invoice->header;
  if (lines && lines->number == hostabi::kLineTable) printed.lines = &invoice->lines;
  printed.company = state().db.company;
  printed.company.resize(layout::Firma::kSize, 0);
  printed.vatRates = state().db.vatRates;
  job->printed.push_back(std::move(printed));
  return 1;
}

// printEnd
void WELKOR_SERVICE(37996, printEnd)() { logCall("37996 end", currentJob()); }

// printFinish: the register is redrawn after a printout.
void WELKOR_SERVICE(52064, printFinish)() { logCall("52064 finish", currentJob()); }
