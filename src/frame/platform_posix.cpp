#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/host_abi.h"
#include "frame/platform.h"

namespace kw::frame::platform {

namespace {

std::string baseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// The file name of the loaded object at this base address ("" for the program).
struct Search {
  const char* wanted = nullptr;  // base name to find, or null
  uintptr_t base = 0;            // base address to find when wanted is null
  std::string found;
  bool isProgram = false;
  bool hit = false;
};

int visit(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  const char* name = info->dlpi_name ? info->dlpi_name : "";
  bool program = name[0] == '\0';
  if (search->wanted) {
    if (program) return 0;
    std::string candidate = baseName(name);
    std::string wanted = search->wanted;
    if (wanted.find('.') == std::string::npos) wanted += ".so";
    if (strcasecmp(candidate.c_str(), wanted.c_str()) != 0) return 0;
  } else if (info->dlpi_addr != search->base) {
    return 0;
  }
  search->found = name;
  search->isProgram = program;
  search->hit = true;
  return 1;
}

std::string programPath() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n < 0) return "";
  path[n] = '\0';
  return path;
}

}  // namespace

void* GetModuleHandleA(const char* name) {
  if (!name) return dlopen(nullptr, RTLD_LAZY);
  Search search;
  search.wanted = name;
  dl_iterate_phdr(visit, &search);
  if (!search.hit) return nullptr;
  return dlopen(search.found.c_str(), RTLD_LAZY | RTLD_NOLOAD);
}

uint32_t GetModuleFileNameA(void* module, char* path, uint32_t size) {
  if (!path || size == 0) return 0;
  std::string name;
  link_map* map = nullptr;
  if (module && dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && map->l_name[0])
    name = map->l_name;
  else
    name = programPath();
  // As on Windows: cut to the buffer, always terminated.
  size_t n = name.size() < size - 1 ? name.size() : size - 1;
  std::memcpy(path, name.data(), n);
  path[n] = '\0';
  return static_cast<uint32_t>(n);
}

void* GetProcAddress(void* module, const char* identifier) {
  if (!module) return nullptr;
  uintptr_t id = reinterpret_cast<uintptr_t>(identifier);
  if ((id >> 16) != 0) return dlsym(module, identifier);
  auto lookup = reinterpret_cast<OrdinalExportFn>(dlsym(module, KW_ORDINAL_EXPORT_SYMBOL));
  return lookup ? lookup(static_cast<uint32_t>(id)) : nullptr;
}

bool IsDebuggerPresent() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return false;
  char line[256];
  long tracer = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "TracerPid: %ld", &tracer) == 1) break;
  std::fclose(status);
  return tracer != 0;
}

void OutputDebugStringA(const char* text) {
  // The debugger that traces this process reads its standard error.
  ssize_t ignored = write(2, text, std::strlen(text));
  (void)ignored;
}

int wsprintfA(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(buffer, 1024, format, args);
  va_end(args);
  return written < 1024 ? written : 1023;
}

void RaiseException(uint32_t code, uint32_t, uint32_t, const uintptr_t*) {
  // Natively a structured exception is the host's wrapper, thrown.
  throw SE_Exception{code, 0};
}

int mkdir(const char* path) { return ::mkdir(path, 0777); }

namespace {

std::string nativePath(const char* path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

}  // namespace

// rename always replaces an existing file: the flag changes nothing here.
bool MoveFileExA(const char* existing, const char* replacement, uint32_t) {
  return std::rename(nativePath(existing).c_str(), nativePath(replacement).c_str()) == 0;
}

bool DeleteFileA(const char* path) { return ::unlink(nativePath(path).c_str()) == 0; }

void Sleep(uint32_t milliseconds) { ::usleep(milliseconds * 1000u); }

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

NewFile createNewFile(const char* path) {
  int fd = ::open(nativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? NewFile::Exists : NewFile::Failed;
  ::close(fd);
  return NewFile::Created;
}

std::string readFileStart(const char* path, size_t limit) {
  std::string content;
  FILE* file = std::fopen(nativePath(path).c_str(), "rb");
  if (!file) return content;
  content.resize(limit);
  content.resize(std::fread(&content[0], 1, limit, file));
  std::fclose(file);
  return content;
}

void* ownModuleHandle() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&ownModuleHandle), &info)) return nullptr;
  Search search;
  search.base = reinterpret_cast<uintptr_t>(info.dli_fbase);
  // The program's own objects report the program's base address.
  dl_iterate_phdr(visit, &search);
  if (!search.hit || search.isProgram) return dlopen(nullptr, RTLD_LAZY);
  return dlopen(search.found.c_str(), RTLD_LAZY | RTLD_NOLOAD);
}

bool protectForUser(const std::string&, std::string&) { return false; }
bool unprotectForUser(const std::string&, std::string&) { return false; }

}  // namespace kw::frame::platform
