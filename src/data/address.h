// Splitters of the free-text fields that the output formats want in parts:
// a one-line address and a bank text.
#pragma once

#include "data/layer.h"

namespace kw::data {

// Splits a one-line address (postal code, city and street in either order)
// into street, postal code and city. street and city hold at least 256 bytes,
// postalCode at least 7; each is always terminated.
void PodzielAdres(const char* source, char* street, char* postalCode, char* city);

// Splits a bank text at its first decimal digit into the bank's name and the
// account number. Both buffers hold at least 256 bytes.
void PodzielBankKonto(const char* source, char* bankName, char* accountNumber);

}  // namespace kw::data
