// Host services: the host's own settings store (WELKOR.INI) and named
// settings files, both INI files in the current directory.
#include <cstdlib>
#include <cstring>

#include "host_state.h"
#include "ini.h"
#include "service_impl.h"

using namespace welkor;

namespace {

// Mode 1 reads into the variable whose address the list holds ("%s": a text
// of at most 1023 characters; "%d": an int32), mode 2 writes the value that
// the list holds, formatted with the format. 0 when done.
int32_t setting(const std::string& file, int32_t mode, const char* section, const char* key, const char* format,
                va_list args) {
  if (!section || !key || !format) return -1;
  if (mode == hostabi::kSettingWrite) return writeIni(file, section, key, formatString(format, args)) ? 0 : -1;
  if (mode != hostabi::kSettingRead) return -1;
  std::optional<std::string> value = readIni(file, section, key);
  if (!value) return -1;
  if (std::strcmp(format, "%d") == 0) {
    int32_t* target = va_arg(args, int32_t*);
    if (target) *target = static_cast<int32_t>(std::strtol(value->c_str(), nullptr, 10));
  } else {
    char* target = va_arg(args, char*);
    if (target) {
      size_t n = value->size() < 1023 ? value->size() : 1023;
      std::memcpy(target, value->data(), n);
      target[n] = '\0';
    }
  }
  return 0;
}

}  // namespace

// hostSetting
int32_t WELKOR_SERVICE(52224, hostSetting)(int32_t mode, const char* section, const char* key, const char* format,
                                           va_list args) {
  return setting("WELKOR.INI", mode, section, key, format, args);
}

// namedSetting
int32_t WELKOR_SERVICE(41399, namedSetting)(const char* file, int32_t mode, const char* section, const char* key,
                                            const char* format, va_list args) {
  if (!file) return -1;
  return setting(hostPath(file), mode, section, key, format, args);
}
