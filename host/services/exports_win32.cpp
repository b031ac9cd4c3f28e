// On Windows the host's services are the entries of WELKOR.dll's export
// table. The services that the `missingServices` knob leaves out are taken out
// of that table (and all others put back) before the plug-in binds, so that
// GetProcAddress finds nothing for them, as with a host that lacks them.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "host_state.h"
#include "service_impl.h"

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
  static std::vector<DWORD> original(functions, functions + exports->NumberOfFunctions);
  DWORD old = 0;
  VirtualProtect(functions, exports->NumberOfFunctions * sizeof(DWORD), PAGE_READWRITE, &old);
  std::copy(original.begin(), original.end(), functions);
  for (uint32_t ordinal : state().db.knobs.missingServices) {
    if (ordinal < exports->Base || ordinal - exports->Base >= exports->NumberOfFunctions) continue;
    functions[ordinal - exports->Base] = 0;
  }
  VirtualProtect(functions, exports->NumberOfFunctions * sizeof(DWORD), old, &old);
}

}  // namespace welkor
