// The front end's commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace welkor {

int runCommand(void* plugin, const std::vector<std::string>& args);

// The plug-in's registration (export 30001): status 0 registered, 1 refused,
// 2 when the plug-in has no such export (said on standard error).
struct Registration {
  int status = 2;
  int32_t result = 0;
  std::string title;  // UTF-8
};
Registration registerSilently(void* plugin);

// `browse`: the sales-invoice register on the terminal; the exit status.
int browse(void* plugin);

}  // namespace welkor
