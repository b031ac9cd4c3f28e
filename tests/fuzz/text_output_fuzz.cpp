// _xmlSafe, then _fprintfUTF and _fprintf1250 into real host files, on any
// text. The UTF-8 file must hold valid UTF-8, the Windows-1250 file one byte
// per character. (Pieces past the formatting buffer are slow to fuzz; the unit
// tests cover them.)
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "data/text_output.h"
#include "frame/helpers.h"
#include "frame/host_services.h"

using namespace kw::data;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::string readAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool validUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t extra = b < 0x80                  ? 0
                   : (b >= 0xC2 && b < 0xE0) ? 1
                   : (b >= 0xE0 && b < 0xF0) ? 2
                   : (b >= 0xF0 && b < 0xF5) ? 3
                                             : 9;
    if (extra == 9 || i + extra >= s.size()) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  const size_t length = std::strlen(text.get());
  check(_xmlSafe(text.get()) == text.get());
  check(std::strlen(text.get()) == length);
  check(std::strpbrk(text.get(), "<&>\"'\\\n\r") == nullptr);

  HostFile* utf8 = _openOutputFile("fuzz_utf8.out", "wt");
  HostFile* windows = _openOutputFile("fuzz_1250.out", "wt");
  check(utf8 && windows);
  // A text four times over: a piece made mostly of three-byte characters.
  _fprintfUTF(utf8, "<a>%s</a>\n%s%s%s", text.get(), text.get(), text.get(), text.get());
  _fprintf1250(windows, "<a>%s</a>\n%s%s%s", text.get(), text.get(), text.get(), text.get());
  svc::closeFile(utf8);
  svc::closeFile(windows);

  check(validUtf8(readAll("fuzz_utf8.out")));
  const size_t written = 4 * length + std::strlen("<a></a>\r\n");
  check(readAll("fuzz_1250.out").size() == written);
  return 0;
}
