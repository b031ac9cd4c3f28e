// The export dispatcher: saves the customer record, creates "FAKTURY", asks
// for the format (dialog 1001) and runs the chosen writer.
#pragma once

#include <cstdint>

// Writer entry: the invoice record under the cursor, the register value and
// the address of the register's refresh flag.
typedef void (*InvoiceWriter)(char* invoice, int16_t registerValue, int16_t* refreshFlag);

// Returns the dialog's command code, sign-extended from 16 bits.
int32_t exportDispatcher(char* invoice, int16_t registerValue, int16_t* refreshFlag);
