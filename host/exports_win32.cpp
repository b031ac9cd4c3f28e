// On Windows the host's services are the entries of WELKOR.dll's export
// table. A service that the `missingServices` knob leaves out is taken out of
// that table before the plug-in is loaded, so that GetProcAddress finds
// nothing for it, as with a host that lacks the service.
#include <windows.h>

#include "host_state.h"
#include "plugin_loader.h"

namespace welkor {

void removeMissingExports() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&removeMissingExports), &module);
  auto* base = reinterpret_cast<unsigned char*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
  for (uint32_t ordinal : state().db.knobs.missingServices) {
    if (ordinal < exports->Base || ordinal - exports->Base >= exports->NumberOfFunctions) continue;
    DWORD* entry = &functions[ordinal - exports->Base];
    DWORD old = 0;
    VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old);
    *entry = 0;
    VirtualProtect(entry, sizeof *entry, old, &old);
  }
}

}  // namespace welkor
