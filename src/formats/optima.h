// The Comarch Optima XML document: its line writer stands on its own.
#pragma once

#include <cstdint>

#include "frame/host_abi.h"
#include "formats/layer.h"

namespace kw::formats {

// Writes one POZYCJA per counting line of the invoice; returns how many
// lines counted.
int32_t writeOptimaLines(const char* tspr, HostFile* file);

}  // namespace kw::formats
