// What the stand-in host saw of the line-scan protocol (51425, 52278, 52279,
// 52281, 50538), so that tests can assert that the plug-in followed it. The
// scan services fill it in; only the tests read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace welkor {

struct ScanChecks {
  // A next on a block without an open scan, an open on a block whose scan was
  // not ended, an end without an open, a dispose of a block still scanning, a
  // first open of a block whose last word was not cleared. Each is also
  // reported on stderr.
  int32_t protocolErrors = 0;
  // The ordinals of the scan services, in call order: the first kLoggedCalls
  // of them, so that a long invoice does not grow the record without end.
  static constexpr size_t kLoggedCalls = 4096;
  std::vector<uint32_t> calls;
};

// Reset with `welkor::scanChecks() = {};`.
ScanChecks& scanChecks();

// Scan blocks opened and not yet disposed (the scan services count them).
size_t liveScanBlocks();

}  // namespace welkor
