// Host services: scans.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "data/record_layout.h"
#include "host_state.h"
#include "scan_checks.h"
#include "search_key.h"
#include "service_impl.h"
#include "tables.h"
#include "plugin_names.h"

using namespace welkor;

namespace {

constexpr size_t kScanBlockSize = 192;
constexpr size_t kInUseWord = kScanBlockSize - 4;  // cleared by the caller before first use
constexpr uint32_t kInUse = 1;
constexpr int32_t kLineIndex = 68;

// The host's side of one scan block.
struct Scan {
  bool attempted = false;  // between an open (successful or not) and its end
  bool open = false;       // the open succeeded
  HostTable* table = nullptr;
  int32_t documentId = 0;
  size_t next = 0;
};

std::map<const char*, Scan>& scans() {
  static std::map<const char*, Scan> s;
  return s;
}

uint32_t inUseWord(const char* block) {
  uint32_t word;
  std::memcpy(&word, block + kInUseWord, sizeof word);
  return word;
}

void setInUseWord(char* block, uint32_t word) { std::memcpy(block + kInUseWord, &word, sizeof word); }

void logCall(uint32_t ordinal) {
  std::vector<uint32_t>& calls = scanChecks().calls;
  if (calls.size() < ScanChecks::kLoggedCalls) calls.push_back(ordinal);
}

void protocolError(uint32_t ordinal, const char* what) {
  ++scanChecks().protocolErrors;
  welkor::protocolError(ordinal, what);
}

const Invoice* invoiceById(int32_t id) {
  for (const Invoice& invoice : state().db.invoices)
    if (invoice.id() == id) return &invoice;
  return nullptr;
}

// The host's state of a block already in use, or null (also for a block that
// the caller cleared for a new use: whatever was kept for it is dropped).
Scan* knownScan(const char* block) {
  auto found = scans().find(block);
  if (found == scans().end()) return nullptr;
  if (inUseWord(block) != kInUse) {
    scans().erase(found);
    return nullptr;
  }
  return &found->second;
}

}  // namespace

// makeSearchKey
int32_t WELKOR_SERVICE(51425, makeSearchKey)(int32_t definition, int32_t, char* key, int32_t number) {
  logCall(51425);
  if (!key) return 0;
  formatSearchKey(key, SearchKey{definition, number});
  return 1;
}

// openScan
// Only the line index of table 45 exists here: the lines of the invoice whose
// IdDokumentu the key holds, in the order of its `lines`.
int32_t WELKOR_SERVICE(52278, openScan)(char* block, HostTable* table, int32_t index, const char* key, int32_t,
                                        int32_t) {
  logCall(52278);
  if (!block) {
    protocolError(52278, "no scan block");
    return 0;
  }
  Scan* scan = knownScan(block);
  if (!scan) {
    if (inUseWord(block) != 0) protocolError(52278, "the last word of a new scan block was not cleared");
    scan = &scans()[block];
    setInUseWord(block, kInUse);
  } else if (scan->attempted) {
    protocolError(52278, "the block's previous scan was not ended");
  }
  *scan = Scan{};
  scan->attempted = true;

  Table* t = tables().fromObject(table);
  SearchKey parsed;
  if (!t || t->number != hostabi::kLineTable || index != kLineIndex || !parseSearchKey(key, parsed) ||
      parsed.definition != kLineKeyDefinition)
    return 0;
  const Invoice* invoice = invoiceById(parsed.number);
  if (!invoice || invoice->lines.empty()) return 0;
  scan->open = true;
  scan->table = table;
  scan->documentId = parsed.number;
  return 1;
}

// nextScan
int32_t WELKOR_SERVICE(52279, nextScan)(char* block) {
  logCall(52279);
  Scan* scan = block ? knownScan(block) : nullptr;
  if (!scan || !scan->open) {
    protocolError(52279, "the block has no open scan");
    return 0;
  }
  const Invoice* invoice = invoiceById(scan->documentId);
  Table* t = tables().fromObject(scan->table);
  if (!invoice || !t || scan->next >= invoice->lines.size()) return 0;
  const Bytes& line = invoice->lines[scan->next++];
  size_t n = std::min<size_t>({line.size(), t->current.size(), layout::Tspr_dok::kSize});
  std::memcpy(t->current.data(), line.data(), n);
  return 1;
}

// endScan
int32_t WELKOR_SERVICE(52281, endScan)(char* block) {
  logCall(52281);
  Scan* scan = block ? knownScan(block) : nullptr;
  if (!scan || !scan->attempted) {
    protocolError(52281, "the block has no scan to end");
    return 0;
  }
  scan->attempted = false;
  scan->open = false;
  return 1;
}

// disposeScan
int32_t WELKOR_SERVICE(50538, disposeScan)(char* block) {
  logCall(50538);
  if (!block) {
    protocolError(50538, "no scan block");
    return 0;
  }
  if (Scan* scan = knownScan(block); scan && scan->attempted) protocolError(50538, "the block's scan was not ended");
  scans().erase(block);
  setInUseWord(block, 0);
  return 1;
}

size_t welkor::liveScanBlocks() { return scans().size(); }
