// The platform layer: the few Windows functions that the plug-in uses. On
// Windows these are the real ones; natively they keep the same meaning
// (modules are the loaded shared objects, the host module is found by its base
// name, exports by ordinal through the shared lookup convention).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kw::frame::platform {

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
void Sleep(uint32_t milliseconds);
uint32_t GetCurrentProcessId();
// Creates an empty file that must not exist yet (CREATE_NEW / O_EXCL), so
// that a name claimed this way is this process's alone, also on a folder that
// other workstations share.
enum class NewFile { Created, Exists, Failed };
NewFile createNewFile(const char* path);
// The first `limit` bytes of a file, or nothing when it cannot be read.
std::string readFileStart(const char* path, size_t limit);

// Seals data so that only this user on this machine can open it again
// (DPAPI, user scope; crypt32.dll is loaded on first use). Natively there is
// no such store: both fail.
bool protectForUser(const std::string& plain, std::string& sealed);
bool unprotectForUser(const std::string& sealed, std::string& plain);

// The module that holds this code.
void* ownModuleHandle();

// A clean-up that must also run when a structured exception unwinds through
// the frame holding the guard. The Windows build's C++ unwinding does not see
// those exceptions, so there the guard links a handler into the thread's
// exception-registration chain (fs:[0]) that runs `unwind` when the system
// unwinds past it, and `raised` (if given) while the exception still looks
// for a handler. Natively a structured exception is a C++ exception that runs
// destructors, and the guard does nothing. The owner's destructor runs the
// same clean-up, so `unwind` must do nothing the second time. The guard must
// live on the stack and be destroyed in the order it was made.
class UnwindGuard {
 public:
  typedef void (*Action)(void* context);
  typedef void (*Notice)(void* context, uint32_t code, uint32_t detail);

#if defined(_WIN32) && defined(__i386__)
  UnwindGuard(void* context, Action unwind, Notice raised = nullptr);
  ~UnwindGuard();
#else
  UnwindGuard(void*, Action, Notice = nullptr) {}
#endif
  UnwindGuard(const UnwindGuard&) = delete;
  UnwindGuard& operator=(const UnwindGuard&) = delete;

#if defined(_WIN32) && defined(__i386__)
 private:
  // The registration record (link, handler) comes first: the handler gets
  // its address and finds the guard there.
  void* next_;
  void* handler_;
  void* context_;
  Action unwind_;
  Notice raised_;

  static int __attribute__((cdecl)) handle(void* record, void* frame, void* cpuContext, void* dispatcherContext);
#endif
};

}  // namespace kw::frame::platform
