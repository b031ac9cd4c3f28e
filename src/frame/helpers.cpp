#include "frame/helpers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "frame/module_state.h"

namespace kw::frame {

namespace {
// Formats the whole text first, so that a cut never depends on the C
// library's own truncation rules.
bool formatAll(std::string& out, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) return false;
  out.resize(static_cast<size_t>(n) + 1);
  std::vsnprintf(&out[0], out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return true;
}
}  // namespace

int _formatText(char* buffer, size_t size, const char* format, ...) {
  if (!buffer || size == 0) return -1;
  std::string text;
  va_list args;
  va_start(args, format);
  bool ok = formatAll(text, format, args);
  va_end(args);
  if (!ok) {
    buffer[0] = '\0';
    return -1;
  }
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

int _formatTextN(char* buffer, size_t size, const char* format, ...) {
  std::string text;
  va_list args;
  va_start(args, format);
  bool ok = formatAll(text, format, args);
  va_end(args);
  if (!ok) return -1;
  if (text.size() < size) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
  }
  std::memcpy(buffer, text.data(), size);
  return text.size() == size ? static_cast<int>(size) : -1;
}

int32_t _hostSetting(int32_t mode, const char* section, const char* key, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t result = svc::hostSetting(mode, section, key, format, args);
  va_end(args);
  return result;
}

int16_t _fileSetting(const char* file, int32_t mode, const char* section, const char* key, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t result = svc::namedSetting(file, mode, section, key, format, args);
  va_end(args);
  return static_cast<int16_t>(result);
}

void _showMessage(const char* title, const char* format, int32_t kind, ...) {
  va_list args;
  va_start(args, kind);
  svc::showFormatted(0, title, format, kind, args);
  va_end(args);
}

HostFile* _openOutputFile(const char* path, const char* mode) {
  HostFile* file = svc::openFile(path, mode, hostabi::kOpenFileFlags, 0, hostabi::kOpenFileNoOwner, 0, 0, 0, 0);
  // The host hands files over through its holder object.
  alignas(8) unsigned char holder[64] = {};
  svc::fileHolderConstruct(holder, file);
  HostFile* owned = svc::fileHolderRelease(holder);
  svc::fileHolderDispose(holder);
  return owned;
}

}  // namespace kw::frame
