// Whether every piece of the current export file reached the file: the host's
// formatted write reports a failure (a full disk) with a negative result.
#pragma once

#include <cstdint>

namespace kw {

void resetWriteStatus();
// Records the result of one formatted write (host service 52541).
int32_t noteWriteResult(int32_t result);
bool writeFailed();

}  // namespace kw
