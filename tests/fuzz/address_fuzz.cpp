// PodzielAdres on any text: the parts stay within their buffers and are
// pieces of the first 255 characters of the source.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "data/address.h"

using namespace kw::data;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly sized buffers, so that the sanitizer sees any access past them.
  std::unique_ptr<char[]> source(new char[size + 1]);
  std::memcpy(source.get(), data, size);
  source[size] = '\0';
  std::unique_ptr<char[]> street(new char[256]), postalCode(new char[7]), city(new char[256]);
  std::memset(street.get(), 'Z', 256);
  std::memset(postalCode.get(), 'Z', 7);
  std::memset(city.get(), 'Z', 256);

  PodzielAdres(source.get(), street.get(), postalCode.get(), city.get());

  check(std::memchr(street.get(), '\0', 256) && std::memchr(city.get(), '\0', 256));
  check(std::memchr(postalCode.get(), '\0', 7));
  const std::string work(source.get(), strnlen(source.get(), 255));
  const std::string code = postalCode.get();
  check(code.empty() || (code.size() == 6 && isDigit(code[0]) && isDigit(code[1]) && code[2] == '-' &&
                         isDigit(code[3]) && isDigit(code[4]) && isDigit(code[5])));
  check(work.find(street.get()) != std::string::npos);
  check(work.find(city.get()) != std::string::npos);
  check(work.find(code) != std::string::npos);
  return 0;
}
