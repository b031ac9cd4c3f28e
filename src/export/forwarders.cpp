// The host's module interface has two forwarding entries; this plug-in has
// nothing to forward, so they give the host's answers for an empty target.
#include "export/exports.h"
#include "frame/host_constants.h"

extern "C" int32_t KW_CDECL kwForward1() { return 0; }

extern "C" int32_t KW_CDECL kwForward2(int32_t) { return kw::frame::hostabi::kEmptyForwardResult; }
