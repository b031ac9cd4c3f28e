// The plug-in's dialog template block (dialogs 1001, 1002 and 1003), handed
// to the host's dialog service.
#pragma once

#include <array>

extern const std::array<unsigned char, 706> kDialogTemplates;
