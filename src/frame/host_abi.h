// The binary interface between the plug-in and its host module, shared by the
// plug-in and the stand-in host so that both sides agree on every signature.
#pragma once

#include <cstdarg>
#include <cstdint>

#if defined(__i386__)
#define KW_CDECL __attribute__((cdecl))
#define KW_THISCALL __attribute__((thiscall))
#elif defined(__x86_64__)
#define KW_CDECL
#define KW_THISCALL
#else
#error "kwitomat is built for i686 (Windows) and x86-64 (native) only"
#endif

struct HostTable;  // the host's descriptor of an open table (fields read by offset)
struct HostFile;   // an open output file of the host

typedef void(KW_CDECL* ExceptionReportFn)(const char* scope, uint32_t code, uint32_t detail, int32_t);
typedef int32_t(KW_CDECL* DialogCallback)(int16_t command, int16_t event);
// A table's key handler, called by the host for every key in its browse
// window: the key's BIOS code, the register's value (the printout's key
// definition is found by it), the window's row array, the browsed table's
// object and the register's 16-bit refresh flag. own3, own5 and own7 to own10
// are the register's own values, which a hook hands on unchanged.
typedef int32_t(KW_CDECL* KeyHandler)(intptr_t key, intptr_t registerValue, intptr_t own3, intptr_t rows, intptr_t own5,
                                      intptr_t tableObject, intptr_t own7, intptr_t own8, intptr_t own9, intptr_t own10,
                                      intptr_t refreshFlag);
typedef int32_t(KW_CDECL* FeatureEntry)(int32_t, int32_t);

// The host's wrapper of a structured exception: its code, then a word of detail.
struct SE_Exception {
  uint32_t code;
  uint32_t detail;
};

// Windows finds an export by ordinal in the module's export table. A native
// module offers the same through one exported function that maps an ordinal to
// the export, or null when the module lacks it.
#define KW_ORDINAL_EXPORT_SYMBOL "ordinal_export"
extern "C" typedef void* (*OrdinalExportFn)(uint32_t ordinal);

// Service function types, one per service of the list: Fn_<ordinal>.
#include "frame/host_service_list.h"
#define KW_DECLARE_SERVICE_TYPE(ordinal, name, conv, ret, params) typedef ret(conv* Fn_##ordinal) params;
KW_HOST_SERVICES(KW_DECLARE_SERVICE_TYPE)
#undef KW_DECLARE_SERVICE_TYPE

// Ordinals of the module's own exports.
enum : uint32_t {
  kHostFeatureEntryOrdinal = 30006,
  kExportRegister = 30001,
  kExportLoadReport = 30008,
  kExportForward1 = 30009,
  kExportForward2 = 30010,
};
