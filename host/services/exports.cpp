// The host module's exports by ordinal.
#include <algorithm>

#include "host_state.h"
#include "service_impl.h"

namespace welkor {

void* exportedService(uint32_t ordinal) {
  const auto& missing = state().db.knobs.missingServices;
  if (std::find(missing.begin(), missing.end(), ordinal) != missing.end()) return nullptr;
  switch (ordinal) {
#define WELKOR_EXPORT(ord, name, conv, ret, params) \
  case ord: return reinterpret_cast<void*>(&welkor_svc_##ord);
    KW_HOST_SERVICES(WELKOR_EXPORT)
#undef WELKOR_EXPORT
    case kHostFeatureEntryOrdinal: return reinterpret_cast<void*>(&welkor_feature_entry);
  }
  return nullptr;
}

#if !defined(_WIN32)
void removeMissingExports() {}
#endif

}  // namespace welkor

#if !defined(_WIN32)
extern "C" __attribute__((visibility("default"))) void* ordinal_export(uint32_t ordinal) {
  return welkor::exportedService(ordinal);
}
#endif
