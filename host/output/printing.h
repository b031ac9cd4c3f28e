// The stand-in host's printing: print jobs set up by the print-output object
// (services 22892 ... 22894), the invoices printed into them (51430), and the
// text-mode printout that is laid out once and rendered per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "database.h"

namespace welkor {

// An invoice as it was when it was printed. Its lines stay in the database,
// which nothing changes while a print job is open, so that a long invoice is
// not copied.
struct PrintedInvoice {
  Bytes header;                               // Tspr
  const std::vector<Bytes>* lines = nullptr;  // Tspr_dok in scan order; the printout shows those that count
  Bytes company;                              // Firma
  std::map<int32_t, double> vatRates;
};

// One print-output object set up for a file.
struct PrintJob {
  std::string path;                // as the plug-in named it (Mazovia)
  std::vector<std::string> calls;  // the print service calls that reached this job
  std::vector<PrintedInvoice> printed;
};

// The printout of one invoice in lines of UTF-8 text (a text-mode page
// layout: at most kPrintoutColumns characters a line), handed to `emit` one
// by one as they are laid out.
constexpr size_t kPrintoutColumns = 96;
using PrintoutSink = std::function<void(const std::string&)>;
void printout(const PrintedInvoice& invoice, const PrintoutSink& emit);

// Writes the job's file: a PDF natively, a plain record of the calls and the
// printout where no PDF library exists. False when it could not be written.
bool writePrintout(const PrintJob& job);

}  // namespace welkor
