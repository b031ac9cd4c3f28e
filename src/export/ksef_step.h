// F5 with sending on: the invoice goes to KSeF right after its file is
// written, and the user sees its KSeF number, KSeF's refusal, or why it could
// not be sent. The KSeF library keeps the journal that makes a send happen
// once; this step decides what to hand it and says the outcome in Polish.
#pragma once

#include "export/ksef_settings.h"
#include "formats/writers.h"

#include "export/layer.h"

namespace kw::exporting {

// Before the writer: false when the export ends here — the settings were
// refused, the journal shows the invoice accepted (its number is shown and
// nothing is written or sent), or a send whose outcome is not known was
// finished from the file already written (never rewritten meanwhile).
bool ksefSendNeedsNewFile(const char* tspr, const KsefSendSettings& settings);

// The F5 writer's closing step: sends the file just written.
void ksefSendWritten(const writers::Written& written, const KsefSendSettings& settings);

}  // namespace kw::exporting
