// The Windows build does not send to KSeF yet: with Wysylka=1 it says so and
// writes nothing, rather than leave the user believing the invoice was sent.
#include "export/ksef_step.h"

#include "data/messages.h"
#include "frame/host_services.h"

namespace kw::exporting {

bool ksefSendNeedsNewFile(const char*, const KsefSendSettings&) {
  svc::showTitled(message::kErrorTitle, message::kKsefSendingNotInThisBuild, 1);
  return false;
}

void ksefSendWritten(const writers::Written&, const KsefSendSettings&) {}

}  // namespace kw::exporting
