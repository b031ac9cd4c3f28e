// The tests name the plug-in's parts as its own code does: each layer's
// names unqualified (the export layer sees every layer below it), and the
// layers themselves by name (frame::, data::, formats::, exporting::).
#pragma once

#include "export/layer.h"

using namespace kw;
using namespace kw::exporting;
