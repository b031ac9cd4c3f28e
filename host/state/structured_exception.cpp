#include "structured_exception.h"

#include "host_state.h"

namespace welkor {

void raiseIfChosen(uint32_t service) {
  const auto& knob = state().db.knobs.raiseException;
  if (!knob || knob->service != service) return;
  if (++state().chosenServiceCalls == knob->call) raiseStructured(knob->code);
}

}  // namespace welkor
