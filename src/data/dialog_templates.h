// The plug-in's dialog template block (dialogs 1001, 1002 and 1003), handed
// to the host's dialog service.
#pragma once

#include <array>

#include "data/layer.h"

namespace kw::data {

extern const std::array<unsigned char, 706> kDialogTemplates;

// The same block with the fifth export choice, F5 KSeF FA(3), in dialog 1001.
extern const std::array<unsigned char, 742> kDialogTemplatesKsef;

}  // namespace kw::data
