#include "data/text_output.h"
#include "data/write_status.h"
#include "frame/host_constants.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "data/records.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "data/messages.h"
#include "data/layer.h"

namespace kw::data {

namespace {

// A block of the host's memory, released when it goes out of scope.
class HostMemory {
 public:
  explicit HostMemory(uint32_t size) : block_(static_cast<char*>(svc::allocateZeroed(1, size))) {}
  ~HostMemory() {
    if (block_) svc::release(block_);
  }
  HostMemory(const HostMemory&) = delete;
  HostMemory& operator=(const HostMemory&) = delete;
  char* get() const { return block_; }

 private:
  char* block_;
};

// Formats into the buffer; a piece longer than the buffer is cut to fit.
void formatPiece(char* buffer, const char* format, va_list args) {
  if (std::vsnprintf(buffer, hostabi::kFormatBufferSize, format, args) < 0) buffer[0] = '\0';
}

bool isMarkup(char c) {
  switch (c) {
    case '<':
    case '&':
    case '>':
    case '"':
    case '\'':
    case '\\':
    case '\n':
    case '\r': return true;
    default: return false;
  }
}

}  // namespace

char* _xmlSafe(char* text) {
  if (!text) return text;
  svc::cleanText(text);
  for (char* p = text; *p; ++p)
    if (isMarkup(*p)) *p = ' ';
  return text;
}

void writePiece(HostFile* file, hostabi::CodePage target, const char* format, ...) {
  HostMemory piece(hostabi::kFormatBufferSize);
  if (!piece.get()) {
    markWriteFailed();
    return;
  }
  va_list args;
  va_start(args, format);
  formatPiece(piece.get(), format, args);
  va_end(args);

  if (target != hostabi::kCodePageUtf8) {
    // One byte for every host character: converted where it stands.
    svc::convertInPlace(piece.get(), piece.get(), hostabi::kCodePageHost, target);
    noteWriteResult(svc::writeFormatted(file, "%s", piece.get()));
    return;
  }
  // UTF-8 takes up to three bytes for a host character, so it needs a second
  // buffer, and only that allocation has a message of its own.
  const uint32_t capacity = static_cast<uint32_t>(std::strlen(piece.get())) * 3 + 10;
  HostMemory utf8(capacity);
  if (!utf8.get()) {
    svc::showText(message::kNoMemoryForUtf8);
    markWriteFailed();
    return;
  }
  svc::convertText(utf8.get(), static_cast<int32_t>(capacity), piece.get(), -1, hostabi::kCodePageHost, target);
  noteWriteResult(svc::writeFormatted(file, "%s", utf8.get()));
}

std::string utf8FromWindows1250(const std::string& text) {
  // At most three bytes of UTF-8 for each character of the code page.
  std::vector<char> utf8(text.size() * 3 + 1, '\0');
  svc::convertText(utf8.data(), static_cast<int32_t>(utf8.size()), text.c_str(), -1, hostabi::kCodePageWindows1250,
                   hostabi::kCodePageUtf8);
  return utf8.data();
}

std::string xmlSafeField(void* record, layout::Text field) {
  const size_t length = rec::textLength(record, field);
  // A field that fills its room has no zero of its own: clean a terminated copy.
  std::vector<char> text(field.room + 1u, '\0');
  char* stored = rec::field(record, field);
  std::memcpy(text.data(), stored, length);
  _xmlSafe(text.data());
  const size_t back = length < field.room ? length + 1 : length;
  std::memcpy(stored, text.data(), back);
  return std::string(text.data());
}

std::string xmlEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: {
        unsigned char u = static_cast<unsigned char>(c);
        bool control = u >= 0x01 && u <= 0x1F && c != '\t' && c != '\n' && c != '\r';
        out += control ? ' ' : c;
      }
    }
  }
  return out;
}

}  // namespace kw::data
