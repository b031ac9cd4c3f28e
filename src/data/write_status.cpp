#include "data/write_status.h"
#include "data/layer.h"

namespace kw::data {

namespace {
bool g_failed = false;
}

void resetWriteStatus() { g_failed = false; }

int32_t noteWriteResult(int32_t result) {
  if (result < 0) g_failed = true;
  return result;
}

void markWriteFailed() { g_failed = true; }

bool writeFailed() { return g_failed; }

}  // namespace kw::data
