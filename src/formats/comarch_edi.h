// The Comarch EDI Document-Invoice writer's parts that are used on their own.
#pragma once

#include <cstdint>

#include "frame/host_abi.h"
#include "formats/layer.h"

namespace kw::formats {

// The ILN numbers of seller (bytes 0 to 13) and buyer (bytes 14 to 27), as
// dialog 1003 edits them.
constexpr int32_t kIlnBufferSize = 28;
constexpr int32_t kIlnRoom = 14;

// Fills the buffer with the numbers kept in the host's settings store; a
// stored number is cut to 13 characters.
void readStoredIlns(char* ilnBuffer);

// Writes one Line element per line that counts; returns their number.
int32_t writeEdiLines(const char* tspr, HostFile* file);

}  // namespace kw::formats
