#include "formats/ksef_tax_ids.h"

#include <cstdint>
#include <cstring>

#include "formats/layer.h"

namespace kw::formats::ksef {

namespace {

// The schema's codes of the EU member states for VAT numbers (TKodyKrajowUE):
// Greece is EL there, Northern Ireland XI.
constexpr char kEuVatCodes[] = "AT BE BG CY CZ DK EE FI FR DE EL HR HU IE IT LV LT LU MT NL PL PT RO SK SI ES SE XI ";

// The schema's country codes (TKodKraju), in its order.
constexpr char kCountryCodes[] =
    "AF AX AL DZ AD AO AI AQ AG AN SA AR AM AW AU AT AZ BS BH BD BB BE BZ BJ BM BT BY BO BQ BA BW BR BN IO "
    "BG BF BI XC CL CN HR CW CY TD ME DK DM DO DJ EG EC ER EE ET FK FJ PH FI FR TF GA GM GH GI GR GD GL GE "
    "GU GG GY GF GP GT GN GQ GW HT ES HN HK IN ID IQ IR IE IS IL JM JP YE JE JO KY KH CM CA QA KZ KE KG KI "
    "CO KM CG CD KP XK CR CU KW LA LS LB LR LY LI LT LV LU MK MG YT MO MW MV MY ML MT MP MA MQ MR MU MX XL "
    "FM UM MD MC MN MS MZ MM NA NR NP NL DE NE NG NI NU NF NO NC NZ PS OM PK PW PA PG PY PE PN PF PL GS PT "
    "PR CF CZ KR ZA RE RU RO RW EH BL KN LC MF VC SV WS AS SM SN RS SC SL SG SK SI SO LK PM US SZ SD SS SR "
    "SJ SH SY CH SE TJ TH TW TZ TG TK TO TT TN TR TM TV UG UA UY UZ VU WF VA HU VE GB VN IT TL CI BV CX IM "
    "SX CK VI VG HM CC MH FO SB ST TC ZM CV ZW AE XI ";

// The schema's NrVatUE holds at most this many characters.
constexpr size_t kLongestEuVatNumber = 12;

bool listed(const char* codes, const std::string& code) {
  for (const char* at = codes; *at; at += 3)
    if (code.compare(0, std::string::npos, at, 2) == 0) return true;
  return false;
}

bool digit(char c) { return c >= '0' && c <= '9'; }
bool capital(char c) { return c >= 'A' && c <= 'Z'; }

bool allDigits(const std::string& text) {
  for (char c : text)
    if (!digit(c)) return false;
  return true;
}

// The schema's NrVatUE: digits, capitals, + and *.
bool euVatNumberShaped(const std::string& number) {
  if (number.empty() || number.size() > kLongestEuVatNumber) return false;
  for (char c : number)
    if (!digit(c) && !capital(c) && c != '+' && c != '*') return false;
  return true;
}

BuyerId polishNip(const std::string& digits) {
  BuyerId id;
  id.number = digits;
  id.country = "PL";
  if (!nipShaped(digits))
    id.form = BuyerIdForm::kNotNip;
  else
    id.form = nipCheckDigitRight(digits) ? BuyerIdForm::kNip : BuyerIdForm::kWrongNipDigit;
  return id;
}

}  // namespace

bool nipShaped(const std::string& digits) {
  return digits.size() == 10 && allDigits(digits) && digits[0] != '0' && (digits[1] != '0' || digits[2] != '0');
}

bool nipCheckDigitRight(const std::string& digits) {
  static const int32_t weights[9] = {6, 5, 7, 2, 3, 4, 5, 6, 7};
  if (digits.size() != 10 || !allDigits(digits)) return false;
  int32_t sum = 0;
  for (int32_t i = 0; i < 9; ++i) sum += weights[i] * (digits[i] - '0');
  return sum % 11 == digits[9] - '0';
}

BuyerId buyerIdOf(const std::string& typed) {
  std::string compact;
  bool hasDigit = false;
  for (char c : typed) {
    if (c == ' ' || c == '-') continue;
    compact += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    hasDigit = hasDigit || digit(c);
  }
  BuyerId id;
  id.country = "PL";
  if (!hasDigit) return id;
  if (allDigits(compact)) return polishNip(compact);
  id.form = BuyerIdForm::kUnknown;
  if (compact.size() < 2 || !capital(compact[0]) || !capital(compact[1])) return id;
  std::string code = compact.substr(0, 2);
  const std::string rest = compact.substr(2);
  if (code == "PL") return allDigits(rest) ? polishNip(rest) : id;
  // Greece's VAT numbers carry EL, its country code is GR: either means a
  // Greek VAT number.
  if (code == "GR") code = "EL";
  if (listed(kEuVatCodes, code)) {
    if (!euVatNumberShaped(rest)) return id;
    id.form = BuyerIdForm::kEuVat;
    id.code = code;
    id.number = rest;
    id.country = code == "EL" ? "GR" : code;
    return id;
  }
  if (!listed(kCountryCodes, code)) return id;
  // Outside the EU the prefix may belong to the number itself (CHE-123.456.789):
  // the number is kept as typed.
  id.form = BuyerIdForm::kForeign;
  id.code = code;
  id.number = typed;
  id.country = code;
  return id;
}

}  // namespace kw::formats::ksef
