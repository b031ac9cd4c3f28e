#include "data/host_data.h"

#include <cstring>

#include "frame/helpers.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "data/messages.h"
#include "data/layer.h"

namespace kw::data {

namespace {

constexpr int32_t kByNumber = -1;
constexpr int32_t kScanStep = 1;

// Ends the scan attempt however the pass leaves.
struct ScanEnd {
  char* block;
  ~ScanEnd() { svc::endScan(block); }
};

}  // namespace

HostTable* openTable(int32_t number) {
  HostTable* t = svc::tableObject(number);
  if (t) svc::prepareTable(t, hostabi::kPrepareForReading);
  return t;
}

HostTable* openLineTable(int32_t diskErrorNumber) {
  HostTable* t = openTable(kLineTable);
  if (!t) showDiskError(diskErrorNumber);
  return t;
}

void showDiskError(int32_t number) {
  char text[1024];
  _formatText(text, sizeof text, message::kDiskError, number);
  svc::showTitled(message::kErrorTitle, text, 1);
}

LineScan::LineScan(HostTable* lines, const char* tspr) : lines_(lines), block_{}, key_{} {
  svc::makeSearchKey(hostabi::kLineKeyDefinition, 0, key_, rec::get(tspr, layout::Tspr::IdDokumentu));
}

LineScan::~LineScan() { svc::disposeScan(block_); }

int32_t LineScan::pass(const Visit& visit) {
  ScanEnd end{block_};
  if (!svc::openScan(block_, lines_, hostabi::kLineIndex, key_, 0, 0)) return 0;
  int32_t counted = 0;
  while (svc::nextScan(block_) == kScanStep) {
    const char* line = lines_ ? table::currentRecord(lines_) : nullptr;
    if (!line) break;
    if (!rec::countingLine(line)) continue;
    ++counted;
    if (visit) visit(line);
  }
  return counted;
}

int32_t countCountingLines(LineScan& scan) { return scan.pass(nullptr); }

bool lookupCustomer(int32_t customerNumber) {
  int32_t* searchNumber = svc::customerSearchKey();
  if (!searchNumber) return false;
  *searchNumber = customerNumber;
  return svc::lookupCustomer(kByNumber) != 0;
}

bool lookupGoods(const char* line, char* goodsRecord) {
  int32_t ref1 = rec::get(line, layout::Tspr_dok::RefTowaru1);
  int32_t ref2 = rec::get(line, layout::Tspr_dok::RefTowaru2);
  return svc::lookupGoods(kByNumber, ref1, ref2, goodsRecord, 0) != 0;
}

double vatRateOf(const char* line) { return svc::vatRate(rec::get(line, layout::Tspr_dok::KodVat)); }

double netUnitPrice(const char* tspr, const char* line) {
  return amount(line, rec::pricedNet(tspr) ? layout::Tspr_dok::CenaDokumentu : layout::Tspr_dok::CenaPrzeliczona);
}

double grossUnitPrice(const char* tspr, const char* line) {
  return amount(line, rec::pricedNet(tspr) ? layout::Tspr_dok::CenaPrzeliczona : layout::Tspr_dok::CenaDokumentu);
}

double quantityOf(const char* line) { return static_cast<double>(rec::get(line, layout::Tspr_dok::Ilosc)) * 0.001; }

}  // namespace kw::data
