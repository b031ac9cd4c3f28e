// Putting host texts (Mazovia) into output files: markup-safe cleaning, and
// formatted writes converted to UTF-8 or Windows-1250.
#pragma once

#include <string>

#include "host_abi.h"
#include "record_layout.h"

namespace kw {

// Cleans a modifiable host text in place for use between XML tags: the host's
// own clean-up, then < & > " ' \ LF CR each become a blank. The length never
// changes. Returns the same pointer.
char* _xmlSafe(char* text);

// Formats one piece of output in the host code page (a piece is cut to the
// formatting buffer), converts it to UTF-8 and writes it to the file.
void _fprintfUTF(HostFile* file, const char* format, ...);

// The same, converted to Windows-1250.
void _fprintf1250(HostFile* file, const char* format, ...);

// _xmlSafe for a record's text field, bounded by the field's room: the
// cleaned text is stored back into the record and returned.
std::string xmlSafeField(void* record, layout::Text field);

// A text written as stored into XML: & < > as entities, control bytes other
// than tab, LF and CR as blanks.
std::string xmlEscaped(const std::string& text);

}  // namespace kw
