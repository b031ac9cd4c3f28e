// The export dispatcher: saves the customer record, creates "FAKTURY", asks
// for the format (dialog 1001) and runs the chosen writer.
#pragma once

#include <cstdint>

#include "formats/writers.h"
#include "export/layer.h"

namespace kw::exporting {

typedef void (*InvoiceWriter)(char* invoice, const writers::Finish& finish);

// Runs one writer for the register: its closing steps print with the
// register's key definition and set the register's refresh flag.
void runWriter(InvoiceWriter writer, char* invoice, int16_t registerValue, int16_t* refreshFlag);

// Returns the dialog's command code, sign-extended from 16 bits.
int32_t exportDispatcher(char* invoice, int16_t registerValue, int16_t* refreshFlag);

}  // namespace kw::exporting
