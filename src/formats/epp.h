// The EDI++ (EPP) exchange file writer and its parts.
#pragma once

#include <cstdint>

#include "frame/host_abi.h"
#include "formats/layer.h"

namespace kw::formats {

// The invoice's line records and the whole "TOWARY" section; returns the
// number of line records written.
int32_t _eppLines(const char* tspr, HostFile* file, const char* currency);

// The number of the invoice's lines that count.
int32_t _eppLineCount(const char* tspr);

// The current moment as YYYYMMDDhhmm00; the buffer holds at least 15 bytes.
char* _eppTimestamp(char* buffer);

}  // namespace kw::formats
