#include <direct.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdarg>

#include "frame/platform.h"

namespace kw::frame::platform {

void* GetModuleHandleA(const char* name) { return reinterpret_cast<void*>(::GetModuleHandleA(name)); }

uint32_t GetModuleFileNameA(void* module, char* path, uint32_t size) {
  return ::GetModuleFileNameA(static_cast<HMODULE>(module), path, size);
}

void* GetProcAddress(void* module, const char* identifier) {
  if (!module) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), identifier));
}

bool IsDebuggerPresent() { return ::IsDebuggerPresent() != 0; }

void OutputDebugStringA(const char* text) { ::OutputDebugStringA(text); }

int wsprintfA(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = ::wvsprintfA(buffer, format, args);
  va_end(args);
  return written;
}

void RaiseException(uint32_t code, uint32_t flags, uint32_t argumentCount, const uintptr_t* arguments) {
  ::RaiseException(code, flags, argumentCount, reinterpret_cast<const ULONG_PTR*>(arguments));
  // A handler that continues execution would return here; the caller does
  // not expect that.
  ::ExitProcess(code);
}

int mkdir(const char* path) { return ::_mkdir(path); }

bool MoveFileExA(const char* existing, const char* replacement, uint32_t flags) {
  return ::MoveFileExA(existing, replacement, flags) != 0;
}

bool DeleteFileA(const char* path) { return ::DeleteFileA(path) != 0; }

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

NewFile createNewFile(const char* path) {
  HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_EXISTS ? NewFile::Exists : NewFile::Failed;
  ::CloseHandle(file);
  return NewFile::Created;
}

std::string readFileStart(const char* path, size_t limit) {
  std::string content;
  HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  content.resize(limit);
  DWORD got = 0;
  if (!::ReadFile(file, &content[0], static_cast<DWORD>(limit), &got, nullptr)) got = 0;
  ::CloseHandle(file);
  content.resize(got);
  return content;
}

namespace {

// CryptProtectData or CryptUnprotectData, whose signatures differ only in an
// out parameter that is not used here.
using Seal = BOOL(WINAPI*)(DATA_BLOB*, LPCWSTR, DATA_BLOB*, void*, CRYPTPROTECT_PROMPTSTRUCT*, DWORD, DATA_BLOB*);

bool runSeal(const char* name, const std::string& in, std::string& out) {
  HMODULE crypt32 = ::LoadLibraryA("crypt32.dll");  // kept for the process's life
  Seal seal = crypt32 ? reinterpret_cast<Seal>(reinterpret_cast<void*>(::GetProcAddress(crypt32, name))) : nullptr;
  if (!seal) return false;
  DATA_BLOB input{static_cast<DWORD>(in.size()), reinterpret_cast<BYTE*>(const_cast<char*>(in.data()))};
  DATA_BLOB output{};
  if (!seal(&input, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &output)) return false;
  out.assign(reinterpret_cast<const char*>(output.pbData), output.cbData);
  ::SecureZeroMemory(output.pbData, output.cbData);
  ::LocalFree(output.pbData);
  return true;
}

}  // namespace

bool protectForUser(const std::string& plain, std::string& sealed) {
  return runSeal("CryptProtectData", plain, sealed);
}

bool unprotectForUser(const std::string& sealed, std::string& plain) {
  return runSeal("CryptUnprotectData", sealed, plain);
}

void* ownModuleHandle() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModuleHandle), &module);
  return module;
}

// The head of the thread's exception-registration chain, at fs:[0]. The
// memory clobber keeps the record complete before the chain points at it.
static void* chainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
static void setChainHead(void* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

UnwindGuard::UnwindGuard(void* context, Action unwind, Notice raised)
    : next_(chainHead()),
      handler_(reinterpret_cast<void*>(&UnwindGuard::handle)),
      context_(context),
      unwind_(unwind),
      raised_(raised) {
  setChainHead(this);
}

UnwindGuard::~UnwindGuard() { setChainHead(next_); }

// Called by the system for this frame: once while it searches for a handler,
// and again when a handler further out unwinds the stack (RtlUnwind, or a
// longjmp that unwinds). Declines to handle either way; after the unwinding
// call the system unlinks the record itself.
int UnwindGuard::handle(void* record, void* frame, void*, void*) {
  auto* exception = static_cast<EXCEPTION_RECORD*>(record);
  auto* guard = static_cast<UnwindGuard*>(frame);
  if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    guard->unwind_(guard->context_);
  } else if (guard->raised_) {
    uint32_t detail = exception->NumberParameters ? static_cast<uint32_t>(exception->ExceptionInformation[0]) : 0;
    guard->raised_(guard->context_, exception->ExceptionCode, detail);
  }
  return ExceptionContinueSearch;
}

}  // namespace kw::frame::platform
