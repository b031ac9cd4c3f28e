// The platform layer: the few Windows functions that the plug-in uses. On
// Windows these are the real ones; natively they keep the same meaning
// (modules are the loaded shared objects, the host module is found by its base
// name, exports by ordinal through the shared lookup convention).
#pragma once

#include <cstdint>

namespace platform {

void* GetModuleHandleA(const char* name);
uint32_t GetModuleFileNameA(void* module, char* path, uint32_t size);
// identifier: an ordinal (below 0x10000) in place of a name, or a name.
void* GetProcAddress(void* module, const char* identifier);
bool IsDebuggerPresent();
void OutputDebugStringA(const char* text);
// Formats into a buffer of at most 1024 bytes.
int wsprintfA(char* buffer, const char* format, ...);
[[noreturn]] void RaiseException(uint32_t code, uint32_t flags, uint32_t argumentCount, const uintptr_t* arguments);
int mkdir(const char* path);
// Paths as the plug-in names them ("FAKTURY\\fakt1.xml"); natively a
// backslash is a folder separator, as in the host's file service.
constexpr uint32_t kMoveFileReplaceExisting = 0x1;  // MOVEFILE_REPLACE_EXISTING
bool MoveFileExA(const char* existing, const char* replacement, uint32_t flags);
bool DeleteFileA(const char* path);

// The module that holds this code.
void* ownModuleHandle();

}  // namespace platform
