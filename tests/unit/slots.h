// The host service slots as the tests handle them: a slot's service swapped
// for a scope, and the binding run and undone as a whole.
#pragma once

#include <cstdint>

#include "frame/host_services.h"
#include "plugin_names.h"

// Swaps a service slot for a test's stand-in, or only keeps what it holds,
// and puts that back when it goes.
template <typename Slot>
class SlotSwap {
 public:
  explicit SlotSwap(Slot& slot) : slot_(slot), saved_(slot.fn) {}
  SlotSwap(Slot& slot, decltype(slot.fn) replacement) : SlotSwap(slot) { slot.fn = replacement; }
  ~SlotSwap() { slot_.fn = saved_; }
  SlotSwap(const SlotSwap&) = delete;
  SlotSwap& operator=(const SlotSwap&) = delete;

 private:
  Slot& slot_;
  decltype(slot_.fn) saved_;
};

// Binds every slot in slot order, as the module's load-time binders do.
void bindAllServices();

// Puts every slot back to its first-call entry and clears the record of
// missing services.
void unbindAllServices();

// The slot's current content: what the binding found, or null.
void* slotContent(uint32_t ordinal);
