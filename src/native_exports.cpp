// Natively the plug-in's exports are found by ordinal through the shared
// lookup convention; on Windows kwitomat.def lays out the export table.
#include "export/exports.h"

extern "C" __attribute__((visibility("default"))) void* ordinal_export(uint32_t ordinal) {
  switch (ordinal) {
    case kExportRegister: return reinterpret_cast<void*>(&kwRegister);
    case kExportLoadReport: return reinterpret_cast<void*>(&kwLoadReport);
    case kExportForward1: return reinterpret_cast<void*>(&kwForward1);
    case kExportForward2: return reinterpret_cast<void*>(&kwForward2);
  }
  return nullptr;
}
