// The data layer builds on the frame, and names what
// lies below unqualified. No layer has a directive for one above it.
#pragma once

namespace kw::frame {}
namespace kw::data {
using namespace kw::frame;
}  // namespace kw::data
