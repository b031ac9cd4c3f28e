// Registration checks, the record-size mismatch list and the load report.
#pragma once

#include <cstdint>

#include "export/layer.h"

namespace kw::exporting {

// One table whose record size differs between the plug-in and the host.
struct SizeMismatch {
  int32_t expected;
  int32_t found;  // 0: the host has no such table
  const char* name;
  SizeMismatch* next;
};

// Appends an entry unless it is on the list already.
void appendMismatch(SizeMismatch* entry);

// Computed at the first call of the process and kept.
int32_t recordSizeCheck();

// 0: registered and hooked; -1: refused.
int32_t registrationChecks();

void loadReport();

// After a successful registration: shows the install notice once, unless
// kwitom.ini says not to ask.
void showInstallNotice();

}  // namespace kw::exporting
