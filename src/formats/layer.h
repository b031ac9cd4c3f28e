// The writers build on the data layer and, through it, the frame, and names what
// lies below unqualified. No layer has a directive for one above it.
#pragma once

#include "data/layer.h"

namespace kw::data {}
namespace kw::formats {
using namespace kw::data;
}  // namespace kw::formats
