// The invoice data as the host hands it out: tables, the line scan of one
// invoice, customer and goods lookups, and a line's rate, prices and quantity.
#pragma once

#include <cstdint>
#include <functional>

#include "data/record_layout.h"
#include "data/records.h"
#include "frame/host_abi.h"
#include "frame/host_constants.h"
#include "data/layer.h"

namespace kw::data {

using hostabi::kCompanyTable;
using hostabi::kCustomerTable;
using hostabi::kInvoiceTable;
using hostabi::kLineTable;
constexpr size_t kGoodsRecordSize = layout::Towar::kSize;

// The table object, prepared for reading; null when the host has no such table.
HostTable* openTable(int32_t number);

// The line table; when the host cannot provide it, the disk error with this
// number ("nr 1324", "nr 1335") is shown and the result is null.
HostTable* openLineTable(int32_t diskErrorNumber);

// "Błąd operacji dyskowej nr <number> …" in a box titled "Błąd".
void showDiskError(int32_t number);

// The lines of one invoice, visited through a scan block that lives as long as
// this object; every pass ends its scan and the block is disposed of once, at
// the end, on every path out.
class LineScan {
 public:
  using Visit = std::function<void(const char* line)>;

  LineScan(HostTable* lines, const char* tspr);
  ~LineScan();
  LineScan(const LineScan&) = delete;
  LineScan& operator=(const LineScan&) = delete;

  // One pass over the invoice's lines: `visit` sees each line that counts (a
  // quantity and a name), in scan order, while it stands in the line table's
  // current record. Returns how many counted.
  int32_t pass(const Visit& visit);

 private:
  HostTable* lines_;
  alignas(8) char block_[192];
  char key_[256];
};

int32_t countCountingLines(LineScan& scan);

// The course of a line section: the line table (when the host cannot provide
// it, the disk error `diskError` is shown and the section is empty, 0), one
// scan over the invoice's lines, and `section(scan)`, which passes it as often
// as it needs and gives the section's count.
template <typename Section>
int32_t scanLines(const char* tspr, int32_t diskError, Section section) {
  HostTable* lines = openLineTable(diskError);
  if (!lines) return 0;
  LineScan scan(lines, tspr);
  return section(scan);
}

// The section most writers have: the lines that count are counted, `start`
// is told the count, then `write(line, number)` writes each, numbered from 1.
// Returns the count.
template <typename Start, typename Write>
int32_t countAndWriteLines(const char* tspr, Start start, Write write) {
  return scanLines(tspr, hostabi::kDiskErrorLines, [&](LineScan& scan) {
    const int32_t count = countCountingLines(scan);
    start(count);
    int32_t number = 0;
    scan.pass([&](const char* line) { write(line, ++number); });
    return count;
  });
}

// Loads the customer with this number into table 35's current record; false
// when the host has none.
bool lookupCustomer(int32_t customerNumber);

// Fills a buffer of kGoodsRecordSize bytes with the goods record of the line.
bool lookupGoods(const char* line, char* goodsRecord);

// The line's VAT rate in percent.
double vatRateOf(const char* line);

// Money in currency units.
inline double amount(const void* record, layout::Money field) { return rec::get(record, field) * 0.0001; }

// Unit prices in currency units: the line carries one in the invoice's own
// price basis and one in the other.
double netUnitPrice(const char* tspr, const char* line);
double grossUnitPrice(const char* tspr, const char* line);

// The line's quantity in units.
double quantityOf(const char* line);

}  // namespace kw::data
