// Host service slots, their load-time binders and the missing-service record.
#include "frame/host_services.h"

#include <cstring>

#include "frame/module_state.h"
#include "frame/platform.h"

namespace kw::frame {

MissingServices g_missing = {0, {0}};

namespace {
template <typename T>
T zero() {
  return T();
}
// Absent services: same signature, no effect, zero result.
namespace absent {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define KW_DEFINE_ABSENT(ordinal, name, conv, ret, params) \
  ret conv name params { return zero<ret>(); }
KW_HOST_SERVICES(KW_DEFINE_ABSENT)
#undef KW_DEFINE_ABSENT
#pragma GCC diagnostic pop
}  // namespace absent
}  // namespace

}  // namespace kw::frame

// First-call entries (trampolines.cpp): bind the slot, then continue into the
// service with the caller's registers and stack untouched.
extern "C" {
#define KW_DECLARE_FIRST_CALL(ordinal, name, conv, ret, params) KW_HIDDEN void kw_first_##ordinal();
KW_HOST_SERVICES(KW_DECLARE_FIRST_CALL)
#undef KW_DECLARE_FIRST_CALL
}

namespace kw::frame::svc {
#define KW_DEFINE_SLOT(ordinal, name, conv, ret, params) \
  HostSlot<Fn_##ordinal> name = {reinterpret_cast<Fn_##ordinal>(&kw_first_##ordinal), &absent::name};
KW_HOST_SERVICES(KW_DEFINE_SLOT)
#undef KW_DEFINE_SLOT
}  // namespace kw::frame::svc

namespace kw::frame {

void* resolveService(const char* identifier) {
  uintptr_t id = reinterpret_cast<uintptr_t>(identifier);
  void* found = platform::GetProcAddress(frame::hostModule(), identifier);
  if (found) return found;
  char text[1024];
  if ((id >> 16) == 0) {
    if (g_missing.count < 8) g_missing.ordinals[g_missing.count] = static_cast<uint16_t>(id);
    ++g_missing.count;
    platform::wsprintfA(text, "Brak funkcji o numerze %d\n", static_cast<int>(id));
  } else {
    platform::wsprintfA(text, "Brak funkcji o nazwie %s\n", identifier);
  }
  if (platform::IsDebuggerPresent()) platform::OutputDebugStringA(text);
  return nullptr;
}

namespace {
template <typename F>
void bindSlot(HostSlot<F>& slot, uint32_t ordinal) {
  slot.fn = reinterpret_cast<F>(resolveService(reinterpret_cast<const char*>(static_cast<uintptr_t>(ordinal))));
}
}  // namespace

}  // namespace kw::frame

// Called by a first-call entry with its ordinal: binds that slot and returns
// where the call continues.
extern "C" KW_HIDDEN void* kw_bind_on_first_call(uint32_t ordinal) {
  kw::frame::ensureHostModule();
  switch (ordinal) {
#define KW_FIRST(ordinal, name, conv, ret, params)      \
  case ordinal:                                         \
    kw::frame::bindSlot(kw::frame::svc::name, ordinal); \
    return reinterpret_cast<void*>(kw::frame::svc::name.fn ? kw::frame::svc::name.fn : kw::frame::svc::name.absent);
    KW_HOST_SERVICES(KW_FIRST)
#undef KW_FIRST
  }
  return nullptr;
}

// Load-time binders: the module's static initialisers, one per service, in slot
// order. The first one finds the host module if the attach step has not yet
// (the Windows C runtime runs them before DllMain).
namespace kw::frame {
namespace {
template <typename F>
int bindAtLoad(HostSlot<F>& slot, uint32_t ordinal) {
  ensureHostModule();
  bindSlot(slot, ordinal);
  return 0;
}
#define KW_LOAD_BINDER(ordinal, name, conv, ret, params) const int bound_##ordinal = bindAtLoad(svc::name, ordinal);
KW_HOST_SERVICES(KW_LOAD_BINDER)
#undef KW_LOAD_BINDER
}  // namespace
}  // namespace kw::frame
