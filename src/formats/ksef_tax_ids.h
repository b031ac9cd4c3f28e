// Tax numbers on a KSeF invoice: the Polish NIP with its check digit, and the
// buyer's number as typed on the invoice, read as the schema's forms of it.
#pragma once

#include <string>

#include "formats/layer.h"

namespace kw::formats::ksef {

// Ten digits of the schema's NIP pattern: the first not 0, the second and
// third not both 0.
bool nipShaped(const std::string& digits);

// The last digit of a NIP-shaped number is its check digit: the weighted sum
// (6 5 7 2 3 4 5 6 7) of the first nine, mod 11; a remainder of 10 is never
// a NIP.
bool nipCheckDigitRight(const std::string& digits);

enum class BuyerIdForm {
  kNone,           // no digits at all: BrakID
  kNip,            // a Polish NIP: NIP
  kEuVat,          // an EU VAT number of another member state: KodUE + NrVatUE
  kForeign,        // a tax number of another country: KodKraju + NrID
  kNotNip,         // digits alone (or after PL) but not ten of NIP shape
  kWrongNipDigit,  // a NIP whose check digit is wrong
  kUnknown,        // none of these
};

struct BuyerId {
  BuyerIdForm form = BuyerIdForm::kNone;
  std::string code;     // KodUE or KodKraju
  std::string number;   // the NIP's digits, NrVatUE or NrID
  std::string country;  // Adres/KodKraju: PL, or the foreign number's country
};

// The buyer's number as typed (host code page). Blanks and dashes do not
// count; letters may be small.
BuyerId buyerIdOf(const std::string& typed);

}  // namespace kw::formats::ksef
