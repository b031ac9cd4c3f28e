// Typed slots of the host services. A call such as svc::tableObject(44) goes
// through the slot: its first-call entry until the slot is bound, then the
// service itself, or a stand-in that does nothing and returns zero when the
// host lacks the service (never a jump to address 0).
#pragma once

#include <cstdint>

#include "frame/host_abi.h"

#if defined(_WIN32)
#define KW_HIDDEN
#else
#define KW_HIDDEN __attribute__((visibility("hidden")))
#endif

namespace kw::frame {

template <typename F>
struct HostSlot {
  F fn;      // what the binding found (null when the host lacks the service)
  F absent;  // does nothing, returns zero

  template <typename... A>
  auto operator()(A... args) const {
    F target = fn ? fn : absent;
    return target(args...);
  }
};

// The services that the host did not export, as found by the binding.
struct MissingServices {
  int32_t count;
  uint16_t ordinals[8];  // the first 8, in the order found
};

extern MissingServices g_missing;

// Looks a service up by ordinal (an identifier below 0x10000) or by name and
// records it as missing when the host lacks it. Returns the address, or null.
void* resolveService(const char* identifier);

}  // namespace kw::frame

namespace kw::frame::svc {
#define KW_DECLARE_SLOT(ordinal, name, conv, ret, params) extern HostSlot<Fn_##ordinal> name;
KW_HOST_SERVICES(KW_DECLARE_SLOT)
#undef KW_DECLARE_SLOT
}  // namespace kw::frame::svc
