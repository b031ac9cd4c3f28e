// The opt-in fifth format: the invoice as a KSeF FA(3) structured invoice.
#pragma once

#include "formats/layer.h"

namespace kw::formats {

// [KSeF] Eksport in kwitom.ini: non-zero offers F5 in the export dialog.
bool ksefExportEnabled();

}  // namespace kw::formats
