// Structured exceptions as the host raises and handles them: real ones on
// Windows (RaiseException, a handler frame on the thread's chain), the host's
// C++ wrapper SE_Exception natively.
#pragma once

#include <cstdint>

namespace welkor {

[[noreturn]] void raiseStructured(uint32_t code);

// Runs fn(context). True when it returns; false when a structured exception
// leaves it, with its code in `code`, after the frames it passed through have
// been unwound (their handlers called to unwind, as the host's own handler
// does on Windows).
bool callCatchingStructured(void (*fn)(void*), void* context, uint32_t& code);

// The `raiseException` knob: raises its code when this is the chosen call of
// the chosen service.
void raiseIfChosen(uint32_t service);

}  // namespace welkor
