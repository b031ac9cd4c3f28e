// PodzielBankKonto on any text: the two parts are the first 255 characters
// cut before the first digit, or both empty when there is no digit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "data/address.h"

using namespace kw::data;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> source(new char[size + 1]);
  std::memcpy(source.get(), data, size);
  source[size] = '\0';
  std::unique_ptr<char[]> name(new char[256]), account(new char[256]);
  std::memset(name.get(), 'Z', 256);
  std::memset(account.get(), 'Z', 256);

  PodzielBankKonto(source.get(), name.get(), account.get());

  check(std::memchr(name.get(), '\0', 256) && std::memchr(account.get(), '\0', 256));
  const std::string work(source.get(), strnlen(source.get(), 255));
  const size_t digit = work.find_first_of("0123456789");
  if (digit == std::string::npos) {
    check(name[0] == '\0' && account[0] == '\0');
  } else {
    check(std::string(name.get()) == work.substr(0, digit));
    check(std::string(account.get()) == work.substr(digit));
  }
  return 0;
}
