// The key handler that the plug-in puts into the host's sales-invoice register.
#pragma once

#include <cstdint>

#include "frame/host_abi.h"
#include "export/layer.h"

namespace kw::exporting::hook {

// 0: installed (or already installed); -1: Tspr missing or of another size.
int32_t install();
// Puts the previous handler back. Always 0.
int32_t remove();

int32_t KW_CDECL registerHook(intptr_t key, intptr_t registerValue, intptr_t own3, intptr_t rows, intptr_t own5,
                              intptr_t tableObject, intptr_t own7, intptr_t own8, intptr_t own9, intptr_t own10,
                              intptr_t refreshFlag);

}  // namespace kw::exporting::hook
