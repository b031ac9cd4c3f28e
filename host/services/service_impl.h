// Declarations of the host's service implementations, checked against the
// plug-in's list of services: welkor_svc_<ordinal>.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/host_abi.h"
#include "plugin_names.h"

// An implementation is written WELKOR_SERVICE(52026, runDialog)(…): found by
// its ordinal and by the name the plug-in calls it by.
#define WELKOR_SERVICE(ordinal, name) welkor_svc_##ordinal

extern "C" {
#define WELKOR_DECLARE_SERVICE(ordinal, name, conv, ret, params) ret conv welkor_svc_##ordinal params;
KW_HOST_SERVICES(WELKOR_DECLARE_SERVICE)
#undef WELKOR_DECLARE_SERVICE

// Export 30006: the host's feature negotiation entry.
int32_t KW_CDECL welkor_feature_entry(int32_t what, int32_t value);
}

namespace welkor {
// The service (or the feature entry) exported under an ordinal; null for any
// other ordinal and for services that the `missingServices` knob leaves out.
void* exportedService(uint32_t ordinal);
// Makes the host module's exports follow the `missingServices` knob
// (Windows); natively the lookup itself consults the knob.
void removeMissingExports();

// Every call of the print services, in order, for tests and the record:
// "22892 construct", "22900 target 0x5600 FAKTURY\fakt1.pdf 1 1 0 0 0", ...
std::vector<std::string>& printLog();

// Print-output objects constructed and not yet disposed.
size_t livePrintObjects();
}  // namespace welkor
