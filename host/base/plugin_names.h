// The plug-in's definitions that the host shares (record layout, record
// access, the interface's fixed numbers), named here as the plug-in's own
// code names them.
#pragma once

#include "data/record_layout.h"
#include "data/records.h"
#include "frame/host_constants.h"

namespace welkor {
namespace layout = kw::data::layout;
namespace rec = kw::data::rec;
namespace hostabi = kw::frame::hostabi;
}  // namespace welkor
