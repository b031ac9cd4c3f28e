// The export layer builds on the writers and what lies below them, and names what
// lies below unqualified. No layer has a directive for one above it.
#pragma once

#include "formats/layer.h"

namespace kw::formats {}
namespace kw::exporting {
using namespace kw::formats;
}  // namespace kw::exporting
