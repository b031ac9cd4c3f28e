// The PDF step that closes every export: the host prints the invoice into a
// PDF file beside the data file.
#pragma once

#include <cstdint>

#include "frame/host_abi.h"
#include "export/layer.h"

namespace kw::exporting {

// Has the host print the invoice `documentNumber` (found under the key
// definition `keyDefinition`, with its lines from `lineTable`) into the file
// `pdfPath`, then sets the register's refresh flag. A null path prints nothing.
void _printToPdf(const char* pdfPath, int32_t documentNumber, int32_t keyDefinition, HostTable* lineTable,
                 int16_t* refreshFlag);

}  // namespace kw::exporting
