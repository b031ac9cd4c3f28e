#include "host_state.h"

#include <cstdio>
#include <cstdlib>

#include "mazovia.h"
#include "message_display.h"

namespace welkor {

HostState& state() {
  static HostState s;
  return s;
}

void unimplemented(uint32_t ordinal) {
  std::fprintf(stderr, "WELKOR: host service %u is not implemented by the stand-in host\n", ordinal);
  std::fflush(stdout);
  std::exit(70);
}

void showMessage(LoggedMessage message) {
  HostState& s = state();
  if (s.screen) {
    s.screen->showMessage(message);
  } else if (s.echoMessages) {
    std::string shown = renderMessage(message.title, message.text);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fflush(stdout);
  }
  s.messages.push_back(std::move(message));
}

void showHostMessage(const std::string& text) { showMessage({0, "WELKOR", utf8ToMazovia(text), "", {}}); }

void protocolError(uint32_t ordinal, const std::string& what) {
  ++state().protocolErrors;
  std::printf("WELKOR: protocol error in host service %u: %s\n", ordinal, what.c_str());
  std::fflush(stdout);
}

std::string formatString(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return "";
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(&out[0], out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string hostPath(const char* path) {
  std::string p = path ? path : "";
#if !defined(_WIN32)
  for (char& c : p)
    if (c == '\\') c = '/';
#endif
  return p;
}

}  // namespace welkor
