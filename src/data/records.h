// Typed access to the host's records and table objects at their fixed
// offsets (record_layout.h). Records are bytes: every field is copied in and
// out, never reached through a cast of a packed structure.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "data/record_layout.h"
#include "frame/host_abi.h"
#include "data/layer.h"

namespace kw::data::rec {

template <typename T>
T load(const void* record, uint16_t offset) {
  T value;
  std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
  return value;
}

template <typename T>
void store(void* record, uint16_t offset, T value) {
  std::memcpy(static_cast<char*>(record) + offset, &value, sizeof value);
}

inline int16_t get(const void* r, layout::Int16 f) { return load<int16_t>(r, f.offset); }
inline uint16_t get(const void* r, layout::UInt16 f) { return load<uint16_t>(r, f.offset); }
inline int32_t get(const void* r, layout::Int32 f) { return load<int32_t>(r, f.offset); }
// The stored double: the amount x 10000.
inline double get(const void* r, layout::Money f) { return load<double>(r, f.offset); }
// The host date field's address, for the date services.
inline const char* get(const void* r, layout::Date f) { return static_cast<const char*>(r) + f.offset; }

// A text ends at its zero or at the end of its room, whichever comes first.
inline size_t textLength(const void* r, layout::Text f) {
  const char* p = static_cast<const char*>(r) + f.offset;
  const void* zero = std::memchr(p, '\0', f.room);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : f.room;
}
inline std::string text(const void* r, layout::Text f) {
  return std::string(static_cast<const char*>(r) + f.offset, textLength(r, f));
}
inline bool isEmpty(const void* r, layout::Text f) { return static_cast<const char*>(r)[f.offset] == '\0'; }
inline char* field(void* r, layout::Text f) { return static_cast<char*>(r) + f.offset; }

// Payment form: bits 9 to 14 of the word as a signed number (-32 .. 31).
inline int32_t paymentForm(const void* tspr) {
  uint16_t word = get(tspr, layout::Tspr::FormaPlatnosci);
  int16_t shifted = static_cast<int16_t>(static_cast<uint16_t>(word << 1));
  return static_cast<int32_t>(shifted) >> 10;
}

// Bit 0 of RodzajCen: the invoice is priced net.
inline bool pricedNet(const void* tspr) { return (get(tspr, layout::Tspr::RodzajCen) & 1) != 0; }

// An invoice line counts when it has a quantity and a name.
inline bool countingLine(const void* line) {
  return get(line, layout::Tspr_dok::Ilosc) != 0 && !isEmpty(line, layout::Tspr_dok::Nazwa);
}

}  // namespace kw::data::rec

// The host's table object.
namespace kw::data::table {

inline int16_t recordLength(const HostTable* t) { return rec::load<int16_t>(t, layout::TableObject::RecordLength); }
inline char* currentRecord(const HostTable* t) { return rec::load<char*>(t, layout::TableObject::CurrentRecord); }
inline int32_t position(const HostTable* t, uint16_t offset) { return rec::load<int32_t>(t, offset); }
inline KeyHandler keyHandler(const HostTable* t) { return rec::load<KeyHandler>(t, layout::TableObject::KeyHandler); }
inline void setKeyHandler(HostTable* t, KeyHandler handler) {
  rec::store<KeyHandler>(t, layout::TableObject::KeyHandler, handler);
}

}  // namespace kw::data::table
