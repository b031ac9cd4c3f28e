// Host services: memory and the diagnostic machinery.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host_state.h"
#include "service_impl.h"

using namespace welkor;

namespace {

bool allocationFails(uint32_t size) {
  const auto& knob = state().db.knobs.failAllocationSize;
  if (countedCallFails(state().counts.allocations, state().db.knobs.failAllocationCall)) return true;
  return knob && *knob == size;
}

void* counted(void* block) {
  if (block) ++state().counts.liveBlocks;
  return block;
}

void KW_CDECL reportException(const char* scope, uint32_t code, uint32_t detail, int32_t) {
  char line[512];
  std::snprintf(line, sizeof line, "exception %s 0x%08X %u", scope ? scope : "", code, detail);
  state().scopeLog.push_back(line);
  std::fprintf(stderr, "WELKOR: structured exception 0x%08X in %s\n", code, scope ? scope : "");
}

ExceptionReportFn g_reportEntry = &reportException;

// The scope object keeps the name it was entered with.
const char* scopeName(void* self) {
  const char* name = nullptr;
  std::memcpy(&name, self, sizeof name);
  return name ? name : "";
}

}  // namespace

// allocate
void* WELKOR_SERVICE(21284, allocate)(uint32_t size) {
  return allocationFails(size) ? nullptr : counted(std::malloc(size ? size : 1));
}

// allocateZeroed
void* WELKOR_SERVICE(21285, allocateZeroed)(uint32_t count, uint32_t size) {
  const uint32_t knob = state().db.knobs.failAllocationSize.value_or(0);
  if (allocationFails(size) || (knob && knob == count * size)) return nullptr;
  return counted(std::calloc(count ? count : 1, size ? size : 1));
}

// reallocate
void* WELKOR_SERVICE(21286, reallocate)(void* block, uint32_t size) {
  if (allocationFails(size)) return nullptr;
  void* moved = std::realloc(block, size ? size : 1);
  return block ? moved : counted(moved);
}

// release
void WELKOR_SERVICE(21287, release)(void* block) {
  if (block) --state().counts.liveBlocks;
  std::free(block);
}

// scopeEnter
void KW_THISCALL WELKOR_SERVICE(21601, scopeEnter)(void* self, const char* name, int32_t) {
  std::memcpy(self, &name, sizeof name);
  state().scopeLog.push_back(std::string("enter ") + (name ? name : ""));
}

// scopeLeave
void KW_THISCALL WELKOR_SERVICE(21602, scopeLeave)(void* self) {
  state().scopeLog.push_back(std::string("leave ") + scopeName(self));
}

// exceptionReporter
ExceptionReportFn* WELKOR_SERVICE(38417, exceptionReporter)() { return &g_reportEntry; }

// fatalError: the host ends the program.
void WELKOR_SERVICE(34704, fatalError)(int32_t code) {
  std::fflush(stdout);
  std::fprintf(stderr, "WELKOR: fatal error %d\n", code);
  std::fflush(stderr);
  // A fatal error ends the program on the spot, without the usual clean-up.
  std::_Exit(3);
}
