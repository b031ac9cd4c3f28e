#include <windows.h>

#include "plugin_loader.h"

namespace welkor {

void* loadPlugin(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}

void* pluginExport(void* plugin, uint32_t ordinal) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(plugin), MAKEINTRESOURCEA(ordinal)));
}

std::string defaultPluginPath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string exe(path, n);
  return exe.substr(0, exe.find_last_of("\\/") + 1) + "kwitomat.dll";
}

}  // namespace welkor
