// Process attach: the module, its path and the host module.
#include <cstring>

#include "frame/host_constants.h"
#include "frame/module_state.h"
#include "frame/platform.h"

namespace kw::frame {

const char kPluginTitle[51] = "Eksport faktur. Rejestr faktur sprzedazy - Ctrl+F3";
const char kHostModuleName[] = "WELKOR";

ModuleState& state() {
  // Constant-initialised, so the load-time binders may use it whatever the
  // order of static initialisation.
  static ModuleState s;
  return s;
}

const char* baseNameOf(const char* path) {
  const char* backslash = std::strrchr(path, '\\');
  const char* name = backslash ? backslash + 1 : path;
  const char* slash = std::strrchr(name, '/');
  return slash ? slash + 1 : name;
}

void ensureHostModule() {
  ModuleState& s = state();
  if (s.hostModule) return;
  s.hostModule = platform::GetModuleHandleA(kHostModuleName);
  if (s.hostModule) {
    s.featureEntry = reinterpret_cast<FeatureEntry>(platform::GetProcAddress(
        s.hostModule, reinterpret_cast<const char*>(static_cast<uintptr_t>(kHostFeatureEntryOrdinal))));
  }
}

void* hostModule() { return state().hostModule; }

void attach(void* ownModule) {
  ModuleState& s = state();
  s.ownModule = ownModule;
  platform::GetModuleFileNameA(ownModule, s.modulePath, sizeof s.modulePath);
  s.baseName = baseNameOf(s.modulePath);
  ensureHostModule();
}

}  // namespace kw::frame

#if defined(_WIN32)
#include <windows.h>
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) kw::frame::attach(instance);
  return TRUE;
}
#else
// Natively the attach step runs ahead of the module's static initialisers,
// as the loader's notification does.
namespace kw::frame {
namespace {
__attribute__((constructor(101))) void attachOnLoad() { attach(platform::ownModuleHandle()); }
}  // namespace
}  // namespace kw::frame
#endif
