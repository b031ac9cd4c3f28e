#include "slots.h"

extern "C" {
#define KW_DECLARE_FIRST_CALL(ordinal, name, conv, ret, params) KW_HIDDEN void kw_first_##ordinal();
KW_HOST_SERVICES(KW_DECLARE_FIRST_CALL)
#undef KW_DECLARE_FIRST_CALL
}

namespace {
void* byOrdinal(uint32_t ordinal) {
  return frame::resolveService(reinterpret_cast<const char*>(static_cast<uintptr_t>(ordinal)));
}
}  // namespace

void bindAllServices() {
#define KW_BIND(ordinal, name, conv, ret, params) svc::name.fn = reinterpret_cast<Fn_##ordinal>(byOrdinal(ordinal));
  KW_HOST_SERVICES(KW_BIND)
#undef KW_BIND
}

void unbindAllServices() {
#define KW_UNBIND(ordinal, name, conv, ret, params) svc::name.fn = reinterpret_cast<Fn_##ordinal>(&kw_first_##ordinal);
  KW_HOST_SERVICES(KW_UNBIND)
#undef KW_UNBIND
  frame::g_missing = frame::MissingServices{0, {0}};
}

void* slotContent(uint32_t ordinal) {
  switch (ordinal) {
#define KW_CONTENT(ordinal, name, conv, ret, params) \
  case ordinal: return reinterpret_cast<void*>(svc::name.fn);
    KW_HOST_SERVICES(KW_CONTENT)
#undef KW_CONTENT
  }
  return nullptr;
}
