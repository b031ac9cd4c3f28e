#include <dlfcn.h>
#include <unistd.h>

#include "frame/host_abi.h"
#include "plugin_loader.h"

namespace welkor {

void* loadPlugin(const std::string& path, std::string& error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) error = dlerror();
  return module;
}

void* pluginExport(void* plugin, uint32_t ordinal) {
  auto lookup = reinterpret_cast<OrdinalExportFn>(dlsym(plugin, KW_ORDINAL_EXPORT_SYMBOL));
  return lookup ? lookup(ordinal) : nullptr;
}

std::string defaultPluginPath() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n < 0) return "kwitomat.so";
  std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1) + "kwitomat.so";
}

}  // namespace welkor
