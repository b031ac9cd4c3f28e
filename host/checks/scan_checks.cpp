#include "scan_checks.h"

namespace welkor {

ScanChecks& scanChecks() {
  static ScanChecks checks;
  return checks;
}

}  // namespace welkor
