// The format writers, each called with the invoice record under the cursor
// and the closing steps to run once its data file is whole.
#pragma once

#include <functional>

#include "frame/host_abi.h"
#include "formats/layer.h"

namespace kw::formats::writers {

// A whole data file and what the closing steps need: the printout's name
// beside it and the records the file was written from.
struct Written {
  const char* dataPath;
  const char* pdfPath;
  const char* tspr;
  const char* firma;
  HostTable* lines;
};

// The closing steps after a whole data file (the printout, the mail and the
// notice), supplied by the caller, which knows the register they belong to.
using Finish = std::function<void(const Written&)>;

void pcMarket(char* invoice, const Finish& finish);    // F1
void optima(char* invoice, const Finish& finish);      // F2
void comarchEdi(char* invoice, const Finish& finish);  // F3
void epp(char* invoice, const Finish& finish);         // F4
// F5, when switched on: no printout and no mail; closes with `finish` when
// one is given (the send to KSeF), otherwise with a notice naming the file.
void ksef(char* invoice, const Finish& finish);

}  // namespace kw::formats::writers
