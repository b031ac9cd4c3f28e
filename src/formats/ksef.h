// The opt-in fifth format: the invoice as a KSeF FA(3) structured invoice.
#pragma once

#include "formats/layer.h"

namespace kw::formats {

// The plug-in's own settings file, and its section for KSeF.
constexpr const char* kSettingsFile = "kwitom.ini";
constexpr const char* kKsefSection = "KSeF";

// [KSeF] Eksport in kwitom.ini: non-zero offers F5 in the export dialog.
bool ksefExportEnabled();

}  // namespace kw::formats
