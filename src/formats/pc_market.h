// The PC Market text file: helpers of its writer that stand on their own.
#pragma once

#include "formats/layer.h"

namespace kw::formats {

// The invoice number as a file name: every character that is not an ASCII
// letter or digit becomes "_". Returns target.
char* _fileNameSafe(char* target, const char* source);

}  // namespace kw::formats
