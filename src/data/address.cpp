#include "data/address.h"

#include <cstdint>
#include <cstring>

#include "frame/host_services.h"
#include "data/layer.h"

namespace kw::data {

namespace {

// Only the first 255 characters of a source take part in a split.
constexpr int32_t kWorkLimit = 255;
constexpr int32_t kPostalCodeLength = 6;
// A postal code at the start with no street prefix: the street is taken from here.
constexpr int32_t kStreetAfterLeadingPostalCode = 25;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// "NN-NNN" not followed by a further digit. Reads nothing past the text's zero.
bool postalCodeAt(const char* p) {
  return isDigit(p[0]) && isDigit(p[1]) && p[2] == '-' && isDigit(p[3]) && isDigit(p[4]) && isDigit(p[5]) &&
         !isDigit(p[6]);
}

bool prefixAt(const char* p, const char* prefix) {
  for (int k = 0; prefix[k]; ++k)
    if (p[k] == '\0' || lowerAscii(p[k]) != prefix[k]) return false;
  return true;
}

// The source's first 255 characters, terminated even if the copy service
// is missing or leaves no zero.
void copyToWork(char (&work)[kWorkLimit + 1], const char* source) {
  work[0] = '\0';
  svc::copyBounded(work, source, kWorkLimit);
  work[kWorkLimit] = '\0';
}

}  // namespace

void PodzielAdres(const char* source, char* street, char* postalCode, char* city) {
  street[0] = '\0';
  postalCode[0] = '\0';
  city[0] = '\0';
  char work[kWorkLimit + 1];
  copyToWork(work, source);
  const int32_t length = static_cast<int32_t>(std::strlen(work));

  if (length > 0) {
    int32_t p = -1, c = -1, s = -1;
    for (int32_t i = 0; i < length; ++i) {
      if (postalCodeAt(work + i)) {
        p = i;
        c = i + 7;  // one separator after the code
      }
      if (prefixAt(work + i, "ul.") || prefixAt(work + i, "os.")) s = i;
    }
    if (c > length) c = -1;
    if (s == -1) {
      if (p == 0)
        s = kStreetAfterLeadingPostalCode;
      else if (p > 0)
        s = 0;
    }

    if (p < c && c < s) {
      svc::copyBounded(postalCode, work + p, kPostalCodeLength);
      svc::copyBounded(city, work + c, s - c);
      if (s < length) svc::copyBounded(street, work + s, kWorkLimit);
    } else if (s < p && p < c) {
      svc::copyBounded(postalCode, work + p, kPostalCodeLength);
      svc::copyBounded(city, work + c, kWorkLimit);
      svc::copyBounded(street, work + s, p - s);
    } else if (p == -1 && c == -1 && s == -1) {
      svc::copyBounded(city, work, kWorkLimit);
    }
  }

  svc::trimText(city);
  svc::trimText(postalCode);
  svc::trimText(street);
}

void PodzielBankKonto(const char* source, char* bankName, char* accountNumber) {
  bankName[0] = '\0';
  accountNumber[0] = '\0';
  char work[kWorkLimit + 1];
  copyToWork(work, source);

  int32_t digit = 0;
  while (work[digit] != '\0' && !isDigit(work[digit])) ++digit;
  if (work[digit] == '\0') return;

  svc::copyBounded(accountNumber, work + digit, kWorkLimit);
  svc::copyBounded(bankName, work, digit);
}

}  // namespace kw::data
