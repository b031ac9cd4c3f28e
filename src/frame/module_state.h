// Module-wide state of the plug-in: set up at attach, alive for the process.
#pragma once

#include <cstdint>

#include "frame/host_abi.h"

namespace kw::frame {

extern const char kPluginTitle[51];   // "Eksport faktur. Rejestr faktur sprzedazy - Ctrl+F3"
extern const char kHostModuleName[];  // "WELKOR"

struct ModuleState {
  void* ownModule = nullptr;
  char modulePath[300] = {};
  const char* baseName = modulePath;
  void* hostModule = nullptr;
  FeatureEntry featureEntry = nullptr;
  uint32_t unsupportedMask = 0xFFFFFFFFu;
};

ModuleState& state();

// The process-attach step: own module, its path and base name, the host module
// and its feature entry.
void attach(void* ownModule);

// Finds the host module and its feature entry unless already known.
void ensureHostModule();
void* hostModule();

// The text after the last backslash, then after the last slash within that.
const char* baseNameOf(const char* path);

}  // namespace kw::frame
