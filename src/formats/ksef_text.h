// Texts on a KSeF invoice. KSeF rejects a document with a control character
// or a Unicode noncharacter of the ranges its verification names (U+007F to
// U+0084, U+0086 to U+009F, U+FDD0 to U+FDEF, the last two code points of
// each plane), so every such character becomes a blank.
#pragma once

#include <cstddef>
#include <string>

#include "formats/layer.h"

namespace kw::formats::ksef {

// A host text (host code page) with its control bytes made blanks, trimmed
// of blanks at both ends.
std::string cleaned(const std::string& hostText);

// A text of the plug-in's settings file in UTF-8, cleaned and trimmed like a
// host text. Such a file is edited with a Windows editor: a text that is
// valid UTF-8 is taken as UTF-8, any other as Windows-1250.
std::string settingText(const std::string& stored);

// The characters of a UTF-8 text.
size_t characterCount(const std::string& utf8);

}  // namespace kw::formats::ksef
