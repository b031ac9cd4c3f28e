// Host services: the module's acceptance and interface version, and the
// feature entry (export 30006).
#include <cstring>

#include "frame/host_constants.h"
#include "host_state.h"
#include "service_impl.h"

using namespace welkor;

int32_t welkor_feature_entry(int32_t what, int32_t value) {
  state().featureCalls.emplace_back(what, value);
  if (what != hostabi::kFeatureSet || (value != hostabi::kFeatureQuery && value != hostabi::kFeatureReport))
    protocolError(30006, "the feature entry is called with (1, 1) or (1, -1)");
  return state().db.knobs.features;
}

// acceptModule: 0 accepts; a rejection writes its reason into the buffer.
int32_t WELKOR_SERVICE(30018, acceptModule)(void*, char* text, int32_t size) {
  const auto& reason = state().db.knobs.acceptText;
  if (!reason) return 0;
  if (text && size > 0) {
    size_t n = reason->size() < static_cast<size_t>(size) - 1 ? reason->size() : static_cast<size_t>(size) - 1;
    std::memcpy(text, reason->data(), n);
    text[n] = '\0';
  }
  return 1;
}

// interfaceVersion
int32_t WELKOR_SERVICE(51594, interfaceVersion)() { return state().db.knobs.interfaceVersion; }
