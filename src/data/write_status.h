// Whether every piece of the current export file reached the file: the host's
// formatted write reports a failure (a full disk) with a negative result, and
// a piece that could not even be composed (no memory) fails the file too.
#pragma once

#include <cstdint>

#include "data/layer.h"

namespace kw::data {

void resetWriteStatus();
// Records the result of one formatted write (host service 52541).
int32_t noteWriteResult(int32_t result);
// A piece that never reached the write.
void markWriteFailed();
bool writeFailed();

}  // namespace kw::data
