// The plug-in's export table, reached by ordinal (30001, 30008, 30009,
// 30010): C names, the only names of the plug-in outside its namespace.
#pragma once

#include <cstdint>

#include "frame/host_abi.h"

extern "C" {
int32_t KW_CDECL kwRegister(FeatureEntry entry, char* title);
int32_t KW_CDECL kwLoadReport(int32_t flag);
int32_t KW_CDECL kwForward1();
int32_t KW_CDECL kwForward2(int32_t value);
}
