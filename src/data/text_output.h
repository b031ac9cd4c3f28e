// Putting host texts (Mazovia) into output files: markup-safe cleaning, and
// formatted writes converted to UTF-8 or Windows-1250.
#pragma once

#include <cmath>
#include <string>

#include "data/record_layout.h"
#include "frame/host_abi.h"
#include "frame/host_constants.h"
#include "data/layer.h"

namespace kw::data {

// Cleans a modifiable host text in place for use between XML tags: the host's
// own clean-up, then < & > " ' \ LF CR each become a blank. The length never
// changes. Returns the same pointer.
char* _xmlSafe(char* text);

// A value as it enters a formatted piece of output. A NaN loses its sign, so
// that every C library spells it alike ("nan"; glibc would write "-nan");
// infinities are "inf" and "-inf" everywhere already.
inline double printable(double value) { return std::isnan(value) ? std::fabs(value) : value; }
template <typename T>
T printable(T value) {
  return value;
}

// Formats one piece of output in the host code page (a piece is cut to the
// formatting buffer), converts it to `target` (UTF-8 or Windows-1250) and
// writes it to the file. A piece that cannot be written fails the file
// (write_status.h).
void writePiece(HostFile* file, hostabi::CodePage target, const char* format, ...);

template <typename... A>
void _fprintfUTF(HostFile* file, const char* format, A... values) {
  writePiece(file, hostabi::kCodePageUtf8, format, printable(values)...);
}

template <typename... A>
void _fprintf1250(HostFile* file, const char* format, A... values) {
  writePiece(file, hostabi::kCodePageWindows1250, format, printable(values)...);
}

// _xmlSafe for a record's text field, bounded by the field's room: the
// cleaned text is stored back into the record and returned.
std::string xmlSafeField(void* record, layout::Text field);

// A Windows-1250 text in UTF-8, through the host's converter.
std::string utf8FromWindows1250(const std::string& text);

// A text written as stored into XML: & < > as entities, control bytes other
// than tab, LF and CR as blanks.
std::string xmlEscaped(const std::string& text);

}  // namespace kw::data
