// Small helpers that every part of the plug-in uses: formatting into buffers,
// settings, messages and output files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/host_abi.h"

namespace kw::frame {

// sprintf into a buffer of `size` bytes; a longer text is cut to fit and
// terminated. Returns the characters written, -1 on a formatting error.
int _formatText(char* buffer, size_t size, const char* format, ...);

// Writes at most `size` characters: a text of exactly `size` characters gets
// no terminating zero, a longer one is cut to `size` without one and the
// result is -1. Otherwise returns the characters written.
int _formatTextN(char* buffer, size_t size, const char* format, ...);

// One key of the host's settings store (mode 1 read into the variable whose
// address follows, mode 2 write the value that follows).
int32_t _hostSetting(int32_t mode, const char* section, const char* key, const char* format, ...);

// The same for a named settings file; 0 when the key was read or written.
int16_t _fileSetting(const char* file, int32_t mode, const char* section, const char* key, const char* format, ...);

void _showMessage(const char* title, const char* format, int32_t kind, ...);

// Opens a file through the host; the caller owns it. Null when it failed.
HostFile* _openOutputFile(const char* path, const char* mode);

}  // namespace kw::frame
