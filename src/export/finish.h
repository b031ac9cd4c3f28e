// The closing steps of a printed export, once its data file is whole.
#pragma once

#include <cstdint>

#include "formats/writers.h"
#include "export/layer.h"

namespace kw::exporting {

// The PDF beside the data file, the mail offering both files, and
// "Dokument został zapisany".
void finishExport(const writers::Written& written, int16_t registerValue, int16_t* refreshFlag);

}  // namespace kw::exporting
